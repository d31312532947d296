// The workbook reader, through the same call the window and kavro-db make with the program's size
// limits: any bytes are read or refused with a reason; what is read stays within a sheet's limits
// and its servers can be taken.
#include "core/fileops/sheetreader.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = writtenScratch(QStringLiteral("book.xlsx"), data, size);
    QString error;
    const std::optional<std::vector<SheetTable>> book = readXlsxFile(path, &error);
    if (!book) {
        FUZZ_CHECK(!error.isEmpty(), "refused without a reason");
        return 0;
    }
    for (const SheetTable &t : *book) {
        for (const SheetRow &row : t.rows) {
            FUZZ_CHECK(row.size() <= 16384, "a row of %lld columns", qlonglong(row.size()));
            int last = -1;
            for (const auto &[c, text] : row.cells()) {
                FUZZ_CHECK(c > last && c < row.size(), "cells out of order");
                FUZZ_CHECK(!text.isEmpty(), "an empty cell kept");
                last = c;
            }
        }
        if (const std::optional<SheetHeader> header = findHeader(t))
            sheetServers(t, *header, true);
    }
    return 0;
}
