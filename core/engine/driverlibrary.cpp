#include "core/engine/driverlibrary.h"

#include <cstring>
#include <dlfcn.h>
#include <link.h>

namespace {
struct DriverSearch {
    const char *plugin;
    QByteArray path;
};

int findDriver(dl_phdr_info *info, size_t, void *data)
{
    auto *search = static_cast<DriverSearch *>(data);
    const char *name = info->dlpi_name;
    if (name && std::strstr(name, search->plugin)) {
        search->path = name;
        return 1;
    }
    return 0;
}

} // namespace

// Whether the Qt driver plugin whose file name holds `plugin` calls the very function `ours` is
// when it calls `symbol`; the reason when not.
DriverLibrary checkSameLibrary(const char *plugin, const char *symbol, void *ours, const char *library)
{
    DriverSearch search{plugin, {}};
    dl_iterate_phdr(findDriver, &search);
    if (search.path.isEmpty())
        return {false, QStringLiteral("the %1 driver plugin is not a library of its own").arg(QLatin1String(plugin))};
    void *driver = dlopen(search.path.constData(), RTLD_LAZY | RTLD_NOLOAD);
    // Looked up through the driver, a symbol resolves to the library it actually calls: the shared
    // library it depends on, or a copy built into it (or nothing when that copy is hidden).
    void *theirs = driver ? dlsym(driver, symbol) : nullptr;
    if (driver)
        dlclose(driver);
    if (theirs != ours)
        return {false, QStringLiteral("%1 does not run on the %2 this program calls")
                           .arg(QString::fromLocal8Bit(search.path), QLatin1String(library))};
    return {true, {}};
}
