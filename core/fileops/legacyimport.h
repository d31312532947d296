#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// One table of a legacy register as read: column names and every row's texts, in table order.
struct LegacyTable {
    QStringList columns;
    std::vector<QStringList> rows;
    // How many rows the file's own catalogue says the table holds; -1 when it does not say.
    qint64 catalogueRows = -1;
};

// Reads a legacy register file. The importer works through this, so it can be fed by the Access
// reader or by anything a test makes up.
class LegacyReader {
public:
    virtual ~LegacyReader() = default;
    virtual bool open(const QString &path, QString *error) = 0;
    virtual QStringList tableNames() = 0;
    virtual bool readTable(const QString &name, LegacyTable *table, QString *error) = 0;
};

struct ImportReport {
    int servers = 0;
    int customers = 0;
    int administrators = 0;
    QStringList notes; // tables and columns ignored, columns missing
};

// Reads the three tables from the legacy file and writes a new register at newPath, which must not
// exist yet. All or nothing: on any error nothing is left at newPath, and a table that yields fewer
// rows than its catalogue counts (a damaged file) refuses the whole import. Temporary files of an
// earlier import that was killed are removed first. The legacy file is only read.
bool importRegister(LegacyReader &reader, const QString &legacyPath, const QString &newPath, ImportReport *report,
                    QString *error);

// Converts the legacy file at path in place: the legacy file is kept beside it as
// path + ".access-backup" (never overwritten) and the new register takes its name.
bool importInPlace(LegacyReader &reader, const QString &path, ImportReport *report, QString *backupPath,
                   QString *error);
