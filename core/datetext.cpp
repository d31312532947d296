#include "core/datetext.h"

namespace {
bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// minCount to maxCount ASCII digits at i, and no further digit after them.
bool readNumber(QStringView t, qsizetype &i, int minCount, int maxCount, int *value)
{
    int count = 0;
    int v = 0;
    while (i < t.size() && count < maxCount && isAsciiDigit(t[i])) {
        v = v * 10 + (t[i].unicode() - '0');
        ++i;
        ++count;
    }
    if (count < minCount || (i < t.size() && isAsciiDigit(t[i])))
        return false;
    *value = v;
    return true;
}

bool expect(QStringView t, qsizetype &i, QChar c)
{
    if (i >= t.size() || t[i] != c)
        return false;
    ++i;
    return true;
}
} // namespace

QString dateToText(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QDate textToDate(QStringView t)
{
    // Read by hand rather than by a pattern: list sorts and the expiry summary read it per server.
    const qsizetype n = t.size();
    qsizetype i = 0;
    while (i < n && t[i].isSpace())
        ++i;
    int year = 0, month = 0, day = 0;
    if (!readNumber(t, i, 4, 4, &year) || i >= n)
        return {};
    if (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('/')) {
        const QChar separator = t[i++];
        if (!readNumber(t, i, 1, 2, &month) || !expect(t, i, separator) || !readNumber(t, i, 1, 2, &day))
            return {};
    } else if (t[i] == QChar(u'年')) {
        ++i;
        if (!readNumber(t, i, 1, 2, &month) || !expect(t, i, QChar(u'月')) || !readNumber(t, i, 1, 2, &day) ||
            !expect(t, i, QChar(u'日')))
            return {};
    } else {
        return {};
    }
    // An optional time of day: h:m, h:m:s or h:m:s.fraction after blanks or a T.
    qsizetype j = i;
    while (j < n && (t[j] == QLatin1Char(' ') || t[j] == QLatin1Char('T')))
        ++j;
    if (j > i && j < n && isAsciiDigit(t[j])) {
        i = j;
        int hour = 0, minute = 0, second = 0;
        if (!readNumber(t, i, 1, 2, &hour) || !expect(t, i, QLatin1Char(':')) || !readNumber(t, i, 1, 2, &minute))
            return {};
        if (i < n && t[i] == QLatin1Char(':')) {
            ++i;
            if (!readNumber(t, i, 1, 2, &second))
                return {};
            if (i < n && t[i] == QLatin1Char('.')) {
                ++i;
                const qsizetype start = i;
                while (i < n && isAsciiDigit(t[i]))
                    ++i;
                if (i == start)
                    return {};
            }
        }
    }
    while (i < n && t[i].isSpace())
        ++i;
    return i == n ? QDate(year, month, day) : QDate();
}

Expiry expiryOf(QStringView expiresText, const QDate &today)
{
    const QDate date = textToDate(expiresText);
    if (!date.isValid())
        return {};
    const qint64 days = today.daysTo(date);
    if (days < 0)
        return {Expiry::Expired, days};
    return {days <= kExpirySoonDays ? Expiry::Soon : Expiry::Later, days};
}

QString expiryNote(const Expiry &expiry)
{
    if (expiry.state == Expiry::NoDate)
        return {};
    if (expiry.days < 0)
        return QStringLiteral("已过期 %1 天").arg(-expiry.days);
    if (expiry.days == 0)
        return QStringLiteral("今天到期");
    return QStringLiteral("还有 %1 天到期").arg(expiry.days);
}

std::optional<int> dayCountFromText(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 4)
        return std::nullopt;
    int value = 0;
    for (QChar c : t) {
        int digit;
        if (isAsciiDigit(c))
            digit = c.unicode() - '0';
        else if (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19) // full-width ０-９
            digit = c.unicode() - 0xFF10;
        else
            return std::nullopt;
        value = value * 10 + digit;
    }
    if (value > kExpiryMaxDays)
        return std::nullopt;
    return value;
}
