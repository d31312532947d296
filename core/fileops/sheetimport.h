#pragma once

#include "core/fileops/sheetreader.h"
#include "core/registerdb.h"

// What importing a sheet's servers would do, found before anything is written.

// A row that keeps the sheet from being imported: its row number in the sheet, its IP, and why.
struct SheetProblem {
    int sheetRow = 0;
    QString ip;
    QString what; // "IP 为空", "表格中重复", "已存在"
};

struct SheetPlan {
    std::vector<SheetServer> toStore;   // in the sheet's order, with their rows in the sheet
    std::vector<SheetProblem> problems; // every one, in the sheet's order
    QStringList newCustomers;           // named in the sheet and not yet stored ("新客户")
    int alreadyStored = 0;              // rows left out because their IP is stored (when skipping)
};

// The plan for these rows: an empty IP, an IP twice in the sheet and an IP already stored are
// problems (a stored IP only skips its row with skipExisting). The rows' servers are moved into
// the plan.
Read<SheetPlan> planSheetImport(RegisterDb &db, std::vector<SheetServer> rows, bool skipExisting);
