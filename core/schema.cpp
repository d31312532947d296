#include "core/schema.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace {
TableSchema makeTable(const char *name, std::initializer_list<const char *> columns, const char *key,
                      const char *serverKey, std::initializer_list<const char *> indexed,
                      std::initializer_list<const char *> unique = {})
{
    TableSchema t;
    t.name = QString::fromLatin1(name);
    for (const char *c : columns)
        t.columns << QString::fromLatin1(c);
    t.keyColumn = QString::fromLatin1(key);
    t.serverKey = QString::fromLatin1(serverKey);
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
        makeTable("data", {"F_ID", "F_KH", "F_BH", "F_IP", "F_JG", "F_SJ", "F_DQ", "F_XJ", "F_BZ"}, "F_ID", "F_ID",
                  {"F_BH", "F_IP", "F_KH", "F_JG", "F_DQ"}, {"F_IP"}),
        makeTable("kehu", {"K_DD", "K_KH", "K_LX"}, "", "K_ID", {"K_DD", "K_KH"}, {"K_DD"}),
        makeTable("admin", {"U_ZH", "U_MM"}, "", "U_ID", {}),
    };
    return tables;
}

const TableSchema &historyTable()
{
    static const TableSchema table = makeTable(
        "jilu", {"J_ID", "J_SJ", "J_REN", "J_BIAO", "J_CZ", "J_JL", "J_MC", "J_NR"}, "J_ID", "J_ID", {"J_JL", "J_CZ"});
    return table;
}

QString columnName(HistoryColumn column)
{
    return historyTable().columns[int(column)];
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

const TableSchema *tableNamed(const QString &name)
{
    for (const TableSchema &table : registerTables())
        if (table.name.compare(name, Qt::CaseInsensitive) == 0)
            return &table;
    return nullptr;
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
