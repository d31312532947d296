#pragma once

#include "core/engine/engine.h"

#include <mutex>

// A register in a PostgreSQL database, named by a connection URI that libpq itself reads. Tables
// carry identity keys where SQLite keeps its rowid; the whole list's keys come from libpq in binary
// on Qt's own connection handle (where Qt's driver runs on the libpq this program links); other
// desks' commits are counted from LISTEN/NOTIFY announcements; a lost connection is noticed from
// libpq's status.
class PostgresEngine : public RegisterEngine {
public:
    explicit PostgresEngine(const QString &uri);
    ~PostgresEngine() override;

    bool lost() const override;
    bool connectsToServer() const override { return true; }
    SqlForm sqlForm() const override;
    QString engineName() const override;
    ErrorMeaning meaningOf(const QSqlError &error) const override;
    void interrupt() override;
    void nameNextChange(const QString &action) override;
    bool writable() override;
    QStringList securityWarnings() override;
    QString rowKey(const TableSchema &table) const override;
    bool beginLocked(const TableSchema &table, QString *error) override;
    Read<qint64> insertServer(Statement insert) override;
    Read<std::vector<qint64>> serverKeys(const ServerQuery &query, const ServerOrder &order) override;
    Read<qint64> changeCounter() override;
    Status dailyBackup(const QString &backupDir, const QDate &today, int keep, bool *made,
                       const BackupPace &pace) const override;
    Status backupTo(const QString &dest, RegisterCounts *counts, const BackupPace &pace) const override;
    QString backupCommand(const QString &dest) const override;
    std::optional<CheckReport> checkStorage() const override;
    Status restoreFrom(const QString &backup, QString *keptAs, RegisterCounts *counts) const override;

    // Whether this program may call libpq on the connection's handle.
    bool libpqUsable() const;

protected:
    bool afterOpen(QString *error) override;
    void beforeClose() override;
    bool beforeCommit() override;
    void afterEnd() override;

private:
    qint64 m_announced = 0;
    QString m_action;             // the transaction's name for its additions (a restore)
    std::vector<qint64> m_added;  // the servers the transaction added
    bool m_marksRestores = false; // the history's functions mark restores (kavro_mark_restored)
    std::mutex m_cancelLock;
    struct pg_cancel *m_cancel = nullptr; // what interrupt() sends
};

// Qt's PostgreSQL connection under connectionName for a URI, as libpq reads it; invalid, with the
// reason, for a URI libpq cannot read or one that holds a password.
QSqlDatabase addServerConnection(const QString &connectionName, const QString &uri, QString *error);

// Whether the connection is to a database server that has gone away.
bool serverConnectionLost(const QSqlDatabase &db);
