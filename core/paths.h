#pragma once

#include <QString>

// <program directory>/db/kavrodb.mdb
QString databasePath(const QString &programDir);
// <program directory>/skin/qq2008.she
QString skinPath(const QString &programDir);
