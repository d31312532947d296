#include "core/paths.h"
#include "mainwin/mainwindow.h"
#include "startup.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

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
    if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-v") == 0)) {
        std::printf("kavro %s\n", KAVRO_VERSION);
        return 0;
    }
    defaultHandler = qInstallMessageHandler(logWithoutPasswords);
    QApplication app(argc, argv);
    setUpApplication(app);
    MainWindow mainWindow(QCoreApplication::applicationDirPath());
    return app.exec();
}
