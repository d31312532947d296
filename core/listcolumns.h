#pragma once

#include "core/records.h"
#include "core/schema.h"

#include <QString>
#include <array>

// The main list's eight columns, described once: the list, the export, the sort, kavro-db and the
// engines all take them from here.
struct ListColumn {
    QString title;
    int width;                    // in the main window, pixels
    QString ServerRecord::*field; // the record text the column shows
    ServerColumn column;          // where that text is stored
    bool date;                    // holds a date: sorted and read as one
};

inline constexpr int kListColumnCount = 8;
const std::array<ListColumn, kListColumnCount> &listColumns();
