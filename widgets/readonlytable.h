#pragma once

#include <QStringList>

class QTableWidget;
class QTableWidgetItem;
class QWidget;

// A table that only shows: titled columns, whole rows selected one at a time, no row numbers, the
// last column taking what is left, named (object and accessible name) for tests and screen readers.
QTableWidget *newReadOnlyTable(QWidget *parent, const QString &name, const QStringList &titles);

// A cell whose tooltip shows its whole text (a column may be too narrow for it).
QTableWidgetItem *readOnlyCell(const QString &text);
