#pragma once

#include <QString>

// Whether a Qt SQL driver plugin runs on the very library this program calls (the system
// libsqlite3 or libpq), so that the program may call that library on the driver's own handle.
struct DriverLibrary {
    bool usable = false;
    QString reason;
};

// Whether the Qt driver plugin whose file name holds `plugin` calls the very function `ours` is
// when it calls `symbol`; the reason when not. Asked once the driver is loaded.
DriverLibrary checkSameLibrary(const char *plugin, const char *symbol, void *ours, const char *library);
