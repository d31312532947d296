#pragma once

#include "core/records.h"
#include "core/status.h"

#include <QSet>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QDate;
class QRandomGenerator;
struct BackupPace;
struct TableSchema;
class RegisterEngine;

// The register as the windows use it: typed records in, typed records out, every statement built
// here. The record cursor and the SQL executor are its private machinery; nothing it does shows
// anything, and no failure, of a read or of a write, is swallowed.
class RegisterDb {
public:
    // Customer numbers are drawn from keys (the global generator when none is given).
    explicit RegisterDb(QRandomGenerator *keys = nullptr);
    ~RegisterDb();
    RegisterDb(const RegisterDb &) = delete;
    RegisterDb &operator=(const RegisterDb &) = delete;

    // Opens the SQL executor and then the connection on an existing register: a file, which is never
    // created or changed, or a PostgreSQL database given by its connection URI (see registerLocation).
    Status open(const QString &location);
    bool isOpen() const;
    // Closes the record cursor, every query result, the connection and the executor, in that order.
    void close();
    // Whether the connection to a database server was lost and is being made again: each step
    // tries, with a pause that grows between tries (up to a few seconds), until the server is back.
    bool isReconnecting() const;
    // Where the register is (a file's path or a connection URI); empty before open.
    QString location() const;
    // Whether the register has the index that finds a text inside the servers' texts quickly
    // (kavro-db init and upgrade make it); without it such a search scans every server.
    bool hasTextIndex() const;
    // Whether this desk may change the register (a read-only file, a role that may only read: no).
    bool isWritable() const;
    // What about the register's setting weakens it, for kavro-db check (none for a file).
    QStringList securityWarnings() const;
    // Stops the read running on this register's connection, from any thread: it fails.
    void interrupt();

    // ---- servers ----
    // The keys of the servers the query selects, in the order asked for (stored order by default).
    Read<std::vector<qint64>> serverKeys(const ServerQuery &query, const ServerOrder &order = {});
    // How many servers the register holds, how many are past their 到期时间 and how many reach it
    // within 30 days (today included); one pass over the table.
    Read<ExpirySummary> expirySummary();
    // The servers of these keys, in the order given; a key no longer stored gives a record with key -1.
    Read<std::vector<ServerRecord>> servers(std::span<const qint64> keys);
    Read<ServerRecord> server(qint64 key);
    Read<bool> serverIpExists(const QString &ip);
    // Which of these IPs are stored (compared byte for byte, as the index keeps them).
    Read<QSet<QString>> storedIps(const QStringList &ips);
    // The stored servers whose IP is one of these (compared byte for byte), in no set order.
    Read<std::vector<ServerRecord>> serversWithIps(const QStringList &ips);
    // Stores a new server; the value is its record key. Duplicate when another program stored its IP
    // since it was checked (where the register's IP index is unique).
    Read<qint64> addServer(const ServerRecord &server);
    // Rewrites the stored server of server.key with the record's texts, the customer only when
    // withCustomer; all or nothing. NotFound when no server has that key any more. Given the record
    // as it was read, the save goes through only while the server still holds exactly that (else
    // Changed: another program saved it meanwhile, and nothing is written).
    Status updateServer(const ServerRecord &server, bool withCustomer, const ServerRecord *asRead = nullptr);
    // Several servers changed in one transaction, each saved only while it still holds the values
    // read (first of each pair): every one or none (Changed or NotFound naming the first refused).
    Status modifyServers(const std::vector<std::pair<ServerRecord, ServerRecord>> &changes);
    // Several servers deleted in one transaction: every one or none (NotFound when one is gone).
    Status deleteServers(const std::vector<qint64> &keys);
    Status deleteServer(qint64 key);

    // Stores these servers and creates the customers named (those not stored by then), all in one
    // transaction that holds the customers' write lock: every one or none. goOn is asked now and
    // then with the number of servers stored so far; false undoes everything (reason "cancelled").
    // Duplicate, naming the IP, when another program stored one of the IPs meanwhile.
    Status addServersWithCustomers(const std::vector<ServerRecord> &servers, const QStringList &newCustomers,
                                   const std::function<bool(size_t)> &goOn = {});
    // The same for count servers, the i-th given by serverAt(i); before them, in the same
    // transaction, the stored servers of changes are rewritten (second of each pair), each only
    // while it still holds the values read (first): else Changed naming its IP, and nothing is
    // stored. goOn's count runs over the changes and then the new servers.
    Status addServersWithCustomers(size_t count, const std::function<const ServerRecord &(size_t)> &serverAt,
                                   const QStringList &newCustomers, const std::function<bool(size_t)> &goOn = {},
                                   const std::vector<std::pair<ServerRecord, ServerRecord>> &changes = {});

    // ---- change history ----
    // Whether the register keeps one (kavro-db init and upgrade make it).
    bool hasHistory() const;
    // The engine and its version, for 关于澜汀; empty when no register is open.
    QString engineName() const;
    // A server's entries, newest first (read through the index on the record key).
    Read<std::vector<HistoryEntry>> serverHistory(qint64 key);
    // The deletions of servers not restored since, newest first.
    Read<std::vector<HistoryEntry>> deletedServers();
    // Stores the server a deletion entry names again, with its texts as they were when deleted,
    // recorded as a restore; the value is its new key. Duplicate when its IP is in use again.
    Read<qint64> restoreServer(const HistoryEntry &deletion);
    // Several deleted servers stored again in one transaction, the keys in the order given: every
    // one or none (Duplicate naming the first IP in use again, or given twice).
    Read<std::vector<qint64>> restoreServers(const std::vector<HistoryEntry> &deletions);
    // Entries oldest first, of servers whose IP was ip (any when empty), made on or after since
    // (yyyy-MM-dd, UTC; any when empty), by who (any when empty). For kavro-db history.
    Read<std::vector<HistoryEntry>> history(const QString &ip, const QString &since, const QString &who);

    // ---- customers ----
    Read<std::vector<CustomerRecord>> customers();
    Read<QStringList> customerNames();
    // Stores a new customer under a freshly drawn number; Duplicate when the name is taken.
    Status addCustomer(const QString &name, const QString &contact);
    // Renames the customer of this record key and sets its contact; NotFound when it is gone.
    // Renames a customer and changes its contact. Its servers follow the new name in the same
    // transaction, unless another customer has the old name too (then only the customer changes):
    // renamed says how many servers followed and whether the old name was shared.
    struct CustomerRenamed {
        int servers = 0;
        bool nameShared = false;
    };
    Status changeCustomer(qint64 key, const QString &name, const QString &contact, CustomerRenamed *renamed = nullptr);
    // How many servers belong to this customer (by its name).
    Read<int> customerServerCount(qint64 key);
    Status deleteCustomer(qint64 key);

    // ---- administrator ----
    // The account the login checks: with several rows the last one; none when the table is empty.
    Read<std::optional<AdminRecord>> administrator();
    // Sets account and password in every administrator row (adds the row when there is none).
    Status changeAdministrator(const QString &account, const QString &password);
    // Replaces whatever the table holds with this one row.
    Status replaceAdministrator(const QString &account, const QString &password);

    // A number that changes whenever another connection (another program; never this register's own
    // writes) has committed a change to the register since it was last read, and when another file
    // has been put in the register file's place (which is then opened instead; a failure when it
    // cannot be).
    Read<qint64> changeCounter();

    // ---- copies ----
    // Today's copy of the open register into backupDir (see dailyBackup in core/backup.h). Safe to
    // run on another thread: it works on connections of its own.
    Status dailyBackup(const QString &backupDir, const QDate &today, bool *made, const BackupPace &pace) const;

private:
    QString rowKey(const TableSchema &table) const;
    void reconnectIfLost();
    Status notConnected(const QString &what) const;
    Status deleteRecord(const TableSchema &table, qint64 key);
    // Stores a new server in a transaction of its own, its history entry named action (the
    // triggers' own name when empty).
    Read<qint64> storeServer(const ServerRecord &server, const QString &action);
    // updateServer's work inside a transaction already begun.
    Status updateServerIn(const ServerRecord &server, bool withCustomer, const ServerRecord *asRead);

    std::unique_ptr<RegisterEngine> m_engine;
    QRandomGenerator *m_keys;
    bool m_wanted = false;  // opened, and not closed since: a lost connection is made again
    qint64 m_nextTryMs = 0; // no new try before this (a monotonic clock's milliseconds)
    int m_pauseMs = 0;      // the pause after the last failed try
};
