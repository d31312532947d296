// kavro-db history DB: the change history, oldest first.
#include "core/registerdb.h"
#include "tools/cli/command.h"
#include "tools/cli/commands.h"
#include "tools/cli/support.h"

#include <QDate>
#include <cstdio>

namespace {
class History : public Command {
public:
    History()
        : Command(
              QStringLiteral("history"),
              QStringLiteral("  kavro-db history DB [--ip IP] [--since yyyy-MM-dd] [--who NAME]\n"
                             "      the change history, oldest first: when (local time), who, what, which record and\n"
                             "      what changed; tab-separated with a header when not written to a terminal\n"),
              {QCommandLineOption(QStringLiteral("ip"), {}, QStringLiteral("IP")),
               QCommandLineOption(QStringLiteral("since"), {}, QStringLiteral("DATE")),
               QCommandLineOption(QStringLiteral("who"), {}, QStringLiteral("NAME"))})
    {
    }

protected:
    int run(const QCommandLineParser &parser, const QStringList &args) const override
    {
        const QString ip = parser.value(QStringLiteral("ip"));
        const QString who = parser.value(QStringLiteral("who"));
        const QString since = parser.value(QStringLiteral("since"));
        if (parser.isSet(QStringLiteral("since")) && !QDate::fromString(since, Qt::ISODate).isValid())
            return misuse(QStringLiteral("--since needs a date as yyyy-MM-dd, not \"%1\"").arg(since));
        if (args.size() != 1)
            return misuse(QStringLiteral("needs one register (DB)"));
        RegisterDb db;
        if (const std::optional<int> refused = openRegister(args[0], db))
            return *refused;
        if (!db.hasHistory())
            return fail(QStringLiteral("%1 keeps no change history; kavro-db upgrade adds it").arg(args[0]));
        const Read<std::vector<HistoryEntry>> entries = db.history(ip, since, who);
        if (!entries.ok())
            return fail(QStringLiteral("cannot read the history: %1").arg(entries.status.reason));
        const bool terminal = outputIsTerminal();
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
};
} // namespace

std::unique_ptr<Command> makeHistoryCommand()
{
    return std::make_unique<History>();
}
