#include "settings/settingswindow.h"

#include "core/appstate.h"
#include "core/customerkey.h"
#include "core/lookups.h"
#include "core/statements.h"
#include "core/store.h"
#include "core/widgets/fixedwindow.h"
#include "core/widgets/gbkedit.h"
#include "core/widgets/messagebox.h"
#include "core/widgets/reportlist.h"
#include "mainwin/mainwindow.h"
#include "settings/settingswindow_names.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>

namespace {
QRandomGenerator *keyGenerator = nullptr;
}

void SettingsWindow::setKeyGenerator(QRandomGenerator *generator)
{
    keyGenerator = generator;
}

SettingsWindow::SettingsWindow(MainWindow &main) : QDialog(nullptr), m_main(main)
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
    limitToGbkBytes(m_account, 20);
    auto *passwordLabel =
        placed(new QLabel(QStringLiteral("管理员密码："), shape), QStringLiteral("透明标签2"), 171, 47, 72, 16);
    passwordLabel->setAttribute(Qt::WA_TranslucentBackground);
    m_password = placed(new QLineEdit(this), SettingsNames::passwordEdit, 174, 67, 160, 20);
    m_password->setAccessibleName(QStringLiteral("管理员密码"));
    limitToGbkBytes(m_password, 20);
    auto *change =
        placed(new QPushButton(QStringLiteral("确定修改"), shape), SettingsNames::changeAdminButton, 174, 92, 160, 30);
    auto *about = placed(new QPlainTextEdit(shape), SettingsNames::aboutEdit, 174, 130, 160, 90);
    about->setReadOnly(true);
    about->setPlainText(SettingsTexts::about);
    about->setAccessibleName(QStringLiteral("关于"));
    for (QPushButton *b : {add, modify, remove, change})
        b->setAutoDefault(false);

    connect(m_list, &ReportList::rowSelected, this, &SettingsWindow::onCustomerSelected);
    connect(add, &QPushButton::clicked, this, &SettingsWindow::addCustomer);
    connect(modify, &QPushButton::clicked, this, &SettingsWindow::modifyCustomer);
    connect(remove, &QPushButton::clicked, this, &SettingsWindow::deleteCustomer);
    connect(change, &QPushButton::clicked, this, &SettingsWindow::changeAdminAccount);

    m_account->setText(appState().adminAccount);
    m_password->setText(appState().adminPassword);
    fillCustomerList();
}

void SettingsWindow::fillCustomerList()
{
    RecordCursor &cursor = m_main.database().cursor;
    cursor.openTable(QStringLiteral("kehu"), QString());
    std::vector<qint64> keys;
    for (int i = 0; i < cursor.recordCount(); ++i) {
        cursor.moveToPosition(i);
        keys.push_back(cursor.currentRowId());
    }
    std::vector<int> columns = {cursor.columnIndex(QStringLiteral("K_DD")), cursor.columnIndex(QStringLiteral("K_KH")),
                                cursor.columnIndex(QStringLiteral("K_LX"))};
    m_list->setRows(cursor.rows(), std::move(keys), std::move(columns));
    cursor.closeTable();
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
    RecordCursor &cursor = m_main.database().cursor;
    QRandomGenerator &random = keyGenerator ? *keyGenerator : *QRandomGenerator::global();
    const QString key = drawCustomerKey(random, [&](const QString &k) { return customerKeyExists(cursor, k); });
    if (customerNameExists(cursor, m_name->text())) {
        MessageBox::show(SettingsTexts::nameExists, MsgStyle::Ok, kNoticeTitle, this);
        return;
    }
    bool stored = cursor.addNew();
    cursor.writeText(QStringLiteral("K_DD"), key);
    cursor.writeText(QStringLiteral("K_KH"), m_name->text());
    cursor.writeText(QStringLiteral("K_LX"), m_contact->text());
    stored = cursor.closeTable() && stored;
    if (!stored) {
        MessageBox::show(kWriteFailedText, MsgStyle::Error, kNoticeTitle, this);
        return;
    }
    fillCustomerList();
    m_main.fillCustomerCombos();
    MessageBox::show(SettingsTexts::added, MsgStyle::Ok, kNoticeTitle, this);
}

void SettingsWindow::modifyCustomer()
{
    if (m_list->selectedRow() == 0) {
        MessageBox::show(SettingsTexts::defaultLocked, MsgStyle::Ok, kNoticeTitle, this);
        return;
    }
    const QString key = m_key->text();
    if (key.isEmpty()) {
        MessageBox::show(SettingsTexts::badSelection, MsgStyle::Error, std::nullopt, this);
        return;
    }
    SqlExecutor &sql = m_main.database().sql;
    bool found = true;
    const bool saved = sql.transact([&] {
        const ExecResult name = sql.executeSql(customerUpdate(QStringLiteral("K_KH"), m_name->text(), key));
        found = !name.ok || name.rowsAffected > 0; // the customer may have been deleted since it was selected
        return name.ok && found && sql.executeSql(customerUpdate(QStringLiteral("K_LX"), m_contact->text(), key)).ok;
    });
    if (!saved) {
        if (found)
            MessageBox::show(kWriteFailedText, MsgStyle::Error, kNoticeTitle, this);
        else
            MessageBox::show(SettingsTexts::badSelection, MsgStyle::Error, std::nullopt, this);
        return;
    }
    fillCustomerList();
    m_main.fillCustomerCombos();
    MessageBox::show(SettingsTexts::modified, MsgStyle::Ok, kNoticeTitle, this);
    m_list->setFocus();
    m_list->setSelectedRow(appState().customerListIndex);
}

void SettingsWindow::deleteCustomer()
{
    const int row = m_list->selectedRow();
    if (row < 0) {
        MessageBox::show(SettingsTexts::badSelection, MsgStyle::Error, std::nullopt, this);
        return;
    }
    if (MessageBox::show(SettingsTexts::deleteQuestion, MsgStyle::OkCancelQuestion, SettingsTexts::infoTitle, this) !=
        MsgAnswer::Ok)
        return;
    // By the row's own record, the one the list shows.
    const bool deleted =
        deleteOneRecord(m_main.database().cursor, QStringLiteral("kehu"), rowIdCondition(m_list->itemValue(row)));
    fillCustomerList();
    if (deleted)
        MessageBox::show(SettingsTexts::deleted, MsgStyle::Information, SettingsTexts::infoTitle, this);
    else
        MessageBox::show(kWriteFailedText, MsgStyle::Error, kNoticeTitle, this);
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
    SqlExecutor &sql = m_main.database().sql;
    const bool ok = sql.transact([&] {
        const ExecResult account = sql.executeSql(adminUpdate(QStringLiteral("U_ZH"), m_account->text()));
        if (!account.ok || !sql.executeSql(adminUpdate(QStringLiteral("U_MM"), m_password->text())).ok)
            return false;
        // An empty table gets its administrator row, or the change would vanish unseen.
        return account.rowsAffected > 0 || sql.executeSql(adminInsert(m_account->text(), m_password->text())).ok;
    });
    if (!ok) {
        MessageBox::show(kWriteFailedText, MsgStyle::Error, kNoticeTitle, this);
        return;
    }
    MessageBox::show(SettingsTexts::adminChanged, MsgStyle::Ok, kNoticeTitle, this);
}
