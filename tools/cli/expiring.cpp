// kavro-db expiring DB: the servers past their expiry date or reaching it soon.
#include "core/datetext.h"
#include "core/registerdb.h"
#include "tools/cli/command.h"
#include "tools/cli/commands.h"
#include "tools/cli/support.h"

#include <QDate>
#include <algorithm>
#include <cstdio>
#include <span>

namespace {
class Expiring : public Command {
public:
    Expiring()
        : Command(QStringLiteral("expiring"),
                  QStringLiteral(
                      "  kavro-db expiring DB [--within N] [--include-retired] [--contains TEXT] [--ip-range RANGE]\n"
                      "      servers past their expiry date or reaching it within N days (default 30),\n"
                      "      soonest first; tab-separated with a header when not written to a terminal;\n"
                      "      retired servers (taken off the rack once their term ended) only with\n"
                      "      --include-retired, marked with their 下架时间\n"),
                  QList<QCommandLineOption>{QCommandLineOption(QStringLiteral("within"), {}, QStringLiteral("N")),
                                            QCommandLineOption(QStringLiteral("include-retired"))} +
                      narrowingOptions())
    {
    }

protected:
    int run(const QCommandLineParser &parser, const QStringList &args) const override
    {
        std::vector<ServerQuery> narrowing;
        QString problem;
        int within = kExpirySoonDays;
        if (!narrowingOf(parser, &narrowing, &problem) || !daysOf(parser, QStringLiteral("within"), &within, &problem))
            return misuse(problem);
        const bool withRetired = parser.isSet(QStringLiteral("include-retired"));
        if (args.size() != 1)
            return misuse(QStringLiteral("needs one register (DB)"));
        RegisterDb db;
        if (const std::optional<int> refused = openRegister(args[0], db))
            return *refused;
        const Read<std::vector<qint64>> keys =
            narrowedKeys(db, ServerQuery::expiringWithin(within, withRetired), ServerOrder{4, false}, narrowing);
        if (!keys.ok())
            return fail(QStringLiteral("cannot read the servers: %1").arg(keys.status.reason));
        const bool terminal = outputIsTerminal();
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
};
} // namespace

std::unique_ptr<Command> makeExpiringCommand()
{
    return std::make_unique<Expiring>();
}
