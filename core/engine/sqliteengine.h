#pragma once

#include "core/engine/engine.h"

#include <mutex>
#include <utility>

struct sqlite3;
struct sqlite3_stmt;

// A register kept in an SQLite file. Reads step rows with the sqlite3 C API on the handle of Qt's
// driver where that driver runs on the libsqlite3 this program calls (checked once; otherwise, and
// with KAVRO_SQLITE_FAST_PATH_OFF=1, everything goes through Qt's SQL layer). Sorting and date
// queries use two SQL functions registered on this connection only. The change counter is
// PRAGMA data_version, and a file put in the register's place is noticed and opened instead.
class SqliteEngine : public RegisterEngine {
public:
    explicit SqliteEngine(const QString &path);
    ~SqliteEngine() override;

    QString rowKey(const TableSchema &table) const override;
    SqlForm sqlForm() const override;
    QString engineName() const override;
    ErrorMeaning meaningOf(const QSqlError &error) const override;
    void interrupt() override;
    void nameNextChange(const QString &action) override { m_action = action; }
    bool writable() override;

private:
    qint64 m_schemaVersion = -1; // as last seen by a write

public:
    bool beginLocked(const TableSchema &table, QString *error) override;
    Read<qint64> insertServer(Statement insert) override;
    Read<std::vector<qint64>> serverKeys(const ServerQuery &query, const ServerOrder &order) override;
    Read<std::vector<ServerRecord>> servers(std::span<const qint64> keys) override;
    Read<ExpirySummary> expirySummary(const QDate &today) override;
    Read<qint64> changeCounter() override;
    Status dailyBackup(const QString &backupDir, const QDate &today, int keep, bool *made,
                       const BackupPace &pace) const override;
    Status backupTo(const QString &dest, RegisterCounts *counts, const BackupPace &pace) const override;
    std::optional<CheckReport> checkStorage() const override;
    Status restoreFrom(const QString &backup, QString *keptAs, RegisterCounts *counts) const override;

    // The SQLite handle under the connection; null when not open or when the fast path is off.
    sqlite3 *handle() const;

protected:
    bool afterOpen(QString *error) override;
    bool startTransaction() override;
    bool afterBegin() override;
    bool beforeCommit() override;
    void afterEnd() override;
    void beforeClose() override;

private:
    Status failure(const QString &what) const;
    Read<std::vector<qint64>> allServerKeys(sqlite3 *db);
    void registerFunctions(sqlite3 *db);
    bool reopenIfReplaced(Status *failure);

    sqlite3_stmt *m_serverByKey = nullptr;
    sqlite3_stmt *m_serversInRange = nullptr;
    sqlite3 *m_functionsOn = nullptr; // the handle the SQL functions are registered on
    // The file opened, by device and inode.
    std::pair<quint64, quint64> m_fileIdentity{0, 0};
    qint64 m_reopened = 0;
    // The history's entries of the transaction under way are those past this one; they are
    // signed with this desk's account and host before it commits (the triggers, which any program
    // runs, write "(其他程序)").
    qint64 m_historyMark = -1;
    QString m_action;
    std::mutex m_interruptLock;
    sqlite3 *m_interruptible = nullptr; // the handle interrupt() stops, while open
};
