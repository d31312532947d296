// The change history's price: saves with it against the same saves without it, on a large file;
// a server's history read from a history of millions of entries; the list load with and without
// those entries.
//   bench_history [SERVERS [ENTRIES [FOLDER]]]   (default 1,000,000 servers, 5,000,000 entries;
//   the registers are made in FOLDER and kept there for the next run, or in a temporary folder)
#include "benchdata.h"
#include "benchwrites.h"
#include "core/engine/schemaddl.h"
#include "core/registerdb.h"
#include "core/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <sqlite3.h>

namespace {
constexpr int kRuns = 9;

bool run(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    char *error = nullptr;
    const bool ok = sqlite3_exec(db, sql, nullptr, nullptr, &error) == SQLITE_OK;
    if (!ok)
        std::fprintf(stderr, "%s\n", error);
    sqlite3_free(error);
    sqlite3_close(db);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int servers = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int entries = argc > 2 ? std::atoi(argv[2]) : 5000000;
    QTemporaryDir temporary;
    const QString folder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : temporary.path();
    QDir().mkpath(folder);
    const QString with = folder + QStringLiteral("/with-history.mdb");
    const QString without = folder + QStringLiteral("/without-history.mdb");
    if (!QFile::exists(with) || !QFile::exists(without)) {
        QString error;
        if (!initRegisterDatabase(without, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        // Filled without the history's triggers (an import of a register made earlier), then
        // copied, and the copy given the history as kavro-db upgrade does.
        run(without, "DROP TRIGGER data_jilu_insert; DROP TRIGGER data_jilu_update; DROP TRIGGER data_jilu_delete;"
                     "DROP TRIGGER kehu_jilu_insert; DROP TRIGGER kehu_jilu_update; DROP TRIGGER kehu_jilu_delete;"
                     "DROP TRIGGER admin_jilu_insert; DROP TRIGGER admin_jilu_update; DROP TRIGGER admin_jilu_delete;"
                     "DROP TABLE jilu");
        fillRegister(without, servers);
        QFile::copy(without, with);
        QStringList added;
        if (!upgradeRegister(with, &added, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        // A long-used register: entries spread over every server, 10,000 of them on server 12345.
        const QByteArray fill =
            QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                           "INSERT INTO jilu (J_SJ, J_REN, J_BIAO, J_CZ, J_JL, J_MC, J_NR) SELECT "
                           "strftime('%Y-%m-%dT%H:%M:%fZ', 'now', '-' || (i / 10) || ' minutes'), 'ops@desk-' || (i % "
                           "7), 'data', '修改', "
                           "CASE WHEN i % 500 = 0 THEN 12345 ELSE abs(random()) % %2 + 1 END, '10.0.48.57', "
                           "json_object('F_BZ', json_array('机房三层A区，双路电源，托管合同续签中', "
                           "'机房三层A区，双路电源，合同已续签')) FROM n")
                .arg(entries)
                .arg(servers)
                .toUtf8();
        const double ms = timeMs([&] { run(with, fill.constData()); });
        std::printf("history of %d entries written in %.0f ms\n", entries, ms);
    }
    std::printf("file size: %.1f MB without the history, %.1f MB with %d entries\n", QFile(without).size() / 1e6,
                QFile(with).size() / 1e6, entries);

    RegisterDb a, b;
    if (!a.open(with).ok() || !b.open(without).ok() || !a.hasHistory() || b.hasHistory()) {
        std::fprintf(stderr, "cannot open the registers\n");
        return 1;
    }
    // 查看数据 of the server with 10,000 entries, against the same rows stepped by hand.
    Times view, floor;
    size_t shown = 0;
    sqlite3 *hand = nullptr;
    sqlite3_open_v2(with.toUtf8().constData(), &hand, SQLITE_OPEN_READONLY, nullptr);
    for (int r = 0; r < kRuns; ++r) {
        auto program = [&] { view.ms.push_back(timeMs([&] { shown = a.serverHistory(12345).value.size(); })); };
        auto byHand = [&] {
            floor.ms.push_back(timeMs([&] {
                sqlite3_stmt *stmt = nullptr;
                sqlite3_prepare_v2(hand,
                                   "SELECT J_ID, J_SJ, J_REN, J_BIAO, J_CZ, J_JL, J_MC, J_NR FROM jilu "
                                   "WHERE J_BIAO = 'data' AND J_JL = 12345 ORDER BY J_ID DESC",
                                   -1, &stmt, nullptr);
                size_t bytes = 0;
                while (sqlite3_step(stmt) == SQLITE_ROW)
                    for (int c = 0; c < 8; ++c)
                        bytes += size_t(sqlite3_column_bytes(stmt, c)) + (sqlite3_column_text(stmt, c) ? 1 : 0);
                sqlite3_finalize(stmt);
                shown += bytes & 1;
            }));
        };
        if (r % 2) {
            byHand();
            program();
        } else {
            program();
            byHand();
        }
    }
    sqlite3_close(hand);
    std::printf("查看数据: the history of one server (%zu entries) among %d entries\n", shown, entries);
    report("查看数据 history read", servers, view, floor);

    // The list load and a quick search, with and without the entries, pairs interleaved.
    Times loadWith, loadWithout, searchWith, searchWithout;
    for (int r = 0; r < kRuns; ++r) {
        auto one = [&] {
            loadWith.ms.push_back(timeMs([&] { a.serverKeys(ServerQuery::all()); }));
            searchWith.ms.push_back(timeMs([&] { a.serverKeys(ServerQuery::containing(QStringLiteral("sv-00999"))); }));
        };
        auto two = [&] {
            loadWithout.ms.push_back(timeMs([&] { b.serverKeys(ServerQuery::all()); }));
            searchWithout.ms.push_back(
                timeMs([&] { b.serverKeys(ServerQuery::containing(QStringLiteral("sv-00999"))); }));
        };
        if (r % 2) {
            two();
            one();
        } else {
            one();
            two();
        }
    }
    report("list load with the history, against without", servers, loadWith, loadWithout);
    report("包含文字 with the history, against without", servers, searchWith, searchWithout);

    // Saves with the history against the same saves without it.
    Times w, wo;
    for (int round = 0; round < kRuns; ++round) {
        if (round % 2) {
            wo.ms.push_back(writeRound(b, round));
            w.ms.push_back(writeRound(a, round));
        } else {
            w.ms.push_back(writeRound(a, round));
            wo.ms.push_back(writeRound(b, round));
        }
    }
    std::printf("writes (50 adds, 50 modifications, 50 deletions) without the history %d: median %.1f ms\n", servers,
                wo.median());
    report("writes with the history, against without", servers, w, wo);
    return 0;
}
