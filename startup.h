#pragma once

class QApplication;

// Application-wide set-up before the first window: Qt's own Chinese texts for standard buttons and
// dialogs, and the program's name.
void setUpApplication(QApplication &app);
