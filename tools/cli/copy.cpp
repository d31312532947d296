// kavro-db copy SRC DEST: a whole register, keys and texts exact, all or nothing.
#include "core/fileops/registercopy.h"
#include "core/paths.h"
#include "tools/cli/command.h"
#include "tools/cli/commands.h"
#include "tools/cli/support.h"

#include <cstdio>

namespace {
class Copy : public Command {
public:
    Copy()
        : Command(
              QStringLiteral("copy"),
              QStringLiteral("  kavro-db copy SRC DEST\n"
                             "      copy a whole register, keys and texts exact, all or nothing; DEST must be a new\n"
                             "      file or a database without the register's tables (or with all three empty)\n"))
    {
    }

protected:
    int run(const QCommandLineParser &parser, const QStringList &args) const override
    {
        Q_UNUSED(parser);
        if (args.size() != 2)
            return misuse(QStringLiteral("needs SRC and DEST"));
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
};
} // namespace

std::unique_ptr<Command> makeCopyCommand()
{
    return std::make_unique<Copy>();
}
