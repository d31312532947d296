#include "core/engine/engine.h"

#include "core/datetext.h"
#include "core/engine/listrules.h"
#include "core/engine/postgresengine.h"
#include "core/engine/sqliteengine.h"
#include "core/sortkey.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <unordered_map>

namespace {
QString uniqueConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("kavro-register-%1").arg(counter.fetchAndAddRelaxed(1));
}
} // namespace

std::unique_ptr<RegisterEngine> RegisterEngine::forLocation(const QString &location)
{
    if (isServerLocation(location))
        return std::make_unique<PostgresEngine>(location);
    return std::make_unique<SqliteEngine>(location);
}

RegisterEngine::RegisterEngine(const QString &location) : m_location(location), m_name(uniqueConnectionName()) {}

RegisterEngine::~RegisterEngine()
{
    // Not close(): a derived engine is already gone here; close() is called by its destructor.
    m_prepared.clear();
    if (m_open) {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
}

bool RegisterEngine::open(QString *error)
{
    close();
    m_open = openRegister(m_name, m_location, error);
    if (m_open && !afterOpen(error))
        close();
    if (m_open)
        lookAtSchema();
    return m_open;
}

void RegisterEngine::lookAtSchema()
{
    QSqlDatabase db = database();
    m_textIndex = textIndexPresent(db);
    m_history = historyPresent(db);
}

void RegisterEngine::close()
{
    if (!m_open)
        return;
    m_prepared.clear();
    beforeClose();
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
    m_open = false;
}

QSqlDatabase RegisterEngine::database() const
{
    return m_open ? QSqlDatabase::database(m_name, false) : QSqlDatabase();
}

Status RegisterEngine::readFailure(const QString &what, const QString &reason) const
{
    return Status::failed(QStringLiteral("%1: %2").arg(what, m_open ? reason : QStringLiteral("not connected")));
}

ExecResult RegisterEngine::execute(const Statement &statement)
{
    ExecResult result;
    if (!isOpen()) {
        result.error = QStringLiteral("database not open");
        return result;
    }
    // A statement prepared once is kept and run again with new values: on a database server that
    // saves a round trip for the preparation of every save.
    auto found = m_prepared.find(statement.sql);
    if (found == m_prepared.end()) {
        QSqlQuery prepared(database());
        if (!prepared.prepare(statement.sql)) {
            result.error = prepared.lastError().text();
            return result;
        }
        found = m_prepared.emplace(statement.sql, std::move(prepared)).first;
    }
    QSqlQuery &q = found->second;
    for (int i = 0; i < statement.values.size(); ++i)
        q.bindValue(i, statement.values[i]);
    result.ok = q.exec();
    if (result.ok) {
        result.rowsAffected = q.numRowsAffected();
        // lastInsertId() is not asked: on PostgreSQL Qt's driver would run lastval(), whose failure
        // aborts the transaction the statement is part of. A statement that returns a key says it.
        if (q.isSelect() && q.next())
            result.returned = q.value(0);
        q.finish();
    } else {
        result.error = q.lastError().text();
        result.uniqueViolated = meaningOf(q.lastError()).unique;
        noteFailure(q.lastError());
        result.denied = m_lastDenied;
    }
    return result;
}

void RegisterEngine::noteFailure(const QSqlError &error)
{
    const ErrorMeaning meaning = meaningOf(error);
    m_lastDenied = meaning.denied;
    m_lastDiskFull = meaning.diskFull;
}

Status RegisterEngine::failureOf(const QString &what, const QSqlError &error) const
{
    Status status = Status::failed(QStringLiteral("%1: %2").arg(what, error.text()));
    if (meaningOf(error).denied)
        status.fault = Fault::Denied;
    return status;
}

bool RegisterEngine::begin()
{
    m_lastDenied = false;
    m_lastDiskFull = false;
    if (!m_open || !startTransaction())
        return false;
    if (afterBegin())
        return true;
    database().rollback();
    return false;
}

bool RegisterEngine::commit()
{
    const bool done = m_open && beforeCommit() && database().commit();
    if (done)
        afterEnd();
    return done;
}

bool RegisterEngine::rollback()
{
    afterEnd();
    return m_open && database().rollback();
}

Read<std::vector<qint64>> RegisterEngine::serverKeys(const ServerQuery &query, const ServerOrder &order)
{
    // Without SQL functions of our own: equality in SQL, the day count and the sort here, by the
    // same rules.
    Read<std::vector<qint64>> out;
    if (!isOpen()) {
        out.status = readFailure(QStringLiteral("server list"), QStringLiteral("not connected"));
        return out;
    }
    // Where plain SQL cannot say the query, the column it needs is read and ServerQuery::matches
    // decides here, by the same rule the windows use.
    SqlForm form = sqlForm();
    form.functions = false; // Qt's connection: none of our SQL functions
    const QuerySql select = querySql(query, form, QDate::currentDate());
    const QString key = rowKey(serverTable());
    // Only the columns the query needs: a whole list in stored order reads nothing but keys. A
    // sort by 到期时间 reads 下架时间 too (a retired server sorts as one without a date).
    const bool byDue = !order.isStored() && listColumnField(order.column) == ServerColumn::Expires;
    QStringList selected{key};
    for (ServerColumn c : select.checkHere)
        selected << columnName(c);
    const qsizetype sortAt = selected.size();
    if (!order.isStored())
        selected << columnName(listColumnField(order.column));
    if (byDue)
        selected << columnName(ServerColumn::Unracked);
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(selected.join(QLatin1String(", ")), serverTable().name);
    if (!select.where.isEmpty())
        sql += QLatin1String(" WHERE ") + select.where;
    sql += QLatin1String(" ORDER BY ") + key;
    QSqlQuery q(database());
    q.setForwardOnly(true);
    bool ok = q.prepare(sql);
    for (const QVariant &value : select.values)
        q.addBindValue(value);
    ok = ok && q.exec();
    struct Row {
        qint64 key;
        QByteArray sortKey;
        QDate date;
    };
    std::vector<Row> rows;
    ServerRecord candidate;
    std::vector<QString *> checked;
    for (ServerColumn column : select.checkHere)
        for (const ListColumn &c : listColumns())
            if (c.column == column)
                checked.push_back(&(candidate.*c.field));
    const QDate today = QDate::currentDate();
    while (ok && q.next()) {
        if (!checked.empty()) {
            for (size_t i = 0; i < checked.size(); ++i)
                *checked[i] = q.value(int(i) + 1).toString();
            if (!query.matches(candidate))
                continue;
        }
        Row row{q.value(0).toLongLong(), {}, {}};
        if (!order.isStored()) {
            const QString text = q.value(int(sortAt)).toString();
            if (byDue)
                row.date = dueDate(text, q.value(int(sortAt) + 1).toString(), today);
            else if (isDateColumn(order.column))
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

namespace {
// Runs a prepared query of the record key and the eight texts, handing each server to take; false
// (the query's error left in it) when it fails.
bool eachServer(QSqlQuery &q, const std::function<void(ServerRecord &&)> &take)
{
    if (!q.exec())
        return false;
    while (q.next()) {
        ServerRecord r;
        r.key = q.value(0).toLongLong();
        const auto fields = recordFields(r);
        for (int i = 0; i < 8; ++i)
            *fields[size_t(i)] = q.value(i + 1).toString();
        take(std::move(r));
    }
    return !q.lastError().isValid();
}
} // namespace

Read<std::vector<ServerRecord>> RegisterEngine::serversWithIps(const QStringList &ips)
{
    Read<std::vector<ServerRecord>> out;
    if (!isOpen()) {
        out.status = readFailure(QStringLiteral("servers"), QStringLiteral("not connected"));
        return out;
    }
    const QStringList columns = recordColumnNames();
    const QString key = rowKey(serverTable());
    const QString ipColumn = columnName(ServerColumn::Ip);
    // Five hundred a statement, each through the IP index.
    constexpr qsizetype kPerStatement = 500;
    QSqlQuery q(database());
    q.setForwardOnly(true);
    for (qsizetype first = 0; first < ips.size(); first += kPerStatement) {
        const qsizetype end = std::min(ips.size(), first + kPerStatement);
        const QStringList marks(end - first, QStringLiteral("?"));
        bool ok = q.prepare(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 IN (%5)")
                                .arg(key, columns.join(QLatin1String(", ")), serverTable().name, ipColumn,
                                     marks.join(QLatin1Char(','))));
        for (qsizetype i = first; ok && i < end; ++i)
            q.addBindValue(ips[i].isNull() ? QString(QLatin1String("")) : ips[i]);
        if (!ok || !eachServer(q, [&](ServerRecord &&r) { out.value.push_back(std::move(r)); })) {
            out.status = Status::failed(QStringLiteral("servers: %1").arg(q.lastError().text()));
            out.value = {};
            return out;
        }
    }
    return out;
}

Read<std::vector<ServerRecord>> RegisterEngine::servers(std::span<const qint64> keys)
{
    Read<std::vector<ServerRecord>> out;
    if (!isOpen()) {
        out.status = readFailure(QStringLiteral("servers"), QStringLiteral("not connected"));
        return out;
    }
    const QStringList columns = recordColumnNames();
    out.value.resize(keys.size());
    const QString key = rowKey(serverTable());
    constexpr size_t kKeysPerStatement = 500;
    QSqlQuery q(database());
    q.setForwardOnly(true);
    for (size_t first = 0; first < keys.size(); first += kKeysPerStatement) {
        const size_t end = std::min(keys.size(), first + kKeysPerStatement);
        QStringList marks;
        std::unordered_multimap<qint64, size_t> positions;
        for (size_t i = first; i < end; ++i) {
            marks << QStringLiteral("?");
            positions.emplace(keys[i], i);
        }
        // A few hundred keys a statement, bound: one round trip to a database server each.
        const QString sql =
            QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1 IN (%4)")
                .arg(key, columns.join(QLatin1String(", ")), serverTable().name, marks.join(QLatin1Char(',')));
        bool ok = q.prepare(sql);
        for (size_t i = first; ok && i < end; ++i)
            q.addBindValue(keys[i]);
        const bool read = ok && eachServer(q, [&](ServerRecord &&r) {
                              const auto [from, to] = positions.equal_range(r.key);
                              for (auto it = from; it != to; ++it)
                                  out.value[it->second] = r;
                          });
        if (!read) {
            out.status = Status::failed(QStringLiteral("servers: %1").arg(q.lastError().text()));
            out.value = {};
            return out;
        }
        q.finish();
    }
    return out;
}

Read<ExpirySummary> RegisterEngine::expirySummary(const QDate &today)
{
    Read<ExpirySummary> out;
    if (!isOpen()) {
        out.status = readFailure(QStringLiteral("expiry summary"), QStringLiteral("not connected"));
        return out;
    }
    // One pass: each distinct pair of 到期时间 and 下架时间 texts with its count, the texts then
    // read as dates here.
    QSqlQuery q(database());
    q.setForwardOnly(true);
    bool ok =
        q.exec(QStringLiteral("SELECT %1, %2, count(*) FROM %3 GROUP BY %1, %2")
                   .arg(columnName(ServerColumn::Expires), columnName(ServerColumn::Unracked), serverTable().name));
    while (ok && q.next())
        countExpiry(&out.value, q.value(0).toString(), q.value(1).toString(), q.value(2).toLongLong(), today);
    if (!ok || q.lastError().isValid()) {
        out.status = Status::failed(QStringLiteral("expiry summary: %1").arg(q.lastError().text()));
        out.value = {};
    }
    return out;
}

// ---- locations ----

bool locationIsFile(const QString &location)
{
    return !isServerLocation(location);
}

bool isServerLocation(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://")) || location.startsWith(QLatin1String("postgres://"));
}

QSqlDatabase addRegisterConnection(const QString &connectionName, const QString &location, QString *error)
{
    if (isServerLocation(location))
        return addServerConnection(connectionName, location, error);
    return addExistingFileConnection(connectionName, location);
}

bool openRegister(const QString &connectionName, const QString &location, QString *error)
{
    const bool server = isServerLocation(location);
    // Qt's SQLite driver would create a missing file: the file must exist, and is opened in mode=rw.
    const QFileInfo info(location);
    if (!server && info.isDir()) {
        *error = QStringLiteral("%1 is a folder, not a register file").arg(location);
        return false;
    }
    if (!server && (!info.exists() || !info.isFile())) {
        *error = QStringLiteral("database file %1 does not exist").arg(location);
        return false;
    }
    {
        QSqlDatabase db = addRegisterConnection(connectionName, location, error);
        if (!db.isValid())
            return false;
        if (db.open() && checkSchema(db, error))
            return true;
        if (error->isEmpty())
            *error = db.lastError().text();
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    return false;
}
