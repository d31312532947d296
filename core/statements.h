#pragma once

#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

// Row conditions and statements of the register, built only by the register layer. Every value
// goes in as an SQL literal with its quotes doubled (sqlLiteral), so a value is stored exactly as
// typed and never ends the literal. Column names come from the schema, never from user input.

// "<column>='<value>'"
QString equalCondition(const QString &column, const QString &value);

// A record of any table by its record key: keyColumn is rowid in a file (F_ID in table data), the
// key column of the table on a database server (rowKeyColumn).
QString rowIdCondition(qint64 rowId, const QString &keyColumn = QStringLiteral("rowid"));

// "update <table> set <column> ='<value>', ... where rowid=<key>", and with expected values
// " and coalesce(<column>, '')='<value>' ..." for each of them.
QString updateByKey(const QString &table, const std::vector<std::pair<QString, QString>> &assignments, qint64 key,
                    const std::vector<std::pair<QString, QString>> &expected = {},
                    const QString &keyColumn = QStringLiteral("rowid"));

// "insert into <table> (<columns>) values ('<value>', ...)"
QString insertRow(const QString &table, const QStringList &columns, const QStringList &values);

// "delete from <table> where rowid=<key>"
QString deleteByKey(const QString &table, qint64 key, const QString &keyColumn = QStringLiteral("rowid"));

// "update admin set <column> ='<value>' " — every administrator row.
QString adminUpdate(const QString &column, const QString &value);
