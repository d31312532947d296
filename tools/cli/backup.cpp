// kavro-db backup DB DEST: a consistent, checked copy, also while the program writes.
#include "core/fileops/backup.h"
#include "core/paths.h"
#include "tools/cli/command.h"
#include "tools/cli/commands.h"
#include "tools/cli/support.h"

#include <cstdio>

namespace {
class Backup : public Command {
public:
    Backup()
        : Command(
              QStringLiteral("backup"),
              QStringLiteral("  kavro-db backup DB DEST\n"
                             "      a consistent, checked copy of the register, also while the program is writing;\n"
                             "      for a PostgreSQL register it prints the pg_dump command that does this (exit 3)\n"))
    {
    }

protected:
    int run(const QCommandLineParser &parser, const QStringList &args) const override
    {
        Q_UNUSED(parser);
        if (args.size() != 2)
            return misuse(QStringLiteral("needs DB and DEST"));
        if (const QString command = backupCommand(args[0], args[1]); !command.isEmpty()) {
            std::fprintf(stderr,
                         "kavro-db: a PostgreSQL register is backed up with pg_dump (restored with pg_restore);\n"
                         "nothing was copied. The command:\n");
            std::printf("%s\n", qPrintable(command));
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
};
} // namespace

std::unique_ptr<Command> makeBackupCommand()
{
    return std::make_unique<Backup>();
}
