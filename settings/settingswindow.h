#pragma once

#include <QDialog>

class QLineEdit;
class RegisterDb;
class ReportList;

// Keeps the customers (list, add, modify, delete) and changes the administrator account.
class SettingsWindow : public QDialog {
    Q_OBJECT
public:
    explicit SettingsWindow(RegisterDb &db);

signals:
    // A customer was added or renamed: lists of customer names elsewhere are out of date.
    void customersChanged();
    // A rename moved a customer's servers (if any) from one name to the other: a list filtered by
    // the old name follows to the new one.
    void serversRenamed(const QString &from, const QString &to);

private:
    bool fillCustomerList();
    void onCustomerSelected(int row);
    void addCustomer();
    void modifyCustomer();
    void deleteCustomer();
    void changeAdminAccount();
    // The row 修改 and 删除 act on: the one selected now, never the first (the default customer).
    int actionRow();

    RegisterDb &m_db;
    ReportList *m_list;
    QLineEdit *m_name;
    QLineEdit *m_contact;
    QLineEdit *m_key;
    QLineEdit *m_account;
    QLineEdit *m_password;
};
