#include "mainwin/mainwindow.h"

#include "core/backgroundsearch.h"
#include "history/historywindows.h"
#include "importer/sheetimportwindow.h"

#include "core/appstate.h"
#include "core/fileops/backup.h"
#include "core/fileops/exporter.h"
#include "core/listcolumns.h"
#include "core/paths.h"
#include "core/registerdb.h"
#include "editors/servereditwindow.h"
#include "hook/boundsandskin.h"
#include "login/loginwindow.h"
#include "login/loginwindow_names.h"
#include "mainwin/mainwindow_names.h"
#include "mainwin/serverlistmodel.h"
#include "widgets/choosers.h"
#include "widgets/fixedwindow.h"
#include "widgets/messagebox.h"
#include "widgets/reportlist.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

MainWindow::MainWindow(const QString &programDir, std::unique_ptr<RegisterDb> db, QWidget *parent)
    : QWidget(parent), m_programDir(programDir), m_db(db ? std::move(db) : std::make_unique<RegisterDb>())
{
    setObjectName(MainNames::window);
    setWindowTitle(MainTexts::title);
    setWindowIcon(QIcon(QStringLiteral(":/images/kavro.ico")));
    resize(600, 450);
    move(50, 50);
    buildControls();
    restoreLayout();

    // Start-up, in this order: skin, login window, size bounds, list mode, database, lists.
    applySkin(skinPath(m_programDir));
    m_login = new LoginWindow(*m_db);
    connect(m_login, &LoginWindow::loginSucceeded, this, [this] {
        show();
        m_loggedIn = true;
        showWhetherWritable();
        // The window is painted first; the summary and today's copy come right after.
        summaryAfterChange();
        m_backupPending = true;
        QTimer::singleShot(0, this, &MainWindow::startDailyBackup);
    });
    connect(m_login, &LoginWindow::closedWithoutLogin, this, [this] { close(); });
    m_login->show();
    installWindowHook(this);
    appState().listMode = 0;
    const Status opened = m_db->open(registerLocation(m_programDir));
    const bool connected = opened.ok();
    if (connected) {
        // Searches typed run apart from this window, on a connection of their own.
        m_background = new BackgroundSearch(m_db->location(), this);
        connect(m_background, &BackgroundSearch::found, this, &MainWindow::showFound);
    }
    if (!connected)
        qWarning("cannot open the register: %s", qPrintable(opened.reason));
    m_login->setHint(connected ? LoginTexts::welcome : LoginTexts::connectFailed);
    m_login->setConnectionFailed(!connected);
    // The lists are read once the login window has been painted, so that nothing that grows with the
    // register comes before the user sees it (and, should it never be painted, a moment later).
    connect(m_login, &LoginWindow::firstPainted, this,
            [this] { QTimer::singleShot(0, this, &MainWindow::startLists); });
    QTimer::singleShot(500, this, &MainWindow::startLists);
}

MainWindow::~MainWindow()
{
    if (m_login)
        delete m_login.data();
    shutdown();
    qDeleteAll(editWindows()); // they work on this window's list and database
}

LoginWindow *MainWindow::loginWindow() const
{
    return m_login.data();
}

QList<ServerEditWindow *> MainWindow::editWindows() const
{
    QList<ServerEditWindow *> open;
    for (const auto &w : m_editWindows)
        if (w)
            open << w.data();
    return open;
}

void MainWindow::buildControls()
{
    m_frame = placed(new QGroupBox(QStringLiteral("服务器列表"), this), MainNames::frame, 2, 3, 588, 369);
    m_showAll =
        placed(new QPushButton(QStringLiteral("所有服务器列表"), m_frame), MainNames::showAllButton, 380, -1, 110, 20);
    QList<ReportList::Column> columns;
    for (const ListColumn &c : listColumns())
        columns.append({c.title, c.width});
    m_list = placed(new ReportList(columns, m_frame), MainNames::serverList, 2, 22, 584, 321);
    m_list->setAccessibleName(QStringLiteral("服务器列表"));
    // Shift, Ctrl and Ctrl+A select several rows.
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_model = new ServerListModel(*m_db, m_list->titles());
    m_list->setRowModel(m_model);
    // A click on a column title sorts by it: up, down, then back to stored order.
    m_list->horizontalHeader()->setSectionsClickable(true);
    m_list->horizontalHeader()->setSortIndicatorShown(false);
    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this, &MainWindow::sortByColumn);
    connect(m_list->horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
        if (!m_scalingColumns && m_baseListWidth > 0)
            rememberColumnWidths();
    });
    m_reconnectTimer = new QTimer(this);
    m_reconnectTimer->setObjectName(QStringLiteral("reconnect"));
    m_reconnectTimer->setInterval(1000);
    connect(m_reconnectTimer, &QTimer::timeout, this, &MainWindow::tryReconnecting);
    m_midnight = new QTimer(this);
    m_midnight->setObjectName(QStringLiteral("midnight"));
    m_midnight->setSingleShot(true);
    connect(m_midnight, &QTimer::timeout, this, [this] {
        setToday(QDate::currentDate());
        scheduleMidnight();
        // The summary counts from the new day on.
        if (m_loggedIn)
            m_summaryTimer->start();
    });
    scheduleMidnight();
    m_hintShown = new QTimer(this);
    m_hintShown->setSingleShot(true);
    m_hintShown->setInterval(8000);
    connect(m_hintShown, &QTimer::timeout, this, [this] { m_statusBar->showMessage(m_statusAfterHint); });
    m_summaryTimer = new QTimer(this);
    m_summaryTimer->setSingleShot(true);
    m_summaryTimer->setInterval(0);
    connect(m_summaryTimer, &QTimer::timeout, this, &MainWindow::showSummary);
    // A page read while painting is reported after the paint, in the status bar.
    connect(
        m_model, &ServerListModel::readFailed, this, [this](const QString &reason) { tellReadFailure(reason); },
        Qt::QueuedConnection);
    m_searchField = placed(new QComboBox(m_frame), MainNames::searchField, 4, 346, 82, 20);
    m_searchField->addItems({QStringLiteral("服务器编号"), QStringLiteral("服务器IP"), QStringLiteral("客户名称"),
                             QStringLiteral("所在机柜"), MainTexts::expiryField, MainTexts::containsField,
                             MainTexts::ipRangeField});
    m_searchField->setCurrentIndex(0);
    m_searchField->setAccessibleName(QStringLiteral("搜索字段"));
    m_searchText = placed(new QLineEdit(m_frame), MainNames::searchText, 89, 346, 150, 20);
    m_searchText->setAccessibleName(QStringLiteral("搜索内容"));
    m_searchButton =
        placed(new QPushButton(QStringLiteral("搜索"), m_frame), MainNames::searchButton, 242, 346, 60, 20);
    m_customer = placed(new QComboBox(m_frame), MainNames::customerCombo, 318, 346, 82, 20);
    m_customer->addItem(MainTexts::noCustomer);
    m_customer->setAccessibleName(QStringLiteral("客户"));
    makeTypeable(m_customer);
    m_customerButton =
        placed(new QPushButton(QStringLiteral("搜索"), m_frame), MainNames::customerButton, 404, 346, 60, 20);
    m_customer1 = placed(new QComboBox(this), MainNames::customerCombo1, 80, 2, 90, 20);
    m_customer1->addItem(MainTexts::noCustomer);
    m_customer1->setAccessibleName(QStringLiteral("客户"));
    makeTypeable(m_customer1);
    m_customerButton1 =
        placed(new QPushButton(QStringLiteral("搜索"), this), MainNames::customerButton1, 172, 2, 60, 20);
    m_addButton = placed(new QPushButton(QStringLiteral("添加列表"), this), MainNames::addButton, 234, 2, 72, 20);
    m_settingsButton =
        placed(new QPushButton(QStringLiteral("功能设置"), this), MainNames::settingsButton, 308, 2, 72, 20);
    m_statusBar = placed(new QStatusBar(this), MainNames::statusBar, 0, 426, 594, 20);
    m_statusBar->setSizeGripEnabled(false);
    // The command row stands over the frame's top edge.
    m_customer1->raise();
    m_customerButton1->raise();
    m_addButton->raise();
    m_settingsButton->raise();

    m_menu = new QMenu(this);
    m_menu->setObjectName(MainNames::menu);
    m_menu->setTitle(MainNames::menu);
    connect(m_menu->addAction(MainTexts::viewItem), &QAction::triggered, this, &MainWindow::viewSelectedServer);
    // Enter and Delete on the list; the menu shows them.
    QAction *modifyAction = m_menu->addAction(MainTexts::modifyItem);
    m_modifyAction = modifyAction;
    modifyAction->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    modifyAction->setShortcutContext(Qt::WidgetShortcut);
    m_list->addAction(modifyAction);
    connect(modifyAction, &QAction::triggered, this, &MainWindow::modifySelectedServer);
    QAction *deleteAction = m_menu->addAction(MainTexts::deleteItem);
    m_deleteAction = deleteAction;
    deleteAction->setShortcut(QKeySequence(Qt::Key_Delete));
    deleteAction->setShortcutContext(Qt::WidgetShortcut);
    m_list->addAction(deleteAction);
    connect(deleteAction, &QAction::triggered, this, &MainWindow::deleteSelectedServer);
    connect(m_list, &QAbstractItemView::doubleClicked, this, [this] {
        // A register this desk cannot change is looked at instead.
        if (m_readOnly)
            viewSelectedServer();
        else
            modifySelectedServer();
    });
    m_menu->addSeparator();
    connect(m_menu->addAction(MainTexts::aboutItem), &QAction::triggered, this, &MainWindow::showAbout);
    m_exportAction = m_menu->addAction(MainTexts::exportItem);
    m_exportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    m_exportAction->setShortcutContext(Qt::WindowShortcut);
    addAction(m_exportAction); // Ctrl+E anywhere in the main window
    connect(m_exportAction, &QAction::triggered, this, &MainWindow::exportListAs);
    QAction *importAction = m_menu->addAction(MainTexts::importItem);
    m_importAction = importAction;
    importAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    importAction->setShortcutContext(Qt::WindowShortcut);
    addAction(importAction); // Ctrl+I anywhere in the main window
    connect(importAction, &QAction::triggered, this, &MainWindow::importSheet);
    connect(m_menu->addAction(MainTexts::deletedItem), &QAction::triggered, this, &MainWindow::openDeletedServers);
    // What several selected rows can have done to them at once; shown only then.
    m_bulkSeparator = m_menu->addSeparator();
    m_bulkActions = {m_menu->addAction(MainTexts::bulkDeleteItem), m_menu->addAction(MainTexts::renewItem),
                     m_menu->addAction(MainTexts::changeCustomerItem), m_menu->addAction(MainTexts::retireItem)};
    connect(m_bulkActions[0], &QAction::triggered, this, &MainWindow::deleteSelectedServers);
    connect(m_bulkActions[1], &QAction::triggered, this, &MainWindow::renewSelectedServers);
    connect(m_bulkActions[2], &QAction::triggered, this, &MainWindow::changeCustomerOfSelected);
    connect(m_bulkActions[3], &QAction::triggered, this, &MainWindow::retireSelectedServers);
    showBulkItems(false);
    connect(m_menu, &QMenu::aboutToShow, this, [this] { showBulkItems(m_list->selectedCount() > 1); });

    // The window's own keys; the buttons' tooltips name them.
    auto shortcut = [this](const QKeySequence &keys, QPushButton *button, auto slot) {
        auto *s = new QShortcut(keys, this);
        connect(s, &QShortcut::activated, this, slot);
        if (button)
            button->setToolTip(QStringLiteral("%1 (%2)").arg(button->text(), keys.toString(QKeySequence::NativeText)));
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_N), m_addButton, &MainWindow::openAddWindow);
    shortcut(QKeySequence(Qt::Key_F5), m_showAll, &MainWindow::showAllServers);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_F), nullptr, [this] {
        m_searchText->setFocus(Qt::ShortcutFocusReason);
        m_searchText->selectAll();
    });
    m_searchText->setToolTip(QStringLiteral("Ctrl+F"));

    connect(m_list, &ReportList::rightButtonPressed, this, [this](const QPoint &pos) { m_menu->popup(pos); });
    // The menu from the keyboard: Shift+F10 or the Menu key, at the current row.
    for (const QKeySequence &keys : {QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)}) {
        auto *menuKey = new QShortcut(keys, m_list);
        menuKey->setContext(Qt::WidgetShortcut);
        connect(menuKey, &QShortcut::activated, this, &MainWindow::openMenuAtCurrentRow);
    }
    connect(m_showAll, &QPushButton::clicked, this, &MainWindow::showAllServers);
    connect(m_searchButton, &QPushButton::clicked, this, &MainWindow::search);
    // Enter in the search box presses 搜索.
    connect(m_searchText, &QLineEdit::returnPressed, m_searchButton, &QPushButton::click);
    // 包含文字 follows the text as it is typed, once typing pauses.
    m_typingPause = new QTimer(this);
    m_typingPause->setSingleShot(true);
    m_typingPause->setInterval(150);
    connect(m_typingPause, &QTimer::timeout, this, &MainWindow::searchAsTyped);
    connect(m_searchText, &QLineEdit::textEdited, this, [this] {
        if (m_searchField->currentText() == MainTexts::containsField)
            m_typingPause->start();
    });
    connect(m_customerButton, &QPushButton::clicked, this, [this] { filterByCustomer(m_customer); });
    connect(m_customerButton1, &QPushButton::clicked, this, [this] { filterByCustomer(m_customer1); });
    connect(m_addButton, &QPushButton::clicked, this, &MainWindow::openAddWindow);
    connect(m_settingsButton, &QPushButton::clicked, this, &MainWindow::openSettingsWindow);
}

void MainWindow::openMenuAtCurrentRow()
{
    const QModelIndex current = m_list->currentIndex();
    QRect at = current.isValid() ? m_list->visualRect(current.siblingAtColumn(0)) : QRect();
    if (!at.isValid() || !m_list->viewport()->rect().intersects(at))
        at = QRect(QPoint(0, 0), QSize(1, 1));
    m_menu->popup(m_list->viewport()->mapToGlobal(at.bottomLeft() + QPoint(8, 0)));
}

void MainWindow::showWhetherWritable()
{
    m_readOnly = m_db->isOpen() && !m_db->isWritable();
    // What would change the register is greyed out, and the status bar says why, once.
    for (QWidget *w : std::initializer_list<QWidget *>{m_addButton})
        w->setEnabled(!m_readOnly);
    for (QAction *a : {m_modifyAction, m_deleteAction, m_importAction})
        a->setEnabled(!m_readOnly);
    for (QAction *a : m_bulkActions)
        a->setEnabled(!m_readOnly);
    if (m_readOnly && !m_readOnlyLabel) {
        m_readOnlyLabel = new QLabel(MainTexts::readOnly, m_statusBar);
        m_readOnlyLabel->setObjectName(MainNames::readOnlyLabel);
        m_readOnlyLabel->setToolTip(MainTexts::readOnlyTip);
        m_statusBar->addPermanentWidget(m_readOnlyLabel);
    }
    if (m_readOnlyLabel)
        m_readOnlyLabel->setVisible(m_readOnly);
}

bool MainWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        followOtherPrograms();
    if (event->type() == QEvent::Show && m_baseListWidth == 0)
        rememberColumnWidths(); // the list has its first real width now
    return QWidget::event(event);
}

void MainWindow::showAbout()
{
    // A server's URI is shown without its password.
    const QString where = m_db->location();
    const QString shown = QFileInfo(where).isAbsolute() ? QDir::toNativeSeparators(where) : withoutPasswords(where);
    const QString engine = m_db->engineName();
    MessageBox::show(MainTexts::aboutText.arg(QStringLiteral(KAVRO_VERSION), shown,
                                              engine.isEmpty() ? QStringLiteral("（未连接）") : engine),
                     MsgStyle::Information, MainTexts::aboutTitle, this);
}

void MainWindow::showBulkItems(bool shown)
{
    m_bulkSeparator->setVisible(shown);
    for (QAction *a : m_bulkActions)
        a->setVisible(shown);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    relayout();
}

namespace {
// Where the window's layout is kept: per operating-system user.
std::unique_ptr<QSettings> layoutSettings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kavro"),
                                       QStringLiteral("layout"));
}
} // namespace

void MainWindow::restoreLayout()
{
    const auto settings = layoutSettings();
    if (const QByteArray geometry = settings->value(QStringLiteral("geometry")).toByteArray(); !geometry.isEmpty())
        restoreGeometry(geometry);
    // A kept layout that would open the window unusable is not taken: a size larger than the
    // screen's room, or a place on no screen, gives the first start's size and place.
    const QScreen *screen = QGuiApplication::screenAt(geometry().center());
    const QRect room = (screen ? screen : QGuiApplication::primaryScreen())->availableGeometry();
    bool onAScreen = false;
    for (const QScreen *s : QGuiApplication::screens())
        onAScreen = onAScreen || s->availableGeometry().intersects(frameGeometry());
    if (width() > room.width() || height() > room.height() || !onAScreen) {
        setGeometry(QRect(QPoint(50, 50), QSize(600, 450)));
        move(50, 50);
    }
    // So do column widths too narrow to read: every column as at the first start.
    const QVariantList widths = settings->value(QStringLiteral("columns")).toList();
    constexpr int kNarrowest = 16;
    const bool readable =
        widths.size() == m_list->model()->columnCount() &&
        std::all_of(widths.begin(), widths.end(), [](const QVariant &w) { return w.toInt() >= kNarrowest; });
    if (readable)
        for (int c = 0; c < widths.size(); ++c)
            m_list->setColumnWidth(c, widths[c].toInt());
    const int column = settings->value(QStringLiteral("sortColumn"), -1).toInt();
    if (column >= 0 && column < m_list->model()->columnCount()) {
        m_order = {column, settings->value(QStringLiteral("sortDescending")).toBool()};
        m_list->horizontalHeader()->setSortIndicatorShown(true);
        m_list->horizontalHeader()->setSortIndicator(column,
                                                     m_order.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
    const int field = settings->value(QStringLiteral("searchField"), -1).toInt();
    if (field >= 0 && field < m_searchField->count())
        m_searchField->setCurrentIndex(field);
    // The widths are taken as they are at the list's first real width (see relayout).
    m_baseListWidth = 0;
}

void MainWindow::saveLayout()
{
    const auto settings = layoutSettings();
    settings->setValue(QStringLiteral("geometry"), saveGeometry());
    QVariantList widths;
    for (int c = 0; c < m_list->model()->columnCount(); ++c)
        widths << m_list->columnWidth(c);
    settings->setValue(QStringLiteral("columns"), widths);
    settings->setValue(QStringLiteral("sortColumn"), m_order.isStored() ? -1 : m_order.column);
    settings->setValue(QStringLiteral("sortDescending"), m_order.descending);
    settings->setValue(QStringLiteral("searchField"), m_searchField->currentIndex());
}

void MainWindow::rememberColumnWidths()
{
    m_baseWidths.clear();
    for (int c = 0; c < m_list->model()->columnCount(); ++c)
        m_baseWidths << m_list->columnWidth(c);
    m_baseListWidth = m_list->width();
}

void MainWindow::relayout()
{
    // Offsets from the window's outer size; the command row and 按钮3 keep their places.
    const int w = width();
    const int h = height();
    m_frame->setGeometry(2, 3, w - 8, h - 54);
    m_list->setGeometry(2, 21, w - 12, h - 102);
    m_searchField->setGeometry(4, h - 78, 82, 20);
    m_searchText->setGeometry(89, h - 78, 150, 20);
    m_searchButton->setGeometry(243, h - 78, 60, 20);
    m_customer->setGeometry(318, h - 78, 82, 20);
    m_customerButton->setGeometry(404, h - 78, 60, 20);
    m_statusBar->setGeometry(0, h - 24, w - 6, 20);
    // A wider window widens the columns in proportion (maximised, every column grows alike).
    if (m_baseListWidth == 0 && isVisible())
        rememberColumnWidths();
    else if (m_baseListWidth > 0 && m_list->width() != m_baseListWidth) {
        const QScopedValueRollback<bool> ours(m_scalingColumns, true);
        const double ratio = double(m_list->width()) / m_baseListWidth;
        for (int c = 0; c < m_baseWidths.size(); ++c)
            m_list->setColumnWidth(c, int(m_baseWidths[c] * ratio + 0.5));
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    shutdown();
    event->accept();
    QCoreApplication::exit(0);
}

namespace {
// The copy goes a few pages at a time with pauses, so that the user's own reads and writes get
// their turn and a register of a million servers is copied without anyone noticing.
constexpr int kBackupPagesPerStep = 256;
constexpr int kBackupPauseMs = 1;
const QString kBackupFailed = QStringLiteral("自动备份失败：%1");
} // namespace

void MainWindow::startDailyBackup()
{
    m_backupPending = false;
    if (m_backup || m_shutDown)
        return;
    const QString folder = QDir(m_programDir).filePath(QStringLiteral("db/backup"));
    m_stopBackup = false;
    m_backup = QThread::create([this, folder] {
        bool made = false;
        const Status status = m_db->dailyBackup(folder, QDate::currentDate(), &made,
                                                BackupPace{kBackupPagesPerStep, kBackupPauseMs, &m_stopBackup});
        if (!status.ok() && !m_stopBackup)
            QMetaObject::invokeMethod(
                this,
                [this, reason = status.reason] {
                    qWarning("automatic backup failed: %s", qPrintable(reason));
                    m_statusBar->showMessage(kBackupFailed.arg(reason));
                },
                Qt::QueuedConnection);
    });
    connect(m_backup, &QThread::finished, this, [this, thread = m_backup] {
        if (m_backup == thread)
            m_backup = nullptr;
        thread->deleteLater();
    });
    m_backup->start(QThread::LowPriority);
}

bool MainWindow::isBackingUp() const
{
    return m_backupPending || m_backup != nullptr;
}

void MainWindow::stopDailyBackup()
{
    if (!m_backup)
        return;
    m_stopBackup = true;
    disconnect(m_backup, nullptr, this, nullptr);
    m_backup->wait();
    delete m_backup;
    m_backup = nullptr;
}

void MainWindow::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    for (const auto &w : m_editWindows)
        if (w)
            w->close();
    for (const auto &w : m_viewWindows)
        if (w)
            w->close();
    if (m_deletedWindow)
        m_deletedWindow->close();
    if (m_importWindow)
        m_importWindow->close();
    if (m_loggedIn)
        saveLayout();
    removeWindowHook(this);
    stopDailyBackup();
    delete m_background;
    m_background = nullptr;
    m_db->close();
}
