#include "core/store.h"

#include "core/schema.h"
#include "core/statements.h"

#include <QAtomicInt>
#include <QtEndian>
#include <QFileInfo>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <cmath>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <libpq-fe.h>
#include <sqlite3.h>

namespace {

QString uniqueConnectionName(const char *kind)
{
    static QAtomicInt counter;
    return QStringLiteral("kavro-%1-%2").arg(QLatin1String(kind)).arg(counter.fetchAndAddRelaxed(1));
}

// Whether the sqlite3 functions this program calls belong to the very library Qt's SQLite driver
// runs on. A driver built with its own copy of SQLite (as Qt's Windows and macOS builds are) would
// put two SQLite copies in one process: their file locks do not see each other, and handing one
// copy's handle to the other is undefined. Worked out once per process, after the driver is loaded.
struct FastPath {
    bool usable = false;
    QString reason;
};

struct DriverSearch {
    const char *plugin;
    QByteArray path;
};

int findDriver(dl_phdr_info *info, size_t, void *data)
{
    auto *search = static_cast<DriverSearch *>(data);
    const char *name = info->dlpi_name;
    if (name && std::strstr(name, search->plugin)) {
        search->path = name;
        return 1;
    }
    return 0;
}

// Whether the Qt driver plugin whose file name holds `plugin` calls the very function `ours` is
// when it calls `symbol`; the reason when not.
FastPath checkSameLibrary(const char *plugin, const char *symbol, void *ours, const char *library)
{
    DriverSearch search{plugin, {}};
    dl_iterate_phdr(findDriver, &search);
    if (search.path.isEmpty())
        return {false, QStringLiteral("the %1 driver plugin is not a library of its own").arg(QLatin1String(plugin))};
    void *driver = dlopen(search.path.constData(), RTLD_LAZY | RTLD_NOLOAD);
    // Looked up through the driver, a symbol resolves to the library it actually calls: the shared
    // library it depends on, or a copy built into it (or nothing when that copy is hidden).
    void *theirs = driver ? dlsym(driver, symbol) : nullptr;
    if (driver)
        dlclose(driver);
    if (theirs != ours)
        return {false, QStringLiteral("%1 does not run on the %2 this program calls")
                           .arg(QString::fromLocal8Bit(search.path), QLatin1String(library))};
    return {true, {}};
}

FastPath checkSameSqlite()
{
    return checkSameLibrary("qsqlite", "sqlite3_prepare_v2", reinterpret_cast<void *>(&sqlite3_prepare_v2),
                            "libsqlite3");
}

// The same for libpq: its connection handle is only handed to this program's libpq calls when Qt's
// PostgreSQL driver runs on that very libpq. Asked once the driver is loaded.
const FastPath &sameLibpq()
{
    static const FastPath same = [] {
        FastPath p = checkSameLibrary("qsqlpsql", "PQexecParams", reinterpret_cast<void *>(&PQexecParams), "libpq");
        if (!p.usable)
            qWarning("PostgreSQL through Qt's SQL layer only: %s", qPrintable(p.reason));
        return p;
    }();
    return same;
}

const FastPath &sameSqlite()
{
    static const FastPath same = checkSameSqlite();
    return same;
}

const FastPath &fastPath()
{
    static const FastPath path = [] {
        if (qEnvironmentVariableIntValue("KAVRO_SQLITE_FAST_PATH_OFF"))
            return FastPath{false, QStringLiteral("turned off by KAVRO_SQLITE_FAST_PATH_OFF")};
        FastPath p = sameSqlite();
        if (!p.usable)
            qWarning("reading through Qt's SQL layer only: %s", qPrintable(p.reason));
        return p;
    }();
    return path;
}

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0 || !fastPath().usable)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

} // namespace

bool driverSharesSqlite(QString *reason)
{
    if (!sameSqlite().usable && reason)
        *reason = sameSqlite().reason;
    return sameSqlite().usable;
}

QSqlDatabase addExistingFileConnection(const QString &connectionName, const QString &path)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(QLatin1String("file:") +
                       QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(path).absoluteFilePath(), "/")) +
                       QLatin1String("?mode=rw"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=3000"));
    return db;
}

bool isServerLocation(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://")) || location.startsWith(QLatin1String("postgres://"));
}

namespace {
QString quotedOption(const QString &value)
{
    QString v = value;
    v.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

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

} // namespace

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

// ---- Connection ----

Connection::Connection() : m_name(uniqueConnectionName("conn")) {}

Connection::~Connection()
{
    closeConnection();
}

bool Connection::open(const QString &location)
{
    closeConnection();
    m_error.clear();
    // A new connection may have missed announcements while there was none: counted as one.
    ++m_announced;
    m_open = openRegister(m_name, location, &m_error);
    m_engine = m_open ? engineOf(database()) : Engine::Sqlite;
    if (m_open && m_engine == Engine::Postgres) {
        QSqlQuery listen(database());
        if (!listen.exec(QStringLiteral("LISTEN %1").arg(kChangeChannel)))
            qWarning("other desks' changes will not be noticed: %s", qPrintable(listen.lastError().text()));
    }
    return m_open;
}

namespace {
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
} // namespace

bool serverConnectionLost(const QSqlDatabase &db)
{
    // Not isOpen(): Qt's driver answers that from the very status asked for here.
    if (!db.isValid() || engineOf(db) != Engine::Postgres)
        return false;
    QString error;
    PGconn *conn = libpqHandle(db, &error);
    return conn && PQstatus(conn) == CONNECTION_BAD;
}

bool Connection::libpqUsable() const
{
    QString error;
    return m_open && m_engine == Engine::Postgres && libpqHandle(database(), &error);
}

bool Connection::readServerKeys(const QString &sql, std::vector<qint64> *keys)
{
    keys->clear();
    PGconn *conn = m_open && m_engine == Engine::Postgres ? libpqHandle(database(), &m_error) : nullptr;
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
        m_error = r && PQresultStatus(r) != PGRES_TUPLES_OK ? QString::fromUtf8(PQresultErrorMessage(r)).trimmed()
                                                            : QStringLiteral("the keys are no 64-bit integers");
    }
    PQclear(r);
    return ok;
}

qint64 Connection::changesAnnounced()
{
    if (!m_open || m_engine != Engine::Postgres)
        return 0;
    PGconn *conn = libpqHandle(database(), &m_error);
    if (!conn)
        return -1;
    // A round trip first: the server has then sent every announcement of a commit that ended
    // before it, and libpq keeps them for PQnotifies.
    QSqlQuery ping(database());
    if (!ping.exec(QStringLiteral("SELECT 1"))) {
        m_error = ping.lastError().text();
        return -1;
    }
    PQconsumeInput(conn);
    // The program's own commits are announced to it as well: only other sessions' count.
    const int own = PQbackendPID(conn);
    while (PGnotify *n = PQnotifies(conn)) {
        if (n->be_pid != own)
            ++m_announced;
        PQfreemem(n);
    }
    return m_announced;
}

void Connection::closeConnection()
{
    if (!m_open)
        return;
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
    m_open = false;
}

QSqlDatabase Connection::database() const
{
    return m_open ? QSqlDatabase::database(m_name, false) : QSqlDatabase();
}

sqlite3 *Connection::sqliteHandle() const
{
    return m_open ? ::sqliteHandle(database()) : nullptr;
}

// ---- SqlExecutor ----

QSqlDatabase SqlExecutor::database() const
{
    return m_connection.database();
}

ExecResult SqlExecutor::executeSql(const QString &statement)
{
    return executeSql(Statement{statement, {}});
}

ExecResult SqlExecutor::executeSql(const Statement &statement)
{
    ExecResult result;
    if (!isOpen()) {
        result.error = m_error = QStringLiteral("database not open");
        return result;
    }
    QSqlQuery q(database());
    if (statement.values.isEmpty()) {
        result.ok = q.exec(statement.sql);
    } else {
        result.ok = q.prepare(statement.sql);
        if (result.ok) {
            for (const QVariant &value : statement.values)
                q.addBindValue(value);
            result.ok = q.exec();
        }
    }
    if (result.ok) {
        result.rowsAffected = q.numRowsAffected();
        if (q.isSelect() && q.next()) {
            result.returned = q.value(0);
        } else if (engineOf(database()) == Engine::Sqlite) {
            // Not asked of PostgreSQL: Qt's driver would run lastval(), whose failure aborts the
            // transaction the statement is part of. Statements there return their key instead.
            const QVariant id = q.lastInsertId();
            if (id.isValid())
                result.lastInsertId = id.toLongLong();
        }
    } else {
        result.error = m_error = q.lastError().text();
        // SQLITE_CONSTRAINT_UNIQUE (2067) or, from older drivers, the plain SQLITE_CONSTRAINT;
        // PostgreSQL's unique_violation.
        const QString code = q.lastError().nativeErrorCode();
        result.uniqueViolated = code == QLatin1String("2067") || code == QLatin1String("23505") ||
                                (code == QLatin1String("19") && result.error.contains(QLatin1String("UNIQUE")));
    }
    return result;
}

bool SqlExecutor::beginTransaction()
{
    return isOpen() && database().transaction();
}

bool SqlExecutor::commitTransaction()
{
    return isOpen() && database().commit();
}

bool SqlExecutor::rollbackTransaction()
{
    return isOpen() && database().rollback();
}

bool Database::open(const QString &location)
{
    return connection.open(location);
}

void Database::shutdown()
{
    connection.closeConnection();
}

bool Database::lost() const
{
    return serverConnectionLost(connection.database());
}
