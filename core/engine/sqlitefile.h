#pragma once

// The SQLite engine's work on whole register files, through SQLite's C API: copies made with the
// online backup API (consistent while a program writes), the read-only check, the restore, and the
// program's daily copy. Every file is written under a temporary name beside its target, checked,
// and only then given the target's name; a failure (a full disk, a read-only folder) leaves no
// part of a file behind.
#include "core/backupreport.h"
#include "core/status.h"

#include <QDate>
#include <QString>

// A new, checked copy of the register file at source as dest (refused when dest exists).
Status backupSqliteFile(const QString &source, const QString &dest, RegisterCounts *counts, const BackupPace &pace);
// Opens the file read-only and never writes to it.
CheckReport checkSqliteFile(const QString &path);
// See restoreRegister in core/fileops/backup.h.
Status restoreSqliteFile(const QString &backup, const QString &db, QString *keptAs, RegisterCounts *counts);
// See dailyBackup in core/fileops/backup.h.
Status dailySqliteCopy(const QString &db, const QString &backupDir, const QDate &today, int keep, bool *made,
                       const BackupPace &pace);
