#include "mainwin/mainwindow.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    setUpApplication(app);
    MainWindow mainWindow(QCoreApplication::applicationDirPath());
    return app.exec();
}
