#pragma once

#include <QString>

class QWidget;

inline constexpr int kMainMinWidth = 596;
inline constexpr int kMainMinHeight = 401;
inline constexpr int kMainMaxWidth = 2000;
inline constexpr int kMainMaxHeight = 1600;

// Bounds how small and how large the user can make the main window.
void installWindowHook(QWidget *mainWindow);
// Takes the bounds off again, at shutdown.
void removeWindowHook(QWidget *mainWindow);

// Applies the skin file (a Qt style sheet) to the whole program. A missing or unreadable file
// changes nothing; the program then keeps Qt's plain look. True when a skin was applied.
bool applySkin(const QString &skinFile);
