#include "core/datetext.h"

#include "core/text.h"

namespace {
template <typename Ch> bool isAsciiDigit(Ch c)
{
    return c >= Ch('0') && c <= Ch('9');
}

bool isBlank(char16_t c)
{
    return QChar(c).isSpace();
}

bool isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// minCount to maxCount ASCII digits at i, and no further digit after them.
template <typename Ch> bool readNumber(const Ch *t, qsizetype n, qsizetype &i, int minCount, int maxCount, int *value)
{
    int count = 0;
    int v = 0;
    while (i < n && count < maxCount && isAsciiDigit(t[i])) {
        v = v * 10 + int(t[i] - Ch('0'));
        ++i;
        ++count;
    }
    if (count < minCount || (i < n && isAsciiDigit(t[i])))
        return false;
    *value = v;
    return true;
}

template <typename Ch> bool expect(const Ch *t, qsizetype n, qsizetype &i, char16_t c)
{
    if (i >= n || char16_t(t[i]) != c)
        return false;
    ++i;
    return true;
}

// Read by hand rather than by a pattern: list sorts and the expiry summary read it per server.
// Ch is char16_t (any text, full-width forms already folded) or char (texts known to be ASCII).
template <typename Ch> DateText parseDate(const Ch *t, qsizetype n)
{
    qsizetype i = 0;
    while (i < n && isBlank(t[i]))
        ++i;
    int year = 0, month = 0, day = 0;
    qsizetype digits = 0;
    while (i + digits < n && isAsciiDigit(t[i + digits]))
        ++digits;
    if (digits == 8) {
        // yyyyMMdd, as a sheet's number column or a hurried typist gives it.
        const auto digit = [&](qsizetype k) { return int(t[i + k] - Ch('0')); };
        year = digit(0) * 1000 + digit(1) * 100 + digit(2) * 10 + digit(3);
        month = digit(4) * 10 + digit(5);
        day = digit(6) * 10 + digit(7);
        i += 8;
    } else if (!readNumber(t, n, i, 4, 4, &year) || i >= n) {
        return {};
    } else if (t[i] == Ch('-') || t[i] == Ch('/') || t[i] == Ch('.')) {
        const char16_t separator = char16_t(t[i++]);
        if (!readNumber(t, n, i, 1, 2, &month) || !expect(t, n, i, separator) || !readNumber(t, n, i, 1, 2, &day))
            return {};
    } else if (char16_t(t[i]) == u'年') {
        ++i;
        if (!readNumber(t, n, i, 1, 2, &month) || !expect(t, n, i, u'月') || !readNumber(t, n, i, 1, 2, &day) ||
            !expect(t, n, i, u'日'))
            return {};
    } else {
        return {};
    }
    // An optional time of day: h:m, h:m:s or h:m:s.fraction after blanks or a T.
    bool timeOfDay = false;
    qsizetype j = i;
    while (j < n && (t[j] == Ch(' ') || t[j] == Ch('T')))
        ++j;
    if (j > i && j < n && isAsciiDigit(t[j])) {
        i = j;
        int hour = 0, minute = 0, second = 0;
        if (!readNumber(t, n, i, 1, 2, &hour) || !expect(t, n, i, u':') || !readNumber(t, n, i, 1, 2, &minute) ||
            hour > 23 || minute > 59)
            return {};
        bool fraction = false;
        if (i < n && t[i] == Ch(':')) {
            ++i;
            if (!readNumber(t, n, i, 1, 2, &second) || second > 59)
                return {};
            if (i < n && t[i] == Ch('.')) {
                ++i;
                const qsizetype start = i;
                while (i < n && isAsciiDigit(t[i])) {
                    fraction = fraction || t[i] != Ch('0');
                    ++i;
                }
                if (i == start)
                    return {};
            }
        }
        timeOfDay = hour || minute || second || fraction;
    }
    while (i < n && isBlank(t[i]))
        ++i;
    if (i != n)
        return {};
    const QDate date(year, month, day);
    return {date, date.isValid() && timeOfDay};
}

} // namespace

QString dateToText(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

DateText readDate(QStringView t)
{
    if (hasFullWidth(t)) {
        const QString folded = halfWidth(t);
        return parseDate(QStringView(folded).utf16(), folded.size());
    }
    return parseDate(t.utf16(), t.size());
}

QDate textToDate(QStringView t)
{
    return readDate(t).date;
}

QDate utf8ToDate(const char *text, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return textToDate(QString::fromUtf8(text, size));
    return parseDate(text, size).date;
}

bool isRetired(const QDate &expires, const QDate &unracked, const QDate &today)
{
    return expires.isValid() && unracked.isValid() && unracked <= today && unracked >= expires;
}

Expiry expiryOf(QStringView expiresText, QStringView unrackedText, const QDate &today)
{
    const QDate date = textToDate(expiresText);
    if (!date.isValid())
        return {};
    const qint64 days = today.daysTo(date);
    // Only a server past its term or due today can be retired: the 下架时间 is read only then.
    if (days <= 0 && !unrackedText.isEmpty() && isRetired(date, textToDate(unrackedText), today))
        return {Expiry::Retired, days};
    if (days < 0)
        return {Expiry::Expired, days};
    return {days <= kExpirySoonDays ? Expiry::Soon : Expiry::Later, days};
}

QDate dueDate(QStringView expiresText, QStringView unrackedText, const QDate &today)
{
    const Expiry e = expiryOf(expiresText, unrackedText, today);
    if (e.state == Expiry::NoDate || e.state == Expiry::Retired)
        return {};
    return today.addDays(e.days);
}

QString expiryNote(const Expiry &expiry)
{
    if (expiry.state == Expiry::NoDate)
        return {};
    if (expiry.state == Expiry::Retired)
        return QStringLiteral("已下架");
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
        if (isAsciiDigit(c.unicode()))
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

std::optional<QString> renewedExpiry(QStringView stored, const Renewal &renewal)
{
    if (renewal.setTo.isValid())
        return dateToText(renewal.setTo);
    const QDate date = textToDate(stored);
    if (!date.isValid())
        return std::nullopt;
    return dateToText(date.addMonths(renewal.months));
}
