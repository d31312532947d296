#pragma once

#include <QDate>
#include <QString>
#include <optional>

// The stored form of the three server dates: the calendar date as yyyy-MM-dd.
QString dateToText(const QDate &date);

// The date rule, the one every reader of a date text follows (the list, the expiry, the date boxes,
// the import, the checks): yyyy-M-d, yyyy/M/d, yyyy.M.d, yyyyMMdd or yyyy年M月d日, in half- or
// full-width characters, possibly followed by a time of day (h:m, h:m:s, h:m:s.fraction, after
// blanks or a T), blanks around. date is invalid when the text is none of these or names no day;
// timeOfDay says a time other than 00:00 followed it.
struct DateText {
    QDate date;
    bool timeOfDay = false;
};
DateText readDate(QStringView text);
// The date alone, whatever time follows it.
QDate textToDate(QStringView text);
// The same for a UTF-8 text, without decoding it when it is plain ASCII.
QDate utf8ToDate(const char *text, qsizetype size);

// Where a server stands against its 到期时间 on a given day. A retired server was taken off the
// rack once its term ended: its 下架时间 is a date on or before that day and on or after its
// 到期时间. (下架时间 alone says nothing: registers have long carried the day of adding in it.)
struct Expiry {
    enum State { NoDate, Expired, Soon, Later, Retired };
    State state = NoDate;
    qint64 days = 0; // 到期时间 minus today, in days
};

// Today up to today + 30 days counts as soon.
inline constexpr int kExpirySoonDays = 30;
// The largest number of days the expiring-servers search takes.
inline constexpr int kExpiryMaxDays = 3650;

bool isRetired(const QDate &expires, const QDate &unracked, const QDate &today);
Expiry expiryOf(QStringView expiresText, QStringView unrackedText, const QDate &today);
// The day a server is due, by which lists select and sort it: its 到期时间, or none when that is no
// date or the server is retired.
QDate dueDate(QStringView expiresText, QStringView unrackedText, const QDate &today);
// "已过期 N 天", "今天到期", "还有 N 天到期" or "已下架"; empty when there is no date.
QString expiryNote(const Expiry &expiry);

// A whole number of days from 0 to 3650, in half- or full-width digits, blanks around ignored.
std::optional<int> dayCountFromText(const QString &text);

// How a renewal moves a 到期时间: by a number of months (a year is 12), or to one date.
struct Renewal {
    int months = 0;
    QDate setTo; // when valid, every server's 到期时间 becomes this date
};
// The 到期时间 a renewal gives a stored one; none when the stored text is no date (it is left
// alone), unless the renewal sets one date. A month's last days stay within the month (01-31 plus
// one month is 02-28 or 02-29).
std::optional<QString> renewedExpiry(QStringView stored, const Renewal &renewal);
