// kavro-db set-admin DB ACCOUNT: the administrator replaced, the password read from standard input.
#include "core/paths.h"
#include "core/text.h"
#include "tools/cli/command.h"
#include "tools/cli/commands.h"
#include "tools/cli/support.h"

#include <cstdio>
#include <utility>

namespace {
class SetAdmin : public Command {
public:
    SetAdmin()
        : Command(QStringLiteral("set-admin"),
                  QStringLiteral(
                      "  kavro-db set-admin DB ACCOUNT\n"
                      "      replace the administrator account; the password is read from standard input\n"
                      "      (asked twice, not shown, on a terminal); also the way out of a forgotten password\n"))
    {
    }

protected:
    int run(const QCommandLineParser &parser, const QStringList &args) const override
    {
        Q_UNUSED(parser);
        if (args.size() != 2)
            return misuse(QStringLiteral("needs DB and ACCOUNT"));
        const QString &path = args[0];
        const QString &account = args[1];
        if (account.isEmpty())
            return fail(QStringLiteral("the account must not be empty"));
        QString password, again;
        if (!readSecretLine("new password: ", &password) || password.isEmpty())
            return fail(QStringLiteral("no password was given; nothing was changed"));
        if (inputIsTerminal() && (!readSecretLine("again: ", &again) || again != password))
            return fail(QStringLiteral("the two passwords differ; nothing was changed"));
        // What the login window could not take would lock everybody out.
        for (const auto &[what, text] : {std::pair{"account", account}, std::pair{"password", password}}) {
            const QString refusal = loginBoxRefusal(text);
            if (!refusal.isEmpty())
                return fail(
                    QStringLiteral("the %1 cannot be used: %2; nothing was changed").arg(QLatin1String(what), refusal));
        }
        RegisterDb db;
        const Status opened = db.open(path);
        if (!opened.ok())
            return fail(QStringLiteral("%1 is not a register that can be opened: %2").arg(path, opened.reason));
        const Status replaced = db.replaceAdministrator(account, password);
        if (!replaced.ok())
            return fail(QStringLiteral("the administrator was not changed: %1").arg(replaced.reason));
        std::printf("administrator of %s is now %s\n", qPrintable(withoutPasswords(path)), qPrintable(account));
        return 0;
    }
};
} // namespace

std::unique_ptr<Command> makeSetAdminCommand()
{
    return std::make_unique<SetAdmin>();
}
