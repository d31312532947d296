// Whole registers copied between SQLite files and PostgreSQL databases.
#include "core/engine/engine.h"
#include "core/engine/schemaddl.h"
#include "core/fileops/registercopy.h"
#include "core/registerdb.h"
#include "core/schema.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Texts a register must carry through unchanged.
const QStringList kHostile = {
    QStringLiteral("it's 'quoted' \"double\""),
    QStringLiteral("'; DROP TABLE data; --"),
    QStringLiteral("C:\\db\\kavrodb.mdb \\' \\\\ \\n"),
    QStringLiteral("line one\r\nline two\rthree\n"),
    QString::fromUtf8("emoji \xF0\x9F\x98\x80, € \xE2\x80\xA8 (U+2028) 数据中心 机柜"),
    QStringLiteral("100% _x_ ? :name $1"),
    QString(),                    // absent
    QStringLiteral(""),           // empty, not absent
    QString(20000, QChar(u'备')), // a long remark
};

// Every record of a register as the windows see it, plus the absent texts, which they cannot tell.
struct Snapshot {
    std::vector<qint64> keys;
    std::vector<ServerRecord> servers;
    std::vector<CustomerRecord> customers;
    QStringList admin;
    QList<QStringList> nulls;
};

// Field by field, so that a difference says where it is.
#define COMPARE_SNAPSHOTS(a, b)                                                                                        \
    do {                                                                                                               \
        const Snapshot x = (a), y = (b);                                                                               \
        QCOMPARE(x.keys, y.keys);                                                                                      \
        QCOMPARE(x.servers.size(), y.servers.size());                                                                  \
        for (size_t i = 0; i < x.servers.size(); ++i)                                                                  \
            QVERIFY2(x.servers[i] == y.servers[i], qPrintable(x.servers[i].ip));                                       \
        QCOMPARE(x.customers.size(), y.customers.size());                                                              \
        for (size_t i = 0; i < x.customers.size(); ++i)                                                                \
            QVERIFY2(x.customers[i].key == y.customers[i].key && x.customers[i].id == y.customers[i].id &&             \
                         x.customers[i].name == y.customers[i].name &&                                                 \
                         x.customers[i].contact == y.customers[i].contact,                                             \
                     qPrintable(x.customers[i].name));                                                                 \
        QCOMPARE(x.admin, y.admin);                                                                                    \
        QCOMPARE(x.nulls, y.nulls);                                                                                    \
    } while (false)

QList<QStringList> absentTexts(const QString &location)
{
    QList<QStringList> out;
    QString error;
    {
        QSqlDatabase db = addRegisterConnection("snapshot", location, &error);
        if (!db.open())
            qFatal("cannot open %s", qPrintable(location));
        const QString key = rowKeyColumn(serverTable(), engineOf(db));
        QSqlQuery q(db);
        q.exec(QStringLiteral("SELECT %1, CASE WHEN F_BZ IS NULL THEN 'absent' ELSE 'there' END, "
                              "CASE WHEN F_JG IS NULL THEN 'absent' ELSE 'there' END FROM data ORDER BY %1")
                   .arg(key));
        while (q.next())
            out << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString()};
        db.close();
    }
    QSqlDatabase::removeDatabase("snapshot");
    return out;
}

Snapshot snapshot(const QString &location)
{
    Snapshot s;
    RegisterDb db;
    const Status opened = db.open(location);
    if (!opened.ok())
        qFatal("cannot open %s: %s", qPrintable(location), qPrintable(opened.reason));
    s.keys = db.serverKeys(ServerQuery::all()).value;
    s.servers = db.servers(s.keys).value;
    s.customers = db.customers().value;
    if (const auto admin = db.administrator().value)
        s.admin = {admin->account, admin->password};
    db.close();
    s.nulls = absentTexts(location);
    return s;
}

// A register with keys that have gaps (deleted servers and customers, one key above 2^32), every
// hostile text in every column somewhere, and two administrator rows.
void fill(const QString &location)
{
    RegisterDb db;
    QVERIFY(db.open(location).ok());
    for (const QString &name :
         {QStringLiteral("甲公司"), QStringLiteral("O'Neil 数据"), QStringLiteral("gone"), QStringLiteral("乙公司")})
        QVERIFY(db.addCustomer(name, name + QStringLiteral(" 电话")).ok());
    const auto customers = db.customers().value;
    QVERIFY(db.deleteCustomer(customers[3].key).ok()); // a gap in the customers' keys
    std::vector<qint64> keys;
    for (int i = 0; i < kHostile.size(); ++i) {
        const QString &t = kHostile[i];
        ServerRecord s{-1, customers[1 + i % 2].name,
                       t,  QStringLiteral("10.0.%1.%2").arg(i).arg(i * 7),
                       t,  QStringLiteral("2026-1-%1").arg(i + 1),
                       t,  QString(),
                       t};
        const Read<qint64> key = db.addServer(s);
        QVERIFY2(key.ok(), qPrintable(key.status.reason));
        keys.push_back(key.value);
    }
    QVERIFY(db.deleteServer(keys[2]).ok());
    QVERIFY(db.deleteServer(keys.back()).ok()); // the newest key is handed out no more
    db.close();
    TempRegister::execAt(location,
                         "INSERT INTO data (F_ID, F_KH, F_IP, F_BZ) VALUES (5000000000, '甲公司', '大键', NULL)");
    TempRegister::execAt(location, "INSERT INTO admin (U_ZH, U_MM) VALUES ('second', 'it''s 密码')");
}

QString newFile(const QTemporaryDir &dir, const QString &name)
{
    return QDir(dir.path()).filePath(name);
}
} // namespace

class TstCopy : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("KAVRO_TEST_PGHOST"))
            QSKIP("needs the test cluster (scripts/test.sh starts one)");
    }
    void wholeRegisterBothWays_data();
    void wholeRegisterBothWays();
    void refusesADestinationThatHoldsRecords();
    void failureLeavesNothing();
    void commandLineTakesConnectionUris();
};

void TstCopy::wholeRegisterBothWays_data()
{
    QTest::addColumn<bool>("fromServer");
    QTest::addColumn<bool>("toServer");
    QTest::newRow("file to file") << false << false;
    QTest::newRow("file to PostgreSQL") << false << true;
    QTest::newRow("PostgreSQL to file") << true << false;
    QTest::newRow("PostgreSQL to PostgreSQL") << true << true;
}

void TstCopy::wholeRegisterBothWays()
{
    QFETCH(bool, fromServer);
    QFETCH(bool, toServer);
    QTemporaryDir dir;
    QString error;
    const QString source = fromServer ? TempRegister::newServerDatabase() : newFile(dir, "源 #1.mdb");
    QVERIFY2(initRegisterDatabase(source, &error), qPrintable(error));
    fill(source);
    if (QTest::currentTestFailed())
        return;
    const Snapshot before = snapshot(source);
    QCOMPARE(before.servers.size(), size_t(kHostile.size() - 1));

    const QString dest = toServer ? TempRegister::newServerDatabase() : newFile(dir, "目标 ?.mdb");
    CopyReport report;
    const Status copied = copyRegister(source, dest, &report);
    QVERIFY2(copied.ok(), qPrintable(copied.reason));
    QCOMPARE(report.servers, qint64(before.servers.size()));
    QCOMPARE(report.customers, 4);
    QCOMPARE(report.administrators, 2);
    COMPARE_SNAPSHOTS(snapshot(dest), before);
    COMPARE_SNAPSHOTS(snapshot(source), before); // the source only read

    // The copy hands out no key the source ever gave: not the deleted newest one either.
    RegisterDb db;
    QVERIFY(db.open(dest).ok());
    // The copy can be searched by any part at once, and finds what the source finds; its history
    // is the source's, entry for entry.
    QVERIFY(db.hasTextIndex());
    QVERIFY(db.hasHistory());
    {
        RegisterDb from;
        QVERIFY(from.open(source).ok());
        const std::vector<HistoryEntry> was = from.history({}, {}, {}).value, is = db.history({}, {}, {}).value;
        QVERIFY(!was.empty());
        QCOMPARE(is.size(), was.size());
        for (size_t i = 0; i < was.size(); ++i) {
            QCOMPARE(is[i].id, was[i].id);
            QCOMPARE(is[i].when, was[i].when);
            QCOMPARE(is[i].who, was[i].who);
            QCOMPARE(is[i].describe(), was[i].describe());
        }
        for (const char *part : {"a", "10.", "服务器", "\\n"}) {
            const ServerQuery q = ServerQuery::containing(QString::fromUtf8(part));
            QCOMPARE(db.serverKeys(q).value, from.serverKeys(q).value);
        }
    }
    ServerRecord s;
    s.ip = "new";
    const Read<qint64> added = db.addServer(s);
    QVERIFY2(added.ok(), qPrintable(added.status.reason));
    QVERIFY2(added.value > 5000000000LL, qPrintable(QString::number(added.value)));
    QVERIFY(db.addCustomer("新客户", "").ok());
    const auto customers = db.customers().value;
    QCOMPARE(customers.back().name, QStringLiteral("新客户"));
    QVERIFY(customers.back().key > customers[customers.size() - 2].key);
    // Unique where the source allowed: a repeated IP is refused.
    QCOMPARE(db.addServer(s).status.fault, Fault::Duplicate);
}

void TstCopy::refusesADestinationThatHoldsRecords()
{
    QTemporaryDir dir;
    QString error;
    const QString source = newFile(dir, "a.mdb");
    QVERIFY(initRegisterDatabase(source, &error));
    for (bool server : {false, true}) {
        const QString dest = server ? TempRegister::newServerDatabase() : newFile(dir, "b.mdb");
        QVERIFY(initRegisterDatabase(dest, &error));
        TempRegister::execAt(dest, "INSERT INTO data (F_IP) VALUES ('theirs')");
        const Snapshot kept = snapshot(dest);
        CopyReport report;
        const Status refused = copyRegister(source, dest, &report);
        QVERIFY(!refused.ok());
        QVERIFY2(refused.reason.contains(server ? "not empty" : "already exists"), qPrintable(refused.reason));
        COMPARE_SNAPSHOTS(snapshot(dest), kept);
    }
    // Tables present but empty, as a database administrator may have made them: filled.
    const QString empty = TempRegister::newServerDatabase();
    {
        QSqlDatabase db = addRegisterConnection("empty", empty, &error);
        QVERIFY(db.open() && createSchema(db, &error));
        db.close();
    }
    QSqlDatabase::removeDatabase("empty");
    CopyReport report;
    QVERIFY(copyRegister(source, empty, &report).ok());
    COMPARE_SNAPSHOTS(snapshot(empty), snapshot(source));
}

void TstCopy::failureLeavesNothing()
{
    // PostgreSQL stores no NUL character: the copy fails at the last server, and nothing of it stays.
    QTemporaryDir dir;
    QString error;
    const QString source = newFile(dir, "a.mdb");
    QVERIFY(initRegisterDatabase(source, &error));
    fill(source);
    TempRegister::execAt(source, "INSERT INTO data (F_IP, F_BZ) VALUES ('nul', 'a' || char(0) || 'b')");
    const QString dest = TempRegister::newServerDatabase();
    CopyReport report;
    const Status failed = copyRegister(source, dest, &report);
    QVERIFY(!failed.ok());
    QCOMPARE(report.servers, 0);
    {
        QSqlDatabase db = addRegisterConnection("after", dest, &error);
        QVERIFY(db.open());
        QCOMPARE(presentTables(db, &error), QStringList()); // not even the tables
        db.close();
    }
    QSqlDatabase::removeDatabase("after");
    // A source that is no register: no destination file is made.
    const Status refused = copyRegister(TempRegister::newServerDatabase(), newFile(dir, "x.mdb"), &report);
    QCOMPARE(refused.fault, Fault::Failed);
    QVERIFY(!QFileInfo::exists(newFile(dir, "x.mdb")));
}

namespace {
struct Run {
    int code;
    QString out, err;
};
Run kavroDb(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(KAVRO_BINARY_DIR "/kavro-db"), args);
    p.waitForFinished(-1);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}
} // namespace

void TstCopy::commandLineTakesConnectionUris()
{
    QTemporaryDir dir;
    const QString uri = TempRegister::newServerDatabase();
    Run r = kavroDb({"init", uri});
    QCOMPARE(r.code, 0);
    r = kavroDb({"init", uri});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains("already holds data, kehu, admin"), qPrintable(r.err));
    r = kavroDb({"check", uri});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.contains("0 servers, 1 customers"));
    QVERIFY(r.out.contains("is sound"));
    QCOMPARE(kavroDb({"check", TempRegister::newServerDatabase()}).code, 1); // no register there
    r = kavroDb({"backup", uri, "kavro.dump"});
    QCOMPARE(r.code, 3); // nothing was copied
    QCOMPARE(r.out, QStringLiteral("pg_dump --format=custom --file=kavro.dump '%1'\n").arg(uri));
    QVERIFY(r.err.contains("pg_dump"));
    // Both ways through the command.
    const QString file = newFile(dir, "团队.mdb");
    r = kavroDb({"copy", uri, file});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains("0 servers, 1 customers, 1 administrator rows"), qPrintable(r.out));
    TempRegister::execAt(file, "INSERT INTO data (F_BH, F_IP, F_DQ) VALUES ('SV-1', '10.0.0.1', '2000-01-01')");
    r = kavroDb({"copy", file, uri});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains("not empty"));
    const QString second = TempRegister::newServerDatabase();
    QCOMPARE(kavroDb({"copy", file, second}).code, 0);
    r = kavroDb({"expiring", second});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains("SV-1\t10.0.0.1"), qPrintable(r.out));
}

QTEST_GUILESS_MAIN(TstCopy)
#include "tst_copy.moc"
