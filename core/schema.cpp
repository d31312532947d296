#include "core/schema.h"

#include "core/customerkey.h"
#include "core/store.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace {
TableSchema makeTable(const char *name, std::initializer_list<const char *> columns, const char *key,
                      std::initializer_list<const char *> indexed, std::initializer_list<const char *> unique = {})
{
    TableSchema t;
    t.name = QString::fromLatin1(name);
    for (const char *c : columns)
        t.columns << QString::fromLatin1(c);
    t.keyColumn = QString::fromLatin1(key);
    for (const char *c : indexed)
        t.indexed << QString::fromLatin1(c);
    for (const char *c : unique)
        t.unique << QString::fromLatin1(c);
    return t;
}
} // namespace

const std::vector<TableSchema> &registerTables()
{
    static const std::vector<TableSchema> tables = {
        makeTable("data", {"F_ID", "F_KH", "F_BH", "F_IP", "F_JG", "F_SJ", "F_DQ", "F_XJ", "F_BZ"}, "F_ID",
                  {"F_BH", "F_IP", "F_KH", "F_JG", "F_DQ"}, {"F_IP"}),
        makeTable("kehu", {"K_DD", "K_KH", "K_LX"}, "", {"K_DD", "K_KH"}, {"K_DD"}),
        makeTable("admin", {"U_ZH", "U_MM"}, "", {}),
    };
    return tables;
}

const TableSchema &serverTable()
{
    return registerTables()[0];
}

const TableSchema &customerTable()
{
    return registerTables()[1];
}

const TableSchema &adminTable()
{
    return registerTables()[2];
}

QString columnName(ServerColumn column)
{
    return serverTable().columns[int(column)];
}

QString columnName(CustomerColumn column)
{
    return customerTable().columns[int(column)];
}

QString columnName(AdminColumn column)
{
    return adminTable().columns[int(column)];
}

bool createSchema(QSqlDatabase &db, QString *error, bool uniqueIndexes)
{
    QStringList statements;
    for (const TableSchema &table : registerTables()) {
        QStringList columns;
        for (const QString &column : table.columns)
            // AUTOINCREMENT: a deleted server's key is never handed to a later one, so a list row
            // that still shows an old key can never reach a different server.
            columns << (column == table.keyColumn ? column + QLatin1String(" INTEGER PRIMARY KEY AUTOINCREMENT")
                                                  : column + QLatin1String(" TEXT"));
        statements << QStringLiteral("CREATE TABLE %1 (%2)").arg(table.name, columns.join(QLatin1String(", ")));
    }
    for (const TableSchema &table : registerTables())
        for (const QString &column : table.indexed)
            // A unique IP index turns two desks adding one IP at once into a refusal, not two rows.
            statements << QStringLiteral("CREATE %3INDEX %1_%2 ON %1 (%2)")
                              .arg(table.name, column,
                                   uniqueIndexes && table.unique.contains(column) ? QStringLiteral("UNIQUE ")
                                                                                  : QString());
    QSqlQuery q(db);
    for (const QString &sql : statements) {
        if (!q.exec(sql)) {
            *error = q.lastError().text();
            return false;
        }
    }
    return true;
}

bool makeIndexesUnique(QSqlDatabase &db, QStringList *kept, QString *error)
{
    QSqlQuery q(db);
    for (const TableSchema &table : registerTables()) {
        for (const QString &column : table.unique) {
            const QString index = QStringLiteral("%1_%2").arg(table.name, column);
            if (!q.exec(QStringLiteral("DROP INDEX IF EXISTS %1").arg(index))) {
                *error = q.lastError().text();
                return false;
            }
            if (q.exec(QStringLiteral("CREATE UNIQUE INDEX %1 ON %2 (%3)").arg(index, table.name, column)))
                continue;
            *kept << QStringLiteral("%1.%2").arg(table.name, column);
            if (!q.exec(QStringLiteral("CREATE INDEX %1 ON %2 (%3)").arg(index, table.name, column))) {
                *error = q.lastError().text();
                return false;
            }
        }
    }
    return true;
}

bool checkSchema(QSqlDatabase &db, QString *error)
{
    for (const TableSchema &table : registerTables()) {
        QSqlQuery info(db);
        if (!info.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table.name))) {
            *error = info.lastError().text();
            return false;
        }
        QStringList present;
        while (info.next())
            present << info.value(1).toString();
        if (present.isEmpty()) {
            *error = info.lastError().isValid() ? info.lastError().text()
                                                : QStringLiteral("table %1 is missing").arg(table.name);
            return false;
        }
        for (const QString &column : table.columns) {
            if (!present.contains(column, Qt::CaseInsensitive)) {
                *error = QStringLiteral("column %1.%2 is missing").arg(table.name, column);
                return false;
            }
        }
    }
    return true;
}

bool createRegisterFile(const QString &path, const QString &connectionName, QString *error, bool uniqueIndexes)
{
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        *error = QStringLiteral("%1 already exists; it is left as it is").arg(path);
        return false;
    }
    // Claim the name first: NewOnly fails if another file appears there meanwhile.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, file.errorString());
        return false;
    }
    file.close();
    bool ok;
    {
        // The file was just claimed empty; opening it must not create another elsewhere.
        QSqlDatabase db = addExistingFileConnection(connectionName, path);
        ok = db.open();
        if (!ok)
            *error = db.lastError().text();
        ok = ok && createSchema(db, error, uniqueIndexes);
        if (!ok)
            db.close();
    }
    if (!ok) {
        QSqlDatabase::removeDatabase(connectionName);
        QFile::remove(path);
    }
    return ok;
}

bool initRegisterDatabase(const QString &path, QString *error)
{
    const QString name = QStringLiteral("kavro-init");
    if (!createRegisterFile(path, name, error))
        return false;
    bool ok;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QSqlQuery q(db);
        ok = db.transaction();
        ok = ok && q.prepare(QStringLiteral("INSERT INTO admin (U_ZH, U_MM) VALUES (?, ?)"));
        q.addBindValue(kDefaultAdminAccount);
        q.addBindValue(kDefaultAdminPassword);
        ok = ok && q.exec();
        ok = ok && q.prepare(QStringLiteral("INSERT INTO kehu (K_DD, K_KH, K_LX) VALUES (?, ?, '')"));
        q.addBindValue(drawCustomerKey(*QRandomGenerator::global(), [](const QString &) { return false; }));
        q.addBindValue(kDefaultCustomerName);
        ok = ok && q.exec();
        ok = ok && db.commit();
        if (!ok)
            *error = q.lastError().text();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!ok)
        QFile::remove(path);
    return ok;
}
