#pragma once

#include "core/fileops/sheetreader.h"
#include "core/registerdb.h"

// What importing a sheet's servers would do, found before anything is written.

// A row that keeps the sheet (or, when only good rows are imported, the row) from being imported:
// its row number in the sheet, its IP, and why (every reason, joined by "；").
struct SheetProblem {
    int sheetRow = 0;
    QString ip;
    QString what; // "IP 为空", "不是IP地址", "表格中重复…", "已存在", "到期时间不是日期：…"
};

// What the import does with rows that have problems and with the IPs already stored.
enum class SheetMode {
    RefuseAll,    // 有问题时全部不导入: any problem, a stored IP included, stores nothing
    SkipStored,   // 跳过已存在的服务器: rows of stored IPs are left out; any other problem stores nothing
    GoodRowsOnly, // 只导入没有问题的行: the rows without a problem are stored; the others come back
    UpdateStored, // 更新已存在的服务器: a row of a stored IP rewrites that server's mapped fields
};

struct SheetOptions {
    SheetMode mode = SheetMode::RefuseAll;
    // When updating: an empty cell empties its field (otherwise the stored text stays).
    bool blankClears = false;
    // The fields the sheet has a column for (0 编号 ... 7 备注); an update rewrites only these.
    std::vector<int> mappedFields;
};

// One stored server an update changes: as read, as it will be, and which fields differ.
struct SheetChange {
    int sheetRow = 0;
    ServerRecord before;
    ServerRecord after;
    std::vector<int> fields;
};

struct SheetPlan {
    SheetMode mode = SheetMode::RefuseAll;
    std::vector<SheetServer> toStore;   // in the sheet's order, with their rows in the sheet
    std::vector<SheetProblem> problems; // every one, in the sheet's order
    QStringList newCustomers;           // named in the sheet and not yet stored ("新客户")
    int alreadyStored = 0;              // rows left out because their IP is stored (when skipping)
    std::vector<SheetChange> changes;   // stored servers the sheet changes (when updating)
    int unchanged = 0;                  // rows of stored servers that change nothing (when updating)
    // Whether the plan may be stored: something to store, and no problem unless only good rows go in.
    bool storable() const;
    // The pairs RegisterDb::addServersWithCustomers takes.
    std::vector<std::pair<ServerRecord, ServerRecord>> changePairs() const;
};

// The plan for these rows. Problems: an empty IP, one that is no address (a footer's total named as
// such), a date cell that is no date or carries a time other than 00:00, an IP twice in the sheet
// (only good rows: both rows), a stored IP (unless skipping or updating), a text no cell or register
// holds. The rows' servers are moved into the plan; extra columns' lines end up in 备注.
Read<SheetPlan> planSheetImport(RegisterDb &db, std::vector<SheetServer> rows, const SheetOptions &options);
// The plan of the first two choices.
Read<SheetPlan> planSheetImport(RegisterDb &db, std::vector<SheetServer> rows, bool skipExisting);

// The rows with problems as a sheet to fix and import again: the header row (when there is one)
// and each such row's cells as the source has them, with a 问题 column after the last.
QList<QStringList> rejectedRows(const SheetTable &table, const SheetHeader &header,
                                const std::vector<SheetProblem> &problems);

// A list field's title as the problems and changes name it (到期时间 ...).
QString fieldTitle(int field);
