#include "core/fileops/sheetimport.h"

#include <QHash>
#include <QSet>

Read<SheetPlan> planSheetImport(RegisterDb &db, const std::vector<SheetServer> &rows, bool skipExisting)
{
    Read<SheetPlan> out;
    const Read<QStringList> customers = db.customerNames();
    if (!customers.ok()) {
        out.status = customers.status;
        return out;
    }
    const QSet<QString> known(customers.value.begin(), customers.value.end());
    QHash<QString, int> firstRow;
    QSet<QString> newOnes;
    for (const SheetServer &row : rows) {
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
        const Read<bool> stored = db.serverIpExists(ip);
        if (!stored.ok()) {
            out.status = stored.status;
            return out;
        }
        if (stored.value) {
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
        out.value.toStore.push_back(row.server);
    }
    return out;
}
