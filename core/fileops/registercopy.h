#pragma once

#include "core/registerdb.h"

#include <QString>
#include <QStringList>

// Copies a whole register between any two places a register can be: an SQLite file or a
// PostgreSQL database (connection URI). Every record keeps its key and its place in stored order,
// every text is copied exactly (an absent text stays absent), and the key counters move past the
// highest key ever handed out, so a key deleted at the source is never given to a new record.

struct CopyReport {
    qint64 servers = 0;
    qint64 customers = 0;
    qint64 administrators = 0;
    // Columns whose index is unique in new registers but whose values repeat in the source; they
    // keep a plain index at the destination ("table.column").
    QStringList repeating;
};

// All or nothing: the source is read in one consistent snapshot and the destination written in
// one transaction. A destination file must not exist yet (it is created, and removed again when
// the copy fails); a destination database must hold none of the three tables, or all three empty.
Status copyRegister(const QString &source, const QString &dest, CopyReport *report);

// A new register at location, as kavro-db init makes it. A file is written under a temporary name
// beside its target and given the target's name only when whole (refused when anything is there
// by then), so a run killed at any point leaves either the whole register or nothing under that
// name; what it left beside it is removed by the next run.
Status createRegister(const QString &location);
