// kavro-db: makes, checks, copies and converts registers; one class a command in cli/.
#include "tools/cli/command.h"

#include <QCoreApplication>
#include <QStringList>
#include <csignal>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // A file-size limit makes writes fail (and their files get cleaned up) instead of ending the
    // process half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList args = app.arguments().mid(1);
    const QString name = args.isEmpty() ? QString() : args.takeFirst();
    if (name == QLatin1String("--version") || name == QLatin1String("-v")) {
        std::printf("kavro-db %s\n", KAVRO_VERSION);
        return 0;
    }
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
        std::fputs(Command::wholeUsage().toUtf8().constData(), stdout);
        return 0;
    }
    if (const Command *command = Command::named(name))
        return command->execute(args);
    std::fputs(Command::wholeUsage().toUtf8().constData(), stderr);
    return 2;
}
