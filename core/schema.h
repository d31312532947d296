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

// The two kinds of register: an SQLite file, and a PostgreSQL database on a server.
enum class Engine { Sqlite, Postgres };

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
// The column that keys a table's records and orders them as stored: rowid in SQLite files.
QString rowKeyColumn(const TableSchema &table, Engine engine);
Engine engineOf(const QSqlDatabase &db);

QString columnName(ServerColumn column);
QString columnName(CustomerColumn column);
QString columnName(AdminColumn column);

// Creates the three tables and their indexes on an open, empty database. Unique indexes are made
// unique only with uniqueIndexes (an import makes them so afterwards, where the data allows), and
// never for the columns named "table.column" in repeating. A PostgreSQL register also gets the
// triggers that tell listening desks about every change.
bool createSchema(QSqlDatabase &db, QString *error, bool uniqueIndexes = true, const QStringList &repeating = {});

// Which of the three tables exist in the open database.
QStringList presentTables(QSqlDatabase &db, QString *error);

// Makes the unique indexes of a filled register unique where its data allows it; the columns whose
// values repeat keep a plain index and are named in kept.
bool makeIndexesUnique(QSqlDatabase &db, QStringList *kept, QString *error);

// Whether the open database has the three tables with all their columns (names in any letter case).
bool checkSchema(QSqlDatabase &db, QString *error);

// Creates a new register file at path, opened under connectionName (left open for the caller,
// who closes and removes it). Refuses when anything exists at path; on failure no file is left.
bool createRegisterFile(const QString &path, const QString &connectionName, QString *error, bool uniqueIndexes = true);

// A new register with its administrator row and the default customer, as `kavro-db init` makes it:
// a new file at a path, or the tables in an existing PostgreSQL database of a connection URI (which
// must not hold any of them yet), all in one transaction.
bool initRegisterDatabase(const QString &location, QString *error);

// The channel a PostgreSQL register announces its changes on.
inline const QString kChangeChannel = QStringLiteral("kavro_register");
