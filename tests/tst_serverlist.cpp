// The main window's server list: loading, search, customer filters, deletion, context menu, relayout.
#include "core/appstate.h"
#include "core/datetext.h"
#include "core/records.h"
#include "editors/servereditwindow.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"
#include "testsupport.h"
#include "widgets/messagebox.h"
#include "widgets/reportlist.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTimer>
#include <cstdio>

namespace {
// Five servers, two customers sharing cabinet C1, one with an empty number, one of a customer
// named 服务器列表 and one whose customer name holds a quote.
const char *kServers = "INSERT INTO data (F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ) VALUES "
                       "('甲公司', 'A01', '10.0.0.1', 'C1', '2008-11-23', '2009-11-23', '', '第一行\r\n第二行'),"
                       "('乙公司', '',    '10.0.0.2', 'C2', '2008年11月23日', '', '', ''),"
                       "('甲公司', 'A03', '10.0.0.3', 'C1', '2010/3/9', '', '', ''),"
                       "('服务器列表', 'A04', '10.0.0.4', 'C3', '', '', '', ''),"
                       "('O''Neil 数据', 'A05', '10.0.0.5', 'C1', '', '', '', 'it''s')";
const char *kCustomers = "INSERT INTO kehu (K_DD, K_KH, K_LX) VALUES ('20001', '甲公司', ''), ('20002', '乙公司', ''),"
                         "('20003', '服务器列表', ''), ('20004', 'O''Neil 数据', '')";
const QStringList kAll = {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"};

QStringList storedIps(const TempRegister &reg)
{
    QStringList ips;
    for (const QStringList &row : reg.rows("SELECT F_IP FROM data ORDER BY F_ID"))
        ips << row.first();
    return ips;
}

QAction *menuItem(MainWindow &main, const QString &text)
{
    for (QAction *a : child<QMenu>(&main, MainNames::menu)->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

} // namespace

class TstServerList : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void listsEveryServerInStoredOrder();
    void search_data();
    void search();
    void searchWithNoFieldChosenDoesNothing();
    void customerFilter_data();
    void customerFilter();
    void filterStaysAcrossAdditionsDeletionsAndSqlReload();
    void deletion_data();
    void deletion();
    void cancelledDeletionChangesNothing();
    void deletingTheLastServerLeavesAnEmptyList();
    void deletionWithoutSelectionAsksNothing();
    void failedDeletionIsReported_data();
    void failedDeletionIsReported();
    void contextMenuAnywhereOnTheList();
    void modifyHandOffNeedsANumberedRow();
    void readFailuresAreSaidAndKeepTheRows_data();
    void readFailuresAreSaidAndKeepTheRows();
    void listFollowsAnotherProgramOnReturn();
    void registerFileReplacedMeanwhile();
    void ownChangesReadNothingAgain();
    void containsTextSearch_data();
    void containsTextSearch();
    void containsFollowsTyping();
    void ipRangeSearch_data();
    void ipRangeSearch();
    void registerWithoutTextIndexSaysSoOnce();
    void relayout_data();
    void relayout();
    void commandButtonsOpenModalWindows_data();
    void commandButtonsOpenModalWindows();
    void keysOnTheList_data();
    void keysOnTheList();
    void bulkItemsOnlyWithSeveralRows();
    void bulkDeletion_data();
    void bulkDeletion();
    void bulkRenewal_data();
    void bulkRenewal();
    void bulkCustomerChange();
    void menuFromTheKeyboard_data();
    void menuFromTheKeyboard();
    void bulkRetirement_data();
    void bulkRetirement();
    void aboutNamesVersionLocationAndEngine();
    void layoutKeptAcrossRestart();
    void unusableLayoutIsNotKept_data();
    void unusableLayoutIsNotKept();
    void customerChoosersCompleteWhatIsTyped();

private:
    void selectRows(const QStringList &ips);
    std::unique_ptr<TempRegister> m_reg;
    std::unique_ptr<MainWindow> m_main;
};

void TstServerList::init()
{
    resetProgramState();
    m_reg = std::make_unique<TempRegister>();
    QVERIFY(m_reg->exec(kServers));
    QVERIFY(m_reg->exec(kCustomers));
    m_main = std::make_unique<MainWindow>(m_reg->programDir());
    waitForLists();
}

void TstServerList::cleanup()
{
    m_main.reset();
    m_reg.reset();
}

void TstServerList::listsEveryServerInStoredOrder()
{
    MainWindow &main = *m_main;
    QCOMPARE(listedIps(main), kAll);
    const QStringList first = {"A01", "10.0.0.1", "C1", "2008-11-23", "2009-11-23", "", "甲公司", "第一行\r\n第二行"};
    for (int c = 0; c < 8; ++c)
        QCOMPARE(main.serverList()->cellText(0, c), first[c]);
    QCOMPARE(main.serverList()->cellText(1, 3), QStringLiteral("2008年11月23日")); // stored text, unformatted
    QCOMPARE(main.serverList()->itemValue(2), 3);
    main.reloadServerListBySql();
    QCOMPARE(listedIps(main), kAll);
    for (int c = 0; c < 8; ++c)
        QCOMPARE(main.serverList()->cellText(0, c), first[c]);
    QCOMPARE(main.serverList()->itemValue(4), 5);
    QStringList names;
    auto *combo = child<QComboBox>(&main, MainNames::customerCombo);
    for (int i = 0; i < combo->count(); ++i)
        names << combo->itemText(i);
    QCOMPARE(names, (QStringList{"请选择客户", "默认客户", "甲公司", "乙公司", "服务器列表", "O'Neil 数据"}));
}

void TstServerList::search_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("ips");
    QTest::newRow("number") << 0 << "A01" << QStringList{"10.0.0.1"};
    QTest::newRow("number, other case") << 0 << "a01" << QStringList{};
    QTest::newRow("empty text lists empty numbers only") << 0 << "" << QStringList{"10.0.0.2"};
    QTest::newRow("ip") << 1 << "10.0.0.3" << QStringList{"10.0.0.3"};
    QTest::newRow("partial ip") << 1 << "10.0" << QStringList{};
    QTest::newRow("ip with trailing blank") << 1 << "10.0.0.3 " << QStringList{};
    QTest::newRow("customer") << 2 << "甲公司" << QStringList{"10.0.0.1", "10.0.0.3"};
    QTest::newRow("customer with quote") << 2 << "O'Neil 数据" << QStringList{"10.0.0.5"};
    QTest::newRow("cabinet") << 3 << "C1" << QStringList{"10.0.0.1", "10.0.0.3", "10.0.0.5"};
    QTest::newRow("injection finds nothing") << 3 << "' OR '1'='1" << QStringList{};
}

void TstServerList::search()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QStringList, ips);
    ::search(*m_main, field, text);
    QCOMPARE(listedIps(*m_main), ips);
    QCOMPARE(appState().listMode, 1);
    QCOMPARE(m_reg->count("data"), 5);
}

void TstServerList::searchWithNoFieldChosenDoesNothing()
{
    ::search(*m_main, 3, "C2");
    const ServerQuery filter = m_main->currentQuery();
    child<QComboBox>(m_main.get(), MainNames::searchField)->setCurrentIndex(-1);
    child<QPushButton>(m_main.get(), MainNames::searchButton)->click();
    QCOMPARE(appState().listMode, 1);
    QCOMPARE(m_main->currentQuery(), filter);
    QCOMPARE(listedIps(*m_main), QStringList{"10.0.0.2"});
}

void TstServerList::customerFilter_data()
{
    QTest::addColumn<bool>("upper");
    QTest::addColumn<QString>("customer");
    QTest::addColumn<QStringList>("ips");
    QTest::addColumn<int>("mode");
    for (bool upper : {false, true}) {
        const char *which = upper ? "upper: " : "lower: ";
        QTest::addRow("%s甲公司", which) << upper << "甲公司" << QStringList{"10.0.0.1", "10.0.0.3"} << 1;
        QTest::addRow("%s请选择客户 lists that name", which) << upper << "请选择客户" << QStringList{} << 1;
        QTest::addRow("%s服务器列表 lists all", which) << upper << "服务器列表" << kAll << 0;
        QTest::addRow("%squote in name", which) << upper << "O'Neil 数据" << QStringList{"10.0.0.5"} << 1;
    }
}

void TstServerList::customerFilter()
{
    QFETCH(bool, upper);
    QFETCH(QString, customer);
    QFETCH(QStringList, ips);
    QFETCH(int, mode);
    ::search(*m_main, 3, "C2"); // a filter beforehand
    const ServerQuery before = m_main->currentQuery();
    auto *combo = child<QComboBox>(m_main.get(), upper ? MainNames::customerCombo1 : MainNames::customerCombo);
    combo->setCurrentIndex(combo->findText(customer));
    child<QPushButton>(m_main.get(), upper ? MainNames::customerButton1 : MainNames::customerButton)->click();
    QCOMPARE(listedIps(*m_main), ips);
    QCOMPARE(appState().listMode, mode);
    if (mode == 0)
        QCOMPARE(m_main->currentQuery(), before); // 服务器列表 keeps the filter text
    child<QPushButton>(m_main.get(), MainNames::showAllButton)->click();
    QCOMPARE(listedIps(*m_main), kAll);
    QCOMPARE(appState().listMode, 0);
}

void TstServerList::filterStaysAcrossAdditionsDeletionsAndSqlReload()
{
    MainWindow &main = *m_main;
    ::search(main, 3, "C1");
    QVERIFY(m_reg->exec("INSERT INTO data (F_IP, F_JG) VALUES ('10.0.0.6', 'C1'), ('10.0.0.7', 'C9')"));
    main.fillServerList(); // as after an addition
    QCOMPARE(listedIps(main), (QStringList{"10.0.0.1", "10.0.0.3", "10.0.0.5", "10.0.0.6"}));
    main.reloadServerListBySql(); // as after a modification: every server, mode and filter kept
    QCOMPARE(listedIps(main).size(), 7);
    QCOMPARE(appState().listMode, 1);
    QCOMPARE(main.currentQuery(), ServerQuery::equal(ServerQuery::Field::Cabinet, "C1"));
    selectRowShowing(main, "10.0.0.7");
    MessageBox::setNextAnswer(MsgAnswer::Ok);
    main.deleteSelectedServer();
    QCOMPARE(listedIps(main), (QStringList{"10.0.0.1", "10.0.0.3", "10.0.0.5", "10.0.0.6"}));
    QVERIFY(!storedIps(*m_reg).contains("10.0.0.7"));
}

void TstServerList::deletion_data()
{
    QTest::addColumn<QString>("how"); // what the list shows when the row is deleted
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QStringList>("listedAfter");
    QTest::newRow("whole table") << "all"
                                 << "10.0.0.3" << QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.4", "10.0.0.5"};
    QTest::newRow("under a search") << "search"
                                    << "10.0.0.5" << QStringList{"10.0.0.1", "10.0.0.3"};
    QTest::newRow("under a customer filter") << "customer"
                                             << "10.0.0.3" << QStringList{"10.0.0.1"};
    QTest::newRow("after the SQL reload") << "sql"
                                          << "10.0.0.4" << QStringList{"10.0.0.1", "10.0.0.3", "10.0.0.5"};
}

void TstServerList::deletion()
{
    QFETCH(QString, how);
    QFETCH(QString, ip);
    QFETCH(QStringList, listedAfter);
    MainWindow &main = *m_main;
    if (how == "search" || how == "sql")
        ::search(main, 3, "C1");
    if (how == "customer") {
        auto *combo = child<QComboBox>(&main, MainNames::customerCombo1);
        combo->setCurrentIndex(combo->findText("甲公司"));
        child<QPushButton>(&main, MainNames::customerButton1)->click();
    }
    if (how == "sql")
        main.reloadServerListBySql();
    selectRowShowing(main, ip);
    MessageBox::setNextAnswer(MsgAnswer::Ok);
    menuItem(main, "删除数据")->trigger();
    QStringList expected = kAll;
    expected.removeAll(ip);
    QCOMPARE(storedIps(*m_reg), expected);
    QCOMPARE(listedIps(main), listedAfter);
    const QList<MessageBox::Shown> shown = MessageBox::shown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].text, QStringLiteral("服务器数据删除后将不可恢复，是否真的要删除？"));
    QCOMPARE(shown[0].title, std::optional<QString>("信息"));
    QCOMPARE(shown[0].style, 0x21);
    QCOMPARE(shown[1].text, QStringLiteral("服务器数据已删除！"));
    QCOMPARE(shown[1].title, std::optional<QString>("信息"));
    QCOMPARE(shown[1].style, 0x40);
}

void TstServerList::cancelledDeletionChangesNothing()
{
    MainWindow &main = *m_main;
    main.serverList()->setSelectedRow(1);
    MessageBox::setNextAnswer(MsgAnswer::Cancel);
    main.deleteSelectedServer();
    QCOMPARE(storedIps(*m_reg), kAll);
    QCOMPARE(listedIps(main), kAll);
    QCOMPARE(main.serverList()->selectedRow(), 1);
    QCOMPARE(MessageBox::shown().size(), 1);
}

void TstServerList::deletingTheLastServerLeavesAnEmptyList()
{
    MainWindow &main = *m_main;
    QVERIFY(m_reg->exec("DELETE FROM data WHERE F_ID > 1"));
    main.fillServerList();
    main.serverList()->setSelectedRow(0);
    MessageBox::setNextAnswer(MsgAnswer::Ok);
    main.deleteSelectedServer();
    QCOMPARE(m_reg->count("data"), 0);
    QCOMPARE(main.serverList()->rowCount(), 0);
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("服务器数据已删除！"));
}

void TstServerList::deletionWithoutSelectionAsksNothing()
{
    MainWindow &main = *m_main;
    main.serverList()->setSelectedRow(-1);
    main.deleteSelectedServer();
    QCOMPARE(storedIps(*m_reg), kAll);
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("您选择的数据错误，请重新选择！"));
    QCOMPARE(MessageBox::shown()[0].style, 0x10);
}

void TstServerList::failedDeletionIsReported_data()
{
    QTest::addColumn<QString>("sabotage");
    QTest::addColumn<QStringList>("storedAfter");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("style");
    QTest::newRow("database refuses") << "refuse:BEFORE DELETE ON data" << kAll << "数据库操作失败，数据未保存！"
                                      << 0x10;
    // Another program deleted it first: nothing failed, the server is simply gone.
    QTest::newRow("record vanished") << "DELETE FROM data WHERE F_IP='10.0.0.2'"
                                     << QStringList{"10.0.0.1", "10.0.0.3", "10.0.0.4", "10.0.0.5"}
                                     << "服务器数据不存在，可能已被删除！" << 0x30;
}

void TstServerList::failedDeletionIsReported()
{
    QFETCH(QString, sabotage);
    QFETCH(QStringList, storedAfter);
    QFETCH(QString, message);
    QFETCH(int, style);
    MainWindow &main = *m_main;
    selectRowShowing(main, "10.0.0.2");
    QVERIFY(sabotage.startsWith("refuse:") ? m_reg->refuse(sabotage.mid(7)) : m_reg->exec(sabotage));
    MessageBox::setNextAnswer(MsgAnswer::Ok);
    main.deleteSelectedServer();
    QCOMPARE(storedIps(*m_reg), storedAfter);
    QCOMPARE(listedIps(main), storedAfter); // reloaded either way
    QCOMPARE(MessageBox::shown().last().text, message);
    QCOMPARE(MessageBox::shown().last().title, std::optional<QString>("澜汀提示"));
    QCOMPARE(MessageBox::shown().last().style, style);
}

void TstServerList::readFailuresAreSaidAndKeepTheRows_data()
{
    QTest::addColumn<QString>("sabotage");
    QTest::newRow("table gone") << "ALTER TABLE data RENAME TO data_gone";
    QTest::newRow("another program holds an exclusive lock") << "lock";
}

void TstServerList::readFailuresAreSaidAndKeepTheRows()
{
    QFETCH(QString, sabotage);
    MainWindow &main = *m_main;
    QCOMPARE(listedIps(main), kAll);
    std::unique_ptr<QSqlDatabase> locker;
    if (sabotage == "lock") {
        SQLITE_FILE_ONLY();
        locker = std::make_unique<QSqlDatabase>(QSqlDatabase::addDatabase("QSQLITE", "locker"));
        locker->setDatabaseName(m_reg->dbPath());
        QVERIFY(locker->open());
        QSqlQuery q(*locker);
        QVERIFY(q.exec("PRAGMA locking_mode=EXCLUSIVE"));
        QVERIFY(q.exec("BEGIN EXCLUSIVE"));
        QVERIFY(q.exec("UPDATE data SET F_BH=F_BH"));
    } else {
        QVERIFY(m_reg->exec(sabotage));
    }
    ::search(main, 3, "C1");
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("读取数据库失败，请稍后重试！"));
    QCOMPARE(MessageBox::shown()[0].style, 0x10);
    QCOMPARE(main.serverList()->rowCount(), kAll.size()); // the rows shown stay
    if (locker) {
        QSqlQuery(*locker).exec("ROLLBACK");
        locker->close();
        locker.reset();
        QSqlDatabase::removeDatabase("locker");
        MessageBox::clearShown();
        ::search(main, 3, "C1");
        QCOMPARE(listedIps(main), (QStringList{"10.0.0.1", "10.0.0.3", "10.0.0.5"}));
        QVERIFY(MessageBox::shown().isEmpty());
    }
}

void TstServerList::listFollowsAnotherProgramOnReturn()
{
    MainWindow &main = *m_main;
    selectRowShowing(main, "10.0.0.3");
    // Another program adds one server, deletes another and changes a third.
    QVERIFY(m_reg->exec("INSERT INTO data (F_KH, F_BH, F_IP) VALUES ('乙公司', 'A06', '10.0.0.6')"));
    QVERIFY(m_reg->exec("DELETE FROM data WHERE F_IP='10.0.0.1'"));
    QVERIFY(m_reg->exec("UPDATE data SET F_BH='A04-theirs' WHERE F_IP='10.0.0.4'"));
    QCOMPARE(listedIps(main), kAll); // not before the user comes back
    QEvent back(QEvent::WindowActivate);
    QApplication::sendEvent(&main, &back);
    QCOMPARE(listedIps(main), (QStringList{"10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5", "10.0.0.6"}));
    QCOMPARE(main.serverList()->cellText(2, 0), QStringLiteral("A04-theirs"));
    QCOMPARE(main.serverList()->cellText(main.serverList()->selectedRow(), 1), QStringLiteral("10.0.0.3"));
    // Nothing changed since: coming back reads nothing (the selection is left alone).
    main.serverList()->setSelectedRow(0);
    QApplication::sendEvent(&main, &back);
    QCOMPARE(main.serverList()->selectedRow(), 0);
}

void TstServerList::containsTextSearch_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("ips");
    QTest::newRow("part of an IP") << "0.0.3" << QStringList{"10.0.0.3"};
    QTest::newRow("full-width digits") << QString::fromUtf8("０.０.３") << QStringList{"10.0.0.3"};
    QTest::newRow("lower case finds upper") << "a0" << QStringList{"10.0.0.1", "10.0.0.3", "10.0.0.4", "10.0.0.5"};
    QTest::newRow("full-width upper case, blanks around")
        << QString::fromUtf8("　ＮＥＩＬ ") << QStringList{"10.0.0.5"};
    QTest::newRow("mixed case") << "o'nEIL" << QStringList{"10.0.0.5"};
    QTest::newRow("customer name in two characters") << "公司" << QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.3"};
    QTest::newRow("second line of a remark") << "第二行" << QStringList{"10.0.0.1"};
    QTest::newRow("a date as stored") << "2008年11" << QStringList{"10.0.0.2"};
    QTest::newRow("percent is itself") << "%" << QStringList{};
    QTest::newRow("underscore is itself") << "A_1" << QStringList{};
    QTest::newRow("empty: every server") << "  " << kAll;
    QTest::newRow("found nowhere") << "zz" << QStringList{};
}

void TstServerList::containsTextSearch()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, ips);
    MainWindow &main = *m_main;
    auto *field = child<QComboBox>(&main, MainNames::searchField);
    QCOMPARE(field->itemText(5), QStringLiteral("包含文字"));
    ::search(main, 5, typed);
    QTRY_COMPARE(listedIps(main), ips);
    // The rule the list follows for a server stored meanwhile is the same one.
    const ServerQuery query = ServerQuery::containing(typed);
    for (const QString &ip : kAll) {
        const QStringList row =
            m_reg
                ->rows(QStringLiteral("SELECT F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ FROM data "
                                      "WHERE F_IP = '%1'")
                           .arg(ip))
                .value(0);
        const ServerRecord r{1, row[0], row[1], row[2], row[3], row[4], row[5], row[6], row[7]};
        QCOMPARE(query.matches(r), ips.contains(ip));
    }
}

void TstServerList::containsFollowsTyping()
{
    MainWindow &main = *m_main;
    child<QComboBox>(&main, MainNames::searchField)->setCurrentIndex(5);
    auto *box = child<QLineEdit>(&main, MainNames::searchText);
    QTest::keyClicks(box, "0.0.");
    QTRY_COMPARE(listedIps(main), kAll);
    QTest::keyClicks(box, "4");
    QTRY_COMPARE(listedIps(main), QStringList{"10.0.0.4"});
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTRY_COMPARE(listedIps(main), kAll); // an empty text lists every server
    // The other fields still wait for 搜索.
    child<QComboBox>(&main, MainNames::searchField)->setCurrentIndex(1);
    QTest::keyClicks(box, "10.0.0.2");
    QTest::qWait(300);
    QCOMPARE(listedIps(main), kAll);
}

void TstServerList::ipRangeSearch_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("ips"); // empty with no message: refused, list unchanged
    QTest::addColumn<bool>("refused");
    QTest::newRow("CIDR") << "10.0.0.0/30" << QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.3"} << false;
    QTest::newRow("range reversed") << "10.0.0.5-10.0.0.4" << QStringList{"10.0.0.4", "10.0.0.5"} << false;
    QTest::newRow("prefix") << "10.0." << kAll << false;
    QTest::newRow("nothing in it") << "192.168.0.0/16" << QStringList{} << false;
    QTest::newRow("no block") << "10.0.0" << kAll << true;
    QTest::newRow("words") << QString::fromUtf8("甲公司") << kAll << true;
}

void TstServerList::ipRangeSearch()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, ips);
    QFETCH(bool, refused);
    MainWindow &main = *m_main;
    logIn(main);
    QCOMPARE(child<QComboBox>(&main, MainNames::searchField)->itemText(6), QStringLiteral("IP 段"));
    // Enter in the box presses 搜索.
    child<QComboBox>(&main, MainNames::searchField)->setCurrentIndex(6);
    auto *box = child<QLineEdit>(&main, MainNames::searchText);
    box->setText(typed);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(listedIps(main), ips);
    if (refused) {
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("请输入正确的IP段，例如 192.168.1.0/24！"));
        QCOMPARE(MessageBox::shown()[0].style, MsgStyle::Information);
        return;
    }
    QVERIFY(MessageBox::shown().isEmpty());
    QTRY_COMPARE(child<QStatusBar>(&main, MainNames::statusBar)->currentMessage(),
                 QStringLiteral("显示 %1 台，共 5 台服务器，已到期 1 台，30 天内到期 0 台").arg(ips.size()));
}

void TstServerList::registerWithoutTextIndexSaysSoOnce()
{
    m_main.reset();
    const bool onServer = TempRegister::onServer();
    for (const char *sql : {"DROP TRIGGER data_text_insert", "DROP TRIGGER data_text_delete",
                            "DROP TRIGGER data_text_update", "DROP TABLE data_text"})
        if (!onServer)
            QVERIFY(m_reg->exec(QString::fromLatin1(sql)));
    if (onServer)
        QVERIFY(m_reg->exec(QStringLiteral("DROP INDEX data_text")));
    m_main = std::make_unique<MainWindow>(m_reg->programDir());
    waitForLists();
    MainWindow &main = *m_main;
    logIn(main);
    auto *status = child<QStatusBar>(&main, MainNames::statusBar);
    const QString hint = QStringLiteral("此数据库未建立全文索引，查找较慢，请用 kavro-db upgrade 升级");
    QVERIFY(status->currentMessage() != hint);
    // Other searches say nothing of it.
    ::search(main, 0, "A01");
    QVERIFY(status->currentMessage() != hint);
    // The first search by any part says it, and still finds by scanning.
    ::search(main, 5, "公司");
    QCOMPARE(status->currentMessage(), hint);
    QTRY_COMPARE(listedIps(main), (QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
    // Typing on keeps the hint up a while; later searches do not say it again.
    auto *box = child<QLineEdit>(&main, MainNames::searchText);
    box->clear();
    QTest::keyClicks(box, "A0");
    QTRY_COMPARE(listedIps(main), (QStringList{"10.0.0.1", "10.0.0.3", "10.0.0.4", "10.0.0.5"}));
    QCOMPARE(status->currentMessage(), hint);
    QTRY_COMPARE_WITH_TIMEOUT(status->currentMessage(),
                              QStringLiteral("显示 4 台，共 5 台服务器，已到期 1 台，30 天内到期 0 台"), 10000);
    ::search(main, 5, "公司");
    QVERIFY(status->currentMessage() != hint);
}

void TstServerList::ownChangesReadNothingAgain()
{
    MainWindow &main = *m_main;
    QSignalSpy resets(main.serverList()->model(), &QAbstractItemModel::modelReset);
    selectRowShowing(main, "10.0.0.2");
    MessageBox::setNextAnswer(MsgAnswer::Ok);
    main.deleteSelectedServer();
    QCOMPARE(storedIps(*m_reg).size(), kAll.size() - 1);
    // Coming back after the program's own deletion: nothing to read again.
    QEvent back(QEvent::WindowActivate);
    QApplication::sendEvent(&main, &back);
    QCOMPARE(resets.count(), 0);
    // Another program's change still is read.
    QVERIFY(m_reg->exec("INSERT INTO data (F_KH, F_BH, F_IP) VALUES ('乙公司', 'A06', '10.0.0.6')"));
    QApplication::sendEvent(&main, &back);
    QCOMPARE(resets.count(), 1);
    QVERIFY(listedIps(main).contains("10.0.0.6"));
}

void TstServerList::registerFileReplacedMeanwhile()
{
    SQLITE_FILE_ONLY();
    MainWindow &main = *m_main;
    QEvent back(QEvent::WindowActivate);
    // Another register is put in the file's place (a copy brought from another desk).
    TempRegister other;
    QVERIFY(other.exec("INSERT INTO data (F_KH, F_BH, F_IP) VALUES ('丙', 'Z1', '192.168.9.1')"));
    QVERIFY(::rename(QFile::encodeName(other.dbPath()).constData(), QFile::encodeName(m_reg->dbPath()).constData()) ==
            0);
    QApplication::sendEvent(&main, &back);
    QCOMPARE(listedIps(main), QStringList{"192.168.9.1"});
    QCOMPARE(main.serverList()->cellText(0, 0), QStringLiteral("Z1"));
    // Then something that is no register: the window says the register cannot be read.
    const QString junk = m_reg->programDir() + "/junk";
    QFile f(junk);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a register");
    f.close();
    QVERIFY(::rename(QFile::encodeName(junk).constData(), QFile::encodeName(m_reg->dbPath()).constData()) == 0);
    QApplication::sendEvent(&main, &back);
    QCOMPARE(child<QStatusBar>(&main, MainNames::statusBar)->currentMessage(),
             QStringLiteral("读取数据库失败，请稍后重试！"));
}

void TstServerList::contextMenuAnywhereOnTheList()
{
    MainWindow &main = *m_main;
    main.show();
    QMenu *menu = child<QMenu>(&main, MainNames::menu);
    ReportList *list = main.serverList();
    // Empty space below the last row, with no row selected.
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, QPoint(20, list->viewport()->height() - 5));
    QTRY_VERIFY(menu->isVisible());
    menu->hide();
    menuItem(main, "关于澜汀")->trigger(); // says what the program is; changes nothing
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown().first().title, std::optional<QString>("关于澜汀"));
    MessageBox::clearShown();
    QCOMPARE(storedIps(*m_reg), kAll);
    // 查看数据 checks the row as 修改数据 does.
    for (const char *item : {"修改数据", "查看数据"}) {
        MessageBox::clearShown();
        menuItem(main, item)->trigger();
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("您选择的数据错误，请重新选择！"));
        QVERIFY(!MessageBox::shown()[0].title.has_value());
    }
}

void TstServerList::modifyHandOffNeedsANumberedRow()
{
    MainWindow &main = *m_main;
    selectRowShowing(main, "10.0.0.2"); // empty number
    main.modifySelectedServer();
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown()[0].style, 0x10);
    QVERIFY(main.editWindows().isEmpty());
    selectRowShowing(main, "10.0.0.3");
    main.modifySelectedServer();
    QCOMPARE(main.editWindows().size(), 1);
    QVERIFY(main.editWindows()[0]->isVisible());
    QVERIFY(!main.editWindows()[0]->isModal());
}

void TstServerList::relayout_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QRect>("list");
    QTest::addColumn<int>("searchTop");
    QTest::newRow("designed 600 x 450") << QSize(600, 450) << QRect(2, 3, 592, 396) << QRect(2, 21, 588, 348) << 372;
    QTest::newRow("smallest 596 x 401") << QSize(596, 401) << QRect(2, 3, 588, 347) << QRect(2, 21, 584, 299) << 323;
    QTest::newRow("large 1280 x 1000") << QSize(1280, 1000) << QRect(2, 3, 1272, 946) << QRect(2, 21, 1268, 898) << 922;
}

void TstServerList::relayout()
{
    QFETCH(QSize, size);
    QFETCH(QRect, frame);
    QFETCH(QRect, list);
    QFETCH(int, searchTop);
    MainWindow &main = *m_main;
    main.show();
    main.resize(size);
    QCOMPARE(child<QWidget>(&main, MainNames::frame)->geometry(), frame);
    QCOMPARE(main.serverList()->geometry(), list);
    const std::pair<QString, QRect> searchRow[] = {
        {MainNames::searchField, {4, searchTop, 82, 20}},      {MainNames::searchText, {89, searchTop, 150, 20}},
        {MainNames::searchButton, {243, searchTop, 60, 20}},   {MainNames::customerCombo, {318, searchTop, 82, 20}},
        {MainNames::customerButton, {404, searchTop, 60, 20}},
    };
    for (const auto &[name, geometry] : searchRow)
        QCOMPARE(child<QWidget>(&main, name)->geometry(), geometry);
    const std::pair<QString, QRect> fixed[] = {
        {MainNames::showAllButton, {380, -1, 110, 20}}, {MainNames::customerCombo1, {80, 2, 90, 20}},
        {MainNames::customerButton1, {172, 2, 60, 20}}, {MainNames::addButton, {234, 2, 72, 20}},
        {MainNames::settingsButton, {308, 2, 72, 20}},
    };
    for (const auto &[name, geometry] : fixed)
        QCOMPARE(child<QWidget>(&main, name)->geometry(), geometry);
    QCOMPARE(child<QWidget>(&main, MainNames::statusBar)->geometry().bottom(), size.height() - 5);
    // Back to the designed size: everything returns.
    main.resize(600, 450);
    QCOMPARE(main.serverList()->geometry(), QRect(2, 21, 588, 348));
}

void TstServerList::commandButtonsOpenModalWindows_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("title");
    QTest::newRow("添加列表") << MainNames::addButton << "ServerAddWindow"
                              << "数据添加窗口";
    QTest::newRow("功能设置") << MainNames::settingsButton << "SettingsWindow"
                              << "功能设置";
}

void TstServerList::commandButtonsOpenModalWindows()
{
    QFETCH(QString, button);
    QFETCH(QString, window);
    QFETCH(QString, title);
    m_main->show();
    QString seenName, seenTitle;
    bool seenModal = false;
    QTimer::singleShot(0, this, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            seenName = modal->objectName();
            seenTitle = modal->windowTitle();
            seenModal = modal->isModal();
            modal->close();
        }
    });
    child<QPushButton>(m_main.get(), button)->click(); // returns once the window is closed
    QCOMPARE(seenName, window);
    QCOMPARE(seenTitle, title);
    QVERIFY(seenModal);
    QCOMPARE(storedIps(*m_reg), kAll);
}

void TstServerList::selectRows(const QStringList &ips)
{
    ReportList *list = m_main->serverList();
    list->clearSelection();
    for (int r = 0; r < list->rowCount(); ++r)
        if (ips.contains(list->cellText(r, 1)))
            list->selectionModel()->select(list->model()->index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TstServerList::keysOnTheList_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("effect");
    QTest::newRow("Enter") << QKeySequence(Qt::Key_Return) << "modify";
    QTest::newRow("keypad Enter") << QKeySequence(Qt::Key_Enter) << "modify";
    QTest::newRow("double-click") << QKeySequence() << "modify";
    QTest::newRow("Delete") << QKeySequence(Qt::Key_Delete) << "delete";
    QTest::newRow("F5") << QKeySequence(Qt::Key_F5) << "all";
    QTest::newRow("Ctrl+F") << QKeySequence(Qt::CTRL | Qt::Key_F) << "search box";
    QTest::newRow("Ctrl+N") << QKeySequence(Qt::CTRL | Qt::Key_N) << "add window";
}

void TstServerList::keysOnTheList()
{
    QFETCH(QKeySequence, keys);
    QFETCH(QString, effect);
    MainWindow &main = *m_main;
    main.show();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    // A search first, so that F5 has something to undo.
    child<QComboBox>(&main, MainNames::searchField)->setCurrentIndex(3);
    child<QLineEdit>(&main, MainNames::searchText)->setText("C1");
    main.search();
    QCOMPARE(listedIps(main), (QStringList{"10.0.0.1", "10.0.0.3", "10.0.0.5"}));
    ReportList *list = main.serverList();
    list->setFocus();
    list->setCurrentIndex(list->model()->index(1, 0));
    QString modal;
    QTimer::singleShot(200, [&] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            modal = w->objectName();
            w->close();
        }
    });
    MessageBox::setNextAnswer(MsgAnswer::Cancel);
    if (keys.isEmpty()) {
        const QPoint at = list->visualRect(list->model()->index(1, 1)).center();
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    } else
        QTest::keySequence(list, keys);
    if (effect == "modify") {
        QTRY_COMPARE(main.editWindows().size(), 1);
        QCOMPARE(main.editWindows().first()->serverKey(), 3);
        main.editWindows().first()->close();
    } else if (effect == "delete") {
        QCOMPARE(MessageBox::shown().last().text, QStringLiteral("服务器数据删除后将不可恢复，是否真的要删除？"));
        QCOMPARE(storedIps(*m_reg), kAll); // answered Cancel
    } else if (effect == "all") {
        QCOMPARE(listedIps(main), kAll);
    } else if (effect == "search box") {
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(&main, MainNames::searchText));
    } else {
        QTRY_COMPARE(modal, QStringLiteral("ServerAddWindow"));
    }
    // The menu names the keys of its items.
    QCOMPARE(menuItem(main, "修改数据")->shortcut(), QKeySequence(Qt::Key_Return));
    QCOMPARE(menuItem(main, "删除数据")->shortcut(), QKeySequence(Qt::Key_Delete));
}

void TstServerList::bulkItemsOnlyWithSeveralRows()
{
    MainWindow &main = *m_main;
    auto *menu = child<QMenu>(&main, MainNames::menu);
    const QStringList bulk{"删除所选服务器…", "续期所选服务器…", "更改所选服务器的客户…", "下架所选服务器…"};
    auto shown = [&] {
        QStringList items;
        emit menu->aboutToShow();
        for (QAction *a : menu->actions())
            if (a->isVisible() && bulk.contains(a->text()))
                items << a->text();
        return items;
    };
    selectRows({"10.0.0.2"});
    QCOMPARE(shown(), QStringList{});
    selectRows({"10.0.0.2", "10.0.0.4"});
    QCOMPARE(shown(), bulk);
    // Ctrl+A selects every row.
    main.serverList()->selectAll();
    QCOMPARE(main.serverList()->selectedCount(), 5);
    QCOMPARE(shown(), bulk);
    // The commands that act on one row take the current one.
    main.serverList()->setCurrentIndex(main.serverList()->model()->index(3, 0));
    main.serverList()->selectAll();
    QCOMPARE(main.serverList()->selectedRow(), 3);
}

void TstServerList::bulkDeletion_data()
{
    QTest::addColumn<QString>("refusedIp"); // the database refuses to delete this one
    QTest::addColumn<bool>("answerYes");    // else the box is closed with Enter: its default
    QTest::addColumn<QStringList>("storedAfter");
    QTest::addColumn<QString>("said");
    QTest::newRow("all three") << "" << true << QStringList{"10.0.0.2", "10.0.0.4"} << "已删除 3 台服务器。";
    QTest::newRow("Enter keeps them") << "" << false << kAll << "";
    QTest::newRow("the second refused: none") << "10.0.0.3" << true << kAll << "数据库操作失败，数据未保存！";
}

void TstServerList::bulkDeletion()
{
    QFETCH(QString, refusedIp);
    QFETCH(bool, answerYes);
    QFETCH(QStringList, storedAfter);
    QFETCH(QString, said);
    MainWindow &main = *m_main;
    if (!refusedIp.isEmpty())
        QVERIFY(m_reg->refuse("BEFORE DELETE ON data", QStringLiteral("OLD.F_IP = '%1'").arg(refusedIp)));
    selectRows({"10.0.0.1", "10.0.0.3", "10.0.0.5"});
    if (answerYes)
        MessageBox::setNextAnswer(MsgAnswer::Yes);
    main.deleteSelectedServer(); // Delete with several rows selected
    // The register keeps its history: the question says where they can be had back; No the default.
    QCOMPARE(MessageBox::shown().first().text,
             QStringLiteral("确定要删除选中的 3 台服务器吗？删除后可在“已删除的服务器…”中恢复。"));
    QCOMPARE(MessageBox::shown().first().style, 0x124);
    QCOMPARE(MessageBox::shown().size(), said.isEmpty() ? 1 : 2);
    if (!said.isEmpty())
        QCOMPARE(MessageBox::shown().last().text, said);
    QCOMPARE(storedIps(*m_reg), storedAfter);
    QCOMPARE(listedIps(main), storedAfter);
}

void TstServerList::bulkRenewal_data()
{
    QTest::addColumn<int>("months");
    QTest::addColumn<QString>("setTo");
    QTest::addColumn<QString>("refusedIp");
    QTest::addColumn<QStringList>("expiresAfter"); // of 10.0.0.1 to 10.0.0.5
    QTest::addColumn<QStringList>("said");
    const QStringList none{"2009-11-23", "", "2024/1/31", "", "下个月"};
    QTest::newRow("a year") << 12 << ""
                            << "" << QStringList{"2010-11-23", "", "2025-01-31", "", "下个月"}
                            << QStringList{"已续期 2 台服务器。",
                                           "以下 1 台服务器的到期时间不是日期，未续期：\n10.0.0.5（下个月）"};
    QTest::newRow("a month from the 31st")
        << 1 << ""
        << "" << QStringList{"2009-12-23", "", "2024-02-29", "", "下个月"}
        << QStringList{"已续期 2 台服务器。", "以下 1 台服务器的到期时间不是日期，未续期：\n10.0.0.5（下个月）"};
    QTest::newRow("one date for all") << 0 << "2028-01-07"
                                      << "" << QStringList{"2028-01-07", "", "2028-01-07", "", "2028-01-07"}
                                      << QStringList{"已续期 3 台服务器。"};
    QTest::newRow("one refused: none") << 12 << ""
                                       << "10.0.0.3" << none
                                       << QStringList{
                                              "数据库操作失败，数据未保存！",
                                              "以下 1 台服务器的到期时间不是日期，未续期：\n10.0.0.5（下个月）"};
    // 设为 with the box emptied: no date, nothing rewritten.
    QTest::newRow("set to no date: none") << 0 << ""
                                          << "" << none << QStringList{"请选择续期后的到期时间！"};
    QTest::newRow("one deleted meanwhile: none")
        << 12 << ""
        << "deleted" << QStringList{"2009-11-23", "", "", "下个月"}
        << QStringList{"选中的服务器中有 1 台已被他人删除，没有做任何修改，请重新选择！"};
}

void TstServerList::bulkRenewal()
{
    QFETCH(int, months);
    QFETCH(QString, setTo);
    QFETCH(QString, refusedIp);
    QFETCH(QStringList, expiresAfter);
    QFETCH(QStringList, said);
    MainWindow &main = *m_main;
    // Written as another program writes dates: nothing but a renewal may rewrite it.
    QVERIFY(m_reg->exec("UPDATE data SET F_DQ = '2024/1/31' WHERE F_IP = '10.0.0.3'"));
    QVERIFY(m_reg->exec("UPDATE data SET F_DQ = '下个月' WHERE F_IP = '10.0.0.5'"));
    if (!refusedIp.isEmpty() && refusedIp != "deleted")
        QVERIFY(m_reg->refuse("BEFORE UPDATE ON data", QStringLiteral("OLD.F_IP = '%1'").arg(refusedIp)));
    main.showAllServers();
    selectRows({"10.0.0.1", "10.0.0.3", "10.0.0.5"});
    if (refusedIp == "deleted") // by another program, after the rows were chosen
        QVERIFY(m_reg->exec("DELETE FROM data WHERE F_IP = '10.0.0.3'"));
    const int entries = m_reg->count("jilu");
    main.renewServers(main.selectedKeys(), Renewal{months, QDate::fromString(setTo, Qt::ISODate)});
    QStringList texts;
    for (const MessageBox::Shown &m : MessageBox::shown())
        texts << m.text;
    QCOMPARE(texts, said);
    QStringList expires;
    for (const QStringList &row : m_reg->rows("SELECT coalesce(F_DQ, '') FROM data ORDER BY F_IP"))
        expires << row.first();
    QCOMPARE(expires, expiresAfter);
    if (said.first().startsWith("已续期"))
        QCOMPARE(m_reg->count("jilu"), entries + int(said.first().mid(4, 1).toInt()));
    else
        QCOMPARE(m_reg->count("jilu"), entries);
}

void TstServerList::menuFromTheKeyboard_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("Shift+F10, one row") << QKeySequence(Qt::SHIFT | Qt::Key_F10) << QStringList{"10.0.0.3"};
    QTest::newRow("Menu key, one row") << QKeySequence(Qt::Key_Menu) << QStringList{"10.0.0.3"};
    QTest::newRow("Shift+F10, several rows")
        << QKeySequence(Qt::SHIFT | Qt::Key_F10) << QStringList{"10.0.0.2", "10.0.0.3"};
}

void TstServerList::menuFromTheKeyboard()
{
    QFETCH(QKeySequence, keys);
    QFETCH(QStringList, rows);
    MainWindow &main = *m_main;
    logIn(main);
    selectRows(rows);
    ReportList *list = main.serverList();
    list->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    QMenu *menu = main.listMenu();
    QVERIFY(!menu->isVisible());
    QTest::keySequence(list, keys);
    QTRY_VERIFY(menu->isVisible());
    // At the current row, with every item the mouse's menu has.
    const QRect row = list->visualRect(list->currentIndex());
    const QPoint rowOnScreen = list->viewport()->mapToGlobal(row.bottomLeft());
    QVERIFY2(qAbs(menu->pos().y() - rowOnScreen.y()) <= row.height() + 2,
             qPrintable(QStringLiteral("%1 vs %2").arg(menu->pos().y()).arg(rowOnScreen.y())));
    QStringList shown;
    for (QAction *a : menu->actions())
        if (a->isVisible() && !a->isSeparator())
            shown << a->text();
    QStringList expected{"查看数据", "修改数据", "删除数据", "关于澜汀", "导出列表…", "导入表格…", "已删除的服务器…"};
    if (rows.size() > 1)
        expected << "删除所选服务器…"
                 << "续期所选服务器…"
                 << "更改所选服务器的客户…"
                 << "下架所选服务器…";
    QCOMPARE(shown, expected);
    menu->close();
}

void TstServerList::bulkRetirement_data()
{
    QTest::addColumn<QDate>("day"); // invalid: the box emptied
    QTest::addColumn<QStringList>(
        "after"); // 到期时间|下架时间 of 10.0.0.1 (2009-11-23), 10.0.0.3 (2030-06-01), 10.0.0.5 (下个月)
    QTest::addColumn<QString>("said");
    QTest::newRow("today") << QDate(2026, 12, 11)
                           << QStringList{"2009-11-23|2026-12-11", "2026-12-11|2026-12-11", "下个月|2026-12-11"}
                           << "已下架 3 台服务器。";
    QTest::newRow("no date: none") << QDate() << QStringList{"2009-11-23|", "2030-06-01|", "下个月|"}
                                   << "请选择下架时间！";
}

void TstServerList::bulkRetirement()
{
    QFETCH(QDate, day);
    QFETCH(QStringList, after);
    QFETCH(QString, said);
    MainWindow &main = *m_main;
    QVERIFY(m_reg->exec("UPDATE data SET F_XJ = ''"));
    QVERIFY(m_reg->exec("UPDATE data SET F_DQ = '2030-06-01' WHERE F_IP = '10.0.0.3'"));
    QVERIFY(m_reg->exec("UPDATE data SET F_DQ = '下个月' WHERE F_IP = '10.0.0.5'"));
    main.showAllServers();
    selectRows({"10.0.0.1", "10.0.0.3", "10.0.0.5"});
    const int entries = m_reg->count("jilu");
    main.retireServers(main.selectedKeys(), day);
    QCOMPARE(MessageBox::shown().last().text, said);
    QStringList stored;
    for (const QStringList &row : m_reg->rows("SELECT coalesce(F_DQ, ''), coalesce(F_XJ, '') FROM data "
                                              "WHERE F_IP IN ('10.0.0.1', '10.0.0.3', '10.0.0.5') ORDER BY F_IP"))
        stored << row.join('|');
    QCOMPARE(stored, after);
    QCOMPARE(m_reg->count("jilu"), entries + (day.isValid() ? 3 : 0)); // one entry each
}

void TstServerList::bulkCustomerChange()
{
    MainWindow &main = *m_main;
    selectRows({"10.0.0.1", "10.0.0.4"});
    QVERIFY(main.setCustomerOf(main.selectedKeys(), "乙公司"));
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("已把 2 台服务器改为属于“乙公司”。"));
    QCOMPARE(m_reg->rows("SELECT F_IP FROM data WHERE F_KH = '乙公司' ORDER BY F_IP"),
             (QList<QStringList>{{"10.0.0.1"}, {"10.0.0.2"}, {"10.0.0.4"}}));
    // Each server changed has its entry in the change history, signed by this desk.
    QCOMPARE(m_reg->rows("SELECT J_MC FROM jilu WHERE J_CZ = '修改' ORDER BY J_MC"),
             (QList<QStringList>{{"10.0.0.1"}, {"10.0.0.4"}}));
    // Another program changed one of them after it was read: nothing is changed.
    selectRows({"10.0.0.3", "10.0.0.5"});
    const std::vector<qint64> keys = main.selectedKeys();
    QVERIFY(m_reg->refuse("BEFORE UPDATE ON data", "OLD.F_IP = '10.0.0.5'"));
    QVERIFY(!main.setCustomerOf(keys, "乙公司") || MessageBox::shown().last().text == "数据库操作失败，数据未保存！");
    QCOMPARE(m_reg->rows("SELECT F_KH FROM data WHERE F_IP IN ('10.0.0.3', '10.0.0.5') ORDER BY F_IP"),
             (QList<QStringList>{{"甲公司"}, {"O'Neil 数据"}}));
}

void TstServerList::aboutNamesVersionLocationAndEngine()
{
    menuItem(*m_main, "关于澜汀")->trigger();
    QCOMPARE(MessageBox::shown().size(), 1);
    const QString text = MessageBox::shown().last().text;
    QCOMPARE(MessageBox::shown().last().title, std::optional<QString>("关于澜汀"));
    QVERIFY2(text.startsWith(QStringLiteral("澜汀网络服务器管理系统\n版本 1.0\n")), qPrintable(text));
    QVERIFY2(text.contains(TempRegister::onServer() ? QStringLiteral("引擎：PostgreSQL ")
                                                    : QStringLiteral("引擎：SQLite 3.")),
             qPrintable(text));
    if (!TempRegister::onServer())
        QVERIFY2(text.contains(QDir::toNativeSeparators(m_reg->dbPath())), qPrintable(text));
    else
        QVERIFY2(text.contains("postgresql") && !text.contains("password="), qPrintable(text));
}

void TstServerList::layoutKeptAcrossRestart()
{
    // The first start: the window's own size and widths.
    QCOMPARE(m_main->size(), QSize(600, 450));
    QCOMPARE(m_main->serverList()->columnWidth(1), 100);
    logIn(*m_main);
    m_main->resize(760, 520);
    QApplication::processEvents();
    m_main->serverList()->setColumnWidth(1, 150);
    m_main->serverList()->horizontalHeader()->sectionClicked(4); // 到期时间, ascending
    m_main->serverList()->horizontalHeader()->sectionClicked(4); // then descending
    child<QComboBox>(m_main.get(), MainNames::searchField)->setCurrentIndex(5);
    const QStringList sorted = listedIps(*m_main);
    m_main.reset(); // the program ends
    m_main = std::make_unique<MainWindow>(m_reg->programDir());
    waitForLists();
    QCOMPARE(m_main->size(), QSize(760, 520));
    QCOMPARE(m_main->serverList()->columnWidth(1), 150);
    QCOMPARE(m_main->currentOrder().column, 4);
    QVERIFY(m_main->currentOrder().descending);
    QCOMPARE(listedIps(*m_main), sorted);
    QCOMPARE(child<QComboBox>(m_main.get(), MainNames::searchField)->currentIndex(), 5);
    // A wider window widens every column in proportion.
    logIn(*m_main);
    const int before = m_main->serverList()->columnWidth(4);
    const int listBefore = m_main->serverList()->width();
    m_main->resize(760 + listBefore, 520);
    QApplication::processEvents();
    QCOMPARE(m_main->serverList()->width(), 2 * listBefore);
    QVERIFY(qAbs(m_main->serverList()->columnWidth(4) - 2 * before) <= 1);
    QVERIFY(qAbs(m_main->serverList()->columnWidth(1) - 300) <= 1);
}

void TstServerList::unusableLayoutIsNotKept_data()
{
    QTest::addColumn<QRect>("kept");          // the window's kept size and place
    QTest::addColumn<QVariantList>("widths"); // the kept column widths
    QTest::addColumn<QSize>("shownSize");
    QTest::addColumn<bool>("defaultWidths");
    const QVariantList fine{60, 90, 70, 80, 80, 80, 70, 120};
    const QSize first(600, 450);
    QTest::newRow("a sound layout is kept") << QRect(40, 30, 700, 500) << fine << QSize(700, 500) << false;
    QTest::newRow("larger than the screen") << QRect(0, 0, 100001, 100001) << fine << first << false;
    QTest::newRow("on no screen") << QRect(30000, 30000, 700, 500) << fine << QSize(700, 500)
                                  << false; // brought onto one
    QTest::newRow("zero widths") << QRect(40, 30, 700, 500) << QVariantList{0, 0, 0, 0, 0, 0, 0, 0} << QSize(700, 500)
                                 << true;
    QTest::newRow("negative widths") << QRect(40, 30, 700, 500) << QVariantList{-5, 90, 70, 80, 80, 80, 70, 120}
                                     << QSize(700, 500) << true;
}

void TstServerList::unusableLayoutIsNotKept()
{
    QFETCH(QRect, kept);
    QFETCH(QVariantList, widths);
    QFETCH(QSize, shownSize);
    QFETCH(bool, defaultWidths);
    {
        // As an earlier run would have saved it.
        QWidget shape;
        shape.setGeometry(kept);
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, "kavro", "layout");
        settings.setValue("geometry", shape.saveGeometry());
        settings.setValue("columns", widths);
    }
    m_main.reset();
    m_main = std::make_unique<MainWindow>(m_reg->programDir());
    waitForLists();
    logIn(*m_main);
    QCOMPARE(m_main->size(), shownSize);
    QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().intersects(m_main->frameGeometry()));
    QList<int> shown;
    for (int c = 0; c < 8; ++c)
        shown << m_main->serverList()->columnWidth(c);
    if (defaultWidths)
        QCOMPARE(shown.first(), 50); // the first start's
    for (int w : shown)
        QVERIFY(w >= 16);
    // What is saved back is what was shown.
    m_main->close();
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "kavro", "layout");
    QWidget again;
    again.restoreGeometry(settings.value("geometry").toByteArray());
    QCOMPARE(again.size(), shownSize);
    QVariantList saved = settings.value("columns").toList();
    QCOMPARE(saved.size(), 8);
    QCOMPARE(saved.first().toInt(), shown.first());
}

void TstServerList::customerChoosersCompleteWhatIsTyped()
{
    for (const QString &name : {MainNames::customerCombo, MainNames::customerCombo1}) {
        auto *combo = child<QComboBox>(m_main.get(), name);
        QVERIFY(combo->isEditable());
        QCompleter *completer = combo->completer();
        QVERIFY(completer);
        // Any part of a name, in the customers' own order.
        completer->setCompletionPrefix("公司");
        QStringList offered;
        for (int i = 0; i < completer->completionCount(); ++i) {
            completer->setCurrentRow(i);
            offered << completer->currentCompletion();
        }
        QCOMPARE(offered, (QStringList{"甲公司", "乙公司"}));
        completer->setCompletionPrefix("neil");
        QCOMPARE(completer->completionCount(), 1);
        // A name typed whole filters the list as a chosen one does.
        combo->setEditText("乙公司");
        child<QPushButton>(m_main.get(),
                           name == MainNames::customerCombo ? MainNames::customerButton : MainNames::customerButton1)
            ->click();
        QCOMPARE(listedIps(*m_main), QStringList{"10.0.0.2"});
        QCOMPARE(combo->count(), 6); // typing adds no item
    }
}

QTEST_MAIN(TstServerList)
#include "tst_serverlist.moc"
