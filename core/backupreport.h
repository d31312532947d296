#pragma once

// What copies, checks and restores of a register report, and the pace a copy goes at: shared by
// the engines, which make them, and the file operations and tools that ask for them.
#include "core/records.h"

#include <QString>
#include <QStringList>
#include <atomic>

struct RegisterCounts {
    qint64 servers = 0;
    qint64 customers = 0;
    qint64 bytes = -1; // the size of the file; -1 where the register is no file
};

struct BackupPace {
    int pagesPerStep = -1;                  // -1: all at once, holding a read lock meanwhile
    int pauseMs = 0;                        // between steps, so that writers get their turn
    const std::atomic_bool *stop = nullptr; // set to give up (nothing is left behind)
};

// What `kavro-db check` finds. sound: the register is intact; problems say why not. Warnings are
// about the data (or the server's settings) and leave it sound.
struct CheckReport {
    bool found = true; // false: nothing is at the location
    bool sound = false;
    QString integrity; // integrity_check's answer (a file's)
    QString note;      // what the check could not look at itself
    QStringList problems;
    QStringList warnings;
    RegisterCounts counts;
};

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

// How many daily copies are kept.
inline constexpr int kDailyBackupsKept = 14;
