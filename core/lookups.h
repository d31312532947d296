#pragma once

#include <QString>

class RecordCursor;

// Whether a stored row has exactly this value in the column. The cursor is left open on the
// table (with the look-up's condition) for the caller, who may go on to append a row.
// An absent stored value counts as the empty text.
bool serverIpExists(RecordCursor &cursor, const QString &ip);
bool customerKeyExists(RecordCursor &cursor, const QString &key);
bool customerNameExists(RecordCursor &cursor, const QString &name);

// Deletes the single record of the table that meets the condition; false when there is no such
// record, more than one, or the database refuses. The cursor is closed afterwards.
bool deleteOneRecord(RecordCursor &cursor, const QString &table, const QString &condition);
