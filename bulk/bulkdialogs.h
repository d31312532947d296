#pragma once

#include "core/datetext.h"

#include <QDialog>
#include <QStringList>

class QComboBox;
class QRadioButton;
class QSpinBox;
class DateBox;

// 续期所选服务器…: add months or years to each 到期时间, or set one date.
class RenewDialog : public QDialog {
    Q_OBJECT
public:
    RenewDialog(int servers, QWidget *parent = nullptr);
    Renewal renewal() const;

private:
    QRadioButton *m_extend = nullptr;
    QSpinBox *m_amount = nullptr;
    QComboBox *m_unit = nullptr;
    QRadioButton *m_set = nullptr;
    DateBox *m_date = nullptr;
};

// 更改所选服务器的客户…: one of the customers, chosen from the list or typed (any part of a name).
class CustomerDialog : public QDialog {
    Q_OBJECT
public:
    CustomerDialog(int servers, const QStringList &customers, QWidget *parent = nullptr);
    // The customer chosen; empty when what is typed names none.
    QString customer() const;

private:
    QComboBox *m_customer = nullptr;
    QStringList m_customers;
};

// 下架所选服务器…: the day the selected servers came off the rack (today unless changed).
class RetireDialog : public QDialog {
    Q_OBJECT
public:
    RetireDialog(int servers, QWidget *parent = nullptr);
    // Invalid when the box was emptied.
    QDate date() const;

private:
    DateBox *m_date = nullptr;
};
