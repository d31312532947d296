// The header finder and the rows below it: a header is among the first ten rows and names at
// least two fields, each once; the servers taken from a sheet are its rows below the header, in
// order; a problem found before importing always says what it is.
#include "core/fileops/sheetreader.h"
#include "fuzzsupport.h"

#include <set>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString error;
    const std::optional<SheetTable> table = readCsv(bytesOf(data, size), QStringLiteral("sheet"), &error);
    if (!table)
        return 0;
    const std::optional<SheetHeader> header = findHeader(*table);
    if (!header)
        return 0;
    FUZZ_CHECK(header->row >= 0 && header->row < 10 && header->row < table->rows.size(), "header row %d", header->row);
    std::set<int> named;
    for (int field : header->fields) {
        FUZZ_CHECK(field >= -1 && field < 8, "field %d", field);
        if (field >= 0)
            FUZZ_CHECK(named.insert(field).second, "field %d named twice", field);
    }
    FUZZ_CHECK(named.size() >= 2, "a header naming %zu fields", named.size());
    for (bool extras : {false, true}) {
        const std::vector<SheetServer> servers = sheetServers(*table, *header, extras);
        int last = header->row + 1;
        for (const SheetServer &s : servers) {
            FUZZ_CHECK(s.sheetRow > last && s.sheetRow <= table->rows.size(), "sheet row %d", s.sheetRow);
            last = s.sheetRow;
            for (const QString &line : s.extras)
                FUZZ_CHECK(line.contains(QStringLiteral("：")), "an extra line without its name");
        }
    }
    return 0;
}
