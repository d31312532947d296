#include "core/fileops/registercopy.h"

#include "core/engine/engine.h"
#include "core/engine/schemaddl.h"
#include "core/files.h"
#include "core/schema.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <functional>
#include <optional>

namespace {

// One connection for the length of the copy, closed and removed however it ends.
class Link {
public:
    explicit Link(const QString &name) : m_name(name) {}
    ~Link()
    {
        if (m_db.isValid()) {
            m_db.close(); // a transaction still open ends with the connection, undone
            m_db = QSqlDatabase();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase &db() { return m_db; }
    void set(const QSqlDatabase &db) { m_db = db; }
    const QString &name() const { return m_name; }

private:
    QString m_name;
    QSqlDatabase m_db;
};

Status queryFailure(const QSqlQuery &q, const QString &what)
{
    return Status::failed(QStringLiteral("%1: %2").arg(what, q.lastError().text()));
}

// Whether a column's values repeat, so that a unique index on it cannot be made.
bool repeats(QSqlDatabase &db, const QString &table, const QString &column, Status *status)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT 1 FROM %1 WHERE %2 IS NOT NULL GROUP BY %2 HAVING count(*) > 1 LIMIT 1")
                    .arg(table, column))) {
        *status = queryFailure(q, QStringLiteral("reading %1").arg(table));
        return false;
    }
    return q.next();
}

QVariant exactValue(const QVariant &value)
{
    if (value.isNull())
        return QVariant(QMetaType::fromType<QString>());
    if (value.typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(value.toByteArray());
    return value.toString();
}

// Copies one table's records in key order, keys included, many records a statement.
Status copyTable(QSqlDatabase &from, QSqlDatabase &to, const TableSchema &table, qint64 *copied)
{
    const QString fromKey = rowKeyOf(from, table);
    const QString toKey = rowKeyOf(to, table);
    QStringList columns;
    for (const QString &column : table.columns)
        if (column != table.keyColumn)
            columns << column;
    QSqlQuery read(from);
    read.setForwardOnly(true);
    if (!read.exec(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %1")
                       .arg(fromKey, columns.join(QLatin1String(", ")), table.name)))
        return queryFailure(read, QStringLiteral("reading %1").arg(table.name));
    const int width = int(columns.size()) + 1;
    constexpr int kRowsPerStatement = 200;
    const QString row =
        QLatin1Char('(') + QStringList(width, QStringLiteral("?")).join(QLatin1Char(',')) + QLatin1Char(')');
    const QString head =
        QStringLiteral("INSERT INTO %1 (%2, %3) VALUES ").arg(table.name, toKey, columns.join(QLatin1String(", ")));
    QSqlQuery write(to);
    QString preparedFor;
    std::vector<QVariant> values;
    auto flush = [&]() -> Status {
        const int rows = int(values.size()) / width;
        if (rows == 0)
            return Status::done();
        const QString sql = head + QStringList(rows, row).join(QLatin1Char(','));
        if (sql != preparedFor) {
            if (!write.prepare(sql))
                return queryFailure(write, QStringLiteral("writing %1").arg(table.name));
            preparedFor = sql;
        }
        for (int i = 0; i < int(values.size()); ++i)
            write.bindValue(i, values[size_t(i)]);
        if (!write.exec())
            return queryFailure(write, QStringLiteral("writing %1").arg(table.name));
        *copied += rows;
        values.clear();
        return Status::done();
    };
    while (read.next()) {
        values.push_back(read.value(0).toLongLong());
        for (int i = 1; i < width; ++i)
            values.push_back(exactValue(read.value(i)));
        if (int(values.size()) == width * kRowsPerStatement) {
            const Status s = flush();
            if (!s.ok())
                return s;
        }
    }
    if (read.lastError().isValid())
        return queryFailure(read, QStringLiteral("reading %1").arg(table.name));
    return flush();
}

} // namespace

Status copyRegister(const QString &source, const QString &dest, CopyReport *report)
{
    *report = {};
    if (source == dest)
        return Status::failed(QStringLiteral("the source and the destination are the same register"));
    const bool destFile = !RegisterEngine::forLocation(dest)->connectsToServer();
    if (destFile)
        removeStaleTemporaries(dest, {QStringLiteral("partial")}); // of a copy killed half-way, also when refused
    if (destFile && (QFileInfo::exists(dest) || QFileInfo(dest).isSymLink()))
        return Status::failed(QStringLiteral("%1 already exists; it is left as it is").arg(dest));

    Link from(QStringLiteral("kavro-copy-from"));
    {
        QString error;
        if (!openRegister(from.name(), source, &error))
            return Status::failed(QStringLiteral("cannot open %1: %2").arg(source, error));
        from.set(QSqlDatabase::database(from.name(), false));
    }
    // One snapshot of the source, however long the copy takes and whoever writes meanwhile.
    QString snapshotError;
    if (!beginSnapshot(from.db(), &snapshotError))
        return Status::failed(QStringLiteral("cannot read %1 consistently: %2").arg(source, snapshotError));
    Status status;
    for (const TableSchema &table : registerTables())
        for (const QString &column : table.unique)
            if (repeats(from.db(), table.name, column, &status))
                report->repeating << QStringLiteral("%1.%2").arg(table.name, column);
    if (!status.ok())
        return status;

    Link to(QStringLiteral("kavro-copy-to"));
    // A file is written under a temporary name beside its target and given the target's name only
    // when complete: a copy killed half-way leaves no register that looks whole, and the next copy
    // removes what it left.
    std::optional<FileBeingWritten> partial;
    {
        QString error;
        if (destFile) {
            partial.emplace(dest);
            QFile claim(partial->path());
            if (!claim.open(QIODevice::WriteOnly | QIODevice::NewOnly))
                return Status::failed(QStringLiteral("cannot create %1: %2").arg(dest, claim.errorString()));
            claim.close();
        }
        QSqlDatabase db = addRegisterConnection(to.name(), destFile ? partial->path() : dest, &error);
        if (db.isValid() && !db.open())
            error = db.lastError().text();
        if (!error.isEmpty())
            return Status::failed(QStringLiteral("cannot open %1: %2").arg(dest, error));
        to.set(db);
    }
    auto work = [&]() -> Status {
        QString error;
        const QStringList present = presentTables(to.db(), &error);
        if (!error.isEmpty())
            return Status::failed(error);
        if (!to.db().transaction())
            return Status::failed(to.db().lastError().text());
        if (present.isEmpty()) {
            if (!createSchema(to.db(), &error, true, report->repeating))
                return Status::failed(QStringLiteral("cannot make the tables: %1").arg(error));
        } else {
            if (present.size() != int(registerTables().size()) || !checkSchema(to.db(), &error))
                return Status::failed(
                    QStringLiteral("%1 holds only some of the register's tables (%2)").arg(dest, present.join(", ")));
            for (const TableSchema &table : registerTables()) {
                QSqlQuery q(to.db());
                if (!q.exec(QStringLiteral("SELECT 1 FROM %1 LIMIT 1").arg(table.name)))
                    return queryFailure(q, QStringLiteral("reading %1").arg(dest));
                if (q.next())
                    return Status::failed(
                        QStringLiteral("%1 is not empty (table %2 holds records); it is left as it is")
                            .arg(dest, table.name));
            }
        }
        qint64 *counts[] = {&report->servers, &report->customers, &report->administrators};
        for (size_t i = 0; i < registerTables().size(); ++i) {
            const TableSchema &table = registerTables()[i];
            Status copied = copyTable(from.db(), to.db(), table, counts[i]);
            QString counterError;
            if (copied.ok() && !carryKeyCounter(to.db(), table, keysHandedOut(from.db(), table), &counterError))
                copied = Status::failed(counterError);
            if (!copied.ok())
                return copied;
        }
        // The index that finds any part of a text, filled from what was copied (a destination
        // that has it already kept it in step while rows went in).
        bool indexAdded = false;
        if (!addTextIndex(to.db(), &indexAdded, &error))
            return Status::failed(QStringLiteral("cannot make the text index: %1").arg(error));
        // The history comes over as it was: entries the copy itself made in a destination that
        // kept one already are not changes anybody made.
        bool historyAdded = false;
        if (!addHistory(to.db(), &historyAdded, &error))
            return Status::failed(QStringLiteral("cannot make the change history: %1").arg(error));
        QSqlQuery clear(to.db());
        if (!historyAdded && !clear.exec(QStringLiteral("DELETE FROM %1").arg(historyTable().name)))
            return queryFailure(clear, QStringLiteral("clearing the history of %1").arg(dest));
        if (historyPresent(from.db())) {
            qint64 entries = 0;
            Status copied = copyTable(from.db(), to.db(), historyTable(), &entries);
            QString counterError;
            if (copied.ok() &&
                !carryKeyCounter(to.db(), historyTable(), keysHandedOut(from.db(), historyTable()), &counterError))
                copied = Status::failed(counterError);
            if (!copied.ok())
                return copied;
        }
        if (!to.db().commit())
            return Status::failed(QStringLiteral("cannot commit: %1").arg(to.db().lastError().text()));
        return Status::done();
    };
    status = work();
    from.db().commit(); // only read: ends the snapshot
    if (!status.ok())
        to.db().rollback();
    if (destFile) {
        to.db().close();
        QString cause;
        if (status.ok() && !partial->finish(false, &cause))
            status = Status::failed(QStringLiteral("cannot create %1: %2").arg(dest, cause));
    }
    if (!status.ok())
        *report = {};
    return status;
}

Status createRegister(const QString &location)
{
    QString error;
    if (RegisterEngine::forLocation(location)->connectsToServer()) {
        if (!initRegisterDatabase(location, &error))
            return Status::failed(error);
        return Status::done();
    }
    const QFileInfo target(location);
    if (target.exists() || target.isSymLink())
        return Status::failed(QStringLiteral("%1 already exists; it is left as it is").arg(location));
    FileBeingWritten partial(location);
    if (!initRegisterDatabase(partial.path(), &error))
        return Status::failed(error);
    if (!partial.finish(false, &error))
        return Status::failed(QStringLiteral("cannot create %1: %2").arg(location, error));
    return Status::done();
}
