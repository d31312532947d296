#include "core/lookups.h"

#include "core/statements.h"
#include "core/store.h"
#include "core/text.h"

std::optional<bool> valueExists(RecordCursor &cursor, const QString &table, const QString &column, const QString &value)
{
    // The database compares texts byte for byte (BINARY collation), as textCompare does, and can
    // use the column's index instead of reading the whole table.
    const Statement equal = equalCondition(column, value);
    QString condition = equal.sql;
    if (value.isEmpty())
        condition = textJoin({u"(", condition, u" OR ", column, u" IS NULL)"});
    if (!cursor.openTable(table, condition, equal.values))
        return std::nullopt;
    return cursor.recordCount() > 0;
}
