// The main window's list: loading, search, customer filters and the commands on a selected server.
#include "core/appstate.h"
#include "core/lookups.h"
#include "core/statements.h"
#include "core/text.h"
#include "core/widgets/messagebox.h"
#include "core/widgets/reportlist.h"
#include "editors/serveraddwindow.h"
#include "editors/servereditwindow.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"
#include "settings/settingswindow.h"

#include <QComboBox>
#include <QLineEdit>

namespace {
// The list's columns, in the order it shows them.
const QStringList &listColumns()
{
    static const QStringList columns = {QStringLiteral("F_BH"), QStringLiteral("F_IP"), QStringLiteral("F_JG"),
                                        QStringLiteral("F_SJ"), QStringLiteral("F_DQ"), QStringLiteral("F_XJ"),
                                        QStringLiteral("F_KH"), QStringLiteral("F_BZ")};
    return columns;
}

qint64 keyFromText(QByteArrayView text)
{
    bool ok = false;
    const qint64 key = text.toLongLong(&ok);
    return ok ? key : recordKeyFromValue(QVariant(QString::fromUtf8(text)));
}
} // namespace

void MainWindow::fillServerList()
{
    const QString condition = appState().listMode == 1 ? appState().listFilter : QString();
    RecordCursor &cursor = m_db.cursor;
    cursor.openTable(QStringLiteral("data"), condition);
    std::vector<int> columnMap;
    for (const QString &column : listColumns())
        columnMap.push_back(cursor.columnIndex(column));
    // The rows share their text blocks with the cursor: nothing is decoded or copied here.
    std::vector<TextRow> rows = cursor.rows();
    std::vector<qint64> keys;
    keys.reserve(rows.size());
    const int keyColumn = cursor.columnIndex(QStringLiteral("F_ID"));
    for (const TextRow &row : rows)
        keys.push_back(keyFromText(row.utf8(keyColumn)));
    cursor.closeTable();
    m_list->setRows(std::move(rows), std::move(keys), std::move(columnMap));
}

void MainWindow::reloadServerListBySql()
{
    SqlExecutor &sql = m_db.sql;
    std::vector<TextRow> rows;
    std::vector<qint64> keys;
    const int handle = sql.runQuery(QStringLiteral("select * from data"));
    if (handle) {
        QStringList texts;
        sql.queryFirst(handle);
        while (!sql.queryAtEnd(handle)) {
            keys.push_back(recordKeyFromValue(sql.queryRead(handle, QStringLiteral("F_ID"))));
            texts.clear();
            for (const QString &column : listColumns())
                texts << sql.queryRead(handle, column).toString();
            rows.push_back(TextRow::fromTexts(texts));
            sql.queryNext(handle);
        }
        sql.closeQuery(handle);
    }
    m_list->setRows(std::move(rows), std::move(keys), {0, 1, 2, 3, 4, 5, 6, 7});
}

void MainWindow::fillCustomerCombos()
{
    RecordCursor &cursor = m_db.cursor;
    cursor.openTable(QStringLiteral("kehu"), QString());
    m_customer->clear();
    m_customer1->clear();
    m_customer->addItem(MainTexts::noCustomer);
    m_customer1->addItem(MainTexts::noCustomer);
    const int n = cursor.recordCount();
    for (int i = 0; i < n; ++i) {
        const QString name = cursor.readText(QStringLiteral("K_KH"));
        m_customer->addItem(name);
        m_customer1->addItem(name);
        cursor.moveNext();
    }
    cursor.closeTable();
    m_customer->setCurrentIndex(0);
    m_customer1->setCurrentIndex(0);
}

void MainWindow::showAllServers()
{
    appState().listMode = 0;
    fillServerList();
}

void MainWindow::search()
{
    appState().listMode = 1;
    const QString condition = searchCondition(m_searchField->currentIndex(), m_searchText->text());
    if (condition.isNull())
        return; // no field chosen: the filter and the list stay as they are
    appState().listFilter = condition;
    fillServerList();
}

void MainWindow::filterByCustomer(QComboBox *combo)
{
    appState().listMode = 1;
    const QString name = combo->currentText();
    if (textCompare(name, MainTexts::allServersName) == 0)
        appState().listMode = 0; // a customer named 服务器列表 lists every server
    else
        appState().listFilter = customerCondition(name);
    fillServerList();
}

void MainWindow::modifySelectedServer()
{
    const int row = m_list->selectedRow();
    if (row < 0 || m_list->cellText(row, 0).isEmpty()) {
        MessageBox::show(MainTexts::badSelection, MsgStyle::Error, std::nullopt, this);
        return;
    }
    // The same server open already: bring its window forward rather than open a second one.
    const qint64 key = m_list->itemValue(row);
    for (ServerEditWindow *open : editWindows()) {
        if (open->serverKey() == key) {
            open->raise();
            open->activateWindow();
            return;
        }
    }
    auto *editor = new ServerEditWindow(*this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    m_editWindows.removeAll(nullptr);
    m_editWindows << editor;
    editor->show();
}

void MainWindow::deleteSelectedServer()
{
    const int row = m_list->selectedRow();
    if (row < 0) {
        MessageBox::show(MainTexts::badSelection, MsgStyle::Error, std::nullopt, this);
        return;
    }
    if (MessageBox::show(MainTexts::deleteQuestion, MsgStyle::OkCancelQuestion, MainTexts::infoTitle, this) !=
        MsgAnswer::Ok)
        return;
    // The row's own record key decides what is deleted, so the server the row shows goes and no
    // other, whatever search or filter the list is under.
    const bool deleted =
        deleteOneRecord(m_db.cursor, QStringLiteral("data"), serverKeyCondition(m_list->itemValue(row)));
    fillServerList();
    if (deleted)
        MessageBox::show(MainTexts::deleted, MsgStyle::Information, MainTexts::infoTitle, this);
    else
        MessageBox::show(kWriteFailedText, MsgStyle::Error, kNoticeTitle, this);
}

void MainWindow::openAddWindow()
{
    ServerAddWindow window(*this);
    window.exec();
}

void MainWindow::openSettingsWindow()
{
    SettingsWindow window(*this);
    window.exec();
}
