#include "core/engine/postgresengine.h"

#include "core/paths.h"
#include "core/schema.h"

#include "core/engine/driverlibrary.h"
#include "core/engine/schemaddl.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QtEndian>
#include <libpq-fe.h>

namespace {
QString quotedOption(const QString &value)
{
    QString v = value;
    v.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

// The same for libpq: its connection handle is only handed to this program's libpq calls when Qt's
// PostgreSQL driver runs on that very libpq. Asked once the driver is loaded.
const DriverLibrary &sameLibpq()
{
    static const DriverLibrary same = [] {
        DriverLibrary p =
            checkSameLibrary("qsqlpsql", "PQexecParams", reinterpret_cast<void *>(&PQexecParams), "libpq");
        if (!p.usable)
            qWarning("PostgreSQL through Qt's SQL layer only: %s", qPrintable(p.reason));
        return p;
    }();
    return same;
}

PGconn *libpqHandle(const QSqlDatabase &db, QString *error)
{
    if (!sameLibpq().usable) {
        *error = sameLibpq().reason;
        return nullptr;
    }
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // Qt's driver names the type by libpq's struct tag.
    if (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0) {
        *error = QStringLiteral("Qt's PostgreSQL driver gives no libpq connection (%1)")
                     .arg(QLatin1String(handle.typeName()));
        return nullptr;
    }
    return *static_cast<PGconn *const *>(handle.constData());
}

bool readKeysInBinary(const QSqlDatabase &db, const QString &sql, std::vector<qint64> *keys, QString *error)
{
    keys->clear();
    PGconn *conn = libpqHandle(db, error);
    if (!conn)
        return false;
    PGresult *r = PQexecParams(conn, sql.toUtf8().constData(), 0, nullptr, nullptr, nullptr, nullptr, 1);
    const bool ok = PQresultStatus(r) == PGRES_TUPLES_OK && PQnfields(r) >= 1 && PQftype(r, 0) == 20 /* int8 */;
    if (ok) {
        const int rows = PQntuples(r);
        keys->reserve(size_t(rows));
        for (int i = 0; i < rows; ++i) {
            const auto *p = reinterpret_cast<const uchar *>(PQgetvalue(r, i, 0));
            keys->push_back(PQgetisnull(r, i, 0) ? -1 : qFromBigEndian<qint64>(p));
        }
    } else {
        *error = r && PQresultStatus(r) != PGRES_TUPLES_OK ? QString::fromUtf8(PQresultErrorMessage(r)).trimmed()
                                                           : QStringLiteral("the keys are no 64-bit integers");
    }
    PQclear(r);
    return ok;
}

} // namespace

// The URI read by libpq itself, so that it means exactly what it means to psql and pg_dump.
QSqlDatabase addServerConnection(const QString &connectionName, const QString &uri, QString *error)
{
    char *message = nullptr;
    PQconninfoOption *options = PQconninfoParse(uri.toUtf8().constData(), &message);
    if (!options) {
        *error = QStringLiteral("not a connection URI libpq can read: %1")
                     .arg(message ? QString::fromUtf8(message).trimmed() : QStringLiteral("out of memory"));
        PQfreemem(message);
        return {};
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    QStringList rest;
    QString serverOptions;
    bool timeout = false;
    for (PQconninfoOption *o = options; o->keyword; ++o) {
        if (!o->val)
            continue;
        const QString key = QString::fromLatin1(o->keyword);
        const QString value = QString::fromUtf8(o->val);
        if (key == QLatin1String("host"))
            db.setHostName(value);
        else if (key == QLatin1String("port") && value.toInt() > 0)
            db.setPort(value.toInt());
        else if (key == QLatin1String("dbname"))
            db.setDatabaseName(value);
        else if (key == QLatin1String("user"))
            db.setUserName(value);
        else if (key == QLatin1String("password"))
            *error = QStringLiteral("the connection URI holds a password: keep it in libpq's password file "
                                    "(~/.pgpass) or PGPASSWORD instead");
        else if (value.contains(QLatin1Char(';')))
            // Qt's driver splits its options at ';'.
            *error = QStringLiteral("the setting %1 of the connection URI holds a ';'").arg(key);
        else if (key == QLatin1String("options"))
            serverOptions = value + QLatin1Char(' ');
        else {
            rest << key + QLatin1Char('=') + quotedOption(value);
            timeout = timeout || key == QLatin1String("connect_timeout");
        }
    }
    PQconninfoFree(options);
    // A server that does not answer is reported, not waited for without end.
    if (!timeout)
        rest << QStringLiteral("connect_timeout=10");
    // Values are bound, never pasted into statements: a server that reads backslashes in literals
    // the old way (standard_conforming_strings off) serves as well as any.
    if (!serverOptions.isEmpty())
        rest << QStringLiteral("options=") + quotedOption(serverOptions.trimmed());
    db.setConnectOptions(rest.join(QLatin1Char(';')));
    if (!error->isEmpty()) {
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
    }
    return db;
}

bool serverConnectionLost(const QSqlDatabase &db)
{
    // Not isOpen(): Qt's driver answers that from the very status asked for here.
    if (!db.isValid() || engineOf(db) != Engine::Postgres)
        return false;
    QString error;
    PGconn *conn = libpqHandle(db, &error);
    return conn && PQstatus(conn) == CONNECTION_BAD;
}

PostgresEngine::PostgresEngine(const QString &uri) : RegisterEngine(uri) {}

PostgresEngine::~PostgresEngine()
{
    close();
}

bool PostgresEngine::afterOpen(QString *)
{
    // A new connection may have missed announcements while there was none: counted as one.
    ++m_announced;
    QSqlQuery listen(database());
    if (!listen.exec(QStringLiteral("LISTEN %1").arg(kChangeChannel)))
        qWarning("other desks' changes will not be noticed: %s", qPrintable(listen.lastError().text()));
    // The history's triggers add this desk's host to the session's role.
    QSqlQuery host(database());
    host.prepare(QStringLiteral("SELECT set_config('kavro.host', ?, false)"));
    host.addBindValue(deskHost());
    if (!host.exec())
        qWarning("the change history will not name this desk: %s", qPrintable(host.lastError().text()));
    QString error;
    if (PGconn *conn = libpqHandle(database(), &error)) {
        const std::lock_guard<std::mutex> hold(m_cancelLock);
        m_cancel = PQgetCancel(conn);
    }
    QSqlDatabase db = database();
    m_marksRestores = historyFunctionsCurrent(db);
    return true;
}

void PostgresEngine::beforeClose()
{
    const std::lock_guard<std::mutex> hold(m_cancelLock);
    if (m_cancel)
        PQfreeCancel(m_cancel);
    m_cancel = nullptr;
}

void PostgresEngine::nameNextChange(const QString &action)
{
    m_action = action;
    if (m_marksRestores)
        return;
    // A register whose history functions predate the marking function reads the name from the
    // session, for this transaction only (kavro-db upgrade replaces them).
    QSqlQuery q(database());
    q.prepare(QStringLiteral("SELECT set_config('kavro.action', ?, true)"));
    q.addBindValue(action);
    q.exec();
}

bool PostgresEngine::beforeCommit()
{
    if (!m_marksRestores || m_action != kActionRestored || m_added.empty())
        return true;
    QStringList keys;
    for (qint64 key : m_added)
        keys << QString::number(key);
    QSqlQuery q(database());
    q.prepare(QStringLiteral("SELECT kavro_mark_restored(?::bigint[])"));
    q.addBindValue(QLatin1Char('{') + keys.join(QLatin1Char(',')) + QLatin1Char('}'));
    if (q.exec())
        return true;
    noteFailure(q.lastError());
    return false;
}

void PostgresEngine::afterEnd()
{
    m_action.clear();
    m_added.clear();
}

QStringList PostgresEngine::securityWarnings()
{
    QStringList out;
    if (!isOpen())
        return out;
    // Objects others can create where the register's names are looked up could stand in for the
    // ones meant.
    QSqlQuery q(database());
    if (q.exec(QStringLiteral(
            "SELECT n.nspname, string_agg(CASE WHEN a.grantee = 0 THEN 'PUBLIC' ELSE "
            "pg_catalog.pg_get_userbyid(a.grantee) "
            "END, ', ') FROM pg_catalog.pg_namespace n, pg_catalog.aclexplode(coalesce(n.nspacl, "
            "pg_catalog.acldefault('n', n.nspowner))) a WHERE n.nspname = ANY (pg_catalog.current_schemas(false)) "
            "AND a.privilege_type = 'CREATE' AND a.grantee <> n.nspowner GROUP BY n.nspname ORDER BY n.nspname"))) {
        while (q.next())
            out << QStringLiteral("roles other than its owner (%2) can create objects in schema %1, which is on the "
                                  "register's search path; REVOKE CREATE ON SCHEMA %1 FROM them")
                       .arg(q.value(0).toString(), q.value(1).toString());
    }
    QSqlDatabase db = database();
    if (hasHistory() && !historyFunctionsCurrent(db))
        out << QStringLiteral("the history's trigger functions are of an earlier version (a desk could name a "
                              "deletion a restore); kavro-db upgrade replaces them");
    return out;
}

bool PostgresEngine::writable()
{
    if (!isOpen())
        return false;
    // The rights on the servers, and a session that may write at all (not a standby, not
    // read-only by default).
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("SELECT has_table_privilege('%1', 'INSERT') AND has_table_privilege('%1', 'UPDATE') "
                               "AND has_table_privilege('%1', 'DELETE') AND NOT pg_is_in_recovery() "
                               "AND current_setting('default_transaction_read_only') = 'off'")
                    .arg(serverTable().name)) ||
        !q.next())
        return true; // unknown: the save will say what it meets
    return q.value(0).toBool();
}

ErrorMeaning PostgresEngine::meaningOf(const QSqlError &error) const
{
    // SQLSTATEs: unique_violation, insufficient_privilege, disk_full.
    const QString state = error.nativeErrorCode();
    ErrorMeaning meaning;
    meaning.unique = state == QLatin1String("23505");
    meaning.denied = state == QLatin1String("42501");
    meaning.diskFull = state == QLatin1String("53100");
    return meaning;
}

QString PostgresEngine::engineName() const
{
    QString error;
    PGconn *conn = isOpen() ? libpqHandle(database(), &error) : nullptr;
    const int version = conn ? PQserverVersion(conn) : 0;
    if (version <= 0)
        return QStringLiteral("PostgreSQL");
    return QStringLiteral("PostgreSQL %1.%2").arg(version / 10000).arg(version % 10000);
}

SqlForm PostgresEngine::sqlForm() const
{
    return {Engine::Postgres, false, hasTextIndex()};
}

void PostgresEngine::interrupt()
{
    const std::lock_guard<std::mutex> hold(m_cancelLock);
    char reason[256];
    if (m_cancel)
        PQcancel(m_cancel, reason, int(sizeof reason));
}

bool PostgresEngine::lost() const
{
    return serverConnectionLost(database());
}

QString PostgresEngine::rowKey(const TableSchema &table) const
{
    return rowKeyColumn(table, Engine::Postgres);
}

bool PostgresEngine::libpqUsable() const
{
    QString error;
    return isOpen() && libpqHandle(database(), &error);
}

bool PostgresEngine::beginLocked(const TableSchema &table, QString *error)
{
    // The lock mode excludes itself and lets readers be.
    QSqlDatabase db = database();
    QSqlQuery q(db);
    m_lastDenied = false;
    if (db.transaction() && q.exec(QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(table.name)))
        return true;
    noteFailure(q.lastError());
    *error = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
    db.rollback();
    return false;
}

Read<qint64> PostgresEngine::insertServer(Statement insert)
{
    Read<qint64> out;
    insert.sql += QLatin1String(" returning ") + rowKey(serverTable());
    const ExecResult r = execute(insert);
    if (r.uniqueViolated)
        out.status = {Fault::Duplicate, QStringLiteral("a server has this IP: %1").arg(r.error)};
    else if (!r.ok)
        out.status = Status::failed(r.error);
    else
        out.value = r.returned.toLongLong();
    if (out.ok())
        m_added.push_back(out.value);
    return out;
}

Read<std::vector<qint64>> PostgresEngine::serverKeys(const ServerQuery &query, const ServerOrder &order)
{
    if (!libpqUsable() || query.field != ServerQuery::Field::All || !order.isStored())
        return RegisterEngine::serverKeys(query, order);
    // The whole list, the query every desk opens with: keys in binary straight from libpq.
    Read<std::vector<qint64>> out;
    const QString key = rowKey(serverTable());
    QString error;
    if (!readKeysInBinary(database(), QStringLiteral("SELECT %1 FROM %2 ORDER BY %1").arg(key, serverTable().name),
                          &out.value, &error))
        out.status = Status::failed(QStringLiteral("server list: %1").arg(error));
    return out;
}

Read<qint64> PostgresEngine::changeCounter()
{
    Read<qint64> out;
    QString error;
    PGconn *conn = isOpen() ? libpqHandle(database(), &error) : nullptr;
    if (!conn) {
        out.status = readFailure(QStringLiteral("change counter"), error);
        return out;
    }
    // A round trip first: the server has then sent every announcement of a commit that ended
    // before it, and libpq keeps them for PQnotifies.
    QSqlQuery ping(database());
    if (!ping.exec(QStringLiteral("SELECT 1"))) {
        out.status = Status::failed(QStringLiteral("change counter: %1").arg(ping.lastError().text()));
        return out;
    }
    PQconsumeInput(conn);
    // The program's own commits are announced to it as well: only other sessions' count.
    const int own = PQbackendPID(conn);
    while (PGnotify *n = PQnotifies(conn)) {
        if (n->be_pid != own)
            ++m_announced;
        PQfreemem(n);
    }
    out.value = m_announced;
    return out;
}

Status PostgresEngine::dailyBackup(const QString &, const QDate &, int, bool *made, const BackupPace &) const
{
    // A register on a database server is kept by the server's own backups (pg_dump).
    *made = false;
    return Status::done();
}

Status PostgresEngine::backupTo(const QString &, RegisterCounts *, const BackupPace &) const
{
    return Status::failed(QStringLiteral("a PostgreSQL register is backed up with pg_dump (restored with pg_restore)"));
}

QString PostgresEngine::backupCommand(const QString &dest) const
{
    // The server's own tool makes a consistent copy while desks keep working.
    return QStringLiteral("pg_dump --format=custom --file=%1 '%2'")
        .arg(withoutPasswords(dest), withoutPasswords(location()).replace(QLatin1Char('\''), QLatin1String("'\\''")));
}

std::optional<CheckReport> PostgresEngine::checkStorage() const
{
    return std::nullopt; // the server keeps its own storage sound (pg_amcheck checks it further)
}

Status PostgresEngine::restoreFrom(const QString &, QString *, RegisterCounts *) const
{
    return Status::failed(kRestoreBetweenFilesOnly);
}
