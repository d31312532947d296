// The main window's list: loading, search, customer filters and the commands on a selected server.
#include "bulk/bulkdialogs.h"
#include "core/appstate.h"
#include "core/backgroundsearch.h"
#include "core/datetext.h"
#include "core/fileops/exporter.h"
#include "core/registerdb.h"
#include "core/text.h"
#include "editors/serveraddwindow.h"
#include "editors/servereditwindow.h"
#include "history/historywindows.h"
#include "importer/sheetimportwindow.h"
#include "importer/sheetimportwindow_names.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"
#include "mainwin/serverlistmodel.h"
#include "settings/settingswindow.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"
#include "widgets/offthread.h"
#include "widgets/reportlist.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <memory>

namespace {
// Exports of more rows than this show a progress dialog with 取消.
constexpr size_t kExportProgressRows = 3000;
} // namespace

void MainWindow::startLists()
{
    m_listsTried = true;
    if (m_started || m_shutDown || !m_db->isOpen())
        return;
    m_started = true;
    // Nobody has asked for anything yet: a failure is said in the status bar, not in a box.
    const Read<QStringList> names = m_db->customerNames();
    if (names.ok()) {
        for (QComboBox *combo : {m_customer, m_customer1}) {
            combo->clear();
            combo->addItem(MainTexts::noCustomer);
            combo->addItems(names.value);
        }
    }
    const Status listed = m_model->load(effectiveQuery(), m_order);
    if (listed.ok()) {
        m_shown = effectiveQuery();
        const Read<qint64> version = m_db->changeCounter();
        m_seenVersion = version.ok() ? version.value : -1;
    }
    if (!names.ok() || !listed.ok())
        tellReadFailure(names.ok() ? listed.reason : names.status.reason);
}

void MainWindow::tellReadFailure(const QString &reason)
{
    qWarning("reading the register failed: %s", qPrintable(reason));
    if (watchReconnection())
        return;
    m_statusBar->showMessage(kReadFailedText);
}

bool MainWindow::watchReconnection()
{
    if (!m_db->isReconnecting())
        return false;
    // Said while the server is away; tried again on a timer (and at every step) until it is back.
    m_statusBar->showMessage(MainTexts::reconnecting);
    if (!m_reconnectTimer->isActive())
        m_reconnectTimer->start();
    return true;
}

void MainWindow::tryReconnecting()
{
    if (m_shutDown)
        return;
    const Read<qint64> version = m_db->changeCounter(); // tries again when the pause is over
    if (m_db->isReconnecting()) {
        m_statusBar->showMessage(MainTexts::reconnecting);
        return;
    }
    m_reconnectTimer->stop();
    m_statusBar->clearMessage();
    if (!version.ok())
        return;
    // Back: the list and the summary as the register holds them now.
    if (!m_started) {
        startLists();
        return;
    }
    m_seenVersion = -2;
    followOtherPrograms();
}

ServerQuery MainWindow::effectiveQuery() const
{
    return appState().listMode == 1 ? m_query : ServerQuery::all();
}

bool MainWindow::loadList(const ServerQuery &query)
{
    m_started = true;
    // Whatever a search typed earlier finds, this list is the newer one.
    if (m_background)
        m_background->cancel();
    const Status status = m_model->load(query, m_order);
    if (!status.ok()) {
        // The rows shown stay: an empty list would look like an empty register.
        qWarning("reading the server list failed: %s", qPrintable(status.reason));
        MessageBox::show(kReadFailedText, MsgStyle::Error, std::nullopt, this);
        return false;
    }
    m_shown = query;
    const Read<qint64> version = m_db->changeCounter();
    m_seenVersion = version.ok() ? version.value : -1;
    summaryAfterChange(); // the count shown follows the list
    return true;
}

void MainWindow::followOtherPrograms()
{
    if (!m_started || m_shutDown || (!m_db->isOpen() && !m_db->isReconnecting()))
        return;
    const Read<qint64> version = m_db->changeCounter();
    if (!version.ok()) {
        tellReadFailure(version.status.reason);
        return;
    }
    if (version.value == m_seenVersion)
        return;
    const int selected = m_list->selectedRow();
    const qint64 key = selected >= 0 ? m_list->itemValue(selected) : -1;
    const Status status = m_model->load(m_shown, m_order);
    if (!status.ok()) {
        tellReadFailure(status.reason);
        return;
    }
    m_seenVersion = version.value;
    if (key >= 0)
        m_list->setSelectedRow(m_model->rowOf(key));
    if (m_loggedIn)
        showSummary();
}

bool MainWindow::fillServerList()
{
    return loadList(effectiveQuery());
}

bool MainWindow::reloadServerListBySql()
{
    return loadList(ServerQuery::all());
}

bool MainWindow::fillCustomerCombos()
{
    const Read<QStringList> names = m_db->customerNames();
    if (!names.ok()) {
        qWarning("reading the customers failed: %s", qPrintable(names.status.reason));
        MessageBox::show(kReadFailedText, MsgStyle::Error, std::nullopt, this);
        return false;
    }
    for (QComboBox *combo : {m_customer, m_customer1}) {
        // A customer chosen stays chosen while it is there.
        const QString chosen = combo->currentIndex() > 0 ? combo->currentText() : QString();
        combo->clear();
        combo->addItem(MainTexts::noCustomer);
        combo->addItems(names.value);
        const int again = chosen.isEmpty() ? -1 : combo->findText(chosen, Qt::MatchExactly | Qt::MatchCaseSensitive);
        combo->setCurrentIndex(again > 0 ? again : 0);
    }
    return true;
}

void MainWindow::showAllServers()
{
    appState().listMode = 0;
    fillServerList();
}

void MainWindow::search()
{
    m_typingPause->stop();
    const std::optional<ServerQuery> query =
        ServerQuery::fromSearchField(m_searchField->currentIndex(), m_searchText->text());
    if (!query && m_searchField->currentText() == MainTexts::expiryField) {
        // Not a day count: nothing changes.
        MessageBox::show(MainTexts::badDayCount, MsgStyle::Warning, std::nullopt, this);
        return;
    }
    if (!query && m_searchField->currentText() == MainTexts::ipRangeField) {
        MessageBox::show(MainTexts::badIpRange, MsgStyle::Information, std::nullopt, this);
        return;
    }
    appState().listMode = 1;
    if (!query)
        return; // no field chosen: the query and the list stay as they are
    m_query = *query;
    hintIfNoTextIndex(m_query);
    // A search by any part may read every server: it runs away from the window, as typed ones do.
    if (m_query.field == ServerQuery::Field::Contains && m_background && m_started) {
        m_background->start(m_query, m_order);
        return;
    }
    fillServerList();
}

void MainWindow::searchAsTyped()
{
    if (m_searchField->currentText() != MainTexts::containsField || !m_started || !m_db->isOpen())
        return;
    const ServerQuery query = ServerQuery::containing(m_searchText->text());
    appState().listMode = 1;
    m_query = query;
    hintIfNoTextIndex(query);
    if (!m_background) {
        fillServerList();
        return;
    }
    // The list shows what it shows until the answer comes; a newer keystroke drops this one.
    m_background->start(query, m_order);
}

void MainWindow::showFound(quint64, const ServerQuery &query, const ServerOrder &order, const Status &status,
                           const std::vector<qint64> &keys)
{
    if (m_shutDown || !(order == m_order))
        return; // sorted meanwhile: that load is the newer list
    if (!status.ok()) {
        tellReadFailure(status.reason);
        return;
    }
    const int selected = m_list->selectedRow();
    const qint64 key = selected >= 0 ? m_list->itemValue(selected) : -1;
    m_model->setKeys(keys);
    m_shown = query;
    if (key >= 0)
        m_list->setSelectedRow(m_model->rowOf(key));
    // The totals do not change with a search: the last ones read serve, so that typing never
    // waits for a pass over the whole register.
    if (m_summary && m_loggedIn)
        showStatusText(MainTexts::shownCount.arg(m_model->rowCount()) +
                       MainTexts::summary.arg(m_summary->servers).arg(m_summary->expired).arg(m_summary->soon));
    else
        summaryAfterChange();
}

void MainWindow::hintIfNoTextIndex(const ServerQuery &query)
{
    if (m_hinted || query.field != ServerQuery::Field::Contains || m_db->hasTextIndex())
        return;
    m_hinted = true;
    m_statusAfterHint = m_statusBar->currentMessage();
    m_statusBar->showMessage(MainTexts::noTextIndex);
    m_hintShown->start();
}

void MainWindow::showStatusText(const QString &text)
{
    // The hint stays a few seconds; what came meanwhile is shown after it.
    if (m_hintShown->isActive())
        m_statusAfterHint = text;
    else
        m_statusBar->showMessage(text);
}

void MainWindow::filterByCustomer(QComboBox *combo)
{
    appState().listMode = 1;
    const QString name = combo->currentText();
    if (textCompare(name, MainTexts::allServersName) == 0)
        appState().listMode = 0; // a customer named 服务器列表 lists every server
    else
        m_query = ServerQuery::equal(ServerQuery::Field::Customer, name);
    fillServerList();
}

bool MainWindow::showSummary()
{
    const Read<ExpirySummary> summary = m_db->expirySummary();
    if (!summary.ok()) {
        tellReadFailure(summary.status.reason);
        return false;
    }
    m_summary = summary.value;
    QString text = MainTexts::summary.arg(summary.value.servers).arg(summary.value.expired).arg(summary.value.soon);
    // While a search or filter is in force, how many of them the list shows.
    if (!(m_shown == ServerQuery::all()))
        text.prepend(MainTexts::shownCount.arg(m_model->rowCount()));
    showStatusText(text);
    return true;
}

void MainWindow::setToday(const QDate &today)
{
    m_model->setToday(today);
    if (m_loggedIn)
        showSummary();
}

void MainWindow::scheduleMidnight()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime next(now.date().addDays(1), QTime(0, 0, 1));
    m_midnight->start(int(std::clamp<qint64>(now.msecsTo(next), 1000, 24LL * 3600 * 1000)));
}

void MainWindow::sortByColumn(int column)
{
    QHeaderView *header = m_list->horizontalHeader();
    if (m_order.column != column)
        m_order = {column, false};
    else if (!m_order.descending)
        m_order.descending = true;
    else
        m_order = {};
    header->setSortIndicatorShown(!m_order.isStored());
    if (!m_order.isStored())
        header->setSortIndicator(column, m_order.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    // The selected server stays selected wherever the sort puts it.
    const int selected = m_list->selectedRow();
    const qint64 key = selected >= 0 ? m_list->itemValue(selected) : -1;
    if (loadList(m_shown) && key >= 0)
        m_list->setSelectedRow(m_model->rowOf(key));
}

void MainWindow::summaryAfterChange()
{
    if (m_loggedIn)
        m_summaryTimer->start();
}

void MainWindow::onServerAdded(qint64 key)
{
    summaryAfterChange();
    // What a reload under the current mode and query would show, without reading every row again.
    const ServerQuery query = effectiveQuery();
    if (!(m_shown == query) || !m_order.isStored()) {
        loadList(query);
        return;
    }
    const Read<ServerRecord> added = m_db->server(key);
    if (!added.ok()) {
        loadList(query);
        return;
    }
    if (query.matches(added.value))
        m_model->insertServer(key);
}

void MainWindow::onServerModified(qint64 key)
{
    summaryAfterChange();
    // After a modification the list shows every server; the mode and query stay as they are. A
    // sorted list may have to move the row: it is read again.
    if (m_shown == ServerQuery::all() && m_order.isStored())
        m_model->refreshServer(key);
    else
        reloadServerListBySql();
}

void MainWindow::onServerDeleted(qint64 key)
{
    summaryAfterChange();
    if (m_shown == effectiveQuery())
        m_model->removeServer(key);
    else
        fillServerList();
}

std::optional<ServerRecord> MainWindow::selectedServer()
{
    const int row = m_list->selectedRow();
    if (row < 0 || m_list->cellText(row, 0).isEmpty()) {
        MessageBox::show(MainTexts::badSelection, MsgStyle::Error, std::nullopt, this);
        return std::nullopt;
    }
    const qint64 key = m_list->itemValue(row);
    // The server as stored now, with its key.
    const Read<ServerRecord> server = m_model->record(row);
    if (server.status.fault == Fault::NotFound) {
        MessageBox::show(kServerVanishedText, MsgStyle::Warning, kNoticeTitle, this);
        onServerDeleted(key);
        return std::nullopt;
    }
    if (!server.ok()) {
        qWarning("reading a server failed: %s", qPrintable(server.status.reason));
        MessageBox::show(kReadFailedText, MsgStyle::Error, std::nullopt, this);
        return std::nullopt;
    }
    return server.value;
}

void MainWindow::viewSelectedServer()
{
    const std::optional<ServerRecord> server = selectedServer();
    if (!server)
        return;
    auto *view = new ServerViewWindow(*m_db, *server);
    view->setAttribute(Qt::WA_DeleteOnClose);
    m_viewWindows.removeAll(nullptr);
    m_viewWindows << view;
    view->show();
}

void MainWindow::openDeletedServers()
{
    if (m_deletedWindow) {
        m_deletedWindow->reload();
        m_deletedWindow->raise();
        m_deletedWindow->activateWindow();
        return;
    }
    m_deletedWindow = new DeletedServersWindow(*m_db);
    m_deletedWindow->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_deletedWindow, &DeletedServersWindow::serversRestored, this, [this](const std::vector<qint64> &keys) {
        // A few come into the list one by one; many, and the list is read again.
        if (keys.size() > 200) {
            fillServerList();
            summaryAfterChange();
            return;
        }
        for (qint64 key : keys)
            onServerAdded(key);
    });
    m_deletedWindow->show();
}

void MainWindow::modifySelectedServer()
{
    // The same server open already: bring its window forward rather than open a second one.
    const int row = m_list->selectedRow();
    if (row >= 0 && !m_list->cellText(row, 0).isEmpty()) {
        for (ServerEditWindow *open : editWindows()) {
            if (open->serverKey() == m_list->itemValue(row)) {
                open->raise();
                open->activateWindow();
                return;
            }
        }
    }
    const std::optional<ServerRecord> server = selectedServer();
    if (!server)
        return;
    auto *editor = new ServerEditWindow(*m_db, *server);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    connect(editor, &ServerEditWindow::serverModified, this, &MainWindow::onServerModified);
    connect(editor, &ServerEditWindow::serverVanished, this, &MainWindow::onServerDeleted);
    m_editWindows.removeAll(nullptr);
    m_editWindows << editor;
    editor->show();
}

std::vector<qint64> MainWindow::selectedKeys() const
{
    std::vector<qint64> keys;
    for (int row : m_list->selectedRows())
        keys.push_back(m_list->itemValue(row));
    return keys;
}

std::vector<qint64> MainWindow::selectedKeysOrSay()
{
    std::vector<qint64> keys = selectedKeys();
    if (keys.empty())
        MessageBox::show(MainTexts::badSelection, MsgStyle::Error, std::nullopt, this);
    return keys;
}

std::optional<std::vector<ServerRecord>> MainWindow::storedServers(const std::vector<qint64> &keys)
{
    const Read<std::vector<ServerRecord>> read = m_db->servers(keys);
    if (!read.ok()) {
        qWarning("reading servers failed: %s", qPrintable(read.status.reason));
        MessageBox::show(kReadFailedText, MsgStyle::Error, std::nullopt, this);
        return std::nullopt;
    }
    // A key no longer stored comes back as a record without a key: deleted meanwhile.
    const auto gone =
        std::count_if(read.value.begin(), read.value.end(), [](const ServerRecord &s) { return s.key < 0; });
    if (gone > 0 || read.value.size() != keys.size()) {
        MessageBox::show(MainTexts::bulkDeletedElsewhere.arg(gone > 0 ? gone : 1), MsgStyle::Warning, kNoticeTitle,
                         this);
        fillServerList();
        return std::nullopt;
    }
    return read.value;
}

void MainWindow::saveBulkChange(const std::vector<std::pair<ServerRecord, ServerRecord>> &changes, const QString &said)
{
    const Status saved = m_db->modifyServers(changes);
    fillServerList();
    summaryAfterChange();
    if (saved.ok())
        MessageBox::show(said, MsgStyle::Information, MainTexts::infoTitle, this);
    else if (saved.fault == Fault::Changed || saved.fault == Fault::NotFound)
        MessageBox::show(MainTexts::bulkChangedElsewhere, MsgStyle::Warning, kNoticeTitle, this);
    else
        MessageBox::showWriteFailure(saved.fault, this);
}

void MainWindow::deleteSelectedServers()
{
    const std::vector<qint64> keys = selectedKeysOrSay();
    if (keys.empty())
        return;
    // No is the default: Ctrl+A, Delete and Enter must not empty the register.
    const QString question = m_db->hasHistory() ? MainTexts::bulkDeleteRestorable : MainTexts::bulkDeleteQuestion;
    if (MessageBox::show(question.arg(keys.size()), MsgStyle::YesNoQuestionDefaultNo, MainTexts::infoTitle, this) !=
        MsgAnswer::Yes)
        return;
    const Status deleted = m_db->deleteServers(keys);
    if (deleted.ok()) {
        // A few rows leave the list one by one; many, and the list is read again.
        if (keys.size() > 200)
            fillServerList();
        else
            for (qint64 key : keys)
                m_model->removeServer(key);
        m_list->clearSelection();
        summaryAfterChange();
        MessageBox::show(MainTexts::bulkDeleted.arg(keys.size()), MsgStyle::Information, MainTexts::infoTitle, this);
        return;
    }
    fillServerList();
    if (deleted.fault == Fault::NotFound)
        MessageBox::show(MainTexts::bulkChangedElsewhere, MsgStyle::Warning, kNoticeTitle, this);
    else
        MessageBox::showWriteFailure(deleted.fault, this);
}

void MainWindow::renewSelectedServers()
{
    const std::vector<qint64> keys = selectedKeysOrSay();
    if (keys.empty())
        return;
    RenewDialog dialog(int(keys.size()), this);
    if (dialog.exec() == QDialog::Accepted)
        renewServers(keys, dialog.renewal());
}

bool MainWindow::renewServers(const std::vector<qint64> &keys, const Renewal &renewal)
{
    // 设为 with the date box emptied names no date: nothing is written (no texts rewritten).
    if (!renewal.setTo.isValid() && renewal.months <= 0) {
        MessageBox::show(MainTexts::chooseRenewDate, MsgStyle::Warning, kNoticeTitle, this);
        return false;
    }
    const std::optional<std::vector<ServerRecord>> servers = storedServers(keys);
    if (!servers)
        return false;
    std::vector<std::pair<ServerRecord, ServerRecord>> changes;
    QStringList left;
    for (const ServerRecord &s : *servers) {
        const std::optional<QString> expires = renewedExpiry(s.expires, renewal);
        if (!expires) {
            left << QStringLiteral("%1（%2）").arg(s.ip, s.expires.isEmpty() ? QStringLiteral("空") : s.expires);
            continue;
        }
        ServerRecord changed = s;
        changed.expires = *expires;
        changes.emplace_back(s, std::move(changed));
    }
    if (changes.empty()) {
        MessageBox::show(MainTexts::nothingRenewed, MsgStyle::Warning, kNoticeTitle, this);
        return false;
    }
    saveBulkChange(changes, MainTexts::renewed.arg(changes.size()));
    if (!left.isEmpty())
        MessageBox::show(
            MainTexts::notRenewed.arg(left.size())
                .arg(left.mid(0, 20).join(QLatin1Char('\n')) + (left.size() > 20 ? QStringLiteral("\n…") : QString())),
            MsgStyle::Warning, kNoticeTitle, this);
    return true;
}

void MainWindow::changeCustomerOfSelected()
{
    const std::vector<qint64> keys = selectedKeysOrSay();
    if (keys.empty())
        return;
    const Read<QStringList> names = m_db->customerNames();
    if (!names.ok()) {
        MessageBox::show(kReadFailedText, MsgStyle::Error, std::nullopt, this);
        return;
    }
    CustomerDialog dialog(int(keys.size()), names.value, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (dialog.customer().isEmpty()) {
        MessageBox::show(MainTexts::chooseCustomer, MsgStyle::Warning, kNoticeTitle, this);
        return;
    }
    setCustomerOf(keys, dialog.customer());
}

bool MainWindow::setCustomerOf(const std::vector<qint64> &keys, const QString &customer)
{
    const std::optional<std::vector<ServerRecord>> servers = storedServers(keys);
    if (!servers)
        return false;
    std::vector<std::pair<ServerRecord, ServerRecord>> changes;
    for (const ServerRecord &s : *servers) {
        ServerRecord changed = s;
        changed.customer = customer;
        changes.emplace_back(s, std::move(changed));
    }
    saveBulkChange(changes, MainTexts::customerChanged.arg(changes.size()).arg(customer));
    return true;
}

void MainWindow::retireSelectedServers()
{
    const std::vector<qint64> keys = selectedKeysOrSay();
    if (keys.empty())
        return;
    RetireDialog dialog(int(keys.size()), this);
    if (dialog.exec() == QDialog::Accepted)
        retireServers(keys, dialog.date());
}

bool MainWindow::retireServers(const std::vector<qint64> &keys, const QDate &day)
{
    if (!day.isValid()) {
        MessageBox::show(MainTexts::chooseRetireDate, MsgStyle::Warning, kNoticeTitle, this);
        return false;
    }
    const std::optional<std::vector<ServerRecord>> servers = storedServers(keys);
    if (!servers)
        return false;
    std::vector<std::pair<ServerRecord, ServerRecord>> changes;
    for (const ServerRecord &s : *servers) {
        ServerRecord changed = s;
        changed.unracked = dateToText(day);
        // Off the rack before its term ended: the term ends that day.
        const QDate expires = textToDate(s.expires);
        if (expires.isValid() && expires > day)
            changed.expires = dateToText(day);
        changes.emplace_back(s, std::move(changed));
    }
    saveBulkChange(changes, MainTexts::retired.arg(changes.size()));
    return true;
}

void MainWindow::deleteSelectedServer()
{
    if (m_list->selectedCount() > 1) {
        deleteSelectedServers();
        return;
    }
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
    const qint64 key = m_list->itemValue(row);
    const Status deleted = m_db->deleteServer(key);
    if (deleted.ok() || deleted.fault == Fault::NotFound)
        onServerDeleted(key);
    else
        fillServerList();
    if (deleted.ok())
        MessageBox::show(MainTexts::deleted, MsgStyle::Information, MainTexts::infoTitle, this);
    else if (deleted.fault == Fault::NotFound)
        MessageBox::show(kServerVanishedText, MsgStyle::Warning, kNoticeTitle, this);
    else
        MessageBox::showWriteFailure(deleted.fault, this);
}

std::unique_ptr<ServerAddWindow> MainWindow::makeAddWindow()
{
    auto window = std::make_unique<ServerAddWindow>(*m_db);
    connect(window.get(), &ServerAddWindow::serverAdded, this, &MainWindow::onServerAdded);
    return window;
}

std::unique_ptr<SettingsWindow> MainWindow::makeSettingsWindow()
{
    auto window = std::make_unique<SettingsWindow>(*m_db);
    connect(window.get(), &SettingsWindow::customersChanged, this, &MainWindow::fillCustomerCombos);
    connect(window.get(), &SettingsWindow::serversRenamed, this, [this](const QString &from, const QString &to) {
        // A list filtered by the customer follows it to its new name, and so do the choosers.
        if (m_query.field == ServerQuery::Field::Customer && m_query.text == from) {
            m_query.text = to;
            for (QComboBox *combo : {m_customer, m_customer1})
                if (combo->findText(to) >= 0)
                    combo->setCurrentIndex(combo->findText(to));
        }
        fillServerList();
    });
    return window;
}

namespace {
// Where the file dialogs open: the documents folder, or the home folder where there is none.
QString documentsFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() || !QFileInfo(documents).isDir() ? QDir::homePath() : documents;
}
} // namespace

void MainWindow::exportListAs()
{
    const QString proposed =
        QDir(documentsFolder())
            .filePath(
                QStringLiteral("服务器列表-%1.xlsx").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
    QString filter;
    QString path =
        FileDialog::getSaveFileName(this, MainTexts::exportTitle, proposed, MainTexts::exportFilters, &filter);
    if (path.isEmpty())
        return;
    if (!exportFormatFor(path))
        path += filter.contains(QLatin1String("csv")) ? QLatin1String(".csv") : QLatin1String(".xlsx");
    exportList(path);
}

bool MainWindow::exportList(const QString &path)
{
    const std::optional<ExportFormat> format = exportFormatFor(path);
    if (!format) {
        MessageBox::show(MainTexts::exportFailed.arg(QStringLiteral("只能导出 .xlsx 或 .csv 文件")), MsgStyle::Error,
                         std::nullopt, this);
        return false;
    }
    const std::vector<qint64> keys = m_model->keys();
    // Longer lists show how far the export is and can be cancelled.
    std::unique_ptr<QProgressDialog> progress;
    if (keys.size() > kExportProgressRows) {
        progress =
            std::make_unique<QProgressDialog>(MainTexts::exporting, QStringLiteral("取消"), 0, int(keys.size()), this);
        progress->setWindowTitle(MainTexts::exportTitle);
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(0);
        progress->setValue(0);
    }
    const ExportResult result = exportServers(*m_db, keys, path, *format, [&progress](qint64 written, qint64) {
        if (!progress)
            return true;
        progress->setValue(int(written));
        return !progress->wasCanceled();
    });
    progress.reset();
    if (result.cancelled)
        return false;
    if (!result.status.ok()) {
        qWarning("export to %s failed: %s", qPrintable(path), qPrintable(result.status.reason));
        MessageBox::show(MainTexts::exportFailed.arg(result.status.reason), MsgStyle::Error, std::nullopt, this);
        return false;
    }
    MessageBox::show(MainTexts::exported.arg(result.servers).arg(QDir::toNativeSeparators(path)), MsgStyle::Information,
                     std::nullopt, this);
    return true;
}

void MainWindow::importSheet()
{
    const QString path =
        FileDialog::getOpenFileName(this, SheetImportTexts::title, documentsFolder(), SheetImportTexts::openFilters);
    if (!path.isEmpty())
        importSheetFrom(path);
}

bool MainWindow::importSheetFrom(const QString &path)
{
    if (m_importWindow)
        m_importWindow->close();
    // Read on a thread of its own, the window answering meanwhile: a progress dialog shows at once
    // and its 取消 drops the reading (whatever it still reads is thrown away).
    struct Reading {
        std::optional<std::vector<SheetTable>> sheets;
        QString error;
    };
    auto reading = std::make_shared<Reading>();
    QProgressDialog progress(SheetImportTexts::reading, SheetImportNames::cancelButton, 0, 0, this);
    progress.setWindowTitle(SheetImportTexts::title);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    const bool read = runOffThread(
        &progress,
        [reading, path](OffThread &) { reading->sheets = SheetImportWindow::readFile(path, &reading->error); }, true);
    progress.reset();
    progress.hide();
    if (!read)
        return false;
    std::optional<std::vector<SheetTable>> sheets = std::move(reading->sheets);
    const QString error = reading->error;
    if (!sheets) {
        qWarning("cannot read %s: %s", qPrintable(path), qPrintable(error));
        MessageBox::show(SheetImportTexts::unreadable.arg(error), MsgStyle::Error, std::nullopt, this);
        return false;
    }
    m_importWindow = new SheetImportWindow(*m_db, path, std::move(*sheets), this);
    m_importWindow->setWindowFlag(Qt::Window);
    m_importWindow->setAttribute(Qt::WA_DeleteOnClose);
    m_importWindow->setWindowModality(Qt::WindowModal);
    connect(m_importWindow, &SheetImportWindow::imported, this, [this] {
        // The new servers and customers: every server listed, both customer lists read again.
        fillCustomerCombos();
        showAllServers();
        summaryAfterChange();
    });
    m_importWindow->show();
    return true;
}

void MainWindow::openAddWindow()
{
    if (m_readOnly)
        return;
    makeAddWindow()->exec();
}

void MainWindow::openSettingsWindow()
{
    makeSettingsWindow()->exec();
}

SheetImportWindow *MainWindow::importWindow() const
{
    return m_importWindow;
}
