#pragma once

#include <QString>

class QWidget;
class QRect;

// A top-level window of fixed outer size with a close box and neither minimize nor maximize box.
void makeFixedWindow(QWidget *window, const QString &title, int width, int height);

// Places a child at the given geometry and names it.
template <typename W> W *placed(W *widget, const QString &name, int left, int top, int width, int height)
{
    widget->setObjectName(name);
    widget->setGeometry(left, top, width, height);
    return widget;
}
