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

bool isPlainName(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (QChar c : name)
        if (!(c.isLetterOrNumber() || c == QLatin1Char('_')))
            return false;
    return true;
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

// ---- RecordCursor ----

void RecordCursor::reset()
{
    m_columns.clear();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_rowIds.clear();
    m_rowIds.shrink_to_fit();
    m_position = -1;
    m_open = false;
    m_adding = false;
    m_newRow.clear();
}

bool RecordCursor::openTable(const QString &table, const QString &condition, const QVariantList &values)
{
    reset(); // whatever was open, or a row being added, is given up
    m_table = table;
    m_error.clear();
    if (!m_connection.isOpen()) {
        m_error = QStringLiteral("not connected");
        return false;
    }
    if (!isPlainName(table)) {
        m_error = QStringLiteral("bad table name");
        return false;
    }
    // Key order (rowid in a file) is the order rows were stored in; ORDER BY keeps it when an index
    // serves the condition.
    const TableSchema *schema = tableNamed(table);
    const QString key = schema ? rowKeyColumn(*schema, m_connection.engine()) : QStringLiteral("rowid");
    QString sql = QStringLiteral("SELECT %1, * FROM %2").arg(key, table);
    if (!condition.isEmpty())
        sql += QLatin1String(" WHERE ") + condition;
    sql += QLatin1String(" ORDER BY ") + key;
    sqlite3 *db = sqliteHandle(m_connection.database());
    if (!db)
        return openTableThroughQt(sql, values);
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK) {
        m_error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(stmt);
        return false;
    }
    for (int i = 0; i < values.size(); ++i) {
        const QByteArray value = values[i].toString().toUtf8();
        if (sqlite3_bind_text(stmt, i + 1, value.constData(), int(value.size()), SQLITE_TRANSIENT) != SQLITE_OK) {
            m_error = QString::fromUtf8(sqlite3_errmsg(db));
            sqlite3_finalize(stmt);
            return false;
        }
    }
    const int columns = sqlite3_column_count(stmt) - 1;
    for (int i = 1; i <= columns; ++i)
        m_columns << QString::fromUtf8(sqlite3_column_name(stmt, i));
    std::vector<QByteArrayView> cells(size_t(std::max(columns, 0)));
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        m_rowIds.push_back(sqlite3_column_int64(stmt, 0));
        for (int i = 0; i < columns; ++i) {
            const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i + 1));
            cells[size_t(i)] = p ? QByteArrayView(p, sqlite3_column_bytes(stmt, i + 1)) : QByteArrayView();
        }
        m_rows.push_back(TextRow::fromUtf8(cells.data(), columns));
    }
    if (rc != SQLITE_DONE) {
        m_error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(stmt);
        reset();
        return false;
    }
    sqlite3_finalize(stmt);
    m_open = true;
    m_position = m_rows.empty() ? -1 : 0;
    return true;
}

bool RecordCursor::openTableThroughQt(const QString &sql, const QVariantList &values)
{
    QSqlQuery q(m_connection.database());
    q.setForwardOnly(true);
    bool ok = q.prepare(sql);
    for (const QVariant &value : values)
        q.addBindValue(value);
    if (!ok || !q.exec()) {
        m_error = q.lastError().text();
        return false;
    }
    const QSqlRecord record = q.record();
    const int columns = record.count() - 1;
    for (int i = 1; i <= columns; ++i)
        m_columns << record.fieldName(i);
    std::vector<QByteArray> texts(size_t(std::max(columns, 0)));
    std::vector<QByteArrayView> cells(texts.size());
    while (q.next()) {
        m_rowIds.push_back(q.value(0).toLongLong());
        for (int i = 0; i < columns; ++i) {
            const QVariant v = q.value(i + 1);
            texts[size_t(i)] = v.isNull() ? QByteArray() : v.toString().toUtf8();
            cells[size_t(i)] = texts[size_t(i)];
        }
        m_rows.push_back(TextRow::fromUtf8(cells.data(), columns));
    }
    if (q.lastError().isValid()) {
        m_error = q.lastError().text();
        reset();
        return false;
    }
    m_open = true;
    m_position = m_rows.empty() ? -1 : 0;
    return true;
}

int RecordCursor::recordCount() const
{
    return m_open ? int(m_rows.size()) : 0;
}

bool RecordCursor::moveFirst()
{
    if (!m_open || m_rows.empty())
        return false;
    m_position = 0;
    return true;
}

bool RecordCursor::moveNext()
{
    if (!m_open || m_position < 0 || m_position >= int(m_rows.size()))
        return false;
    ++m_position;
    return m_position < int(m_rows.size());
}

bool RecordCursor::moveToPosition(int position)
{
    if (!m_open || position < 0 || position >= int(m_rows.size()))
        return false;
    m_position = position;
    return true;
}

int RecordCursor::columnIndex(const QString &column) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(column, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString RecordCursor::readText(const QString &column) const
{
    if (!m_open || m_position < 0 || m_position >= int(m_rows.size()))
        return {};
    return m_rows[size_t(m_position)].text(columnIndex(column));
}

qint64 RecordCursor::currentRowId() const
{
    if (!m_open || m_position < 0 || m_position >= int(m_rowIds.size()))
        return -1;
    return m_rowIds[size_t(m_position)];
}

bool RecordCursor::deleteCurrent()
{
    m_error.clear();
    const qint64 rowId = currentRowId();
    if (rowId < 0 || m_adding) {
        m_error = QStringLiteral("no current row");
        return false;
    }
    QSqlQuery del(m_connection.database());
    const TableSchema *schema = tableNamed(m_table);
    del.prepare(QStringLiteral("DELETE FROM %1 WHERE %2 = ?")
                    .arg(m_table, schema ? rowKeyColumn(*schema, m_connection.engine()) : QStringLiteral("rowid")));
    del.addBindValue(rowId);
    if (!del.exec()) {
        m_error = del.lastError().text();
        return false;
    }
    if (del.numRowsAffected() != 1) {
        m_error = QStringLiteral("the row is no longer stored");
        return false;
    }
    m_rows.erase(m_rows.begin() + m_position);
    m_rowIds.erase(m_rowIds.begin() + m_position);
    if (m_position >= int(m_rows.size()))
        m_position = int(m_rows.size()) - 1;
    return true;
}

bool RecordCursor::addNew()
{
    if (!m_open) {
        m_error = QStringLiteral("no table open");
        return false;
    }
    m_adding = true;
    m_newRow.clear();
    return true;
}

bool RecordCursor::writeText(const QString &column, const QString &text)
{
    if (!m_adding || !isPlainName(column))
        return false;
    for (auto &entry : m_newRow) {
        if (entry.first.compare(column, Qt::CaseInsensitive) == 0) {
            entry.second = text;
            return true;
        }
    }
    m_newRow.emplace_back(column, text);
    return true;
}

bool RecordCursor::closeTable()
{
    bool stored = true;
    if (m_adding) {
        m_error.clear();
        QStringList names, marks;
        for (const auto &entry : m_newRow) {
            names << entry.first;
            marks << QStringLiteral("?");
        }
        QSqlQuery insert(m_connection.database());
        const QString sql = names.isEmpty()
                                ? QLatin1String("INSERT INTO ") + m_table + QLatin1String(" DEFAULT VALUES")
                                : QLatin1String("INSERT INTO ") + m_table + QLatin1String(" (") +
                                      names.join(QLatin1Char(',')) + QLatin1String(") VALUES (") +
                                      marks.join(QLatin1Char(',')) + QLatin1Char(')');
        stored = insert.prepare(sql);
        if (stored) {
            for (const auto &entry : m_newRow)
                insert.addBindValue(entry.second.isNull() ? QString(QLatin1String("")) : entry.second);
            stored = insert.exec();
        }
        if (stored)
            m_lastInsertRowId = insert.lastInsertId().toLongLong();
        else
            m_error = insert.lastError().text();
    }
    reset();
    return stored;
}

// ---- SqlExecutor ----

// A result and its column positions, so that reading by name costs no record lookup per cell.
struct SqlExecutor::OpenQuery {
    explicit OpenQuery(const QSqlDatabase &db) : q(db) {}
    QSqlQuery q;
    QHash<QString, int> columns;      // as the database names them
    QHash<QString, int> upperColumns; // for names given in another letter case
};

SqlExecutor::SqlExecutor(Connection &connection) : m_connection(connection) {}

SqlExecutor::~SqlExecutor()
{
    closeQuery();
}

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

int SqlExecutor::runQuery(const QString &statement)
{
    if (!isOpen()) {
        m_error = QStringLiteral("database not open");
        return 0;
    }
    auto open = std::make_unique<OpenQuery>(database());
    open->q.setForwardOnly(true);
    if (!open->q.exec(statement)) {
        m_error = open->q.lastError().text();
        return 0;
    }
    const QSqlRecord record = open->q.record();
    for (int i = record.count() - 1; i >= 0; --i) {
        open->columns.insert(record.fieldName(i), i);
        open->upperColumns.insert(record.fieldName(i).toUpper(), i);
    }
    const int handle = m_nextHandle++;
    m_queries.emplace(handle, std::move(open));
    return handle;
}

SqlExecutor::OpenQuery *SqlExecutor::query(int handle) const
{
    const auto it = m_queries.find(handle);
    return it == m_queries.end() ? nullptr : it->second.get();
}

bool SqlExecutor::queryFirst(int handle)
{
    OpenQuery *open = query(handle);
    return open && open->q.next();
}

bool SqlExecutor::queryAtEnd(int handle) const
{
    const OpenQuery *open = query(handle);
    return !open || !open->q.isValid();
}

QVariant SqlExecutor::queryRead(int handle, const QString &column) const
{
    const OpenQuery *open = query(handle);
    if (!open || !open->q.isValid())
        return {};
    int index = open->columns.value(column, -1);
    if (index < 0)
        index = open->upperColumns.value(column.toUpper(), -1);
    return index < 0 ? QVariant() : open->q.value(index);
}

bool SqlExecutor::queryNext(int handle)
{
    OpenQuery *open = query(handle);
    return open && open->q.next();
}

void SqlExecutor::closeQuery(int handle)
{
    if (handle == 0)
        m_queries.clear();
    else
        m_queries.erase(handle);
}

void SqlExecutor::closeDatabase()
{
    closeQuery(); // the connection is the register's, closed with it
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

bool SqlExecutor::transact(const std::function<bool()> &work)
{
    if (!beginTransaction())
        return false;
    if (work() && commitTransaction())
        return true;
    rollbackTransaction();
    return false;
}

qint64 recordKeyFromValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UChar:
        return qint64(value.value<uchar>());
    case QMetaType::SChar:
    case QMetaType::Char:
        return qint64(uchar(value.value<char>()));
    case QMetaType::Short:
        return qint64(value.value<short>());
    case QMetaType::UShort:
        return qint64(qint16(value.value<ushort>()));
    case QMetaType::Float:
    case QMetaType::Double: {
        const double d = std::trunc(value.toDouble());
        // Outside the 64-bit range (or not a number) there is no key.
        if (!std::isfinite(d) || d >= 9223372036854775808.0 || d < -9223372036854775808.0)
            return -1;
        return qint64(d);
    }
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        const QString text = value.toString().trimmed();
        bool ok = false;
        const qlonglong whole = text.toLongLong(&ok);
        if (ok)
            return whole;
        const double d = text.toDouble(&ok);
        return ok ? recordKeyFromValue(QVariant(d)) : -1;
    }
    default:
        return qint64(value.toLongLong());
    }
}

bool Database::open(const QString &location)
{
    return connection.open(location);
}

void Database::shutdown()
{
    cursor.closeTable();
    sql.closeQuery();
    connection.closeConnection();
}

bool Database::lost() const
{
    return serverConnectionLost(connection.database());
}
