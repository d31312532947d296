#pragma once

#include "core/fileops/legacyimport.h"

// Reads Access 97 (Jet 3), 2000-2003 (Jet 4) and 2007+ (.accdb) files through libmdb, read-only.
// Jet 3 files keep their texts in a code page, which the file does not reliably name: they are
// read as the code page given (936, GBK, unless told otherwise).
class MdbReader : public LegacyReader {
public:
    explicit MdbReader(int jet3CodePage = 936);
    ~MdbReader() override;

    bool open(const QString &path, QString *error) override;
    QStringList tableNames() override;
    bool readTable(const QString &name, LegacyTable *table, QString *error) override;

private:
    int m_codePage;
    void *m_mdb = nullptr;
};
