#include "core/schema.h"

#include "core/customerkey.h"
#include "core/store.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

bool createSchema(QSqlDatabase &db, QString *error)
{
    static const char *const statements[] = {
        // AUTOINCREMENT: a deleted server's key is never handed to a later one, so a list row
        // that still shows an old key can never reach a different server.
        "CREATE TABLE data (F_ID INTEGER PRIMARY KEY AUTOINCREMENT, F_KH TEXT, F_BH TEXT, F_IP TEXT, "
        "F_JG TEXT, F_SJ TEXT, F_DQ TEXT, F_XJ TEXT, F_BZ TEXT)",
        "CREATE TABLE kehu (K_DD TEXT, K_KH TEXT, K_LX TEXT)",
        "CREATE TABLE admin (U_ZH TEXT, U_MM TEXT)",
        "CREATE INDEX data_F_BH ON data (F_BH)",
        "CREATE INDEX data_F_IP ON data (F_IP)",
        "CREATE INDEX data_F_KH ON data (F_KH)",
        "CREATE INDEX data_F_JG ON data (F_JG)",
        "CREATE INDEX kehu_K_DD ON kehu (K_DD)",
        "CREATE INDEX kehu_K_KH ON kehu (K_KH)",
    };
    QSqlQuery q(db);
    for (const char *sql : statements) {
        if (!q.exec(QString::fromLatin1(sql))) {
            *error = q.lastError().text();
            return false;
        }
    }
    return true;
}

bool createRegisterFile(const QString &path, const QString &connectionName, QString *error)
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
        ok = ok && createSchema(db, error);
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
