#include "core/textrow.h"

#include <QStringEncoder>
#include <QVarLengthArray>
#include <cstring>

TextRow TextRow::fromUtf8(const QByteArrayView *columns, int count)
{
    const qsizetype head = qsizetype(count + 1) * qsizetype(sizeof(quint32));
    qsizetype total = head;
    for (int i = 0; i < count; ++i)
        total += columns[i].size();
    TextRow row;
    row.m_block = QByteArray(total, Qt::Uninitialized);
    char *block = row.m_block.data();
    quint32 offset = quint32(head);
    for (int i = 0; i < count; ++i) {
        std::memcpy(block + i * sizeof(quint32), &offset, sizeof(quint32));
        if (!columns[i].isEmpty())
            std::memcpy(block + offset, columns[i].data(), size_t(columns[i].size()));
        offset += quint32(columns[i].size());
    }
    std::memcpy(block + count * sizeof(quint32), &offset, sizeof(quint32));
    return row;
}

TextRow TextRow::fromTexts(const QStringList &texts)
{
    // Encoded straight into one scratch buffer: no allocation per text.
    QStringEncoder utf8(QStringConverter::Utf8);
    qsizetype room = 0;
    for (const QString &t : texts)
        room += utf8.requiredSpace(t.size());
    QVarLengthArray<char, 1024> scratch(room);
    QVarLengthArray<QByteArrayView, 16> views;
    char *at = scratch.data();
    for (const QString &t : texts) {
        char *end = utf8.appendToBuffer(at, t);
        views.append(QByteArrayView(at, end - at));
        at = end;
    }
    return fromUtf8(views.data(), int(views.size()));
}

int TextRow::size() const
{
    if (m_block.isEmpty())
        return 0;
    quint32 head;
    std::memcpy(&head, m_block.constData(), sizeof(quint32));
    return int(head / sizeof(quint32)) - 1;
}

QByteArrayView TextRow::utf8(int column) const
{
    if (column < 0 || column >= size())
        return {};
    quint32 from, to;
    std::memcpy(&from, m_block.constData() + column * sizeof(quint32), sizeof(quint32));
    std::memcpy(&to, m_block.constData() + (column + 1) * sizeof(quint32), sizeof(quint32));
    return QByteArrayView(m_block.constData() + from, qsizetype(to - from));
}

QString TextRow::text(int column) const
{
    return QString::fromUtf8(utf8(column));
}
