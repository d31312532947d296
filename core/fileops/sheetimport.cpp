#include "core/fileops/sheetimport.h"

#include "core/listcolumns.h"

#include <QHash>
#include <QSet>

namespace {
// The longest text a spreadsheet cell holds; a longer one is no cell a program wrote for us.
constexpr qsizetype kMaxCellChars = 32767;

// The longest IP text that can be an address (an IPv6 address written out is at most 45
// characters); a longer one is no address at all.
constexpr qsizetype kMaxIpChars = 64;

// Why a row's texts cannot be stored as they are: a field longer than a cell can be, a NUL
// character (no register stores one), an IP longer than an address. Empty when none.
QString oversizeField(const ServerRecord &server)
{
    for (const ListColumn &c : listColumns()) {
        const QString &text = server.*c.field;
        if (text.size() > kMaxCellChars)
            return QStringLiteral("%1超过 %2 个字符（%3 个）").arg(c.title).arg(kMaxCellChars).arg(text.size());
        if (text.contains(QChar(0)))
            return QStringLiteral("%1含有空字符（NUL）").arg(c.title);
    }
    if (server.ip.size() > kMaxIpChars)
        return QStringLiteral("服务器IP长 %1 个字符，不是地址").arg(server.ip.size());
    return {};
}

// An IP as a problem names it: a very long one only by its beginning.
QString shownIp(const QString &ip)
{
    return ip.size() > 64 ? ip.left(64) + QStringLiteral("…") : ip;
}
} // namespace

Read<SheetPlan> planSheetImport(RegisterDb &db, std::vector<SheetServer> rows, bool skipExisting)
{
    Read<SheetPlan> out;
    QStringList ips;
    ips.reserve(qsizetype(rows.size()));
    std::vector<QString> oversize(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        oversize[i] = oversizeField(rows[i].server);
        if (oversize[i].isEmpty() && !rows[i].server.ip.isEmpty())
            ips << rows[i].server.ip;
    }
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
    for (size_t i = 0; i < rows.size(); ++i) {
        SheetServer &row = rows[i];
        const QString &ip = row.server.ip;
        // Checked first: such a text is never hashed or looked up.
        if (!oversize[i].isEmpty()) {
            out.value.problems.push_back({row.sheetRow, shownIp(ip), oversize[i]});
            continue;
        }
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
