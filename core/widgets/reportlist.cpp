#include "core/widgets/reportlist.h"

#include <QHeaderView>
#include <QMouseEvent>

TextRowModel::TextRowModel(QStringList headers, QObject *parent)
    : QAbstractTableModel(parent), m_headers(std::move(headers))
{
}

void TextRowModel::setRows(std::vector<TextRow> rows, std::vector<qint64> keys, std::vector<int> columnMap)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_keys = std::move(keys);
    m_keys.resize(m_rows.size(), -1);
    m_columnMap = std::move(columnMap);
    endResetModel();
}

QString TextRowModel::cell(int row, int column) const
{
    if (row < 0 || row >= int(m_rows.size()) || column < 0 || column >= int(m_columnMap.size()))
        return {};
    return m_rows[size_t(row)].text(m_columnMap[size_t(column)]);
}

qint64 TextRowModel::key(int row) const
{
    return row >= 0 && row < int(m_keys.size()) ? m_keys[size_t(row)] : -1;
}

int TextRowModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TextRowModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant TextRowModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    return cell(index.row(), index.column());
}

QVariant TextRowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_headers.size())
        return m_headers[section];
    return {};
}

ReportList::ReportList(const QList<Column> &columns, QWidget *parent) : QTableView(parent)
{
    QStringList titles;
    for (const Column &c : columns)
        titles << c.title;
    m_model = new TextRowModel(titles, this);
    setModel(m_model);
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
    for (int i = 0; i < columns.size(); ++i) {
        setColumnWidth(i, columns[i].width);
        if (columns[i].width == 0)
            hideColumn(i);
    }
    setStyleSheet(QStringLiteral("QTableView { background: white; }"));
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const int row = selectedRow();
        if (row >= 0)
            emit rowSelected(row);
    });
}

void ReportList::setRows(std::vector<TextRow> rows, std::vector<qint64> keys, std::vector<int> columnMap)
{
    m_model->setRows(std::move(rows), std::move(keys), std::move(columnMap));
}

void ReportList::clearRows()
{
    m_model->setRows({}, {}, {});
}

int ReportList::rowCount() const
{
    return m_model->rowCount();
}

int ReportList::selectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
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
