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

// The change history (jilu): one row a change of a server, customer or administrator, written by
// the database's own triggers in the transaction of the change. Not one of the three tables a
// register must have: registers made earlier lack it until kavro-db upgrade adds it.
enum class HistoryColumn { Id, Time, Who, Table, Action, Record, Name, Changes };
const TableSchema &historyTable();
QString columnName(HistoryColumn column);
// What the triggers write as who on a file when the change came from another program.
inline const QString kOtherProgram = QStringLiteral("(其他程序)");
// The actions, as stored.
inline const QString kActionAdded = QStringLiteral("添加");
inline const QString kActionChanged = QStringLiteral("修改");
inline const QString kActionDeleted = QStringLiteral("删除");
inline const QString kActionRestored = QStringLiteral("恢复");

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
