#include "core/paths.h"
#include "mainwin/mainwindow.h"
#include "startup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

namespace {
QtMessageHandler defaultHandler = nullptr;

// A log line may carry the register's location, and a location may carry a password.
void logWithoutPasswords(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    defaultHandler(type, context, withoutPasswords(message));
}
} // namespace

int main(int argc, char **argv)
{
    // Answered before any window system is reached, so that both work without a display. Other
    // options are Qt's own (-platform, -style …), taken by QApplication.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(version);
    parser.addOption(help);
    parser.parse(args);
    if (parser.isSet(version)) {
        std::printf("kavro %s\n", KAVRO_VERSION);
        return 0;
    }
    if (parser.isSet(help)) {
        std::printf("usage: kavro [--version] [--help] [Qt's options, such as -platform NAME]\n"
                    "  the register window; the register is db/kavrodb.mdb in the program's folder, or the\n"
                    "  PostgreSQL database whose connection URI is in db/kavrodb.conn there\n");
        return 0;
    }
    defaultHandler = qInstallMessageHandler(logWithoutPasswords);
    QApplication app(argc, argv);
    setUpApplication(app);
    MainWindow mainWindow(QCoreApplication::applicationDirPath());
    return app.exec();
}
