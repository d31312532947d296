#include "settings/settingswindow.h"

#include "core/appstate.h"
#include "core/registerdb.h"
#include "core/text.h"
#include "settings/settingswindow_names.h"
#include "widgets/fixedwindow.h"
#include "widgets/gbkedit.h"
#include "widgets/messagebox.h"
#include "widgets/reportlist.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

SettingsWindow::SettingsWindow(RegisterDb &db) : QDialog(nullptr), m_db(db)
{
    setObjectName(SettingsNames::window);
    makeFixedWindow(this, SettingsTexts::title, 350, 256);

    auto *shape = placed(new QFrame(this), SettingsNames::shape, 1, 2, 340, 226);
    shape->setFrameShape(QFrame::Box);
    shape->setFrameShadow(QFrame::Sunken);
    m_list = placed(
        new ReportList(
            {{QStringLiteral("客户ID"), 0}, {QStringLiteral("客户名称"), 70}, {QStringLiteral("联系方式"), 86}}, shape),
        SettingsNames::customerList, 4, 4, 160, 150);
    m_list->setAccessibleName(QStringLiteral("客户列表"));
    placed(new QLabel(QStringLiteral("客户名称："), shape), QStringLiteral("标签1"), 5, 159, 55, 16);
    m_name = placed(new QLineEdit(shape), SettingsNames::nameEdit, 64, 156, 100, 20);
    m_name->setAccessibleName(QStringLiteral("客户名称"));
    placed(new QLabel(QStringLiteral("联系方式："), shape), QStringLiteral("标签2"), 5, 181, 55, 16);
    m_contact = placed(new QLineEdit(shape), SettingsNames::contactEdit, 64, 178, 100, 20);
    m_contact->setAccessibleName(QStringLiteral("联系方式"));
    auto *add = placed(new QPushButton(QStringLiteral("添加"), shape), SettingsNames::addButton, 4, 202, 50, 20);
    auto *modify = placed(new QPushButton(QStringLiteral("修改"), shape), SettingsNames::modifyButton, 60, 202, 50, 20);
    auto *remove =
        placed(new QPushButton(QStringLiteral("删除"), shape), SettingsNames::deleteButton, 116, 202, 50, 20);
    m_key = placed(new QLineEdit(shape), SettingsNames::keyEdit, 159, 126, 64, 16);
    m_key->setAccessibleName(QStringLiteral("客户ID"));
    m_key->hide();
    auto *accountLabel =
        placed(new QLabel(QStringLiteral("管理员帐号："), shape), QStringLiteral("透明标签1"), 171, 4, 72, 16);
    accountLabel->setAttribute(Qt::WA_TranslucentBackground);
    m_account = placed(new QLineEdit(shape), SettingsNames::accountEdit, 173, 22, 160, 20);
    m_account->setAccessibleName(QStringLiteral("管理员帐号"));
    limitToGbkBytes(m_account, kLoginBoxBytes);
    auto *passwordLabel =
        placed(new QLabel(QStringLiteral("管理员密码："), shape), QStringLiteral("透明标签2"), 171, 47, 72, 16);
    passwordLabel->setAttribute(Qt::WA_TranslucentBackground);
    m_password = placed(new QLineEdit(this), SettingsNames::passwordEdit, 174, 67, 160, 20);
    m_password->setAccessibleName(QStringLiteral("管理员密码"));
    limitToGbkBytes(m_password, kLoginBoxBytes);
    auto *change =
        placed(new QPushButton(QStringLiteral("确定修改"), shape), SettingsNames::changeAdminButton, 174, 92, 160, 30);
    auto *about = placed(new QPlainTextEdit(shape), SettingsNames::aboutEdit, 174, 130, 160, 90);
    about->setReadOnly(true);
    about->setPlainText(SettingsTexts::about);
    about->setAccessibleName(QStringLiteral("关于"));
    for (QPushButton *b : {add, modify, remove, change}) {
        b->setAutoDefault(false);
        // A desk that may only read changes nothing here.
        b->setEnabled(m_db.isWritable());
    }

    connect(m_list, &ReportList::rowSelected, this, &SettingsWindow::onCustomerSelected);
    connect(add, &QPushButton::clicked, this, &SettingsWindow::addCustomer);
    connect(modify, &QPushButton::clicked, this, &SettingsWindow::modifyCustomer);
    connect(remove, &QPushButton::clicked, this, &SettingsWindow::deleteCustomer);
    connect(change, &QPushButton::clicked, this, &SettingsWindow::changeAdminAccount);

    m_account->setText(appState().adminAccount);
    m_password->setText(appState().adminPassword);
    fillCustomerList();
}

bool SettingsWindow::fillCustomerList()
{
    const Read<std::vector<CustomerRecord>> customers = m_db.customers();
    if (!customers.ok()) {
        // The rows shown stay: an empty list would look like a register without customers.
        qWarning("reading the customers failed: %s", qPrintable(customers.status.reason));
        MessageBox::show(kReadFailedText, MsgStyle::Error, std::nullopt, this);
        return false;
    }
    std::vector<QStringList> rows;
    std::vector<qint64> keys;
    for (const CustomerRecord &c : customers.value) {
        rows.push_back({c.id, c.name, c.contact});
        keys.push_back(c.key);
    }
    m_list->setRows(std::move(rows), std::move(keys));
    return true;
}

void SettingsWindow::onCustomerSelected(int row)
{
    appState().customerListIndex = row;
    m_key->setText(m_list->cellText(row, 0));
    m_name->setText(m_list->cellText(row, 1));
    m_contact->setText(m_list->cellText(row, 2));
}

void SettingsWindow::addCustomer()
{
    const Status added = m_db.addCustomer(m_name->text(), m_contact->text());
    if (added.fault == Fault::Duplicate) {
        MessageBox::show(SettingsTexts::nameExists, MsgStyle::Ok, kNoticeTitle, this);
        return;
    }
    if (!added.ok()) {
        qWarning("storing a customer failed: %s", qPrintable(added.reason));
        MessageBox::showWriteFailure(added.fault, this);
        return;
    }
    fillCustomerList();
    emit customersChanged();
    MessageBox::show(SettingsTexts::added, MsgStyle::Ok, kNoticeTitle, this);
}

int SettingsWindow::actionRow()
{
    const int row = m_list->selectedRow();
    if (row < 0) {
        MessageBox::show(SettingsTexts::badSelection, MsgStyle::Error, std::nullopt, this);
        return -1;
    }
    if (row == 0) {
        MessageBox::show(SettingsTexts::defaultLocked, MsgStyle::Ok, kNoticeTitle, this);
        return -1;
    }
    return row;
}

void SettingsWindow::modifyCustomer()
{
    // The customer of the row selected now, by its own record key: after the list was refilled
    // (an addition, a deletion) nothing is selected and nothing is changed.
    const int row = actionRow();
    if (row < 0)
        return;
    const QString oldName = m_list->cellText(row, 1);
    RegisterDb::CustomerRenamed renamed;
    const Status saved = m_db.changeCustomer(m_list->itemValue(row), m_name->text(), m_contact->text(), &renamed);
    if (saved.fault == Fault::NotFound) {
        fillCustomerList();
        MessageBox::show(SettingsTexts::badSelection, MsgStyle::Error, std::nullopt, this);
        return;
    }
    if (!saved.ok()) {
        qWarning("changing a customer failed: %s", qPrintable(saved.reason));
        MessageBox::showWriteFailure(saved.fault, this);
        return;
    }
    fillCustomerList();
    emit customersChanged();
    if (oldName != m_name->text() && !renamed.nameShared)
        emit serversRenamed(oldName, m_name->text());
    MessageBox::show(renamed.nameShared
                         ? SettingsTexts::modified + QLatin1Char('\n') + SettingsTexts::nameShared.arg(oldName)
                         : SettingsTexts::modified,
                     MsgStyle::Ok, kNoticeTitle, this);
    m_list->setFocus();
    m_list->setSelectedRow(appState().customerListIndex);
}

void SettingsWindow::deleteCustomer()
{
    const int row = actionRow();
    if (row < 0)
        return;
    // A customer that still has servers is named first (No is the default).
    const Read<int> servers = m_db.customerServerCount(m_list->itemValue(row));
    if (servers.ok() && servers.value > 0 &&
        MessageBox::show(SettingsTexts::stillHasServers.arg(servers.value), MsgStyle::YesNoQuestionDefaultNo,
                         SettingsTexts::infoTitle, this) != MsgAnswer::Yes)
        return;
    if (MessageBox::show(SettingsTexts::deleteQuestion, MsgStyle::OkCancelQuestion, SettingsTexts::infoTitle, this) !=
        MsgAnswer::Ok)
        return;
    // By the row's own record, the one the list shows.
    const Status deleted = m_db.deleteCustomer(m_list->itemValue(row));
    fillCustomerList();
    if (deleted.ok())
        MessageBox::show(SettingsTexts::deleted, MsgStyle::Information, SettingsTexts::infoTitle, this);
    else if (deleted.fault == Fault::NotFound)
        MessageBox::show(SettingsTexts::badSelection, MsgStyle::Error, std::nullopt, this);
    else
        MessageBox::showWriteFailure(deleted.fault, this);
}

void SettingsWindow::changeAdminAccount()
{
    if (m_account->text().isEmpty()) {
        MessageBox::show(SettingsTexts::accountEmpty, MsgStyle::Warning, std::nullopt, this);
        return;
    }
    if (m_password->text().isEmpty()) {
        MessageBox::show(SettingsTexts::passwordEmpty, MsgStyle::Warning, std::nullopt, this);
        return;
    }
    const Status changed = m_db.changeAdministrator(m_account->text(), m_password->text());
    if (!changed.ok()) {
        qWarning("changing the administrator failed: %s", qPrintable(changed.reason));
        MessageBox::showWriteFailure(changed.fault, this);
        return;
    }
    // What is stored now is what the window shows from here on: a later change of the other box
    // must not write the login's old value back.
    appState().adminAccount = m_account->text();
    appState().adminPassword = m_password->text();
    MessageBox::show(SettingsTexts::adminChanged, MsgStyle::Ok, kNoticeTitle, this);
}
