#pragma once

#include <QDialog>

class QLineEdit;
class QRandomGenerator;
class MainWindow;
class ReportList;

// Keeps the customers (list, add, modify, delete) and changes the administrator account.
class SettingsWindow : public QDialog {
    Q_OBJECT
public:
    explicit SettingsWindow(MainWindow &main);

    void fillCustomerList();
    void onCustomerSelected(int row);
    void addCustomer();
    void modifyCustomer();
    void deleteCustomer();
    void changeAdminAccount();

    // The generator customer keys are drawn from (tests seed their own).
    static void setKeyGenerator(QRandomGenerator *generator);

private:
    MainWindow &m_main;
    ReportList *m_list;
    QLineEdit *m_name;
    QLineEdit *m_contact;
    QLineEdit *m_key;
    QLineEdit *m_account;
    QLineEdit *m_password;
};
