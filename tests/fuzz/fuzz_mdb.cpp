// The Access reader's own code around libmdb: a file (a small valid one, mutated) is opened or
// refused with a reason; every table it names is read or refused with a reason, its rows as wide
// as its columns.
#include "fuzzsupport.h"
#include "tools/mdbreader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = writtenScratch(QStringLiteral("old.mdb"), data, size);
    MdbReader reader;
    QString error;
    if (!reader.open(path, &error)) {
        FUZZ_CHECK(!error.isEmpty(), "refused without a reason");
        return 0;
    }
    for (const QString &name : reader.tableNames()) {
        LegacyTable table;
        error.clear();
        if (!reader.readTable(name, &table, &error)) {
            FUZZ_CHECK(!error.isEmpty(), "table %s refused without a reason", qPrintable(name));
            continue;
        }
        for (const QStringList &row : table.rows)
            FUZZ_CHECK(row.size() == table.columns.size(), "a row of %lld cells under %lld columns",
                       qlonglong(row.size()), qlonglong(table.columns.size()));
    }
    return 0;
}
