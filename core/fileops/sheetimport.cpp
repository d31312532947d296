#include "core/fileops/sheetimport.h"

#include "core/datetext.h"
#include "core/listcolumns.h"

#include <QHash>
#include <QSet>
#include <unordered_map>

namespace {
// The longest text a spreadsheet cell holds; a longer one is no cell a program wrote for us.
constexpr qsizetype kMaxCellChars = 32767;

// The longest IP text that can be an address (an IPv6 address written out is at most 45
// characters); a longer one is no address at all.
constexpr qsizetype kMaxIpChars = 64;

constexpr int kIpField = 1;
constexpr int kCustomerField = 6;
constexpr int kRemarkField = 7;

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

// A text as a problem quotes it: a very long one only by its beginning.
QString shown(const QString &text)
{
    return text.size() > 64 ? text.left(64) + QStringLiteral("…") : text;
}

// What is wrong with a row's own texts, whatever the register holds: every reason.
QStringList rowProblems(const SheetServer &row)
{
    const ServerRecord &s = row.server;
    if (const QString oversize = oversizeField(s); !oversize.isEmpty())
        return {oversize}; // such a text is never read further
    QStringList out;
    if (s.ip.isEmpty())
        out << (row.footer ? QStringLiteral("合计行，不是服务器") : QStringLiteral("IP 为空"));
    else if (!isIpAddress(s.ip))
        out << (row.footer ? QStringLiteral("合计行，不是服务器（%1）").arg(shown(s.ip))
                           : QStringLiteral("不是IP地址：%1").arg(shown(s.ip)));
    for (int field = 0; field < kListColumnCount; ++field) {
        const ListColumn &c = listColumns()[size_t(field)];
        const QString &text = s.*c.field;
        if (!c.date || text.isEmpty())
            continue;
        const DateText date = readDate(text);
        if (!date.date.isValid())
            out << QStringLiteral("%1不是日期：%2").arg(c.title, shown(text));
        else if (date.timeOfDay)
            out << QStringLiteral("%1带有时刻（不是 00:00）：%2").arg(c.title, shown(text));
    }
    return out;
}

// Whether a stored text and the sheet's say the same: equal texts, or two date texts naming the
// same day (a stored 2026/1/5 is the sheet's 2026-01-05).
bool sameValue(const ListColumn &column, const QString &stored, const QString &sheet)
{
    if (stored == sheet || (stored.isEmpty() && sheet.isEmpty()))
        return true;
    if (!column.date)
        return false;
    const QDate a = textToDate(stored);
    return a.isValid() && a == textToDate(sheet);
}

// What a row of the sheet changes in the stored server of its IP: the fields the sheet has a column
// for (an empty cell only with blankClears), and 备注 with the extra columns' lines.
SheetChange changeFor(const SheetServer &row, ServerRecord before, const std::vector<bool> &mapped, bool blankClears)
{
    SheetChange change{row.sheetRow, before, std::move(before), {}};
    for (int field = 0; field < kListColumnCount; ++field) {
        const ListColumn &c = listColumns()[size_t(field)];
        if (field == kIpField)
            continue;
        QString value = row.server.*c.field;
        if (field == kRemarkField) {
            if (!mapped[size_t(field)] && row.extras.isEmpty())
                continue;
            if (value.isEmpty() && !(blankClears && mapped[size_t(field)]))
                value = change.before.remark;
            value = remarkWithExtras(value, row.extras);
        } else if (!mapped[size_t(field)] || (value.isEmpty() && !blankClears)) {
            continue;
        }
        if (sameValue(c, change.before.*c.field, value))
            continue;
        change.after.*c.field = value;
        change.fields.push_back(field);
    }
    return change;
}
} // namespace

QString fieldTitle(int field)
{
    return field >= 0 && field < kListColumnCount ? listColumns()[size_t(field)].title : QString();
}

bool SheetPlan::storable() const
{
    if (mode != SheetMode::GoodRowsOnly && !problems.empty())
        return false;
    return !toStore.empty() || !changes.empty();
}

std::vector<std::pair<ServerRecord, ServerRecord>> SheetPlan::changePairs() const
{
    std::vector<std::pair<ServerRecord, ServerRecord>> out;
    out.reserve(changes.size());
    for (const SheetChange &c : changes)
        out.emplace_back(c.before, c.after);
    return out;
}

Read<SheetPlan> planSheetImport(RegisterDb &db, std::vector<SheetServer> rows, bool skipExisting)
{
    SheetOptions options;
    options.mode = skipExisting ? SheetMode::SkipStored : SheetMode::RefuseAll;
    return planSheetImport(db, std::move(rows), options);
}

Read<SheetPlan> planSheetImport(RegisterDb &db, std::vector<SheetServer> rows, const SheetOptions &options)
{
    Read<SheetPlan> out;
    out.value.mode = options.mode;
    const bool update = options.mode == SheetMode::UpdateStored;
    const bool goodRows = options.mode == SheetMode::GoodRowsOnly;
    std::vector<QStringList> trouble(rows.size());
    QStringList ips;
    ips.reserve(qsizetype(rows.size()));
    // The first row of each IP (by its index), and when only good rows go in its last (an IP twice
    // then refuses both rows).
    QHash<QString, size_t> firstRow;
    QHash<QString, int> lastRow;
    firstRow.reserve(qsizetype(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        trouble[i] = rowProblems(rows[i]);
        const QString &ip = rows[i].server.ip;
        if (!trouble[i].isEmpty())
            continue;
        if (!firstRow.contains(ip)) {
            firstRow.insert(ip, i);
            ips << ip;
        }
        if (goodRows)
            lastRow.insert(ip, rows[i].sheetRow);
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!trouble[i].isEmpty())
            continue;
        const QString &ip = rows[i].server.ip;
        const size_t first = firstRow.value(ip);
        if (first != i)
            trouble[i] << QStringLiteral("表格中重复（第 %1 行已有）").arg(rows[first].sheetRow);
        else if (goodRows && lastRow.value(ip) != rows[i].sheetRow)
            trouble[i] << QStringLiteral("表格中重复（第 %1 行也有）").arg(lastRow.value(ip));
    }
    lastRow.clear();
    std::vector<bool> mapped(kListColumnCount, false);
    for (int f : options.mappedFields)
        if (f >= 0 && f < kListColumnCount)
            mapped[size_t(f)] = true;
    // Which rows' IPs are stored. When updating, each stored server is compared with its row as it
    // is read, a few thousand at a time: only the changes are kept, never every stored server at once.
    std::vector<bool> stored(rows.size(), false);
    std::unordered_map<size_t, SheetChange> changeOfRow;
    if (update) {
        constexpr qsizetype kPerRead = 2000;
        for (qsizetype first = 0; first < ips.size(); first += kPerRead) {
            Read<std::vector<ServerRecord>> found = db.serversWithIps(ips.mid(first, kPerRead));
            if (!found.ok()) {
                out.status = found.status;
                return out;
            }
            for (ServerRecord &before : found.value) {
                const size_t i = firstRow.value(before.ip);
                if (stored[i]) {
                    // An older register may hold an IP twice: which one the row means is not known.
                    changeOfRow.erase(i);
                    if (trouble[i].isEmpty())
                        trouble[i] << QStringLiteral("登记中有多台服务器使用此IP，无法确定更新哪一台");
                    continue;
                }
                stored[i] = true;
                SheetChange change = changeFor(rows[i], std::move(before), mapped, options.blankClears);
                if (!change.fields.empty())
                    changeOfRow.emplace(i, std::move(change));
            }
        }
    } else {
        const Read<QSet<QString>> found = db.storedIps(ips);
        if (!found.ok()) {
            out.status = found.status;
            return out;
        }
        for (const QString &ip : found.value)
            stored[firstRow.value(ip)] = true;
    }
    ips.clear();
    firstRow.clear();
    const Read<QStringList> customers = db.customerNames();
    if (!customers.ok()) {
        out.status = customers.status;
        return out;
    }
    const QSet<QString> known(customers.value.begin(), customers.value.end());
    QSet<QString> newOnes;
    auto noteCustomer = [&](const QString &customer) {
        if (!customer.isEmpty() && !known.contains(customer) && !newOnes.contains(customer)) {
            newOnes.insert(customer);
            out.value.newCustomers << customer;
        }
    };
    // The rows accepted are moved to the front of rows, which then becomes the plan's: a sheet of
    // a hundred thousand rows is held once.
    size_t accepted = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        SheetServer &row = rows[i];
        const QString &ip = row.server.ip;
        if (trouble[i].isEmpty() && stored[i]) {
            if (options.mode == SheetMode::SkipStored) {
                ++out.value.alreadyStored;
                continue;
            }
            if (!update)
                trouble[i] << QStringLiteral("已存在");
        }
        if (!trouble[i].isEmpty()) {
            out.value.problems.push_back({row.sheetRow, shown(ip), trouble[i].join(QStringLiteral("；"))});
            continue;
        }
        if (update && stored[i]) {
            const auto change = changeOfRow.find(i);
            if (change == changeOfRow.end()) {
                ++out.value.unchanged;
                continue;
            }
            const std::vector<int> &fields = change->second.fields;
            if (std::find(fields.begin(), fields.end(), kCustomerField) != fields.end())
                noteCustomer(change->second.after.customer);
            out.value.changes.push_back(std::move(change->second));
            changeOfRow.erase(change);
            continue;
        }
        if (!row.extras.isEmpty())
            row.server.remark = remarkWithExtras(row.server.remark, row.extras);
        noteCustomer(row.server.customer);
        if (&rows[accepted] != &row)
            rows[accepted] = std::move(row);
        ++accepted;
    }
    rows.resize(accepted);
    out.value.toStore = std::move(rows);
    return out;
}

QList<QStringList> rejectedRows(const SheetTable &table, const SheetHeader &header,
                                const std::vector<SheetProblem> &problems)
{
    qsizetype width = 0;
    if (header.row >= 0 && header.row < table.rows.size())
        width = table.rows[header.row].size();
    for (const SheetProblem &p : problems)
        if (p.sheetRow >= 1 && p.sheetRow <= table.rows.size())
            width = std::max(width, table.rows[p.sheetRow - 1].size());
    QList<QStringList> out;
    auto padded = [width](QStringList cells, const QString &last) {
        while (cells.size() < width)
            cells << QString();
        cells << last;
        return cells;
    };
    if (header.row >= 0 && header.row < table.rows.size())
        out << padded(table.rows[header.row].toStringList(), QStringLiteral("问题"));
    for (const SheetProblem &p : problems)
        if (p.sheetRow >= 1 && p.sheetRow <= table.rows.size())
            out << padded(table.rows[p.sheetRow - 1].toStringList(), p.what);
    return out;
}
