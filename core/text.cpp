#include "core/text.h"

#include <QList>
#include <QStringEncoder>

int textCompare(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseSensitive);
}

QString textJoin(std::initializer_list<QStringView> parts)
{
    qsizetype size = 0;
    for (QStringView p : parts)
        size += p.size();
    QString joined;
    joined.reserve(size);
    for (QStringView p : parts)
        joined.append(p);
    return joined;
}

namespace {
int gbkBytesOf(QStringView character)
{
    QStringEncoder gbk("GBK");
    const QByteArray bytes = gbk.encode(character);
    return gbk.hasError() ? 4 : int(bytes.size());
}
} // namespace

int gbkByteLength(QStringView text)
{
    QStringEncoder gbk("GBK");
    const QByteArray bytes = gbk.encode(text);
    if (!gbk.hasError())
        return int(bytes.size());
    // Some character has no GBK form: count character by character.
    int total = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        total += gbkBytesOf(text.mid(i, len));
        i += len;
    }
    return total;
}

QString truncateToGbkBytes(const QString &text, int maxBytes)
{
    int total = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        total += gbkBytesOf(QStringView(text).mid(i, len));
        if (total > maxBytes)
            return text.left(i);
        i += len;
    }
    return text;
}

QString shortenedForDisplay(const QString &text, qsizetype maxChars)
{
    if (text.size() <= maxChars)
        return text;
    qsizetype cut = maxChars;
    if (cut > 0 && text[cut - 1].isHighSurrogate())
        --cut;
    return text.left(cut) + QChar(0x2026);
}

QString loginBoxRefusal(const QString &text)
{
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QStringEncoder gbk("GBK");
        const QByteArray bytes = gbk.encode(QStringView(text).mid(i, len)); // converted only when taken
        Q_UNUSED(bytes);
        if (gbk.hasError() || text[i].isSurrogate() || text[i].category() == QChar::Other_Control)
            return QStringLiteral("it holds U+%1, which the login window cannot take")
                .arg(QString::number(text.mid(i, len).toUcs4().value(0), 16).toUpper(), 4, QLatin1Char('0'));
        i += len;
    }
    const int bytes = gbkByteLength(text);
    if (bytes > kLoginBoxBytes)
        return QStringLiteral("it is %1 bytes in GBK; the login window holds %2").arg(bytes).arg(kLoginBoxBytes);
    return {};
}

QString halfWidth(QStringView text, bool digitsAndLettersOnly)
{
    QString typed = text.toString();
    for (QChar &c : typed) {
        const char16_t u = c.unicode();
        const bool alnum = (u >= 0xFF10 && u <= 0xFF19) || (u >= 0xFF21 && u <= 0xFF3A) || (u >= 0xFF41 && u <= 0xFF5A);
        if (u >= 0xFF01 && u <= 0xFF5E && (alnum || !digitsAndLettersOnly))
            c = QChar(char16_t(u - 0xFF01 + 0x21));
        else if (u == 0x3000)
            c = QLatin1Char(' ');
    }
    return typed;
}

bool hasFullWidth(QStringView text)
{
    for (QChar c : text)
        if ((c.unicode() >= 0xFF01 && c.unicode() <= 0xFF5E) || c.unicode() == 0x3000)
            return true;
    return false;
}
