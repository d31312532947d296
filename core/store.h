#pragma once

#include "core/schema.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QSqlQuery;
struct sqlite3;

// What a statement did: whether the database accepted it and how many rows it changed.
struct ExecResult {
    bool ok = false;
    int rowsAffected = 0;
    qint64 lastInsertId = -1;
    QString error;
    bool uniqueViolated = false; // refused because a unique index holds the value already
    QVariant returned;           // the first value of the first row a statement returned
};

// The connection "QSQLITE" under connectionName on an existing file, opened by URI in mode=rw, which
// never creates a file. Not yet open. The path is percent-encoded: a raw '#' or '?' in it would end
// the path part of the URI and silently drop mode=rw.
QSqlDatabase addExistingFileConnection(const QString &connectionName, const QString &path);

// Whether Qt's SQLite driver runs on the very libsqlite3 this program calls, so that the program may
// use it directly next to the driver's connections (two SQLite copies in one process would not see
// each other's file locks); the reason when not. Asked once the driver is loaded.
bool driverSharesSqlite(QString *reason = nullptr);

// Whether a register location is a PostgreSQL connection URI (postgresql://… or postgres://…)
// rather than the path of a file.
bool isServerLocation(const QString &location);

// The connection under connectionName to the register at location, not yet open: an existing file
// (addExistingFileConnection) or, for a URI, Qt's PostgreSQL driver with the URI's settings. A URI
// that libpq cannot read, or that carries a password (libpq's password file or PGPASSWORD serve),
// gives an invalid connection and the reason.
QSqlDatabase addRegisterConnection(const QString &connectionName, const QString &location, QString *error);

// Whether the connection is to a database server that has gone away (restarted, network lost):
// libpq says so once a statement failed for it. Never for a file.
bool serverConnectionLost(const QSqlDatabase &db);

// Opens an existing register for reading and writing under the given connection name: a file, which
// is never created, or a PostgreSQL database. It is refused (and left untouched) when it is no
// SQLite database or lacks the tables data, kehu and admin with their columns.
bool openRegister(const QString &connectionName, const QString &location, QString *error);

// The database connection the record cursor works over.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool open(const QString &location);
    void closeConnection();
    bool isOpen() const { return m_open; }
    QSqlDatabase database() const;
    QString lastError() const { return m_error; }
    // The SQLite handle under the connection, for reads that step rows without Qt's per-cell
    // values; null when not open, or when Qt's driver does not run on the libsqlite3 this program
    // calls (the reads then go through Qt's SQL layer).
    sqlite3 *sqliteHandle() const;
    Engine engine() const { return m_engine; }
    // The first column of every row of a PostgreSQL query, as 64-bit keys, read through libpq in
    // binary (no text to parse, no value per cell); false with the reason when it failed.
    bool readServerKeys(const QString &sql, std::vector<qint64> *keys);
    // Whether this program may call libpq on the connection's handle (a PostgreSQL connection whose
    // Qt driver runs on the libpq this program links).
    bool libpqUsable() const;
    // Announcements of other sessions' changes to a PostgreSQL register received, plus one for every
    // time the connection was opened (announcements may have been missed meanwhile); 0 for a file,
    // -1 when the server could not be asked (lastError says why).
    qint64 changesAnnounced();

private:
    QString m_name;
    bool m_open = false;
    Engine m_engine = Engine::Sqlite;
    qint64 m_announced = 0;
    QString m_error;
};

// Runs statements on the register's one connection, in transactions where several must stand or
// fall together.
class SqlExecutor {
public:
    explicit SqlExecutor(Connection &connection) : m_connection(connection) {}
    SqlExecutor(const SqlExecutor &) = delete;
    SqlExecutor &operator=(const SqlExecutor &) = delete;

    bool isOpen() const { return m_connection.isOpen(); }
    ExecResult executeSql(const QString &statement);
    // A statement with its values bound in place of its ? marks.
    ExecResult executeSql(const struct Statement &statement);

    // Several statements that must stand or fall together.
    bool beginTransaction();
    bool commitTransaction();
    bool rollbackTransaction();

    QString lastError() const { return m_error; }
    QSqlDatabase database() const;

private:
    Connection &m_connection;
    QString m_error;
};

// The register's connection and the statements run on it; they live as long as the main window.
struct Database {
    Connection connection;
    SqlExecutor sql{connection};

    // Opens the one connection every read and write works over: either every path is open or none is.
    bool open(const QString &location);
    // Closes the connection.
    void shutdown();
    // Whether the connection is to a database server that has gone away.
    bool lost() const;
};
