#include "core/engine/sqlitefile.h"

#include "core/files.h"
#include "core/schema.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <optional>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {

struct CloseDb {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, CloseDb>;

QString message(sqlite3 *db, int rc)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
}

// Opens an existing file; never creates one.
Db openExisting(const QString &path, bool writable, QString *error)
{
    const QFileInfo file(path);
    if (file.isDir()) {
        *error = QStringLiteral("%1 is a folder, not a register file").arg(path);
        return nullptr;
    }
    if (!file.isFile()) {
        *error = QStringLiteral("%1 does not exist").arg(path);
        return nullptr;
    }
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw,
                                   writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) {
        *error = message(raw, rc);
        return nullptr;
    }
    sqlite3_busy_timeout(raw, 5000);
    return db;
}

Db createNew(const QString &path, QString *error)
{
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXCLUSIVE, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) {
        *error = message(raw, rc);
        return nullptr;
    }
    return db;
}

// Runs the backup API from `from` into `into`, at the pace asked for.
bool copyPages(sqlite3 *from, sqlite3 *into, const BackupPace &pace, QString *error)
{
    sqlite3_backup *backup = sqlite3_backup_init(into, "main", from, "main");
    if (!backup) {
        *error = message(into, SQLITE_ERROR);
        return false;
    }
    // A write by another connection between two steps starts the copy over. Should that keep
    // happening, the rest is copied in one step, holding a read lock until it is done.
    int pages = pace.pagesPerStep;
    int restarts = 0;
    int lastRemaining = -1;
    int rc;
    do {
        if (pace.stop && pace.stop->load()) {
            sqlite3_backup_finish(backup);
            *error = QStringLiteral("stopped");
            return false;
        }
        rc = sqlite3_backup_step(backup, pages);
        const int remaining = sqlite3_backup_remaining(backup);
        if (lastRemaining >= 0 && remaining > lastRemaining && ++restarts >= 3)
            pages = -1;
        lastRemaining = remaining;
        if ((rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && pace.pauseMs > 0 && pages > 0)
            QThread::msleep(ulong(pace.pauseMs));
        else if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            sqlite3_sleep(20);
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    const int finished = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE || finished != SQLITE_OK) {
        *error = message(into, rc != SQLITE_DONE ? rc : finished);
        return false;
    }
    return true;
}

const QString kBusy = QStringLiteral("the register is busy: another program has held its lock for 10 s");

bool busy(int rc)
{
    return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
}

QString singleAnswer(sqlite3 *db, const char *sql, QString *error)
{
    // The busy timeout covers most waits, but SQLite answers "locked" at once in a few cases (a
    // reader that meets a writer's hot journal, under a tight loop of writes): such a statement is
    // tried again, for as long as the busy timeout would have waited twice.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        sqlite3_stmt *stmt = nullptr;
        QStringList lines;
        int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
        if (rc == SQLITE_OK) {
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
                lines << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
        }
        sqlite3_finalize(stmt);
        if (rc == SQLITE_DONE)
            return lines.join(QLatin1Char('\n'));
        if (!busy(rc)) {
            *error = message(db, rc);
            return {};
        }
        if (waited.elapsed() > 10000) {
            *error = kBusy;
            return {};
        }
        QThread::msleep(20);
    }
}

QString integrityOf(sqlite3 *db)
{
    QString error;
    const QString answer = singleAnswer(db, "PRAGMA integrity_check", &error);
    return error.isEmpty() ? answer : error;
}

qint64 countOf(sqlite3 *db, const QString &table)
{
    QString error;
    return singleAnswer(db, QStringLiteral("SELECT count(*) FROM %1").arg(table).toUtf8().constData(), &error)
        .toLongLong();
}

// Missing tables or columns, as the program's own check at open sees them.
QStringList schemaProblems(sqlite3 *db)
{
    QStringList problems;
    for (const TableSchema &table : registerTables()) {
        QString error;
        const QString columns = singleAnswer(
            db, QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(table.name).toUtf8().constData(),
            &error);
        if (error == kBusy)
            return {kBusy}; // waited long enough once
        if (!error.isEmpty()) {
            problems << error;
            continue;
        }
        const QStringList present = columns.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (present.isEmpty()) {
            problems << QStringLiteral("table %1 is missing").arg(table.name);
            continue;
        }
        for (const QString &column : table.columns)
            if (!present.contains(column, Qt::CaseInsensitive))
                problems << QStringLiteral("column %1.%2 is missing").arg(table.name, column);
    }
    return problems;
}

// Writes a checked copy of `from` as dest through a temporary name beside it.
Status copyInto(sqlite3 *from, const QString &dest, const BackupPace &pace, RegisterCounts *counts)
{
    if (QFileInfo::exists(dest) || QFileInfo(dest).isSymLink())
        return Status::failed(QStringLiteral("%1 already exists; nothing was written").arg(dest));
    FileBeingWritten partial(dest);
    QString error;
    bool ok;
    {
        Db into = createNew(partial.path(), &error);
        // The check of a large copy takes seconds: a stop interrupts it too.
        if (into && pace.stop)
            sqlite3_progress_handler(
                into.get(), 10000,
                [](void *stop) { return static_cast<const std::atomic_bool *>(stop)->load() ? 1 : 0; },
                const_cast<std::atomic_bool *>(pace.stop));
        ok = into && copyPages(from, into.get(), pace, &error);
        if (ok) {
            const QString integrity = integrityOf(into.get());
            if (integrity != QLatin1String("ok")) {
                error = QStringLiteral("the copy does not check: %1").arg(integrity);
                ok = false;
            } else if (counts) {
                counts->servers = countOf(into.get(), serverTable().name);
                counts->customers = countOf(into.get(), customerTable().name);
            }
        }
        if (into && sqlite3_close(into.release()) != SQLITE_OK && ok) {
            error = QStringLiteral("the copy could not be closed");
            ok = false;
        }
    }
    if (ok && !partial.finish(false, &error))
        ok = false;
    if (ok && counts)
        counts->bytes = QFileInfo(dest).size();
    return ok ? Status::done() : Status::failed(error);
}

} // namespace

Status backupSqliteFile(const QString &source, const QString &dest, RegisterCounts *counts, const BackupPace &pace)
{
    QString error;
    Db from = openExisting(source, false, &error);
    if (!from)
        return Status::failed(error);
    const QStringList problems = schemaProblems(from.get());
    if (problems.contains(kBusy))
        return Status::failed(QStringLiteral("%1: %2; try again").arg(source, kBusy));
    if (!problems.isEmpty())
        return Status::failed(
            QStringLiteral("%1 is not a register: %2").arg(source, problems.join(QLatin1String("; "))));
    return copyInto(from.get(), dest, pace, counts);
}

namespace {
// A journal beside the file that a write cut short left (a full disk, a killed program): the
// file reads as before once it is rolled back, which needs a writer. Checked on a copy of both,
// so the register itself is left as it is.
std::optional<CheckReport> checkRolledBackCopy(const QString &path)
{
    const QString journal = path + QLatin1String("-journal");
    if (QFileInfo(journal).size() <= 0)
        return std::nullopt;
    QTemporaryDir dir;
    const QString copy = dir.filePath(QFileInfo(path).fileName());
    if (!dir.isValid() || !QFile::copy(path, copy) || !QFile::copy(journal, copy + QLatin1String("-journal")))
        return std::nullopt;
    {
        QString error;
        Db writer = openExisting(copy, true, &error);
        if (!writer ||
            sqlite3_exec(writer.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK)
            return std::nullopt;
    }
    CheckReport report = checkSqliteFile(copy);
    report.counts.bytes = QFileInfo(path).size();
    report.warnings.prepend(QStringLiteral("a write was cut short (%1 is left beside the file): nothing of it was "
                                           "stored, and the register reads as before once the program or kavro-db "
                                           "next opens it, which rolls it back; checked on a rolled-back copy")
                                .arg(journal));
    return report;
}
} // namespace

CheckReport checkSqliteFile(const QString &path)
{
    CheckReport report;
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
        report.found = false;
        report.problems << QStringLiteral("%1 does not exist").arg(path);
        return report;
    }
    QString error;
    Db db = openExisting(path, false, &error);
    if (!db) {
        if (std::optional<CheckReport> rolledBack = checkRolledBackCopy(path))
            return *rolledBack;
        report.problems << error;
        return report;
    }
    report.integrity = integrityOf(db.get());
    // A read-only look cannot roll an interrupted write back: that is no damage.
    if (report.integrity != QLatin1String("ok")) {
        if (std::optional<CheckReport> rolledBack = checkRolledBackCopy(path))
            return *rolledBack;
    }
    if (report.integrity != QLatin1String("ok"))
        report.problems << QStringLiteral("integrity_check: %1").arg(report.integrity);
    report.problems << schemaProblems(db.get());
    if (!report.problems.isEmpty())
        return report;
    report.sound = true;
    report.counts.servers = countOf(db.get(), serverTable().name);
    report.counts.customers = countOf(db.get(), customerTable().name);
    report.counts.bytes = QFileInfo(path).size();
    // Findings about the data.
    struct Finding {
        const char *sql;
        const char *what;
    };
    const Finding findings[] = {
        {"SELECT F_IP, count(*) FROM data GROUP BY F_IP HAVING count(*) > 1 ORDER BY F_IP",
         "servers sharing the IP %1: %2"},
        {"SELECT F_KH, count(*) FROM data WHERE F_KH NOT IN (SELECT K_KH FROM kehu WHERE K_KH IS NOT NULL) "
         "GROUP BY F_KH ORDER BY F_KH",
         "servers whose customer %1 is not among the customers: %2"},
        {"SELECT K_KH, count(*) FROM kehu GROUP BY K_KH HAVING count(*) > 1 ORDER BY K_KH",
         "customers sharing the name %1: %2"},
    };
    for (const Finding &f : findings) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db.get(), f.sql, -1, &stmt, nullptr) != SQLITE_OK)
            continue;
        while (sqlite3_step(stmt) == SQLITE_ROW)
            report.warnings << QString::fromUtf8(f.what)
                                   .arg(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))))
                                   .arg(sqlite3_column_int64(stmt, 1));
        sqlite3_finalize(stmt);
    }
    // IPs that are no address and date texts that are no date.
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db.get(), "SELECT F_IP, F_SJ, F_DQ, F_XJ FROM data ORDER BY rowid", -1, &stmt, nullptr) ==
        SQLITE_OK) {
        TextFindings findings;
        auto text = [stmt](int c) {
            return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)),
                                     sqlite3_column_bytes(stmt, c));
        };
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            ServerRecord s;
            s.ip = text(0);
            s.racked = text(1);
            s.expires = text(2);
            s.unracked = text(3);
            findings.look(s);
        }
        sqlite3_finalize(stmt);
        report.warnings << findings.warnings();
    }
    return report;
}

Status restoreSqliteFile(const QString &backup, const QString &db, QString *keptAs, RegisterCounts *counts)
{
    // A file restored onto itself would wait on its own lock; told apart by device and inode, so a
    // second name or a symbolic link is the same file too.
    struct stat a, b;
    if (::stat(QFile::encodeName(backup).constData(), &a) == 0 && ::stat(QFile::encodeName(db).constData(), &b) == 0 &&
        a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        return Status::failed(QStringLiteral("%1 and %2 are the same file; nothing was changed").arg(backup, db));
    const CheckReport check = checkSqliteFile(backup);
    if (!check.sound)
        return Status::failed(QStringLiteral("%1 is not a sound register copy; nothing was changed: %2")
                                  .arg(backup, check.problems.join(QLatin1String("; "))));
    QString error;
    Db target = openExisting(db, true, &error);
    if (!target)
        return Status::failed(error);
    // The register as it is now, kept first.
    QString kept = QStringLiteral("%1.before-restore-%2")
                       .arg(db, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    for (int n = 2; QFileInfo::exists(kept) || QFileInfo(kept).isSymLink(); ++n)
        kept = QStringLiteral("%1.before-restore-%2-%3")
                   .arg(db, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
                   .arg(n);
    const Status keptOk = copyInto(target.get(), kept, {}, nullptr);
    if (!keptOk.ok())
        return Status::failed(
            QStringLiteral("the current register could not be kept, nothing was changed: %1").arg(keptOk.reason));
    *keptAs = kept;
    Db from = openExisting(backup, false, &error);
    if (!from || !copyPages(from.get(), target.get(), {}, &error))
        return Status::failed(
            QStringLiteral("restoring failed: %1 (the register before is kept as %2)").arg(error, kept));
    const QString integrity = integrityOf(target.get());
    if (integrity != QLatin1String("ok"))
        return Status::failed(QStringLiteral("the restored register does not check: %1").arg(integrity));
    if (counts) {
        counts->servers = countOf(target.get(), serverTable().name);
        counts->customers = countOf(target.get(), customerTable().name);
        counts->bytes = QFileInfo(db).size();
    }
    return Status::done();
}

Status dailySqliteCopy(const QString &db, const QString &backupDir, const QDate &today, int keep, bool *made,
                       const BackupPace &pace)
{
    *made = false;
    if (!QDir().mkpath(backupDir))
        return Status::failed(QStringLiteral("cannot make the folder %1").arg(backupDir));
    const QString name = QStringLiteral("kavrodb-%1.mdb").arg(today.toString(QStringLiteral("yyyyMMdd")));
    const QString dest = QDir(backupDir).filePath(name);
    if (!QFileInfo::exists(dest)) {
        RegisterCounts counts;
        const Status copied = backupSqliteFile(db, dest, &counts, pace);
        if (!copied.ok())
            return copied;
        *made = true;
    }
    // The newest `keep` of our own name pattern stay; nothing else in the folder is touched.
    static const QRegularExpression ours(QStringLiteral("^kavrodb-\\d{8}\\.mdb$"));
    QStringList copies;
    for (const QString &file : QDir(backupDir).entryList(QDir::Files, QDir::Name))
        if (ours.match(file).hasMatch())
            copies << file;
    for (qsizetype i = 0; i + keep < copies.size(); ++i)
        QFile::remove(QDir(backupDir).filePath(copies[i]));
    return Status::done();
}
