// kavro-db import-sheet DB FILE: a spreadsheet's servers brought in, checked first.
#include "core/fileops/exporter.h"
#include "core/fileops/sheetimport.h"
#include "core/fileops/sheetreader.h"
#include "core/listcolumns.h"
#include "core/registerdb.h"
#include "tools/cli/command.h"
#include "tools/cli/commands.h"
#include "tools/cli/support.h"

#include <cstdio>

namespace {
class ImportSheet : public Command {
public:
    ImportSheet()
        : Command(QStringLiteral("import-sheet"),
                  QStringLiteral(
                      "  kavro-db import-sheet DB FILE.xlsx|FILE.csv [--sheet NAME] [--skip-existing | --good-rows "
                      "REJECTS\n"
                      "                       | --update [--blank-clears]] [--extra-to-remark] [--dry-run]\n"
                      "      bring a spreadsheet's servers in, all or nothing; the problems go to standard error\n"
                      "      as tab-separated lines (row, IP, problem); exit 0 stored, 1 refused, 2 usage;\n"
                      "      --skip-existing leaves out the rows of IPs already stored;\n"
                      "      --good-rows stores the rows without a problem and writes the others, with a 问题\n"
                      "        column, to REJECTS (.xlsx or .csv) to fix and import again;\n"
                      "      --update rewrites the stored servers of the sheet's IPs (the columns it has; an\n"
                      "        empty cell leaves the field unless --blank-clears) and adds the new ones, in one\n"
                      "        transaction; prints each change as row, IP, field, old, new (tab-separated);\n"
                      "      --extra-to-remark appends the columns that name no field to 备注 as 列名：值 lines\n"),
                  {QCommandLineOption(QStringLiteral("sheet"), {}, QStringLiteral("NAME")),
                   QCommandLineOption(QStringLiteral("good-rows"), {}, QStringLiteral("REJECTS")),
                   QCommandLineOption(QStringLiteral("skip-existing")), QCommandLineOption(QStringLiteral("update")),
                   QCommandLineOption(QStringLiteral("blank-clears")),
                   QCommandLineOption(QStringLiteral("extra-to-remark")),
                   QCommandLineOption(QStringLiteral("dry-run"))})
    {
    }

protected:
    int run(const QCommandLineParser &parser, const QStringList &args) const override
    {
        const QString sheetName = parser.value(QStringLiteral("sheet"));
        const QString rejects = parser.value(QStringLiteral("good-rows"));
        const bool skipExisting = parser.isSet(QStringLiteral("skip-existing"));
        const bool dryRun = parser.isSet(QStringLiteral("dry-run"));
        const bool update = parser.isSet(QStringLiteral("update"));
        const bool blankClears = parser.isSet(QStringLiteral("blank-clears"));
        const bool extras = parser.isSet(QStringLiteral("extra-to-remark"));
        const QStringList &paths = args;
        if (paths.size() != 2)
            return misuse(QStringLiteral("needs DB and FILE.xlsx|FILE.csv"));
        if (int(skipExisting) + int(update) + int(!rejects.isEmpty()) > 1)
            return misuse(QStringLiteral("--skip-existing, --good-rows and --update are choices: one at most"));
        if (blankClears && !update)
            return misuse(QStringLiteral("--blank-clears goes with --update"));
        if (!rejects.isEmpty() && !exportFormatFor(rejects))
            return misuse(QStringLiteral("REJECTS must end in .xlsx or .csv"));
        const QString file = paths[1];
        QString error;
        // The sheet named, or the first whose header names an IP column.
        SheetFileFault fault;
        std::optional<std::vector<SheetTable>> book = readSheetFile(file, &error, &fault);
        if (!book && fault != SheetFileFault::NoSheets)
            return fail(error);
        std::vector<SheetTable> sheets = book ? std::move(*book) : std::vector<SheetTable>{};
        const int found = serverSheet(sheets, sheetName);
        if (found < 0)
            return fail(
                sheetName.isEmpty()
                    ? QStringLiteral("%1 has no sheet with a header row and an IP column").arg(file)
                    : QStringLiteral("%1 has no sheet %2 with a header row and an IP column").arg(file, sheetName));
        const SheetTable *table = &sheets[size_t(found)];
        const std::optional<SheetHeader> header = findHeader(*table);
        RegisterDb db;
        if (const std::optional<int> refused = openRegister(paths[0], db))
            return *refused;
        SheetOptions options;
        options.mode = update               ? SheetMode::UpdateStored
                       : skipExisting       ? SheetMode::SkipStored
                       : !rejects.isEmpty() ? SheetMode::GoodRowsOnly
                                            : SheetMode::RefuseAll;
        options.blankClears = blankClears;
        for (int field : header->fields)
            if (field >= 0)
                options.mappedFields.push_back(field);
        const QString sheetTitle = table->name;
        // The cells are needed again only for the rows given back; otherwise they go as the servers are
        // taken from them.
        std::vector<SheetServer> rows = rejects.isEmpty()
                                            ? sheetServers(std::move(*const_cast<SheetTable *>(table)), *header, extras)
                                            : sheetServers(*table, *header, extras);
        if (rejects.isEmpty()) {
            sheets.clear();
            table = nullptr;
        }
        const Read<SheetPlan> read = planSheetImport(db, std::move(rows), options);
        if (!read.ok())
            return fail(QStringLiteral("cannot read the register: %1").arg(read.status.reason));
        const SheetPlan &plan = read.value;
        for (const SheetProblem &p : plan.problems)
            std::fprintf(stderr, "%d\t%s\t%s\n", p.sheetRow, qPrintable(tsvField(p.ip)), qPrintable(tsvField(p.what)));
        if (!plan.problems.empty() && options.mode != SheetMode::GoodRowsOnly)
            return fail(QStringLiteral("%1 problem(s) in sheet %2; nothing was stored")
                            .arg(plan.problems.size())
                            .arg(sheetTitle));
        if (update) {
            std::printf("row\tIP\tfield\told\tnew\n");
            for (const SheetChange &c : plan.changes)
                for (int field : c.fields)
                    std::printf("%d\t%s\t%s\t%s\t%s\n", c.sheetRow, qPrintable(tsvField(c.before.ip)),
                                qPrintable(fieldTitle(field)),
                                qPrintable(tsvField(c.before.*listColumns()[size_t(field)].field)),
                                qPrintable(tsvField(c.after.*listColumns()[size_t(field)].field)));
        }
        if (dryRun) {
            std::fprintf(
                update ? stderr : stdout,
                "would store %zu servers, update %zu (%d rows unchanged) and create %lld customers from sheet %s "
                "(%d already stored, skipped; %zu rows with problems)\n",
                plan.toStore.size(), plan.changes.size(), plan.unchanged, qlonglong(plan.newCustomers.size()),
                qPrintable(sheetTitle), plan.alreadyStored, plan.problems.size());
            return 0;
        }
        if (!rejects.isEmpty() && !plan.problems.empty()) {
            const Status written = writeTextTable(rejects, *exportFormatFor(rejects), sheetTitle,
                                                  rejectedRows(*table, *header, plan.problems));
            if (!written.ok())
                return fail(QStringLiteral("cannot write %1, nothing was stored: %2").arg(rejects, written.reason));
        }
        if (!plan.storable()) {
            std::fprintf(update ? stderr : stdout, "nothing to store from sheet %s\n", qPrintable(sheetTitle));
            return 0;
        }
        const Status stored = db.addServersWithCustomers(
            plan.toStore.size(), [&](size_t i) -> const ServerRecord & { return plan.toStore[i].server; },
            plan.newCustomers, {}, plan.changePairs());
        if (stored.fault == Fault::Duplicate)
            return fail(
                QStringLiteral("another program stored IP %1 meanwhile; nothing was stored").arg(stored.reason));
        if (stored.fault == Fault::Changed)
            return fail(QStringLiteral("another program changed the server of IP %1 meanwhile; nothing was stored")
                            .arg(stored.reason));
        if (!stored.ok())
            return fail(
                QStringLiteral("nothing was stored: %1")
                    .arg(stored.fault == Fault::DiskFull
                             ? QStringLiteral("the disk is full (%1); the register is as it was").arg(stored.reason)
                             : stored.reason));
        std::FILE *said = update ? stderr : stdout;
        if (update)
            std::fprintf(said, "已更新 %zu 台服务器，", plan.changes.size());
        std::fprintf(said, "已导入 %zu 台服务器，新建 %lld 个客户。\n", plan.toStore.size(),
                     qlonglong(plan.newCustomers.size()));
        if (!rejects.isEmpty() && !plan.problems.empty())
            std::fprintf(said, "%zu 行有问题，已写入 %s\n", plan.problems.size(), qPrintable(rejects));
        return 0;
    }
};
} // namespace

std::unique_ptr<Command> makeImportSheetCommand()
{
    return std::make_unique<ImportSheet>();
}
