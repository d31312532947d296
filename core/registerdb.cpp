#include "core/registerdb.h"

#include "core/customerkey.h"
#include "core/engine/engine.h"
#include "core/engine/listrules.h"
#include "core/engine/schemaddl.h"
#include "core/listcolumns.h"
#include "core/schema.h"
#include "core/statements.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <functional>

namespace {

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

// The insert that stores a new server.
QStringList serverValues(const ServerRecord &s)
{
    return {s.customer, s.number, s.ip, s.cabinet, s.racked, s.expires, s.unracked, s.remark};
}

Statement serverInsert(const ServerRecord &s)
{
    return insertRow(serverTable().name, recordColumnNames(), serverValues(s));
}

// Rows a statement when many servers are stored at once (8 values each, well under every
// engine's limit on bound values).
constexpr size_t kRowsPerInsert = 500;

// A statement that must change exactly one record, inside the caller's transaction.
Status changeOne(RegisterEngine &sql, const Statement &statement)
{
    const ExecResult r = sql.execute(statement);
    if (!r.ok)
        return Status::failed(r.error);
    if (r.rowsAffected == 0)
        return {Fault::NotFound, QStringLiteral("the record is no longer stored")};
    if (r.rowsAffected > 1)
        return {Fault::NotUnique, QStringLiteral("%1 records answered to one key").arg(r.rowsAffected)};
    return Status::done();
}

// What kind of failure the engine's last one was.
Fault failureFault(const RegisterEngine &sql)
{
    return sql.lastDenied() ? Fault::Denied : sql.lastDiskFull() ? Fault::DiskFull : Fault::Failed;
}

// Runs work in one transaction: committed only when it returns done.
Status inTransaction(RegisterEngine &sql, const std::function<Status()> &work)
{
    if (!sql.isOpen())
        return Status::failed(QStringLiteral("not connected"));
    if (!sql.begin())
        return Status::failed(sql.database().lastError().text());
    Status status = work();
    if (status.ok() && sql.commit())
        return status;
    if (status.ok())
        status = Status::failed(sql.database().lastError().text());
    if (status.fault == Fault::Failed)
        status.fault = failureFault(sql);
    sql.rollback();
    return status;
}

} // namespace

RegisterDb::RegisterDb(QRandomGenerator *keys) : m_keys(keys ? keys : QRandomGenerator::global()) {}

RegisterDb::~RegisterDb()
{
    close();
}

namespace {
} // namespace

Status RegisterDb::open(const QString &path)
{
    close();
    m_engine = RegisterEngine::forLocation(path);
    QString error;
    m_pauseMs = 0;
    m_nextTryMs = 0;
    if (m_engine->open(&error)) {
        m_wanted = true;
        return Status::done();
    }
    return Status::failed(error);
}

Status RegisterDb::dailyBackup(const QString &backupDir, const QDate &today, bool *made, const BackupPace &pace) const
{
    *made = false;
    if (!m_engine)
        return Status::failed(QStringLiteral("no register is open"));
    return m_engine->dailyBackup(backupDir, today, kDailyBackupsKept, made, pace);
}

Read<qint64> RegisterDb::changeCounter()
{
    reconnectIfLost();
    if (!m_engine)
        return {notConnected(QStringLiteral("change counter")), {}};
    return m_engine->changeCounter();
}

QString RegisterDb::location() const
{
    return m_engine ? m_engine->location() : QString();
}

bool RegisterDb::hasTextIndex() const
{
    return isOpen() && m_engine->hasTextIndex();
}

void RegisterDb::interrupt()
{
    if (m_engine)
        m_engine->interrupt();
}

bool RegisterDb::isOpen() const
{
    return m_engine && m_engine->isOpen();
}

void RegisterDb::close()
{
    m_wanted = false;
    if (m_engine)
        m_engine->close();
}

bool RegisterDb::isReconnecting() const
{
    return m_wanted && m_engine && m_engine->connectsToServer() && (!m_engine->isOpen() || m_engine->lost());
}

Status RegisterDb::notConnected(const QString &what) const
{
    return Status::failed(QStringLiteral("%1: not connected").arg(what));
}

void RegisterDb::reconnectIfLost()
{
    // A database server that restarted, or a network that came back: the operation that found the
    // connection gone has failed and said so; the next one works on a fresh connection.
    if (!isReconnecting())
        return;
    // A server away for a while is not asked at every step: the pause between tries grows from
    // half a second to eight.
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    if (clock.elapsed() < m_nextTryMs)
        return;
    qWarning("the connection to the register was lost; connecting again");
    QString error;
    if (m_engine->open(&error)) {
        m_pauseMs = 0;
        return;
    }
    m_pauseMs = std::clamp(m_pauseMs * 2, 500, 8000);
    m_nextTryMs = clock.elapsed() + m_pauseMs;
    qWarning("connecting again failed (next try in %d ms): %s", m_pauseMs, qPrintable(error));
}

QString RegisterDb::rowKey(const TableSchema &table) const
{
    return m_engine->rowKey(table);
}

// ---- servers ----

Read<std::vector<qint64>> RegisterDb::serverKeys(const ServerQuery &query, const ServerOrder &order)
{
    reconnectIfLost();
    if (!isOpen())
        return {notConnected(QStringLiteral("server list")), {}};
    return m_engine->serverKeys(query, order);
}

Read<ExpirySummary> RegisterDb::expirySummary()
{
    reconnectIfLost();
    if (!isOpen())
        return {notConnected(QStringLiteral("expiry summary")), {}};
    return m_engine->expirySummary(QDate::currentDate());
}

Read<std::vector<ServerRecord>> RegisterDb::servers(std::span<const qint64> keys)
{
    reconnectIfLost();
    if (!isOpen())
        return {notConnected(QStringLiteral("servers")), {}};
    return m_engine->servers(keys);
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
    if (!isOpen())
        return {notConnected(QStringLiteral("server IPs")), {}};
    Read<bool> out;
    // Compared byte for byte, as the index keeps them; an absent IP counts as the empty text.
    const QString column = columnName(ServerColumn::Ip);
    QString sql = QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?").arg(serverTable().name, column);
    if (ip.isEmpty())
        sql += QStringLiteral(" OR %1 IS NULL").arg(column);
    QSqlQuery q(m_engine->database());
    const bool ok = q.prepare(sql + QLatin1String(" LIMIT 1")) &&
                    (q.addBindValue(ip.isNull() ? QString(QLatin1String("")) : ip), q.exec());
    if (!ok)
        out.status = Status::failed(QStringLiteral("server IPs: %1").arg(q.lastError().text()));
    else
        out.value = q.next();
    return out;
}

Read<QSet<QString>> RegisterDb::storedIps(const QStringList &ips)
{
    reconnectIfLost();
    if (!isOpen())
        return {notConnected(QStringLiteral("server IPs")), {}};
    Read<QSet<QString>> out;
    // Five hundred a query, each through the IP index.
    constexpr qsizetype kPerQuery = 500;
    QSqlQuery q(m_engine->database());
    q.setForwardOnly(true);
    for (qsizetype first = 0; first < ips.size(); first += kPerQuery) {
        const QStringList some = ips.mid(first, kPerQuery);
        QStringList marks(some.size(), QStringLiteral("?"));
        const QString column = columnName(ServerColumn::Ip);
        bool ok = q.prepare(QStringLiteral("SELECT %2 FROM %1 WHERE %2 IN (%3)")
                                .arg(serverTable().name, column, marks.join(QLatin1Char(','))));
        for (const QString &ip : some)
            q.addBindValue(ip.isNull() ? QString(QLatin1String("")) : ip);
        ok = ok && q.exec();
        if (!ok) {
            out.status = Status::failed(QStringLiteral("server IPs: %1").arg(q.lastError().text()));
            out.value.clear();
            return out;
        }
        while (q.next())
            out.value.insert(q.value(0).toString());
    }
    return out;
}

Read<qint64> RegisterDb::addServer(const ServerRecord &s)
{
    reconnectIfLost();
    if (!isOpen())
        return {notConnected(QStringLiteral("adding a server")), -1};
    return storeServer(s, QString());
}

namespace {
// A NUL character ends a text for most programs and a database server refuses it: no register stores one.
Status refuseNul(const ServerRecord &s)
{
    for (const ListColumn &c : listColumns())
        if ((s.*c.field).contains(QChar(0)))
            return Status::failed(QStringLiteral("the %1 holds a NUL character, which a register does not store")
                                      .arg(columnName(c.column)));
    return Status::done();
}
} // namespace

Read<qint64> RegisterDb::storeServer(const ServerRecord &s, const QString &action)
{
    if (Status nul = refuseNul(s); !nul.ok())
        return {nul, -1};
    // In a transaction of its own, so that the history's entry is signed with it.
    Read<qint64> out{{}, -1};
    out.status = inTransaction(*m_engine, [&] {
        if (!action.isEmpty())
            m_engine->nameNextChange(action);
        const Read<qint64> added = m_engine->insertServer(serverInsert(s));
        out.value = added.value;
        return added.status;
    });
    if (!out.ok())
        out.value = -1;
    return out;
}

QString RegisterDb::engineName() const
{
    return isOpen() ? m_engine->engineName() : QString();
}

bool RegisterDb::isWritable() const
{
    return isOpen() && m_engine->writable();
}

QStringList RegisterDb::securityWarnings() const
{
    return isOpen() ? m_engine->securityWarnings() : QStringList();
}

bool RegisterDb::hasHistory() const
{
    return isOpen() && m_engine->hasHistory();
}

namespace {
// What the windows call a stored field.
QString fieldTitle(const QString &column)
{
    for (const ListColumn &c : listColumns())
        if (columnName(c.column) == column)
            return c.column == ServerColumn::Customer ? QStringLiteral("客户名称") : c.title;
    static const QList<std::pair<QString, QString>> others = {
        {columnName(CustomerColumn::Key), QStringLiteral("客户编号")},
        {columnName(CustomerColumn::Name), QStringLiteral("客户名称")},
        {columnName(CustomerColumn::Contact), QStringLiteral("联系方式")},
        {columnName(AdminColumn::Account), QStringLiteral("管理员帐号")},
        {columnName(AdminColumn::Password), QStringLiteral("管理员密码")},
    };
    for (const auto &[c, title] : others)
        if (c == column)
            return title;
    return column;
}

HistoryEntry entryOf(const QSqlQuery &q)
{
    HistoryEntry e;
    e.id = q.value(0).toLongLong();
    e.when = q.value(1).toString();
    e.who = q.value(2).toString();
    e.table = q.value(3).toString();
    e.action = q.value(4).toString();
    e.record = q.value(5).toLongLong();
    e.name = q.value(6).toString();
    const QJsonObject changes = QJsonDocument::fromJson(q.value(7).toString().toUtf8()).object();
    // In the table's column order, whatever order the engine wrote them in.
    const TableSchema *table = tableNamed(e.table);
    QStringList order = table ? table->columns : changes.keys();
    for (const QString &column : order) {
        QString key;
        for (const QString &k : changes.keys())
            if (k.compare(column, Qt::CaseInsensitive) == 0)
                key = k;
        if (key.isEmpty())
            continue;
        const QJsonArray pair = changes.value(key).toArray();
        FieldChange f;
        f.field = column;
        f.title = fieldTitle(column);
        f.hidden = column == columnName(AdminColumn::Password);
        if (!pair.at(0).isNull() && !f.hidden)
            f.before = pair.at(0).toString();
        if (!pair.at(1).isNull() && !f.hidden)
            f.after = pair.at(1).toString();
        e.changes.push_back(f);
    }
    return e;
}

QString historySelect()
{
    return QStringLiteral("SELECT %1 FROM %2")
        .arg(historyTable().columns.join(QLatin1String(", ")), historyTable().name);
}
} // namespace

Read<std::vector<HistoryEntry>> RegisterDb::serverHistory(qint64 key)
{
    Read<std::vector<HistoryEntry>> out;
    if (!isOpen())
        return {notConnected(QStringLiteral("history")), {}};
    QSqlQuery q(m_engine->database());
    q.setForwardOnly(true);
    const bool ok =
        q.prepare(historySelect() + QStringLiteral(" WHERE %1 = ? AND %2 = ? ORDER BY %3 DESC")
                                        .arg(columnName(HistoryColumn::Table), columnName(HistoryColumn::Record),
                                             columnName(HistoryColumn::Id)));
    q.addBindValue(serverTable().name);
    q.addBindValue(key);
    if (!ok || !q.exec()) {
        out.status = m_engine->failureOf(QStringLiteral("history"), q.lastError());
        return out;
    }
    while (q.next())
        out.value.push_back(entryOf(q));
    return out;
}

Read<std::vector<HistoryEntry>> RegisterDb::deletedServers()
{
    Read<std::vector<HistoryEntry>> out;
    if (!isOpen())
        return {notConnected(QStringLiteral("history")), {}};
    QSqlQuery q(m_engine->database());
    q.setForwardOnly(true);
    const bool ok = q.prepare(
        historySelect() +
        QStringLiteral(" WHERE %1 ORDER BY %2 DESC").arg(deletionsCondition(), columnName(HistoryColumn::Id)));
    if (!ok || !q.exec()) {
        out.status = m_engine->failureOf(QStringLiteral("history"), q.lastError());
        return out;
    }
    // A deletion that a later restore brought back (the same texts) is no longer listed.
    std::vector<ServerRecord> restored;
    while (q.next()) {
        HistoryEntry e = entryOf(q);
        if (e.action == kActionRestored) {
            ServerRecord r;
            for (const ListColumn &c : listColumns())
                for (const FieldChange &f : e.changes)
                    if (f.field == columnName(c.column) && f.after)
                        r.*c.field = *f.after;
            restored.push_back(r);
            continue;
        }
        const auto again = std::find(restored.begin(), restored.end(), e.serverBefore());
        if (again != restored.end()) {
            restored.erase(again);
            continue;
        }
        out.value.push_back(std::move(e));
    }
    return out;
}

Read<qint64> RegisterDb::restoreServer(const HistoryEntry &deletion)
{
    const Read<std::vector<qint64>> restored = restoreServers({deletion});
    return {restored.status, restored.ok() ? restored.value.front() : -1};
}

Read<std::vector<qint64>> RegisterDb::restoreServers(const std::vector<HistoryEntry> &deletions)
{
    reconnectIfLost();
    if (!isOpen())
        return {notConnected(QStringLiteral("restoring servers")), {}};
    std::vector<ServerRecord> servers;
    QStringList ips;
    for (const HistoryEntry &d : deletions) {
        servers.push_back(d.serverBefore());
        if (ips.contains(servers.back().ip))
            return {{Fault::Duplicate, servers.back().ip}, {}};
        ips << servers.back().ip;
    }
    Read<std::vector<qint64>> out;
    out.status = inTransaction(*m_engine, [&] {
        // Checked inside the transaction, so that no other desk stores one of the IPs in between.
        const Read<QSet<QString>> taken = storedIps(ips);
        if (!taken.ok())
            return taken.status;
        for (const QString &ip : ips)
            if (taken.value.contains(ip))
                return Status{Fault::Duplicate, ip};
        m_engine->nameNextChange(kActionRestored);
        for (const ServerRecord &s : servers) {
            const Read<qint64> added = m_engine->insertServer(serverInsert(s));
            if (!added.ok())
                return added.status.fault == Fault::Duplicate ? Status{Fault::Duplicate, s.ip} : added.status;
            out.value.push_back(added.value);
        }
        return Status::done();
    });
    if (!out.ok())
        out.value.clear();
    return out;
}

Read<std::vector<HistoryEntry>> RegisterDb::history(const QString &ip, const QString &since, const QString &who)
{
    Read<std::vector<HistoryEntry>> out;
    if (!isOpen())
        return {notConnected(QStringLiteral("history")), {}};
    QStringList where;
    QVariantList values;
    if (!ip.isEmpty()) {
        where << QStringLiteral("%1 = ? AND %2 = ?")
                     .arg(columnName(HistoryColumn::Table), columnName(HistoryColumn::Name));
        values << serverTable().name << ip;
    }
    if (!since.isEmpty()) {
        where << QStringLiteral("%1 >= ?").arg(columnName(HistoryColumn::Time));
        values << since;
    }
    if (!who.isEmpty()) {
        where << QStringLiteral("%1 = ?").arg(columnName(HistoryColumn::Who));
        values << who;
    }
    QSqlQuery q(m_engine->database());
    q.setForwardOnly(true);
    const bool ok =
        q.prepare(historySelect() +
                  (where.isEmpty() ? QString() : QLatin1String(" WHERE ") + where.join(QLatin1String(" AND "))) +
                  QStringLiteral(" ORDER BY %1").arg(columnName(HistoryColumn::Id)));
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!ok || !q.exec()) {
        out.status = Status::failed(QStringLiteral("history: %1").arg(q.lastError().text()));
        return out;
    }
    while (q.next())
        out.value.push_back(entryOf(q));
    return out;
}

Status RegisterDb::updateServer(const ServerRecord &server, bool withCustomer, const ServerRecord *asRead)
{
    reconnectIfLost();
    if (!isOpen())
        return notConnected(QStringLiteral("saving a server"));
    return inTransaction(*m_engine, [&] { return updateServerIn(server, withCustomer, asRead); });
}

Status RegisterDb::modifyServers(const std::vector<std::pair<ServerRecord, ServerRecord>> &changes)
{
    reconnectIfLost();
    if (!isOpen())
        return notConnected(QStringLiteral("saving servers"));
    return inTransaction(*m_engine, [&] {
        for (const auto &[asRead, changed] : changes)
            if (Status s = updateServerIn(changed, true, &asRead); !s.ok())
                return s;
        return Status::done();
    });
}

Status RegisterDb::deleteServers(const std::vector<qint64> &keys)
{
    reconnectIfLost();
    if (!isOpen())
        return notConnected(QStringLiteral("deleting servers"));
    const TableSchema &table = serverTable();
    return inTransaction(*m_engine, [&] {
        for (qint64 key : keys)
            if (Status s = changeOne(*m_engine, deleteByKey(table.name, key, rowKey(table))); !s.ok())
                return s;
        return Status::done();
    });
}

Status RegisterDb::updateServerIn(const ServerRecord &server, bool withCustomer, const ServerRecord *asRead)
{
    if (Status nul = refuseNul(server); !nul.ok())
        return nul;
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
    RegisterEngine &sql = *m_engine;
    Status status =
        changeOne(sql, updateByKey(serverTable().name, assignments, server.key, expected, rowKey(serverTable())));
    if (status.fault != Fault::NotFound || !asRead)
        return status;
    // No row changed: the server is gone, or another program saved other values meanwhile.
    QSqlQuery count(sql.database());
    if (!count.prepare(
            QStringLiteral("select count(*) from %1 where %2 = ?").arg(serverTable().name, rowKey(serverTable()))))
        return Status::failed(count.lastError().text());
    count.addBindValue(server.key);
    if (!count.exec() || !count.next())
        return Status::failed(count.lastError().text());
    const bool stillThere = count.value(0).toLongLong() > 0;
    if (stillThere)
        return Status{Fault::Changed, QStringLiteral("the server was saved by another program meanwhile")};
    return status;
}

Status RegisterDb::deleteRecord(const TableSchema &table, qint64 key)
{
    reconnectIfLost();
    if (!isOpen())
        return notConnected(QStringLiteral("writing"));
    return inTransaction(*m_engine, [&] { return changeOne(*m_engine, deleteByKey(table.name, key, rowKey(table))); });
}

Status RegisterDb::deleteServer(qint64 key)
{
    return deleteRecord(serverTable(), key);
}

// ---- customers ----

Read<std::vector<CustomerRecord>> RegisterDb::customers()
{
    reconnectIfLost();
    if (!isOpen())
        return {notConnected(QStringLiteral("customers")), {}};
    Read<std::vector<CustomerRecord>> out;
    // In stored order, which is key order.
    const QString key = rowKey(customerTable());
    QSqlQuery q(m_engine->database());
    q.setForwardOnly(true);
    const bool ok = q.exec(QStringLiteral("SELECT %1, %2, %3, %4 FROM %5 ORDER BY %1")
                               .arg(key, columnName(CustomerColumn::Key), columnName(CustomerColumn::Name),
                                    columnName(CustomerColumn::Contact), customerTable().name));
    while (ok && q.next())
        out.value.push_back(
            {q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString()});
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
    if (!isOpen())
        return notConnected(QStringLiteral("adding a customer"));
    RegisterEngine &sql = *m_engine;
    QSqlDatabase db = sql.database();
    auto exists = [&](CustomerColumn column, const QString &value) -> std::optional<bool> {
        QSqlQuery look(db);
        look.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE coalesce(%2, '') = ? LIMIT 1")
                         .arg(customerTable().name, columnName(column)));
        look.addBindValue(value.isNull() ? QString(QLatin1String("")) : value);
        if (!look.exec())
            return std::nullopt;
        return look.next();
    };
    // One attempt: the name check and the store in one transaction that holds the customers' write
    // lock from its start, so two desks adding one name at once take turns and the second finds the
    // name taken.
    auto attempt = [&](bool *numberTaken) -> Status {
        QString reason;
        if (!sql.beginLocked(customerTable(), &reason))
            return Status{failureFault(sql), reason};
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
                sql.execute(insertRow(customerTable().name, customerTable().columns, {id, name, contact}));
            // A program that writes without the lock may still take the number meanwhile: where the
            // number index is unique that refuses the store, and a new number is drawn.
            *numberTaken = r.uniqueViolated;
            return r.ok ? Status::done() : Status::failed(r.error);
        };
        Status status = work();
        if (status.ok() && !sql.commit())
            status = Status::failed(db.lastError().text());
        if (!status.ok())
            sql.rollback();
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

Status RegisterDb::addServersWithCustomers(const std::vector<ServerRecord> &servers, const QStringList &newCustomers,
                                           const std::function<bool(size_t)> &goOn)
{
    return addServersWithCustomers(
        servers.size(), [&servers](size_t i) -> const ServerRecord & { return servers[i]; }, newCustomers, goOn);
}

Read<std::vector<ServerRecord>> RegisterDb::serversWithIps(const QStringList &ips)
{
    reconnectIfLost();
    if (!isOpen())
        return {notConnected(QStringLiteral("servers")), {}};
    return m_engine->serversWithIps(ips);
}

Status RegisterDb::addServersWithCustomers(size_t count, const std::function<const ServerRecord &(size_t)> &serverAt,
                                           const QStringList &newCustomers, const std::function<bool(size_t)> &goOn,
                                           const std::vector<std::pair<ServerRecord, ServerRecord>> &changes)
{
    reconnectIfLost();
    if (!isOpen())
        return notConnected(QStringLiteral("importing"));
    for (size_t i = 0; i < count; ++i)
        if (Status nul = refuseNul(serverAt(i)); !nul.ok())
            return nul;
    RegisterEngine &sql = *m_engine;
    QSqlDatabase db = sql.database();
    QString reason;
    if (!sql.beginLocked(customerTable(), &reason))
        return Status{failureFault(sql), reason};
    auto exists = [&](CustomerColumn column, const QString &value) -> std::optional<bool> {
        QSqlQuery look(db);
        look.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE coalesce(%2, '') = ? LIMIT 1")
                         .arg(customerTable().name, columnName(column)));
        look.addBindValue(value);
        if (!look.exec())
            return std::nullopt;
        return look.next();
    };
    std::pair<size_t, size_t> clash{0, 0}; // the rows of a statement a unique index refused
    auto work = [&]() -> Status {
        for (const QString &name : newCustomers) {
            const std::optional<bool> there = exists(CustomerColumn::Name, name);
            if (!there)
                return Status::failed(QStringLiteral("reading the customers: %1").arg(db.lastError().text()));
            if (*there)
                continue; // another desk made it meanwhile
            bool unreadable = false;
            const QString id = drawCustomerKey(*m_keys, [&](const QString &k) {
                const std::optional<bool> found = exists(CustomerColumn::Key, k);
                unreadable = unreadable || !found;
                return found.value_or(false);
            });
            if (unreadable)
                return Status::failed(QStringLiteral("reading the customers: %1").arg(db.lastError().text()));
            const ExecResult r = sql.execute(
                insertRow(customerTable().name, customerTable().columns, {id, name, QString(QLatin1String(""))}));
            if (!r.ok)
                return Status::failed(r.error);
        }
        // Each change guarded by the values read, as a window's save is.
        for (size_t i = 0; i < changes.size(); ++i) {
            if (goOn && i % kRowsPerInsert == 0 && !goOn(i))
                return Status::failed(QStringLiteral("cancelled"));
            const auto &[asRead, changed] = changes[i];
            const Status s = updateServerIn(changed, true, &asRead);
            if (s.fault == Fault::Changed || s.fault == Fault::NotFound)
                return Status{Fault::Changed, asRead.ip};
            if (!s.ok())
                return s;
        }
        // Several hundred rows a statement: a file's text index keeps what it is told in memory
        // until the statement ends, so one row a statement would write the index row by row.
        for (size_t first = 0; first < count; first += kRowsPerInsert) {
            if (goOn && !goOn(changes.size() + first))
                return Status::failed(QStringLiteral("cancelled"));
            const size_t end = std::min(count, first + kRowsPerInsert);
            std::vector<QStringList> rows;
            rows.reserve(end - first);
            for (size_t i = first; i < end; ++i)
                rows.push_back(serverValues(serverAt(i)));
            const ExecResult r = sql.execute(insertRows(serverTable().name, recordColumnNames(), rows));
            if (r.uniqueViolated) {
                clash = {first, end};
                return Status{Fault::Duplicate, serverAt(first).ip};
            }
            if (!r.ok)
                return Status::failed(r.error);
        }
        if (goOn && !goOn(changes.size() + count))
            return Status::failed(QStringLiteral("cancelled"));
        return Status::done();
    };
    Status status = work();
    if (status.ok() && !sql.commit())
        status = Status::failed(db.lastError().text());
    if (!status.ok()) {
        if (status.fault == Fault::Failed)
            status.fault = failureFault(sql);
        sql.rollback();
    }
    // Another desk stored one of a statement's IPs since the check: name it.
    for (size_t i = clash.first; i < clash.second; ++i)
        if (serverIpExists(serverAt(i).ip).value) {
            status.reason = serverAt(i).ip;
            break;
        }
    return status;
}

Status RegisterDb::changeCustomer(qint64 key, const QString &name, const QString &contact, CustomerRenamed *renamed)
{
    reconnectIfLost();
    if (!isOpen())
        return notConnected(QStringLiteral("writing"));
    RegisterEngine &sql = *m_engine;
    const QString customers = customerTable().name;
    const QString nameColumn = columnName(CustomerColumn::Name);
    const QString key_ = rowKey(customerTable());
    CustomerRenamed outcome;
    const Status status = inTransaction(sql, [&] {
        QSqlQuery q(sql.database());
        if (!q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(nameColumn, customers, key_)))
            return Status::failed(q.lastError().text());
        q.addBindValue(key);
        if (!q.exec())
            return Status::failed(q.lastError().text());
        if (!q.next())
            return Status{Fault::NotFound, QStringLiteral("the record is no longer stored")};
        const QString old = q.value(0).toString();
        if (Status s = changeOne(sql, updateByKey(customers,
                                                  {{nameColumn, name}, {columnName(CustomerColumn::Contact), contact}},
                                                  key, {}, key_));
            !s.ok())
            return s;
        if (old == name)
            return Status::done();
        QSqlQuery shared(sql.database());
        if (!shared.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE coalesce(%2, '') = ? AND %3 <> ? LIMIT 1")
                                .arg(customers, nameColumn, key_)))
            return Status::failed(shared.lastError().text());
        shared.addBindValue(old);
        shared.addBindValue(key);
        if (!shared.exec())
            return Status::failed(shared.lastError().text());
        if (shared.next()) {
            outcome.nameShared = true;
            return Status::done();
        }
        const ExecResult moved = sql.execute(Statement{QStringLiteral("update %1 set %2 = ? where %2 = ?")
                                                           .arg(serverTable().name, columnName(ServerColumn::Customer)),
                                                       {name, old}});
        if (!moved.ok)
            return Status::failed(moved.error);
        outcome.servers = int(moved.rowsAffected);
        return Status::done();
    });
    if (renamed && status.ok())
        *renamed = outcome;
    return status;
}

Read<int> RegisterDb::customerServerCount(qint64 key)
{
    reconnectIfLost();
    if (!isOpen())
        return {notConnected(QStringLiteral("customers")), 0};
    Read<int> out;
    QSqlQuery q(m_engine->database());
    const bool ok =
        q.prepare(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = (SELECT %3 FROM %4 WHERE %5 = ?)")
                      .arg(serverTable().name, columnName(ServerColumn::Customer), columnName(CustomerColumn::Name),
                           customerTable().name, rowKey(customerTable()))) &&
        (q.addBindValue(key), q.exec()) && q.next();
    if (!ok)
        out.status = Status::failed(QStringLiteral("customers: %1").arg(q.lastError().text()));
    else
        out.value = q.value(0).toInt();
    return out;
}

Status RegisterDb::deleteCustomer(qint64 key)
{
    return deleteRecord(customerTable(), key);
}

// ---- administrator ----

Read<std::optional<AdminRecord>> RegisterDb::administrator()
{
    reconnectIfLost();
    if (!isOpen())
        return {notConnected(QStringLiteral("administrator")), {}};
    Read<std::optional<AdminRecord>> out;
    QSqlQuery q(m_engine->database());
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
    if (!isOpen())
        return notConnected(QStringLiteral("writing"));
    RegisterEngine &sql = *m_engine;
    return inTransaction(sql, [&] {
        // One statement for both, so that the history keeps one change of the administrator.
        auto given = [](const QString &t) { return t.isNull() ? QString(QLatin1String("")) : t; };
        const ExecResult a = sql.execute(
            Statement{QStringLiteral("update %1 set %2 = ?, %3 = ?")
                          .arg(adminTable().name, columnName(AdminColumn::Account), columnName(AdminColumn::Password)),
                      {given(account), given(password)}});
        if (!a.ok)
            return Status::failed(a.error);
        if (a.rowsAffected > 0)
            return Status::done();
        // An empty table gets its administrator row, or the change would vanish unseen.
        const ExecResult i = sql.execute(insertRow(adminTable().name, adminTable().columns, {account, password}));
        return i.ok ? Status::done() : Status::failed(i.error);
    });
}

Status RegisterDb::replaceAdministrator(const QString &account, const QString &password)
{
    reconnectIfLost();
    if (!isOpen())
        return notConnected(QStringLiteral("writing"));
    RegisterEngine &sql = *m_engine;
    return inTransaction(sql, [&] {
        const ExecResult d = sql.execute(Statement{QStringLiteral("delete from %1").arg(adminTable().name), {}});
        if (!d.ok)
            return Status::failed(d.error);
        const ExecResult i = sql.execute(insertRow(adminTable().name, adminTable().columns, {account, password}));
        return i.ok ? Status::done() : Status::failed(i.error);
    });
}
