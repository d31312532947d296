#include "core/paths.h"

#include "core/text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>
#include <pwd.h>
#include <unistd.h>

QString databasePath(const QString &programDir)
{
    const QString sep(QDir::separator());
    return textJoin({programDir, sep, u"db", sep, u"kavrodb.mdb"});
}

QString skinPath(const QString &programDir)
{
    const QString sep(QDir::separator());
    return textJoin({programDir, sep, u"skin", sep, u"qq2008.she"});
}

QString connectionFilePath(const QString &programDir)
{
    const QString sep(QDir::separator());
    return textJoin({programDir, sep, u"db", sep, u"kavrodb.conn"});
}

QString registerLocation(const QString &programDir)
{
    const QString conn = connectionFilePath(programDir);
    if (!QFileInfo::exists(conn))
        return databasePath(programDir);
    QFile file(conn);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning("cannot read %s: %s", qPrintable(conn), qPrintable(file.errorString()));
        return {};
    }
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            return line;
    }
    qWarning("%s holds no connection URI", qPrintable(conn));
    return {};
}

QString withoutPasswords(const QString &text)
{
    static const QRegularExpression userPassword(QStringLiteral("(postgres(?:ql)?://[^/?#@:]*:)[^@/?#\\s]*@"),
                                                 QRegularExpression::CaseInsensitiveOption);
    // A quoted value (libpq's escapes inside, and whatever sticks to it up to the next blank, hidden
    // too; one never closed runs to the end), or an unquoted one.
    static const QRegularExpression setting(
        QStringLiteral("(\\bpassword\\s*=\\s*)('(?:[^'\\\\]|\\\\.)*'?[^\\s&]*|[^\\s&'\"]*)"),
        QRegularExpression::CaseInsensitiveOption);
    QString out = text;
    out.replace(userPassword, QStringLiteral("\\1***@"));
    out.replace(setting, QStringLiteral("\\1***"));
    return out;
}

QString deskAccount()
{
    if (const passwd *pw = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER", QStringLiteral("?"));
}

QString deskHost()
{
    return QSysInfo::machineHostName();
}

QString deskName()
{
    return deskAccount() + QLatin1Char('@') + deskHost();
}
