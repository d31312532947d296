#pragma once

#include "benchdata.h"
#include "core/registerdb.h"

// The saves the write-cost figures time: 50 adds, 50 modifications and 50 deletions through the
// register layer, each in its own transaction, as the windows make them.
inline double writeRound(RegisterDb &db, int round)
{
    return timeMs([&] {
        std::vector<qint64> added;
        for (int i = 0; i < 50; ++i) {
            ServerRecord s{-1,
                           QStringLiteral("蓝海云联科技有限公司"),
                           QStringLiteral("NEW-%1-%2").arg(round).arg(i),
                           QStringLiteral("172.16.%1.%2").arg(round).arg(i),
                           QStringLiteral("Z-9"),
                           QStringLiteral("2026-01-01"),
                           QStringLiteral("2027-01-01"),
                           QString(),
                           QStringLiteral("新上架，双路电源，带宽100M独享；客户要求每月巡检一次。")};
            const Read<qint64> key = db.addServer(s);
            mustHold(key.ok(), QStringLiteral("an add: %1").arg(key.status.reason));
            added.push_back(key.value);
        }
        for (qint64 key : added) {
            Read<ServerRecord> s = db.server(key);
            const ServerRecord before = s.value;
            s.value.remark += QStringLiteral("已巡检");
            const Status saved = db.updateServer(s.value, true, &before);
            mustHold(s.ok() && saved.ok(), QStringLiteral("a modification: %1").arg(saved.reason));
        }
        for (qint64 key : added) {
            const Status deleted = db.deleteServer(key);
            mustHold(deleted.ok(), QStringLiteral("a deletion: %1").arg(deleted.reason));
        }
    });
}
