#include "startup.h"

#include <QApplication>
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
    QApplication::setApplicationDisplayName(QStringLiteral("澜汀网络服务器管理系统"));
}
