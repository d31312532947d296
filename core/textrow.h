#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// The texts of one stored row, kept as UTF-8 in a single shared block. Lists of many thousand
// servers hold one small allocation per row instead of one per cell; a text is decoded only when
// it is shown or read.
class TextRow {
public:
    TextRow() = default;
    static TextRow fromUtf8(const QByteArrayView *columns, int count);
    static TextRow fromTexts(const QStringList &texts);

    int size() const;
    QString text(int column) const; // empty for a column outside the row
    QByteArrayView utf8(int column) const;

private:
    QByteArray m_block; // count + 1 offsets, then the texts one after the other
};
