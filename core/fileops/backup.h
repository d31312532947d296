#pragma once

#include "core/backupreport.h"
#include "core/status.h"

#include <QDate>
#include <QString>

// Copies, checks and restores of a whole register, whichever engine keeps it: each asks the
// register's engine. A file is copied through SQLite's online backup API, consistent even while a
// program writes to it, under a temporary name beside its target that it takes only when whole
// and checked; a database server keeps its own copies (pg_dump).

// A new copy of the register at source as dest (refused when dest exists), checked before it is
// given its name. A register on a database server is not copied: backupCommand says how.
Status backupRegister(const QString &source, const QString &dest, RegisterCounts *counts, const BackupPace &pace = {});
// The command of the server's own tool that copies the register at source to dest; empty for a
// register that backupRegister copies.
QString backupCommand(const QString &source, const QString &dest);

// Checks the register read-only, never writing to it.
CheckReport checkRegister(const QString &location);

// Replaces the register at db with the copy at backup, which must check sound. The current db is
// kept first as db.before-restore-YYYYMMDD-HHMMSS (keptAs); the copy is written through the backup
// API into db, so a program that has db open never sees a torn file. Files only.
Status restoreRegister(const QString &backup, const QString &db, QString *keptAs, RegisterCounts *counts);

// The program's daily copy: backupDir/kavrodb-YYYYMMDD.mdb for today unless it exists (made then
// tells whether one was written), keeping the newest `keep` copies of that name pattern and
// deleting older ones of that pattern only. Nothing for a register on a database server.
Status dailyBackup(const QString &db, const QString &backupDir, const QDate &today, int keep, bool *made,
                   const BackupPace &pace = {});
