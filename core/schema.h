#pragma once

#include <QSqlDatabase>
#include <QString>

inline const QString kDefaultAdminAccount = QStringLiteral("admin");
inline const QString kDefaultAdminPassword = QStringLiteral("kavro2008");
inline const QString kDefaultCustomerName = QStringLiteral("默认客户");

// Creates the three tables and their indexes on an open, empty database.
bool createSchema(QSqlDatabase &db, QString *error);

// Creates a new register file at path, opened under connectionName (left open for the caller,
// who closes and removes it). Refuses when anything exists at path; on failure no file is left.
bool createRegisterFile(const QString &path, const QString &connectionName, QString *error);

// A new register with its administrator row and the default customer, as `kavro-db init` makes it.
bool initRegisterDatabase(const QString &path, QString *error);
