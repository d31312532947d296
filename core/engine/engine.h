#pragma once

#include "core/backupreport.h"
#include "core/engine/schemaddl.h"
#include "core/records.h"
#include "core/schema.h"
#include "core/statements.h"
#include "core/status.h"

#include <QDate>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

// What a statement did: whether the database accepted it and how many rows it changed.
struct ExecResult {
    bool ok = false;
    int rowsAffected = 0;
    qint64 lastInsertId = -1;
    QString error;
    bool uniqueViolated = false; // refused because a unique index holds the value already
    bool denied = false;         // refused because this desk may not do it (its role, a read-only file)
    QVariant returned;           // the first value of the first row a statement returned
};

// Why a restore refuses a server's register on either side: only files are restored from copies.
inline const QString kRestoreBetweenFilesOnly =
    QStringLiteral("a PostgreSQL register is restored with pg_restore from pg_dump's copy; to bring a file into a "
                   "database, use kavro-db copy");

// What a database error means, in the terms the register layer reports it in.
struct ErrorMeaning {
    bool unique = false;   // a unique index holds the value already
    bool denied = false;   // this desk may not do it (its role, a read-only file)
    bool diskFull = false; // the disk had no room for it
};

// One register's connection and everything in which the two kinds of register differ: how a
// location is opened, the record key of a table, the fast ways to read the list's keys, pages of
// servers and the expiry summary, the change counter, a new server's key, the write lock of a
// table and the daily copy. The register layer above it orchestrates (transactions, faults,
// reconnecting) and never asks which kind it has. Reads the engines do not speed up go through
// Qt's SQL layer here, by the same rules.
class RegisterEngine {
public:
    // The engine for a location: the PostgreSQL database of a connection URI, or an SQLite file.
    // Not yet open.
    static std::unique_ptr<RegisterEngine> forLocation(const QString &location);
    virtual ~RegisterEngine();
    RegisterEngine(const RegisterEngine &) = delete;
    RegisterEngine &operator=(const RegisterEngine &) = delete;

    // Opens the register (never creating it) and checks its tables; the reason when it cannot.
    bool open(QString *error);
    void close();
    bool isOpen() const { return m_open; }
    QSqlDatabase database() const;
    const QString &location() const { return m_location; }
    // Whether the connection was to a server that has gone away (never for a file).
    virtual bool lost() const { return false; }
    // Whether the register is reached over a connection that can be lost and made again (a
    // server's); a file is opened again only when another is put in its place.
    virtual bool connectsToServer() const { return false; }

    // What this engine's SQL can say, for the list's queries (see querySql).
    virtual SqlForm sqlForm() const = 0;
    // The engine and its version, as 关于澜汀 names them ("SQLite 3.40.1", "PostgreSQL 15.8").
    virtual QString engineName() const = 0;
    // Whether the register has its text index (looked at when it was opened).
    bool hasTextIndex() const { return m_textIndex; }
    // What an error of this engine's database means (each engine reads its own codes).
    virtual ErrorMeaning meaningOf(const QSqlError &error) const = 0;
    // A failed read: Denied when this desk may not read it, otherwise Failed; the reason says what.
    Status failureOf(const QString &what, const QSqlError &error) const;
    // Whether the last statement that failed was refused for want of the right to do it.
    bool lastDenied() const { return m_lastDenied; }
    // Whether it failed for want of room on the disk.
    bool lastDiskFull() const { return m_lastDiskFull; }
    // Whether the register keeps a change history (looked at when it was opened).
    bool hasHistory() const { return m_history; }
    // Whether this desk may change the register: false for a file it cannot write and for a
    // database role without the right to change the servers (asked of the register each time).
    virtual bool writable() { return isOpen(); }
    // What about the register's setting weakens it, in words (none for a file).
    virtual QStringList securityWarnings() { return {}; }
    // The history's name for the next change of the transaction begun (a restore); the triggers'
    // own (添加, 修改, 删除) otherwise.
    virtual void nameNextChange(const QString &action) = 0;
    // Stops the statement running on this connection, from any thread; it then fails. Never
    // anything else: a statement begun later runs.
    virtual void interrupt() {}

    // The column that keys a table's records and orders them as stored.
    virtual QString rowKey(const TableSchema &table) const = 0;

    // Runs one statement, its values bound.
    ExecResult execute(const Statement &statement);
    bool begin();
    bool commit();
    bool rollback();
    // Begins a transaction that holds the write lock of table from its start, so that a check and
    // a store in it cannot interleave with another desk's.
    virtual bool beginLocked(const TableSchema &table, QString *error) = 0;
    // Stores a new server by this insert; the value is its record key.
    virtual Read<qint64> insertServer(Statement insert) = 0;

    virtual Read<std::vector<qint64>> serverKeys(const ServerQuery &query, const ServerOrder &order);
    // The servers of these keys, in the order given; a key no longer stored gives a record with key -1.
    virtual Read<std::vector<ServerRecord>> servers(std::span<const qint64> keys);
    // The stored servers whose IP is one of these (compared byte for byte), in no set order.
    Read<std::vector<ServerRecord>> serversWithIps(const QStringList &ips);
    virtual Read<ExpirySummary> expirySummary(const QDate &today);
    // See RegisterDb::changeCounter.
    virtual Read<qint64> changeCounter() = 0;
    // Today's copy into backupDir where the register is a file; a server is kept by its own backups.
    virtual Status dailyBackup(const QString &backupDir, const QDate &today, int keep, bool *made,
                               const BackupPace &pace) const = 0;

    // The register as a whole (kavro-db backup, check, restore); the engine need not be open.
    // A new, checked copy of the register at dest; a server's register is copied by the server's
    // own tool (backupCommand) and this refuses.
    virtual Status backupTo(const QString &dest, RegisterCounts *counts, const BackupPace &pace) const = 0;
    // The command of the server's own tool that copies the register to dest; empty where backupTo
    // makes the copy.
    virtual QString backupCommand(const QString &dest) const
    {
        Q_UNUSED(dest);
        return {};
    }
    // What the engine itself checks of the register's storage (a file: integrity, tables, counts,
    // the data); nothing where the database server keeps its storage sound.
    virtual std::optional<CheckReport> checkStorage() const = 0;
    // Replaces the register with the copy at backup (see restoreRegister in core/fileops/backup.h).
    virtual Status restoreFrom(const QString &backup, QString *keptAs, RegisterCounts *counts) const = 0;

protected:
    explicit RegisterEngine(const QString &location);
    virtual bool afterOpen(QString *) { return true; }
    // Opens a write transaction (Qt's BEGIN unless the engine needs more).
    virtual bool startTransaction() { return database().transaction(); }
    // Inside every write transaction, after it has begun and before it commits.
    virtual bool afterBegin() { return true; }
    virtual bool beforeCommit() { return true; }
    virtual void afterEnd() {}
    virtual void beforeClose() {}
    Status readFailure(const QString &what, const QString &reason) const;
    void noteFailure(const QSqlError &error);
    // Looks again whether the register has its text index and history (another program may have
    // added them since it was opened).
    void lookAtSchema();
    bool m_lastDenied = false;
    bool m_lastDiskFull = false;

private:
    QString m_location;
    QString m_name;
    bool m_open = false;
    bool m_textIndex = false;
    bool m_history = false;
    std::unordered_map<QString, QSqlQuery> m_prepared; // statements by their text
};

// ---- locations, for the tools that work on whole registers ----

// Whether a register location is a PostgreSQL connection URI (postgresql://… or postgres://…)
// rather than the path of a file.
bool isServerLocation(const QString &location);

// Whether a location is a file, which the tools copy, check and write themselves (under a temporary
// name, renamed when whole); otherwise it is a database a server keeps.
bool locationIsFile(const QString &location);

// The connection "QSQLITE" under connectionName on an existing file, opened by URI in mode=rw, which
// never creates a file. Not yet open. The path is percent-encoded: a raw '#' or '?' in it would end
// the path part of the URI and silently drop mode=rw.
QSqlDatabase addExistingFileConnection(const QString &connectionName, const QString &path);

// The connection under connectionName to the register at location, not yet open: an existing file
// (addExistingFileConnection) or, for a URI, Qt's PostgreSQL driver with the URI's settings. A URI
// that libpq cannot read, or that carries a password (libpq's password file or PGPASSWORD serve),
// gives an invalid connection and the reason.
QSqlDatabase addRegisterConnection(const QString &connectionName, const QString &location, QString *error);

// Opens an existing register for reading and writing under the given connection name: a file, which
// is never created, or a PostgreSQL database. It is refused (and left untouched) when it is no
// SQLite database or lacks the tables data, kehu and admin with their columns.
bool openRegister(const QString &connectionName, const QString &location, QString *error);

// Whether Qt's SQLite driver runs on the very libsqlite3 this program calls, so that the program may
// use it directly next to the driver's connections (two SQLite copies in one process would not see
// each other's file locks); the reason when not. Asked once the driver is loaded.
bool driverSharesSqlite(QString *reason = nullptr);
