#pragma once

#include "core/datetext.h"
#include "core/listcolumns.h"
#include "core/records.h"
#include "core/registerdb.h"
#include "core/schema.h"

#include <QDate>
#include <QStringList>
#include <algorithm>
#include <array>

// How the list's queries, orders and records map onto the server table, for every engine alike.

// The column an exact search of this field compares; empty for the kinds that are no equality.
inline QString columnFor(ServerQuery::Field field)
{
    switch (field) {
    case ServerQuery::Field::Number:
        return columnName(ServerColumn::Number);
    case ServerQuery::Field::Ip:
        return columnName(ServerColumn::Ip);
    case ServerQuery::Field::Customer:
        return columnName(ServerColumn::Customer);
    case ServerQuery::Field::Cabinet:
        return columnName(ServerColumn::Cabinet);
    case ServerQuery::Field::All:
    case ServerQuery::Field::ExpiresWithin:
        break;
    }
    return {};
}

// The columns a server record is read from, in ServerRecord's order.
inline const ServerColumn kRecordColumns[] = {ServerColumn::Customer, ServerColumn::Number, ServerColumn::Ip,
                                              ServerColumn::Cabinet,  ServerColumn::Racked, ServerColumn::Expires,
                                              ServerColumn::Unracked, ServerColumn::Remark};

inline QStringList recordColumnNames()
{
    QStringList columns;
    for (ServerColumn c : kRecordColumns)
        columns << columnName(c);
    return columns;
}

// Points a record's eight texts, in kRecordColumns' order.
inline std::array<QString *, 8> recordFields(ServerRecord &r)
{
    return {&r.customer, &r.number, &r.ip, &r.cabinet, &r.racked, &r.expires, &r.unracked, &r.remark};
}

// The field a list column shows (0 编号 ... 7 备注).
inline ServerColumn listColumnField(int listColumn)
{
    return listColumns()[size_t(std::clamp(listColumn, 0, kListColumnCount - 1))].column;
}

// A date as the number yyyymmdd, which sorts and compares faster than a text.
inline int dayNumber(const QDate &date)
{
    return date.year() * 10000 + date.month() * 100 + date.day();
}

// Counts servers whose 到期时间 reads as text into a summary for today.
inline void countExpiry(ExpirySummary *summary, QStringView text, qint64 servers, const QDate &today)
{
    const Expiry e = expiryOf(text, today);
    summary->servers += servers;
    if (e.state == Expiry::Expired)
        summary->expired += servers;
    else if (e.state == Expiry::Soon)
        summary->soon += servers;
}
