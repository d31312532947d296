#pragma once

#include "core/registerdb.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <atomic>

// Copies of the register through SQLite's online backup API: consistent even while a program has
// the register open and writes to it. Every file is written under a temporary name beside its
// target, checked, and only then given the target's name; a failure (a full disk, a read-only
// folder) leaves no part of a file behind.

struct RegisterCounts {
    qint64 servers = 0;
    qint64 customers = 0;
    qint64 bytes = 0;
};

struct BackupPace {
    int pagesPerStep = -1;                  // -1: all at once, holding a read lock meanwhile
    int pauseMs = 0;                        // between steps, so that writers get their turn
    const std::atomic_bool *stop = nullptr; // set to give up (nothing is left behind)
};

// A new copy of the register at source as dest (refused when dest exists), checked with
// integrity_check before it is given its name.
Status backupRegister(const QString &source, const QString &dest, RegisterCounts *counts, const BackupPace &pace = {});

// What `kavro-db check` finds. sound: the file is an intact register; problems say why not.
// Warnings are about the data and leave the file sound.
struct CheckReport {
    bool sound = false;
    QString integrity; // integrity_check's answer
    QStringList problems;
    QStringList warnings;
    RegisterCounts counts;
};
// Opens the file read-only and never writes to it.
CheckReport checkRegister(const QString &path);

// The servers' texts a check warns about: IPs that are no address, date texts that are no date (by
// the date rule; empty ones are simply not filled in). Each server is looked at once; the first
// ones found are listed, every one counted.
class TextFindings {
public:
    void look(const ServerRecord &server);
    // A count line for each kind found, then the servers listed.
    QStringList warnings() const;
    static constexpr int kListed = 100;

private:
    QStringList m_listed;
    qint64 m_ips = 0;
    qint64 m_dates = 0;
};

// Replaces the register at db with the copy at backup, which must check sound. The current db is
// kept first as db.before-restore-YYYYMMDD-HHMMSS (keptAs); the copy is written through the backup
// API into db, so a program that has db open never sees a torn file.
Status restoreRegister(const QString &backup, const QString &db, QString *keptAs, RegisterCounts *counts);

// The program's daily copy: backupDir/kavrodb-YYYYMMDD.mdb for today unless it exists (made then
// tells whether one was written), keeping the newest `keep` copies of that name pattern and
// deleting older ones of that pattern only.
Status dailyBackup(const QString &db, const QString &backupDir, const QDate &today, int keep, bool *made,
                   const BackupPace &pace = {});
inline constexpr int kDailyBackupsKept = 14;
