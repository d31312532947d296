#include "core/textrow.h"

#include <cstring>
#include <vector>

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
    std::vector<QByteArray> utf8;
    utf8.reserve(size_t(texts.size()));
    std::vector<QByteArrayView> views;
    views.reserve(size_t(texts.size()));
    for (const QString &t : texts) {
        utf8.push_back(t.toUtf8());
        views.emplace_back(utf8.back());
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
