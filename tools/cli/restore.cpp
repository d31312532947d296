// kavro-db restore BACKUP DB: a register replaced with a sound copy, the one replaced kept.
#include "core/fileops/backup.h"
#include "core/paths.h"
#include "tools/cli/command.h"
#include "tools/cli/commands.h"
#include "tools/cli/support.h"

#include <cstdio>

namespace {
class Restore : public Command {
public:
    Restore()
        : Command(
              QStringLiteral("restore"),
              QStringLiteral("  kavro-db restore BACKUP DB\n"
                             "      replace DB with a sound copy; DB is kept first as DB.before-restore-DATE-TIME\n"))
    {
    }

protected:
    int run(const QCommandLineParser &parser, const QStringList &args) const override
    {
        Q_UNUSED(parser);
        if (args.size() != 2)
            return misuse(QStringLiteral("needs BACKUP and DB"));
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
};
} // namespace

std::unique_ptr<Command> makeRestoreCommand()
{
    return std::make_unique<Restore>();
}
