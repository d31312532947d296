// kavro-db upgrade DB: what a register made earlier lacks, added in one transaction.
#include "core/engine/schemaddl.h"
#include "core/paths.h"
#include "core/schema.h"
#include "tools/cli/command.h"
#include "tools/cli/commands.h"
#include "tools/cli/support.h"

#include <cstdio>

namespace {
class Upgrade : public Command {
public:
    Upgrade()
        : Command(
              QStringLiteral("upgrade"),
              QStringLiteral("  kavro-db upgrade DB\n"
                             "      add what a register made earlier lacks (the index that finds any part of a text),\n"
                             "      in one transaction; records are left as they are; says what it added\n"))
    {
    }

protected:
    int run(const QCommandLineParser &parser, const QStringList &args) const override
    {
        Q_UNUSED(parser);
        if (args.size() != 1)
            return misuse(QStringLiteral("needs one register (DB)"));
        const QString &location = args[0];
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
};
} // namespace

std::unique_ptr<Command> makeUpgradeCommand()
{
    return std::make_unique<Upgrade>();
}
