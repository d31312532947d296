// Text rules of the core: comparison, joining, quoting, statements, GBK lengths, dates, keys.
#include "core/customerkey.h"
#include "core/datetext.h"
#include "core/engine/engine.h"
#include "core/paths.h"
#include "core/records.h"
#include "core/sortkey.h"
#include "core/statements.h"
#include "core/text.h"

#include <QTest>

Q_DECLARE_METATYPE(Statement)

class TstText : public QObject {
    Q_OBJECT
private slots:
    void compare_data();
    void compare();
    void joinSkipsNullTexts();
    void statementsKeepTheirForm_data();
    void statementsKeepTheirForm();
    void searchConditionOutsideFields();
    void gbkLength_data();
    void gbkLength();
    void dateRoundTrip();
    void textToDate_data();
    void textToDate();
    void readDateTimeOfDay_data();
    void readDateTimeOfDay();
    void ipAddresses_data();
    void ipAddresses();
    void passwordsHidden_data();
    void passwordsHidden();
    void keysInRangeAndRedrawn();
    void expiry_data();
    void expiry();
    void retiredRule_data();
    void retiredRule();
    void dayCount_data();
    void dayCount();
    void chineseSortOrder();
};

void TstText::compare_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("equal");
    QTest::newRow("letter case") << "Abc"
                                 << "abc" << false;
    QTest::newRow("empty vs absent") << QString("") << QString() << true;
    QTest::newRow("absent vs absent") << QString() << QString() << true;
    QTest::newRow("absent vs text") << QString() << "a" << false;
    QTest::newRow("trailing blank") << "a"
                                    << "a " << false;
    QTest::newRow("same Chinese") << "默认客户"
                                  << "默认客户" << true;
    QTest::newRow("full-width digit") << "１"
                                      << "1" << false;
}

void TstText::compare()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, equal);
    QCOMPARE(textCompare(a, b) == 0, equal);
    QCOMPARE(textCompare(b, a) == 0, equal);
}

void TstText::joinSkipsNullTexts()
{
    QCOMPARE(textJoin({u"F_KH='", QString(), u"'"}), QStringLiteral("F_KH=''"));
    QCOMPARE(textJoin({u"a", u"中", u"b"}), QStringLiteral("a中b"));
}

void TstText::statementsKeepTheirForm_data()
{
    QTest::addColumn<Statement>("built");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("values");
    QTest::newRow("server update by key") << updateByKey("data", {{"F_BH", "A01"}}, 7)
                                          << "update data set F_BH = ? where rowid = ?" << QVariantList{"A01", 7LL};
    QTest::newRow("values never in the text")
        << updateByKey("data", {{"F_BZ", "it's"}, {"F_JG", "1\\'2"}}, 3)
        << "update data set F_BZ = ?, F_JG = ? where rowid = ?" << QVariantList{"it's", "1\\'2", 3LL};
    QTest::newRow("injection stays a value")
        << updateByKey("data", {{"F_BZ", "'; DROP TABLE data; --"}}, 1) << "update data set F_BZ = ? where rowid = ?"
        << QVariantList{"'; DROP TABLE data; --", 1LL};
    QTest::newRow("expected values, absent ones as empty")
        << updateByKey("kehu", {{"K_KH", "O'Neil 数据"}}, 12, {{"K_KH", QString()}}, "K_ID")
        << "update kehu set K_KH = ? where K_ID = ? and coalesce(K_KH, '') = ?"
        << QVariantList{"O'Neil 数据", 12LL, ""};
    QTest::newRow("64-bit key") << deleteByKey("data", 5000000000LL) << "delete from data where rowid = ?"
                                << QVariantList{5000000000LL};
    QTest::newRow("insert, absent text stored empty")
        << insertRow("kehu", {"K_DD", "K_KH"}, {"1", QString()}) << "insert into kehu (K_DD, K_KH) values (?, ?)"
        << QVariantList{"1", ""};
    QTest::newRow("admin update") << adminUpdate("U_ZH", "root") << "update admin set U_ZH = ?" << QVariantList{"root"};
    QTest::newRow("condition") << equalCondition("F_KH", "O'Neil") << "F_KH = ?" << QVariantList{"O'Neil"};
}

void TstText::statementsKeepTheirForm()
{
    QFETCH(Statement, built);
    QFETCH(QString, sql);
    QFETCH(QVariantList, values);
    QCOMPARE(built.sql, sql);
    QCOMPARE(built.values.size(), values.size());
    for (int i = 0; i < values.size(); ++i)
        QCOMPARE(built.values[i].toString(), values[i].toString());
}

void TstText::searchConditionOutsideFields()
{
    using F = ServerQuery::Field;
    QVERIFY(!ServerQuery::fromSearchField(-1, "x"));
    QVERIFY(!ServerQuery::fromSearchField(4, "x"));
    const F fields[] = {F::Number, F::Ip, F::Customer, F::Cabinet};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(ServerQuery::fromSearchField(i, "x"), ServerQuery::equal(fields[i], "x"));
    ServerRecord server;
    server.number = "A01";
    server.ip = "10.0.0.1";
    server.customer = "甲";
    server.cabinet = "C-1";
    QVERIFY(ServerQuery::all().matches(server));
    QVERIFY(ServerQuery::equal(F::Cabinet, "C-1").matches(server));
    QVERIFY(!ServerQuery::equal(F::Cabinet, "c-1").matches(server)); // exact, no case folding
    QVERIFY(!ServerQuery::equal(F::Ip, "10.0.0.1 ").matches(server));
    QVERIFY(ServerQuery::equal(F::Customer, "甲").matches(server));
}

void TstText::gbkLength_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("first20");
    QTest::newRow("latin") << "abcdefghijklmnopqrstuvwxyz" << 26 << "abcdefghijklmnopqrst";
    QTest::newRow("chinese") << "一二三四五六七八九十甲" << 22 << "一二三四五六七八九十";
    QTest::newRow("mixed keeps whole characters") << "a一二三四五六七八九十" << 21 << "a一二三四五六七八九";
    QTest::newRow("emoji counts four") << QString::fromUtf8("ab\xF0\x9F\x98\x80") << 6
                                       << QString::fromUtf8("ab\xF0\x9F\x98\x80");
}

void TstText::gbkLength()
{
    QFETCH(QString, text);
    QFETCH(int, bytes);
    QFETCH(QString, first20);
    QCOMPARE(gbkByteLength(text), bytes);
    QCOMPARE(truncateToGbkBytes(text, 20), first20);
}

void TstText::dateRoundTrip()
{
    for (const QDate &d : {QDate(2008, 11, 23), QDate(2222, 12, 30), QDate(2000, 2, 29), QDate(1999, 1, 1)}) {
        QCOMPARE(dateToText(d), d.toString("yyyy-MM-dd"));
        QCOMPARE(::textToDate(dateToText(d)), d);
    }
}

void TstText::textToDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::newRow("iso") << "2008-11-23" << QDate(2008, 11, 23);
    QTest::newRow("slashes, short") << "2010/3/9" << QDate(2010, 3, 9);
    QTest::newRow("chinese") << "2008年11月23日" << QDate(2008, 11, 23);
    QTest::newRow("with time") << "2008-11-23 14:05:00" << QDate(2008, 11, 23);
    QTest::newRow("slashes with time") << "2010/3/9 8:01" << QDate(2010, 3, 9);
    QTest::newRow("empty") << "" << QDate();
    QTest::newRow("not a date") << "soon" << QDate();
    QTest::newRow("no such day") << "2009-02-30" << QDate();
    QTest::newRow("mixed separators") << "2009-02/03" << QDate();
    QTest::newRow("blanks around") << " \t2008-11-23\u3000" << QDate(2008, 11, 23);
    QTest::newRow("T before the time") << "2008-11-23T14:05:00.250" << QDate(2008, 11, 23);
    QTest::newRow("T with no time") << "2008-11-23T" << QDate();
    QTest::newRow("hour of three digits") << "2008-11-23 123:00" << QDate();
    QTest::newRow("five-digit year") << "20081-1-1" << QDate();
    QTest::newRow("full-width digits") << "２００８-11-23" << QDate(2008, 11, 23);
    QTest::newRow("full-width digits and signs") << "２００８／１１／２３" << QDate(2008, 11, 23);
    QTest::newRow("chinese without 日") << "2008年11月23" << QDate();
    QTest::newRow("dots") << "2008.11.3" << QDate(2008, 11, 3);
    QTest::newRow("eight digits") << "20261204" << QDate(2026, 12, 4);
    QTest::newRow("eight digits, no such day") << "20261304" << QDate();
    QTest::newRow("eight digits with a time") << "20261204 00:00" << QDate(2026, 12, 4);
    QTest::newRow("seven digits") << "2026124" << QDate();
    QTest::newRow("nine digits") << "202612041" << QDate();
    QTest::newRow("a number of days") << "46360" << QDate();
    QTest::newRow("hour 24") << "2008-11-23 24:00" << QDate();
    QTest::newRow("minute 60") << "2008-11-23 10:60" << QDate();
    QTest::newRow("dots and slashes mixed") << "2008.11/23" << QDate();
}

// Whether a time of day follows: midnight is no time of day, any other is.
void TstText::readDateTimeOfDay_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<bool>("timeOfDay");
    QTest::newRow("date alone") << "2026-12-04" << QDate(2026, 12, 4) << false;
    QTest::newRow("midnight") << "2026-12-04 00:00" << QDate(2026, 12, 4) << false;
    QTest::newRow("midnight with seconds") << "2026/12/4 00:00:00.000" << QDate(2026, 12, 4) << false;
    QTest::newRow("ISO midnight") << "2026-12-04T00:00:00" << QDate(2026, 12, 4) << false;
    QTest::newRow("afternoon") << "2026-12-04 13:30" << QDate(2026, 12, 4) << true;
    QTest::newRow("one second") << "2026年12月4日 00:00:01" << QDate(2026, 12, 4) << true;
    QTest::newRow("a fraction of a second") << "20261204 00:00:00.5" << QDate(2026, 12, 4) << true;
    QTest::newRow("full-width time") << "２０２６－１２－０４　１３：３０" << QDate(2026, 12, 4) << true;
}

void TstText::readDateTimeOfDay()
{
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QFETCH(bool, timeOfDay);
    const DateText read = readDate(text);
    QCOMPARE(read.date, date);
    QCOMPARE(read.timeOfDay, timeOfDay);
}

void TstText::textToDate()
{
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QCOMPARE(::textToDate(text), date);
    const QByteArray utf8 = text.toUtf8();
    QCOMPARE(utf8ToDate(utf8.constData(), utf8.size()), date); // the form SQL hands over
}

void TstText::keysInRangeAndRedrawn()
{
    QRandomGenerator seeded(7);
    QSet<QString> taken;
    for (int i = 0; i < 2000; ++i) {
        const QString key = drawCustomerKey(seeded, [&](const QString &k) { return taken.contains(k); });
        const int value = key.toInt();
        QVERIFY(value >= kCustomerKeyMin && value <= kCustomerKeyMax);
        QVERIFY(!taken.contains(key));
        taken.insert(key);
    }
    // Take the first two draws of a fresh generator: the third draw must be used.
    QRandomGenerator a(99), b(99);
    const QString first = QString::number(a.bounded(kCustomerKeyMin, kCustomerKeyMax + 1));
    const QString second = QString::number(a.bounded(kCustomerKeyMin, kCustomerKeyMax + 1));
    const QString third = QString::number(a.bounded(kCustomerKeyMin, kCustomerKeyMax + 1));
    int asked = 0;
    const QString key = drawCustomerKey(b, [&](const QString &k) {
        ++asked;
        return k == first || k == second;
    });
    QCOMPARE(key, third);
    QCOMPARE(asked, 3);
}

void TstText::expiry_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("days");
    QTest::addColumn<QString>("note");
    const QDate d(2026, 12, 10);
    QTest::newRow("expired yesterday") << "2026-12-09" << d << int(Expiry::Expired) << -1 << "已过期 1 天";
    QTest::newRow("today") << "2026-12-10" << d << int(Expiry::Soon) << 0 << "今天到期";
    QTest::newRow("in 30 days") << "2027/1/9" << d << int(Expiry::Soon) << 30 << "还有 30 天到期";
    QTest::newRow("in 31 days") << "2027年1月10日" << d << int(Expiry::Later) << 31 << "还有 31 天到期";
    QTest::newRow("with a time") << "2026-12-10 23:59:59" << d << int(Expiry::Soon) << 0 << "今天到期";
    QTest::newRow("no such month") << "2009年13月1日" << d << int(Expiry::NoDate) << 0 << "";
    QTest::newRow("a word") << "soon" << d << int(Expiry::NoDate) << 0 << "";
    QTest::newRow("blank") << "   " << d << int(Expiry::NoDate) << 0 << "";
    QTest::newRow("29 February of a leap year")
        << "2028-02-29" << QDate(2028, 2, 28) << int(Expiry::Soon) << 1 << "还有 1 天到期";
    QTest::newRow("29 February of another year") << "2027-02-29" << d << int(Expiry::NoDate) << 0 << "";
    QTest::newRow("across the year change")
        << "2027-01-01" << QDate(2026, 12, 31) << int(Expiry::Soon) << 1 << "还有 1 天到期";
    QTest::newRow("new year's day, a year back")
        << "2026-01-01" << QDate(2027, 1, 1) << int(Expiry::Expired) << -365 << "已过期 365 天";
    QTest::newRow("far future") << "9999-12-31" << d << int(Expiry::Later) << int(d.daysTo(QDate(9999, 12, 31)))
                                << QStringLiteral("还有 %1 天到期").arg(d.daysTo(QDate(9999, 12, 31)));
}

void TstText::expiry()
{
    QFETCH(QString, text);
    QFETCH(QDate, today);
    QFETCH(int, state);
    QFETCH(int, days);
    QFETCH(QString, note);
    const Expiry e = expiryOf(text, {}, today);
    QCOMPARE(int(e.state), state);
    if (e.state != Expiry::NoDate)
        QCOMPARE(e.days, qint64(days));
    QCOMPARE(expiryNote(e), note);
}

void TstText::retiredRule_data()
{
    QTest::addColumn<QString>("expires");
    QTest::addColumn<QString>("unracked");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("due"); // dueDate, empty for none
    const int retired = Expiry::Retired, expired = Expiry::Expired;
    // Today is 2026-12-11.
    QTest::newRow("taken off after its term") << "2026-01-01"
                                              << "2026-01-31" << retired << "";
    QTest::newRow("the day its term ended") << "2026-01-01"
                                            << "2026/1/1" << retired << "";
    QTest::newRow("due today, off today") << "2026-12-11"
                                          << "2026年12月11日" << retired << "";
    QTest::newRow("the day of adding") << "2026-01-01"
                                       << "2025-01-01" << expired << "2026-01-01";
    QTest::newRow("off later") << "2026-01-01"
                               << "2026-12-12" << expired << "2026-01-01";
    QTest::newRow("no date off") << "2026-01-01"
                                 << "" << expired << "2026-01-01";
    QTest::newRow("a word off") << "2026-01-01"
                                << "已下架" << expired << "2026-01-01";
    QTest::newRow("term still running") << "2027-03-01"
                                        << "2026-12-01" << int(Expiry::Later) << "2027-03-01";
    QTest::newRow("no term") << "下个月"
                             << "2026-01-31" << int(Expiry::NoDate) << "";
}

void TstText::retiredRule()
{
    QFETCH(QString, expires);
    QFETCH(QString, unracked);
    QFETCH(int, state);
    QFETCH(QString, due);
    const QDate today(2026, 12, 11);
    QCOMPARE(int(expiryOf(expires, unracked, today).state), state);
    QCOMPARE(dateToText(dueDate(expires, unracked, today)), due);
    if (state == Expiry::Retired)
        QCOMPARE(expiryNote(expiryOf(expires, unracked, today)), QStringLiteral("已下架"));
}

void TstText::dayCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("days"); // -1: refused
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("largest") << "3650" << 3650;
    QTest::newRow("blanks around") << "  30 " << 30;
    QTest::newRow("full-width digits") << "３０" << 30;
    QTest::newRow("mixed widths") << "1０" << 10;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("one too many") << "3651" << -1;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("plus sign") << "+5" << -1;
    QTest::newRow("fraction") << "1.5" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("blank") << "  " << -1;
    QTest::newRow("words") << "三十" << -1;
    QTest::newRow("blank inside") << "3 0" << -1;
    QTest::newRow("huge") << "99999999999" << -1;
}

void TstText::dayCount()
{
    QFETCH(QString, text);
    QFETCH(int, days);
    QCOMPARE(dayCountFromText(text), days < 0 ? std::nullopt : std::optional<int>(days));
    // The search chooser's fifth entry takes the same texts.
    const std::optional<ServerQuery> query = ServerQuery::fromSearchField(4, text);
    QCOMPARE(bool(query), days >= 0);
    if (query)
        QCOMPARE(query->days, days);
}

void TstText::chineseSortOrder()
{
    QStringList names = {"张三", "阿里", "重庆", "北京", "华东", "SV-10", "SV-9", "上海"};
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return chineseSortKey(a) < chineseSortKey(b); });
    // Numbers by value; Chinese by pinyin: a, b, ch, h, sh, zh.
    QCOMPARE(names.mid(names.indexOf("SV-9"), 2), (QStringList{"SV-9", "SV-10"}));
    QStringList chinese;
    for (const QString &n : names)
        if (!n.startsWith("SV"))
            chinese << n;
    QCOMPARE(chinese, (QStringList{"阿里", "北京", "重庆", "华东", "上海", "张三"}));
}

void TstText::ipAddresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("address");
    QTest::newRow("IPv4") << "10.0.0.1" << true;
    QTest::newRow("IPv4 ends") << "255.255.255.255" << true;
    QTest::newRow("IPv4 zeros") << "0.0.0.0" << true;
    QTest::newRow("IPv4 blanks around") << " 192.168.1.20\t" << true;
    QTest::newRow("IPv6 full") << "2001:0db8:0000:0000:0000:ff00:0042:8329" << true;
    QTest::newRow("IPv6 elided") << "2001:db8::ff00:42:8329" << true;
    QTest::newRow("IPv6 loopback") << "::1" << true;
    QTest::newRow("IPv6 any") << "::" << true;
    QTest::newRow("IPv6 trailing elision") << "fe80::" << true;
    QTest::newRow("IPv6 with IPv4 tail") << "::ffff:10.0.0.1" << true;
    QTest::newRow("IPv6 capitals") << "2001:DB8::1" << true;
    QTest::newRow("part over 255") << "999.1.1.1" << false;
    QTest::newRow("three parts") << "999.1.1" << false;
    QTest::newRow("five parts") << "10.0.0.1.5" << false;
    QTest::newRow("leading zero") << "10.0.0.01" << false;
    QTest::newRow("empty part") << "10..0.1" << false;
    QTest::newRow("footer") << "合计" << false;
    QTest::newRow("to be assigned") << "待分配" << false;
    QTest::newRow("two addresses") << "10.0.0.1,10.0.0.2" << false;
    QTest::newRow("a block") << "10.0.0.0/24" << false;
    QTest::newRow("a port") << "10.0.0.1:22" << false;
    QTest::newRow("IPv6 two elisions") << "1::2::3" << false;
    QTest::newRow("IPv6 nine groups") << "1:2:3:4:5:6:7:8:9" << false;
    QTest::newRow("IPv6 seven groups") << "1:2:3:4:5:6:7" << false;
    QTest::newRow("IPv6 group of five") << "12345::1" << false;
    QTest::newRow("IPv6 not hex") << "2001:db8::g1" << false;
    QTest::newRow("IPv6 lone colon") << ":1:2:3:4:5:6:7" << false;
    QTest::newRow("IPv6 trailing colon") << "1:2:3:4:5:6:7:" << false;
    QTest::newRow("IPv6 bad IPv4 tail") << "::ffff:10.0.0.256" << false;
    QTest::newRow("full-width digits") << "１０.０.０.１" << false;
    QTest::newRow("empty") << "" << false;
}

void TstText::ipAddresses()
{
    QFETCH(QString, text);
    QFETCH(bool, address);
    QCOMPARE(isIpAddress(text), address);
}

void TstText::passwordsHidden_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("URI user part") << "postgresql://ops:S3cret@db/k"
                                   << "postgresql://ops:***@db/k";
    QTest::newRow("a line break in the user part") << "postgresql://ops\n:S3cret@db/k"
                                                   << "postgresql://ops\n:***@db/k";
    QTest::newRow("setting") << "host=db password=S3cret dbname=k"
                             << "host=db password=*** dbname=k";
    QTest::newRow("quoted setting") << "password='a b' dbname=k"
                                    << "password=*** dbname=k";
    QTest::newRow("text stuck to the quotes") << "password='a b'S3cret dbname=k"
                                              << "password=*** dbname=k";
    QTest::newRow("an escaped quote") << "password='a\\'S3cret' dbname=k"
                                      << "password=*** dbname=k";
    QTest::newRow("a quote never closed") << "password='S3cret dbname=k"
                                          << "password=***";
    QTest::newRow("URI query") << "postgres://h/k?user=u&password=S3cret&sslmode=require"
                               << "postgres://h/k?user=u&password=***&sslmode=require";
    QTest::newRow("no password") << "/srv/kavro/db/kavrodb.mdb"
                                 << "/srv/kavro/db/kavrodb.mdb";
}

// Never shows the password, and hiding what is shown again changes nothing.
void TstText::passwordsHidden()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(withoutPasswords(text), shown);
    QCOMPARE(withoutPasswords(shown), shown);
}

QTEST_GUILESS_MAIN(TstText)
#include "tst_text.moc"
