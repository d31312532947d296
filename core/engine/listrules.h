#pragma once

#include "core/datetext.h"
#include "core/listcolumns.h"
#include "core/records.h"
#include "core/registerdb.h"
#include "core/schema.h"

#include <QDate>
#include <QStringList>
#include <QVariantList>
#include <algorithm>
#include <optional>
#include <array>

// How the list's queries, orders and records map onto the server table, for every engine alike.

// A date as the number yyyymmdd, which sorts and compares faster than a text.
inline int dayNumber(const QDate &date)
{
    return date.year() * 10000 + date.month() * 100 + date.day();
}

// The stored column a record text is kept in.
inline ServerColumn storedColumnOf(QString ServerRecord::*field)
{
    for (const ListColumn &c : listColumns())
        if (c.field == field)
            return c.column;
    return ServerColumn::Id;
}

// How a query selects servers, for every engine: a condition with its values bound where SQL can
// say it, and otherwise the stored column whose text ServerQuery::matches is asked about, row by
// row. With withFunctions the engine has kavro_day(text) (yyyymmdd, NULL for no date).
struct QuerySql {
    QString where; // empty: every server
    QVariantList values;
    std::optional<ServerColumn> checkHere;
};

inline QuerySql querySql(const ServerQuery &query, bool withFunctions, const QDate &today)
{
    QuerySql q;
    if (query.field == ServerQuery::Field::All)
        return q;
    if (query.field == ServerQuery::Field::ExpiresWithin) {
        if (withFunctions) {
            // kavro_day gives NULL for a text that is no date, so such servers are never listed.
            q.where = QStringLiteral("kavro_day(%1) <= ?").arg(columnName(ServerColumn::Expires));
            q.values << dayNumber(today.addDays(query.days));
        } else {
            q.checkHere = ServerColumn::Expires;
        }
        return q;
    }
    if (query.field == ServerQuery::Field::Contains) {
        // Any of the eight texts, ASCII letters folded as ServerQuery::foldedForContains does
        // (lower() on both engines), % and _ in the text taken as themselves.
        QString pattern = query.text;
        pattern.replace(QLatin1Char('!'), QLatin1String("!!"))
            .replace(QLatin1Char('%'), QLatin1String("!%"))
            .replace(QLatin1Char('_'), QLatin1String("!_"));
        pattern = QLatin1Char('%') + pattern + QLatin1Char('%');
        QStringList any;
        for (const ListColumn &c : listColumns()) {
            any << QStringLiteral("lower(coalesce(%1, '')) LIKE ? ESCAPE '!'").arg(columnName(c.column));
            q.values << pattern;
        }
        q.where = QLatin1Char('(') + any.join(QLatin1String(" OR ")) + QLatin1Char(')');
        return q;
    }
    q.where = QStringLiteral("%1 = ?").arg(columnName(storedColumnOf(ServerQuery::comparedText(query.field))));
    q.values << (query.text.isNull() ? QString(QLatin1String("")) : query.text);
    return q;
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
