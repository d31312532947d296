#include "tools/commandline.h"

#include <cstdio>
#include <vector>

const char *usageText()
{
    return "usage:\n"
           "  DB (and SRC, DEST) is a register file or the connection URI of a PostgreSQL database,\n"
           "  postgresql://USER@HOST:PORT/DBNAME?sslmode=... (the password from ~/.pgpass or PGPASSWORD)\n"
           "  kavro-db init DB\n"
           "      create a new register with the default administrator and customer; a database must\n"
           "      not hold the register's tables yet\n"
           "  kavro-db upgrade DB\n"
           "      add what a register made earlier lacks (the index that finds any part of a text),\n"
           "      in one transaction; records are left as they are; says what it added\n"
           "  kavro-db history DB [--ip IP] [--since yyyy-MM-dd] [--who NAME]\n"
           "      the change history, oldest first: when (local time), who, what, which record and\n"
           "      what changed; tab-separated with a header when not written to a terminal\n"
           "  kavro-db import-sheet DB FILE.xlsx|FILE.csv [--sheet NAME] [--skip-existing | --good-rows REJECTS\n"
           "                       | --update [--blank-clears]] [--extra-to-remark] [--dry-run]\n"
           "      bring a spreadsheet's servers in, all or nothing; the problems go to standard error\n"
           "      as tab-separated lines (row, IP, problem); exit 0 stored, 1 refused, 2 usage;\n"
           "      --skip-existing leaves out the rows of IPs already stored;\n"
           "      --good-rows stores the rows without a problem and writes the others, with a 问题\n"
           "        column, to REJECTS (.xlsx or .csv) to fix and import again;\n"
           "      --update rewrites the stored servers of the sheet's IPs (the columns it has; an\n"
           "        empty cell leaves the field unless --blank-clears) and adds the new ones, in one\n"
           "        transaction; prints each change as row, IP, field, old, new (tab-separated);\n"
           "      --extra-to-remark appends the columns that name no field to 备注 as 列名：值 lines\n"
           "  kavro-db copy SRC DEST\n"
           "      copy a whole register, keys and texts exact, all or nothing; DEST must be a new\n"
           "      file or a database without the register's tables (or with all three empty)\n"
           "  kavro-db import [--codepage N] OLD.mdb NEW\n"
           "      bring a register kept in an Access file over into a new register at NEW\n"
           "  kavro-db import [--codepage N] --in-place PROGRAM_DIR/db/kavrodb.mdb\n"
           "      convert the Access file the program uses; the Access file is kept beside it\n"
           "      as kavrodb.mdb.access-backup\n"
           "  --codepage N: the code page of texts in an Access 97 file (default 936, GBK)\n"
           "  kavro-db set-admin DB ACCOUNT\n"
           "      replace the administrator account; the password is read from standard input\n"
           "      (asked twice, not shown, on a terminal); also the way out of a forgotten password\n"
           "  kavro-db expiring DB [--within N] [--include-retired] [--contains TEXT] [--ip-range RANGE]\n"
           "      servers past their expiry date or reaching it within N days (default 30),\n"
           "      soonest first; tab-separated with a header when not written to a terminal;\n"
           "      retired servers (taken off the rack once their term ended) only with\n"
           "      --include-retired, marked with their 下架时间\n"
           "  kavro-db export DB OUT.xlsx|OUT.csv [FILTER] [--sort COLUMN[:desc]] [--force]\n"
           "      write the servers as the main window lists them; FILTER is one of\n"
           "        --field 服务器编号|服务器IP|所在机柜 --equals TEXT\n"
           "        --customer NAME\n"
           "        --expiring-within N\n"
           "      and either of these with any filter:\n"
           "        --contains TEXT    any of the eight texts holds TEXT (Latin letters in either case)\n"
           "        --ip-range RANGE   10.1.0.0/16, 10.1.2.10-10.1.2.50 or 192.168.1.\n"
           "      COLUMN is a list title: 编号 服务器IP 所在机柜 上架时间 到期时间 下架时间 客户 备注;\n"
           "      an existing OUT is refused unless --force\n"
           "  kavro-db backup DB DEST\n"
           "      a consistent, checked copy of the register, also while the program is writing;\n"
           "      for a PostgreSQL register it prints the pg_dump command that does this (exit 3)\n"
           "  kavro-db check DB\n"
           "      read-only check: integrity, tables and columns, and findings about the data;\n"
           "      exit 0 sound (findings are warnings), 1 damaged or not a register, 2 usage\n"
           "  kavro-db restore BACKUP DB\n"
           "      replace DB with a sound copy; DB is kept first as DB.before-restore-DATE-TIME\n";
}

// A missing or unknown command: the whole usage.
int usage()
{
    std::fputs(usageText(), stderr);
    return 2;
}

// The usage lines of one command (or the whole usage for an empty one).
QString commandUsage(const QString &command)
{
    if (command.isEmpty())
        return QString::fromUtf8(usageText());
    QString out;
    bool inCommand = false;
    for (const QString &line : QString::fromUtf8(usageText()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("  kavro-db ")))
            inCommand = line.startsWith(QStringLiteral("  kavro-db %1 ").arg(command)) ||
                        line == QStringLiteral("  kavro-db %1").arg(command);
        else if (!line.startsWith(QLatin1String("    ")))
            inCommand = false;
        if (inCommand)
            out += line + QLatin1Char('\n');
    }
    return out;
}

// A known command given what it cannot take: what was wrong, then that command's own usage.
int misuse(const QString &command, const QString &what)
{
    std::fprintf(stderr, "kavro-db %s: %s\nusage:\n%s", qPrintable(command), qPrintable(what),
                 commandUsage(command).toUtf8().constData());
    return 2;
}

namespace {
// The options each command takes: flags, and options followed by a value.
struct CommandOptions {
    const char *command;
    QStringList flags;
    QStringList valued;
};
const std::vector<CommandOptions> &commandOptions()
{
    static const QStringList narrowing{QStringLiteral("--contains"), QStringLiteral("--ip-range")};
    static const std::vector<CommandOptions> table = {
        {"init", {}, {}},
        {"upgrade", {}, {}},
        {"copy", {}, {}},
        {"import", {QStringLiteral("--in-place")}, {QStringLiteral("--codepage")}},
        {"import-sheet",
         {QStringLiteral("--skip-existing"), QStringLiteral("--dry-run"), QStringLiteral("--update"),
          QStringLiteral("--blank-clears"), QStringLiteral("--extra-to-remark")},
         {QStringLiteral("--sheet"), QStringLiteral("--good-rows")}},
        {"history", {}, {QStringLiteral("--ip"), QStringLiteral("--since"), QStringLiteral("--who")}},
        {"set-admin", {}, {}},
        {"expiring", {QStringLiteral("--include-retired")}, QStringList{QStringLiteral("--within")} + narrowing},
        {"export",
         {QStringLiteral("--force")},
         QStringList{QStringLiteral("--field"), QStringLiteral("--equals"), QStringLiteral("--customer"),
                     QStringLiteral("--expiring-within"), QStringLiteral("--sort")} +
             narrowing},
        {"backup", {}, {}},
        {"check", {}, {}},
        {"restore", {}, {}},
    };
    return table;
}

} // namespace

bool takesValue(const QString &command, const QString &option)
{
    for (const CommandOptions &o : commandOptions())
        if (command == QLatin1String(o.command))
            return o.valued.contains(option);
    return false;
}

// Before a command reads its arguments: --help (anywhere before --) prints its usage; an option it
// does not take is named; an argument after -- that begins with - is a path, given as ./-name so
// that no command reads it as an option. Returns an exit code when the run ends here.
std::optional<int> screenArguments(const QString &command, QStringList *args)
{
    const CommandOptions *options = nullptr;
    for (const CommandOptions &o : commandOptions())
        if (command == QLatin1String(o.command))
            options = &o;
    QStringList out;
    bool positionalOnly = false;
    for (qsizetype i = 0; i < args->size(); ++i) {
        const QString arg = args->at(i);
        if (positionalOnly) {
            out << (arg.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + arg : arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            positionalOnly = true;
            continue;
        }
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            std::fputs(commandUsage(command).toUtf8().constData(), stdout);
            return 0;
        }
        if (!options || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            out << arg;
            continue;
        }
        if (options->valued.contains(arg)) {
            out << arg;
            if (i + 1 < args->size())
                out << args->at(++i); // a value may begin with -
            continue;
        }
        if (options->flags.contains(arg)) {
            out << arg;
            continue;
        }
        return misuse(command, QStringLiteral("unknown option %1 (a path beginning with - goes after --)").arg(arg));
    }
    *args = out;
    return std::nullopt;
}
