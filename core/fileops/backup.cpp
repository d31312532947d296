#include "core/fileops/backup.h"

#include "core/engine/engine.h"
#include "core/registerdb.h"

#include <algorithm>
#include <span>

Status backupRegister(const QString &source, const QString &dest, RegisterCounts *counts, const BackupPace &pace)
{
    return RegisterEngine::forLocation(source)->backupTo(dest, counts, pace);
}

QString backupCommand(const QString &source, const QString &dest)
{
    return RegisterEngine::forLocation(source)->backupCommand(dest);
}

namespace {
// A register whose storage its database server keeps sound: its tables and columns (checked when
// it opens), what it holds, the server's settings and the servers' texts, read a page at a time.
CheckReport checkThroughRegister(const QString &location)
{
    CheckReport report;
    RegisterDb db;
    const Status opened = db.open(location);
    if (!opened.ok()) {
        report.problems << opened.reason;
        return report;
    }
    const Read<ExpirySummary> summary = db.expirySummary();
    const Read<std::vector<CustomerRecord>> customers = db.customers();
    if (!summary.ok() || !customers.ok()) {
        report.problems << (summary.ok() ? customers.status.reason : summary.status.reason);
        return report;
    }
    report.counts.servers = summary.value.servers;
    report.counts.customers = qint64(customers.value.size());
    report.note = QStringLiteral("(the server keeps its own storage sound; pg_amcheck checks it further)");
    report.warnings = db.securityWarnings();
    const Read<std::vector<qint64>> keys = db.serverKeys(ServerQuery{});
    if (!keys.ok()) {
        report.problems << keys.status.reason;
        return report;
    }
    TextFindings findings;
    constexpr size_t kPage = 2000;
    for (size_t first = 0; first < keys.value.size(); first += kPage) {
        const Read<std::vector<ServerRecord>> page =
            db.servers(std::span<const qint64>(keys.value.data() + first, std::min(kPage, keys.value.size() - first)));
        if (!page.ok()) {
            report.problems << page.status.reason;
            return report;
        }
        for (const ServerRecord &s : page.value)
            if (s.key >= 0)
                findings.look(s);
    }
    report.warnings << findings.warnings();
    report.sound = true;
    return report;
}
} // namespace

CheckReport checkRegister(const QString &location)
{
    if (std::optional<CheckReport> stored = RegisterEngine::forLocation(location)->checkStorage())
        return *stored;
    return checkThroughRegister(location);
}

Status restoreRegister(const QString &backup, const QString &db, QString *keptAs, RegisterCounts *counts)
{
    return RegisterEngine::forLocation(db)->restoreFrom(backup, keptAs, counts);
}

Status dailyBackup(const QString &db, const QString &backupDir, const QDate &today, int keep, bool *made,
                   const BackupPace &pace)
{
    return RegisterEngine::forLocation(db)->dailyBackup(backupDir, today, keep, made, pace);
}
