// kavro-db's command line and the locations it is given: a command's reading of any arguments
// either ends the run with an exit code or leaves positional arguments none of which reads as an
// option, every one after the -- that ends the options among them (a -- given as an option's value
// ends nothing); a location shown never shows a password, and hiding twice is hiding once.
#include "core/engine/engine.h"
#include "core/paths.h"
#include "fuzzsupport.h"
#include "tools/cli/command.h"

#include <QRegularExpression>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The input is the command and its arguments, separated by NUL bytes.
    QStringList args = textOf(data, size).split(QChar(0));
    const QString name = args.takeFirst();
    if (const Command *command = Command::named(name)) {
        QCommandLineParser parser;
        QStringList positionals;
        const std::optional<int> ended = command->parse(args, &parser, &positionals);
        if (ended) {
            FUZZ_CHECK(*ended == 0 || *ended == 2, "exit code %d", *ended);
        } else {
            for (const QString &p : positionals)
                FUZZ_CHECK(!p.startsWith(QLatin1Char('-')), "%s reads as an option", qPrintable(p));
            // The -- that ends the options (not one given as an option's value).
            qsizetype dashes = -1;
            for (qsizetype i = 0; i < args.size() && dashes < 0; ++i) {
                if (args[i] == QLatin1String("--"))
                    dashes = i;
                else if (command->takesValue(args[i]))
                    ++i;
            }
            if (dashes >= 0)
                FUZZ_CHECK(positionals.size() >= args.size() - dashes - 1, "arguments after -- were lost");
        }
    }
    for (const QString &arg : args) {
        const QString shown = withoutPasswords(arg);
        FUZZ_CHECK(withoutPasswords(shown) == shown, "hiding %s twice differs", qPrintable(arg));
        locationIsFile(arg);
        // A password given in a URI's user part never shows.
        const qsizetype at = arg.indexOf(QLatin1Char('@'));
        const qsizetype scheme = arg.indexOf(QLatin1String("://"));
        if (arg.startsWith(QLatin1String("postgresql://")) && scheme >= 0 && at > scheme) {
            const QString user = arg.mid(scheme + 3, at - scheme - 3);
            const qsizetype colon = user.indexOf(QLatin1Char(':'));
            const QString password = colon >= 0 ? user.mid(colon + 1) : QString();
            static const QRegularExpression plain(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_]*")));
            static const QRegularExpression secret(
                QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9]{4,}")));
            if (colon >= 0 && plain.match(user.left(colon)).hasMatch() && secret.match(password).hasMatch())
                FUZZ_CHECK(shown.startsWith(QStringLiteral("postgresql://%1:***@").arg(user.left(colon))),
                           "the password of %s shows", qPrintable(arg));
        }
    }
    return 0;
}
