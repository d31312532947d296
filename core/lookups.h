#pragma once

#include <QString>

class RecordCursor;

// Whether a stored row has exactly this value in the column. The cursor is left open on the
// table (with the look-up's condition) for the caller, who may go on to append a row.
// An absent stored value counts as the empty text.
bool serverIpExists(RecordCursor &cursor, const QString &ip);
bool customerKeyExists(RecordCursor &cursor, const QString &key);
bool customerNameExists(RecordCursor &cursor, const QString &name);
