#pragma once

// How an operation on a register ended, and a value read with the reason it could not be: what
// the engines hand the register layer and the register layer hands the windows and tools.
#include <QString>
#include <QtGlobal>

struct ExpirySummary {
    qint64 servers = 0;
    qint64 expired = 0;
    qint64 soon = 0;
};

// How an operation of the register ended.
enum class Fault {
    None,      // it worked
    NotFound,  // the record it was meant for is no longer stored
    NotUnique, // more than one record answered to the key: nothing was changed
    Changed,   // the record no longer holds the values it was read with: nothing was changed
    Duplicate, // the value must be new and is already stored
    Denied,    // the database does not let this desk (its role) do it
    DiskFull,  // the disk had no room for it: nothing was stored
    Failed,    // the database refused or could not be read; reason says why
};

struct Status {
    Fault fault = Fault::None;
    QString reason;

    bool ok() const { return fault == Fault::None; }
    static Status done() { return {}; }
    static Status failed(const QString &reason) { return {Fault::Failed, reason}; }
};

// A value read from the register, or why it could not be read.
template <typename T> struct Read {
    Status status;
    T value{};
    bool ok() const { return status.ok(); }
};
