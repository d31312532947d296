#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QTableView>
#include <vector>

// A table model whose rows each carry a record key, with fixed column titles.
class KeyedRowModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit KeyedRowModel(QStringList headers, QObject *parent = nullptr);

    virtual qint64 key(int row) const = 0;
    QString cell(int row, int column) const;

    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList m_headers;
};

// A small list held whole: every row's texts and key in memory.
class TextRowsModel : public KeyedRowModel {
    Q_OBJECT
public:
    using KeyedRowModel::KeyedRowModel;

    void setRows(std::vector<QStringList> rows, std::vector<qint64> keys);
    qint64 key(int row) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    std::vector<QStringList> m_rows;
    std::vector<qint64> m_keys;
};

// A list in report view: a header, one row per record, single selection of whole rows. Every row
// carries its record's key. It shows a TextRowsModel unless given another model.
class ReportList : public QTableView {
    Q_OBJECT
public:
    struct Column {
        QString title;
        int width;
    };
    explicit ReportList(const QList<Column> &columns, QWidget *parent = nullptr);

    QStringList titles() const { return m_titles; }
    // Shows this model instead (the list takes it over); its columns are the list's columns.
    void setRowModel(KeyedRowModel *model);
    KeyedRowModel *rowModel() const { return m_model; }

    // Rows for the built-in model.
    void setRows(std::vector<QStringList> rows, std::vector<qint64> keys);
    int rowCount() const;
    // The row commands act on: the current row when it is selected, else the first selected; -1
    // when none.
    int selectedRow() const;
    // Every selected row, in order (read from the selection's ranges: Ctrl+A on a million rows is
    // one range).
    std::vector<int> selectedRows() const;
    int selectedCount() const;
    void setSelectedRow(int row);
    QString cellText(int row, int column) const;
    qint64 itemValue(int row) const;

signals:
    void rowSelected(int row);
    void rightButtonPressed(const QPoint &globalPos);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    void watchSelection();

    QStringList m_titles;
    KeyedRowModel *m_model = nullptr;
};
