#include "core/records.h"

#include "core/datetext.h"
#include "core/listcolumns.h"
#include "core/schema.h"
#include "core/text.h"

#include <QDateTime>

#include <QStringList>
#include <algorithm>

std::optional<ServerQuery> ServerQuery::fromSearchField(int index, const QString &text)
{
    static const Field fields[] = {Field::Number, Field::Ip, Field::Customer, Field::Cabinet};
    if (index == 4) {
        const std::optional<int> days = dayCountFromText(text);
        if (!days)
            return std::nullopt;
        return expiringWithin(*days);
    }
    if (index == 5)
        return containing(text);
    if (index == 6)
        return ipRange(text);
    if (index < 0 || index > 3)
        return std::nullopt;
    return ServerQuery{fields[index], text, 0};
}

bool isDateColumn(int listColumn)
{
    return listColumn >= 0 && listColumn < kListColumnCount && listColumns()[size_t(listColumn)].date;
}

namespace {
bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

// One decimal part of an address: 0-255, no leading zero.
std::optional<quint32> octetOf(QStringView part)
{
    if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part[0] == QLatin1Char('0')))
        return std::nullopt;
    quint32 value = 0;
    for (QChar c : part) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + quint32(c.unicode() - '0');
    }
    return value <= 255 ? std::optional<quint32>(value) : std::nullopt;
}
} // namespace

std::optional<quint32> ServerQuery::ipv4Of(QStringView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.mid(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    if (text.size() < 7 || text.size() > 15)
        return std::nullopt;
    quint32 address = 0;
    int parts = 0;
    for (QStringView part : text.tokenize(QLatin1Char('.'))) {
        const std::optional<quint32> octet = octetOf(part);
        if (!octet || ++parts > 4)
            return std::nullopt;
        address = address << 8 | *octet;
    }
    return parts == 4 ? std::optional<quint32>(address) : std::nullopt;
}

namespace {
bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

bool isIpv6(QStringView text)
{
    if (text.size() < 2 || text.size() > 45)
        return false;
    int groups = 0;
    bool elided = false;
    qsizetype i = 0;
    if (text.startsWith(QLatin1String("::"))) {
        elided = true;
        i = 2;
        if (i == text.size())
            return true;
    } else if (text[0] == QLatin1Char(':')) {
        return false;
    }
    while (i < text.size()) {
        qsizetype end = i;
        while (end < text.size() && end - i < 5 && isHexDigit(text[end]))
            ++end;
        if (end < text.size() && text[end] == QLatin1Char('.')) {
            // The last 32 bits written as an IPv4 address.
            if (!ServerQuery::ipv4Of(text.mid(i)))
                return false;
            groups += 2;
            i = text.size();
            break;
        }
        if (end == i || end - i > 4)
            return false;
        ++groups;
        i = end;
        if (i == text.size())
            break;
        if (text[i] != QLatin1Char(':'))
            return false;
        ++i;
        if (i < text.size() && text[i] == QLatin1Char(':')) {
            if (elided)
                return false;
            elided = true;
            ++i;
            if (i == text.size())
                break;
        } else if (i == text.size()) {
            return false; // a single trailing colon
        }
    }
    return elided ? groups <= 7 : groups == 8;
}
} // namespace

bool isIpAddress(QStringView text)
{
    text = text.trimmed();
    return ServerQuery::ipv4Of(text).has_value() || isIpv6(text);
}

std::optional<ServerQuery> ServerQuery::ipRange(const QString &text)
{
    QString typed = halfWidth(text);
    typed.replace(QChar(0x3002), QLatin1Char('.')); // 。 from a Chinese input method
    typed = typed.trimmed();
    ServerQuery q{Field::IpRange, typed, 0};
    if (const qsizetype slash = typed.indexOf(QLatin1Char('/')); slash >= 0) {
        const std::optional<quint32> address = ipv4Of(QStringView(typed).left(slash));
        const QStringView bitsText = QStringView(typed).mid(slash + 1).trimmed();
        bool ok = false;
        const int bits = bitsText.size() <= 2 ? bitsText.toInt(&ok) : -1;
        if (!address || !ok || bits < 0 || bits > 32 || !bitsText.front().isDigit())
            return std::nullopt;
        // Host bits typed are ignored: 10.1.2.3/16 is the block 10.1.0.0/16.
        const quint32 mask = bits == 0 ? 0 : ~quint32(0) << (32 - bits);
        q.low = *address & mask;
        q.high = q.low | ~mask;
        return q;
    }
    if (const qsizetype dash = typed.indexOf(QLatin1Char('-')); dash >= 0) {
        const std::optional<quint32> first = ipv4Of(QStringView(typed).left(dash));
        const std::optional<quint32> last = ipv4Of(QStringView(typed).mid(dash + 1));
        if (!first || !last)
            return std::nullopt;
        q.low = std::min(*first, *last);
        q.high = std::max(*first, *last);
        return q;
    }
    if (typed.endsWith(QLatin1Char('.'))) {
        // 1 to 3 leading parts: the block they begin.
        const QStringList parts = typed.chopped(1).split(QLatin1Char('.'));
        if (parts.size() > 3)
            return std::nullopt;
        quint32 address = 0;
        for (const QString &part : parts) {
            const std::optional<quint32> octet = octetOf(part);
            if (!octet)
                return std::nullopt;
            address = address << 8 | *octet;
        }
        const int bits = int(parts.size()) * 8;
        q.low = address << (32 - bits);
        q.high = q.low | (~quint32(0) >> bits);
        return q;
    }
    const std::optional<quint32> one = ipv4Of(typed);
    if (!one)
        return std::nullopt;
    q.low = q.high = *one;
    return q;
}

ServerQuery ServerQuery::containing(const QString &text)
{
    QString typed = halfWidth(text, true).trimmed();
    if (typed.isEmpty())
        return all();
    return {Field::Contains, foldedForContains(typed), 0};
}

QString ServerQuery::foldedForContains(const QString &text)
{
    QString folded = text;
    for (QChar &c : folded)
        if (c.unicode() >= 'A' && c.unicode() <= 'Z')
            c = QChar(c.unicode() + ('a' - 'A'));
    return folded;
}

QString ServerRecord::*ServerQuery::comparedText(Field field)
{
    switch (field) {
    case Field::Number:
        return &ServerRecord::number;
    case Field::Ip:
        return &ServerRecord::ip;
    case Field::Customer:
        return &ServerRecord::customer;
    case Field::Cabinet:
        return &ServerRecord::cabinet;
    case Field::All:
    case Field::ExpiresWithin:
    case Field::Contains:
    case Field::IpRange:
        break;
    }
    return nullptr;
}

bool ServerQuery::matches(const ServerRecord &server) const
{
    if (field == Field::All)
        return true;
    if (field == Field::ExpiresWithin) {
        const Expiry expiry = expiryOf(server.expires, withRetired ? QString() : server.unracked, QDate::currentDate());
        return expiry.state != Expiry::NoDate && expiry.state != Expiry::Retired && expiry.days <= days;
    }
    if (field == Field::Contains) {
        for (const QString *t : {&server.number, &server.ip, &server.cabinet, &server.racked, &server.expires,
                                 &server.unracked, &server.customer, &server.remark})
            if (foldedForContains(*t).contains(text))
                return true;
        return false;
    }
    if (field == Field::IpRange) {
        const std::optional<quint32> address = ipv4Of(server.ip);
        return address && *address >= low && *address <= high;
    }
    const auto compared = comparedText(field);
    return compared && server.*compared == text;
}

ServerRecord HistoryEntry::serverBefore() const
{
    ServerRecord r;
    for (const ListColumn &c : listColumns())
        for (const FieldChange &f : changes)
            if (f.field.compare(columnName(c.column), Qt::CaseInsensitive) == 0 && f.before)
                r.*c.field = *f.before;
    return r;
}

QString HistoryEntry::localTime() const
{
    QDateTime t = QDateTime::fromString(when, Qt::ISODateWithMs);
    if (!t.isValid())
        return when;
    t.setTimeSpec(Qt::UTC);
    return t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString HistoryEntry::describe() const
{
    QStringList parts;
    for (const FieldChange &f : changes) {
        if (f.hidden) {
            parts << f.title + QStringLiteral("已修改");
            continue;
        }
        if (f.before && f.after)
            parts << QStringLiteral("%1：%2 → %3").arg(f.title, *f.before, *f.after);
        else if (f.after && !f.after->isEmpty())
            parts << QStringLiteral("%1：%2").arg(f.title, *f.after);
        else if (f.before && !f.before->isEmpty() && action != QStringLiteral("修改"))
            parts << QStringLiteral("%1：%2").arg(f.title, *f.before);
        else if (f.before || f.after)
            parts << QStringLiteral("%1：%2 → %3")
                         .arg(f.title, f.before.value_or(QString()), f.after.value_or(QString()));
    }
    return parts.join(QStringLiteral("；"));
}

std::vector<std::vector<size_t>> deletionGroups(const std::vector<HistoryEntry> &deletions)
{
    std::vector<std::vector<size_t>> groups;
    for (size_t i = 0; i < deletions.size(); ++i) {
        if (!groups.empty()) {
            const HistoryEntry &newer = deletions[groups.back().back()];
            const HistoryEntry &e = deletions[i];
            // One action's deletions are one transaction's entries: one after another, nothing
            // between them, by the same desk, all bearing the transaction's time.
            if (e.id == newer.id - 1 && e.who == newer.who && e.when == newer.when) {
                groups.back().push_back(i);
                continue;
            }
        }
        groups.push_back({i});
    }
    return groups;
}
