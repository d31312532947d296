#include "hook/boundsandskin.h"

#include <QApplication>
#include <QFile>
#include <QWidget>

void installWindowHook(QWidget *mainWindow)
{
    mainWindow->setMinimumSize(kMainMinWidth, kMainMinHeight);
    mainWindow->setMaximumSize(kMainMaxWidth, kMainMaxHeight);
}

void removeWindowHook(QWidget *mainWindow)
{
    mainWindow->setMinimumSize(0, 0);
    mainWindow->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

bool applySkin(const QString &skinFile)
{
    QFile file(skinFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray sheet = file.readAll();
    if (sheet.isEmpty())
        return false;
    qApp->setStyleSheet(QString::fromUtf8(sheet));
    return true;
}
