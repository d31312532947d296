// The CSV reader: any bytes are read or refused with a reason; what it reads, written by our own
// export and read again, comes back cell for cell.
#include "core/fileops/exporter.h"
#include "core/fileops/sheetreader.h"
#include "fuzzsupport.h"

#include <QFile>

namespace {
// The non-empty cells of the rows that have any, by row and column.
QList<std::vector<std::pair<int, QString>>> cellsOf(const SheetTable &table)
{
    QList<std::vector<std::pair<int, QString>>> out;
    for (const SheetRow &row : table.rows)
        if (!row.cells().empty())
            out << row.cells();
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString error;
    const std::optional<SheetTable> table = readCsv(bytesOf(data, size), QStringLiteral("sheet"), &error);
    if (!table) {
        FUZZ_CHECK(!error.isEmpty(), "refused without a reason");
        return 0;
    }
    // Written as our export writes, read as the import reads.
    QList<QStringList> rows;
    for (const SheetRow &row : table->rows)
        rows << row.toStringList();
    const QString path = scratchFile(QStringLiteral("round.csv"));
    const Status written = writeTextTable(path, ExportFormat::Csv, QStringLiteral("sheet"), rows);
    FUZZ_CHECK(written.ok(), "cannot write: %s", qPrintable(written.reason));
    const std::optional<SheetTable> back = readCsvFile(path, &error);
    FUZZ_CHECK(back.has_value(), "our own CSV is refused: %s", qPrintable(error));
    const auto before = cellsOf(*table);
    const auto after = cellsOf(*back);
    FUZZ_CHECK(before.size() == after.size(), "%lld rows came back as %lld", qlonglong(before.size()),
               qlonglong(after.size()));
    for (qsizetype r = 0; r < before.size(); ++r)
        FUZZ_CHECK(before[r] == after[r], "row %lld came back changed", qlonglong(r + 1));
    QFile::remove(path);
    return 0;
}
