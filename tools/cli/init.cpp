// kavro-db init DB: a new register with its administrator and default customer.
#include "core/fileops/registercopy.h"
#include "core/paths.h"
#include "core/schema.h"
#include "tools/cli/command.h"
#include "tools/cli/commands.h"
#include "tools/cli/support.h"

#include <cstdio>

namespace {
class Init : public Command {
public:
    Init()
        : Command(QStringLiteral("init"),
                  QStringLiteral(
                      "  kavro-db init DB\n"
                      "      create a new register with the default administrator and customer; a database must\n"
                      "      not hold the register's tables yet\n"))
    {
    }

protected:
    int run(const QCommandLineParser &parser, const QStringList &args) const override
    {
        Q_UNUSED(parser);
        if (args.size() != 1)
            return misuse(QStringLiteral("needs one register (DB)"));
        if (const Status made = createRegister(args[0]); !made.ok())
            return fail(made.reason);
        std::printf("created %s\n"
                    "administrator account: %s, password: %s (change them in 功能设置 after the first login)\n",
                    qPrintable(withoutPasswords(args[0])), qPrintable(kDefaultAdminAccount),
                    qPrintable(kDefaultAdminPassword));
        return 0;
    }
};
} // namespace

std::unique_ptr<Command> makeInitCommand()
{
    return std::make_unique<Init>();
}
