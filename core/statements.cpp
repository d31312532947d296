#include "core/statements.h"

#include "core/text.h"

namespace {
QString equals(QStringView column, const QString &value)
{
    return textJoin({column, u"=", sqlLiteral(value)});
}
} // namespace

QString searchCondition(int fieldIndex, const QString &text)
{
    static const QStringView columns[] = {u"F_BH", u"F_IP", u"F_KH", u"F_JG"};
    if (fieldIndex < 0 || fieldIndex > 3)
        return {};
    return equals(columns[fieldIndex], text);
}

QString customerCondition(const QString &customerName)
{
    return equals(u"F_KH", customerName);
}

QString serverKeyCondition(qint64 key)
{
    return textJoin({u"F_ID=", QString::number(key)});
}

QString rowIdCondition(qint64 rowId)
{
    return textJoin({u"rowid=", QString::number(rowId)});
}

QString serverUpdate(const QString &column, const QString &value, const QString &ip)
{
    return textJoin({u"update data set ", column, u" =", sqlLiteral(value), u" where ", equals(u"F_IP", ip)});
}

QString customerUpdate(const QString &column, const QString &value, const QString &key)
{
    return textJoin({u"update kehu set ", column, u" =", sqlLiteral(value), u" where ", equals(u"K_DD", key)});
}

QString adminUpdate(const QString &column, const QString &value)
{
    return textJoin({u"update admin set ", column, u" =", sqlLiteral(value), u" "});
}

QString adminInsert(const QString &account, const QString &password)
{
    return textJoin(
        {u"insert into admin (U_ZH, U_MM) values (", sqlLiteral(account), u", ", sqlLiteral(password), u")"});
}
