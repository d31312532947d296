#pragma once

#include "core/textrow.h"

#include <QAbstractTableModel>
#include <QTableView>
#include <vector>

// Rows of texts held as TextRow blocks; column c of the list shows text columnMap[c] of a row.
class TextRowModel : public QAbstractTableModel {
public:
    explicit TextRowModel(QStringList headers, QObject *parent = nullptr);

    void setRows(std::vector<TextRow> rows, std::vector<qint64> keys, std::vector<int> columnMap);
    QString cell(int row, int column) const;
    qint64 key(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList m_headers;
    std::vector<TextRow> m_rows;
    std::vector<qint64> m_keys;
    std::vector<int> m_columnMap;
};

// A list in report view: a header, one row per record, single selection of whole rows. Every row
// carries its record's key.
class ReportList : public QTableView {
    Q_OBJECT
public:
    struct Column {
        QString title;
        int width;
    };
    explicit ReportList(const QList<Column> &columns, QWidget *parent = nullptr);

    void setRows(std::vector<TextRow> rows, std::vector<qint64> keys, std::vector<int> columnMap);
    void clearRows();
    int rowCount() const;
    int selectedRow() const; // -1 when none
    void setSelectedRow(int row);
    QString cellText(int row, int column) const;
    qint64 itemValue(int row) const;

signals:
    void rowSelected(int row);
    void rightButtonPressed(const QPoint &globalPos);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    TextRowModel *m_model;
};
