#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <utility>
#include <vector>

// Statements of the register, built only by the register layer. Values never become part of the
// SQL text: each is a ? bound in its place (values), so a value is stored exactly as typed and
// whatever it holds is never read as SQL, however the server treats backslashes. Column and table
// names come from the schema, never from user input. An absent (null) text is stored as the empty
// text.
struct Statement {
    QString sql;
    QVariantList values;
    bool operator==(const Statement &) const = default;
};

// "<column> = ?"
Statement equalCondition(const QString &column, const QString &value);

// "update <table> set <column> = ?, ... where rowid = ?" and with expected values
// " and coalesce(<column>, '') = ? ..." for each of them.
Statement updateByKey(const QString &table, const std::vector<std::pair<QString, QString>> &assignments, qint64 key,
                      const std::vector<std::pair<QString, QString>> &expected = {},
                      const QString &keyColumn = QStringLiteral("rowid"));

// "insert into <table> (<columns>) values (?, ...)"
Statement insertRow(const QString &table, const QStringList &columns, const QStringList &values);
// "insert into <table> (<columns>) values (?, ...), (?, ...), ..." for several rows at once.
Statement insertRows(const QString &table, const QStringList &columns, const std::vector<QStringList> &rows);

// "delete from <table> where rowid = ?"
Statement deleteByKey(const QString &table, qint64 key, const QString &keyColumn = QStringLiteral("rowid"));

// "update admin set <column> = ?" — every administrator row.
Statement adminUpdate(const QString &column, const QString &value);
