#include "core/lookups.h"

#include "core/store.h"
#include "core/text.h"

namespace {
bool valueExists(RecordCursor &cursor, const QString &table, const QString &column, const QString &value)
{
    // The database compares texts byte for byte (BINARY collation), as textCompare does, and can
    // use the column's index instead of reading the whole table.
    QString condition = textJoin({column, u"=", sqlLiteral(value)});
    if (value.isEmpty())
        condition = textJoin({u"(", condition, u" OR ", column, u" IS NULL)"});
    cursor.openTable(table, condition);
    return cursor.recordCount() > 0;
}
} // namespace

bool serverIpExists(RecordCursor &cursor, const QString &ip)
{
    return valueExists(cursor, QStringLiteral("data"), QStringLiteral("F_IP"), ip);
}

bool customerKeyExists(RecordCursor &cursor, const QString &key)
{
    return valueExists(cursor, QStringLiteral("kehu"), QStringLiteral("K_DD"), key);
}

bool customerNameExists(RecordCursor &cursor, const QString &name)
{
    return valueExists(cursor, QStringLiteral("kehu"), QStringLiteral("K_KH"), name);
}

bool deleteOneRecord(RecordCursor &cursor, const QString &table, const QString &condition)
{
    const bool deleted = cursor.openTable(table, condition) && cursor.recordCount() == 1 && cursor.deleteCurrent();
    cursor.closeTable();
    return deleted;
}
