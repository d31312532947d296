#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>

struct TableSchema;

// The two kinds of register: an SQLite file, and a PostgreSQL database on a server.
enum class Engine { Sqlite, Postgres };

// What an engine's SQL can say: its kind, whether the connection has our SQL functions
// (kavro_day, kavro_ipv4), and whether the register has its text index.
struct SqlForm {
    Engine engine = Engine::Sqlite;
    bool functions = false;
    bool textIndex = false;
};

// The column that keys a table's records and orders them as stored: rowid in SQLite files.
QString rowKeyColumn(const TableSchema &table, Engine engine);
Engine engineOf(const QSqlDatabase &db);

// The column keying a table's records on the engine of this open connection.
QString rowKeyOf(const QSqlDatabase &db, const TableSchema &table);

// Runs work in one transaction on db: committed when work succeeds, rolled back when it fails or
// the commit does (error then says why, if work did not).
bool inTransaction(QSqlDatabase &db, QString *error, const std::function<bool()> &work);

// Creates the three tables and their indexes on an open, empty database. Unique indexes are made
// unique only with uniqueIndexes (an import makes them so afterwards, where the data allows), and
// never for the columns named "table.column" in repeating. A PostgreSQL register also gets the
// triggers that tell listening desks about every change.
bool createSchema(QSqlDatabase &db, QString *error, bool uniqueIndexes = true, const QStringList &repeating = {});

// Whether the open register has the text index with everything that keeps it in step (see
// textIndexName in listrules.h).
bool textIndexPresent(QSqlDatabase &db);

// Adds the text index to a register that lacks it, filled from the servers stored, in the
// transaction the caller has begun; *added says whether anything was made. PostgreSQL needs the
// pg_trgm extension, which the database's owner may create.
bool addTextIndex(QSqlDatabase &db, bool *added, QString *error);

// Brings a register made earlier (or imported, or copied by an older kavro-db) up to what init
// makes today, in one transaction: what was added is named in *added (nothing when it was
// whole already). The tables and their records are never touched.
bool upgradeRegister(const QString &location, QStringList *added, QString *error);

// Whether the open register has the change history: its table and every trigger that fills it.
bool historyPresent(QSqlDatabase &db);
// Adds the change history (table, indexes, triggers) to a register that lacks it, in the caller's
// transaction; entries already there are kept.
bool addHistory(QSqlDatabase &db, bool *added, QString *error);
// On a server: replaces history trigger functions made by earlier versions with the safe ones
// (see historyFunctionStatements in schemaddl.cpp); changed says whether it did.
bool secureHistory(QSqlDatabase &db, bool *changed, QString *error);
// Whether the server's history functions are the safe ones (always on a file).
bool historyFunctionsCurrent(QSqlDatabase &db);
// The condition that picks the deletions and restores of servers out of the history, as its
// partial index is made with.
QString deletionsCondition();

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

// ---- carrying a whole register over (kavro-db copy) ----

// Begins a read transaction that sees one snapshot of the database however long it lasts.
bool beginSnapshot(QSqlDatabase &db, QString *error);
// The highest key a table has ever handed out, deleted records included, where the database keeps
// that apart from the records (AUTOINCREMENT's sqlite_sequence, an identity's sequence); 0 otherwise.
qint64 keysHandedOut(QSqlDatabase &db, const TableSchema &table);
// Moves the key counter of a table past handedOut and past every stored key.
bool carryKeyCounter(QSqlDatabase &db, const TableSchema &table, qint64 handedOut, QString *error);
