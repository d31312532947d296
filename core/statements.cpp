#include "core/statements.h"

#include "core/text.h"

namespace {
QVariant text(const QString &value)
{
    return value.isNull() ? QString(QLatin1String("")) : value;
}
} // namespace

Statement equalCondition(const QString &column, const QString &value)
{
    return {textJoin({column, u" = ?"}), {text(value)}};
}

Statement updateByKey(const QString &table, const std::vector<std::pair<QString, QString>> &assignments, qint64 key,
                      const std::vector<std::pair<QString, QString>> &expected, const QString &keyColumn)
{
    Statement s;
    QStringList sets;
    for (const auto &[column, value] : assignments) {
        sets << textJoin({column, u" = ?"});
        s.values << text(value);
    }
    QString condition = textJoin({keyColumn, u" = ?"});
    s.values << key;
    // An absent value reads as the empty text, so it is compared as one.
    for (const auto &[column, value] : expected) {
        condition += textJoin({u" and coalesce(", column, u", '') = ?"});
        s.values << text(value);
    }
    s.sql = textJoin({u"update ", table, u" set ", sets.join(QLatin1String(", ")), u" where ", condition});
    return s;
}

Statement insertRow(const QString &table, const QStringList &columns, const QStringList &values)
{
    Statement s;
    QStringList marks;
    for (const QString &value : values) {
        marks << QStringLiteral("?");
        s.values << text(value);
    }
    s.sql = textJoin({u"insert into ", table, u" (", columns.join(QLatin1String(", ")), u") values (",
                      marks.join(QLatin1String(", ")), u")"});
    return s;
}

Statement insertRows(const QString &table, const QStringList &columns, const std::vector<QStringList> &rows)
{
    Statement s;
    QStringList tuples;
    tuples.reserve(qsizetype(rows.size()));
    for (const QStringList &row : rows) {
        QStringList marks;
        for (const QString &value : row) {
            marks << QStringLiteral("?");
            s.values << text(value);
        }
        tuples << textJoin({u"(", marks.join(QLatin1String(", ")), u")"});
    }
    s.sql = textJoin({u"insert into ", table, u" (", columns.join(QLatin1String(", ")), u") values ",
                      tuples.join(QLatin1String(", "))});
    return s;
}

Statement deleteByKey(const QString &table, qint64 key, const QString &keyColumn)
{
    return {textJoin({u"delete from ", table, u" where ", keyColumn, u" = ?"}), {key}};
}

Statement adminUpdate(const QString &column, const QString &value)
{
    return {textJoin({u"update admin set ", column, u" = ?"}), {text(value)}};
}
