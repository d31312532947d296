#include "tools/cli/command.h"

#include "core/paths.h"
#include "tools/cli/commands.h"

#include <cstdio>

namespace {
const QCommandLineOption &helpOption()
{
    static const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    return help;
}

// The option an argument names: --name, -name or --name=VALUE give "name"; empty for no option.
QString optionNameOf(const QString &arg)
{
    if (!arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-") || arg == QLatin1String("--"))
        return {};
    return arg.section(QLatin1Char('='), 0, 0).mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
}
} // namespace

Command::Command(const QString &name, const QString &usage, const QList<QCommandLineOption> &options)
    : m_name(name), m_usage(usage), m_options(options)
{
}

Command::~Command() = default;

std::optional<int> Command::parse(const QStringList &arguments, QCommandLineParser *parser,
                                  QStringList *positionals) const
{
    // -name is the option "name", as --name: a mistyped option is named whole, never read as letters.
    parser->setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser->addOption(helpOption());
    parser->addOptions(m_options);
    const bool parsed = parser->parse(QStringList{QStringLiteral("kavro-db")} + arguments);
    if (parser->isSet(helpOption())) {
        std::fputs(m_usage.toUtf8().constData(), stdout);
        return 0;
    }
    if (!parsed) {
        const QStringList unknown = parser->unknownOptionNames();
        if (unknown.isEmpty())
            return misuse(parser->errorText());
        // Named as it was typed.
        QString typed = QStringLiteral("--") + unknown.first();
        for (const QString &arg : arguments) {
            if (arg == QLatin1String("--"))
                break;
            if (optionNameOf(arg) == unknown.first()) {
                typed = arg.section(QLatin1Char('='), 0, 0);
                break;
            }
        }
        return misuse(QStringLiteral("unknown option %1 (a path beginning with - goes after --)").arg(typed));
    }
    positionals->clear();
    for (const QString &arg : parser->positionalArguments())
        *positionals << (arg.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + arg : arg);
    return std::nullopt;
}

int Command::execute(const QStringList &arguments) const
{
    QCommandLineParser parser;
    QStringList positionals;
    if (const std::optional<int> ended = parse(arguments, &parser, &positionals))
        return *ended;
    return run(parser, positionals);
}

bool Command::takesValue(const QString &option) const
{
    // --name or -name, not --name=VALUE.
    const QString name = optionNameOf(option);
    if (name.isEmpty() || option.contains(QLatin1Char('=')))
        return false;
    for (const QCommandLineOption &o : m_options)
        if (!o.valueName().isEmpty() && o.names().contains(name))
            return true;
    return false;
}

int Command::misuse(const QString &what) const
{
    std::fprintf(stderr, "kavro-db %s: %s\nusage:\n%s", qPrintable(m_name), qPrintable(what),
                 m_usage.toUtf8().constData());
    return 2;
}

const std::vector<std::unique_ptr<Command>> &Command::all()
{
    static const std::vector<std::unique_ptr<Command>> commands = [] {
        std::vector<std::unique_ptr<Command>> list;
        list.push_back(makeInitCommand());
        list.push_back(makeUpgradeCommand());
        list.push_back(makeHistoryCommand());
        list.push_back(makeImportSheetCommand());
        list.push_back(makeCopyCommand());
        list.push_back(makeImportCommand());
        list.push_back(makeSetAdminCommand());
        list.push_back(makeExpiringCommand());
        list.push_back(makeExportCommand());
        list.push_back(makeBackupCommand());
        list.push_back(makeCheckCommand());
        list.push_back(makeRestoreCommand());
        return list;
    }();
    return commands;
}

const Command *Command::named(const QString &name)
{
    for (const auto &command : all())
        if (command->name() == name)
            return command.get();
    return nullptr;
}

QString Command::wholeUsage()
{
    QString text = QStringLiteral(
        "usage:\n"
        "  DB (and SRC, DEST) is a register file or the connection URI of a PostgreSQL database,\n"
        "  postgresql://USER@HOST:PORT/DBNAME?sslmode=... (the password from ~/.pgpass or PGPASSWORD)\n");
    for (const auto &command : all())
        text += command->usage();
    return text;
}

int fail(const QString &message)
{
    std::fprintf(stderr, "kavro-db: %s\n", qPrintable(withoutPasswords(message)));
    return 1;
}
