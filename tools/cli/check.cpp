// kavro-db check DB: a read-only check of a register and of the data it holds.
#include "core/fileops/backup.h"
#include "core/paths.h"
#include "tools/cli/command.h"
#include "tools/cli/commands.h"
#include "tools/cli/support.h"

#include <cstdio>

namespace {
class Check : public Command {
public:
    Check()
        : Command(QStringLiteral("check"),
                  QStringLiteral("  kavro-db check DB\n"
                                 "      read-only check: integrity, tables and columns, and findings about the data;\n"
                                 "      exit 0 sound (findings are warnings), 1 damaged or not a register, 2 usage\n"))
    {
    }

protected:
    int run(const QCommandLineParser &parser, const QStringList &args) const override
    {
        Q_UNUSED(parser);
        if (args.size() != 1)
            return misuse(QStringLiteral("needs one register (DB)"));
        const CheckReport report = checkRegister(args[0]);
        if (!report.found) {
            std::printf("%s does not exist\n", qPrintable(args[0]));
            return 1;
        }
        for (const QString &problem : report.problems)
            std::printf("error: %s\n", qPrintable(withoutPasswords(problem)));
        if (!report.sound) {
            std::printf("%s is damaged or not a register\n", qPrintable(withoutPasswords(args[0])));
            return 1;
        }
        if (!report.integrity.isEmpty())
            std::printf("integrity_check: %s\n", qPrintable(report.integrity));
        std::printf("tables and columns: complete\n%s\n", qPrintable(describe(report.counts)));
        if (!report.note.isEmpty())
            std::printf("%s\n", qPrintable(report.note));
        for (const QString &warning : report.warnings)
            std::printf("warning: %s\n", qPrintable(warning));
        std::printf("%s is sound (%lld warnings)\n", qPrintable(withoutPasswords(args[0])),
                    qlonglong(report.warnings.size()));
        return 0;
    }
};
} // namespace

std::unique_ptr<Command> makeCheckCommand()
{
    return std::make_unique<Check>();
}
