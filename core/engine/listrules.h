#pragma once

#include "core/datetext.h"
#include "core/engine/schemaddl.h"
#include "core/listcolumns.h"
#include "core/records.h"
#include "core/schema.h"

#include <QDate>
#include <QStringList>
#include <QVariantList>
#include <algorithm>
#include <array>
#include <optional>
#include <vector>

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

// The index that finds a text inside any of a server's texts: on a file an FTS5 table of
// trigrams kept in step with the server table by triggers, on a server a pg_trgm GIN index over
// the texts joined. Made only by kavro-db (init, upgrade, import, copy); a register without it is
// searched by scanning.
inline QString textIndexName()
{
    return serverTable().name + QLatin1String("_text");
}

// The fewest characters the text index can look up; shorter texts are found by scanning.
constexpr int kTextIndexMinChars = 3;

// ASCII letters in lower case, nothing else changed: how 包含文字 compares (see
// ServerQuery::foldedForContains). SQLite's lower() does just that; PostgreSQL's would fold every
// letter its locale knows, so there it is spelt out.
inline QString foldedSql(const QString &expression, Engine engine)
{
    if (engine == Engine::Sqlite)
        return QStringLiteral("lower(%1)").arg(expression);
    return QStringLiteral("translate(%1, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz')").arg(expression);
}

// pg_trgm makes trigrams of words only, letters and digits, so "10.1.25." or "SV-0012" would be
// looked up by trigrams of "10", "1" and "25" that nearly every server has. In the indexed
// expression these marks are therefore rare letters, which keeps such texts one word; the exact
// comparison decides on the texts as stored.
inline const QString kMarksIndexed = QStringLiteral(".-:/_");
inline const QString kMarksAsLetters = QStringLiteral("\u0180\u0188\u018C\u0192\u0199");

// The expression the server's GIN index is built on: the eight texts joined, ASCII letters folded,
// marks as letters. A query uses it word for word, or PostgreSQL will not use the index.
inline QString joinedTextsSql()
{
    QStringList parts;
    for (const ListColumn &c : listColumns())
        parts << QStringLiteral("coalesce(%1, '')").arg(columnName(c.column));
    return QStringLiteral("translate(%1, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ%2', 'abcdefghijklmnopqrstuvwxyz%3')")
        .arg(parts.join(QLatin1String(" || ' ' || ")), kMarksIndexed, kMarksAsLetters);
}

// A (folded) text as joinedTextsSql has it.
inline QString marksAsLetters(QString text)
{
    for (qsizetype i = 0; i < kMarksIndexed.size(); ++i)
        text.replace(kMarksIndexed[i], kMarksAsLetters[i]);
    return text;
}

// An FTS5 query that holds every row containing text (and maybe a few more, which the exact
// comparison then drops): each of its trigrams, all of them required.
inline QString trigramMatch(const QString &text)
{
    const QList<uint> chars = text.toUcs4();
    QStringList terms;
    for (qsizetype i = 0; i + kTextIndexMinChars <= chars.size(); ++i) {
        QString term = QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData() + i), kTextIndexMinChars);
        term.replace(QLatin1Char('"'), QLatin1String("\"\""));
        term = QLatin1Char('"') + term + QLatin1Char('"');
        if (!terms.contains(term))
            terms << term;
    }
    return terms.join(QLatin1String(" AND "));
}

// The day a server is due as the number yyyymmdd (NULL when none: see dueDate), through our SQL
// function; today is bound as its first value.
inline QString dueSql(const QDate &)
{
    return QStringLiteral("kavro_due(%1, %2, ?)")
        .arg(columnName(ServerColumn::Expires), columnName(ServerColumn::Unracked));
}

// How a query selects servers, for every engine: a condition with its values bound where SQL can
// say it, and otherwise the stored column whose text ServerQuery::matches is asked about, row by
// row (the condition then only narrows the rows read).
struct QuerySql {
    QString where; // empty: every server
    QVariantList values;
    std::vector<ServerColumn> checkHere; // none: SQL said it all
};

inline QuerySql querySql(const ServerQuery &query, const SqlForm &form, const QDate &today)
{
    QuerySql q;
    if (query.field == ServerQuery::Field::All)
        return q;
    if (query.field == ServerQuery::Field::ExpiresWithin) {
        if (form.functions && query.withRetired) {
            // kavro_day gives NULL for a text that is no date, so such servers are never listed.
            q.where = QStringLiteral("kavro_day(%1) <= ?").arg(columnName(ServerColumn::Expires));
            q.values << dayNumber(today.addDays(query.days));
        } else if (form.functions) {
            // kavro_due: NULL for no date and for a retired server (dueDate).
            q.where = dueSql(today) + QLatin1String(" <= ?");
            q.values << dayNumber(today) << dayNumber(today.addDays(query.days));
        } else {
            q.checkHere = {ServerColumn::Expires, ServerColumn::Unracked};
        }
        return q;
    }
    if (query.field == ServerQuery::Field::Contains) {
        // Any of the eight texts, ASCII letters folded, % and _ in the text taken as themselves.
        auto likePattern = [](QString text) {
            text.replace(QLatin1Char('!'), QLatin1String("!!"))
                .replace(QLatin1Char('%'), QLatin1String("!%"))
                .replace(QLatin1Char('_'), QLatin1String("!_"));
            return QLatin1Char('%') + text + QLatin1Char('%');
        };
        const QString pattern = likePattern(query.text);
        // A NUL in the text: a database server holds no text with one, and neither the text
        // index nor LIKE reads past one; a file's texts are compared byte for byte (kavro_contains)
        // or here.
        if (query.text.contains(QChar(0))) {
            if (form.engine != Engine::Sqlite) {
                q.where = QStringLiteral("1 = 0");
                return q;
            }
            if (!form.functions) {
                for (const ListColumn &c : listColumns())
                    q.checkHere.push_back(c.column);
                return q;
            }
        }
        // The index finds the few rows that can hold the text; the comparison below decides.
        if (form.textIndex && query.text.toUcs4().size() >= kTextIndexMinChars && !query.text.contains(QChar(0))) {
            if (form.engine == Engine::Sqlite) {
                q.where = QStringLiteral("rowid IN (SELECT rowid FROM %1 WHERE %1 MATCH ?) AND ").arg(textIndexName());
                q.values << trigramMatch(query.text);
            } else {
                q.where = joinedTextsSql() + QLatin1String(" LIKE ? ESCAPE '!' AND ");
                q.values << likePattern(marksAsLetters(query.text));
            }
        }
        if (form.functions) {
            // One call a row that looks at the eight texts' bytes, instead of eight LIKEs.
            QStringList columns;
            for (const ListColumn &c : listColumns())
                columns << columnName(c.column);
            q.where += QStringLiteral("kavro_contains(?, %1)").arg(columns.join(QLatin1String(", ")));
            q.values << query.text;
            return q;
        }
        QStringList any;
        for (const ListColumn &c : listColumns()) {
            any << foldedSql(QStringLiteral("coalesce(%1, '')").arg(columnName(c.column)), form.engine) +
                       QLatin1String(" LIKE ? ESCAPE '!'");
            q.values << pattern;
        }
        q.where += QLatin1Char('(') + any.join(QLatin1String(" OR ")) + QLatin1Char(')');
        return q;
    }
    if (query.field == ServerQuery::Field::IpRange) {
        const QString ip = columnName(ServerColumn::Ip);
        // Every address of the block begins with the parts its first and last address share, so
        // in a file (texts in byte order) the IP index reads only the texts that begin so, and
        // those that begin with a blank.
        QStringList shared;
        for (int shift = 24; shift >= 0 && (query.low >> shift) == (query.high >> shift); shift -= 8)
            shared << QString::number((query.low >> shift) & 0xFF);
        if (form.engine == Engine::Sqlite && !shared.isEmpty()) {
            QString prefix = shared.join(QLatin1Char('.'));
            if (shared.size() < 4)
                prefix += QLatin1Char('.');
            QString past = prefix;
            past.back() = QChar(past.back().unicode() + 1);
            // Two ranges of the index, read as such (an OR of the two would scan the table).
            q.where = QStringLiteral("rowid IN (SELECT rowid FROM %2 WHERE %1 >= ? AND %1 < ? UNION ALL "
                                     "SELECT rowid FROM %2 WHERE %1 < '0')")
                          .arg(ip, serverTable().name);
            q.values << prefix << past;
        }
        if (form.functions) {
            if (!q.where.isEmpty())
                q.where += QLatin1String(" AND ");
            q.where += QStringLiteral("kavro_ipv4(%1) BETWEEN ? AND ?").arg(ip);
            q.values << qint64(query.low) << qint64(query.high);
        } else {
            q.checkHere = {ServerColumn::Ip};
        }
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

// Counts servers whose 到期时间 and 下架时间 read as these texts into a summary for today.
inline void countExpiry(ExpirySummary *summary, QStringView expires, QStringView unracked, qint64 servers,
                        const QDate &today)
{
    const Expiry e = expiryOf(expires, unracked, today);
    summary->servers += servers;
    if (e.state == Expiry::Expired)
        summary->expired += servers;
    else if (e.state == Expiry::Soon)
        summary->soon += servers;
}
