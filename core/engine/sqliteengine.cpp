#include "core/engine/sqliteengine.h"

#include "core/datetext.h"
#include "core/engine/driverlibrary.h"
#include "core/engine/listrules.h"
#include "core/engine/sqlitefile.h"
#include "core/paths.h"
#include "core/sortkey.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>

namespace {

// Whether the sqlite3 functions this program calls belong to the very library Qt's SQLite driver
// runs on. A driver built with its own copy of SQLite (as Qt's Windows and macOS builds are) would
// put two SQLite copies in one process: their file locks do not see each other, and handing one
// copy's handle to the other is undefined. Worked out once per process, after the driver is loaded.
DriverLibrary checkSameSqlite()
{
    return checkSameLibrary("qsqlite", "sqlite3_prepare_v2", reinterpret_cast<void *>(&sqlite3_prepare_v2),
                            "libsqlite3");
}

const DriverLibrary &sameSqlite()
{
    static const DriverLibrary same = checkSameSqlite();
    return same;
}

const DriverLibrary &fastPath()
{
    static const DriverLibrary path = [] {
        if (qEnvironmentVariableIntValue("KAVRO_SQLITE_FAST_PATH_OFF"))
            return DriverLibrary{false, QStringLiteral("turned off by KAVRO_SQLITE_FAST_PATH_OFF")};
        DriverLibrary p = sameSqlite();
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

QString textColumn(sqlite3_stmt *stmt, int i)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(stmt, i)) : QString();
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

// kavro_due(expires, unracked, today): the day a server is due as yyyymmdd (dueDate), or NULL when
// its 到期时间 is no date or it is retired; today as yyyymmdd.
void sqlDue(sqlite3_context *context, int, sqlite3_value **argv)
{
    const auto *e = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const QDate expires = e ? utf8ToDate(e, sqlite3_value_bytes(argv[0])) : QDate();
    if (!expires.isValid()) {
        sqlite3_result_null(context);
        return;
    }
    const int todayNumber = sqlite3_value_int(argv[2]);
    const int due = dayNumber(expires);
    // Only a server past its term or due today can be retired: the 下架时间 is read only then.
    if (due <= todayNumber) {
        const auto *u = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
        const QDate unracked = u ? utf8ToDate(u, sqlite3_value_bytes(argv[1])) : QDate();
        const QDate today(todayNumber / 10000, todayNumber / 100 % 100, todayNumber % 100);
        if (isRetired(expires, unracked, today)) {
            sqlite3_result_null(context);
            return;
        }
    }
    sqlite3_result_int(context, due);
}

// kavro_sortkey(text): the bytes a list sorts the text by.
void sqlSortKey(sqlite3_context *context, int, sqlite3_value **argv)
{
    const QByteArray key = chineseSortKey(utf8Argument(argv[0]));
    sqlite3_result_blob(context, key.constData(), int(key.size()), SQLITE_TRANSIENT);
}

// kavro_ipv4(text): the IPv4 address a stored IP text is, as a number, or NULL when it is none
// (the rule of ServerQuery::ipv4Of).
void sqlIpv4(sqlite3_context *context, int, sqlite3_value **argv)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    int bytes = sqlite3_value_bytes(argv[0]);
    // Blanks around an address are ignored, however many; what is left is an address only when
    // it is short (a text of megabytes is not decoded for it).
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (p && bytes > 0 && blank(*p)) {
        ++p;
        --bytes;
    }
    while (p && bytes > 0 && blank(p[bytes - 1]))
        --bytes;
    const std::optional<quint32> address =
        p && bytes <= 64 ? ServerQuery::ipv4Of(QString::fromLatin1(p, bytes)) : std::nullopt;
    if (address)
        sqlite3_result_int64(context, qint64(*address));
    else
        sqlite3_result_null(context);
}

// kavro_contains(text, t1, ..., tn): 1 when any of t1..tn holds text, ASCII letters of the t
// compared in lower case (text is given folded so: ServerQuery::foldedForContains). Bytes of UTF-8
// hold bytes of UTF-8 exactly where the characters hold the characters.
void sqlContains(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    const auto *needle = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const size_t length = size_t(sqlite3_value_bytes(argv[0]));
    if (!needle) {
        sqlite3_result_int(context, 0);
        return;
    }
    const bool letters = std::any_of(needle, needle + length, [](char c) { return c >= 'a' && c <= 'z'; });
    thread_local std::string folded;
    for (int i = 1; i < argc; ++i) {
        const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[i]));
        if (!text)
            continue;
        size_t bytes = size_t(sqlite3_value_bytes(argv[i]));
        if (letters) {
            folded.assign(text, bytes);
            for (char &c : folded)
                if (c >= 'A' && c <= 'Z')
                    c = char(c + ('a' - 'A'));
            text = folded.data();
        }
        if (memmem(text, bytes, needle, length)) {
            sqlite3_result_int(context, 1);
            return;
        }
    }
    sqlite3_result_int(context, 0);
}

std::pair<quint64, quint64> fileIdentity(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {0, 0};
    return {quint64(st.st_dev), quint64(st.st_ino)};
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

SqliteEngine::SqliteEngine(const QString &path) : RegisterEngine(path) {}

SqliteEngine::~SqliteEngine()
{
    close();
}

QString SqliteEngine::rowKey(const TableSchema &table) const
{
    return rowKeyColumn(table, Engine::Sqlite);
}

bool SqliteEngine::afterOpen(QString *)
{
    m_fileIdentity = fileIdentity(location());
    const std::lock_guard<std::mutex> hold(m_interruptLock);
    m_interruptible = handle();
    return true;
}

ErrorMeaning SqliteEngine::meaningOf(const QSqlError &error) const
{
    // The extended result code; the primary one is its low byte.
    const QString code = error.nativeErrorCode();
    bool number = false;
    const int extended = code.size() <= 5 ? code.toInt(&number) : 0;
    ErrorMeaning meaning;
    // SQLITE_CONSTRAINT_UNIQUE or, from older drivers, the plain SQLITE_CONSTRAINT.
    meaning.unique =
        (number && extended == 2067) || (number && extended == 19 && error.text().contains(QLatin1String("UNIQUE")));
    meaning.denied = number && (extended & 0xFF) == 8;        // SQLITE_READONLY: a file this desk may only read
    meaning.diskFull = (number && (extended & 0xFF) == 13) || // SQLITE_FULL
                       error.text().contains(QLatin1String("database or disk is full"));
    return meaning;
}

QString SqliteEngine::engineName() const
{
    return QStringLiteral("SQLite %1").arg(QString::fromLatin1(sqlite3_libversion()));
}

SqlForm SqliteEngine::sqlForm() const
{
    return {Engine::Sqlite, handle() != nullptr, hasTextIndex()};
}

void SqliteEngine::interrupt()
{
    // sqlite3_interrupt may be called from any thread while the connection is open.
    const std::lock_guard<std::mutex> hold(m_interruptLock);
    if (m_interruptible)
        sqlite3_interrupt(m_interruptible);
}

void SqliteEngine::beforeClose()
{
    {
        const std::lock_guard<std::mutex> hold(m_interruptLock);
        m_interruptible = nullptr;
    }
    m_functionsOn = nullptr;
    sqlite3_finalize(m_serverByKey);
    m_serverByKey = nullptr;
    sqlite3_finalize(m_serversInRange);
    m_serversInRange = nullptr;
}

sqlite3 *SqliteEngine::handle() const
{
    return isOpen() ? sqliteHandle(database()) : nullptr;
}

Status SqliteEngine::failure(const QString &what) const
{
    sqlite3 *db = handle();
    return readFailure(what, db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("no SQLite handle"));
}

bool SqliteEngine::beginLocked(const TableSchema &, QString *error)
{
    // BEGIN IMMEDIATE takes the file's write lock at once (waiting for it as the busy timeout says).
    QSqlQuery q(database());
    m_lastDenied = false;
    if (q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        if (afterBegin())
            return true;
        *error = QStringLiteral("cannot read the change history");
        q.exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    noteFailure(q.lastError());
    *error = q.lastError().text();
    return false;
}

bool SqliteEngine::writable()
{
    if (!isOpen())
        return false;
    // The file and its folder (where the journal is written) must both take writes.
    const QFileInfo file(location());
    if (!file.isWritable() || !QFileInfo(file.absolutePath()).isWritable())
        return false;
    sqlite3 *db = handle();
    return !db || sqlite3_db_readonly(db, "main") != 1;
}

bool SqliteEngine::startTransaction()
{
    // kavro-db upgrade may have added the history while this program had the file open: its
    // saves are signed from then on.
    if (!hasHistory()) {
        QSqlQuery version(database());
        if (version.exec(QStringLiteral("PRAGMA schema_version")) && version.next() &&
            version.value(0).toLongLong() != m_schemaVersion) {
            m_schemaVersion = version.value(0).toLongLong();
            version.finish();
            lookAtSchema();
        }
    }
    if (!hasHistory())
        return database().transaction();
    // The history's mark is read first thing: the write lock is taken before it (waiting for it
    // as the busy timeout says), or a reader turning writer could deadlock with another writer.
    QSqlQuery q(database());
    if (q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return true;
    noteFailure(q.lastError());
    return false;
}

bool SqliteEngine::afterBegin()
{
    m_historyMark = -1;
    if (!hasHistory())
        return true;
    // Read inside the transaction: from here until it ends no other program can commit (it would
    // need the file to itself), so every entry past the mark is this transaction's own.
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("SELECT coalesce(max(%1), 0) FROM %2")
                    .arg(columnName(HistoryColumn::Id), historyTable().name)) ||
        !q.next())
        return false;
    m_historyMark = q.value(0).toLongLong();
    return true;
}

namespace {
// Now in UTC as the history writes it, with microseconds: two transactions of one desk never share it.
QString utcNowMicroseconds()
{
    const auto now = std::chrono::system_clock::now();
    const qint64 us = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(us / 1000, Qt::UTC);
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           QStringLiteral("%1Z").arg(us % 1000, 3, 10, QLatin1Char('0'));
}
} // namespace

bool SqliteEngine::beforeCommit()
{
    if (m_historyMark < 0)
        return true;
    const ExecResult signedBy = execute(
        Statement{// Every entry of the transaction bears its time, to the microsecond: the changes are one action.
                  QStringLiteral("UPDATE %1 SET %2 = ?, %3 = coalesce(?, %3), %5 = ? WHERE %4 > ?")
                      .arg(historyTable().name, columnName(HistoryColumn::Who), columnName(HistoryColumn::Action),
                           columnName(HistoryColumn::Id), columnName(HistoryColumn::Time)),
                  {deskName(), m_action.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(m_action),
                   utcNowMicroseconds(), m_historyMark}});
    return signedBy.ok;
}

void SqliteEngine::afterEnd()
{
    m_historyMark = -1;
    m_action.clear();
}

Read<qint64> SqliteEngine::insertServer(Statement insert)
{
    Read<qint64> out;
    // The new row's rowid is its key; asked of this statement only.
    QSqlQuery q(database());
    bool ok = q.prepare(insert.sql);
    for (const QVariant &value : insert.values)
        q.addBindValue(value);
    ok = ok && q.exec();
    if (ok) {
        out.value = q.lastInsertId().toLongLong();
        return out;
    }
    const QString error = q.lastError().text();
    noteFailure(q.lastError());
    if (meaningOf(q.lastError()).unique)
        out.status = {Fault::Duplicate, QStringLiteral("a server has this IP: %1").arg(error)};
    else
        out.status = Status::failed(error);
    return out;
}

bool SqliteEngine::reopenIfReplaced(Status *failure)
{
    if (fileIdentity(location()) == m_fileIdentity)
        return false;
    // The connection still reads the file that was there: its rows must not be mixed with the new
    // file's. Whatever is at the path now is opened, or nothing is.
    qWarning("the register file was replaced; opening it again");
    close();
    ++m_reopened;
    m_fileIdentity = fileIdentity(location());
    QString error;
    if (!open(&error)) {
        m_fileIdentity = fileIdentity(location()); // not tried again until something else is put there
        *failure = Status::failed(QStringLiteral("the register file was replaced and cannot be opened: %1").arg(error));
    }
    return true;
}

Read<qint64> SqliteEngine::changeCounter()
{
    Read<qint64> out;
    if (reopenIfReplaced(&out.status) && !out.status.ok())
        return out;
    if (!isOpen()) {
        out.status = readFailure(QStringLiteral("change counter"), QStringLiteral("not connected"));
        return out;
    }
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("PRAGMA data_version")) || !q.next()) {
        out.status = Status::failed(QStringLiteral("change counter: %1").arg(q.lastError().text()));
        return out;
    }
    // Each file opened counts apart: the new file's own number may be the old one's.
    out.value = q.value(0).toLongLong() + (m_reopened << 40);
    return out;
}

Status SqliteEngine::dailyBackup(const QString &backupDir, const QDate &today, int keep, bool *made,
                                 const BackupPace &pace) const
{
    *made = false;
    QString reason;
    if (!driverSharesSqlite(&reason))
        return Status::failed(reason);
    return dailySqliteCopy(location(), backupDir, today, keep, made, pace);
}

Status SqliteEngine::backupTo(const QString &dest, RegisterCounts *counts, const BackupPace &pace) const
{
    return backupSqliteFile(location(), dest, counts, pace);
}

std::optional<CheckReport> SqliteEngine::checkStorage() const
{
    return checkSqliteFile(location());
}

Status SqliteEngine::restoreFrom(const QString &backup, QString *keptAs, RegisterCounts *counts) const
{
    if (isServerLocation(backup))
        return Status::failed(kRestoreBetweenFilesOnly);
    return restoreSqliteFile(backup, location(), keptAs, counts);
}

Read<std::vector<qint64>> SqliteEngine::serverKeys(const ServerQuery &query, const ServerOrder &order)
{
    Read<std::vector<qint64>> out;
    sqlite3 *db = handle();
    if (!db)
        return RegisterEngine::serverKeys(query, order);
    registerFunctions(db);
    if (query.field == ServerQuery::Field::All && order.isStored()) {
        Read<std::vector<qint64>> fast = allServerKeys(db);
        if (fast.ok())
            return fast;
    }
    const QDate today = QDate::currentDate();
    const QuerySql select = querySql(query, sqlForm(), today);
    QString sql = QStringLiteral("SELECT rowid FROM %1").arg(serverTable().name);
    if (!select.where.isEmpty())
        sql += QLatin1String(" WHERE ") + select.where;
    // rowid order is the order the servers were stored in; it also settles ties of a sort.
    sql += QLatin1String(" ORDER BY ");
    if (!order.isStored()) {
        const QString sortColumn = columnName(listColumnField(order.column));
        const QString direction = order.descending ? QStringLiteral(" DESC") : QString();
        if (listColumnField(order.column) == ServerColumn::Expires) {
            // A retired server sorts as one without a date.
            const QString due = dueSql(today).replace(QLatin1String("?"), QString::number(dayNumber(today)));
            sql += QStringLiteral("%1 IS NULL, %1%2, ").arg(due, direction);
        } else if (isDateColumn(order.column)) {
            sql += QStringLiteral("kavro_day(%1) IS NULL, kavro_day(%1)%2, ").arg(sortColumn, direction);
        } else
            sql += QStringLiteral("kavro_sortkey(%1)%2, ").arg(sortColumn, direction);
    }
    sql += QLatin1String("rowid");
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    const bool prepared = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) == SQLITE_OK;
    bool bound = prepared;
    std::vector<QByteArray> texts; // alive until the statement is done
    for (int i = 0; bound && i < select.values.size(); ++i) {
        const QVariant &value = select.values[i];
        if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong) {
            bound = sqlite3_bind_int64(stmt, i + 1, value.toLongLong()) == SQLITE_OK;
        } else {
            texts.push_back(value.toString().toUtf8());
            bound = sqlite3_bind_text(stmt, i + 1, texts.back().constData(), int(texts.back().size()),
                                      SQLITE_TRANSIENT) == SQLITE_OK;
        }
    }
    if (!bound) {
        out.status = failure(QStringLiteral("server list"));
        sqlite3_finalize(stmt);
        return out;
    }
    if (!stepKeys(stmt, &out.value))
        out.status = failure(QStringLiteral("server list"));
    sqlite3_finalize(stmt);
    return out;
}

Read<std::vector<qint64>> SqliteEngine::allServerKeys(sqlite3 *db)
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
        out.status = failure(QStringLiteral("server list"));
        return out;
    }
    if (!stepKeys(stmt, &out.value))
        out.status = failure(QStringLiteral("server list"));
    sqlite3_finalize(stmt);
    std::sort(out.value.begin(), out.value.end());
    return out;
}

Read<ExpirySummary> SqliteEngine::expirySummary(const QDate &today)
{
    sqlite3 *db = handle();
    if (!db)
        return RegisterEngine::expirySummary(today);
    Read<ExpirySummary> out;
    const QString sql =
        QStringLiteral("SELECT %1, %2, count(*) FROM %3 GROUP BY %1, %2")
            .arg(columnName(ServerColumn::Expires), columnName(ServerColumn::Unracked), serverTable().name);
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK) {
        out.status = failure(QStringLiteral("expiry summary"));
        sqlite3_finalize(stmt);
        return out;
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        auto text = [&](int column) {
            const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
            const QDate date = p ? utf8ToDate(p, sqlite3_column_bytes(stmt, column)) : QDate();
            return date.isValid() ? dateToText(date) : QString();
        };
        countExpiry(&out.value, text(0), text(1), sqlite3_column_int64(stmt, 2), today);
    }
    if (rc != SQLITE_DONE) {
        out.status = failure(QStringLiteral("expiry summary"));
        out.value = {};
    }
    sqlite3_finalize(stmt);
    return out;
}

void SqliteEngine::registerFunctions(sqlite3 *db)
{
    if (m_functionsOn == db)
        return;
    // Deterministic functions of this connection only: no stored schema, index or view uses them,
    // so the file opens in any other SQLite tool.
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(db, "kavro_day", 1, flags, nullptr, sqlDay, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "kavro_due", 3, flags, nullptr, sqlDue, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "kavro_sortkey", 1, flags, nullptr, sqlSortKey, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "kavro_ipv4", 1, flags, nullptr, sqlIpv4, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "kavro_contains", -1, flags, nullptr, sqlContains, nullptr, nullptr, nullptr);
    m_functionsOn = db;
}

Read<std::vector<ServerRecord>> SqliteEngine::servers(std::span<const qint64> keys)
{
    sqlite3 *db = handle();
    if (!db)
        return RegisterEngine::servers(keys);
    Read<std::vector<ServerRecord>> out;
    const QStringList columns = recordColumnNames();
    const QString byKey =
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(columns.join(QLatin1String(", ")), serverTable().name);
    if (!m_serverByKey) {
        const QByteArray sql = byKey.toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &m_serverByKey, nullptr) != SQLITE_OK) {
            out.status = failure(QStringLiteral("servers"));
            beforeClose();
            return out;
        }
    }
    out.value.reserve(keys.size());
    auto fill = [](ServerRecord &r, sqlite3_stmt *stmt, int first) {
        const auto fields = recordFields(r);
        for (int i = 0; i < 8; ++i)
            *fields[size_t(i)] = textColumn(stmt, first + i);
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
                out.status = failure(QStringLiteral("servers"));
                beforeClose();
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
            out.status = failure(QStringLiteral("servers"));
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
            out.status = failure(QStringLiteral("servers"));
            out.value = {};
            break;
        }
    }
    sqlite3_reset(m_serverByKey);
    return out;
}
