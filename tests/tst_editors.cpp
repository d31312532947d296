// The server add and modify windows, driven on a temporary register.
#include "core/appstate.h"
#include "core/datetext.h"
#include "core/records.h"
#include "editors/serveraddwindow.h"
#include "editors/servereditwindow.h"
#include "editors/serverform_names.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"
#include "testsupport.h"
#include "widgets/datebox.h"
#include "widgets/messagebox.h"
#include "widgets/reportlist.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QWheelEvent>

namespace N = ServerFormNames;

namespace {
const char *kCustomers = "INSERT INTO kehu (K_DD, K_KH, K_LX) VALUES ('20001', '甲公司', ''), ('20002', '乙公司', '')";
const char *kServers = "INSERT INTO data (F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ) VALUES "
                       "('甲公司', 'A01', '10.0.0.1', 'C1', '2008-11-23', '2009-11-23', '2010-01-05', 'r'),"
                       "('乙公司', 'A02', '10.0.0.2', 'C2', '2010/3/9', '2008年11月23日', '', ''),"
                       "('改名前', 'A03', '10.0.0.3', 'C1', '', '2009年13月1日', 'soon', 'x')";

struct Form {
    QWidget *w;
    QComboBox *customer() const { return child<QComboBox>(w, N::customer); }
    QLineEdit *edit(const QString &name) const { return child<QLineEdit>(w, name); }
    QDateEdit *date(const QString &name) const { return child<QDateEdit>(w, name); }
    QPlainTextEdit *remark() const { return child<QPlainTextEdit>(w, N::remark); }
    void choose(const QString &name) const { customer()->setCurrentIndex(customer()->findText(name)); }
    void fill(const QString &customerName, const QString &number, const QString &ip, const QString &cabinet,
              const QString &remarkText) const
    {
        choose(customerName);
        edit(N::number)->setText(number);
        edit(N::ip)->setText(ip);
        edit(N::cabinet)->setText(cabinet);
        remark()->setPlainText(remarkText);
    }
    void press() const { child<QPushButton>(w, N::actionButton)->click(); }
};

QStringList serverRow(const TempRegister &reg, const QString &ip)
{
    const QList<QStringList> rows = reg.rows(
        QStringLiteral("SELECT F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ FROM data WHERE F_IP='%1'").arg(ip));
    return rows.size() == 1 ? rows.first() : QStringList{QStringLiteral("%1 rows").arg(rows.size())};
}
} // namespace

class TstEditors : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void addWindowLayout();
    void ipCheck_data();
    void ipCheck();
    void customerCheckComesAfterTheIpCheck();
    void addStoresTheServerAndAsks_data();
    void addStoresTheServerAndAsks();
    void addAsksBeforeStoringANonAddress_data();
    void addAsksBeforeStoringANonAddress();
    void addUnderAFilterStoresButDoesNotList();
    void failedAppendIsReported();
    void ipAddedMeanwhileByAnotherProgramIsRefused();
    void emptyCustomerTableAlwaysAsksForACustomer();
    void exitStoresNothing();

    void editWindowFilledFromTheSelectedRow_data();
    void editWindowFilledFromTheSelectedRow();
    void savingWithoutChangeRewritesTheSameValues();
    void savingQuotesAndNewValues();
    void unchangedRemarkKeepsItsLineBreaks();
    void typedRemarkIsStoredAsTyped_data();
    void typedRemarkIsStoredAsTyped();
    void savingWithoutCustomerKeepsSixColumns();
    void datesRoundTrip();
    void unreadableDatesAreKeptUnlessChanged();
    void blankDateBoxStaysBlankUnlessADateIsGiven_data();
    void blankDateBoxStaysBlankUnlessADateIsGiven();
    void failedSaveRollsBackEverything();
    void vanishedServerIsNotRecreated();
    void saveReachesOnlyTheServerShown_data();
    void saveReachesOnlyTheServerShown();
    void saveByAnotherProgramIsNeverOverwritten_data();
    void saveByAnotherProgramIsNeverOverwritten();
    void unchangedFieldsGoBackAsStored_data();
    void unchangedFieldsGoBackAsStored();
    void absentTextsStayAbsent();
    void editWindowDoesNotFollowTheList();
    void reopeningTheSameServerRaisesItsWindow();
    void datesTypeWhole_data();
    void datesTypeWhole();
    void addWindowKeysAndEmptiedDate();
    void typedCustomerMustNameOne_data();
    void typedCustomerMustNameOne();
    void typedEditKeptAfterAnotherProgramSaved();
    void nulIsNeverStored();

private:
    std::unique_ptr<TempRegister> m_reg;
    std::unique_ptr<MainWindow> m_main;
    ServerEditWindow *openEditor(const QString &ip);
};

void TstEditors::init()
{
    resetProgramState();
    m_reg = std::make_unique<TempRegister>();
    QVERIFY(m_reg->exec(kCustomers));
    QVERIFY(m_reg->exec(kServers));
    m_main = std::make_unique<MainWindow>(m_reg->programDir());
    waitForLists();
}

void TstEditors::cleanup()
{
    m_main.reset();
    m_reg.reset();
}

ServerEditWindow *TstEditors::openEditor(const QString &ip)
{
    selectRowShowing(*m_main, ip);
    m_main->modifySelectedServer();
    const QList<ServerEditWindow *> open = m_main->editWindows();
    return open.isEmpty() ? nullptr : open.last();
}

void TstEditors::addWindowLayout()
{
    auto wWindow = m_main->makeAddWindow();
    ServerAddWindow &w = *wWindow;
    QCOMPARE(w.windowTitle(), QStringLiteral("数据添加窗口"));
    QCOMPARE(w.size(), QSize(512, 240));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    verifyUnits(&w, {
                        {N::shape, {2, 3, 500, 181}, {}},
                        {"标签1", {22, 8, 55, 16}, "选择客户："},
                        {"标签2", {10, 33, 68, 16}, "服务器编号："},
                        {"标签3", {22, 58, 55, 16}, "服务器IP："},
                        {"标签4", {22, 83, 55, 16}, "所在机柜："},
                        {"标签5", {22, 108, 55, 16}, "上架时间："},
                        {"标签6", {22, 133, 55, 16}, "到期时间："},
                        {"标签7", {22, 158, 55, 16}, "下架时间："},
                        {"标签8", {238, 8, 64, 16}, "备注："},
                        {N::customer, {82, 6, 150, 20}, {}},
                        {N::number, {82, 31, 150, 20}, {}},
                        {N::ip, {82, 56, 150, 20}, {}},
                        {N::cabinet, {82, 81, 150, 20}, {}},
                        {N::racked, {82, 106, 150, 20}, {}},
                        {N::expires, {82, 131, 150, 20}, {}},
                        {N::unracked, {82, 156, 150, 20}, {}},
                        {N::remark, {236, 25, 259, 151}, {}},
                        {N::actionButton, {338, 187, 80, 24}, "添加数据"},
                        {N::exitButton, {422, 187, 80, 24}, "退出添加"},
                    });
    Form f{&w};
    QStringList items;
    for (int i = 0; i < f.customer()->count(); ++i)
        items << f.customer()->itemText(i);
    QCOMPARE(items, (QStringList{"请选择客户", "默认客户", "甲公司", "乙公司"}));
    QCOMPARE(f.customer()->currentIndex(), 0);
    for (const QString &d : {N::racked, N::expires, N::unracked})
        QVERIFY(f.date(d)->calendarPopup());
    // A new server is on the rack for a year: no 下架时间, and the term follows 上架时间.
    QCOMPARE(f.date(N::racked)->date(), QDate::currentDate());
    QCOMPARE(f.date(N::expires)->date(), QDate::currentDate().addYears(1));
    QVERIFY(child<DateBox>(&w, N::unracked)->isBlank());
    f.date(N::racked)->setDate(QDate(2026, 3, 1));
    QCOMPARE(f.date(N::expires)->date(), QDate(2027, 3, 1));
    f.date(N::expires)->setDate(QDate(2026, 9, 1)); // a term of its own stays
    f.date(N::racked)->setDate(QDate(2026, 4, 1));
    QCOMPARE(f.date(N::expires)->date(), QDate(2026, 9, 1));
    QVERIFY(!f.edit(N::ip)->isReadOnly());
}

void TstEditors::ipCheck_data()
{
    QTest::addColumn<QString>("stored"); // an IP stored beforehand
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("refused");
    QTest::newRow("same IP") << "10.0.0.9"
                             << "10.0.0.9" << true;
    QTest::newRow("other letter case") << "host-A"
                                       << "host-a" << false;
    QTest::newRow("trailing blank") << "10.0.0.9"
                                    << "10.0.0.9 " << false;
    QTest::newRow("leading blank") << "10.0.0.9"
                                   << " 10.0.0.9" << false;
    QTest::newRow("leading zeros") << "10.0.0.9"
                                   << "010.000.000.009" << false;
    QTest::newRow("empty IP once stored") << ""
                                          << "" << true;
    QTest::newRow("empty IP the first time") << "10.0.0.9"
                                             << "" << false;
}

void TstEditors::ipCheck()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(bool, refused);
    QVERIFY(m_reg->exec(QStringLiteral("INSERT INTO data (F_IP, F_KH) VALUES ('%1', '甲公司')").arg(stored)));
    const int before = m_reg->count("data");
    auto wWindow = m_main->makeAddWindow();
    ServerAddWindow &w = *wWindow;
    Form f{&w};
    f.fill("乙公司", "N1", typed, "C1", "");
    MessageBox::setNextAnswer(MsgAnswer::Yes);
    f.press();
    QCOMPARE(m_reg->count("data"), refused ? before : before + 1);
    if (refused) {
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("您添加的服务器IP已经存在！"));
        QCOMPARE(MessageBox::shown()[0].title, std::optional<QString>("澜汀提示"));
        QCOMPARE(MessageBox::shown()[0].style, 0);
        QCOMPARE(f.edit(N::number)->text(), QStringLiteral("N1")); // the form keeps its contents
    }
}

void TstEditors::customerCheckComesAfterTheIpCheck()
{
    auto wWindow = m_main->makeAddWindow();
    ServerAddWindow &w = *wWindow;
    Form f{&w};
    f.fill("请选择客户", "N1", "10.0.0.1", "C1", "");
    f.press();
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("您添加的服务器IP已经存在！"));
    MessageBox::clearShown();
    f.edit(N::ip)->setText("10.0.0.50");
    for (MsgAnswer answer : {MsgAnswer::Yes, MsgAnswer::No}) {
        MessageBox::setNextAnswer(answer);
        f.press();
    }
    QCOMPARE(MessageBox::shown().size(), 2);
    for (const auto &shown : MessageBox::shown()) {
        QCOMPARE(shown.text, QStringLiteral("请选择您要对应的客户！"));
        QCOMPARE(shown.title, std::optional<QString>("澜汀提示："));
        QCOMPARE(shown.style, 0x44);
    }
    QCOMPARE(m_reg->count("data"), 3);
    QCOMPARE(f.edit(N::ip)->text(), QStringLiteral("10.0.0.50"));
}

void TstEditors::addStoresTheServerAndAsks_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("remark");
    QTest::addColumn<MsgAnswer>("answer");
    QTest::newRow("answer yes") << "10.0.0.7"
                                << "it's \"quoted\", first\nsecond" << MsgAnswer::Yes;
    QTest::newRow("answer no") << "O'Brien's box"
                               << "" << MsgAnswer::No;
    QTest::newRow("empty IP") << ""
                              << "'; DROP TABLE data; --" << MsgAnswer::Yes;
}

void TstEditors::addStoresTheServerAndAsks()
{
    QFETCH(QString, ip);
    QFETCH(QString, remark);
    QFETCH(MsgAnswer, answer);
    auto wWindow = m_main->makeAddWindow();
    ServerAddWindow &w = *wWindow;
    w.show();
    Form f{&w};
    f.fill("乙公司", "编号'1", ip, "机柜 7", remark);
    f.date(N::racked)->setDate(QDate(2008, 11, 23));
    f.date(N::expires)->setDate(QDate(2222, 12, 30));
    f.date(N::unracked)->setDate(QDate(2000, 2, 29));
    // A text that is no address is stored only once the user says so.
    const bool asked = !ip.isEmpty() && !isIpAddress(ip);
    if (asked)
        MessageBox::setNextAnswer(MsgAnswer::Yes);
    MessageBox::setNextAnswer(answer);
    f.press();
    QCOMPARE(serverRow(*m_reg, QString(ip).replace("'", "''")),
             (QStringList{"乙公司", "编号'1", ip, "机柜 7", "2008-11-23", "2222-12-30", "2000-02-29", remark}));
    QVERIFY(listedIps(*m_main).contains(ip)); // the list was refreshed
    QCOMPARE(MessageBox::shown().size(), asked ? 2 : 1);
    if (asked) {
        QCOMPARE(MessageBox::shown()[0].text, "“" + ip + "”不是有效的IP地址，是否仍然添加？");
        QCOMPARE(MessageBox::shown()[0].style, MsgStyle::YesNoQuestionDefaultNo);
    }
    const auto &said = MessageBox::shown().back();
    QCOMPARE(said.text, "您添加的IP：" + ip + "\r\n添加成功！\r\n是否继续添加服务器？");
    QCOMPARE(said.title, std::optional<QString>("澜汀提示："));
    QCOMPARE(said.style, 0x44);
    if (answer == MsgAnswer::Yes) {
        QVERIFY(w.isVisible());
        for (const QString &name : {N::number, N::ip, N::cabinet})
            QVERIFY(f.edit(name)->text().isEmpty());
        QVERIFY(f.remark()->toPlainText().isEmpty());
        QCOMPARE(f.customer()->currentIndex(), 0);
        QCOMPARE(f.date(N::racked)->date(), QDate(2008, 11, 23)); // the dates stay
        QCOMPARE(f.date(N::unracked)->date(), QDate(2000, 2, 29));
    } else {
        QVERIFY(!w.isVisible());
    }
    QCOMPARE(m_reg->count("data"), 4);
}

void TstEditors::addAsksBeforeStoringANonAddress_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<std::optional<MsgAnswer>>("answer"); // none: nothing is asked
    QTest::addColumn<bool>("stored");
    QTest::newRow("an IPv4 address") << "10.9.9.9" << std::optional<MsgAnswer>() << true;
    QTest::newRow("an IPv6 address") << "2001:db8::9" << std::optional<MsgAnswer>() << true;
    QTest::newRow("three parts, no") << "999.1.1" << std::optional(MsgAnswer::No) << false;
    QTest::newRow("to be assigned, no") << "待分配" << std::optional(MsgAnswer::No) << false;
    QTest::newRow("to be assigned, Enter (the default)") << "待分配" << std::optional<MsgAnswer>() << false;
    QTest::newRow("to be assigned, yes") << "待分配" << std::optional(MsgAnswer::Yes) << true;
}

void TstEditors::addAsksBeforeStoringANonAddress()
{
    QFETCH(QString, ip);
    QFETCH(std::optional<MsgAnswer>, answer);
    QFETCH(bool, stored);
    auto w = m_main->makeAddWindow();
    Form f{w.get()};
    f.fill("乙公司", "N9", ip, "C9", "");
    if (answer)
        MessageBox::setNextAnswer(*answer);
    MessageBox::setNextAnswer(MsgAnswer::No); // to adding another
    f.press();
    const bool isAddress = isIpAddress(ip);
    QCOMPARE(MessageBox::shown().first().text, isAddress
                                                   ? "您添加的IP：" + ip + "\r\n添加成功！\r\n是否继续添加服务器？"
                                                   : "“" + ip + "”不是有效的IP地址，是否仍然添加？");
    QCOMPARE(m_reg->count("data"), stored ? 4 : 3);
    // Refused, the window keeps what was typed.
    if (!stored)
        QCOMPARE(f.edit(N::ip)->text(), ip);
}

void TstEditors::addUnderAFilterStoresButDoesNotList()
{
    child<QComboBox>(m_main.get(), MainNames::searchField)->setCurrentIndex(3);
    child<QLineEdit>(m_main.get(), MainNames::searchText)->setText("C1");
    m_main->search();
    auto wWindow = m_main->makeAddWindow();
    ServerAddWindow &w = *wWindow;
    Form f{&w};
    f.fill("甲公司", "N9", "10.0.0.9", "C9", "");
    MessageBox::setNextAnswer(MsgAnswer::No);
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.9").value(3), QStringLiteral("C9"));
    QCOMPARE(listedIps(*m_main), (QStringList{"10.0.0.1", "10.0.0.3"}));
}

void TstEditors::failedAppendIsReported()
{
    auto wWindow = m_main->makeAddWindow();
    ServerAddWindow &w = *wWindow;
    w.show();
    Form f{&w};
    f.fill("甲公司", "N9", "10.0.0.9", "C9", "");
    QVERIFY(m_reg->refuse("BEFORE INSERT ON data"));
    QVERIFY(m_reg->exec("UPDATE data SET F_BH='changed behind' WHERE F_IP='10.0.0.1'"));
    f.press();
    QCOMPARE(m_reg->count("data"), 3);
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("数据库操作失败，数据未保存！"));
    QCOMPARE(MessageBox::shown()[0].title, std::optional<QString>("澜汀提示"));
    QCOMPARE(MessageBox::shown()[0].style, 0x10);
    QCOMPARE(m_main->serverList()->rowCount(), 3); // nothing added to the list
    QVERIFY(w.isVisible());
    QCOMPARE(f.edit(N::ip)->text(), QStringLiteral("10.0.0.9"));
}

void TstEditors::ipAddedMeanwhileByAnotherProgramIsRefused()
{
    auto wWindow = m_main->makeAddWindow();
    ServerAddWindow &w = *wWindow;
    w.show();
    Form f{&w};
    f.fill("甲公司", "N9", "10.0.0.9", "C9", "");
    // Another desk stores 10.0.0.9 after this window checked it and before it stores it.
    if (TempRegister::onServer())
        QVERIFY(
            m_reg->exec("CREATE FUNCTION other_desk() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN "
                        "IF NEW.F_BH = 'N9' THEN INSERT INTO data (F_KH, F_BH, F_IP) VALUES ('乙公司', 'theirs', "
                        "NEW.F_IP); END IF; RETURN NEW; END$$") &&
            m_reg->exec("CREATE TRIGGER other_desk BEFORE INSERT ON data FOR EACH ROW EXECUTE FUNCTION other_desk()"));
    else
        QVERIFY(m_reg->exec("CREATE TRIGGER other_desk BEFORE INSERT ON data WHEN NEW.F_BH = 'N9' BEGIN "
                            "INSERT INTO data (F_KH, F_BH, F_IP) VALUES ('乙公司', 'theirs', NEW.F_IP); END"));
    f.press();
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("您添加的服务器IP已经存在！"));
    // (The trigger's row goes with the refused statement; a real other desk's row would stay.)
    QCOMPARE(m_reg->rows("SELECT count(*) FROM data WHERE F_BH='N9'"), QList<QStringList>{{"0"}});
    QVERIFY(!listedIps(*m_main).contains("10.0.0.9"));
    QVERIFY(w.isVisible()); // the form stays for another IP
}

void TstEditors::emptyCustomerTableAlwaysAsksForACustomer()
{
    QVERIFY(m_reg->exec("DELETE FROM kehu"));
    auto wWindow = m_main->makeAddWindow();
    ServerAddWindow &w = *wWindow;
    Form f{&w};
    QCOMPARE(f.customer()->count(), 1);
    f.fill("请选择客户", "N9", "10.0.0.9", "C9", "");
    f.press();
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("请选择您要对应的客户！"));
    QCOMPARE(m_reg->count("data"), 3);
}

void TstEditors::exitStoresNothing()
{
    auto wWindow = m_main->makeAddWindow();
    ServerAddWindow &w = *wWindow;
    w.show();
    Form f{&w};
    f.fill("甲公司", "N9", "10.0.0.1", "C9", "");
    f.press(); // refused: duplicate IP
    child<QPushButton>(&w, N::exitButton)->click();
    QVERIFY(!w.isVisible());
    QCOMPARE(m_reg->count("data"), 3);
}

void TstEditors::editWindowFilledFromTheSelectedRow_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("customerIndex");
    QTest::addColumn<QStringList>("texts"); // number, ip, cabinet, remark
    QTest::addColumn<QList<QDate>>("dates");
    const QDate blank; // shown as an empty box
    QTest::newRow("iso dates") << "10.0.0.1" << 2 << QStringList{"A01", "10.0.0.1", "C1", "r"}
                               << QList<QDate>{{2008, 11, 23}, {2009, 11, 23}, {2010, 1, 5}};
    QTest::newRow("other date forms") << "10.0.0.2" << 3 << QStringList{"A02", "10.0.0.2", "C2", ""}
                                      << QList<QDate>{{2010, 3, 9}, {2008, 11, 23}, blank};
    QTest::newRow("customer renamed") << "10.0.0.3" << 0 << QStringList{"A03", "10.0.0.3", "C1", "x"}
                                      << QList<QDate>{blank, blank, blank};
}

void TstEditors::editWindowFilledFromTheSelectedRow()
{
    QFETCH(QString, ip);
    QFETCH(int, customerIndex);
    QFETCH(QStringList, texts);
    QFETCH(QList<QDate>, dates);
    ServerEditWindow *w = openEditor(ip);
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("数据修改窗口"));
    QCOMPARE(w->size(), QSize(512, 240));
    QCOMPARE(child<QPushButton>(w, N::actionButton)->text(), QStringLiteral("修改数据"));
    QCOMPARE(child<QPushButton>(w, N::exitButton)->text(), QStringLiteral("退出修改"));
    Form f{w};
    QVERIFY(f.edit(N::ip)->isReadOnly());
    QCOMPARE(f.customer()->currentIndex(), customerIndex);
    QCOMPARE(f.edit(N::number)->text(), texts[0]);
    QCOMPARE(f.edit(N::ip)->text(), texts[1]);
    QCOMPARE(f.edit(N::cabinet)->text(), texts[2]);
    QCOMPARE(f.remark()->toPlainText(), texts[3]);
    const QString boxes[] = {N::racked, N::expires, N::unracked};
    for (int i = 0; i < 3; ++i) {
        auto *box = child<DateBox>(w, boxes[i]);
        QCOMPARE(box->isBlank(), dates[i].isNull());
        if (dates[i].isNull())
            QVERIFY(box->text().trimmed().isEmpty());
        else
            QCOMPARE(box->date(), dates[i]);
    }
}

void TstEditors::savingWithoutChangeRewritesTheSameValues()
{
    const QStringList before = serverRow(*m_reg, "10.0.0.2");
    child<QComboBox>(m_main.get(), MainNames::searchField)->setCurrentIndex(3);
    child<QLineEdit>(m_main.get(), MainNames::searchText)->setText("C2");
    m_main->search();
    ServerEditWindow *w = openEditor("10.0.0.2");
    Form{w}.press();
    // Every field goes back exactly as it was stored, readable dates in their older forms included.
    QCOMPARE(serverRow(*m_reg, "10.0.0.2"), before);
    QCOMPARE(before[4], QStringLiteral("2010/3/9"));
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("服务器数据修改成功！"));
    QCOMPARE(MessageBox::shown()[0].title, std::optional<QString>("澜汀提示"));
    QCOMPARE(MessageBox::shown()[0].style, 0);
    // The list shows every server now; the search stays in force for the next reload.
    QCOMPARE(listedIps(*m_main).size(), 3);
    QCOMPARE(appState().listMode, 1);
    QCOMPARE(m_main->currentQuery(), ServerQuery::equal(ServerQuery::Field::Cabinet, "C2"));
    QVERIFY(w->isVisible());
}

void TstEditors::savingQuotesAndNewValues()
{
    ServerEditWindow *w = openEditor("10.0.0.1");
    Form f{w};
    f.fill("乙公司", "it's", "ignored", "O'Neil \"机柜\"", "line1\nline2 '; DROP TABLE data; --");
    f.edit(N::ip)->setText("10.0.0.1"); // read-only for the user
    f.date(N::racked)->setDate(QDate(2011, 1, 2));
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.1"),
             (QStringList{"乙公司", "it's", "10.0.0.1", "O'Neil \"机柜\"", "2011-01-02", "2009-11-23", "2010-01-05",
                          "line1\nline2 '; DROP TABLE data; --"}));
    QCOMPARE(m_reg->count("data"), 3);
}

void TstEditors::typedRemarkIsStoredAsTyped_data()
{
    QTest::addColumn<bool>("adding");
    QTest::addColumn<QString>("typed");
    for (bool adding : {true, false}) {
        const char *window = adding ? "add" : "modify";
        QTest::addRow("%s: line separator", window) << adding << QString("a") + QChar(0x2028) + "b";
        QTest::addRow("%s: no-break space", window) << adding << QString("a") + QChar(0x00A0) + "b";
        QTest::addRow("%s: two lines", window) << adding << QStringLiteral("第一行\n第二行");
    }
}

void TstEditors::typedRemarkIsStoredAsTyped()
{
    QFETCH(bool, adding);
    QFETCH(QString, typed);
    if (adding) {
        auto add = m_main->makeAddWindow();
        Form f{add.get()};
        f.fill("甲公司", "N", "10.9.9.9", "C", typed);
        MessageBox::setNextAnswer(MsgAnswer::No);
        f.press();
        QCOMPARE(serverRow(*m_reg, "10.9.9.9").value(7), typed);
    } else {
        ServerEditWindow *w = openEditor("10.0.0.1");
        Form{w}.remark()->setPlainText(typed);
        Form{w}.press();
        QCOMPARE(serverRow(*m_reg, "10.0.0.1").value(7), typed);
    }
}

void TstEditors::unchangedRemarkKeepsItsLineBreaks()
{
    QVERIFY(m_reg->exec(
        "INSERT INTO data (F_KH, F_BH, F_IP, F_BZ) VALUES ('甲公司', 'W1', '10.0.0.30', 'one\r\ntwo\r\n')"));
    m_main->fillServerList();
    ServerEditWindow *w = openEditor("10.0.0.30");
    Form f{w};
    QCOMPARE(f.remark()->toPlainText(), QStringLiteral("one\ntwo\n"));
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.30").value(7), QStringLiteral("one\r\ntwo\r\n"));
    f.remark()->setPlainText("one\nthree");
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.30").value(7), QStringLiteral("one\nthree"));
}

void TstEditors::savingWithoutCustomerKeepsSixColumns()
{
    ServerEditWindow *w = openEditor("10.0.0.3"); // its customer was renamed: no entry matches
    Form f{w};
    QCOMPARE(f.customer()->currentIndex(), 0);
    f.edit(N::number)->setText("A03-new");
    const int rowsListed = m_main->serverList()->rowCount();
    QVERIFY(m_reg->exec("INSERT INTO data (F_IP) VALUES ('10.0.0.8')"));
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.3").mid(0, 2), (QStringList{"改名前", "A03-new"}));
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("请选择您要对应的客户！"));
    QCOMPARE(MessageBox::shown()[0].title, std::optional<QString>("澜汀提示："));
    QCOMPARE(MessageBox::shown()[0].style, 0x44);
    QCOMPARE(m_main->serverList()->rowCount(), rowsListed); // no reload
    f.choose("甲公司");
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.3").first(), QStringLiteral("甲公司"));
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("服务器数据修改成功！"));
}

void TstEditors::datesRoundTrip()
{
    auto addWindow = m_main->makeAddWindow();
    ServerAddWindow &add = *addWindow;
    Form a{&add};
    a.fill("甲公司", "D1", "10.0.0.20", "C1", "");
    a.date(N::racked)->setDate(QDate(2008, 11, 23));
    a.date(N::expires)->setDate(QDate(2222, 12, 30));
    a.date(N::unracked)->setDate(QDate(1999, 12, 31));
    MessageBox::setNextAnswer(MsgAnswer::No);
    a.press();
    const QStringList stored = serverRow(*m_reg, "10.0.0.20");
    QCOMPARE(stored.mid(4, 3), (QStringList{"2008-11-23", "2222-12-30", "1999-12-31"}));
    ServerEditWindow *w = openEditor("10.0.0.20");
    Form{w}.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.20"), stored);
}

void TstEditors::unreadableDatesAreKeptUnlessChanged()
{
    ServerEditWindow *w = openEditor("10.0.0.3"); // dates '', '2009年13月1日', 'soon'
    Form f{w};
    f.choose("甲公司");
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.3").mid(4, 3), (QStringList{"", "2009年13月1日", "soon"}));
    f.date(N::expires)->setDate(QDate(2012, 6, 1));
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.3").mid(4, 3), (QStringList{"", "2012-06-01", "soon"}));
    // An arrow key on a blank box has no date to step from: it stays blank and the text stays.
    auto *racked = child<DateBox>(w, N::racked);
    QVERIFY(racked->isBlank());
    QTest::keyClick(racked, Qt::Key_Up);
    QVERIFY(racked->isBlank());
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.3").value(4), QString());
    // A whole date typed into it is saved.
    racked->setFocus();
    QTest::keyClicks(racked, "2013-04-05");
    QVERIFY(racked->isTyping()); // taken when the typing ends: here, by the save
    f.press();
    QCOMPARE(racked->date(), QDate(2013, 4, 5));
    QCOMPARE(serverRow(*m_reg, "10.0.0.3").value(4), QStringLiteral("2013-04-05"));
}

void TstEditors::blankDateBoxStaysBlankUnlessADateIsGiven_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("stored"); // 下架时间 after the save; it was 'soon'
    QTest::newRow("calendar opened and dismissed") << "calendar"
                                                   << "soon";
    QTest::newRow("click on the text") << "click"
                                       << "soon";
    QTest::newRow("wheel") << "wheel"
                           << "soon";
    QTest::newRow("arrow keys") << "arrows"
                                << "soon";
    QTest::newRow("focus in and out") << "focus"
                                      << "soon";
    QTest::newRow("escape") << "escape"
                            << "soon";
    QTest::newRow("year typed, then left") << "2013\t"
                                           << "soon";
    QTest::newRow("date typed, then escape") << "2013-04-05\x1b"
                                             << "soon";
    QTest::newRow("whole date typed") << "2013-4-5\t"
                                      << "2013-04-05";
    QTest::newRow("digits only") << "20130405\t"
                                 << "2013-04-05";
    QTest::newRow("day picked in the calendar") << "pick"
                                                << "2014-02-03";
}

void TstEditors::blankDateBoxStaysBlankUnlessADateIsGiven()
{
    QFETCH(QString, action);
    QFETCH(QString, stored);
    ServerEditWindow *w = openEditor("10.0.0.3"); // 下架时间 'soon' reads as no date
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    Form f{w};
    f.choose("甲公司");
    auto *box = child<DateBox>(w, N::unracked);
    QVERIFY(box->isBlank());
    const QPoint arrow(box->width() - 6, box->height() / 2);
    box->setFocus();
    if (action == "calendar" || action == "pick") {
        QTest::mouseClick(box, Qt::LeftButton, {}, arrow);
        QTRY_VERIFY(box->calendarWidget() && box->calendarWidget()->isVisible());
        QCOMPARE(box->calendarWidget()->monthShown(), QDate::currentDate().month()); // opens on today's month
        if (action == "pick")
            emit box->calendarWidget()->clicked(QDate(2014, 2, 3));
        else
            QApplication::activePopupWidget()->close();
    } else if (action == "click") {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(10, box->height() / 2));
    } else if (action == "wheel") {
        QWheelEvent wheel(QPointF(10, 5), box->mapToGlobal(QPointF(10, 5)), {}, QPoint(0, 120), Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(box, &wheel);
    } else if (action == "arrows") {
        QTest::keyClick(box, Qt::Key_Up);
        QTest::keyClick(box, Qt::Key_PageDown);
    } else if (action == "focus") {
        f.edit(N::number)->setFocus();
    } else if (action == "escape") {
        QTest::keyClick(box, Qt::Key_Escape);
    } else {
        for (QChar c : action) {
            if (c == '\t')
                f.edit(N::number)->setFocus();
            else if (c == '\x1b')
                QTest::keyClick(box, Qt::Key_Escape);
            else
                QTest::keyClick(box, c.toLatin1());
        }
    }
    QCOMPARE(box->isBlank(), stored == "soon");
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.3").value(6), stored);
}

void TstEditors::failedSaveRollsBackEverything()
{
    const QStringList before = serverRow(*m_reg, "10.0.0.1");
    ServerEditWindow *w = openEditor("10.0.0.1");
    Form f{w};
    f.fill("乙公司", "new number", "10.0.0.1", "new cabinet", "new remark");
    // The fourth statement is refused, after three were accepted.
    QVERIFY(m_reg->refuse("BEFORE UPDATE OF F_DQ ON data"));
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.1"), before);
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("数据库操作失败，数据未保存！"));
    QCOMPARE(MessageBox::shown()[0].title, std::optional<QString>("澜汀提示"));
    QCOMPARE(MessageBox::shown()[0].style, 0x10);
    // The customer statement alone refused: still nothing of the save is kept.
    QVERIFY(m_reg->dropRefusal("data"));
    QVERIFY(m_reg->refuse("BEFORE UPDATE OF F_KH ON data"));
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.1"), before);
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("数据库操作失败，数据未保存！"));
}

void TstEditors::vanishedServerIsNotRecreated()
{
    ServerEditWindow *w = openEditor("10.0.0.2");
    QVERIFY(m_reg->exec("DELETE FROM data WHERE F_IP='10.0.0.2'"));
    Form{w}.press();
    QCOMPARE(m_reg->count("data"), 2);
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("服务器数据不存在，可能已被删除！"));
    QCOMPARE(MessageBox::shown()[0].title, std::optional<QString>("澜汀提示"));
    QCOMPARE(MessageBox::shown()[0].style, 0x30);
}

void TstEditors::saveReachesOnlyTheServerShown_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("two servers share an IP") << "twin";
    QTest::newRow("deleted and another added with its IP") << "replaced";
}

void TstEditors::saveReachesOnlyTheServerShown()
{
    QFETCH(QString, how);
    if (how == "twin") {
        // A register brought over from Access may hold two servers with one IP.
        QVERIFY(m_reg->allowRepeatedIps());
        QVERIFY(m_reg->exec("INSERT INTO data (F_KH, F_BH, F_IP, F_JG) VALUES ('乙公司', 'TWIN', '10.0.0.1', 'C7')"));
        m_main->fillServerList();
    }
    ServerEditWindow *w = openEditor("10.0.0.1"); // the first row showing that IP
    if (how == "replaced") {
        QVERIFY(m_reg->exec("DELETE FROM data WHERE F_IP='10.0.0.1'"));
        QVERIFY(m_reg->exec("INSERT INTO data (F_KH, F_BH, F_IP, F_JG) VALUES ('乙公司', 'NEW', '10.0.0.1', 'C8')"));
    }
    Form f{w};
    f.edit(N::number)->setText("changed");
    f.edit(N::cabinet)->setText("C9");
    f.press();
    const QList<QStringList> rows = m_reg->rows("SELECT F_BH, F_JG FROM data WHERE F_IP='10.0.0.1' ORDER BY F_ID");
    if (how == "twin") {
        QCOMPARE(rows, (QList<QStringList>{{"changed", "C9"}, {"TWIN", "C7"}}));
        QCOMPARE(MessageBox::shown().last().text, QStringLiteral("服务器数据修改成功！"));
    } else {
        QCOMPARE(rows, (QList<QStringList>{{"NEW", "C8"}})); // the new server is untouched
        QCOMPARE(MessageBox::shown().last().text, QStringLiteral("服务器数据不存在，可能已被删除！"));
        QCOMPARE(MessageBox::shown().last().style, 0x30);
        QVERIFY(!listedIps(*m_main).contains("10.0.0.1") || m_reg->count("data") == 3);
    }
}

void TstEditors::saveByAnotherProgramIsNeverOverwritten_data()
{
    QTest::addColumn<QString>("otherSave");
    QTest::newRow("number") << "UPDATE data SET F_BH='theirs' WHERE F_IP='10.0.0.1'";
    QTest::newRow("remark") << "UPDATE data SET F_BZ='theirs' WHERE F_IP='10.0.0.1'";
    QTest::newRow("customer, a field this save leaves alone") << "UPDATE data SET F_KH='乙公司' WHERE F_IP='10.0.0.1'";
    QTest::newRow("a date made empty") << "UPDATE data SET F_XJ=NULL WHERE F_IP='10.0.0.1'";
}

void TstEditors::saveByAnotherProgramIsNeverOverwritten()
{
    QFETCH(QString, otherSave);
    ServerEditWindow *w = openEditor("10.0.0.1");
    Form f{w};
    f.edit(N::cabinet)->setText("mine");
    // Another program saves the same server while this window is open.
    QVERIFY(m_reg->exec(otherSave));
    const QStringList theirs = serverRow(*m_reg, "10.0.0.1");
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.1"), theirs); // nothing of this save written
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("服务器数据已被他人修改，请重新打开后再修改！"));
    QCOMPARE(MessageBox::shown()[0].style, 0x30);
    // Opened again, the window shows their save, and this one goes through.
    w->close();
    QTRY_VERIFY(m_main->editWindows().isEmpty());
    ServerEditWindow *again = openEditor("10.0.0.1");
    Form g{again};
    g.edit(N::cabinet)->setText("mine");
    g.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.1").value(3), QStringLiteral("mine"));
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("服务器数据修改成功！"));
}

void TstEditors::unchangedFieldsGoBackAsStored_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("stored");
    QTest::newRow("number longer than an edit box holds") << "F_BH" << QString(40000, QChar('N'));
    QTest::newRow("cabinet longer than an edit box holds") << "F_JG" << QString(32768, QChar(u'柜'));
    QTest::newRow("date with a time") << "F_SJ"
                                      << "2020-01-05 13:45:00";
    QTest::newRow("date with slashes") << "F_DQ"
                                       << "2020/1/5";
    QTest::newRow("date in Chinese") << "F_XJ"
                                     << "2020年1月5日";
    QTest::newRow("line separator in a remark") << "F_BZ" << QString("a") + QChar(0x2028) + "b";
    QTest::newRow("CR LF and a lone CR in a remark") << "F_BZ"
                                                     << "a\r\nb\rc";
    QTest::newRow("one-line remark of 300,000 characters") << "F_BZ" << QString(300000, QChar('x'));
}

void TstEditors::unchangedFieldsGoBackAsStored()
{
    QFETCH(QString, column);
    QFETCH(QString, stored);
    QVERIFY(m_reg->exec(QStringLiteral("UPDATE data SET %1='%2' WHERE F_IP='10.0.0.1'").arg(column, stored)));
    m_main->fillServerList();
    // However long the stored text, a box and a list cell lay out only what fits a person's view:
    // the whole of a long one-line remark would keep the window from opening for minutes.
    const auto *list = child<QAbstractItemView>(m_main.get(), MainNames::serverList);
    for (int c = 0; c < list->model()->columnCount(); ++c) {
        const QModelIndex cell = list->model()->index(0, c);
        QVERIFY(list->model()->data(cell).toString().size() <= 257);
        QVERIFY(list->model()->data(cell, Qt::ToolTipRole).toString().size() <= 501);
    }
    ServerEditWindow *w = openEditor("10.0.0.1");
    QVERIFY(Form{w}.remark()->toPlainText().size() <= 20001);
    QCOMPARE(Form{w}.remark()->isReadOnly(), column == "F_BZ" && stored.size() > 20000);
    Form{w}.press();
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("服务器数据修改成功！"));
    QCOMPARE(m_reg->rows(QStringLiteral("SELECT %1 FROM data WHERE F_IP='10.0.0.1'").arg(column)),
             QList<QStringList>{{stored}});
    // A changed date is written in the stored form.
    if (column == "F_DQ") {
        Form{w}.date(N::expires)->setDate(QDate(2021, 2, 3));
        Form{w}.press();
        QCOMPARE(serverRow(*m_reg, "10.0.0.1").value(5), QStringLiteral("2021-02-03"));
    }
}

void TstEditors::absentTextsStayAbsent()
{
    // Registers written by older programs leave texts never filled in absent (NULL).
    QVERIFY(m_reg->exec("UPDATE data SET F_XJ = NULL, F_BZ = NULL, F_JG = NULL WHERE F_IP='10.0.0.1'"));
    m_main->fillServerList();
    ServerEditWindow *w = openEditor("10.0.0.1");
    Form{w}.edit(N::number)->setText("changed");
    Form{w}.press();
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("服务器数据修改成功！"));
    QCOMPARE(
        m_reg->rows(
            "SELECT F_BH, CAST(F_XJ IS NULL AS INTEGER), CAST(F_BZ IS NULL AS INTEGER), CAST(F_JG IS NULL AS INTEGER) "
            "FROM data WHERE F_IP='10.0.0.1'"),
        (QList<QStringList>{{"changed", "1", "1", "1"}}));
    // A text typed into such a field is stored.
    Form{w}.edit(N::cabinet)->setText("C9");
    Form{w}.press();
    QCOMPARE(m_reg->rows("SELECT F_JG, CAST(F_BZ IS NULL AS INTEGER) FROM data WHERE F_IP='10.0.0.1'"),
             (QList<QStringList>{{"C9", "1"}}));
}

void TstEditors::editWindowDoesNotFollowTheList()
{
    ServerEditWindow *w = openEditor("10.0.0.1");
    selectRowShowing(*m_main, "10.0.0.2");
    m_main->showAllServers();
    Form f{w};
    QCOMPARE(f.edit(N::ip)->text(), QStringLiteral("10.0.0.1"));
    f.edit(N::number)->setText("moved?");
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.1").value(1), QStringLiteral("moved?"));
    QCOMPARE(serverRow(*m_reg, "10.0.0.2").value(1), QStringLiteral("A02"));
}

void TstEditors::reopeningTheSameServerRaisesItsWindow()
{
    ServerEditWindow *first = openEditor("10.0.0.1");
    QCOMPARE(openEditor("10.0.0.1"), first);
    QCOMPARE(m_main->editWindows().size(), 1);
    ServerEditWindow *second = openEditor("10.0.0.2");
    QVERIFY(second != first);
    QCOMPARE(m_main->editWindows().size(), 2);
    first->close();
    QTRY_COMPARE(m_main->editWindows().size(), 1);
}

namespace {
// Types text into a widget a character at a time, Chinese included ("^A" is Ctrl+A, "\b"
// Backspace, "\x7f" Delete, "\x1b" Escape, "\t" leaves the box).
void typeInto(QWidget *w, const QString &keys)
{
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const QChar c = keys[i];
        if (c == '^' && i + 1 < keys.size() && keys[i + 1] == 'A') {
            QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
            ++i;
        } else if (c == '\b') {
            QTest::keyClick(w, Qt::Key_Backspace);
        } else if (c == QChar(0x7f)) {
            QTest::keyClick(w, Qt::Key_Delete);
        } else if (c == '\x1b') {
            QTest::keyClick(w, Qt::Key_Escape);
        } else if (c == '\t') {
            QTest::keyClick(w, Qt::Key_Tab);
        } else {
            QKeyEvent press(QEvent::KeyPress, c.isDigit() && c.unicode() < 128 ? Qt::Key_0 + (c.unicode() - '0') : 0,
                            Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &press);
            QKeyEvent release(QEvent::KeyRelease, press.key(), Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &release);
        }
    }
}
} // namespace

void TstEditors::datesTypeWhole_data()
{
    QTest::addColumn<QString>("keys");   // into 到期时间, which shows 2009-11-23
    QTest::addColumn<QString>("stored"); // 到期时间 after the save
    QTest::newRow("select all, ISO date") << "^A2028-01-07\t"
                                          << "2028-01-07";
    QTest::newRow("select all, slashes") << "^A2028/1/7\t"
                                         << "2028-01-07";
    QTest::newRow("select all, dots") << "^A2028.1.7\t"
                                      << "2028-01-07";
    QTest::newRow("select all, digits only") << "^A20280107\t"
                                             << "2028-01-07";
    QTest::newRow("select all, Chinese") << "^A2028年1月7日\t"
                                         << "2028-01-07";
    QTest::newRow("select all, full-width digits") << "^A２０２８０１０７\t"
                                                   << "2028-01-07";
    QTest::newRow("typed with a mistake, mended") << "^A2028-01-08\b7\t"
                                                  << "2028-01-07";
    // A text that is no date stays as typed, marked; the save refuses it (stored: the old date).
    QTest::newRow("no such day: kept and refused") << "^A2027-02-30\t"
                                                   << "not 2027-02-30";
    QTest::newRow("only a year: kept and refused") << "^A2028\t"
                                                   << "not 2028";
    QTest::newRow("Backspace in a filled box: kept and refused") << "end\b\b\t"
                                                                 << "not 2009-11-";
    QTest::newRow("Backspace once in a filled box: the date it names") << "end\b\t"
                                                                       << "2009-11-02";
    QTest::newRow("escape while typing: unchanged") << "^A2028-01-07\x1b\t"
                                                    << "2009-11-23";
    QTest::newRow("select all, Backspace: emptied") << "^A\b\t"
                                                    << "";
    QTest::newRow("select all, Delete: emptied") << QString("^A") + QChar(0x7f) + "\t"
                                                 << "";
    QTest::newRow("emptied, then a date") << "^A\b2030-5-6\t"
                                          << "2030-05-06";
    QTest::newRow("清除 in the calendar") << "clear"
                                          << "";
    QTest::newRow("clicked into, select all, digits") << "click^A20280107\t"
                                                      << "2028-01-07";
    QTest::newRow("after emptying another box") << "other^A20280107\t"
                                                << "2028-01-07";
}

void TstEditors::datesTypeWhole()
{
    QFETCH(QString, keys);
    QFETCH(QString, stored);
    ServerEditWindow *w = openEditor("10.0.0.1");
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *box = child<DateBox>(w, N::expires);
    box->setFocus();
    if (keys == "clear") {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 6, box->height() / 2));
        QTRY_VERIFY(box->calendarWidget()->isVisible());
        auto *clear = box->calendarWidget()->findChild<QToolButton *>("清除");
        QVERIFY(clear);
        clear->click();
        QVERIFY(!box->calendarWidget()->isVisible());
    } else if (keys.startsWith("other")) {
        auto *other = child<DateBox>(w, N::unracked);
        QTest::mouseClick(other, Qt::LeftButton, {}, QPoint(other->width() - 30, other->height() / 2));
        typeInto(other, "^A\b");
        QVERIFY(other->isBlank());
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 30, box->height() / 2));
        QCOMPARE(QApplication::focusWidget(), box);
        typeInto(box, keys.mid(5));
    } else if (keys.startsWith("end")) {
        box->findChild<QLineEdit *>()->deselect();
        QTest::keyClick(box, Qt::Key_End);
        typeInto(box, keys.mid(3));
    } else if (keys.startsWith("click")) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 30, box->height() / 2));
        typeInto(box, keys.mid(5));
    } else {
        typeInto(box, keys.chopped(1));
        // What is typed shows as it is typed, then Tab takes it.
        if (QByteArray(QTest::currentDataTag()) == "select all, ISO date") {
            QCOMPARE(box->findChild<QLineEdit *>()->text(), QStringLiteral("2028-01-07"));
            QApplication::processEvents();
            box->repaint();
            QCOMPARE(box->findChild<QLineEdit *>()->text(), QStringLiteral("2028-01-07"));
        }
        typeInto(box, keys.right(1));
    }
    QVERIFY(w->isVisible()); // Escape while typing does not close the window
    if (stored.startsWith("not ")) {
        const QString typed = stored.mid(4);
        QCOMPARE(box->notADate(), std::optional<QString>(typed));
        QCOMPARE(box->findChild<QLineEdit *>()->text(), typed);
        QCOMPARE(box->toolTip(), QStringLiteral("不是日期"));
        Form{w}.press();
        QCOMPARE(MessageBox::shown().last().text,
                 QStringLiteral("到期时间“%1”不是日期，请改为日期或清空后再保存！").arg(typed));
        QCOMPARE(serverRow(*m_reg, "10.0.0.1").value(5), QStringLiteral("2009-11-23"));
        QVERIFY(w->isVisible());
        // Made a date, it is saved.
        QCOMPARE(QApplication::focusWidget(), box);
        typeInto(box, "^A2027-02-28\t");
        QVERIFY(!box->notADate());
        Form{w}.press();
        QCOMPARE(serverRow(*m_reg, "10.0.0.1").value(5), QStringLiteral("2027-02-28"));
        return;
    }
    QCOMPARE(box->isBlank(), stored.isEmpty());
    if (stored.isEmpty())
        QCOMPARE(box->text().trimmed(), QString());
    Form{w}.press();
    QCOMPARE(serverRow(*m_reg, "10.0.0.1").value(5), stored);
}

void TstEditors::addWindowKeysAndEmptiedDate()
{
    auto window = m_main->makeAddWindow();
    ServerAddWindow &w = *window;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    Form f{&w};
    f.fill("甲公司", "N9", "10.0.9.9", "C9", "");
    // Tab goes down the left column, then to the remark.
    QStringList order;
    f.customer()->setFocus();
    for (int i = 0; i < 8 && QApplication::focusWidget(); ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order,
             (QStringList{N::customer, N::number, N::ip, N::cabinet, N::racked, N::expires, N::unracked, N::remark}));
    // 下架时间 opens blank; emptying it again keeps it so.
    auto *unracked = child<DateBox>(&w, N::unracked);
    unracked->setFocus();
    typeInto(unracked, "^A\b");
    // Enter in a line box presses 添加数据.
    f.edit(N::cabinet)->setFocus();
    MessageBox::setNextAnswer(MsgAnswer::Yes); // and go on adding
    QTest::keyClick(f.edit(N::cabinet), Qt::Key_Return);
    QCOMPARE(serverRow(*m_reg, "10.0.9.9").value(6), QString());
    QCOMPARE(serverRow(*m_reg, "10.0.9.9").value(5), dateToText(QDate::currentDate().addYears(1)));
    // Escape is 退出添加.
    QVERIFY(w.isVisible());
    f.edit(N::number)->setFocus();
    QTest::keyClick(f.edit(N::number), Qt::Key_Escape);
    QVERIFY(!w.isVisible());
}

void TstEditors::typedCustomerMustNameOne_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("stored");
    QTest::newRow("a whole name") << "乙公司" << true;
    QTest::newRow("part of a name") << "乙公" << false;
    QTest::newRow("no such customer") << "丙公司" << false;
}

void TstEditors::typedCustomerMustNameOne()
{
    QFETCH(QString, typed);
    QFETCH(bool, stored);
    auto window = m_main->makeAddWindow();
    Form f{window.get()};
    f.fill("甲公司", "N7", "10.0.7.7", "C7", "");
    QVERIFY(f.customer()->isEditable());
    f.customer()->setEditText(typed);
    MessageBox::setNextAnswer(MsgAnswer::No);
    f.press();
    QCOMPARE(serverRow(*m_reg, "10.0.7.7").value(0), stored ? typed : QStringLiteral("0 rows"));
    if (!stored)
        QCOMPARE(MessageBox::shown().last().text, QStringLiteral("请选择您要对应的客户！"));
}

void TstEditors::typedEditKeptAfterAnotherProgramSaved()
{
    ServerEditWindow *w = openEditor("10.0.0.1");
    Form f{w};
    f.edit(N::number)->setText("N-mine");
    QVERIFY(m_reg->exec("UPDATE data SET F_JG = 'C-other' WHERE F_IP = '10.0.0.1'"));
    f.press();
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("服务器数据已被他人修改，请重新打开后再修改！"));
    // Nothing typed is lost; the field another program changed is marked with what it stored.
    QCOMPARE(f.edit(N::number)->text(), QStringLiteral("N-mine"));
    QCOMPARE(f.edit(N::cabinet)->property("changedElsewhere").toBool(), true);
    QCOMPARE(f.edit(N::cabinet)->toolTip(), QStringLiteral("其他人已改为：C-other"));
    QCOMPARE(f.edit(N::number)->property("changedElsewhere").toBool(), false);
    // The next press asks; No saves nothing.
    MessageBox::setNextAnswer(MsgAnswer::No);
    f.press();
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("其他人已修改此服务器，是否用您填写的内容覆盖？"));
    QCOMPARE(MessageBox::shown().last().style, 0x124);
    QCOMPARE(serverRow(*m_reg, "10.0.0.1").mid(1, 3), (QStringList{"A01", "10.0.0.1", "C-other"}));
    // Yes saves what the window holds over it.
    MessageBox::setNextAnswer(MsgAnswer::Yes);
    f.press();
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("服务器数据修改成功！"));
    QCOMPARE(serverRow(*m_reg, "10.0.0.1").mid(1, 3), (QStringList{"N-mine", "10.0.0.1", "C1"}));
    QCOMPARE(f.edit(N::cabinet)->property("changedElsewhere").toBool(), false);
    // Saving again asks nothing.
    MessageBox::clearShown();
    f.press();
    QCOMPARE(MessageBox::shown().size(), 1);
}

void TstEditors::nulIsNeverStored()
{
    auto window = m_main->makeAddWindow();
    Form f{window.get()};
    f.fill("甲公司", "N9", QStringLiteral("10.0.9.9") + QChar(0) + "x", "C9", "");
    const int before = m_reg->count("data");
    f.press();
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("服务器IP含有空字符（NUL），请删除后再保存！"));
    QCOMPARE(m_reg->count("data"), before);
    // Nor through the register layer, on either engine.
    RegisterDb db;
    QVERIFY(db.open(m_reg->dbPath()).ok());
    ServerRecord s;
    s.ip = QStringLiteral("10.0.9.8");
    s.remark = QStringLiteral("a") + QChar(0) + "b";
    const Read<qint64> added = db.addServer(s);
    QVERIFY(!added.ok());
    QVERIFY2(added.status.reason.contains("NUL"), qPrintable(added.status.reason));
    QCOMPARE(m_reg->count("data"), before);
}

QTEST_MAIN(TstEditors)
#include "tst_editors.moc"
