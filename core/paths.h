#pragma once

#include <QString>

// <program directory>/db/kavrodb.mdb
QString databasePath(const QString &programDir);
// <program directory>/db/kavrodb.conn: where it exists, the register is the PostgreSQL database of
// the connection URI it holds.
QString connectionFilePath(const QString &programDir);
// The register the program opens: the URI in the connection file when there is one (its first line
// that is neither blank nor a # comment; an empty text when it holds none), else databasePath.
QString registerLocation(const QString &programDir);
// <program directory>/skin/qq2008.she
QString skinPath(const QString &programDir);

// The text with every password in it replaced by ***: the user:password@ part of a connection URI
// and a password=… setting. For whatever is shown or logged that may carry a location.
QString withoutPasswords(const QString &text);

// This desk as the change history names it: the operating-system account and the host name
// ("ops@desk-3"); on a database server the role comes first and the host is added.
QString deskAccount();
QString deskHost();
QString deskName();
