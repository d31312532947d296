#include "core/paths.h"

#include "core/text.h"

#include <QDir>

QString databasePath(const QString &programDir)
{
    const QString sep(QDir::separator());
    return textJoin({programDir, sep, u"db", sep, u"kavrodb.mdb"});
}

QString skinPath(const QString &programDir)
{
    const QString sep(QDir::separator());
    return textJoin({programDir, sep, u"skin", sep, u"qq2008.she"});
}
