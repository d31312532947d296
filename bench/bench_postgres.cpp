// The register on PostgreSQL over a Unix socket, on a realistic register copied from a file.
// Usage: bench/run-postgres.sh [SERVERS]   (starts a throwaway cluster; default 100000)
//        or bench_postgres SOCKET_FOLDER [SERVERS] against a running cluster whose superuser is kavro.
//
// Medians of interleaved runs with min and max, each ratio on a line of its own:
//   list load: what the list does on opening - every key in stored order, then the first screen
//          of rows by key (RegisterDb::serverKeys + RegisterDb::servers);
//   psql: `psql -c "select F_ID from data"`, a whole process printing every key (the reference the
//          list is held to, but no floor: it starts a process and formats text);
//   floor: the list's own work by hand through libpq in this process: its key query (stored
//          order) in binary, every key read, then the first screen of rows, every byte read;
//   add / modify / delete: one round trip each through the register layer, the modification
//          carrying the values it was read with;
//   two programs: two connections (threads) each modifying random servers of the same 50, 500
//          times each, read-modify-write without pause; every save reported stored must be stored,
//          every refused save reported - on PostgreSQL and on an SQLite file.
#include "benchdata.h"
#include "core/engine/schemaddl.h"
#include "core/fileops/registercopy.h"
#include "core/registerdb.h"
#include "core/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <cstdio>
#include <libpq-fe.h>
#include <mutex>

namespace {
constexpr int kRuns = 15;

QString uriFor(const QString &host, const QString &db)
{
    return QStringLiteral("postgresql:///%1?host=%2&user=kavro").arg(db, host);
}

bool createDatabase(const QString &host, const QString &name)
{
    PGconn *c = PQconnectdb(uriFor(host, QStringLiteral("postgres")).toUtf8().constData());
    PGresult *r = PQexec(c, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name).toUtf8().constData());
    PQclear(r);
    r = PQexec(c,
               QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8'").arg(name).toUtf8().constData());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    if (!ok)
        std::fprintf(stderr, "%s", PQerrorMessage(c));
    PQclear(r);
    PQfinish(c);
    return ok;
}

// The list's keys by hand: the same query in binary, every key read.
quint64 libpqFloor(PGconn *c)
{
    PGresult *r = PQexecParams(c, "select F_ID from data order by F_ID", 0, nullptr, nullptr, nullptr, nullptr, 1);
    quint64 sum = 0;
    const int n = PQntuples(r);
    QByteArray first;
    for (int i = 0; i < n; ++i) {
        const quint64 key = qFromBigEndian<quint64>(reinterpret_cast<const uchar *>(PQgetvalue(r, i, 0)));
        sum += key;
        if (i < 30)
            first += (i ? "," : "") + QByteArray::number(key);
    }
    PQclear(r);
    // Then the first screen of rows by key, every byte read.
    r = PQexec(c,
               "select F_ID, F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ from data where F_ID in (" + first + ")");
    for (int i = 0; i < PQntuples(r); ++i)
        for (int col = 0; col < 9; ++col) {
            const char *p = PQgetvalue(r, i, col);
            for (int b = 0; b < PQgetlength(r, i, col); ++b)
                sum = sum * 31 + uchar(p[b]);
        }
    PQclear(r);
    return sum + quint64(n);
}

// The 1,000 interleaved modifications; false when a save was lost or misreported.
bool twoPrograms(const QString &location, const char *engine)
{
    RegisterDb setup;
    if (!setup.open(location).ok())
        return false;
    std::vector<qint64> keys;
    for (int i = 0; i < 50; ++i) {
        ServerRecord s;
        s.ip = QStringLiteral("race-%1").arg(i);
        s.remark = QStringLiteral("起");
        keys.push_back(setup.addServer(s).value);
    }
    std::mutex lock;
    QSet<QString> saved, refused;
    int failed = 0;
    auto program = [&](char who) {
        RegisterDb db;
        if (!db.open(location).ok()) {
            ++failed;
            return;
        }
        QRandomGenerator random(who);
        for (int n = 0; n < 500; ++n) {
            const qint64 key = keys[size_t(random.bounded(50))];
            const Read<ServerRecord> read = db.server(key);
            if (!read.ok()) {
                std::lock_guard g(lock);
                ++failed;
                continue;
            }
            const QString token = QStringLiteral("%1%2").arg(QLatin1Char(who)).arg(n);
            ServerRecord changed = read.value;
            changed.remark += QLatin1Char(';') + token;
            const Status status = db.updateServer(changed, true, &read.value);
            std::lock_guard g(lock);
            if (status.ok())
                saved << token;
            else if (status.fault == Fault::Changed)
                refused << token;
            else
                ++failed;
        }
    };
    QThread *a = QThread::create(program, 'a');
    QThread *b = QThread::create(program, 'b');
    a->start();
    b->start();
    a->wait();
    b->wait();
    delete a;
    delete b;
    QSet<QString> stored;
    for (const ServerRecord &s : setup.servers(keys).value)
        for (const QString &t : s.remark.split(QLatin1Char(';')).mid(1))
            stored << t;
    const int lost = int((saved - stored).size());
    const int misreported = int((stored & refused).size());
    std::printf("two programs on %s: %lld saves stored, %lld refused and reported, %d lost, %d refused but stored, "
                "%d failed\n",
                engine, qlonglong(saved.size()), qlonglong(refused.size()), lost, misreported, failed);
    return lost == 0 && misreported == 0 && failed == 0 && saved.size() + refused.size() == 1000 &&
           stored.size() == saved.size();
}
// 包含文字 by hand: the GIN index over the eight texts joined (its expression written out as the
// index has it), then each text compared; keys in binary.
std::vector<qint64> containsFloor(PGconn *c, const QString &text)
{
    static const char *columns[] = {"F_BH", "F_IP", "F_JG", "F_SJ", "F_DQ", "F_XJ", "F_KH", "F_BZ"};
    auto fold = [](const QByteArray &e) {
        return "translate(" + e + ", 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz')";
    };
    QList<QByteArray> joined, each;
    for (const char *column : columns) {
        joined << "coalesce(" + QByteArray(column) + ", '')";
        each << fold("coalesce(" + QByteArray(column) + ", '')") + " LIKE $2 ESCAPE '!'";
    }
    // The index's expression: marks as rare letters, so that pg_trgm keeps "10.1.25." one word.
    const QByteArray sql =
        "SELECT F_ID FROM data WHERE translate(" + joined.join(" || ' ' || ") +
        ", 'ABCDEFGHIJKLMNOPQRSTUVWXYZ.-:/_', 'abcdefghijklmnopqrstuvwxyz\u0180\u0188\u018C\u0192\u0199') "
        "LIKE $1 ESCAPE '!' AND (" +
        each.join(" OR ") + ") ORDER BY F_ID";
    QString marked = text;
    marked.replace('.', QChar(0x180)).replace('-', QChar(0x188)).replace(':', QChar(0x18C)).replace('/', QChar(0x192));
    const QByteArray indexed = ('%' + marked + '%').toUtf8(), pattern = ('%' + text + '%').toUtf8();
    const char *values[] = {indexed.constData(), pattern.constData()};
    PGresult *r = PQexecParams(c, sql.constData(), 2, nullptr, values, nullptr, nullptr, 1);
    std::vector<qint64> keys;
    for (int i = 0; i < PQntuples(r); ++i)
        keys.push_back(qint64(qFromBigEndian<quint64>(reinterpret_cast<const uchar *>(PQgetvalue(r, i, 0)))));
    PQclear(r);
    return keys;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_postgres SOCKET_FOLDER [SERVERS]\n");
        return 2;
    }
    const QString host = QString::fromLocal8Bit(argv[1]);
    const int servers = argc > 2 ? std::atoi(argv[2]) : 100000;
    QTemporaryDir dir;
    const QString file = QDir(dir.path()).filePath(QStringLiteral("kavrodb.mdb"));
    QString error;
    if (!initRegisterDatabase(file, &error) || !fillRegister(file, servers)) {
        std::fprintf(stderr, "cannot make the register: %s\n", qPrintable(error));
        return 1;
    }
    if (!createDatabase(host, QStringLiteral("kavro_bench")))
        return 1;
    const QString uri = uriFor(host, QStringLiteral("kavro_bench"));
    CopyReport copied;
    const double copyMs = timeMs([&] {
        const Status s = copyRegister(file, uri, &copied);
        if (!s.ok())
            std::fprintf(stderr, "copy: %s\n", qPrintable(s.reason));
    });
    std::printf("kavro-db copy of %lld servers into PostgreSQL: %.0f ms\n", copied.servers, copyMs);
    PGconn *floorConn = PQconnectdb(uri.toUtf8().constData());
    PQclear(PQexec(floorConn, "VACUUM ANALYZE"));

    RegisterDb db;
    if (!db.open(uri).ok())
        return 1;
    Times load, psql, libpq;
    size_t shown = 0;
    for (int run = 0; run < kRuns; ++run) {
        psql.ms.push_back(timeMs([&] {
            QProcess p;
            p.setStandardOutputFile(QProcess::nullDevice());
            p.start(QStringLiteral("psql"), {uri, QStringLiteral("-c"), QStringLiteral("select F_ID from data")});
            p.waitForFinished(-1);
        }));
        auto floorRun = [&] { libpq.ms.push_back(timeMs([&] { shown += libpqFloor(floorConn) & 1; })); };
        auto loadRun = [&] {
            load.ms.push_back(timeMs([&] {
                const Read<std::vector<qint64>> keys = db.serverKeys(ServerQuery::all());
                const std::vector<qint64> first(keys.value.begin(),
                                                keys.value.begin() + std::min<size_t>(30, keys.value.size()));
                shown += db.servers(first).value.size() + keys.value.size();
            }));
        };
        // Which of the pair goes first alternates, so that neither always finds the caches warm.
        if (run % 2) {
            floorRun();
            loadRun();
        } else {
            loadRun();
            floorRun();
        }
    }
    std::printf("psql -c \"select F_ID from data\" %d: median %.2f ms (min %.2f, max %.2f)\n", servers, psql.median(),
                psql.min(), psql.max());
    std::printf("list load %d: %.2f x psql (a whole process printing the keys, not a floor)\n", servers,
                load.median() / psql.median());
    report("list load", servers, load, libpq);

    // 包含文字 of three characters or more through the GIN index, against the same lookup by hand.
    for (const char *typed : {"0012345", "sv-00999", "数据网络科", "10.1.25."}) {
        const ServerQuery q = ServerQuery::containing(QString::fromUtf8(typed));
        Times program, floor;
        std::vector<qint64> a, b;
        for (int run = 0; run < kRuns; ++run) {
            auto one = [&] { program.ms.push_back(timeMs([&] { a = db.serverKeys(q).value; })); };
            auto two = [&] { floor.ms.push_back(timeMs([&] { b = containsFloor(floorConn, q.text); })); };
            if (run % 2) {
                two();
                one();
            } else {
                one();
                two();
            }
        }
        const QString what = QStringLiteral("PostgreSQL 包含文字 \"%1\"").arg(QString::fromUtf8(typed));
        std::printf("%s: %zu servers found%s\n", qPrintable(what), a.size(),
                    a == b ? "" : " (DIFFERENT FROM THE FLOOR)");
        report(qPrintable(what), servers, program, floor);
    }
    {
        PGresult *plan = PQexec(
            floorConn, "EXPLAIN SELECT F_ID FROM data WHERE translate(coalesce(F_BH, '') || ' ' || "
                       "coalesce(F_IP, '') || ' ' || coalesce(F_JG, '') || ' ' || coalesce(F_SJ, '') || "
                       "' ' || coalesce(F_DQ, '') || ' ' || coalesce(F_XJ, '') || ' ' || "
                       "coalesce(F_KH, '') || ' ' || coalesce(F_BZ, ''), "
                       "'ABCDEFGHIJKLMNOPQRSTUVWXYZ.-:/_', 'abcdefghijklmnopqrstuvwxyz\u0180\u0188\u018C\u0192\u0199') "
                       "LIKE '%sv\u018800999%'");
        QByteArray text;
        for (int i = 0; i < PQntuples(plan); ++i)
            text += QByteArray(PQgetvalue(plan, i, 0)) + "; ";
        PQclear(plan);
        std::printf("PostgreSQL plan of 包含文字: %s\n", text.constData());
    }

    Times add, modify, del;
    QRandomGenerator random(7);
    for (int run = 0; run < 50; ++run) {
        ServerRecord s{-1,
                       QStringLiteral("华东蓝海有限公司"),
                       QStringLiteral("SV-NEW"),
                       QStringLiteral("bench-%1").arg(run),
                       QStringLiteral("A-1"),
                       QStringLiteral("2026-01-01"),
                       QStringLiteral("2027-01-01"),
                       QString(),
                       QString(120, QChar(u'备'))};
        Read<qint64> added;
        add.ms.push_back(timeMs([&] { added = db.addServer(s); }));
        mustHold(added.ok(), QStringLiteral("an add: %1").arg(added.status.reason));
        s.key = added.value;
        const ServerRecord asRead = s;
        s.remark = QStringLiteral("改过 %1").arg(random.generate());
        Status saved, deleted;
        modify.ms.push_back(timeMs([&] { saved = db.updateServer(s, true, &asRead); }));
        mustHold(saved.ok(), QStringLiteral("a modification: %1").arg(saved.reason));
        del.ms.push_back(timeMs([&] { deleted = db.deleteServer(s.key); }));
        mustHold(deleted.ok(), QStringLiteral("a deletion: %1").arg(deleted.reason));
    }
    for (auto [what, t] : {std::pair{"add", &add}, {"modify", &modify}, {"delete", &del}})
        std::printf("%s round trip %d: median %.2f ms (min %.2f, max %.2f)\n", what, servers, t->median(), t->min(),
                    t->max());

    // The change history's price: the same saves on a copy without it, interleaved.
    if (!createDatabase(host, QStringLiteral("kavro_plain")))
        return 1;
    const QString plainUri = uriFor(host, QStringLiteral("kavro_plain"));
    CopyReport plainCopied;
    copyRegister(file, plainUri, &plainCopied);
    {
        PGconn *c = PQconnectdb(plainUri.toUtf8().constData());
        PQclear(PQexec(c, "DROP TRIGGER data_jilu ON data; DROP TRIGGER kehu_jilu ON kehu; "
                          "DROP TRIGGER admin_jilu ON admin; DROP TABLE jilu"));
        PQclear(PQexec(c, "VACUUM ANALYZE"));
        PQfinish(c);
    }
    RegisterDb plain;
    if (!plain.open(plainUri).ok() || plain.hasHistory() || !db.hasHistory()) {
        std::fprintf(stderr, "cannot make the register without the history\n");
        return 1;
    }
    Times withHistory, withoutHistory;
    auto saves = [&](RegisterDb &on, int round) {
        return timeMs([&] {
            for (int i = 0; i < 50; ++i) {
                ServerRecord s{-1,
                               QStringLiteral("华东蓝海有限公司"),
                               QStringLiteral("SV-NEW"),
                               QStringLiteral("h-%1-%2").arg(round).arg(i),
                               QStringLiteral("A-1"),
                               QStringLiteral("2026-01-01"),
                               QStringLiteral("2027-01-01"),
                               QString(),
                               QString(120, QChar(u'备'))};
                s.key = on.addServer(s).value;
                const ServerRecord asRead = s;
                s.remark = QStringLiteral("改过 %1").arg(i);
                on.updateServer(s, true, &asRead);
                on.deleteServer(s.key);
            }
        });
    };
    for (int round = 0; round < kRuns; ++round) {
        if (round % 2) {
            withoutHistory.ms.push_back(saves(plain, round));
            withHistory.ms.push_back(saves(db, round));
        } else {
            withHistory.ms.push_back(saves(db, round));
            withoutHistory.ms.push_back(saves(plain, round));
        }
    }
    std::printf("PostgreSQL writes (50 adds, modifications, deletions) without the history %d: median %.1f ms\n",
                servers, withoutHistory.median());
    report("PostgreSQL writes with the history, against without", servers, withHistory, withoutHistory);
    plain.close();
    db.close();
    PQfinish(floorConn);

    if (!createDatabase(host, QStringLiteral("kavro_race")))
        return 1;
    const QString race = uriFor(host, QStringLiteral("kavro_race"));
    const QString raceFile = QDir(dir.path()).filePath(QStringLiteral("race.mdb"));
    const bool sound = initRegisterDatabase(race, &error) && twoPrograms(race, "PostgreSQL") &&
                       initRegisterDatabase(raceFile, &error) && twoPrograms(raceFile, "an SQLite file");
    std::printf("(%zu)\n", shown & 1);
    return sound ? 0 : 1;
}
