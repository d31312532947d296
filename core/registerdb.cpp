#include "core/registerdb.h"

#include "core/backup.h"
#include "core/customerkey.h"
#include "core/datetext.h"
#include "core/schema.h"
#include "core/sortkey.h"
#include "core/statements.h"
#include "core/store.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <functional>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unordered_map>

namespace {

QString columnFor(ServerQuery::Field field)
{
    switch (field) {
    case ServerQuery::Field::Number:
        return columnName(ServerColumn::Number);
    case ServerQuery::Field::Ip:
        return columnName(ServerColumn::Ip);
    case ServerQuery::Field::Customer:
        return columnName(ServerColumn::Customer);
    case ServerQuery::Field::Cabinet:
        return columnName(ServerColumn::Cabinet);
    case ServerQuery::Field::All:
    case ServerQuery::Field::ExpiresWithin:
        break;
    }
    return {};
}

// The columns a server record is read from, after the rowid, in ServerRecord's order.
const ServerColumn kRecordColumns[] = {ServerColumn::Customer, ServerColumn::Number, ServerColumn::Ip,
                                       ServerColumn::Cabinet,  ServerColumn::Racked, ServerColumn::Expires,
                                       ServerColumn::Unracked, ServerColumn::Remark};

QString textColumn(sqlite3_stmt *stmt, int i)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(stmt, i)) : QString();
}

std::vector<std::pair<QString, QString>> serverAssignments(const ServerRecord &s, bool withCustomer)
{
    std::vector<std::pair<QString, QString>> a = {
        {columnName(ServerColumn::Number), s.number},     {columnName(ServerColumn::Cabinet), s.cabinet},
        {columnName(ServerColumn::Racked), s.racked},     {columnName(ServerColumn::Expires), s.expires},
        {columnName(ServerColumn::Unracked), s.unracked}, {columnName(ServerColumn::Remark), s.remark},
    };
    if (withCustomer)
        a.emplace_back(columnName(ServerColumn::Customer), s.customer);
    return a;
}

// A statement that must change exactly one record, inside the caller's transaction.
Status changeOne(SqlExecutor &sql, const Statement &statement)
{
    const ExecResult r = sql.executeSql(statement);
    if (!r.ok)
        return Status::failed(r.error);
    if (r.rowsAffected == 0)
        return {Fault::NotFound, QStringLiteral("the record is no longer stored")};
    if (r.rowsAffected > 1)
        return {Fault::NotUnique, QStringLiteral("%1 records answered to one key").arg(r.rowsAffected)};
    return Status::done();
}

// Runs work in one transaction of the executor: committed only when it returns done.
Status inTransaction(SqlExecutor &sql, const std::function<Status()> &work)
{
    if (!sql.beginTransaction())
        return Status::failed(sql.database().lastError().text());
    Status status = work();
    if (status.ok() && sql.commitTransaction())
        return status;
    if (status.ok())
        status = Status::failed(sql.database().lastError().text());
    sql.rollbackTransaction();
    return status;
}

ServerColumn listColumnField(int listColumn)
{
    static const ServerColumn columns[] = {ServerColumn::Number,   ServerColumn::Ip,      ServerColumn::Cabinet,
                                           ServerColumn::Racked,   ServerColumn::Expires, ServerColumn::Unracked,
                                           ServerColumn::Customer, ServerColumn::Remark};
    return columns[std::clamp(listColumn, 0, 7)];
}

// The first column of every row as a key; false (and no keys) when a step failed.
bool stepKeys(sqlite3_stmt *stmt, std::vector<qint64> *keys)
{
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        keys->push_back(sqlite3_column_int64(stmt, 0));
    if (rc == SQLITE_DONE)
        return true;
    keys->clear();
    return false;
}

int dayNumber(const QDate &date)
{
    return date.year() * 10000 + date.month() * 100 + date.day();
}

QString utf8Argument(sqlite3_value *value)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(value));
    return p ? QString::fromUtf8(p, sqlite3_value_bytes(value)) : QString();
}

// kavro_day(text): the date a stored text reads as, as the number yyyymmdd, or NULL when it is no
// date. A number sorts and compares faster than a text.
void sqlDay(sqlite3_context *context, int, sqlite3_value **argv)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const QDate date = p ? utf8ToDate(p, sqlite3_value_bytes(argv[0])) : QDate();
    if (!date.isValid())
        sqlite3_result_null(context);
    else
        sqlite3_result_int(context, dayNumber(date));
}

// kavro_sortkey(text): the bytes a list sorts the text by.
void sqlSortKey(sqlite3_context *context, int, sqlite3_value **argv)
{
    const QByteArray key = chineseSortKey(utf8Argument(argv[0]));
    sqlite3_result_blob(context, key.constData(), int(key.size()), SQLITE_TRANSIENT);
}

} // namespace

RegisterDb::RegisterDb(QRandomGenerator *keys)
    : m_db(std::make_unique<Database>()), m_keys(keys ? keys : QRandomGenerator::global())
{
}

RegisterDb::~RegisterDb()
{
    close();
}

namespace {
std::pair<quint64, quint64> fileIdentity(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {0, 0};
    return {quint64(st.st_dev), quint64(st.st_ino)};
}
} // namespace

Status RegisterDb::open(const QString &path)
{
    close();
    m_path = path;
    m_fileIdentity = isServerLocation(path) ? std::pair<quint64, quint64>{0, 0} : fileIdentity(path);
    if (m_db->open(path))
        return Status::done();
    return Status::failed(m_db->connection.lastError());
}

bool RegisterDb::reopenIfReplaced(Status *failure)
{
    if (isServerLocation(m_path) || fileIdentity(m_path) == m_fileIdentity)
        return false;
    // The connection still reads the file that was there: its rows must not be mixed with the new
    // file's. Whatever is at the path now is opened, or nothing is.
    qWarning("the register file was replaced; opening it again");
    finalizeStatements();
    m_db->shutdown();
    ++m_reopened;
    m_fileIdentity = fileIdentity(m_path);
    if (!m_db->open(m_path))
        *failure = Status::failed(QStringLiteral("the register file was replaced and cannot be opened: %1")
                                      .arg(m_db->connection.lastError()));
    return true;
}

Status RegisterDb::dailyBackup(const QString &backupDir, const QDate &today, bool *made, const BackupPace &pace) const
{
    *made = false;
    if (m_path.isEmpty())
        return Status::failed(QStringLiteral("no register is open"));
    if (isServerLocation(m_path)) {
        // A register on a database server is kept by the server's own backups (pg_dump).
        return Status::done();
    }
    QString reason;
    if (!driverSharesSqlite(&reason))
        return Status::failed(reason);
    return ::dailyBackup(m_path, backupDir, today, kDailyBackupsKept, made, pace);
}

Read<qint64> RegisterDb::changeCounter()
{
    reconnectIfLost();
    Read<qint64> out;
    if (reopenIfReplaced(&out.status) && !out.status.ok())
        return out;
    if (!isOpen()) {
        out.status = readFailure(QStringLiteral("change counter"));
        return out;
    }
    if (m_db->connection.engine() == Engine::Postgres) {
        out.value = m_db->connection.changesAnnounced();
        if (out.value < 0)
            out.status = Status::failed(QStringLiteral("change counter: %1").arg(m_db->connection.lastError()));
        return out;
    }
    QSqlQuery q(m_db->connection.database());
    if (!q.exec(QStringLiteral("PRAGMA data_version")) || !q.next()) {
        out.status = Status::failed(QStringLiteral("change counter: %1").arg(q.lastError().text()));
        return out;
    }
    // Each file opened counts apart: the new file's own number may be the old one's.
    out.value = q.value(0).toLongLong() + (m_reopened << 40);
    return out;
}

bool RegisterDb::isOpen() const
{
    return m_db->connection.isOpen();
}

void RegisterDb::close()
{
    finalizeStatements();
    m_db->shutdown();
}

void RegisterDb::finalizeStatements()
{
    m_functionsOn = nullptr;
    sqlite3_finalize(m_serverByKey);
    m_serverByKey = nullptr;
    sqlite3_finalize(m_serversInRange);
    m_serversInRange = nullptr;
}

void RegisterDb::reconnectIfLost()
{
    // A database server that restarted, or a network that came back: the operation that found the
    // connection gone has failed and said so; the next one works on a fresh connection.
    if (!m_db->lost())
        return;
    qWarning("the connection to the register was lost; connecting again");
    finalizeStatements();
    m_db->shutdown();
    if (!m_db->open(m_path))
        qWarning("connecting again failed: %s", qPrintable(m_db->connection.lastError()));
}

QString RegisterDb::rowKey(const TableSchema &table) const
{
    return rowKeyColumn(table, m_db->connection.engine());
}

Status RegisterDb::readFailure(const QString &what) const
{
    if (!m_db->connection.isOpen())
        return Status::failed(QStringLiteral("%1: not connected").arg(what));
    sqlite3 *db = m_db->connection.sqliteHandle();
    return Status::failed(QStringLiteral("%1: %2").arg(what, db ? QString::fromUtf8(sqlite3_errmsg(db))
                                                                : QStringLiteral("no SQLite handle")));
}

// ---- servers ----

Read<std::vector<qint64>> RegisterDb::serverKeys(const ServerQuery &query, const ServerOrder &order)
{
    reconnectIfLost();
    Read<std::vector<qint64>> out;
    sqlite3 *db = m_db->connection.sqliteHandle();
    if (!db) {
        if (!isOpen())
            out.status = readFailure(QStringLiteral("server list"));
        else if (m_db->connection.libpqUsable() && query.field == ServerQuery::Field::All && order.isStored()) {
            // The whole list, the query every desk opens with: keys in binary straight from libpq.
            const QString key = rowKey(serverTable());
            if (!m_db->connection.readServerKeys(
                    QStringLiteral("SELECT %1 FROM %2 ORDER BY %1").arg(key, serverTable().name), &out.value))
                out.status = Status::failed(QStringLiteral("server list: %1").arg(m_db->connection.lastError()));
        } else
            out = serverKeysThroughQt(query, order);
        return out;
    }
    registerFunctions(db);
    if (query.field == ServerQuery::Field::All && order.isStored()) {
        Read<std::vector<qint64>> fast = allServerKeys(db);
        if (fast.ok())
            return fast;
    }
    const QString column = columnFor(query.field);
    const QString expires = columnName(ServerColumn::Expires);
    QString sql = QStringLiteral("SELECT rowid FROM %1").arg(serverTable().name);
    QByteArray value;
    int lastDay = 0;
    if (query.field == ServerQuery::Field::ExpiresWithin) {
        // kavro_day gives NULL for a text that is no date, so such servers are never listed.
        sql += QStringLiteral(" WHERE kavro_day(%1) <= ?1").arg(expires);
        lastDay = dayNumber(QDate::currentDate().addDays(query.days));
    } else if (!column.isEmpty()) {
        sql += QStringLiteral(" WHERE %1 = ?1").arg(column);
        value = query.text.toUtf8();
    }
    // rowid order is the order the servers were stored in; it also settles ties of a sort.
    sql += QLatin1String(" ORDER BY ");
    if (!order.isStored()) {
        const QString sortColumn = columnName(listColumnField(order.column));
        const QString direction = order.descending ? QStringLiteral(" DESC") : QString();
        if (isDateColumn(order.column))
            sql += QStringLiteral("kavro_day(%1) IS NULL, kavro_day(%1)%2, ").arg(sortColumn, direction);
        else
            sql += QStringLiteral("kavro_sortkey(%1)%2, ").arg(sortColumn, direction);
    }
    sql += QLatin1String("rowid");
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    const bool prepared = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) == SQLITE_OK;
    const bool bound =
        prepared &&
        (sqlite3_bind_parameter_count(stmt) == 0 ||
         (query.field == ServerQuery::Field::ExpiresWithin
              ? sqlite3_bind_int(stmt, 1, lastDay)
              : sqlite3_bind_text(stmt, 1, value.constData(), int(value.size()), SQLITE_STATIC)) == SQLITE_OK);
    if (!bound) {
        out.status = readFailure(QStringLiteral("server list"));
        sqlite3_finalize(stmt);
        return out;
    }
    if (!stepKeys(stmt, &out.value))
        out.status = readFailure(QStringLiteral("server list"));
    sqlite3_finalize(stmt);
    return out;
}

Read<std::vector<qint64>> RegisterDb::allServerKeys(sqlite3 *db)
{
    // Every key in stored order. The table itself holds whole rows (a million servers are some
    // 500 MB); the IP index holds every key in a few per cent of that. Read from there and put in
    // order here, which is about twice as fast; a register without that index reads the table.
    Read<std::vector<qint64>> out;
    const QByteArray sql = QStringLiteral("SELECT rowid FROM %1 INDEXED BY %1_%2")
                               .arg(serverTable().name, columnName(ServerColumn::Ip))
                               .toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        out.status = readFailure(QStringLiteral("server list"));
        return out;
    }
    if (!stepKeys(stmt, &out.value))
        out.status = readFailure(QStringLiteral("server list"));
    sqlite3_finalize(stmt);
    std::sort(out.value.begin(), out.value.end());
    return out;
}

Read<std::vector<qint64>> RegisterDb::serverKeysThroughQt(const ServerQuery &query, const ServerOrder &order)
{
    // Without SQL functions of our own: equality in SQL, the day count and the sort here, by the
    // same rules.
    Read<std::vector<qint64>> out;
    const QString column = columnFor(query.field);
    const bool byDays = query.field == ServerQuery::Field::ExpiresWithin;
    const QString key = rowKey(serverTable());
    // Only the columns the query needs: a whole list in stored order reads nothing but keys.
    QString sql = QStringLiteral("SELECT %1, %2, %3 FROM %4")
                      .arg(key, byDays ? columnName(ServerColumn::Expires) : QStringLiteral("NULL"),
                           order.isStored() ? QStringLiteral("NULL") : columnName(listColumnField(order.column)),
                           serverTable().name);
    if (!column.isEmpty())
        sql += QStringLiteral(" WHERE %1 = ?").arg(column);
    sql += QLatin1String(" ORDER BY ") + key;
    QSqlQuery q(m_db->connection.database());
    q.setForwardOnly(true);
    bool ok = column.isEmpty() ? q.exec(sql) : q.prepare(sql);
    if (ok && !column.isEmpty()) {
        q.addBindValue(query.text.isNull() ? QString(QLatin1String("")) : query.text);
        ok = q.exec();
    }
    struct Row {
        qint64 key;
        QByteArray sortKey;
        QDate date;
    };
    std::vector<Row> rows;
    const QDate last = QDate::currentDate().addDays(query.days);
    while (ok && q.next()) {
        if (byDays) {
            const QDate expires = textToDate(q.value(1).toString());
            if (!expires.isValid() || expires > last)
                continue;
        }
        Row row{q.value(0).toLongLong(), {}, {}};
        if (!order.isStored()) {
            const QString text = q.value(2).toString();
            if (isDateColumn(order.column))
                row.date = textToDate(text);
            else
                row.sortKey = chineseSortKey(text);
        }
        rows.push_back(std::move(row));
    }
    if (!ok || q.lastError().isValid()) {
        out.status = Status::failed(QStringLiteral("server list: %1").arg(q.lastError().text()));
        return out;
    }
    if (!order.isStored()) {
        const bool dates = isDateColumn(order.column);
        const bool down = order.descending;
        std::stable_sort(rows.begin(), rows.end(), [&](const Row &a, const Row &b) {
            if (dates) {
                if (a.date.isValid() != b.date.isValid())
                    return a.date.isValid(); // no date last, either way
                return down ? b.date < a.date : a.date < b.date;
            }
            return down ? b.sortKey < a.sortKey : a.sortKey < b.sortKey;
        });
    }
    out.value.reserve(rows.size());
    for (const Row &row : rows)
        out.value.push_back(row.key);
    return out;
}

Read<ExpirySummary> RegisterDb::expirySummary()
{
    reconnectIfLost();
    Read<ExpirySummary> out;
    if (!isOpen()) {
        out.status = readFailure(QStringLiteral("expiry summary"));
        return out;
    }
    // One pass: each distinct 到期时间 text with its count (an index-only scan where F_DQ has an
    // index), the few distinct texts then read as dates here.
    const QDate today = QDate::currentDate();
    auto count = [&](QStringView text, qint64 servers) {
        const Expiry e = expiryOf(text, today);
        out.value.servers += servers;
        if (e.state == Expiry::Expired)
            out.value.expired += servers;
        else if (e.state == Expiry::Soon)
            out.value.soon += servers;
    };
    const QString sql = QStringLiteral("SELECT %1, count(*) FROM %2 GROUP BY %1")
                            .arg(columnName(ServerColumn::Expires), serverTable().name);
    sqlite3 *db = m_db->connection.sqliteHandle();
    if (!db) {
        QSqlQuery q(m_db->connection.database());
        q.setForwardOnly(true);
        bool ok = q.exec(sql);
        while (ok && q.next())
            count(q.value(0).toString(), q.value(1).toLongLong());
        if (!ok || q.lastError().isValid()) {
            out.status = Status::failed(QStringLiteral("expiry summary: %1").arg(q.lastError().text()));
            out.value = {};
        }
        return out;
    }
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK) {
        out.status = readFailure(QStringLiteral("expiry summary"));
        sqlite3_finalize(stmt);
        return out;
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
        const QDate date = p ? utf8ToDate(p, sqlite3_column_bytes(stmt, 0)) : QDate();
        count(date.isValid() ? dateToText(date) : QString(), sqlite3_column_int64(stmt, 1));
    }
    if (rc != SQLITE_DONE) {
        out.status = readFailure(QStringLiteral("expiry summary"));
        out.value = {};
    }
    sqlite3_finalize(stmt);
    return out;
}

void RegisterDb::registerFunctions(sqlite3 *db)
{
    if (m_functionsOn == db)
        return;
    // Deterministic functions of this connection only: no stored schema, index or view uses them,
    // so the file opens in any other SQLite tool.
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(db, "kavro_day", 1, flags, nullptr, sqlDay, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "kavro_sortkey", 1, flags, nullptr, sqlSortKey, nullptr, nullptr, nullptr);
    m_functionsOn = db;
}

Read<std::vector<ServerRecord>> RegisterDb::servers(std::span<const qint64> keys)
{
    reconnectIfLost();
    Read<std::vector<ServerRecord>> out;
    QStringList columns;
    for (ServerColumn c : kRecordColumns)
        columns << columnName(c);
    const QString byKey =
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(columns.join(QLatin1String(", ")), serverTable().name);
    sqlite3 *db = m_db->connection.sqliteHandle();
    if (!db) {
        if (!isOpen())
            out.status = readFailure(QStringLiteral("servers"));
        else
            out = serversThroughQt(keys, columns);
        return out;
    }
    if (!m_serverByKey) {
        const QByteArray sql = byKey.toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &m_serverByKey, nullptr) != SQLITE_OK) {
            out.status = readFailure(QStringLiteral("servers"));
            finalizeStatements();
            return out;
        }
    }
    out.value.reserve(keys.size());
    auto fill = [](ServerRecord &r, sqlite3_stmt *stmt, int first) {
        QString *fields[] = {&r.customer, &r.number, &r.ip, &r.cabinet, &r.racked, &r.expires, &r.unracked, &r.remark};
        for (int i = 0; i < 8; ++i)
            *fields[i] = textColumn(stmt, first + i);
    };
    // Keys close together in stored order (a page of the list, an export of a whole list) are read
    // in one range scan rather than one look-up each.
    const bool ascending = keys.size() > 8 && std::is_sorted(keys.begin(), keys.end()) &&
                           std::adjacent_find(keys.begin(), keys.end()) == keys.end() &&
                           keys.back() - keys.front() < 2 * qint64(keys.size());
    if (ascending) {
        if (!m_serversInRange) {
            const QByteArray sql =
                QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid BETWEEN ?1 AND ?2 ORDER BY rowid")
                    .arg(columns.join(QLatin1String(", ")), serverTable().name)
                    .toUtf8();
            if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &m_serversInRange, nullptr) != SQLITE_OK) {
                out.status = readFailure(QStringLiteral("servers"));
                finalizeStatements();
                return out;
            }
        }
        sqlite3_reset(m_serversInRange);
        sqlite3_bind_int64(m_serversInRange, 1, keys.front());
        sqlite3_bind_int64(m_serversInRange, 2, keys.back());
        size_t next = 0;
        int rc;
        while ((rc = sqlite3_step(m_serversInRange)) == SQLITE_ROW) {
            const qint64 key = sqlite3_column_int64(m_serversInRange, 0);
            while (next < keys.size() && keys[next] < key) {
                out.value.emplace_back(); // no longer stored
                ++next;
            }
            if (next < keys.size() && keys[next] == key) {
                ServerRecord &r = out.value.emplace_back();
                r.key = key;
                fill(r, m_serversInRange, 1);
                ++next;
            }
        }
        sqlite3_reset(m_serversInRange);
        if (rc != SQLITE_DONE) {
            out.status = readFailure(QStringLiteral("servers"));
            out.value = {};
            return out;
        }
        out.value.resize(keys.size());
        return out;
    }
    for (const qint64 key : keys) {
        sqlite3_reset(m_serverByKey);
        sqlite3_bind_int64(m_serverByKey, 1, key);
        const int rc = sqlite3_step(m_serverByKey);
        ServerRecord &r = out.value.emplace_back();
        if (rc == SQLITE_ROW) {
            r.key = key;
            fill(r, m_serverByKey, 0);
        } else if (rc != SQLITE_DONE) {
            out.status = readFailure(QStringLiteral("servers"));
            out.value = {};
            break;
        }
    }
    sqlite3_reset(m_serverByKey);
    return out;
}

Read<std::vector<ServerRecord>> RegisterDb::serversThroughQt(std::span<const qint64> keys, const QStringList &columns)
{
    // The keys are numbers, so they go into the statement as they are: a few hundred a statement,
    // one round trip to a database server each, rather than one a key.
    Read<std::vector<ServerRecord>> out;
    out.value.resize(keys.size());
    const QString key = rowKey(serverTable());
    constexpr size_t kKeysPerStatement = 500;
    QSqlQuery q(m_db->connection.database());
    q.setForwardOnly(true);
    for (size_t first = 0; first < keys.size(); first += kKeysPerStatement) {
        const size_t end = std::min(keys.size(), first + kKeysPerStatement);
        QStringList wanted;
        std::unordered_multimap<qint64, size_t> positions;
        for (size_t i = first; i < end; ++i) {
            wanted << QString::number(keys[i]);
            positions.emplace(keys[i], i);
        }
        const QString sql = QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1 IN (%4)")
                                .arg(key, columns.join(QLatin1String(", ")), serverTable().name,
                                     wanted.join(QLatin1Char(',')));
        if (!q.exec(sql)) {
            out.status = Status::failed(QStringLiteral("servers: %1").arg(q.lastError().text()));
            out.value = {};
            return out;
        }
        while (q.next()) {
            ServerRecord r;
            r.key = q.value(0).toLongLong();
            QString *fields[] = {&r.customer, &r.number, &r.ip, &r.cabinet, &r.racked, &r.expires, &r.unracked, &r.remark};
            for (int i = 0; i < 8; ++i)
                *fields[i] = q.value(i + 1).toString();
            const auto [from, to] = positions.equal_range(r.key);
            for (auto it = from; it != to; ++it)
                out.value[it->second] = r;
        }
        if (q.lastError().isValid()) {
            out.status = Status::failed(QStringLiteral("servers: %1").arg(q.lastError().text()));
            out.value = {};
            return out;
        }
        q.finish();
    }
    return out;
}

Read<ServerRecord> RegisterDb::server(qint64 key)
{
    Read<std::vector<ServerRecord>> many = servers(std::span<const qint64>(&key, 1));
    Read<ServerRecord> out;
    out.status = many.status;
    if (many.ok()) {
        out.value = many.value.front();
        if (out.value.key < 0)
            out.status = {Fault::NotFound, QStringLiteral("no server with key %1").arg(key)};
    }
    return out;
}

Read<bool> RegisterDb::serverIpExists(const QString &ip)
{
    reconnectIfLost();
    Read<bool> out;
    // Compared byte for byte, as the index keeps them; an absent IP counts as the empty text.
    const QString column = columnName(ServerColumn::Ip);
    QString sql = QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?").arg(serverTable().name, column);
    if (ip.isEmpty())
        sql += QStringLiteral(" OR %1 IS NULL").arg(column);
    QSqlQuery q(m_db->connection.database());
    const bool ok = q.prepare(sql + QLatin1String(" LIMIT 1")) &&
                    (q.addBindValue(ip.isNull() ? QString(QLatin1String("")) : ip), q.exec());
    if (!ok)
        out.status = Status::failed(QStringLiteral("server IPs: %1").arg(q.lastError().text()));
    else
        out.value = q.next();
    return out;
}

Read<qint64> RegisterDb::addServer(const ServerRecord &s)
{
    reconnectIfLost();
    Read<qint64> out;
    QStringList columns;
    for (ServerColumn c : kRecordColumns)
        columns << columnName(c);
    const bool server = m_db->connection.engine() == Engine::Postgres;
    Statement insert = insertRow(serverTable().name, columns,
                                 {s.customer, s.number, s.ip, s.cabinet, s.racked, s.expires, s.unracked, s.remark});
    if (server)
        insert.sql += QLatin1String(" returning ") + rowKey(serverTable());
    const ExecResult r = m_db->sql.executeSql(insert);
    if (r.uniqueViolated)
        out.status = {Fault::Duplicate, QStringLiteral("a server has this IP: %1").arg(r.error)};
    else if (!r.ok)
        out.status = Status::failed(r.error);
    else
        out.value = server ? r.returned.toLongLong() : r.lastInsertId;
    return out;
}

Status RegisterDb::updateServer(const ServerRecord &server, bool withCustomer, const ServerRecord *asRead)
{
    reconnectIfLost();
    std::vector<std::pair<QString, QString>> expected;
    std::vector<std::pair<QString, QString>> assignments = serverAssignments(server, withCustomer);
    if (asRead) {
        expected = serverAssignments(*asRead, true);
        // A text that was absent and still is (a 下架时间 never filled in by an older program) stays
        // absent rather than becoming an empty text.
        // (A record whose every text is absent has them written as empty texts: a statement sets something.)
        auto kept = assignments;
        std::erase_if(kept, [&](const std::pair<QString, QString> &a) {
            const auto read = std::find_if(expected.begin(), expected.end(),
                                           [&](const std::pair<QString, QString> &e) { return e.first == a.first; });
            return a.second.isNull() && read != expected.end() && read->second.isNull();
        });
        if (!kept.empty())
            assignments = std::move(kept);
    }
    SqlExecutor &sql = m_db->sql;
    return inTransaction(sql, [&] {
        Status status = changeOne(sql, updateByKey(serverTable().name, assignments,
                                                   server.key, expected, rowKey(serverTable())));
        if (status.fault != Fault::NotFound || !asRead)
            return status;
        // No row changed: the server is gone, or another program saved other values meanwhile.
        QSqlQuery count(sql.database());
        if (!count.prepare(QStringLiteral("select count(*) from %1 where %2 = ?").arg(serverTable().name, rowKey(serverTable()))))
            return Status::failed(count.lastError().text());
        count.addBindValue(server.key);
        if (!count.exec() || !count.next())
            return Status::failed(count.lastError().text());
        const bool stillThere = count.value(0).toLongLong() > 0;
        if (stillThere)
            return Status{Fault::Changed, QStringLiteral("the server was saved by another program meanwhile")};
        return status;
    });
}

Status RegisterDb::deleteRecord(const TableSchema &table, qint64 key)
{
    reconnectIfLost();
    return inTransaction(m_db->sql, [&] { return changeOne(m_db->sql, deleteByKey(table.name, key, rowKey(table))); });
}

Status RegisterDb::deleteServer(qint64 key)
{
    return deleteRecord(serverTable(), key);
}

// ---- customers ----

Read<std::vector<CustomerRecord>> RegisterDb::customers()
{
    reconnectIfLost();
    Read<std::vector<CustomerRecord>> out;
    // In stored order, which is key order.
    const QString key = rowKey(customerTable());
    QSqlQuery q(m_db->connection.database());
    q.setForwardOnly(true);
    const bool ok = q.exec(QStringLiteral("SELECT %1, %2, %3, %4 FROM %5 ORDER BY %1")
                               .arg(key, columnName(CustomerColumn::Key), columnName(CustomerColumn::Name),
                                    columnName(CustomerColumn::Contact), customerTable().name));
    while (ok && q.next())
        out.value.push_back({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString()});
    if (!ok || q.lastError().isValid()) {
        out.status = Status::failed(QStringLiteral("customers: %1").arg(q.lastError().text()));
        out.value.clear();
    }
    return out;
}

Read<QStringList> RegisterDb::customerNames()
{
    Read<QStringList> out;
    const Read<std::vector<CustomerRecord>> all = customers();
    out.status = all.status;
    for (const CustomerRecord &c : all.value)
        out.value << c.name;
    return out;
}

Status RegisterDb::addCustomer(const QString &name, const QString &contact)
{
    reconnectIfLost();
    SqlExecutor &sql = m_db->sql;
    QSqlDatabase db = sql.database();
    const bool server = m_db->connection.engine() == Engine::Postgres;
    auto exists = [&](CustomerColumn column, const QString &value) -> std::optional<bool> {
        QSqlQuery look(db);
        look.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE coalesce(%2, '') = ? LIMIT 1")
                         .arg(customerTable().name, columnName(column)));
        look.addBindValue(value.isNull() ? QString(QLatin1String("")) : value);
        if (!look.exec())
            return std::nullopt;
        return look.next();
    };
    // One attempt: the name check and the store in one transaction that holds the table's write lock
    // from its start, so two desks adding one name at once take turns and the second finds the name
    // taken. (A file's BEGIN IMMEDIATE takes the file's write lock; the server's lock mode excludes
    // itself and lets readers be.)
    auto attempt = [&](bool *numberTaken) -> Status {
        QSqlQuery q(db);
        const bool begun = server ? (db.transaction() && q.exec(QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE")
                                                                    .arg(customerTable().name)))
                                  : q.exec(QStringLiteral("BEGIN IMMEDIATE"));
        if (!begun) {
            const QString reason = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
            if (server)
                db.rollback();
            return Status::failed(reason);
        }
        auto work = [&]() -> Status {
            bool unreadable = false;
            // The number is drawn before the name is checked, as the window has always done.
            const QString id = drawCustomerKey(*m_keys, [&](const QString &k) {
                const std::optional<bool> found = exists(CustomerColumn::Key, k);
                unreadable = unreadable || !found;
                return found.value_or(false);
            });
            const std::optional<bool> nameTaken = exists(CustomerColumn::Name, name);
            if (unreadable || !nameTaken)
                return Status::failed(QStringLiteral("reading the customers: %1").arg(db.lastError().text()));
            if (*nameTaken)
                return Status{Fault::Duplicate, QStringLiteral("a customer has this name")};
            const ExecResult r =
                sql.executeSql(insertRow(customerTable().name, customerTable().columns, {id, name, contact}));
            // A program that writes without the lock may still take the number meanwhile: where the
            // number index is unique that refuses the store, and a new number is drawn.
            *numberTaken = r.uniqueViolated;
            return r.ok ? Status::done() : Status::failed(r.error);
        };
        Status status = work();
        if (status.ok() && !db.commit())
            status = Status::failed(db.lastError().text());
        if (!status.ok())
            db.rollback();
        return status;
    };
    constexpr int kAttempts = 20;
    Status status;
    for (int i = 0; i < kAttempts; ++i) {
        bool numberTaken = false;
        status = attempt(&numberTaken);
        if (!numberTaken)
            break;
    }
    return status;
}

Status RegisterDb::changeCustomer(qint64 key, const QString &name, const QString &contact)
{
    reconnectIfLost();
    return inTransaction(m_db->sql, [&] {
        return changeOne(m_db->sql, updateByKey(customerTable().name,
                                                {{columnName(CustomerColumn::Name), name},
                                                 {columnName(CustomerColumn::Contact), contact}},
                                                key, {}, rowKey(customerTable())));
    });
}

Status RegisterDb::deleteCustomer(qint64 key)
{
    return deleteRecord(customerTable(), key);
}

// ---- administrator ----

Read<std::optional<AdminRecord>> RegisterDb::administrator()
{
    reconnectIfLost();
    Read<std::optional<AdminRecord>> out;
    QSqlQuery q(m_db->connection.database());
    q.setForwardOnly(true);
    const bool ok = q.exec(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %4 DESC LIMIT 1")
                               .arg(columnName(AdminColumn::Account), columnName(AdminColumn::Password),
                                    adminTable().name, rowKey(adminTable())));
    // With several rows, the last one stored.
    if (ok && q.next())
        out.value = AdminRecord{q.value(0).toString(), q.value(1).toString()};
    if (!ok || q.lastError().isValid())
        out.status = Status::failed(QStringLiteral("administrator: %1").arg(q.lastError().text()));
    return out;
}

Status RegisterDb::changeAdministrator(const QString &account, const QString &password)
{
    reconnectIfLost();
    SqlExecutor &sql = m_db->sql;
    return inTransaction(sql, [&] {
        const ExecResult a = sql.executeSql(adminUpdate(columnName(AdminColumn::Account), account));
        if (!a.ok)
            return Status::failed(a.error);
        const ExecResult p = sql.executeSql(adminUpdate(columnName(AdminColumn::Password), password));
        if (!p.ok)
            return Status::failed(p.error);
        if (a.rowsAffected > 0)
            return Status::done();
        // An empty table gets its administrator row, or the change would vanish unseen.
        const ExecResult i = sql.executeSql(insertRow(adminTable().name, adminTable().columns, {account, password}));
        return i.ok ? Status::done() : Status::failed(i.error);
    });
}

Status RegisterDb::replaceAdministrator(const QString &account, const QString &password)
{
    reconnectIfLost();
    SqlExecutor &sql = m_db->sql;
    return inTransaction(sql, [&] {
        const ExecResult d = sql.executeSql(QStringLiteral("delete from %1").arg(adminTable().name));
        if (!d.ok)
            return Status::failed(d.error);
        const ExecResult i = sql.executeSql(insertRow(adminTable().name, adminTable().columns, {account, password}));
        return i.ok ? Status::done() : Status::failed(i.error);
    });
}
