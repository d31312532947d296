#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class DateBox;
class MainWindow;
class RecordCursor;

// The form shared by the server add and modify windows: customer selector, number, IP, cabinet,
// three dates and a remark, with an action button and an exit button below.
class ServerForm : public QDialog {
    Q_OBJECT
public:
    QComboBox *customerSelector() const { return m_customer; }

protected:
    ServerForm(MainWindow &main, const QString &name, const QString &title, const QString &actionCaption,
               const QString &exitCaption);

    // Appends every customer name after the fixed first entry, in table order.
    void fillCustomerSelector();
    virtual void onAction() = 0;

    MainWindow &m_main;
    QComboBox *m_customer;
    QLineEdit *m_number;
    QLineEdit *m_ip;
    QLineEdit *m_cabinet;
    DateBox *m_racked;
    DateBox *m_expires;
    DateBox *m_unracked;
    QPlainTextEdit *m_remark;
    QPushButton *m_action;
    QPushButton *m_exit;
};
