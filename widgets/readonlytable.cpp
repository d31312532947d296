#include "widgets/readonlytable.h"

#include "core/text.h"

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
    // A cell is one line: a text of a megabyte is not laid out for it, nor for its tooltip.
    auto *item = new QTableWidgetItem(shortenedForDisplay(text, 256));
    item->setToolTip(shortenedForDisplay(text, 500));
    return item;
}
