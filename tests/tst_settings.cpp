// The settings window: customers and the administrator account, on a temporary register.
#include "core/appstate.h"
#include "editors/serveraddwindow.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"
#include "settings/settingswindow.h"
#include "settings/settingswindow_names.h"
#include "testsupport.h"
#include "widgets/messagebox.h"
#include "widgets/reportlist.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>

namespace S = SettingsNames;

namespace {
const char *kCustomers =
    "INSERT INTO kehu (K_DD, K_KH, K_LX) VALUES ('20001', '甲公司', '电话 1'), ('20002', '乙公司', ''),"
    "('20003', 'Acme', 'a@example.com')";
const char *kServers = "INSERT INTO data (F_KH, F_IP) VALUES ('甲公司', '10.0.0.1'), ('乙公司', '10.0.0.2')";

struct Settings {
    SettingsWindow &w;
    ReportList *list() const { return child<ReportList>(&w, S::customerList); }
    QLineEdit *edit(const QString &name) const { return child<QLineEdit>(&w, name); }
    void click(const QString &name) const { child<QPushButton>(&w, name)->click(); }
    void select(int row) const { list()->setSelectedRow(row); }
    QStringList names() const
    {
        QStringList n;
        for (int r = 0; r < list()->rowCount(); ++r)
            n << list()->cellText(r, 1);
        return n;
    }
};

QStringList storedNames(const TempRegister &reg)
{
    QStringList names;
    for (const QStringList &row : reg.rows("SELECT K_KH FROM kehu ORDER BY " + TempRegister::keyColumn("kehu")))
        names << row.first();
    return names;
}

QStringList comboItems(MainWindow &main, const QString &name)
{
    QStringList items;
    auto *box = child<QComboBox>(&main, name);
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

void expectShown(const QString &text, int style, std::optional<QString> title)
{
    QVERIFY(!MessageBox::shown().isEmpty());
    QCOMPARE(MessageBox::shown().last().text, text);
    QCOMPARE(MessageBox::shown().last().style, style);
    QCOMPARE(MessageBox::shown().last().title, title);
}
} // namespace

class TstSettings : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void layout();
    void selectingARowFillsTheBoxes();
    void addFirstCustomerToAnEmptyTable();
    void addNames_data();
    void addNames();
    void takenKeyIsDrawnAgain();
    void defaultRowIsNotModified();
    void modifyActsOnTheRowSelectedNow_data();
    void modifyActsOnTheRowSelectedNow();
    void unreadableCustomersAreSaid();
    void modifyWithoutSelectionChangesNothing();
    void renameToAnotherCustomersName();
    void deleteFirstRowsInTurn();
    void renameCarriesTheServers_data();
    void renameCarriesTheServers();
    void deletingACustomerWithServersAsksFirst_data();
    void deletingACustomerWithServersAsksFirst();
    void deleteWithoutSelectionOrWithCancel();
    void modifyAfterTheSelectedCustomerWasDeleted();
    void failedWritesAreReported_data();
    void failedWritesAreReported();
    void adminChange_data();
    void adminChange();
    void failedAdminChangeKeepsBothOld();
    void adminBoxesTakeTwentyGbkBytes();
    void reopenedWindowShowsTheStoredValues();

private:
    std::unique_ptr<TempRegister> m_reg;
    std::unique_ptr<MainWindow> m_main;
};

void TstSettings::init()
{
    resetProgramState();
    m_reg = std::make_unique<TempRegister>();
    QVERIFY(m_reg->exec("UPDATE kehu SET K_DD='10500'"));
    QVERIFY(m_reg->exec(kCustomers));
    QVERIFY(m_reg->exec(kServers));
    m_main = std::make_unique<MainWindow>(m_reg->programDir());
    waitForLists();
    appState().adminAccount = "admin";
    appState().adminPassword = "kavro2008";
}

void TstSettings::cleanup()
{
    m_main.reset();
    m_reg.reset();
}

void TstSettings::layout()
{
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    QCOMPARE(w.windowTitle(), QStringLiteral("功能设置"));
    QCOMPARE(w.size(), QSize(350, 256));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    verifyUnits(&w, {
                        {S::shape, {1, 2, 340, 226}, {}},
                        {S::customerList, {4, 4, 160, 150}, {}},
                        {"标签1", {5, 159, 55, 16}, "客户名称："},
                        {S::nameEdit, {64, 156, 100, 20}, {}},
                        {"标签2", {5, 181, 55, 16}, "联系方式："},
                        {S::contactEdit, {64, 178, 100, 20}, {}},
                        {S::addButton, {4, 202, 50, 20}, "添加"},
                        {S::modifyButton, {60, 202, 50, 20}, "修改"},
                        {S::deleteButton, {116, 202, 50, 20}, "删除"},
                        {S::keyEdit, {159, 126, 64, 16}, {}},
                        {"透明标签1", {171, 4, 72, 16}, "管理员帐号："},
                        {S::accountEdit, {173, 22, 160, 20}, {}},
                        {"透明标签2", {171, 47, 72, 16}, "管理员密码："},
                        {S::passwordEdit, {174, 67, 160, 20}, {}},
                        {S::changeAdminButton, {174, 92, 160, 30}, "确定修改"},
                        {S::aboutEdit, {174, 130, 160, 90}, {}},
                    });
    QCOMPARE(child<QWidget>(&w, S::passwordEdit)->parentWidget(), &w);
    w.show();
    QVERIFY(!child<QWidget>(&w, S::keyEdit)->isVisible());
    QCOMPARE(child<QLineEdit>(&w, S::passwordEdit)->echoMode(), QLineEdit::Normal);
    Settings s{w};
    QVERIFY(s.list()->isColumnHidden(0));
    QCOMPARE(s.list()->columnWidth(1), 70);
    QCOMPARE(s.list()->columnWidth(2), 86);
    QCOMPARE(s.names(), (QStringList{"默认客户", "甲公司", "乙公司", "Acme"}));
    QCOMPARE(s.list()->cellText(1, 0), QStringLiteral("20001"));
    QCOMPARE(s.list()->selectedRow(), -1);
    auto *about = child<QPlainTextEdit>(&w, S::aboutEdit);
    QVERIFY(about->isReadOnly());
    QVERIFY(about->toPlainText().contains("澜汀网络"));
    QVERIFY(about->toPlainText().contains("example.com"));
    QCOMPARE(s.edit(S::accountEdit)->text(), QStringLiteral("admin"));
    QCOMPARE(s.edit(S::passwordEdit)->text(), QStringLiteral("kavro2008"));
}

void TstSettings::selectingARowFillsTheBoxes()
{
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    Settings s{w};
    s.select(1);
    QCOMPARE(appState().customerListIndex, 1);
    QCOMPARE(s.edit(S::keyEdit)->text(), QStringLiteral("20001"));
    QCOMPARE(s.edit(S::nameEdit)->text(), QStringLiteral("甲公司"));
    QCOMPARE(s.edit(S::contactEdit)->text(), QStringLiteral("电话 1"));
}

void TstSettings::addFirstCustomerToAnEmptyTable()
{
    QVERIFY(m_reg->exec("DELETE FROM kehu"));
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    Settings s{w};
    QCOMPARE(s.list()->rowCount(), 0);
    s.edit(S::nameEdit)->setText("新客户");
    s.edit(S::contactEdit)->setText("O'Neil, 010-1234");
    s.click(S::addButton);
    const QList<QStringList> rows = m_reg->rows("SELECT K_DD, K_KH, K_LX FROM kehu");
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].mid(1), (QStringList{"新客户", "O'Neil, 010-1234"}));
    const int key = rows[0][0].toInt();
    QVERIFY(key >= 10000 && key <= 2000000);
    QCOMPARE(rows[0][0], QString::number(key));
    expectShown("新客户添加成功！", 0, QStringLiteral("澜汀提示"));
    QCOMPARE(s.names(), QStringList{"新客户"});
    QCOMPARE(comboItems(*m_main, MainNames::customerCombo), (QStringList{"请选择客户", "新客户"}));
    QCOMPARE(comboItems(*m_main, MainNames::customerCombo1), (QStringList{"请选择客户", "新客户"}));
    QCOMPARE(s.edit(S::nameEdit)->text(), QStringLiteral("新客户")); // the boxes keep their texts
}

void TstSettings::addNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("exact duplicate") << "甲公司" << false;
    QTest::newRow("trailing blank") << "甲公司 " << true;
    QTest::newRow("leading blank") << " 甲公司" << true;
    QTest::newRow("other letter case") << "ACME" << true;
    QTest::newRow("quote") << "O'Neil 数据" << true;
}

void TstSettings::addNames()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    Settings s{w};
    s.edit(S::nameEdit)->setText(name);
    s.click(S::addButton);
    QCOMPARE(storedNames(*m_reg).count(name), 1);
    QCOMPARE(m_reg->count("kehu"), accepted ? 5 : 4);
    if (accepted)
        expectShown("新客户添加成功！", 0, QStringLiteral("澜汀提示"));
    else
        expectShown("您添加的客户名称已经存在！", 0, QStringLiteral("澜汀提示"));
    // An empty name is allowed once.
    s.edit(S::nameEdit)->clear();
    s.click(S::addButton);
    s.click(S::addButton);
    QCOMPARE(storedNames(*m_reg).count(QString()), 1);
    expectShown("您添加的客户名称已经存在！", 0, QStringLiteral("澜汀提示"));
    QSet<QString> keys;
    for (const QStringList &row : m_reg->rows("SELECT K_DD FROM kehu"))
        keys.insert(row.first());
    QCOMPARE(keys.size(), m_reg->count("kehu"));
}

void TstSettings::takenKeyIsDrawnAgain()
{
    QRandomGenerator probe(2024);
    const QString first = QString::number(probe.bounded(10000, 2000001));
    const QString second = QString::number(probe.bounded(10000, 2000001));
    QVERIFY(m_reg->exec(QStringLiteral("INSERT INTO kehu (K_DD, K_KH, K_LX) VALUES ('%1', '先到', '')").arg(first)));
    QRandomGenerator seeded(2024);
    // A register whose customer numbers come from a seeded generator.
    RegisterDb seededDb(&seeded);
    QVERIFY(seededDb.open(m_reg->dbPath()).ok());
    SettingsWindow w(seededDb);
    Settings s{w};
    s.edit(S::nameEdit)->setText("后到");
    s.click(S::addButton);
    QCOMPARE(m_reg->rows("SELECT K_DD FROM kehu WHERE K_KH='后到'"), QList<QStringList>{{second}});
}

void TstSettings::modifyActsOnTheRowSelectedNow_data()
{
    QTest::addColumn<QString>("how"); // how the selection went away after row 0 was selected
    QTest::newRow("list refilled by an addition") << "add";
    QTest::newRow("ctrl+click deselects") << "ctrl";
    QTest::newRow("list refilled by a deletion") << "delete";
}

void TstSettings::modifyActsOnTheRowSelectedNow()
{
    QFETCH(QString, how);
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Settings s{w};
    if (how == "delete") {
        s.select(3);
        MessageBox::setNextAnswer(MsgAnswer::Ok);
        s.click(S::deleteButton);
    }
    s.select(0);
    if (how == "add") {
        s.edit(S::nameEdit)->setText("新客户");
        s.click(S::addButton);
    } else if (how == "ctrl") {
        const QRect cell = s.list()->visualRect(s.list()->model()->index(0, 1));
        QTest::mouseClick(s.list()->viewport(), Qt::LeftButton, Qt::ControlModifier, cell.center());
    } else {
        s.select(1);
        MessageBox::setNextAnswer(MsgAnswer::Yes); // 甲公司 still has a server
        MessageBox::setNextAnswer(MsgAnswer::Ok);
        s.click(S::deleteButton);
    }
    QCOMPARE(s.list()->selectedRow(), -1);
    MessageBox::clearShown();
    s.edit(S::nameEdit)->setText("改名");
    s.click(S::modifyButton);
    s.click(S::deleteButton);
    QCOMPARE(MessageBox::shown().size(), 2);
    for (const MessageBox::Shown &shown : MessageBox::shown())
        QCOMPARE(shown.text, QStringLiteral("您选择的数据错误，请重新选择！"));
    QCOMPARE(storedNames(*m_reg).first(), QStringLiteral("默认客户"));
    QVERIFY(!storedNames(*m_reg).contains("改名"));
}

void TstSettings::unreadableCustomersAreSaid()
{
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    Settings s{w};
    QCOMPARE(s.names().size(), 4);
    // The table cannot be read any more (here: another program renamed it).
    QVERIFY(m_reg->exec("ALTER TABLE kehu RENAME TO kehu_gone"));
    s.edit(S::nameEdit)->setText("新客户");
    s.click(S::addButton);
    expectShown("数据库操作失败，数据未保存！", 0x10, QStringLiteral("澜汀提示"));
    // A window opened now says it cannot read the customers instead of showing none.
    MessageBox::clearShown();
    auto again = m_main->makeSettingsWindow();
    expectShown("读取数据库失败，请稍后重试！", 0x10, std::nullopt);
    QCOMPARE(s.names().size(), 4); // the rows shown stay
    // So does the add window, rather than offering no customer at all.
    MessageBox::clearShown();
    auto add = m_main->makeAddWindow();
    expectShown("读取数据库失败，请稍后重试！", 0x10, std::nullopt);
}

void TstSettings::defaultRowIsNotModified()
{
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    Settings s{w};
    s.select(0);
    s.edit(S::nameEdit)->setText("改掉");
    s.click(S::modifyButton);
    expectShown("禁止修改默认项目！", 0, QStringLiteral("澜汀提示"));
    QCOMPARE(storedNames(*m_reg), (QStringList{"默认客户", "甲公司", "乙公司", "Acme"}));
}

void TstSettings::modifyWithoutSelectionChangesNothing()
{
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    Settings s{w};
    s.edit(S::nameEdit)->setText("无名");
    s.click(S::modifyButton);
    QCOMPARE(MessageBox::shown().size(), 1);
    expectShown("您选择的数据错误，请重新选择！", 0x10, std::nullopt);
    QCOMPARE(storedNames(*m_reg), (QStringList{"默认客户", "甲公司", "乙公司", "Acme"}));
}

void TstSettings::renameToAnotherCustomersName()
{
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    w.show();
    Settings s{w};
    s.select(2);
    s.edit(S::nameEdit)->setText("甲公司");
    s.edit(S::contactEdit)->setText("it's new");
    s.click(S::modifyButton);
    expectShown("客户信息修改成功！", 0, QStringLiteral("澜汀提示"));
    QCOMPARE(m_reg->rows("SELECT K_DD, K_KH, K_LX FROM kehu WHERE K_DD='20002'"),
             (QList<QStringList>{{"20002", "甲公司", "it's new"}}));
    QCOMPARE(storedNames(*m_reg).count("甲公司"), 2);
    // Its server follows it to the new name (no other customer was called 乙公司).
    QCOMPARE(m_reg->rows("SELECT F_KH FROM data WHERE F_IP='10.0.0.2'"), QList<QStringList>{{"甲公司"}});
    QCOMPARE(comboItems(*m_main, MainNames::customerCombo1),
             (QStringList{"请选择客户", "默认客户", "甲公司", "甲公司", "Acme"}));
    QCOMPARE(s.list()->selectedRow(), 2); // selected again after the refill
    QVERIFY(s.list()->hasFocus() || !w.isActiveWindow());
}

void TstSettings::deleteFirstRowsInTurn()
{
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    Settings s{w};
    // The default customer (the first row) is never deleted: nothing is asked, nothing goes.
    s.select(0);
    s.click(S::deleteButton);
    QCOMPARE(MessageBox::shown().size(), 1);
    expectShown("禁止修改默认项目！", 0, QStringLiteral("澜汀提示"));
    QCOMPARE(storedNames(*m_reg), (QStringList{"默认客户", "甲公司", "乙公司", "Acme"}));
    MessageBox::clearShown();
    // The rows after it go in turn (甲公司 still has a server: that is asked first).
    s.select(1);
    MessageBox::setNextAnswer(MsgAnswer::Yes);
    MessageBox::setNextAnswer(MsgAnswer::Ok);
    s.click(S::deleteButton);
    QCOMPARE(MessageBox::shown().size(), 3);
    QCOMPARE(MessageBox::shown()[0].text,
             QStringLiteral("该客户还有 1 台服务器，删除后这些服务器将不属于任何客户。是否继续？"));
    QCOMPARE(MessageBox::shown()[1].text, QStringLiteral("客户数据删除后将不可恢复，是否真的要删除？"));
    QCOMPARE(MessageBox::shown()[1].style, 0x21);
    QCOMPARE(MessageBox::shown()[1].title, std::optional<QString>("信息"));
    expectShown("客户数据已删除！", 0x40, QStringLiteral("信息"));
    QCOMPARE(storedNames(*m_reg), (QStringList{"默认客户", "乙公司", "Acme"}));
    QCOMPARE(s.names(), (QStringList{"默认客户", "乙公司", "Acme"}));
    // The main window's filters keep the deleted name until they are refilled.
    QVERIFY(comboItems(*m_main, MainNames::customerCombo).contains("甲公司"));
    // After the refill nothing is selected: 修改 and 删除 refuse until a row is chosen again.
    s.edit(S::nameEdit)->setText("改掉");
    s.click(S::modifyButton);
    expectShown("您选择的数据错误，请重新选择！", 0x10, std::nullopt);
    s.select(1);
    MessageBox::setNextAnswer(MsgAnswer::Yes);
    MessageBox::setNextAnswer(MsgAnswer::Ok);
    s.click(S::deleteButton);
    QCOMPARE(storedNames(*m_reg), (QStringList{"默认客户", "Acme"}));
}

void TstSettings::renameCarriesTheServers_data()
{
    QTest::addColumn<QString>("before");  // more SQL before the rename
    QTest::addColumn<QString>("newName"); // 甲公司 (row 1) renamed to this
    QTest::addColumn<QString>("said");
    QTest::addColumn<QStringList>("serverCustomers"); // of 10.0.0.1, 10.0.0.3
    QTest::newRow("servers follow") << ""
                                    << "甲科技"
                                    << "客户信息修改成功！" << QStringList{"甲科技", "甲科技"};
    QTest::newRow("contact only") << ""
                                  << "甲公司"
                                  << "客户信息修改成功！" << QStringList{"甲公司", "甲公司"};
    QTest::newRow("old name shared: servers stay")
        << "INSERT INTO kehu (K_DD, K_KH, K_LX) VALUES ('20009', '甲公司', '')"
        << "甲科技"
        << "客户信息修改成功！\n另有客户也叫“甲公司”，服务器仍属于这个名称，只修改了客户本身。"
        << QStringList{"甲公司", "甲公司"};
}

void TstSettings::renameCarriesTheServers()
{
    QFETCH(QString, before);
    QFETCH(QString, newName);
    QFETCH(QString, said);
    QFETCH(QStringList, serverCustomers);
    QVERIFY(m_reg->exec("INSERT INTO data (F_KH, F_IP) VALUES ('甲公司', '10.0.0.3')"));
    if (!before.isEmpty())
        QVERIFY(m_reg->exec(before));
    // The list is filtered by the customer being renamed.
    logIn(*m_main);
    auto *chooser = child<QComboBox>(m_main.get(), MainNames::customerCombo1);
    chooser->setCurrentIndex(chooser->findText("甲公司"));
    child<QPushButton>(m_main.get(), MainNames::customerButton1)->click();
    QCOMPARE(listedIps(*m_main), (QStringList{"10.0.0.1", "10.0.0.3"}));
    auto window = m_main->makeSettingsWindow();
    Settings s{*window};
    s.select(1);
    s.edit(S::nameEdit)->setText(newName);
    s.edit(S::contactEdit)->setText("新电话");
    s.click(S::modifyButton);
    expectShown(said, 0, QStringLiteral("澜汀提示"));
    QStringList customers;
    for (const QStringList &row :
         m_reg->rows("SELECT F_KH FROM data WHERE F_IP IN ('10.0.0.1', '10.0.0.3') ORDER BY F_IP"))
        customers << row.first();
    QCOMPARE(customers, serverCustomers);
    // The filter follows the customer to its new name: the list still shows its servers, under
    // their name now, and the chooser names it.
    QCOMPARE(listedIps(*m_main), (QStringList{"10.0.0.1", "10.0.0.3"}));
    QCOMPARE(m_main->currentQuery().text, serverCustomers.first());
    QCOMPARE(m_main->serverList()->cellText(0, 6), serverCustomers.first());
    QCOMPARE(chooser->currentText(), serverCustomers.first());
}

void TstSettings::deletingACustomerWithServersAsksFirst_data()
{
    QTest::addColumn<QList<MsgAnswer>>("answers");
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("deleted");
    QTest::newRow("No (the default)") << QList<MsgAnswer>{} << 1 << false;
    QTest::newRow("Yes, then Cancel") << QList<MsgAnswer>{MsgAnswer::Yes, MsgAnswer::Cancel} << 2 << false;
    QTest::newRow("Yes, then OK") << QList<MsgAnswer>{MsgAnswer::Yes, MsgAnswer::Ok} << 3 << true;
}

void TstSettings::deletingACustomerWithServersAsksFirst()
{
    QFETCH(QList<MsgAnswer>, answers);
    QFETCH(int, questions);
    QFETCH(bool, deleted);
    auto window = m_main->makeSettingsWindow();
    Settings s{*window};
    s.select(2); // 乙公司, one server
    for (MsgAnswer a : answers)
        MessageBox::setNextAnswer(a);
    s.click(S::deleteButton);
    QCOMPARE(MessageBox::shown().size(), questions);
    QCOMPARE(MessageBox::shown().first().text,
             QStringLiteral("该客户还有 1 台服务器，删除后这些服务器将不属于任何客户。是否继续？"));
    QCOMPARE(MessageBox::shown().first().style, 0x124);
    QCOMPARE(storedNames(*m_reg).contains("乙公司"), !deleted);
    // The server stays either way, with the name it had.
    QCOMPARE(m_reg->rows("SELECT F_KH FROM data WHERE F_IP='10.0.0.2'"), QList<QStringList>{{"乙公司"}});
    // A customer without servers is asked only the usual question.
    MessageBox::clearShown();
    s.select(int(storedNames(*m_reg).indexOf("Acme")));
    MessageBox::setNextAnswer(MsgAnswer::Cancel);
    s.click(S::deleteButton);
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown().first().text, QStringLiteral("客户数据删除后将不可恢复，是否真的要删除？"));
}

void TstSettings::deleteWithoutSelectionOrWithCancel()
{
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    Settings s{w};
    s.click(S::deleteButton);
    QCOMPARE(MessageBox::shown().size(), 1);
    expectShown("您选择的数据错误，请重新选择！", 0x10, std::nullopt);
    s.select(1);
    MessageBox::setNextAnswer(MsgAnswer::Cancel);
    s.click(S::deleteButton);
    QCOMPARE(MessageBox::shown().size(), 2);
    QCOMPARE(m_reg->count("kehu"), 4);
}

void TstSettings::modifyAfterTheSelectedCustomerWasDeleted()
{
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    Settings s{w};
    s.select(2);
    MessageBox::setNextAnswer(MsgAnswer::Yes); // 乙公司 still has a server
    MessageBox::setNextAnswer(MsgAnswer::Ok);
    s.click(S::deleteButton);
    QCOMPARE(s.edit(S::keyEdit)->text(), QStringLiteral("20002"));
    s.edit(S::nameEdit)->setText("复活");
    s.click(S::modifyButton);
    expectShown("您选择的数据错误，请重新选择！", 0x10, std::nullopt);
    QCOMPARE(storedNames(*m_reg), (QStringList{"默认客户", "甲公司", "Acme"}));
}

void TstSettings::failedWritesAreReported_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("button");
    QTest::newRow("add refused") << "BEFORE INSERT ON kehu" << S::addButton;
    QTest::newRow("modify: second statement refused") << "BEFORE UPDATE OF K_LX ON kehu" << S::modifyButton;
    QTest::newRow("delete refused") << "BEFORE DELETE ON kehu" << S::deleteButton;
    // The rename's servers refused: the customer keeps its name too.
    QTest::newRow("rename: moving its servers refused") << "BEFORE UPDATE ON data" << S::modifyButton;
}

void TstSettings::failedWritesAreReported()
{
    QFETCH(QString, trigger);
    QFETCH(QString, button);
    const QList<QStringList> before =
        m_reg->rows("SELECT K_DD, K_KH, K_LX FROM kehu ORDER BY " + TempRegister::keyColumn("kehu"));
    QVERIFY(m_reg->refuse(trigger));
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    Settings s{w};
    s.select(1);
    s.edit(S::nameEdit)->setText("新名字");
    s.edit(S::contactEdit)->setText("新电话");
    if (button == S::deleteButton)
        MessageBox::setNextAnswer(MsgAnswer::Yes); // it still has a server
    MessageBox::setNextAnswer(MsgAnswer::Ok);
    s.click(button);
    QCOMPARE(m_reg->rows("SELECT K_DD, K_KH, K_LX FROM kehu ORDER BY " + TempRegister::keyColumn("kehu")), before);
    QCOMPARE(m_reg->rows("SELECT F_KH FROM data WHERE F_IP='10.0.0.1'"), QList<QStringList>{{"甲公司"}});
    expectShown("数据库操作失败，数据未保存！", 0x10, QStringLiteral("澜汀提示"));
}

void TstSettings::adminChange_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QList<QStringList>>("adminAfter");
    const QList<QStringList> unchanged = {{"admin", "kavro2008"}};
    QTest::newRow("both empty") << ""
                                << ""
                                << ""
                                << "管理员帐号不能为空" << unchanged;
    QTest::newRow("password empty") << ""
                                    << "root"
                                    << ""
                                    << "管理员密码不能为空" << unchanged;
    QTest::newRow("account empty") << ""
                                   << ""
                                   << "pw"
                                   << "管理员帐号不能为空" << unchanged;
    QTest::newRow("changed") << ""
                             << "root"
                             << "it's 密码"
                             << "管理员帐号密码修改成功！" << QList<QStringList>{{"root", "it's 密码"}};
    QTest::newRow("blanks are accepted") << ""
                                         << " "
                                         << " "
                                         << "管理员帐号密码修改成功！" << QList<QStringList>{{" ", " "}};
    QTest::newRow("two rows both rewritten")
        << "INSERT INTO admin (U_ZH, U_MM) VALUES ('b', 'c')"
        << "root"
        << "pw"
        << "管理员帐号密码修改成功！" << QList<QStringList>{{"root", "pw"}, {"root", "pw"}};
    QTest::newRow("empty table gets its row") << "DELETE FROM admin"
                                              << "root"
                                              << "pw"
                                              << "管理员帐号密码修改成功！" << QList<QStringList>{{"root", "pw"}};
}

void TstSettings::adminChange()
{
    QFETCH(QString, setup);
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(QString, message);
    QFETCH(QList<QStringList>, adminAfter);
    if (!setup.isEmpty())
        QVERIFY(m_reg->exec(setup));
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    Settings s{w};
    s.edit(S::accountEdit)->setText(account);
    s.edit(S::passwordEdit)->setText(password);
    s.click(S::changeAdminButton);
    QCOMPARE(MessageBox::shown().size(), 1);
    const bool warning = message.endsWith("不能为空");
    expectShown(message, warning ? 0x30 : 0, warning ? std::nullopt : std::optional<QString>("澜汀提示"));
    if (setup.isEmpty() || !warning)
        QCOMPARE(m_reg->rows("SELECT U_ZH, U_MM FROM admin ORDER BY " + TempRegister::keyColumn("admin")), adminAfter);
    // After a change the run holds what is stored; a refused one leaves the login's values.
    QCOMPARE(appState().adminAccount, warning ? QStringLiteral("admin") : account);
    QCOMPARE(appState().adminPassword, warning ? QStringLiteral("kavro2008") : password);
}

void TstSettings::failedAdminChangeKeepsBothOld()
{
    QVERIFY(m_reg->refuse("BEFORE UPDATE OF U_MM ON admin"));
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    Settings s{w};
    s.edit(S::accountEdit)->setText("root");
    s.edit(S::passwordEdit)->setText("pw");
    s.click(S::changeAdminButton);
    QCOMPARE(m_reg->rows("SELECT U_ZH, U_MM FROM admin"), (QList<QStringList>{{"admin", "kavro2008"}}));
    expectShown("数据库操作失败，数据未保存！", 0x10, QStringLiteral("澜汀提示"));
}

void TstSettings::adminBoxesTakeTwentyGbkBytes()
{
    auto wWindow = m_main->makeSettingsWindow();
    SettingsWindow &w = *wWindow;
    Settings s{w};
    for (const QString &name : {S::accountEdit, S::passwordEdit}) {
        s.edit(name)->clear();
        QTest::keyClicks(s.edit(name), "abcdefghijklmnopqrstuvwxyz");
        QCOMPARE(s.edit(name)->text(), QStringLiteral("abcdefghijklmnopqrst"));
    }
}

void TstSettings::reopenedWindowShowsTheStoredValues()
{
    {
        auto wWindow = m_main->makeSettingsWindow();
        SettingsWindow &w = *wWindow;
        Settings s{w};
        s.edit(S::passwordEdit)->setText("newpw1");
        s.click(S::changeAdminButton);
        s.select(3);
    }
    // Reopened: the password just stored, not the one typed at login. Changing only the account
    // then keeps the new password.
    auto againWindow = m_main->makeSettingsWindow();
    SettingsWindow &again = *againWindow;
    Settings s{again};
    QCOMPARE(s.edit(S::accountEdit)->text(), QStringLiteral("admin"));
    QCOMPARE(s.edit(S::passwordEdit)->text(), QStringLiteral("newpw1"));
    QCOMPARE(appState().customerListIndex, 3); // kept for the whole run
    QCOMPARE(s.list()->selectedRow(), -1);
    QVERIFY(s.edit(S::keyEdit)->text().isEmpty());
    s.edit(S::accountEdit)->setText("zhangwei");
    s.click(S::changeAdminButton);
    QCOMPARE(m_reg->rows("SELECT U_ZH, U_MM FROM admin"), (QList<QStringList>{{"zhangwei", "newpw1"}}));
    // A refused change leaves the window's state as it was.
    QVERIFY(m_reg->refuse("BEFORE UPDATE ON admin"));
    s.edit(S::passwordEdit)->setText("other");
    s.click(S::changeAdminButton);
    QCOMPARE(appState().adminPassword, QStringLiteral("newpw1"));
}

QTEST_MAIN(TstSettings)
#include "tst_settings.moc"
