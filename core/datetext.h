#pragma once

#include <QDate>
#include <QString>

// The stored form of the three server dates: the calendar date as yyyy-MM-dd.
QString dateToText(const QDate &date);

// Reads yyyy-MM-dd, yyyy/M/d and yyyy年M月d日, each possibly followed by a time of day.
// An invalid QDate when the text holds none of these.
QDate textToDate(const QString &text);
