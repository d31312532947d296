#pragma once

#include <QString>
#include <optional>

class RecordCursor;

// Whether a stored row of the table has exactly this value in the column (an absent stored value
// counts as the empty text); none when the table cannot be read. The cursor is left open on the
// table with the look-up's condition.
std::optional<bool> valueExists(RecordCursor &cursor, const QString &table, const QString &column,
                                const QString &value);
