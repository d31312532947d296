// Finding servers by any part of their texts and by address block: the rule, the register's answer
// with and without its text index, servers changed by other programs, searches in the background,
// and kavro-db's upgrade and narrowing options.
#include "core/backgroundsearch.h"
#include "core/registerdb.h"
#include "core/schema.h"
#include "testsupport.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {
// Every server of the fixture: customer, number, IP, cabinet, the three dates, remark.
const QList<QStringList> kServers = {
    {"北京星辰科技有限公司", "BJ-001", "10.1.0.1", "B001-02", "2008-01-01", "2009-01-01", "",
     "电信机房\n第二行：Oracle 数据库"},
    {"上海云帆", "SH-002", "10.1.255.255", "C3", "", "2030-05-05", "", "ABC_def 100%"},
    {"广州", "GZ-3", "10.2.0.0", "", "", "", "", ""},
    {"深圳", "SZ-4", "  192.168.1.7 ", "", "", "", "", "两边有空格"},
    {"深圳", "SZ-5", "192.168.1.255", "", "", "", "", ""},
    {"深圳", "SZ-6", "192.168.2.0", "", "", "", "", ""},
    {"杭州", "HZ-7", "010.1.0.5", "", "", "", "", "前导零"},
    {"杭州", "HZ-8", "web-01", "", "", "", "", ""},
    {"杭州", "HZ-9", "0.0.0.0", "", "", "", "", ""},
    {"杭州", "HZ-10", "255.255.255.255", "", "", "", "", ""},
    {"杭州", "HZ-11", "1.2.3.4.5", "", "", "", "", ""},
    {"杭州", "HZ-12", QString(60, QLatin1Char(' ')) + "10.1.2.6", "", "", "", "", "六十个空格"},
};

QString quoted(const QString &text)
{
    QString t = text;
    return QLatin1Char('\'') + t.replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'');
}

void fill(const TempRegister &reg)
{
    for (const QStringList &s : kServers) {
        QStringList values;
        for (const QString &v : s)
            values << quoted(v);
        QVERIFY(reg.exec(QStringLiteral("INSERT INTO data (F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ) VALUES (%1)")
                             .arg(values.join(QLatin1String(", ")))));
    }
    // A server whose texts were never written at all.
    QVERIFY(reg.exec(QStringLiteral("INSERT INTO data (F_BH) VALUES ('NULLS')")));
}

void dropTextIndex(const TempRegister &reg)
{
    if (TempRegister::onServer()) {
        QVERIFY(reg.exec(QStringLiteral("DROP INDEX data_text")));
        return;
    }
    for (const char *sql : {"DROP TRIGGER data_text_insert", "DROP TRIGGER data_text_delete",
                            "DROP TRIGGER data_text_update", "DROP TABLE data_text"})
        QVERIFY(reg.exec(QString::fromLatin1(sql)));
}

// The numbers of the servers a query lists, in the order listed.
QStringList numbersListed(RegisterDb &db, const ServerQuery &query)
{
    const Read<std::vector<qint64>> keys = db.serverKeys(query);
    if (!keys.ok())
        return {QStringLiteral("failed: ") + keys.status.reason};
    const Read<std::vector<ServerRecord>> servers = db.servers(keys.value);
    QStringList numbers;
    for (const ServerRecord &s : servers.value)
        numbers << s.number;
    return numbers;
}

// The numbers of the servers the rule itself selects, in stored order.
QStringList numbersByRule(RegisterDb &db, const ServerQuery &query)
{
    const Read<std::vector<qint64>> keys = db.serverKeys(ServerQuery::all());
    const Read<std::vector<ServerRecord>> servers = db.servers(keys.value);
    QStringList numbers;
    for (const ServerRecord &s : servers.value)
        if (query.matches(s))
            numbers << s.number;
    return numbers;
}

QString kavroDb()
{
    return QStringLiteral(KAVRO_BINARY_DIR "/kavro-db");
}
} // namespace

class TstSearch : public QObject {
    Q_OBJECT
private slots:
    void ipRanges_data();
    void ipRanges();
    void addressesInStoredTexts_data();
    void addressesInStoredTexts();
    void registerAnswersAsTheRule_data();
    void registerAnswersAsTheRule();
    void otherProgramsChangesAreFound_data();
    void otherProgramsChangesAreFound();
    void onlyTheLatestBackgroundSearchIsAnswered();
    void upgradeAddsTheIndexOnce();
    void toolNarrowsExportAndExpiring();
};

void TstSearch::ipRanges_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("low");
    QTest::addColumn<QString>("high");
    QTest::newRow("/16") << "10.1.0.0/16" << true << "10.1.0.0"
                         << "10.1.255.255";
    QTest::newRow("/0: everything") << "0.0.0.0/0" << true << "0.0.0.0"
                                    << "255.255.255.255";
    QTest::newRow("/32: one address") << "10.1.2.3/32" << true << "10.1.2.3"
                                      << "10.1.2.3";
    QTest::newRow("host bits typed") << "10.1.2.3/24" << true << "10.1.2.0"
                                     << "10.1.2.255";
    QTest::newRow("/31") << "10.1.2.3/31" << true << "10.1.2.2"
                         << "10.1.2.3";
    QTest::newRow("range") << "10.1.2.10-10.1.2.50" << true << "10.1.2.10"
                           << "10.1.2.50";
    QTest::newRow("range reversed") << "10.1.2.50 - 10.1.2.10" << true << "10.1.2.10"
                                    << "10.1.2.50";
    QTest::newRow("prefix of three") << "192.168.1." << true << "192.168.1.0"
                                     << "192.168.1.255";
    QTest::newRow("prefix of one") << "10." << true << "10.0.0.0"
                                   << "10.255.255.255";
    QTest::newRow("full-width, input method's 。") << QString::fromUtf8("１９２。１６８．１．") << true << "192.168.1.0"
                                                   << "192.168.1.255";
    QTest::newRow("one address") << " 8.8.8.8 " << true << "8.8.8.8"
                                 << "8.8.8.8";
    QTest::newRow("/33") << "10.0.0.0/33" << false << ""
                         << "";
    QTest::newRow("no bits") << "10.0.0.0/" << false << ""
                             << "";
    QTest::newRow("signed bits") << "10.0.0.0/+8" << false << ""
                                 << "";
    QTest::newRow("no dot at the end") << "192.168.1" << false << ""
                                       << "";
    QTest::newRow("four parts and a dot") << "1.2.3.4." << false << ""
                                          << "";
    QTest::newRow("part over 255") << "256.1.1.0/24" << false << ""
                                   << "";
    QTest::newRow("leading zero") << "010.1.1.0/24" << false << ""
                                  << "";
    QTest::newRow("range with one end") << "10.1.1.1-" << false << ""
                                        << "";
    QTest::newRow("words") << QString::fromUtf8("机房A") << false << ""
                           << "";
    QTest::newRow("empty") << "" << false << ""
                           << "";
    QTest::newRow("IPv6") << "fe80::/64" << false << ""
                          << "";
}

void TstSearch::ipRanges()
{
    QFETCH(QString, typed);
    QFETCH(bool, valid);
    QFETCH(QString, low);
    QFETCH(QString, high);
    const std::optional<ServerQuery> q = ServerQuery::fromSearchField(6, typed);
    QCOMPARE(q.has_value(), valid);
    if (!valid)
        return;
    QCOMPARE(q->field, ServerQuery::Field::IpRange);
    QCOMPARE(q->low, ServerQuery::ipv4Of(low).value());
    QCOMPARE(q->high, ServerQuery::ipv4Of(high).value());
}

void TstSearch::addressesInStoredTexts_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("address");
    QTest::newRow("plain") << "10.1.2.3" << true;
    QTest::newRow("blanks and a line break around") << " \t10.1.2.3\r\n" << true;
    QTest::newRow("zeros") << "0.0.0.0" << true;
    QTest::newRow("highest") << "255.255.255.255" << true;
    QTest::newRow("leading zero") << "010.1.2.3" << false;
    QTest::newRow("three parts") << "10.1.2" << false;
    QTest::newRow("five parts") << "10.1.2.3.4" << false;
    QTest::newRow("part over 255") << "10.1.2.256" << false;
    QTest::newRow("empty part") << "10..2.3" << false;
    QTest::newRow("blank inside") << "10.1. 2.3" << false;
    QTest::newRow("port") << "10.1.2.3:80" << false;
    QTest::newRow("full-width digits") << QString::fromUtf8("１０.１.２.３") << false;
    QTest::newRow("name") << "web-01" << false;
    QTest::newRow("empty") << "" << false;
}

void TstSearch::addressesInStoredTexts()
{
    QFETCH(QString, stored);
    QFETCH(bool, address);
    QCOMPARE(ServerQuery::ipv4Of(stored).has_value(), address);
}

void TstSearch::registerAnswersAsTheRule_data()
{
    QTest::addColumn<bool>("indexed");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("numbers");
    struct Case {
        const char *name;
        int field;
        const char *typed;
        QStringList numbers;
    };
    const QList<Case> cases = {
        {"three characters of a customer", 5, "星辰科", {"BJ-001"}},
        {"customer name in two characters", 5, "云帆", {"SH-002"}},
        {"one character", 5, "圳", {"SZ-4", "SZ-5", "SZ-6"}},
        {"mixed case", 5, "b001-02", {"BJ-001"}},
        {"full-width letters and digits", 5, "ＢＪ-００１", {"BJ-001"}},
        {"full-width punctuation is itself", 5, "行：", {"BJ-001"}},
        {"half-width punctuation is not the full-width", 5, "行:", {}},
        {"second line of a remark", 5, "第二行：oracle", {"BJ-001"}},
        {"a date as stored", 5, "2009-01", {"BJ-001"}},
        {"part of an IP, also in a text that is no address", 5, "10.1.", {"BJ-001", "SH-002", "HZ-7", "HZ-12"}},
        {"a NUL inside the text: no stored text holds it", 5, "电信\\0机房", {}},
        {"underscore is itself", 5, "c_de", {"SH-002"}},
        {"underscore is no wildcard", 5, "c_x", {}},
        {"percent is itself", 5, "0%", {"SH-002"}},
        {"long text found nowhere", 5, "星辰科技无限公司", {}},
        {"blanks around ignored", 5, "  SZ-", {"SZ-4", "SZ-5", "SZ-6"}},
        {"CIDR /16", 6, "10.1.0.0/16", {"BJ-001", "SH-002", "HZ-12"}},
        {"CIDR /32", 6, "10.1.0.1/32", {"BJ-001"}},
        {"CIDR /0: every address, no other text",
         6,
         "0.0.0.0/0",
         {"BJ-001", "SH-002", "GZ-3", "SZ-4", "SZ-5", "SZ-6", "HZ-9", "HZ-10", "HZ-12"}},
        {"prefix, an address with blanks around", 6, "192.168.1.", {"SZ-4", "SZ-5"}},
        {"range reversed", 6, "192.168.2.0-192.168.1.255", {"SZ-5", "SZ-6"}},
        {"one address with blanks stored around it", 6, "192.168.1.7", {"SZ-4"}},
        {"/23 across a third part", 6, "192.168.0.0/23", {"SZ-4", "SZ-5"}},
        {"highest address", 6, "255.255.255.255/32", {"HZ-10"}},
        {"first parts differ", 6, "9.0.0.0-10.1.255.255", {"BJ-001", "SH-002", "HZ-12"}},
        {"an address after sixty blanks", 6, "10.1.2.6", {"HZ-12"}},
    };
    for (bool indexed : {true, false})
        for (const Case &c : cases)
            QTest::addRow("%s, %s", c.name, indexed ? "indexed" : "scanned")
                << indexed << c.field << QString::fromUtf8(c.typed).replace("\\0", QChar(0)) << c.numbers;
}

void TstSearch::registerAnswersAsTheRule()
{
    QFETCH(bool, indexed);
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QStringList, numbers);
    TempRegister reg;
    fill(reg);
    if (!indexed)
        dropTextIndex(reg);
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    QCOMPARE(db.hasTextIndex(), indexed);
    const std::optional<ServerQuery> query = ServerQuery::fromSearchField(field, typed);
    QVERIFY(query);
    QCOMPARE(numbersListed(db, *query), numbers);
    // A server added, modified or listed again is judged by the very same rule.
    QCOMPARE(numbersByRule(db, *query), numbers);
}

void TstSearch::otherProgramsChangesAreFound_data()
{
    QTest::addColumn<bool>("indexed");
    QTest::newRow("indexed") << true;
    QTest::newRow("scanned") << false;
}

void TstSearch::otherProgramsChangesAreFound()
{
    QFETCH(bool, indexed);
    TempRegister reg;
    fill(reg);
    if (!indexed)
        dropTextIndex(reg);
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    const ServerQuery oldRemark = ServerQuery::containing(QStringLiteral("第二行"));
    const ServerQuery newRemark = ServerQuery::containing(QStringLiteral("银河系统"));
    QCOMPARE(numbersListed(db, oldRemark), QStringList{"BJ-001"});
    // Another program, writing the register directly, changes, adds and deletes.
    QVERIFY(reg.exec(QStringLiteral("UPDATE data SET F_BZ = '迁往银河系统' WHERE F_BH = 'BJ-001'")));
    QCOMPARE(numbersListed(db, oldRemark), QStringList{});
    QCOMPARE(numbersListed(db, newRemark), QStringList{"BJ-001"});
    QVERIFY(reg.exec(QStringLiteral("INSERT INTO data (F_KH, F_BH, F_IP, F_BZ) VALUES ('新客户', 'NEW-1', "
                                    "'10.1.9.9', '银河系统二期')")));
    QCOMPARE(numbersListed(db, newRemark), (QStringList{"BJ-001", "NEW-1"}));
    QCOMPARE(numbersListed(db, *ServerQuery::ipRange(QStringLiteral("10.1.0.0/16"))),
             (QStringList{"BJ-001", "SH-002", "HZ-12", "NEW-1"}));
    QVERIFY(reg.exec(QStringLiteral("DELETE FROM data WHERE F_BH = 'BJ-001'")));
    QCOMPARE(numbersListed(db, newRemark), QStringList{"NEW-1"});
    // The register layer's own writes go through the same triggers.
    const Read<std::vector<qint64>> keys = db.serverKeys(ServerQuery::containing(QStringLiteral("NEW-1")));
    QCOMPARE(keys.value.size(), size_t(1));
    Read<ServerRecord> server = db.server(keys.value[0]);
    const ServerRecord before = server.value;
    server.value.remark = QStringLiteral("星际迁移");
    QVERIFY(db.updateServer(server.value, true, &before).ok());
    QCOMPARE(numbersListed(db, newRemark), QStringList{});
    QCOMPARE(numbersListed(db, ServerQuery::containing(QStringLiteral("星际迁"))), QStringList{"NEW-1"});
    if (indexed && !TempRegister::onServer()) {
        // The index agrees with the table it indexes.
        QVERIFY(reg.exec(QStringLiteral("INSERT INTO data_text (data_text) VALUES ('integrity-check')")));
    }
}

void TstSearch::onlyTheLatestBackgroundSearchIsAnswered()
{
    TempRegister reg;
    fill(reg);
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    BackgroundSearch search(reg.dbPath());
    QSignalSpy found(&search, &BackgroundSearch::found);
    // A word typed a character at a time, each starting a search before the last is answered.
    quint64 last = 0;
    for (const char *typed : {"1", "10", "10.", "10.1", "10.1."})
        last = search.start(ServerQuery::containing(QString::fromLatin1(typed)), ServerOrder{0, true});
    QTRY_VERIFY(!search.busy());
    QTest::qWait(100);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0][0].value<quint64>(), last);
    QCOMPARE(found[0][1].value<ServerQuery>(), ServerQuery::containing(QStringLiteral("10.1.")));
    const std::vector<qint64> keys = found[0][4].value<std::vector<qint64>>();
    QCOMPARE(keys, db.serverKeys(ServerQuery::containing(QStringLiteral("10.1.")), ServerOrder{0, true}).value);
    // A search cancelled is never answered.
    search.start(ServerQuery::containing(QStringLiteral("深圳")), {});
    search.cancel();
    QVERIFY(!search.busy());
    QTest::qWait(200);
    QCOMPARE(found.size(), 1);
    // A register that cannot be opened answers with the reason.
    BackgroundSearch nowhere(reg.programDir() + QStringLiteral("/no such register.mdb"));
    QSignalSpy failed(&nowhere, &BackgroundSearch::found);
    nowhere.start(ServerQuery::all(), {});
    QTRY_COMPARE(failed.size(), 1);
    QVERIFY(!failed[0][3].value<Status>().ok());
}

void TstSearch::upgradeAddsTheIndexOnce()
{
    TempRegister reg;
    fill(reg);
    dropTextIndex(reg);
    auto run = [&](const QStringList &args) {
        QProcess p;
        p.start(kavroDb(), args);
        p.waitForFinished(120000);
        return std::pair<int, QString>(p.exitCode(),
                                       QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()));
    };
    auto [code, said] = run({QStringLiteral("upgrade"), reg.dbPath()});
    QCOMPARE(code, 0);
    QVERIFY2(said.contains(QStringLiteral("added")) && said.contains(QStringLiteral("data_text")), qPrintable(said));
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    QVERIFY(db.hasTextIndex());
    QCOMPARE(numbersListed(db, ServerQuery::containing(QStringLiteral("星辰科"))), QStringList{"BJ-001"});
    QCOMPARE(reg.count(QStringLiteral("data")), int(kServers.size()) + 1);
    db.close();
    // Again: nothing to add, nothing changed.
    std::tie(code, said) = run({QStringLiteral("upgrade"), reg.dbPath()});
    QCOMPARE(code, 0);
    QVERIFY2(said.contains(QStringLiteral("nothing was changed")), qPrintable(said));
    // No register there: refused, nothing made.
    const QString missing = reg.programDir() + QStringLiteral("/missing.mdb");
    std::tie(code, said) = run({QStringLiteral("upgrade"), missing});
    QCOMPARE(code, 1);
    QVERIFY(!QFile::exists(missing));
}

void TstSearch::toolNarrowsExportAndExpiring()
{
    TempRegister reg;
    fill(reg);
    auto run = [&](const QStringList &args) {
        QProcess p;
        p.start(kavroDb(), args);
        p.waitForFinished(120000);
        return std::pair<int, QString>(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()));
    };
    // Expiring within 100 years, narrowed by text and by block.
    auto [code, out] = run({"expiring", reg.dbPath(), "--within", "3650", "--contains", "oracle"});
    QCOMPARE(code, 0);
    QVERIFY2(out.contains("BJ-001") && !out.contains("SH-002"), qPrintable(out));
    std::tie(code, out) = run({"expiring", reg.dbPath(), "--ip-range", "10.1.0.0/16", "--within", "3650"});
    QCOMPARE(code, 0);
    QVERIFY2(out.contains("BJ-001") && out.contains("SH-002"), qPrintable(out));
    std::tie(code, out) = run({"expiring", reg.dbPath(), "--ip-range", "10.1.0"});
    QCOMPARE(code, 2);
    const QString csv = reg.programDir() + QStringLiteral("/out.csv");
    std::tie(code, out) = run({"export", reg.dbPath(), csv, "--ip-range", "192.168.1.", "--contains", "空格"});
    QCOMPARE(code, 0);
    QVERIFY2(out.contains("exported 1 servers"), qPrintable(out));
    std::tie(code, out) = run({"export", reg.dbPath(), csv, "--force", "--contains", "深圳", "--sort", "编号:desc"});
    QCOMPARE(code, 0);
    QVERIFY2(out.contains("exported 3 servers"), qPrintable(out));
}

QTEST_GUILESS_MAIN(TstSearch)
#include "tst_search.moc"
