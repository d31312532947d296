// kavro-db export DB OUT: the servers written as the main window lists them.
#include "core/datetext.h"
#include "core/fileops/exporter.h"
#include "core/listcolumns.h"
#include "core/paths.h"
#include "core/registerdb.h"
#include "tools/cli/command.h"
#include "tools/cli/commands.h"
#include "tools/cli/support.h"

#include <QFileInfo>
#include <cstdio>

namespace {
class Export : public Command {
public:
    Export()
        : Command(
              QStringLiteral("export"),
              QStringLiteral(
                  "  kavro-db export DB OUT.xlsx|OUT.csv [FILTER] [--sort COLUMN[:desc]] [--force]\n"
                  "      write the servers as the main window lists them; FILTER is one of\n"
                  "        --field 服务器编号|服务器IP|所在机柜 --equals TEXT\n"
                  "        --customer NAME\n"
                  "        --expiring-within N\n"
                  "      and either of these with any filter:\n"
                  "        --contains TEXT    any of the eight texts holds TEXT (Latin letters in either case)\n"
                  "        --ip-range RANGE   10.1.0.0/16, 10.1.2.10-10.1.2.50 or 192.168.1.\n"
                  "      COLUMN is a list title: 编号 服务器IP 所在机柜 上架时间 到期时间 下架时间 客户 备注;\n"
                  "      an existing OUT is refused unless --force\n"),
              QList<QCommandLineOption>{QCommandLineOption(QStringLiteral("field"), {}, QStringLiteral("FIELD")),
                                        QCommandLineOption(QStringLiteral("equals"), {}, QStringLiteral("TEXT")),
                                        QCommandLineOption(QStringLiteral("customer"), {}, QStringLiteral("NAME")),
                                        QCommandLineOption(QStringLiteral("expiring-within"), {}, QStringLiteral("N")),
                                        QCommandLineOption(QStringLiteral("sort"), {}, QStringLiteral("COLUMN")),
                                        QCommandLineOption(QStringLiteral("force"))} +
                  narrowingOptions())
    {
    }

protected:
    int run(const QCommandLineParser &parser, const QStringList &args) const override
    {
        std::vector<ServerQuery> narrowing;
        QString narrowingProblem;
        if (!narrowingOf(parser, &narrowing, &narrowingProblem))
            return misuse(narrowingProblem);
        const QStringList &paths = args;
        std::optional<ServerQuery> query;
        const QString field = parser.value(QStringLiteral("field"));
        const QString equals = parser.value(QStringLiteral("equals"));
        const bool hasEquals = parser.isSet(QStringLiteral("equals"));
        const QString customer =
            parser.isSet(QStringLiteral("customer")) ? parser.value(QStringLiteral("customer")) : QString();
        ServerOrder order;
        const bool force = parser.isSet(QStringLiteral("force"));
        int filters = int(parser.values(QStringLiteral("customer")).size() +
                          parser.values(QStringLiteral("expiring-within")).size());
        if (!customer.isNull())
            query = ServerQuery::equal(ServerQuery::Field::Customer, customer);
        if (int days = 0; parser.isSet(QStringLiteral("expiring-within"))) {
            if (!daysOf(parser, QStringLiteral("expiring-within"), &days, &narrowingProblem))
                return misuse(narrowingProblem);
            query = ServerQuery::expiringWithin(days);
        }
        if (parser.isSet(QStringLiteral("sort"))) {
            QString column = parser.value(QStringLiteral("sort"));
            if (column.endsWith(QLatin1String(":desc"))) {
                order.descending = true;
                column.chop(5);
            }
            order.column = int(serverListTitles().indexOf(column));
            if (order.column < 0)
                return misuse(
                    QStringLiteral("unknown column \"%1\" for --sort; the columns are: %2 (add :desc for descending)")
                        .arg(column, serverListTitles().join(QLatin1Char(' '))));
        }
        if (!field.isEmpty() || hasEquals) {
            static const QStringList fields = {QStringLiteral("服务器编号"), QStringLiteral("服务器IP"), QString(),
                                               QStringLiteral("所在机柜")};
            const int index = field.isEmpty() ? -1 : int(fields.indexOf(field));
            if (index < 0 || !hasEquals)
                return misuse(
                    QStringLiteral("--field needs one of 服务器编号, 服务器IP, 所在机柜, and --equals TEXT with it"));
            query = ServerQuery::fromSearchField(index, equals);
            ++filters;
        }
        if (paths.size() != 2 || filters > 1)
            return misuse(paths.size() != 2 ? QStringLiteral("needs DB and OUT.xlsx|OUT.csv")
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
                return fail(
                    QStringLiteral("%1 has no customer named \"%2\"; nothing was written").arg(paths[0], customer));
        }
        const ExportResult result = exportServers(db, keys.value, out, *format);
        if (!result.status.ok())
            return fail(QStringLiteral("export failed, nothing was written: %1").arg(result.status.reason));
        std::printf("exported %lld servers to %s\n", result.servers, qPrintable(withoutPasswords(out)));
        return 0;
    }
};
} // namespace

std::unique_ptr<Command> makeExportCommand()
{
    return std::make_unique<Export>();
}
