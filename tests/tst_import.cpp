// Bringing a legacy Access register over: the fixtures field by field, and what no fixture has.
#include "core/engine/engine.h"
#include "core/fileops/legacyimport.h"
#include "core/registerdb.h"
#include "testsupport.h"
#include "tools/mdbreader.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {
const QString kFixtures = QStringLiteral(KAVRO_SOURCE_DIR "/../shared/fixtures");

// The fixtures' CSV form: a header line, fields quoted when they hold text, inner quotes doubled.
QList<QStringList> readCsv(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(f.readAll());
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row << field;
            field.clear();
        } else if (c == '\n') {
            row << field;
            rows << row;
            row.clear();
            field.clear();
        } else {
            field += c;
        }
    }
    return rows.mid(1);
}

QByteArray fileDigest(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QList<QStringList> stored(const TempRegister &reg, const QString &table)
{
    return reg.rows(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(table));
}

// The rows of a table of the register file at path, in stored order.
QList<QStringList> storedIn(const QString &path, const QString &table)
{
    QList<QStringList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "stored-in");
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(table));
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << q.value(i).toString();
            rows << row;
        }
    }
    QSqlDatabase::removeDatabase("stored-in");
    return rows;
}

// A reader fed from memory, for what no fixture file has.
class FakeReader : public LegacyReader {
public:
    bool opens = true;
    QMap<QString, LegacyTable> tables;
    bool open(const QString &, QString *error) override
    {
        if (!opens)
            *error = "not an Access database";
        return opens;
    }
    QStringList tableNames() override { return tables.keys(); }
    bool readTable(const QString &name, LegacyTable *table, QString *) override
    {
        *table = tables.value(name);
        return true;
    }
    static FakeReader complete()
    {
        FakeReader r;
        r.tables["data"] = {{"F_ID", "F_KH", "F_BH", "F_IP", "F_JG", "F_SJ", "F_DQ", "F_XJ", "F_BZ"},
                            {{"3", "甲", "A", "10.0.0.1", "C", "", "", "", ""}}};
        r.tables["kehu"] = {{"K_DD", "K_KH", "K_LX"}, {{"10001", "甲", ""}}};
        r.tables["admin"] = {{"U_ZH", "U_MM"}, {{"root", "pw"}}};
        return r;
    }
};
} // namespace

class TstImport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void fixturesFieldByField_data();
    void fixturesFieldByField();
    void largeFixtureDigest();
    void nextServerGetsAHigherKey();
    void refusals_data();
    void refusals();
    void missingAndExtraColumnsAndTables();
    void failureLeavesNothing();
    void inPlaceKeepsTheAccessFileAndTheProgramOpensTheResult();
    void commandLine();
    void damagedFilesNeverImportInPart_data();
    void damagedFilesNeverImportInPart();
    void staleTemporariesOfAKilledImportAreRemoved();
    void ipIndexUniqueWhereTheDataAllows();
};

void TstImport::initTestCase()
{
    if (!QFileInfo::exists(kFixtures + "/legacy-jet4.mdb"))
        QSKIP("the shared fixtures are not beside the repository");
}

void TstImport::fixturesFieldByField_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("csv");
    QTest::newRow("Jet 4") << "legacy-jet4.mdb"
                           << "legacy-jet4";
    QTest::newRow("ACE") << "legacy-ace.accdb"
                         << "legacy-ace";
    QTest::newRow("5,006 servers") << "legacy-5000.mdb"
                                   << "";
}

void TstImport::fixturesFieldByField()
{
    QFETCH(QString, file);
    QFETCH(QString, csv);
    TempRegister reg(TempRegister::NoFile);
    const QString legacy = kFixtures + "/" + file;
    const QByteArray before = fileDigest(legacy);
    MdbReader reader;
    ImportReport report;
    QString error;
    QVERIFY2(importRegister(reader, legacy, reg.dbPath(), &report, &error), qPrintable(error));
    QCOMPARE(fileDigest(legacy), before); // only read
    const QString base = kFixtures + "/" + (csv.isEmpty() ? QStringLiteral("legacy-jet4") : csv);
    const QList<QStringList> data = stored(reg, "data");
    const QList<QStringList> expected = readCsv(base + ".data.csv");
    QCOMPARE(data.mid(0, expected.size()), expected);
    QCOMPARE(stored(reg, "kehu"), readCsv(base + ".kehu.csv"));
    QCOMPARE(stored(reg, "admin"), readCsv(base + ".admin.csv"));
    QCOMPARE(report.servers, int(data.size()));
    QCOMPARE(report.customers, 4);
    QCOMPARE(report.administrators, 1);
    // Empty texts and missing values both come over as the empty text, never NULL.
    QCOMPARE(reg.rows("SELECT count(*) FROM data WHERE F_SJ IS NULL OR F_BZ IS NULL OR F_BH IS NULL"),
             QList<QStringList>{{"0"}});
    QVERIFY(QDir(reg.programDir() + "/db").entryList(QDir::Files) == QStringList{"kavrodb.mdb"});
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    QVERIFY(db.hasTextIndex()); // an imported register is searched by any part at once
}

void TstImport::largeFixtureDigest()
{
    TempRegister reg(TempRegister::NoFile);
    MdbReader reader;
    ImportReport report;
    QString error;
    QVERIFY2(importRegister(reader, kFixtures + "/legacy-5000.mdb", reg.dbPath(), &report, &error), qPrintable(error));
    QCOMPARE(report.servers, 5006);
    // The data table as CSV in the fixtures' own form, digested as their README gives it.
    QByteArray text = "F_ID,F_KH,F_BH,F_IP,F_JG,F_SJ,F_DQ,F_XJ,F_BZ\n";
    for (const QStringList &row : stored(reg, "data")) {
        QStringList fields = {row[0]};
        for (int i = 1; i < row.size(); ++i)
            fields << (row[i].isEmpty() ? QString() : '"' + QString(row[i]).replace("\"", "\"\"") + '"');
        text += fields.join(',').toUtf8() + '\n';
    }
    QCOMPARE(QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex(),
             QByteArray("59de852e1ec6e54fe042baf2d702d08f"));
    QCOMPARE(reg.rows("SELECT F_BH, F_IP FROM data WHERE F_ID = 5006"),
             (QList<QStringList>{{"S-04999", "10.0.19.135"}}));
}

void TstImport::nextServerGetsAHigherKey()
{
    TempRegister reg(TempRegister::NoFile);
    MdbReader reader;
    ImportReport report;
    QString error;
    QVERIFY(importRegister(reader, kFixtures + "/legacy-jet4.mdb", reg.dbPath(), &report, &error));
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    ServerRecord added;
    added.ip = "new";
    QCOMPARE(db.addServer(added).value, 7);
    QCOMPARE(reg.rows("SELECT F_ID FROM data WHERE F_IP='new'"), QList<QStringList>{{"7"}});
}

void TstImport::refusals_data()
{
    QTest::addColumn<QString>("legacy"); // file contents, or a fixture name
    QTest::addColumn<bool>("newExists");
    QTest::addColumn<QString>("message");
    QTest::newRow("NEW exists") << "fixture:legacy-jet4.mdb" << true << "already exists";
    QTest::newRow("text file") << "servers, one per line\n" << false << "not an Access database";
    QTest::newRow("empty file") << "" << false << "not an Access database";
    QTest::newRow("SQLite register") << "sqlite" << false << "not an Access database";
}

void TstImport::refusals()
{
    QFETCH(QString, legacy);
    QFETCH(bool, newExists);
    QFETCH(QString, message);
    TempRegister reg(newExists ? TempRegister::Initialised : TempRegister::NoFile);
    QString source = reg.programDir() + "/old.mdb";
    if (legacy.startsWith("fixture:")) {
        source = kFixtures + "/" + legacy.mid(8);
    } else if (legacy == "sqlite") {
        TempRegister other;
        QVERIFY(QFile::copy(other.dbPath(), source));
    } else {
        QFile f(source);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(legacy.toUtf8());
    }
    const QByteArray newBefore = newExists ? fileDigest(reg.dbPath()) : QByteArray();
    const QByteArray sourceBefore = fileDigest(source);
    MdbReader reader;
    ImportReport report;
    QString error;
    QVERIFY(!importRegister(reader, source, reg.dbPath(), &report, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(QFileInfo::exists(reg.dbPath()), newExists);
    if (newExists)
        QCOMPARE(fileDigest(reg.dbPath()), newBefore);
    QCOMPARE(fileDigest(source), sourceBefore);
    QCOMPARE(QDir(reg.programDir() + "/db").entryList(QDir::Files).size(), newExists ? 1 : 0);
}

void TstImport::missingAndExtraColumnsAndTables()
{
    TempRegister reg(TempRegister::NoFile);
    FakeReader reader = FakeReader::complete();
    reader.tables["data"] = {{"F_IP", "f_bh", "F_KH", "Extra"},
                             {{"10.0.0.1", "A", "甲", "x"}, {"10.0.0.2", "B", "", "y"}}};
    reader.tables["Notes"] = {{"n"}, {{"1"}}};
    ImportReport report;
    QString error;
    QVERIFY2(importRegister(reader, "legacy", reg.dbPath(), &report, &error), qPrintable(error));
    QCOMPARE(stored(reg, "data"), (QList<QStringList>{{"1", "甲", "A", "10.0.0.1", "", "", "", "", ""},
                                                      {"2", "", "B", "10.0.0.2", "", "", "", "", ""}}));
    QVERIFY(report.notes.contains("column data.Extra ignored"));
    QVERIFY(report.notes.contains("table Notes ignored"));
    QVERIFY(report.notes.contains("column data.F_SJ is missing: stored as empty"));
    QVERIFY(!report.notes.contains("column data.F_BH is missing: stored as empty")); // found by name, any case

    FakeReader lacking = FakeReader::complete();
    lacking.tables.remove("admin");
    TempRegister other(TempRegister::NoFile);
    QVERIFY(!importRegister(lacking, "legacy", other.dbPath(), &report, &error));
    QVERIFY(error.contains("no table admin"));
    QVERIFY(!QFileInfo::exists(other.dbPath()));
}

void TstImport::failureLeavesNothing()
{
    TempRegister reg(TempRegister::NoFile);
    FakeReader reader = FakeReader::complete();
    // Two servers with one key: the second cannot be stored, so nothing is.
    reader.tables["data"].rows.push_back({"3", "乙", "B", "10.0.0.2", "", "", "", "", ""});
    ImportReport report;
    QString error;
    QVERIFY(!importRegister(reader, "legacy", reg.dbPath(), &report, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QDir(reg.programDir() + "/db").entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TstImport::inPlaceKeepsTheAccessFileAndTheProgramOpensTheResult()
{
    TempRegister reg(TempRegister::NoFile);
    QVERIFY(QFile::copy(kFixtures + "/legacy-jet4.mdb", reg.dbPath()));
    const QByteArray original = fileDigest(reg.dbPath());
    {
        RegisterDb db; // an Access file where the program expects its database: a failed connection
        QVERIFY(!db.open(reg.dbPath()).ok());
    }
    QCOMPARE(fileDigest(reg.dbPath()), original);
    MdbReader reader;
    ImportReport report;
    QString backup, error;
    QVERIFY2(importInPlace(reader, reg.dbPath(), &report, &backup, &error), qPrintable(error));
    QCOMPARE(backup, reg.dbPath() + ".access-backup");
    QCOMPARE(fileDigest(backup), original);
    QCOMPARE(stored(reg, "admin"), (QList<QStringList>{{"admin", "admin888"}}));
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    QCOMPARE(QDir(reg.programDir() + "/db").entryList(QDir::Files).size(), 2);
    // A second conversion is refused: the backup exists and is never overwritten.
    const QByteArray converted = fileDigest(reg.dbPath());
    QVERIFY(!importInPlace(reader, reg.dbPath(), &report, &backup, &error));
    QVERIFY(error.contains("already exists"));
    QCOMPARE(fileDigest(backup), original);
    QCOMPARE(fileDigest(reg.dbPath()), converted);
}

void TstImport::commandLine()
{
    const QString tool = QStringLiteral(KAVRO_BINARY_DIR "/kavro-db");
    TempRegister reg(TempRegister::NoFile);
    QProcess p;
    p.start(tool, {"import", kFixtures + "/legacy-ace.accdb", reg.dbPath()});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(p.readAllStandardOutput().contains("brought over: 6 servers, 4 customers, 1 administrator rows"));
    p.start(tool, {"import", kFixtures + "/legacy-ace.accdb", reg.dbPath()});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(p.readAllStandardError().contains("already exists"));
    p.start(tool, {"init", reg.dbPath()});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 1);
    p.start(tool, {"import"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 2);
}

void TstImport::damagedFilesNeverImportInPart_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("damage"); // cut:N keeps the first N bytes; zero:N blanks the 4 KiB page at N
    for (const char *fixture : {"legacy-jet4.mdb", "legacy-5000.mdb"}) {
        const qint64 size = QFileInfo(kFixtures + "/" + fixture).size();
        for (int i = 1; i <= 8; ++i) {
            const qint64 at = size * i / 9 / 4096 * 4096;
            QTest::addRow("%s cut at %lld", fixture, at) << fixture << QStringLiteral("cut:%1").arg(at);
            QTest::addRow("%s page %lld blanked", fixture, at / 4096) << fixture << QStringLiteral("zero:%1").arg(at);
        }
    }
    // Cut inside the last page (a short read whose rows came back as empty texts), and at a page
    // boundary (a page past the end of the file).
    QTest::newRow("legacy-jet4.mdb cut inside a page") << "legacy-jet4.mdb"
                                                       << "cut:140083";
    QTest::newRow("legacy-jet4.mdb cut at a page boundary") << "legacy-jet4.mdb"
                                                            << "cut:143360";
}

void TstImport::damagedFilesNeverImportInPart()
{
    QFETCH(QString, fixture);
    QFETCH(QString, damage);
    if (!QFileInfo::exists(kFixtures + "/" + fixture))
        QSKIP("fixtures not present");
    TempRegister reg(TempRegister::NoFile);
    // What the sound file brings over.
    ImportReport whole;
    QString error;
    {
        MdbReader reader;
        QVERIFY2(importRegister(reader, kFixtures + "/" + fixture, reg.programDir() + "/whole.mdb", &whole, &error),
                 qPrintable(error));
    }
    QFile source(kFixtures + "/" + fixture);
    QVERIFY(source.open(QIODevice::ReadOnly));
    QByteArray bytes = source.readAll();
    const qint64 at = damage.section(QLatin1Char(':'), 1).toLongLong();
    if (damage.startsWith("cut:"))
        bytes.truncate(at);
    else
        bytes.replace(at, 4096, QByteArray(4096, '\0'));
    const QString damaged = reg.programDir() + "/damaged.mdb";
    QFile out(damaged);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    MdbReader reader;
    ImportReport report;
    if (importRegister(reader, damaged, reg.dbPath(), &report, &error)) {
        // A damage that spared the rows: everything came over, text for text.
        QCOMPARE(report.servers, whole.servers);
        QCOMPARE(report.customers, whole.customers);
        QCOMPARE(report.administrators, whole.administrators);
        for (const char *table : {"data", "kehu", "admin"})
            QCOMPARE(stored(reg, table), storedIn(reg.programDir() + "/whole.mdb", table));
    } else {
        QVERIFY(!QFileInfo::exists(reg.dbPath()));
        QVERIFY(!error.isEmpty());
    }
    QCOMPARE(QDir(reg.programDir() + "/db").entryList(QDir::Files).size(), QFileInfo::exists(reg.dbPath()) ? 1 : 0);
}

void TstImport::staleTemporariesOfAKilledImportAreRemoved()
{
    TempRegister reg(TempRegister::NoFile);
    const QString dir = reg.programDir() + "/db/";
    const QStringList own = {"kavrodb.mdb.partial-0123abcd", "kavrodb.mdb.converted-89abcdef"};
    const QStringList others = {"kavrodb.mdb.partial-xyz", "other.mdb.partial-0123abcd", "notes.txt",
                                "kavrodb.mdb.partial-0123abcd.keep"};
    for (const QString &name : own + others) {
        QFile f(dir + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("left behind");
    }
    FakeReader reader = FakeReader::complete();
    ImportReport report;
    QString error;
    QVERIFY2(importRegister(reader, "old.mdb", reg.dbPath(), &report, &error), qPrintable(error));
    QStringList expected = others;
    expected << "kavrodb.mdb";
    expected.sort();
    QStringList present = QDir(dir).entryList(QDir::Files);
    present.sort();
    QCOMPARE(present, expected);
}

void TstImport::ipIndexUniqueWhereTheDataAllows()
{
    for (bool repeated : {false, true}) {
        TempRegister reg(TempRegister::NoFile);
        FakeReader reader = FakeReader::complete();
        if (repeated)
            reader.tables["data"].rows.push_back({"4", "乙", "B", "10.0.0.1", "C", "", "", "", ""});
        ImportReport report;
        QString error;
        QVERIFY2(importRegister(reader, "old.mdb", reg.dbPath(), &report, &error), qPrintable(error));
        QCOMPARE(report.servers, repeated ? 2 : 1);
        QCOMPARE(reg.rows("SELECT sql LIKE 'CREATE UNIQUE%' FROM sqlite_master WHERE name='data_F_IP'"),
                 QList<QStringList>{{repeated ? "0" : "1"}});
        QCOMPARE(report.notes.contains("values of data.F_IP repeat: its index is not unique"), repeated);
    }
}

QTEST_GUILESS_MAIN(TstImport)
#include "tst_import.moc"
