#include "core/fileops/legacyimport.h"

#include "core/engine/engine.h"
#include "core/engine/schemaddl.h"
#include "core/files.h"
#include "core/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

int indexOf(const QStringList &names, const QString &name)
{
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// The rows of the three tables, then the indexes and triggers, in the caller's transaction.
bool writeRows(QSqlDatabase &db, const std::vector<LegacyTable> &tables, ImportReport *report, QString *error)
{
    for (size_t t = 0; t < tables.size(); ++t) {
        const TableSchema &spec = registerTables()[t];
        const LegacyTable &legacy = tables[t];
        std::vector<int> source;
        for (const QString &column : spec.columns) {
            source.push_back(indexOf(legacy.columns, column));
            if (source.back() < 0)
                report->notes << QStringLiteral("column %1.%2 is missing: stored as empty").arg(spec.name, column);
        }
        for (const QString &column : legacy.columns)
            if (indexOf(spec.columns, column) < 0)
                report->notes << QStringLiteral("column %1.%2 ignored").arg(spec.name, column);

        QStringList marks;
        for (int i = 0; i < spec.columns.size(); ++i)
            marks << QStringLiteral("?");
        QSqlQuery insert(db);
        if (!insert.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                .arg(spec.name, spec.columns.join(','), marks.join(',')))) {
            *error = insert.lastError().text();
            return false;
        }
        const int keyIndex = spec.columns.indexOf(spec.keyColumn);
        for (const QStringList &row : legacy.rows) {
            for (int i = 0; i < spec.columns.size(); ++i) {
                const int from = source[size_t(i)];
                const QString text = from >= 0 && from < row.size() ? row[from] : QString();
                if (i == keyIndex) {
                    // The record key keeps its value; a row without one gets the next key.
                    bool whole = false;
                    const qlonglong key = text.trimmed().toLongLong(&whole);
                    insert.bindValue(i, whole ? QVariant(key) : QVariant(QMetaType::fromType<qlonglong>()));
                } else {
                    insert.bindValue(i, text.isNull() ? QString(QLatin1String("")) : text);
                }
            }
            if (!insert.exec()) {
                *error = QStringLiteral("table %1: %2").arg(spec.name, insert.lastError().text());
                return false;
            }
        }
    }
    QStringList repeated;
    if (!makeIndexesUnique(db, &repeated, error))
        return false;
    for (const QString &column : repeated)
        report->notes << QStringLiteral("values of %1 repeat: its index is not unique").arg(column);
    bool indexAdded = false;
    if (!addTextIndex(db, &indexAdded, error) || !addHistory(db, &indexAdded, error))
        return false;
    report->servers = int(tables[0].rows.size());
    report->customers = int(tables[1].rows.size());
    report->administrators = int(tables[2].rows.size());
    return true;
}

// Writes the tables into the freshly made register open under connection, in one transaction.
bool writeTables(QSqlDatabase &db, const std::vector<LegacyTable> &tables, ImportReport *report, QString *error)
{
    return inTransaction(db, error, [&] { return writeRows(db, tables, report, error); });
}

} // namespace

bool importRegister(LegacyReader &reader, const QString &legacyPath, const QString &newPath, ImportReport *report,
                    QString *error)
{
    *report = ImportReport{};
    for (const QString &location : {legacyPath, newPath})
        if (RegisterEngine::forLocation(location)->connectsToServer()) {
            *error = QStringLiteral("an Access file is brought over into a register file; kavro-db copy then takes "
                                    "that file into a PostgreSQL database");
            return false;
        }
    // What an import killed half-way left beside NEW goes first, also when NEW is then refused.
    removeStaleTemporaries(newPath, {QStringLiteral("partial"), QStringLiteral("converted")});
    if (QFileInfo::exists(newPath) || QFileInfo(newPath).isSymLink()) {
        *error = QStringLiteral("%1 already exists; nothing was written").arg(newPath);
        return false;
    }
    if (!reader.open(legacyPath, error)) {
        *error = QStringLiteral("%1 is not an Access database that can be read: %2").arg(legacyPath, *error);
        return false;
    }
    const QStringList names = reader.tableNames();
    std::vector<LegacyTable> tables;
    for (const TableSchema &spec : registerTables()) {
        const int at = indexOf(names, spec.name);
        if (at < 0) {
            *error = QStringLiteral("%1 has no table %2; it is not a register").arg(legacyPath, spec.name);
            return false;
        }
        tables.emplace_back();
        if (!reader.readTable(names[at], &tables.back(), error)) {
            *error = QStringLiteral("cannot read table %1: %2").arg(spec.name, *error);
            return false;
        }
        const LegacyTable &read = tables.back();
        if (read.catalogueRows >= 0 && qint64(read.rows.size()) != read.catalogueRows) {
            *error = QStringLiteral("%1 is damaged: table %2 holds %3 rows by its catalogue, but %4 could be read; "
                                    "nothing was written")
                         .arg(legacyPath, spec.name)
                         .arg(read.catalogueRows)
                         .arg(read.rows.size());
            return false;
        }
    }
    for (const QString &name : names)
        if (std::none_of(registerTables().begin(), registerTables().end(),
                         [&](const TableSchema &t) { return t.name.compare(name, Qt::CaseInsensitive) == 0; }))
            report->notes << QStringLiteral("table %1 ignored").arg(name);

    // Written under a temporary name beside NEW and linked into place only when complete.
    FileBeingWritten partial(newPath);
    const QString connection = QStringLiteral("kavro-import");
    // Plain indexes while the rows go in; unique afterwards where the old data allows it.
    if (!createRegisterFile(partial.path(), connection, error, false))
        return false;
    bool ok;
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        ok = writeTables(db, tables, report, error);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    QString cause;
    if (ok && !partial.finish(false, &cause)) {
        *error = QStringLiteral("cannot create %1: %2").arg(newPath, cause);
        ok = false;
    }
    return ok;
}

bool importInPlace(LegacyReader &reader, const QString &path, ImportReport *report, QString *backupPath, QString *error)
{
    if (RegisterEngine::forLocation(path)->connectsToServer()) {
        *error = QStringLiteral("an Access file is converted in place, in the program's folder");
        return false;
    }
    *backupPath = path + QStringLiteral(".access-backup");
    if (QFileInfo::exists(*backupPath) || QFileInfo(*backupPath).isSymLink()) {
        *error = QStringLiteral("%1 already exists; nothing was changed").arg(*backupPath);
        return false;
    }
    removeStaleTemporaries(path, {QStringLiteral("partial"), QStringLiteral("converted")});
    const QString converted = siblingTemporaryName(path, "converted");
    if (!importRegister(reader, path, converted, report, error))
        return false;
    // The legacy file keeps its bytes under the backup name (a second link to the same file), then
    // the new register replaces the original name in one step.
    const QByteArray from = QFile::encodeName(path);
    const QByteArray backup = QFile::encodeName(*backupPath);
    QString cause;
    if (!addNameWithoutOverwriting(path, *backupPath, &cause)) {
        *error = QStringLiteral("cannot keep the backup %1: %2").arg(*backupPath, cause);
        QFile::remove(converted);
        return false;
    }
    if (::rename(QFile::encodeName(converted).constData(), from.constData()) != 0) {
        *error = QStringLiteral("cannot put the new register in place: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::unlink(backup.constData());
        QFile::remove(converted);
        return false;
    }
    return true;
}
