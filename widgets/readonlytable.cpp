#include "widgets/readonlytable.h"

#include <QHeaderView>
#include <QTableWidget>

QTableWidget *newReadOnlyTable(QWidget *parent, const QString &name, const QStringList &titles)
{
    auto *table = new QTableWidget(0, int(titles.size()), parent);
    table->setObjectName(name);
    table->setAccessibleName(name);
    table->setHorizontalHeaderLabels(titles);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->setWordWrap(false);
    return table;
}

QTableWidgetItem *readOnlyCell(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setToolTip(text);
    return item;
}
