// kavro-db: makes and converts register databases.
#include "core/datetext.h"
#include "core/engine/engine.h"
#include "core/fileops/backup.h"
#include "core/fileops/exporter.h"
#include "core/fileops/legacyimport.h"
#include "core/fileops/registercopy.h"
#include "core/fileops/sheetimport.h"
#include "core/listcolumns.h"
#include "core/paths.h"
#include "core/registerdb.h"
#include "core/schema.h"
#include "core/text.h"
#include "tools/commandline.h"
#include "tools/mdbreader.h"

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <span>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {
const QString kDaysNeeded = QStringLiteral("%1 needs a whole number of days from 0 to 3650, not \"%2\"");

int fail(const QString &message)
{
    std::fprintf(stderr, "kavro-db: %s\n", qPrintable(withoutPasswords(message)));
    return 1;
}

int copy(const QStringList &args)
{
    if (args.size() != 2)
        return misuse("copy", QStringLiteral("needs SRC and DEST"));
    CopyReport report;
    const Status copied = copyRegister(args[0], args[1], &report);
    if (!copied.ok())
        return fail(QStringLiteral("copy failed, nothing was written: %1").arg(copied.reason));
    std::printf("copied %s to %s: %lld servers, %lld customers, %lld administrator rows\n",
                qPrintable(withoutPasswords(args[0])), qPrintable(withoutPasswords(args[1])), report.servers,
                report.customers, report.administrators);
    for (const QString &column : report.repeating)
        std::printf("note: the values of %s repeat; its index there is not unique\n", qPrintable(column));
    return 0;
}

int upgrade(const QString &location)
{
    QStringList added;
    QString error;
    if (!upgradeRegister(location, &added, &error))
        return fail(QStringLiteral("upgrade failed, nothing was changed: %1").arg(error));
    if (added.isEmpty())
        std::printf("%s has everything already; nothing was changed\n", qPrintable(withoutPasswords(location)));
    for (const QString &what : added)
        std::printf("added to %s: %s\n", qPrintable(withoutPasswords(location)), qPrintable(what));
    return 0;
}

// The narrowing filters, which go with any other: --contains TEXT and --ip-range RANGE. Takes
// them from args; false (after saying why) when one is given wrongly.
bool takeNarrowing(QStringList *args, std::vector<ServerQuery> *narrowing, QString *problem)
{
    for (qsizetype i = 0; i < args->size();) {
        const QString arg = args->at(i);
        if (arg != QLatin1String("--contains") && arg != QLatin1String("--ip-range")) {
            ++i;
            continue;
        }
        if (i + 1 >= args->size()) {
            *problem = QStringLiteral("%1 needs a value").arg(arg);
            return false;
        }
        const QString value = args->at(i + 1);
        args->remove(i, 2);
        if (arg == QLatin1String("--contains")) {
            narrowing->push_back(ServerQuery::containing(value));
        } else if (const std::optional<ServerQuery> range = ServerQuery::ipRange(value)) {
            narrowing->push_back(*range);
        } else {
            *problem = QStringLiteral("--ip-range %1 is no IP block; write it as 192.168.1.0/24, "
                                      "192.168.1.10-192.168.1.50 or 192.168.1.")
                           .arg(value);
            return false;
        }
    }
    return true;
}

// The keys query selects in order, of those the narrowing queries select as well.
Read<std::vector<qint64>> narrowedKeys(RegisterDb &db, const ServerQuery &query, const ServerOrder &order,
                                       const std::vector<ServerQuery> &narrowing)
{
    Read<std::vector<qint64>> keys = db.serverKeys(query, order);
    for (const ServerQuery &also : narrowing) {
        if (!keys.ok())
            break;
        Read<std::vector<qint64>> those = db.serverKeys(also); // in stored order: key order
        if (!those.ok())
            return those;
        std::erase_if(keys.value,
                      [&](qint64 key) { return !std::binary_search(those.value.begin(), those.value.end(), key); });
    }
    return keys;
}

// Opens the one register a command names; the exit code when it cannot.
std::optional<int> openNamed(const QString &command, const QStringList &paths, RegisterDb &db)
{
    if (paths.size() != 1)
        return misuse(command, QStringLiteral("needs one register (DB)"));
    const Status opened = db.open(paths[0]);
    if (!opened.ok())
        return fail(QStringLiteral("%1 is not a register that can be opened: %2").arg(paths[0], opened.reason));
    return std::nullopt;
}

// A text as one field of a tab-separated line: a tab or line break inside it would break the line
// apart, so each is shown as a blank.
QString tsvField(QString text)
{
    return text.replace(QLatin1Char('\t'), QLatin1Char(' '))
        .replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

int history(QStringList args)
{
    QString ip, since, who;
    QStringList paths;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if ((arg == QLatin1String("--ip") || arg == QLatin1String("--since") || arg == QLatin1String("--who")) &&
            !args.isEmpty()) {
            const QString value = args.takeFirst();
            if (arg == QLatin1String("--ip"))
                ip = value;
            else if (arg == QLatin1String("--who"))
                who = value;
            else if (!QDate::fromString(value, Qt::ISODate).isValid())
                return misuse("history", QStringLiteral("--since needs a date as yyyy-MM-dd, not \"%1\"").arg(value));
            else
                since = value;
        } else {
            paths << arg;
        }
    }
    RegisterDb db;
    if (const std::optional<int> refused = openNamed("history", paths, db))
        return *refused;
    if (!db.hasHistory())
        return fail(QStringLiteral("%1 keeps no change history; kavro-db upgrade adds it").arg(paths[0]));
    const Read<std::vector<HistoryEntry>> entries = db.history(ip, since, who);
    if (!entries.ok())
        return fail(QStringLiteral("cannot read the history: %1").arg(entries.status.reason));
    const bool terminal = ::isatty(STDOUT_FILENO);
    const auto field = tsvField;
    if (!terminal)
        std::printf("时间\t修改人\t表\t操作\t记录\t名称\t修改内容\n");
    for (const HistoryEntry &e : entries.value) {
        const QString line =
            QStringList{e.localTime(), field(e.who),       e.table, e.action, QString::number(e.record),
                        field(e.name), field(e.describe())}
                .join(terminal ? QStringLiteral("  ") : QStringLiteral("\t"));
        std::printf("%s\n", line.toUtf8().constData());
    }
    return 0;
}

int importSheet(QStringList args)
{
    QString sheetName, rejects;
    bool skipExisting = false, dryRun = false, update = false, blankClears = false, extras = false;
    QStringList paths;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QLatin1String("--sheet") && !args.isEmpty())
            sheetName = args.takeFirst();
        else if (arg == QLatin1String("--good-rows") && !args.isEmpty())
            rejects = args.takeFirst();
        else if (arg == QLatin1String("--skip-existing"))
            skipExisting = true;
        else if (arg == QLatin1String("--dry-run"))
            dryRun = true;
        else if (arg == QLatin1String("--update"))
            update = true;
        else if (arg == QLatin1String("--blank-clears"))
            blankClears = true;
        else if (arg == QLatin1String("--extra-to-remark"))
            extras = true;
        else if (arg.startsWith(QLatin1String("--")))
            return misuse("import-sheet", QStringLiteral("unknown option %1").arg(arg));
        else
            paths << arg;
    }
    if (paths.size() != 2)
        return misuse("import-sheet", QStringLiteral("needs DB and FILE.xlsx|FILE.csv"));
    if (int(skipExisting) + int(update) + int(!rejects.isEmpty()) > 1)
        return misuse("import-sheet",
                      QStringLiteral("--skip-existing, --good-rows and --update are choices: one at most"));
    if (blankClears && !update)
        return misuse("import-sheet", QStringLiteral("--blank-clears goes with --update"));
    if (!rejects.isEmpty() && !exportFormatFor(rejects))
        return misuse("import-sheet", QStringLiteral("REJECTS must end in .xlsx or .csv"));
    const QString file = paths[1];
    QString error;
    std::vector<SheetTable> sheets;
    if (file.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        std::optional<SheetTable> table = readCsvFile(file, &error);
        if (!table)
            return fail(error);
        sheets.push_back(std::move(*table));
    } else if (file.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive)) {
        std::optional<std::vector<SheetTable>> book = readXlsxFile(file, &error);
        if (!book)
            return fail(error);
        sheets = std::move(*book);
    } else {
        return fail(QStringLiteral("%1: the file name must end in .xlsx or .csv").arg(file));
    }
    // The sheet named, or the first whose header names an IP column.
    const SheetTable *table = nullptr;
    std::optional<SheetHeader> header;
    for (const SheetTable &t : sheets) {
        if (!sheetName.isEmpty() && t.name != sheetName)
            continue;
        header = findHeader(t);
        if (header && header->has(1)) {
            table = &t;
            break;
        }
    }
    if (!table)
        return fail(sheetName.isEmpty()
                        ? QStringLiteral("%1 has no sheet with a header row and an IP column").arg(file)
                        : QStringLiteral("%1 has no sheet %2 with a header row and an IP column").arg(file, sheetName));
    RegisterDb db;
    if (const std::optional<int> refused = openNamed("import-sheet", {paths[0]}, db))
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
        return fail(
            QStringLiteral("%1 problem(s) in sheet %2; nothing was stored").arg(plan.problems.size()).arg(sheetTitle));
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
        std::fprintf(update ? stderr : stdout,
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
        return fail(QStringLiteral("another program stored IP %1 meanwhile; nothing was stored").arg(stored.reason));
    if (stored.fault == Fault::Changed)
        return fail(QStringLiteral("another program changed the server of IP %1 meanwhile; nothing was stored")
                        .arg(stored.reason));
    if (!stored.ok())
        return fail(QStringLiteral("nothing was stored: %1")
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

int init(const QString &path)
{
    if (const Status made = createRegister(path); !made.ok())
        return fail(made.reason);
    std::printf("created %s\n"
                "administrator account: %s, password: %s (change them in 功能设置 after the first login)\n",
                qPrintable(withoutPasswords(path)), qPrintable(kDefaultAdminAccount),
                qPrintable(kDefaultAdminPassword));
    return 0;
}

void printReport(const ImportReport &report)
{
    std::printf("brought over: %d servers, %d customers, %d administrator rows\n", report.servers, report.customers,
                report.administrators);
    for (const QString &note : report.notes)
        std::printf("note: %s\n", qPrintable(note));
}

int import(QStringList args)
{
    int codePage = 936;
    bool inPlace = false;
    QStringList paths;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QLatin1String("--in-place")) {
            inPlace = true;
        } else if (arg == QLatin1String("--codepage") && !args.isEmpty()) {
            bool ok = false;
            codePage = args.takeFirst().toInt(&ok);
            if (!ok || codePage <= 0)
                return misuse("import", QStringLiteral("--codepage needs a code page number"));
        } else {
            paths << arg;
        }
    }
    for (const QString &path : paths)
        if (!locationIsFile(path))
            return fail(QStringLiteral("an Access file is brought over into a register file; kavro-db copy then "
                                       "takes that file into a PostgreSQL database"));
    MdbReader reader(codePage);
    ImportReport report;
    QString error;
    if (inPlace && paths.size() == 1) {
        QString backup;
        if (!importInPlace(reader, paths[0], &report, &backup, &error))
            return fail(error);
        printReport(report);
        std::printf("converted %s; the Access file is kept as %s\n", qPrintable(withoutPasswords(paths[0])),
                    qPrintable(withoutPasswords(backup)));
        return 0;
    }
    if (inPlace || paths.size() != 2)
        return misuse("import", QStringLiteral("needs OLD.mdb and NEW, or --in-place and the program's kavrodb.mdb"));
    if (!importRegister(reader, paths[0], paths[1], &report, &error))
        return fail(error);
    printReport(report);
    std::printf("written %s\n", qPrintable(withoutPasswords(paths[1])));
    return 0;
}
// One line of standard input without its line end; on a terminal the typing is not shown.
bool readSecretLine(const char *prompt, QString *line)
{
    const bool terminal = ::isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::fprintf(stderr, "%s", prompt);
        std::fflush(stderr);
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string text;
    int c;
    bool any = false;
    while ((c = std::getchar()) != EOF) {
        any = true;
        if (c == '\n')
            break;
        text.push_back(char(c));
    }
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    *line = QString::fromUtf8(text);
    return any;
}

int setAdmin(const QString &path, const QString &account)
{
    if (account.isEmpty())
        return fail(QStringLiteral("the account must not be empty"));
    QString password, again;
    if (!readSecretLine("new password: ", &password) || password.isEmpty())
        return fail(QStringLiteral("no password was given; nothing was changed"));
    if (::isatty(STDIN_FILENO) && (!readSecretLine("again: ", &again) || again != password))
        return fail(QStringLiteral("the two passwords differ; nothing was changed"));
    // What the login window could not take would lock everybody out.
    for (const auto &[what, text] : {std::pair{"account", account}, std::pair{"password", password}}) {
        const QString refusal = loginBoxRefusal(text);
        if (!refusal.isEmpty())
            return fail(
                QStringLiteral("the %1 cannot be used: %2; nothing was changed").arg(QLatin1String(what), refusal));
    }
    RegisterDb db;
    const Status opened = db.open(path);
    if (!opened.ok())
        return fail(QStringLiteral("%1 is not a register that can be opened: %2").arg(path, opened.reason));
    const Status replaced = db.replaceAdministrator(account, password);
    if (!replaced.ok())
        return fail(QStringLiteral("the administrator was not changed: %1").arg(replaced.reason));
    std::printf("administrator of %s is now %s\n", qPrintable(withoutPasswords(path)), qPrintable(account));
    return 0;
}
int expiring(QStringList args)
{
    std::vector<ServerQuery> narrowing;
    QString narrowingProblem;
    if (!takeNarrowing(&args, &narrowing, &narrowingProblem))
        return misuse("expiring", narrowingProblem);
    int within = kExpirySoonDays;
    bool withRetired = false;
    QStringList paths;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QLatin1String("--include-retired")) {
            withRetired = true;
            continue;
        }
        if (arg == QLatin1String("--within") && args.isEmpty())
            return misuse("expiring", QStringLiteral("--within needs a value"));
        if (arg == QLatin1String("--within")) {
            const QString value = args.takeFirst();
            const std::optional<int> days = dayCountFromText(value);
            if (!days)
                return misuse("expiring", kDaysNeeded.arg(QStringLiteral("--within"), value));
            within = *days;
        } else {
            paths << arg;
        }
    }
    RegisterDb db;
    if (const std::optional<int> refused = openNamed("expiring", paths, db))
        return *refused;
    const Read<std::vector<qint64>> keys =
        narrowedKeys(db, ServerQuery::expiringWithin(within, withRetired), ServerOrder{4, false}, narrowing);
    if (!keys.ok())
        return fail(QStringLiteral("cannot read the servers: %1").arg(keys.status.reason));
    const bool terminal = ::isatty(STDOUT_FILENO);
    const QDate today = QDate::currentDate();
    if (!terminal)
        std::printf("服务器编号\t服务器IP\t所在机柜\t客户\t到期时间\t剩余天数%s\n", withRetired ? "\t已下架" : "");
    const auto field = tsvField;
    constexpr size_t kChunk = 256;
    for (size_t first = 0; first < keys.value.size(); first += kChunk) {
        const size_t count = std::min(kChunk, keys.value.size() - first);
        const Read<std::vector<ServerRecord>> servers =
            db.servers(std::span<const qint64>(keys.value.data() + first, count));
        if (!servers.ok())
            return fail(QStringLiteral("cannot read the servers: %1").arg(servers.status.reason));
        for (const ServerRecord &server : servers.value) {
            if (server.key < 0)
                continue; // deleted meanwhile
            const Expiry expiry = expiryOf(server.expires, server.unracked, today);
            const bool retired = expiry.state == Expiry::Retired;
            QStringList fields{
                field(server.number),
                field(server.ip),
                field(server.cabinet),
                field(server.customer),
                field(server.expires),
                terminal ? expiryNote(expiryOf(server.expires, {}, today)) : QString::number(expiry.days)};
            // Retired servers are listed only when asked for, and marked.
            if (withRetired)
                fields << (terminal ? (retired ? QStringLiteral("已下架 ") + server.unracked : QString())
                                    : (retired ? field(server.unracked) : QString()));
            const QString line = fields.join(terminal ? QStringLiteral("  ") : QStringLiteral("\t"));
            std::printf("%s\n", line.toUtf8().constData());
        }
    }
    if (terminal && keys.value.empty())
        std::printf("no server expires within %d days\n", within);
    return 0;
}
int exportList(QStringList args)
{
    std::vector<ServerQuery> narrowing;
    QString narrowingProblem;
    if (!takeNarrowing(&args, &narrowing, &narrowingProblem))
        return misuse("export", narrowingProblem);
    QStringList paths;
    std::optional<ServerQuery> query;
    QString field, equals, customer;
    bool hasEquals = false;
    ServerOrder order;
    bool force = false;
    int filters = 0;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QLatin1String("--force")) {
            force = true;
        } else if (args.isEmpty() && arg.startsWith(QLatin1String("--"))) {
            return misuse("export", QStringLiteral("%1 needs a value").arg(arg));
        } else if (arg == QLatin1String("--field")) {
            field = args.takeFirst();
        } else if (arg == QLatin1String("--equals")) {
            equals = args.takeFirst();
            hasEquals = true;
        } else if (arg == QLatin1String("--customer")) {
            customer = args.takeFirst();
            query = ServerQuery::equal(ServerQuery::Field::Customer, customer);
            ++filters;
        } else if (arg == QLatin1String("--expiring-within")) {
            const QString value = args.takeFirst();
            const std::optional<int> days = dayCountFromText(value);
            if (!days)
                return misuse("export", kDaysNeeded.arg(QStringLiteral("--expiring-within"), value));
            query = ServerQuery::expiringWithin(*days);
            ++filters;
        } else if (arg == QLatin1String("--sort")) {
            QString column = args.takeFirst();
            if (column.endsWith(QLatin1String(":desc"))) {
                order.descending = true;
                column.chop(5);
            }
            order.column = int(serverListTitles().indexOf(column));
            if (order.column < 0)
                return misuse(
                    "export",
                    QStringLiteral("unknown column \"%1\" for --sort; the columns are: %2 (add :desc for descending)")
                        .arg(column, serverListTitles().join(QLatin1Char(' '))));
        } else {
            paths << arg;
        }
    }
    if (!field.isEmpty() || hasEquals) {
        static const QStringList fields = {QStringLiteral("服务器编号"), QStringLiteral("服务器IP"), QString(),
                                           QStringLiteral("所在机柜")};
        const int index = field.isEmpty() ? -1 : int(fields.indexOf(field));
        if (index < 0 || !hasEquals)
            return misuse(
                "export",
                QStringLiteral("--field needs one of 服务器编号, 服务器IP, 所在机柜, and --equals TEXT with it"));
        query = ServerQuery::fromSearchField(index, equals);
        ++filters;
    }
    if (paths.size() != 2 || filters > 1)
        return misuse("export", paths.size() != 2 ? QStringLiteral("needs DB and OUT.xlsx|OUT.csv")
                                                  : QStringLiteral("takes one FILTER at a time"));
    const QString out = paths[1];
    const std::optional<ExportFormat> format = exportFormatFor(out);
    if (!format)
        return fail(QStringLiteral("%1: the file name must end in .xlsx or .csv").arg(out));
    if (!force && (QFileInfo::exists(out) || QFileInfo(out).isSymLink()))
        return fail(QStringLiteral("%1 already exists; nothing was written (--force replaces it)").arg(out));
    RegisterDb db;
    const Status opened = db.open(paths[0]);
    if (!opened.ok())
        return fail(QStringLiteral("%1 is not a register that can be opened: %2").arg(paths[0], opened.reason));
    const Read<std::vector<qint64>> keys = narrowedKeys(db, query.value_or(ServerQuery::all()), order, narrowing);
    if (!keys.ok())
        return fail(QStringLiteral("cannot read the servers: %1").arg(keys.status.reason));
    // A customer name that neither a customer nor a server has is a mistake, not an empty list.
    if (!customer.isNull() && keys.value.empty()) {
        const Read<QStringList> names = db.customerNames();
        if (!names.ok())
            return fail(QStringLiteral("cannot read the customers: %1").arg(names.status.reason));
        if (!names.value.contains(customer))
            return fail(QStringLiteral("%1 has no customer named \"%2\"; nothing was written").arg(paths[0], customer));
    }
    const ExportResult result = exportServers(db, keys.value, out, *format);
    if (!result.status.ok())
        return fail(QStringLiteral("export failed, nothing was written: %1").arg(result.status.reason));
    std::printf("exported %lld servers to %s\n", result.servers, qPrintable(withoutPasswords(out)));
    return 0;
}
QString describe(const RegisterCounts &counts)
{
    return QStringLiteral("%1 servers, %2 customers, %3 bytes")
        .arg(counts.servers)
        .arg(counts.customers)
        .arg(counts.bytes);
}

int backup(const QStringList &args)
{
    if (args.size() != 2)
        return misuse("backup", QStringLiteral("needs DB and DEST"));
    if (!locationIsFile(args[0])) {
        // The server's own tool makes a consistent copy while desks keep working.
        std::fprintf(stderr, "kavro-db: a PostgreSQL register is backed up with pg_dump (restored with pg_restore);\n"
                             "nothing was copied. The command:\n");
        std::printf("pg_dump --format=custom --file=%s '%s'\n", qPrintable(withoutPasswords(args[1])),
                    qPrintable(withoutPasswords(args[0]).replace(QLatin1Char('\''), QLatin1String("'\\''"))));
        return 3;
    }
    RegisterCounts counts;
    const Status copied = backupRegister(args[0], args[1], &counts);
    if (!copied.ok())
        return fail(QStringLiteral("backup failed, nothing was written: %1").arg(copied.reason));
    std::printf("backed up %s to %s: %s; integrity_check ok\n", qPrintable(withoutPasswords(args[0])),
                qPrintable(withoutPasswords(args[1])), qPrintable(describe(counts)));
    return 0;
}

int check(const QStringList &args)
{
    if (args.size() != 1)
        return misuse("check", QStringLiteral("needs one register (DB)"));
    if (!locationIsFile(args[0])) {
        RegisterDb db;
        const Status opened = db.open(args[0]);
        if (!opened.ok()) {
            std::printf("error: %s\n%s is damaged or not a register\n", qPrintable(withoutPasswords(opened.reason)),
                        qPrintable(withoutPasswords(args[0])));
            return 1;
        }
        const Read<ExpirySummary> summary = db.expirySummary();
        const Read<std::vector<CustomerRecord>> customers = db.customers();
        if (!summary.ok() || !customers.ok()) {
            std::printf("error: %s\n",
                        qPrintable(withoutPasswords(summary.ok() ? customers.status.reason : summary.status.reason)));
            return 1;
        }
        std::printf("tables and columns: complete\n%lld servers, %lld customers\n"
                    "(the server keeps its own storage sound; pg_amcheck checks it further)\n",
                    summary.value.servers, qlonglong(customers.value.size()));
        QStringList warnings = db.securityWarnings();
        // The servers' texts, a page at a time.
        const Read<std::vector<qint64>> keys = db.serverKeys(ServerQuery{});
        if (!keys.ok()) {
            std::printf("error: %s\n", qPrintable(withoutPasswords(keys.status.reason)));
            return 1;
        }
        TextFindings findings;
        constexpr size_t kPage = 2000;
        for (size_t first = 0; first < keys.value.size(); first += kPage) {
            const Read<std::vector<ServerRecord>> page = db.servers(
                std::span<const qint64>(keys.value.data() + first, std::min(kPage, keys.value.size() - first)));
            if (!page.ok()) {
                std::printf("error: %s\n", qPrintable(withoutPasswords(page.status.reason)));
                return 1;
            }
            for (const ServerRecord &s : page.value)
                if (s.key >= 0)
                    findings.look(s);
        }
        warnings << findings.warnings();
        for (const QString &warning : warnings)
            std::printf("warning: %s\n", qPrintable(warning));
        std::printf("%s is sound (%lld warnings)\n", qPrintable(withoutPasswords(args[0])), qlonglong(warnings.size()));
        return 0;
    }
    if (!QFileInfo::exists(args[0])) {
        std::printf("%s does not exist\n", qPrintable(args[0]));
        return 1;
    }
    const CheckReport report = checkRegister(args[0]);
    for (const QString &problem : report.problems)
        std::printf("error: %s\n", qPrintable(withoutPasswords(problem)));
    if (!report.sound) {
        std::printf("%s is damaged or not a register\n", qPrintable(withoutPasswords(args[0])));
        return 1;
    }
    std::printf("integrity_check: %s\ntables and columns: complete\n%s\n", qPrintable(report.integrity),
                qPrintable(describe(report.counts)));
    for (const QString &warning : report.warnings)
        std::printf("warning: %s\n", qPrintable(warning));
    std::printf("%s is sound (%lld warnings)\n", qPrintable(withoutPasswords(args[0])),
                qlonglong(report.warnings.size()));
    return 0;
}

int restore(const QStringList &args)
{
    if (args.size() != 2)
        return misuse("restore", QStringLiteral("needs BACKUP and DB"));
    if (!locationIsFile(args[0]) || !locationIsFile(args[1]))
        return fail(QStringLiteral("a PostgreSQL register is restored with pg_restore from pg_dump's copy; to bring a "
                                   "file into a database, use kavro-db copy"));
    QString kept;
    RegisterCounts counts;
    const Status restored = restoreRegister(args[0], args[1], &kept, &counts);
    if (!restored.ok())
        return fail(restored.reason);
    std::printf("restored %s from %s: %s\nthe register before the restore is kept as %s\n",
                qPrintable(withoutPasswords(args[1])), qPrintable(withoutPasswords(args[0])),
                qPrintable(describe(counts)), qPrintable(kept));
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // A file-size limit makes writes fail (and their files get cleaned up) instead of ending the
    // process half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList args = app.arguments().mid(1);
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QLatin1String("--version") || command == QLatin1String("-v")) {
        std::printf("kavro-db %s\n", KAVRO_VERSION);
        return 0;
    }
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (const std::optional<int> ended = screenArguments(command, &args))
        return *ended;
    if (command == QLatin1String("init") && args.size() == 1)
        return init(args[0]);
    if (command == QLatin1String("import-sheet"))
        return importSheet(args);
    if (command == QLatin1String("history"))
        return history(args);
    if (command == QLatin1String("upgrade") && args.size() == 1)
        return upgrade(args[0]);
    if (command == QLatin1String("copy"))
        return copy(args);
    if (command == QLatin1String("import"))
        return import(args);
    if (command == QLatin1String("backup"))
        return backup(args);
    if (command == QLatin1String("check"))
        return check(args);
    if (command == QLatin1String("restore"))
        return restore(args);
    if (command == QLatin1String("export"))
        return exportList(args);
    if (command == QLatin1String("expiring"))
        return expiring(args);
    if (command == QLatin1String("set-admin") && args.size() == 2)
        return setAdmin(args[0], args[1]);
    if (command == QLatin1String("init") || command == QLatin1String("upgrade"))
        return misuse(command, QStringLiteral("needs one register (DB)"));
    if (command == QLatin1String("set-admin"))
        return misuse(command, QStringLiteral("needs DB and ACCOUNT"));
    return usage();
}
