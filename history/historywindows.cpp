#include "history/historywindows.h"

#include "core/registerdb.h"
#include "history/historywindows_names.h"
#include "widgets/fixedwindow.h"
#include "widgets/messagebox.h"
#include "widgets/readonlytable.h"

#include <QFormLayout>
#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {
// Column widths that show a time and a who whole; the last column takes the rest.
void sizeColumns(QTableWidget *list, const std::vector<QString> &widest)
{
    const QFontMetrics metrics(list->font());
    for (int c = 0; c < int(widest.size()); ++c)
        list->setColumnWidth(c, metrics.horizontalAdvance(widest[size_t(c)]) + 16);
}

// Esc closes a window that only shows.
void closeOnEscape(QWidget *window)
{
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    QObject::connect(escape, &QShortcut::activated, window, &QWidget::close);
}

void setRow(QTableWidget *list, int row, const QStringList &cells)
{
    for (int c = 0; c < cells.size(); ++c) {
        list->setItem(row, c, readOnlyCell(cells[c]));
    }
}

// The reason a history could not be read, in words.
QString failureText(const Status &status)
{
    return status.fault == Fault::Denied ? HistoryTexts::noReadRight : HistoryTexts::readFailed.arg(status.reason);
}
} // namespace

ServerViewWindow::ServerViewWindow(RegisterDb &db, const ServerRecord &server, QWidget *parent)
    : QWidget(parent), m_key(server.key)
{
    setObjectName(HistoryNames::viewWindow);
    makeFixedWindow(this, HistoryTexts::viewTitle, 600, 470);
    auto *layout = new QVBoxLayout(this);
    auto *fields = new QWidget(this);
    fields->setObjectName(HistoryNames::fields);
    auto *form = new QFormLayout(fields);
    form->setContentsMargins(0, 0, 0, 0);
    auto line = [&](const QString &label, const QString &text) {
        auto *box = new QLineEdit(text, fields);
        box->setReadOnly(true);
        box->setAccessibleName(label);
        box->setCursorPosition(0);
        form->addRow(label + QStringLiteral("："), box);
    };
    line(QStringLiteral("服务器编号"), server.number);
    line(QStringLiteral("服务器IP"), server.ip);
    line(QStringLiteral("所在机柜"), server.cabinet);
    line(QStringLiteral("客户名称"), server.customer);
    line(QStringLiteral("上架时间"), server.racked);
    line(QStringLiteral("到期时间"), server.expires);
    line(QStringLiteral("下架时间"), server.unracked);
    auto *remark = new QPlainTextEdit(fields);
    remark->setReadOnly(true);
    remark->setAccessibleName(QStringLiteral("备注"));
    // As in the modify window: a remark too long to lay out is shown in part.
    remark->setPlainText(server.remark.left(20000));
    remark->setFixedHeight(48);
    form->addRow(QStringLiteral("备注："), remark);
    layout->addWidget(fields);

    auto *note = new QLabel(this);
    note->setObjectName(HistoryNames::note);
    note->setWordWrap(true);
    auto *list = newReadOnlyTable(
        this, HistoryNames::entries,
        {QStringLiteral("时间"), QStringLiteral("修改人"), QStringLiteral("操作"), QStringLiteral("修改内容")});
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
    sizeColumns(list,
                {QStringLiteral("2026-12-31 23:59:59"), QStringLiteral("(其他程序)ops@desk"), QStringLiteral("操作")});
    closeOnEscape(this);
    layout->addWidget(note);
    layout->addWidget(list, 1);
    if (!db.hasHistory()) {
        note->setText(HistoryTexts::noHistory);
        list->hide();
        return;
    }
    const Read<std::vector<HistoryEntry>> entries = db.serverHistory(server.key);
    if (!entries.ok()) {
        note->setText(failureText(entries.status));
        list->hide();
        return;
    }
    if (entries.value.empty())
        note->setText(HistoryTexts::noEntries);
    else
        note->hide();
    list->setRowCount(int(entries.value.size()));
    for (int row = 0; row < int(entries.value.size()); ++row) {
        const HistoryEntry &e = entries.value[size_t(row)];
        setRow(list, row, {e.localTime(), e.who, e.action, e.describe()});
    }
}

DeletedServersWindow::DeletedServersWindow(RegisterDb &db, QWidget *parent) : QWidget(parent), m_db(db)
{
    setObjectName(HistoryNames::deletedWindow);
    makeFixedWindow(this, HistoryTexts::deletedTitle, 640, 400);
    auto *layout = new QVBoxLayout(this);
    m_note = new QLabel(this);
    m_note->setObjectName(HistoryNames::note);
    m_note->setWordWrap(true);
    m_list = newReadOnlyTable(this, HistoryNames::deletedList,
                              {QStringLiteral("删除时间"), QStringLiteral("删除人"), QStringLiteral("服务器编号"),
                               QStringLiteral("服务器IP"), QStringLiteral("客户名称")});
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 6);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    sizeColumns(m_list, {QStringLiteral("2026-12-31 23:59:59"), QStringLiteral("(其他程序)ops@desk"),
                         QStringLiteral("服务器编号"), QStringLiteral("255.255.255.255")});
    closeOnEscape(this);
    layout->addWidget(m_note);
    layout->addWidget(m_list, 1);
    auto *buttons = new QHBoxLayout;
    m_group = new QPushButton(this);
    m_group->setObjectName(HistoryNames::groupButton);
    m_group->hide();
    buttons->addWidget(m_group);
    buttons->addStretch(1);
    m_restore = new QPushButton(HistoryNames::restoreButton, this);
    m_restore->setObjectName(HistoryNames::restoreButton);
    auto *close = new QPushButton(HistoryNames::closeButton, this);
    close->setObjectName(HistoryNames::closeButton);
    buttons->addWidget(m_restore);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(m_restore, &QPushButton::clicked, this, &DeletedServersWindow::restoreChosen);
    connect(m_group, &QPushButton::clicked, this, &DeletedServersWindow::chooseSameDeletion);
    connect(m_list, &QTableWidget::currentCellChanged, this, &DeletedServersWindow::offerSameDeletion);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    reload();
}

void DeletedServersWindow::reload()
{
    m_entries.clear();
    m_groups.clear();
    m_groupOf.clear();
    m_list->setRowCount(0);
    m_note->show();
    m_restore->setEnabled(false);
    m_group->hide();
    if (!m_db.hasHistory()) {
        m_note->setText(HistoryTexts::noHistory);
        return;
    }
    Read<std::vector<HistoryEntry>> deleted = m_db.deletedServers();
    if (!deleted.ok()) {
        m_note->setText(failureText(deleted.status));
        return;
    }
    m_entries = std::move(deleted.value);
    if (m_entries.empty()) {
        m_note->setText(HistoryTexts::noneDeleted);
        return;
    }
    m_groups = deletionGroups(m_entries);
    m_groupOf.assign(m_entries.size(), 0);
    for (size_t g = 0; g < m_groups.size(); ++g)
        for (size_t i : m_groups[g])
            m_groupOf[i] = g;
    m_note->hide();
    // A desk that may only read sees the deletions but cannot store them again.
    m_restore->setEnabled(m_db.isWritable());
    m_list->setRowCount(int(m_entries.size()));
    for (int row = 0; row < int(m_entries.size()); ++row) {
        const HistoryEntry &e = m_entries[size_t(row)];
        const ServerRecord s = e.serverBefore();
        setRow(m_list, row, {e.localTime(), e.who, s.number, s.ip, s.customer});
    }
    m_list->selectRow(0);
    offerSameDeletion();
}

void DeletedServersWindow::offerSameDeletion()
{
    const int row = m_list->currentRow();
    const size_t count = row >= 0 && size_t(row) < m_groupOf.size() ? m_groups[m_groupOf[size_t(row)]].size() : 0;
    m_group->setText(HistoryTexts::sameDeletion.arg(count));
    m_group->setVisible(count > 1);
}

void DeletedServersWindow::chooseSameDeletion()
{
    const int row = m_list->currentRow();
    if (row < 0 || size_t(row) >= m_groupOf.size())
        return;
    QItemSelection rows;
    for (size_t i : m_groups[m_groupOf[size_t(row)]])
        rows.select(m_list->model()->index(int(i), 0), m_list->model()->index(int(i), m_list->columnCount() - 1));
    m_list->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
    m_list->setFocus();
}

void DeletedServersWindow::restoreChosen()
{
    std::vector<HistoryEntry> chosen;
    for (const QModelIndex &index : m_list->selectionModel()->selectedRows())
        if (index.row() < int(m_entries.size()))
            chosen.push_back(m_entries[size_t(index.row())]);
    if (chosen.empty()) {
        MessageBox::show(HistoryTexts::chooseOne, MsgStyle::Warning, std::nullopt, this);
        return;
    }
    // Oldest deletion first, so that the servers come back in the order they were stored.
    std::sort(chosen.begin(), chosen.end(), [](const HistoryEntry &a, const HistoryEntry &b) { return a.id < b.id; });
    const Read<std::vector<qint64>> restored = m_db.restoreServers(chosen);
    if (restored.status.fault == Fault::Duplicate) {
        MessageBox::show(chosen.size() == 1 ? kIpExistsText : HistoryTexts::ipTakenAmong.arg(restored.status.reason),
                         MsgStyle::Ok, kNoticeTitle, this);
        return;
    }
    if (!restored.ok()) {
        qWarning("restoring servers failed: %s", qPrintable(restored.status.reason));
        MessageBox::showWriteFailure(restored.status.fault, this);
        return;
    }
    emit serversRestored(restored.value);
    MessageBox::show(chosen.size() == 1 ? HistoryTexts::restored : HistoryTexts::restoredMany.arg(chosen.size()),
                     MsgStyle::Information, std::nullopt, this);
    reload();
}
