#pragma once

class QApplication;

// Application-wide set-up before the first window: Qt's own Chinese texts for standard buttons and
// dialogs, the program's name and its icon on every window.
void setUpApplication(QApplication &app);
