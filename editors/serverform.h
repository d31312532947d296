#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class DateBox;
class RegisterDb;

// The form shared by the server add and modify windows: customer selector, number, IP, cabinet,
// three dates and a remark, with an action button and an exit button below.
class ServerForm : public QDialog {
    Q_OBJECT
public:
    QComboBox *customerSelector() const { return m_customer; }
    // The customer chosen or typed whole; empty when the text names none (or the first entry).
    QString chosenCustomer() const;

protected:
    ServerForm(RegisterDb &db, const QString &name, const QString &title, const QString &actionCaption,
               const QString &exitCaption);

    // Appends every customer name after the fixed first entry, in table order; says so when the
    // customers cannot be read.
    void fillCustomerSelector();
    // The remark as typed: line and paragraph breaks as they are, no space put for a no-break space.
    QString remarkText() const;
    virtual void onAction() = 0;

    RegisterDb &m_db;
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
