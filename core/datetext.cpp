#include "core/datetext.h"

#include <QRegularExpression>

QString dateToText(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QDate textToDate(const QString &text)
{
    // Year, month and day joined by - or /, or written with 年 月 日; then optionally a time of day.
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\d{4})(?:([-/])(\\d{1,2})\\2(\\d{1,2})|年(\\d{1,2})月(\\d{1,2})日)"
                       "(?:[ T]+\\d{1,2}:\\d{1,2}(?::\\d{1,2}(?:\\.\\d+)?)?)?\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return {};
    const int year = m.captured(1).toInt();
    const bool dashed = m.capturedLength(2) > 0;
    const int month = (dashed ? m.captured(3) : m.captured(5)).toInt();
    const int day = (dashed ? m.captured(4) : m.captured(6)).toInt();
    return QDate(year, month, day);
}
