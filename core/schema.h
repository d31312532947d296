#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <vector>

inline const QString kDefaultAdminAccount = QStringLiteral("admin");
inline const QString kDefaultAdminPassword = QStringLiteral("kavro2008");
inline const QString kDefaultCustomerName = QStringLiteral("默认客户");

// The register's three tables, described once: kavro-db init creates them from this, the store
// checks an opened file against it, the import maps legacy columns onto it, and the register layer
// names its columns through it.

// Columns of table data, in stored order.
enum class ServerColumn { Id, Customer, Number, Ip, Cabinet, Racked, Expires, Unracked, Remark };
// Columns of table kehu.
enum class CustomerColumn { Key, Name, Contact };
// Columns of table admin.
enum class AdminColumn { Account, Password };

struct TableSchema {
    QString name;
    QStringList columns; // in stored order; every column holds text but the key
    QString keyColumn;   // an integer key the database assigns, or empty
    QStringList indexed; // columns with an index of their own
    QStringList unique;  // of those, the ones whose index refuses a repeated value in a new register
    // The key a PostgreSQL table carries where SQLite keeps its rowid: an identity column giving
    // every row its key and the table its stored order (the key column itself where there is one).
    QString serverKey;
};

const TableSchema &serverTable();
const TableSchema &customerTable();
const TableSchema &adminTable();
// data, kehu, admin
const std::vector<TableSchema> &registerTables();

// The table of this name, or null.
const TableSchema *tableNamed(const QString &name);
QString columnName(ServerColumn column);
QString columnName(CustomerColumn column);
QString columnName(AdminColumn column);

// The channel a PostgreSQL register announces its changes on.
inline const QString kChangeChannel = QStringLiteral("kavro_register");

// How the tables are made and checked on each engine.
#include "core/engine/schemaddl.h"
