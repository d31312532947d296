#include "core/fileops/sheetimport.h"

#include <QHash>
#include <QSet>

Read<SheetPlan> planSheetImport(RegisterDb &db, std::vector<SheetServer> rows, bool skipExisting)
{
    Read<SheetPlan> out;
    QStringList ips;
    ips.reserve(qsizetype(rows.size()));
    for (const SheetServer &row : rows)
        if (!row.server.ip.isEmpty())
            ips << row.server.ip;
    const Read<QSet<QString>> stored = db.storedIps(ips);
    if (!stored.ok()) {
        out.status = stored.status;
        return out;
    }
    const Read<QStringList> customers = db.customerNames();
    if (!customers.ok()) {
        out.status = customers.status;
        return out;
    }
    const QSet<QString> known(customers.value.begin(), customers.value.end());
    QHash<QString, int> firstRow;
    QSet<QString> newOnes;
    // The rows accepted are moved to the front of rows, which then becomes the plan's: a sheet of
    // a hundred thousand rows is held once.
    size_t accepted = 0;
    for (SheetServer &row : rows) {
        const QString &ip = row.server.ip;
        if (ip.isEmpty()) {
            out.value.problems.push_back({row.sheetRow, ip, QStringLiteral("IP 为空")});
            continue;
        }
        if (firstRow.contains(ip)) {
            out.value.problems.push_back(
                {row.sheetRow, ip, QStringLiteral("表格中重复（第 %1 行已有）").arg(firstRow.value(ip))});
            continue;
        }
        firstRow.insert(ip, row.sheetRow);
        if (stored.value.contains(ip)) {
            if (skipExisting)
                ++out.value.alreadyStored;
            else
                out.value.problems.push_back({row.sheetRow, ip, QStringLiteral("已存在")});
            continue;
        }
        const QString &customer = row.server.customer;
        if (!customer.isEmpty() && !known.contains(customer) && !newOnes.contains(customer)) {
            newOnes.insert(customer);
            out.value.newCustomers << customer;
        }
        if (&rows[accepted] != &row)
            rows[accepted] = std::move(row);
        ++accepted;
    }
    rows.resize(accepted);
    out.value.toStore = std::move(rows);
    return out;
}
