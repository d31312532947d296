// The date rule: whatever the text, a date it reads is a real day, reads the same from UTF-8, and
// its stored form reads back as itself with no time of day.
#include "core/datetext.h"
#include "core/fileops/sheetreader.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = textOf(data, size);
    const DateText read = readDate(text);
    const QByteArray utf8 = text.toUtf8();
    FUZZ_CHECK(utf8ToDate(utf8.constData(), utf8.size()) == read.date, "utf8ToDate differs for %s", utf8.constData());
    FUZZ_CHECK(textToDate(text) == read.date, "textToDate differs");
    const QString cell = dateCellText(text);
    if (!read.date.isValid()) {
        FUZZ_CHECK(!read.timeOfDay, "a time of day without a date");
        FUZZ_CHECK(cell == text.trimmed(), "a non-date cell was changed: %s", utf8.constData());
        return 0;
    }
    FUZZ_CHECK(read.date.year() >= 0 && read.date.year() <= 9999, "year %d", read.date.year());
    const QString stored = dateToText(read.date);
    const DateText again = readDate(stored);
    FUZZ_CHECK(again.date == read.date && !again.timeOfDay, "%s does not read back", qPrintable(stored));
    FUZZ_CHECK(cell == (read.timeOfDay ? text.trimmed() : stored), "the cell text %s", qPrintable(cell));
    return 0;
}
