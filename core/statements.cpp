#include "core/statements.h"

#include "core/text.h"

QString equalCondition(const QString &column, const QString &value)
{
    return textJoin({column, u"=", sqlLiteral(value)});
}

QString rowIdCondition(qint64 rowId, const QString &keyColumn)
{
    return textJoin({keyColumn, u"=", QString::number(rowId)});
}

QString updateByKey(const QString &table, const std::vector<std::pair<QString, QString>> &assignments, qint64 key,
                    const std::vector<std::pair<QString, QString>> &expected, const QString &keyColumn)
{
    QStringList sets;
    for (const auto &[column, value] : assignments)
        sets << textJoin({column, u" =", sqlLiteral(value)});
    QString condition = rowIdCondition(key, keyColumn);
    // An absent value reads as the empty text, so it is compared as one.
    for (const auto &[column, value] : expected)
        condition += textJoin({u" and coalesce(", column, u", '')=", sqlLiteral(value)});
    return textJoin({u"update ", table, u" set ", sets.join(QLatin1String(", ")), u" where ", condition});
}

QString insertRow(const QString &table, const QStringList &columns, const QStringList &values)
{
    QStringList literals;
    for (const QString &value : values)
        literals << sqlLiteral(value);
    return textJoin({u"insert into ", table, u" (", columns.join(QLatin1String(", ")), u") values (",
                     literals.join(QLatin1String(", ")), u")"});
}

QString deleteByKey(const QString &table, qint64 key, const QString &keyColumn)
{
    return textJoin({u"delete from ", table, u" where ", rowIdCondition(key, keyColumn)});
}

QString adminUpdate(const QString &column, const QString &value)
{
    return textJoin({u"update admin set ", column, u" =", sqlLiteral(value), u" "});
}
