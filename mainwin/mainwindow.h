#pragma once

#include "core/store.h"

#include <QPointer>
#include <QWidget>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class LoginWindow;
class ReportList;
class ServerEditWindow;

// The register's start window: the server list with its search row and customer filters, the
// command row, and the three database objects every window works through. It is created hidden;
// the login window it opens shows it after a successful login.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(const QString &programDir, QWidget *parent = nullptr);
    ~MainWindow() override;

    Database &database() { return m_db; }
    LoginWindow *loginWindow() const;
    ReportList *serverList() const { return m_list; }
    QList<ServerEditWindow *> editWindows() const;

    // Refill the list through the cursor under the current list mode and filter.
    void fillServerList();
    // Refill the list with every server through the SQL query; mode and filter stay as they are.
    void reloadServerListBySql();
    // Refill both customer combo boxes from table kehu.
    void fillCustomerCombos();

    void showAllServers();
    void search();
    void filterByCustomer(QComboBox *combo);
    void modifySelectedServer();
    void deleteSelectedServer();
    void openAddWindow();
    void openSettingsWindow();

    bool isShutDown() const { return m_shutDown; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void relayout();
    void shutdown();

    QString m_programDir;
    Database m_db;
    bool m_shutDown = false;
    QPointer<LoginWindow> m_login;
    QList<QPointer<ServerEditWindow>> m_editWindows;

    QGroupBox *m_frame = nullptr;
    QPushButton *m_showAll = nullptr;
    ReportList *m_list = nullptr;
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
};
