#include "widgets/fixedwindow.h"

#include <QWidget>

void makeFixedWindow(QWidget *window, const QString &title, int width, int height)
{
    window->setWindowTitle(title);
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint);
    window->setFixedSize(width, height);
    window->move(50, 50);
}
