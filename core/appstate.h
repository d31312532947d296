#pragma once

#include <QString>

// The values a running program keeps between events. They start empty and are never saved.
// The main window's size bounds are set directly on the window, so there is no saved window
// procedure to keep here.
struct AppState {
    int listMode = 0;     // 0: every server; 1: only those the main window's query selects
    QString adminAccount; // read from table admin at every login attempt
    QString adminPassword;
    int loginPassed = 0;       // 1 once a login attempt succeeded
    int customerListIndex = 0; // row last selected in the settings window's customer list
};

AppState &appState();
