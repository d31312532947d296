#pragma once

#include <QByteArray>
#include <QStringView>

// The key a list column's text sorts by: bytes that compare (as memcmp does) the way a
// Chinese-locale list orders texts: ICU's zh collation (Chinese by pinyin), numbers within a text by
// value ("SV-9" before "SV-10").
QByteArray chineseSortKey(QStringView text);
