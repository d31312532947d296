// Searching by any part and by address block on a large register file: the program's answer
// against a floor that does the same lookup by hand with the sqlite3 C API, the index's price on
// writes and file size, and how long the window's event loop is held while a search is typed.
//   bench_search [SERVERS [FOLDER]]   (default 1,000,000; the registers are made in FOLDER and kept
//   there for the next run, or in a temporary folder)
#include "benchdata.h"
#include "benchwrites.h"
#include "core/engine/schemaddl.h"
#include "core/registerdb.h"
#include "core/schema.h"
#include "login/loginwindow.h"
#include "login/loginwindow_names.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"
#include "widgets/reportlist.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <sqlite3.h>

namespace {
constexpr int kRuns = 9;

// The keys of a statement's first column, stepped by hand.
std::vector<qint64> keysOf(sqlite3 *db, const char *sql, const std::vector<QByteArray> &values)
{
    std::vector<qint64> keys;
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    for (size_t i = 0; i < values.size(); ++i)
        sqlite3_bind_text(stmt, int(i + 1), values[i].constData(), int(values[i].size()), SQLITE_TRANSIENT);
    while (sqlite3_step(stmt) == SQLITE_ROW)
        keys.push_back(sqlite3_column_int64(stmt, 0));
    sqlite3_finalize(stmt);
    return keys;
}

// Whether any of columns 1..8 of the row holds the bytes of needle (needle has no upper-case letter;
// the texts' ASCII letters folded when it has letters at all).
bool rowHolds(sqlite3_stmt *stmt, const QByteArray &needle)
{
    const bool letters = std::any_of(needle.begin(), needle.end(), [](char c) { return c >= 'a' && c <= 'z'; });
    static std::string folded;
    for (int c = 1; c <= 8; ++c) {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt, c));
        if (!p)
            continue;
        const size_t n = size_t(sqlite3_column_bytes(stmt, c));
        if (letters) {
            folded.assign(p, n);
            for (char &ch : folded)
                if (ch >= 'A' && ch <= 'Z')
                    ch = char(ch + 32);
            p = folded.data();
        }
        if (memmem(p, n, needle.constData(), size_t(needle.size())))
            return true;
    }
    return false;
}

// The index lookup written by hand: the trigrams of the text in the FTS table, then the texts of
// those rows compared here.
std::vector<qint64> indexFloor(sqlite3 *db, const QString &text)
{
    const QList<uint> chars = text.toUcs4();
    QStringList terms;
    for (qsizetype i = 0; i + 3 <= chars.size(); ++i)
        terms << QLatin1Char('"') + QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData() + i), 3) +
                     QLatin1Char('"');
    const QByteArray match = terms.join(QLatin1String(" AND ")).toUtf8();
    const QByteArray needle = text.toUtf8();
    std::vector<qint64> keys;
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT rowid, F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ FROM data WHERE rowid IN "
                       "(SELECT rowid FROM data_text WHERE data_text MATCH ?1) ORDER BY rowid",
                       -1, &stmt, nullptr);
    sqlite3_bind_text(stmt, 1, match.constData(), int(match.size()), SQLITE_STATIC);
    while (sqlite3_step(stmt) == SQLITE_ROW)
        if (rowHolds(stmt, needle))
            keys.push_back(sqlite3_column_int64(stmt, 0));
    sqlite3_finalize(stmt);
    return keys;
}

// A scan by hand: every server's eight texts stepped and searched for the bytes of the text.
std::vector<qint64> scanFloor(sqlite3 *db, const QString &text)
{
    const QByteArray needle = text.toUtf8();
    std::vector<qint64> keys;
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT rowid, F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ FROM data ORDER BY rowid", -1,
                       &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW)
        if (rowHolds(stmt, needle))
            keys.push_back(sqlite3_column_int64(stmt, 0));
    sqlite3_finalize(stmt);
    return keys;
}

// The same scan inside SQLite, by hand: a function registered here that searches the eight texts'
// bytes, in a statement stepped here.
void handContains(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    const QByteArray needle(reinterpret_cast<const char *>(sqlite3_value_text(argv[0])), sqlite3_value_bytes(argv[0]));
    const bool letters = std::any_of(needle.begin(), needle.end(), [](char c) { return c >= 'a' && c <= 'z'; });
    static std::string folded;
    for (int i = 1; i < argc; ++i) {
        const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(argv[i]));
        if (!p)
            continue;
        const size_t n = size_t(sqlite3_value_bytes(argv[i]));
        if (letters) {
            folded.assign(p, n);
            for (char &ch : folded)
                if (ch >= 'A' && ch <= 'Z')
                    ch = char(ch + 32);
            p = folded.data();
        }
        if (memmem(p, n, needle.constData(), size_t(needle.size()))) {
            sqlite3_result_int(context, 1);
            return;
        }
    }
    sqlite3_result_int(context, 0);
}

std::vector<qint64> scanInSqliteFloor(sqlite3 *db, const QString &text)
{
    return keysOf(db,
                  "SELECT rowid FROM data WHERE hand_contains(?1, F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ) "
                  "ORDER BY rowid",
                  {text.toUtf8()});
}

// The IP index read by hand over the texts the block's addresses begin with, each checked.
std::vector<qint64> ipFloor(sqlite3 *db, const QByteArray &from, const QByteArray &to, quint32 low, quint32 high)
{
    std::vector<qint64> keys;
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT rowid, F_IP FROM data WHERE rowid IN (SELECT rowid FROM data WHERE F_IP >= ?1 AND "
                       "F_IP < ?2 UNION ALL SELECT rowid FROM data WHERE F_IP < '0') ORDER BY rowid",
                       -1, &stmt, nullptr);
    sqlite3_bind_text(stmt, 1, from.constData(), int(from.size()), SQLITE_STATIC);
    sqlite3_bind_text(stmt, 2, to.constData(), int(to.size()), SQLITE_STATIC);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 1));
        const std::optional<quint32> a = ServerQuery::ipv4Of(QString::fromLatin1(p, sqlite3_column_bytes(stmt, 1)));
        if (a && *a >= low && *a <= high)
            keys.push_back(sqlite3_column_int64(stmt, 0));
    }
    sqlite3_finalize(stmt);
    return keys;
}

// One pair, interleaved run by run (which goes first alternates); both must find the same keys.
void pair(const char *what, int servers, const std::function<std::vector<qint64>()> &program,
          const std::function<std::vector<qint64>()> &floor)
{
    Times a, b;
    size_t found = 0;
    bool same = true;
    for (int run = 0; run < kRuns; ++run) {
        std::vector<qint64> x, y;
        auto one = [&] { a.ms.push_back(timeMs([&] { x = program(); })); };
        auto two = [&] { b.ms.push_back(timeMs([&] { y = floor(); })); };
        if (run % 2) {
            two();
            one();
        } else {
            one();
            two();
        }
        same = same && x == y;
        found = x.size();
    }
    std::printf("%s: %zu servers found%s\n", what, found, same ? "" : " (DIFFERENT FROM THE FLOOR)");
    report(what, servers, a, b);
}

qint64 fileSize(const QString &path)
{
    qint64 size = QFileInfo(path).size();
    for (const char *suffix : {"-wal", "-journal"})
        size += QFileInfo(path + QLatin1String(suffix)).size();
    return size;
}

// The longest time the event loop went without running, while text is typed into the search box
// a character at a time with 包含文字 chosen, until the list shows the last answer.
void typingFigure(const QString &programDir, int servers)
{
    MainWindow main(programDir);
    QElapsedTimer wait;
    wait.start();
    while (!main.listsStarted() && wait.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    main.loginWindow()->findChild<QLineEdit *>(LoginNames::accountEdit)->setText(QStringLiteral("admin"));
    main.loginWindow()->findChild<QLineEdit *>(LoginNames::passwordEdit)->setText(QStringLiteral("kavro2008"));
    main.loginWindow()->findChild<QPushButton *>(LoginNames::loginButton)->click();
    QCoreApplication::processEvents();
    main.findChild<QComboBox *>(MainNames::searchField)->setCurrentIndex(5);
    QLineEdit *box = main.findChild<QLineEdit *>(MainNames::searchText);
    const QString word = QStringLiteral("数据网络科");
    for (int run = 0; run < 3; ++run) {
        box->clear();
        QCoreApplication::processEvents();
        double longest = 0;
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        QTimer tick;
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, double(now - last) / 1e6);
            last = now;
        });
        tick.start();
        // One character every 120 ms, as a quick typist with an input method commits them.
        for (int i = 0; i < word.size(); ++i) {
            QInputMethodEvent commit;
            commit.setCommitString(word.mid(i, 1));
            QCoreApplication::sendEvent(box, &commit);
            const qint64 until = clock.elapsed() + 120;
            while (clock.elapsed() < until)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        const qint64 typed = clock.elapsed();
        while (main.serverList()->rowModel()->rowCount() == servers && clock.elapsed() < typed + 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // Until the last answer is surely in.
        const qint64 until = clock.elapsed() + 500;
        while (clock.elapsed() < until)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        tick.stop();
        std::printf("typing \"%s\" with the search running, run %d: event loop held at most %.1f ms; list shows %d\n",
                    qPrintable(word), run + 1, longest, main.serverList()->rowModel()->rowCount());
    }
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int servers = argc > 1 ? std::atoi(argv[1]) : 1000000;
    QTemporaryDir temporary;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path();
    QDir(folder).mkpath(QStringLiteral("db"));
    const QString indexed = folder + QStringLiteral("/db/kavrodb.mdb");
    const QString plain = folder + QStringLiteral("/plain.mdb");
    QString error;
    double fillMs = 0;
    const bool kept = QFile::exists(indexed) && QFile::exists(plain);
    if (kept) {
        std::printf("registers of an earlier run in %s\n", qPrintable(folder));
    } else if (!initRegisterDatabase(plain, &error)) {
        std::fprintf(stderr, "cannot make the register: %s\n", qPrintable(error));
        return 1;
    }
    // The register without the index: filled, then copied and the index added as kavro-db upgrade does.
    if (!kept) {
        sqlite3 *p = nullptr;
        sqlite3_open(plain.toUtf8().constData(), &p);
        sqlite3_exec(p,
                     "DROP TRIGGER data_text_insert; DROP TRIGGER data_text_delete; DROP TRIGGER data_text_update; "
                     "DROP TABLE data_text; VACUUM",
                     nullptr, nullptr, nullptr);
        sqlite3_close(p);
        fillMs = timeMs([&] { fillRegister(plain, servers); });
        QFile::copy(plain, indexed);
        QStringList added;
        const double upgradeMs = timeMs([&] { upgradeRegister(indexed, &added, &error); });
        if (added.isEmpty()) {
            std::fprintf(stderr, "cannot add the index: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("register of %d servers filled in %.0f ms; kavro-db upgrade added the index in %.0f ms\n", servers,
                    fillMs, upgradeMs);
    }
    const qint64 plainSize = fileSize(plain), indexedSize = fileSize(indexed);
    std::printf("file size %d: %.1f MB without the index, %.1f MB with it (+%.0f%%)\n", servers, plainSize / 1e6,
                indexedSize / 1e6, 100.0 * double(indexedSize - plainSize) / double(plainSize));

    RegisterDb db;
    if (!db.open(indexed).ok() || !db.hasTextIndex())
        return 1;
    sqlite3 *hand = nullptr;
    sqlite3_open_v2(indexed.toUtf8().constData(), &hand, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_create_function_v2(hand, "hand_contains", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, handContains,
                               nullptr, nullptr, nullptr);

    // 包含文字 with three characters or more: the index, against the same lookup by hand.
    for (const char *typed : {"0123456", "10.3.25.", "数据网络科", "sv-00999"}) {
        const ServerQuery q = ServerQuery::containing(QString::fromUtf8(typed));
        const QString what = QStringLiteral("包含文字 \"%1\" (index)").arg(QString::fromUtf8(typed));
        pair(
            qPrintable(what), servers, [&] { return db.serverKeys(q).value; },
            [&] { return indexFloor(hand, q.text); });
    }
    // One or two characters: a scan, against a scan by hand of the same texts inside SQLite; and for
    // reference every row's texts stepped out and searched here (more work: every row is returned).
    for (const char *typed : {"蓝", "星辰", "Z9"}) {
        const ServerQuery q = ServerQuery::containing(QString::fromUtf8(typed));
        const QString what = QStringLiteral("包含文字 \"%1\" (scan)").arg(QString::fromUtf8(typed));
        pair(
            qPrintable(what), servers, [&] { return db.serverKeys(q).value; },
            [&] { return scanInSqliteFloor(hand, q.text); });
        Times stepped;
        for (int run = 0; run < 3; ++run)
            stepped.ms.push_back(timeMs([&] { scanFloor(hand, q.text); }));
        std::printf("reference: \"%s\" with every row stepped out and searched by hand: median %.2f ms\n", typed,
                    stepped.median());
    }
    // IP 段 /16 and /24.
    for (const char *typed : {"10.3.0.0/16", "10.7.12.0/24"}) {
        const ServerQuery q = *ServerQuery::ipRange(QString::fromLatin1(typed));
        QString prefix = QString::fromLatin1(typed).section(QLatin1Char('.'), 0, q.high - q.low > 255 ? 1 : 2) + '.';
        QString past = prefix;
        past.back() = QChar(past.back().unicode() + 1);
        const QString what = QStringLiteral("IP 段 %1").arg(QString::fromLatin1(typed));
        pair(
            qPrintable(what), servers, [&] { return db.serverKeys(q).value; },
            [&] { return ipFloor(hand, prefix.toLatin1(), past.toLatin1(), q.low, q.high); });
    }
    sqlite3_close(hand);

    // The price of the index on writes: the same adds, modifications and deletions with and without.
    {
        RegisterDb without;
        if (!without.open(plain).ok())
            return 1;
        Times with, withoutTimes;
        for (int round = 0; round < kRuns; ++round) {
            if (round % 2) {
                withoutTimes.ms.push_back(writeRound(without, round));
                with.ms.push_back(writeRound(db, round));
            } else {
                with.ms.push_back(writeRound(db, round));
                withoutTimes.ms.push_back(writeRound(without, round));
            }
        }
        std::printf("writes (50 adds, 50 modifications, 50 deletions) without the index %d: median %.1f ms\n", servers,
                    withoutTimes.median());
        report("writes with the index, against without", servers, with, withoutTimes);
    }
    db.close();
    typingFigure(folder, servers);
    return 0;
}
