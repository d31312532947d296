#include "widgets/reportlist.h"

#include <algorithm>

#include <QHeaderView>
#include <QMouseEvent>

KeyedRowModel::KeyedRowModel(QStringList headers, QObject *parent)
    : QAbstractTableModel(parent), m_headers(std::move(headers))
{
}

QString KeyedRowModel::cell(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return {};
    return data(index(row, column), Qt::DisplayRole).toString();
}

int KeyedRowModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant KeyedRowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_headers.size())
        return m_headers[section];
    return {};
}

void TextRowsModel::setRows(std::vector<QStringList> rows, std::vector<qint64> keys)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_keys = std::move(keys);
    m_keys.resize(m_rows.size(), -1);
    endResetModel();
}

qint64 TextRowsModel::key(int row) const
{
    return row >= 0 && row < int(m_keys.size()) ? m_keys[size_t(row)] : -1;
}

int TextRowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant TextRowsModel::data(const QModelIndex &index, int role) const
{
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || !index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    return m_rows[size_t(index.row())].value(index.column());
}

ReportList::ReportList(const QList<Column> &columns, QWidget *parent) : QTableView(parent)
{
    for (const Column &c : columns)
        m_titles << c.title;
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setMinimumSectionSize(0);
    setRowModel(new TextRowsModel(m_titles, this));
    for (int i = 0; i < columns.size(); ++i) {
        setColumnWidth(i, columns[i].width);
        if (columns[i].width == 0)
            hideColumn(i);
    }
    setStyleSheet(QStringLiteral("QTableView { background: white; }"));
}

void ReportList::setRowModel(KeyedRowModel *model)
{
    // Column widths and hidden columns belong to the header and survive the change of model.
    QList<int> widths;
    for (int i = 0; i < m_titles.size(); ++i)
        widths << columnWidth(i);
    KeyedRowModel *old = m_model;
    model->setParent(this);
    m_model = model;
    setModel(model);
    if (old && old != model)
        old->deleteLater();
    if (old)
        for (int i = 0; i < widths.size(); ++i)
            setColumnWidth(i, widths[i]);
    watchSelection();
}

void ReportList::watchSelection()
{
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const int row = selectedRow();
        if (row >= 0)
            emit rowSelected(row);
    });
}

void ReportList::setRows(std::vector<QStringList> rows, std::vector<qint64> keys)
{
    if (auto *texts = qobject_cast<TextRowsModel *>(m_model))
        texts->setRows(std::move(rows), std::move(keys));
}

int ReportList::rowCount() const
{
    return m_model->rowCount();
}

int ReportList::selectedRow() const
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isRowSelected(current.row(), {}))
        return current.row();
    const std::vector<int> rows = selectedRows();
    return rows.empty() ? -1 : rows.front();
}

std::vector<int> ReportList::selectedRows() const
{
    std::vector<int> rows;
    for (const QItemSelectionRange &range : selectionModel()->selection())
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.push_back(r);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int ReportList::selectedCount() const
{
    return int(selectedRows().size());
}

void ReportList::setSelectedRow(int row)
{
    if (row < 0 || row >= rowCount()) {
        clearSelection();
        return;
    }
    selectRow(row);
    scrollTo(m_model->index(row, 0));
}

QString ReportList::cellText(int row, int column) const
{
    return m_model->cell(row, column);
}

qint64 ReportList::itemValue(int row) const
{
    return m_model->key(row);
}

void ReportList::mousePressEvent(QMouseEvent *event)
{
    QTableView::mousePressEvent(event);
    if (event->button() == Qt::RightButton)
        emit rightButtonPressed(event->globalPosition().toPoint());
}
