#include "startup.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void setUpApplication(QApplication &app)
{
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    auto *qtTexts = new QTranslator(&app);
    if (qtTexts->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qtTexts);
    QApplication::setApplicationName(QStringLiteral("kavro"));
    // No application display name: the window system would append it to every title bar. Each
    // window shows exactly its own title.
    // Every window, dialog and message box carries the program icon.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/kavro.ico")));
}
