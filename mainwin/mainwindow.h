#pragma once

#include "core/datetext.h"
#include "core/registerdb.h"

#include <QPointer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QThread;
class BackgroundSearch;
class QTimer;
class LoginWindow;
class ReportList;
class ServerAddWindow;
class ServerEditWindow;
class ServerViewWindow;
class DeletedServersWindow;
class SheetImportWindow;
class SettingsWindow;
class ServerListModel;

// The register's start window: the server list with its search row and customer filters, the
// command row, and the register every window works through. It is created hidden; the login window
// it opens shows it after a successful login.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    // Works on db (a register of its own on <programDir>/db/kavrodb.mdb when none is given), which
    // it opens at start and closes at shutdown.
    explicit MainWindow(const QString &programDir, std::unique_ptr<RegisterDb> db = nullptr, QWidget *parent = nullptr);
    ~MainWindow() override;

    LoginWindow *loginWindow() const;
    ReportList *serverList() const { return m_list; }
    QList<ServerEditWindow *> editWindows() const;
    // The search or customer filter the list follows while the list mode is 1.
    ServerQuery currentQuery() const { return m_query; }
    // The list's order: stored order, or a column clicked in the header.
    ServerOrder currentOrder() const { return m_order; }
    // Shows the summary of the whole register in the status bar; false when it could not be read.
    bool showSummary();
    // Counts expiry from this day on (the main window moves it on at midnight).
    void setToday(const QDate &today);
    // Whether today's automatic copy of the register is still being written.
    bool isBackingUp() const;
    bool isShutDown() const { return m_shutDown; }

    // Reload the list under the current list mode and query; false when it could not be read (the
    // rows shown stay, and the user is told).
    bool fillServerList();
    // Reload the list with every server; the list mode and query stay as they are.
    bool reloadServerListBySql();
    // Refill both customer combo boxes; false when the customers could not be read.
    bool fillCustomerCombos();

    // The add and settings windows on this window's register, with their signals connected to the
    // refreshes they call for; openAddWindow and openSettingsWindow run them modally.
    std::unique_ptr<ServerAddWindow> makeAddWindow();
    std::unique_ptr<SettingsWindow> makeSettingsWindow();

    // The commands of the window's buttons and menu.
    void showAllServers();
    void search();
    // 包含文字 as typed: the search runs on the background connection and the list follows.
    void searchAsTyped();
    void filterByCustomer(QComboBox *combo);
    void modifySelectedServer();
    // 查看数据: the selected server read only, with its change history.
    void viewSelectedServer();
    // 已删除的服务器…: the deleted servers, any of which can be stored again.
    void openDeletedServers();
    // 删除数据: the selected server, or with several rows selected all of them (one question).
    void deleteSelectedServer();
    // 删除所选服务器…, 续期所选服务器…, 更改所选服务器的客户…: the selected servers, one transaction each.
    void deleteSelectedServers();
    void renewSelectedServers();
    void changeCustomerOfSelected();
    // 下架所选服务器…: the day they came off the rack; a 到期时间 after it moves to that day.
    void retireSelectedServers();
    bool retireServers(const std::vector<qint64> &keys, const QDate &day);
    // The work of the last two once chosen; false when nothing was changed (after saying why).
    bool renewServers(const std::vector<qint64> &keys, const Renewal &renewal);
    bool setCustomerOf(const std::vector<qint64> &keys, const QString &customer);
    // The record keys of the selected rows, in list order.
    std::vector<qint64> selectedKeys() const;
    void openAddWindow();
    void openSettingsWindow();
    // 关于澜汀: the program's name and version, the register's location and engine.
    void showAbout();
    // Asks where to export the list shown, then exports it there.
    void exportListAs();
    // Writes exactly the rows the list shows, in the order shown, to path (.xlsx or .csv) and says
    // how it went; false when nothing was written (failed or cancelled).
    bool exportList(const QString &path);
    // 导入表格…: asks for a spreadsheet, then previews it (importSheetFrom).
    void importSheet();
    // Reads the spreadsheet at path and opens the preview from which it is imported; false (after
    // saying why) when it cannot be read.
    bool importSheetFrom(const QString &path);
    SheetImportWindow *importWindow() const;

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void relayout();
    void showBulkItems(bool shown);
    // The selected rows' keys; none, after saying so, when no row is selected.
    std::vector<qint64> selectedKeysOrSay();
    // Whether this desk may change the register; what would change it is greyed out if not.
    void showWhetherWritable();
    // The list's menu at the current row (Shift+F10, the Menu key).
    void openMenuAtCurrentRow();
    // The window's size and place, column widths, sort and search field, kept per user.
    void restoreLayout();
    void saveLayout();
    // The column widths the proportional widening starts from (after the user sized a column).
    void rememberColumnWidths();
    // Reads the servers of these keys as stored now; none (after saying why) when one is gone.
    std::optional<std::vector<ServerRecord>> storedServers(const std::vector<qint64> &keys);
    void saveBulkChange(const std::vector<std::pair<ServerRecord, ServerRecord>> &changes, const QString &said);
    void shutdown();
    void startLists();
    bool loadList(const ServerQuery &query);
    ServerQuery effectiveQuery() const;
    void tellReadFailure(const QString &reason);
    // While a lost connection to the register's server is made again: says so and tries on a
    // timer; false when the connection is not lost.
    bool watchReconnection();
    void tryReconnecting();
    void onServerAdded(qint64 key);
    // The selected row's server as stored now, after the checks 修改数据 and 查看数据 share; none
    // (after saying why) when there is no such server.
    std::optional<ServerRecord> selectedServer();
    void onServerModified(qint64 key);
    void onServerDeleted(qint64 key);
    void sortByColumn(int column);
    void scheduleMidnight();
    // The summary after a change, once the change is done and shown (several changes, one read).
    void summaryAfterChange();
    // After a login: today's copy into <program directory>/db/backup, on a thread of its own.
    void startDailyBackup();
    void stopDailyBackup();
    // Back at the window after another program changed the register: the list is read again,
    // the same server staying selected.
    void followOtherPrograms();
    void showFound(quint64 number, const ServerQuery &query, const ServerOrder &order, const Status &status,
                   const std::vector<qint64> &keys);
    void showStatusText(const QString &text);
    void hintIfNoTextIndex(const ServerQuery &query);

    QString m_programDir;
    std::unique_ptr<RegisterDb> m_db;
    bool m_shutDown = false;
    bool m_started = false;    // the first lists are loaded
    bool m_listsTried = false; // the time to load them has come (they may not have loaded)
public:
    // Whether the first lists have been read (they are once the login window has been painted).
    bool listsStarted() const { return m_listsTried; }

private:
    ServerQuery m_query; // used while the list mode is 1
    ServerQuery m_shown; // what the list shows now
    ServerOrder m_order;
    bool m_loggedIn = false;
    qint64 m_seenVersion = -1; // the register's change counter when the list was last read
    QTimer *m_midnight = nullptr;
    QTimer *m_typingPause = nullptr; // 包含文字 searches once typing pauses
    QTimer *m_summaryTimer = nullptr;
    QTimer *m_reconnectTimer = nullptr;
    BackgroundSearch *m_background = nullptr;
    std::optional<ExpirySummary> m_summary; // the last one read
    QTimer *m_hintShown = nullptr;          // the hint about the text index stays this long
    QString m_statusAfterHint;
    bool m_hinted = false;
    QThread *m_backup = nullptr;
    bool m_backupPending = false;
    std::atomic_bool m_stopBackup{false};
    QPointer<LoginWindow> m_login;
    QList<QPointer<ServerEditWindow>> m_editWindows;
    QList<QPointer<ServerViewWindow>> m_viewWindows;
    QPointer<DeletedServersWindow> m_deletedWindow;
    QPointer<SheetImportWindow> m_importWindow;

    QGroupBox *m_frame = nullptr;
    QPushButton *m_showAll = nullptr;
    ReportList *m_list = nullptr;
    ServerListModel *m_model = nullptr;
    QComboBox *m_searchField = nullptr;
    QLineEdit *m_searchText = nullptr;
    QPushButton *m_searchButton = nullptr;
    QComboBox *m_customer = nullptr;
    QPushButton *m_customerButton = nullptr;
    QComboBox *m_customer1 = nullptr;
    QPushButton *m_customerButton1 = nullptr;
    QPushButton *m_addButton = nullptr;
    QPushButton *m_settingsButton = nullptr;
    QStatusBar *m_statusBar = nullptr;
    QMenu *m_menu = nullptr;
    QAction *m_exportAction = nullptr;
    QAction *m_bulkSeparator = nullptr;
    QList<int> m_baseWidths;
    int m_baseListWidth = 0;
    bool m_scalingColumns = false;
    QList<QAction *> m_bulkActions;
    QAction *m_modifyAction = nullptr;
    QAction *m_deleteAction = nullptr;
    QAction *m_importAction = nullptr;
    bool m_readOnly = false;
    QLabel *m_readOnlyLabel = nullptr;

public:
    // Whether the window found the register read-only for this desk at login.
    bool isReadOnly() const { return m_readOnly; }
    QMenu *listMenu() const { return m_menu; }
};
