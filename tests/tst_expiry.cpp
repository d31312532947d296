// Expiry at a glance: row colours and notes, the status-bar summary, the expiring-servers search,
// sortable columns and `kavro-db expiring`, on a register whose dates are counted from today.
#include "core/appstate.h"
#include "core/datetext.h"
#include "editors/serveraddwindow.h"
#include "editors/servereditwindow.h"
#include "editors/serverform_names.h"
#include "login/loginwindow.h"
#include "login/loginwindow_names.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"
#include "testsupport.h"
#include "widgets/messagebox.h"
#include "widgets/reportlist.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

namespace {
QString day(int fromToday)
{
    return dateToText(QDate::currentDate().addDays(fromToday));
}

// Six servers: expired, due today, due in 30 and 31 days, and two whose 到期时间 is no date.
QString servers()
{
    return QStringLiteral("INSERT INTO data (F_KH, F_BH, F_IP, F_JG, F_DQ) VALUES "
                          "('张三', 'SV-10', '10.0.0.1', 'C1', '%1'),"
                          "('阿里', 'SV-9',  '10.0.0.2', 'C2', '%2'),"
                          "('重庆', 'SV-2',  '10.0.0.3', 'C1', 'soon'),"
                          "('北京', 'SV-1',  '10.0.0.4', 'C3', '%3'),"
                          "('阿里', 'SV-3',  '10.0.0.5', 'C1', '%4'),"
                          "('华东', 'SV-4',  '10.0.0.6', 'C2', '2009年13月1日')")
        .arg(day(-1), QDate::currentDate().toString("yyyy/M/d"), day(30), day(31));
}

void clickTitle(MainWindow &main, int column)
{
    QHeaderView *header = main.serverList()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
}

QString statusText(MainWindow &main)
{
    return child<QStatusBar>(&main, MainNames::statusBar)->currentMessage();
}

QVariant cellData(MainWindow &main, const QString &ip, int column, int role)
{
    const int row = int(listedIps(main).indexOf(ip));
    QAbstractItemModel *model = main.serverList()->model();
    return model->data(model->index(row, column), role);
}
} // namespace

class TstExpiry : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void rowColoursAndNotes_data();
    void rowColoursAndNotes();
    void anotherDayRecolours();
    void midnightsAddNoTimers();
    void summaryAfterLoginAndEveryChange();
    void summaryOfAnEmptyRegister();
    void summaryCountsWhatASearchShows();
    void expiringSearch_data();
    void expiringSearch();
    void sortCycles_data();
    void sortCycles();
    void sortKeepsTheServerShownUnderModifyAndDelete();
    void sortSurvivesSearchesAndFilters();
    void kavroDbExpiring();
    void retiredServers_data();
    void retiredServers();
    void dayOfAddingInUnrackedChangesNothing();

private:
    std::unique_ptr<TempRegister> m_reg;
    std::unique_ptr<MainWindow> m_main;
};

void TstExpiry::init()
{
    resetProgramState();
    m_reg = std::make_unique<TempRegister>();
    QVERIFY(m_reg->exec(servers()));
    QVERIFY(m_reg->exec("INSERT INTO kehu (K_DD, K_KH, K_LX) VALUES ('20001', '张三', ''), ('20002', '阿里', '')"));
    m_main = std::make_unique<MainWindow>(m_reg->programDir());
    waitForLists();
}

void TstExpiry::cleanup()
{
    m_main.reset();
    m_reg.reset();
}

void TstExpiry::rowColoursAndNotes_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QColor>("colour"); // invalid: the plain text colour
    QTest::addColumn<QString>("note");
    const QColor red(0xB0, 0, 0), amber(0x8A, 0x52, 0);
    QTest::newRow("expired yesterday") << "10.0.0.1" << red << "已过期 1 天";
    QTest::newRow("due today, older form") << "10.0.0.2" << amber << "今天到期";
    QTest::newRow("due in 30 days") << "10.0.0.4" << amber << "还有 30 天到期";
    QTest::newRow("due in 31 days") << "10.0.0.5" << QColor() << "还有 31 天到期";
    QTest::newRow("a word") << "10.0.0.3" << QColor() << "soon";
    QTest::newRow("no such month") << "10.0.0.6" << QColor() << "2009年13月1日";
}

void TstExpiry::rowColoursAndNotes()
{
    QFETCH(QString, ip);
    QFETCH(QColor, colour);
    QFETCH(QString, note);
    for (int column = 0; column < 8; ++column) {
        const QVariant fg = cellData(*m_main, ip, column, Qt::ForegroundRole);
        QCOMPARE(fg.isValid() ? fg.value<QColor>() : QColor(), colour);
    }
    QCOMPARE(cellData(*m_main, ip, 4, Qt::ToolTipRole).toString(), note);
    if (colour.isValid() || note.startsWith("还有"))
        QCOMPARE(cellData(*m_main, ip, 4, Qt::AccessibleDescriptionRole).toString(), note);
    QCOMPARE(cellData(*m_main, ip, 1, Qt::ToolTipRole).toString(), ip); // other cells: their text
}

void TstExpiry::anotherDayRecolours()
{
    // After midnight the same register reads a day on.
    m_main->setToday(QDate::currentDate().addDays(1));
    QCOMPARE(cellData(*m_main, "10.0.0.2", 4, Qt::ToolTipRole).toString(), QStringLiteral("已过期 1 天"));
    QCOMPARE(cellData(*m_main, "10.0.0.5", 4, Qt::ToolTipRole).toString(), QStringLiteral("还有 30 天到期"));
    QVERIFY(cellData(*m_main, "10.0.0.5", 0, Qt::ForegroundRole).isValid());
}

void TstExpiry::midnightsAddNoTimers()
{
    logIn(*m_main);
    QTRY_VERIFY(!statusText(*m_main).isEmpty());
    auto *midnight = m_main->findChild<QTimer *>("midnight");
    QVERIFY(midnight && midnight->isActive());
    const qsizetype timers = m_main->findChildren<QTimer *>().size();
    for (int night = 0; night < 5; ++night) {
        QVERIFY(QMetaObject::invokeMethod(midnight, "timeout"));
        QVERIFY(midnight->isActive()); // set for the next midnight
    }
    QCOMPARE(m_main->findChildren<QTimer *>().size(), timers);
    QTRY_COMPARE(statusText(*m_main), QStringLiteral("共 6 台服务器，已到期 1 台，30 天内到期 2 台"));
}

void TstExpiry::summaryAfterLoginAndEveryChange()
{
    QVERIFY(statusText(*m_main).isEmpty()); // nothing before login
    logIn(*m_main);
    QTRY_COMPARE(statusText(*m_main), QStringLiteral("共 6 台服务器，已到期 1 台，30 天内到期 2 台"));
    // The summary is of the whole register, whatever the list shows.
    search(*m_main, 3, "C3");
    // An addition (already expired).
    auto add = m_main->makeAddWindow();
    child<QComboBox>(add.get(), ServerFormNames::customer)->setCurrentIndex(1);
    child<QLineEdit>(add.get(), ServerFormNames::ip)->setText("10.0.0.9");
    child<QDateEdit>(add.get(), ServerFormNames::expires)->setDate(QDate::currentDate().addDays(-3));
    MessageBox::setNextAnswer(MsgAnswer::No);
    child<QPushButton>(add.get(), ServerFormNames::actionButton)->click();
    // Read once the change is shown; with a search in force, how many the list shows comes first.
    QTRY_COMPARE(
        statusText(*m_main),
        QStringLiteral("显示 %1 台，共 7 台服务器，已到期 2 台，30 天内到期 2 台").arg(listedIps(*m_main).size()));
    // A modification moves 10.0.0.4 (due in 30 days) a year on.
    selectRowShowing(*m_main, "10.0.0.4");
    m_main->modifySelectedServer();
    ServerEditWindow *edit = m_main->editWindows().last();
    child<QDateEdit>(edit, ServerFormNames::expires)->setDate(QDate::currentDate().addYears(1));
    child<QComboBox>(edit, ServerFormNames::customer)->setCurrentIndex(1);
    child<QPushButton>(edit, ServerFormNames::actionButton)->click();
    QTRY_COMPARE(statusText(*m_main), QStringLiteral("共 7 台服务器，已到期 2 台，30 天内到期 1 台"));
    // A deletion of the expired one.
    selectRowShowing(*m_main, "10.0.0.1");
    MessageBox::setNextAnswer(MsgAnswer::Ok);
    m_main->deleteSelectedServer();
    // The deletion lists the search's servers again.
    QTRY_COMPARE(
        statusText(*m_main),
        QStringLiteral("显示 %1 台，共 6 台服务器，已到期 1 台，30 天内到期 1 台").arg(listedIps(*m_main).size()));
}

void TstExpiry::summaryCountsWhatASearchShows()
{
    logIn(*m_main);
    QTRY_COMPARE(statusText(*m_main), QStringLiteral("共 6 台服务器，已到期 1 台，30 天内到期 2 台"));
    // Enter in the search box runs the search.
    child<QComboBox>(m_main.get(), MainNames::searchField)->setCurrentIndex(3);
    auto *box = child<QLineEdit>(m_main.get(), MainNames::searchText);
    box->setText("C1");
    QTest::keyClick(box, Qt::Key_Return);
    const int shown = int(listedIps(*m_main).size());
    QVERIFY(shown > 0 && shown < 6);
    QTRY_COMPARE(statusText(*m_main),
                 QStringLiteral("显示 %1 台，共 6 台服务器，已到期 1 台，30 天内到期 2 台").arg(shown));
    // A search that finds nothing says so too; every server again: the summary alone.
    box->setText("no such cabinet");
    QTest::keyClick(box, Qt::Key_Enter);
    QTRY_COMPARE(statusText(*m_main), QStringLiteral("显示 0 台，共 6 台服务器，已到期 1 台，30 天内到期 2 台"));
    m_main->showAllServers();
    QTRY_COMPARE(statusText(*m_main), QStringLiteral("共 6 台服务器，已到期 1 台，30 天内到期 2 台"));
}

void TstExpiry::summaryOfAnEmptyRegister()
{
    QVERIFY(m_reg->exec("DELETE FROM data"));
    QVERIFY(m_main->showSummary());
    QCOMPARE(statusText(*m_main), QStringLiteral("共 0 台服务器，已到期 0 台，30 天内到期 0 台"));
}

void TstExpiry::expiringSearch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("ips"); // empty and refused: the list stays
    QTest::addColumn<bool>("refused");
    QTest::newRow("0: expired and due today") << "0" << QStringList{"10.0.0.1", "10.0.0.2"} << false;
    QTest::newRow("30") << "30" << QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.4"} << false;
    QTest::newRow("full-width 31 with blanks")
        << " ３１ " << QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.4", "10.0.0.5"} << false;
    QTest::newRow("3650: every date") << "3650" << QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.4", "10.0.0.5"} << false;
    QTest::newRow("3651") << "3651" << QStringList{} << true;
    QTest::newRow("negative") << "-1" << QStringList{} << true;
    QTest::newRow("words") << "一个月" << QStringList{} << true;
    QTest::newRow("empty") << "" << QStringList{} << true;
}

void TstExpiry::expiringSearch()
{
    QFETCH(QString, text);
    QFETCH(QStringList, ips);
    QFETCH(bool, refused);
    search(*m_main, 3, "C1"); // a search in force beforehand
    const QStringList before = listedIps(*m_main);
    const ServerQuery query = m_main->currentQuery();
    search(*m_main, 4, text);
    if (refused) {
        QCOMPARE(MessageBox::shown().size(), 1);
        QCOMPARE(MessageBox::shown()[0].text, QStringLiteral("请输入0到3650之间的天数！"));
        QCOMPARE(MessageBox::shown()[0].style, 0x30);
        QCOMPARE(listedIps(*m_main), before);
        QCOMPARE(m_main->currentQuery(), query);
    } else {
        QVERIFY(MessageBox::shown().isEmpty());
        QCOMPARE(listedIps(*m_main), ips);
        QCOMPARE(appState().listMode, 1);
    }
    child<QPushButton>(m_main.get(), MainNames::showAllButton)->click();
    QCOMPARE(listedIps(*m_main).size(), 6);
}

void TstExpiry::sortCycles_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("up");
    QTest::addColumn<QStringList>("down");
    // By date whatever the form; texts that are no date last both ways; ties in stored order.
    QTest::newRow("到期时间") << 4
                              << QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.4", "10.0.0.5", "10.0.0.3", "10.0.0.6"}
                              << QStringList{"10.0.0.5", "10.0.0.4", "10.0.0.2", "10.0.0.1", "10.0.0.3", "10.0.0.6"};
    // Numbers within the text by value.
    QTest::newRow("编号") << 0 << QStringList{"10.0.0.4", "10.0.0.3", "10.0.0.5", "10.0.0.6", "10.0.0.2", "10.0.0.1"}
                          << QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.6", "10.0.0.5", "10.0.0.3", "10.0.0.4"};
    // Chinese by pinyin: 阿 北 重 华 张; equal names in stored order.
    QTest::newRow("客户") << 6 << QStringList{"10.0.0.2", "10.0.0.5", "10.0.0.4", "10.0.0.3", "10.0.0.6", "10.0.0.1"}
                          << QStringList{"10.0.0.1", "10.0.0.6", "10.0.0.3", "10.0.0.4", "10.0.0.2", "10.0.0.5"};
}

void TstExpiry::sortCycles()
{
    QFETCH(int, column);
    QFETCH(QStringList, up);
    QFETCH(QStringList, down);
    m_main->show();
    QHeaderView *header = m_main->serverList()->horizontalHeader();
    const QStringList stored = listedIps(*m_main);
    selectRowShowing(*m_main, "10.0.0.5");
    clickTitle(*m_main, column);
    QCOMPARE(listedIps(*m_main), up);
    // The selected server stays selected where the sort put it.
    QCOMPARE(m_main->serverList()->cellText(m_main->serverList()->selectedRow(), 1), QStringLiteral("10.0.0.5"));
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), column);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    clickTitle(*m_main, column);
    QCOMPARE(listedIps(*m_main), down);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    clickTitle(*m_main, column);
    QCOMPARE(listedIps(*m_main), stored);
    QVERIFY(!header->isSortIndicatorShown());
}

void TstExpiry::sortKeepsTheServerShownUnderModifyAndDelete()
{
    m_main->show();
    clickTitle(*m_main, 4);
    clickTitle(*m_main, 4); // by 到期时间, latest first
    selectRowShowing(*m_main, "10.0.0.4");
    m_main->modifySelectedServer();
    ServerEditWindow *edit = m_main->editWindows().last();
    QCOMPARE(child<QLineEdit>(edit, ServerFormNames::ip)->text(), QStringLiteral("10.0.0.4"));
    // Saved with a later date: the row moves up and the list stays sorted.
    child<QDateEdit>(edit, ServerFormNames::expires)->setDate(QDate::currentDate().addDays(400));
    child<QComboBox>(edit, ServerFormNames::customer)->setCurrentIndex(1);
    child<QPushButton>(edit, ServerFormNames::actionButton)->click();
    QCOMPARE(listedIps(*m_main).first(), QStringLiteral("10.0.0.4"));
    selectRowShowing(*m_main, "10.0.0.2");
    MessageBox::setNextAnswer(MsgAnswer::Ok);
    m_main->deleteSelectedServer();
    QCOMPARE(m_reg->rows("SELECT F_IP FROM data WHERE F_IP='10.0.0.2'").size(), 0);
    QCOMPARE(listedIps(*m_main), (QStringList{"10.0.0.4", "10.0.0.5", "10.0.0.1", "10.0.0.3", "10.0.0.6"}));
}

void TstExpiry::sortSurvivesSearchesAndFilters()
{
    m_main->show();
    clickTitle(*m_main, 6); // by customer
    search(*m_main, 3, "C1");
    QCOMPARE(listedIps(*m_main), (QStringList{"10.0.0.5", "10.0.0.3", "10.0.0.1"}));
    auto *combo = child<QComboBox>(m_main.get(), MainNames::customerCombo);
    combo->setCurrentIndex(combo->findText("阿里"));
    child<QPushButton>(m_main.get(), MainNames::customerButton)->click();
    QCOMPARE(listedIps(*m_main), (QStringList{"10.0.0.2", "10.0.0.5"}));
    search(*m_main, 4, "30");
    QCOMPARE(listedIps(*m_main), (QStringList{"10.0.0.2", "10.0.0.4", "10.0.0.1"}));
    m_main->showAllServers();
    QCOMPARE(listedIps(*m_main).first(), QStringLiteral("10.0.0.2"));
}

void TstExpiry::kavroDbExpiring()
{
    const QString tool = QStringLiteral(KAVRO_BINARY_DIR "/kavro-db");
    QVERIFY(m_reg->exec("UPDATE data SET F_BZ='a\tb' WHERE F_IP='10.0.0.1'"));
    QProcess p;
    p.start(tool, {"expiring", m_reg->dbPath()});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    const QString today = QDate::currentDate().toString("yyyy/M/d");
    QCOMPARE(lines, (QStringList{"服务器编号\t服务器IP\t所在机柜\t客户\t到期时间\t剩余天数",
                                 "SV-10\t10.0.0.1\tC1\t张三\t" + day(-1) + "\t-1",
                                 "SV-9\t10.0.0.2\tC2\t阿里\t" + today + "\t0",
                                 "SV-1\t10.0.0.4\tC3\t北京\t" + day(30) + "\t30"}));
    p.start(tool, {"expiring", m_reg->dbPath(), "--within", "0"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).count('\n'), 3);
    // None: the header alone, and still success.
    QVERIFY(m_reg->exec("DELETE FROM data"));
    p.start(tool, {"expiring", m_reg->dbPath(), "--within", "3650"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).count('\n'), 1);
    p.start(tool, {"expiring", m_reg->dbPath(), "--within", "x"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 2);
    p.start(tool, {"expiring", m_reg->programDir() + "/nothing.mdb"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 1);
}

void TstExpiry::retiredServers_data()
{
    QTest::addColumn<int>("expires");  // days from today
    QTest::addColumn<int>("unracked"); // days from today; 9999: not a date
    QTest::addColumn<QString>("state");
    QTest::newRow("off the rack after its term") << -30 << -10 << "retired";
    QTest::newRow("off the rack the day its term ended") << -30 << -30 << "retired";
    QTest::newRow("due today, off the rack today") << 0 << 0 << "retired";
    QTest::newRow("the day of adding, long before") << -30 << -400 << "expired";
    QTest::newRow("to come off the rack later") << -5 << 3 << "expired";
    QTest::newRow("not a date") << -5 << 9999 << "expired";
    QTest::newRow("due soon, the day of adding") << 10 << -300 << "soon";
    QTest::newRow("due soon, off the rack before") << 10 << -3 << "soon";
}

void TstExpiry::retiredServers()
{
    QFETCH(int, expires);
    QFETCH(int, unracked);
    QFETCH(QString, state);
    QVERIFY(m_reg->exec(QStringLiteral("INSERT INTO data (F_BH, F_IP, F_DQ, F_XJ) VALUES ('X', '10.9.0.1', '%1', '%2')")
                            .arg(day(expires), unracked == 9999 ? QStringLiteral("机房待定") : day(unracked))));
    logIn(*m_main);
    m_main->fillServerList();
    // The six of the fixture: 1 expired, 2 due within 30 days.
    const int expired = 1 + (state == "expired"), soon = 2 + (state == "soon");
    QTRY_COMPARE(statusText(*m_main),
                 QStringLiteral("共 7 台服务器，已到期 %1 台，30 天内到期 %2 台").arg(expired).arg(soon));
    const QColor colour = cellData(*m_main, "10.9.0.1", 1, Qt::ForegroundRole).value<QColor>();
    const QColor expected = state == "retired"   ? QColor(0x80, 0x80, 0x80)
                            : state == "expired" ? QColor(0xB0, 0, 0)
                                                 : QColor(0x8A, 0x52, 0);
    QCOMPARE(colour, expected);
    if (state == "retired")
        QCOMPARE(cellData(*m_main, "10.9.0.1", 4, Qt::ToolTipRole).toString(), QStringLiteral("已下架"));
    // 到期天数 leaves a retired server out; the sort puts it with those without a date.
    search(*m_main, 4, "30");
    QCOMPARE(listedIps(*m_main).contains("10.9.0.1"), state != "retired");
    child<QPushButton>(m_main.get(), MainNames::showAllButton)->click();
    clickTitle(*m_main, 4);
    const QStringList sorted = listedIps(*m_main);
    const qsizetype at = sorted.indexOf("10.9.0.1");
    if (state == "retired")
        QVERIFY2(at > sorted.indexOf("10.0.0.5"), qPrintable(sorted.join(' '))); // after the last date
    else
        QVERIFY2(at < sorted.indexOf("10.0.0.5"), qPrintable(sorted.join(' ')));
    // kavro-db expiring leaves it out unless asked, and then marks it.
    const QString tool = QStringLiteral(KAVRO_BINARY_DIR "/kavro-db");
    for (bool withRetired : {false, true}) {
        QProcess p;
        QStringList args{"expiring", m_reg->dbPath()};
        if (withRetired)
            args << "--include-retired";
        p.start(tool, args);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QString line;
        for (const QString &l : lines)
            if (l.contains("10.9.0.1"))
                line = l;
        QCOMPARE(line.isEmpty(), state == "retired" && !withRetired);
        if (withRetired)
            QCOMPARE(line.section('\t', 6), state == "retired" ? day(unracked) : QString());
    }
}

void TstExpiry::dayOfAddingInUnrackedChangesNothing()
{
    // Registers kept until now carry the day of adding in 下架时间: colours and counts stay.
    logIn(*m_main);
    m_main->fillServerList();
    QTRY_VERIFY(!statusText(*m_main).isEmpty());
    const QString before = statusText(*m_main);
    QList<QVariant> colours;
    for (const QString &ip : listedIps(*m_main))
        colours << cellData(*m_main, ip, 0, Qt::ForegroundRole);
    QVERIFY(m_reg->exec(QStringLiteral("UPDATE data SET F_SJ = '%1', F_XJ = '%1'").arg(day(-400))));
    m_main->fillServerList();
    QVERIFY(m_main->showSummary());
    QCOMPARE(statusText(*m_main), before);
    QList<QVariant> after;
    for (const QString &ip : listedIps(*m_main))
        after << cellData(*m_main, ip, 0, Qt::ForegroundRole);
    QCOMPARE(after, colours);
}

QTEST_MAIN(TstExpiry)
#include "tst_expiry.moc"
