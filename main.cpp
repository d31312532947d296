#include "core/paths.h"
#include "mainwin/mainwindow.h"
#include "startup.h"

#include <QApplication>

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
    defaultHandler = qInstallMessageHandler(logWithoutPasswords);
    QApplication app(argc, argv);
    setUpApplication(app);
    MainWindow mainWindow(QCoreApplication::applicationDirPath());
    return app.exec();
}
