#pragma once

#include "core/registerdb.h"
#include "widgets/toolkit.h"

#include <QList>
#include <QString>
#include <optional>

class QWidget;

// Every message the program shows goes through here. Tests switch on scripting: boxes are then
// recorded instead of shown, and answered from a queue.
class MessageBox {
public:
    struct Shown {
        QString text;
        int style = 0;
        std::optional<QString> title; // none: captioned with the program's name
    };

    static MsgAnswer show(const QString &text, int style, const std::optional<QString> &title = std::nullopt,
                          QWidget *parent = nullptr);

    // What a window says when a write failed: that this desk may not change the register (its
    // database role may only read), or that nothing was saved.
    static void showWriteFailure(Fault fault, QWidget *parent);

    static void setScripted(bool scripted);
    static void setNextAnswer(MsgAnswer answer);
    static const QList<Shown> &shown();
    static void clearShown();
};
