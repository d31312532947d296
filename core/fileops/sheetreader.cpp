#include "core/fileops/sheetreader.h"

#include "core/listcolumns.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

namespace {
// The text a header cell is compared by: no blanks, full-width forms as half-width, Latin letters
// in lower case.
QString headerKey(const QString &cell)
{
    QString key;
    for (QChar c : cell) {
        char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            u = char16_t(u - 0xFF01 + 0x21);
        if (u == 0x3000 || QChar(u).isSpace())
            continue;
        key += QChar(u).toLower();
    }
    return key;
}

// Which separator the file uses: the one of comma, semicolon and tab found most often outside
// quotes in its first lines.
QChar separatorOf(const QString &text)
{
    int counts[3] = {0, 0, 0};
    const QChar seps[3] = {QLatin1Char(','), QLatin1Char(';'), QLatin1Char('\t')};
    bool quoted = false;
    int lines = 0;
    for (qsizetype i = 0; i < text.size() && lines < 20; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('\n'))
            ++lines;
        else if (!quoted)
            for (int s = 0; s < 3; ++s)
                if (c == seps[s])
                    ++counts[s];
    }
    int best = 0;
    for (int s = 1; s < 3; ++s)
        if (counts[s] > counts[best])
            best = s;
    return seps[best];
}
} // namespace

std::optional<SheetTable> readCsv(const QByteArray &bytes, const QString &name, QString *error)
{
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.mid(3));
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8.decode(bytes);
        if (utf8.hasError()) {
            // Not UTF-8: a Chinese spreadsheet program's CSV, in GBK (GB18030 holds it all).
            QStringDecoder gb("GB18030");
            if (!gb.isValid()) {
                *error = QStringLiteral("this system cannot read GB18030 text");
                return std::nullopt;
            }
            text = gb.decode(bytes);
            if (gb.hasError()) {
                *error = QStringLiteral("the file is neither UTF-8 nor GB18030 text");
                return std::nullopt;
            }
        }
    }
    const QChar sep = separatorOf(text);
    SheetTable table;
    table.name = name;
    QStringList row;
    QString field;
    bool quoted = false, fieldStarted = false, wasQuoted = false;
    auto endField = [&] {
        row << field;
        field.clear();
        fieldStarted = wasQuoted = false;
    };
    auto endRow = [&] {
        endField();
        if (!(row.size() == 1 && row[0].isEmpty()))
            table.rows << row;
        row.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    field += QLatin1Char('"');
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"') && !fieldStarted) {
            quoted = wasQuoted = fieldStarted = true;
        } else if (c == sep) {
            endField();
        } else if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) {
            continue; // the \n ends the row
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            endRow();
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    if (quoted) {
        *error = QStringLiteral("a quoted field is not closed before the end of the file");
        return std::nullopt;
    }
    if (fieldStarted || !row.isEmpty())
        endRow();
    return table;
}

std::optional<SheetTable> readCsvFile(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, f.errorString());
        return std::nullopt;
    }
    return readCsv(f.readAll(), QFileInfo(path).completeBaseName(), error);
}

std::optional<int> fieldNamedBy(const QString &headerCell)
{
    // The list's own titles first, then what operators call them.
    static const QList<QStringList> names = {
        {QStringLiteral("编号"), QStringLiteral("服务器编号"), QStringLiteral("设备编号"), QStringLiteral("资产编号")},
        {QStringLiteral("服务器ip"), QStringLiteral("ip"), QStringLiteral("ip地址"), QStringLiteral("服务器ip地址"),
         QStringLiteral("ipv4")},
        {QStringLiteral("所在机柜"), QStringLiteral("机柜"), QStringLiteral("机柜号"), QStringLiteral("机柜位置")},
        {QStringLiteral("上架时间"), QStringLiteral("上架日期"), QStringLiteral("开通日期"), QStringLiteral("开通时间")},
        {QStringLiteral("到期时间"), QStringLiteral("到期日期"), QStringLiteral("到期日"), QStringLiteral("到期")},
        {QStringLiteral("下架时间"), QStringLiteral("下架日期")},
        {QStringLiteral("客户"), QStringLiteral("客户名称"), QStringLiteral("所属客户"), QStringLiteral("客户名")},
        {QStringLiteral("备注"), QStringLiteral("说明"), QStringLiteral("备注说明")},
    };
    const QString key = headerKey(headerCell);
    if (key.isEmpty())
        return std::nullopt;
    for (int field = 0; field < int(names.size()); ++field)
        if (names[field].contains(key))
            return field;
    return std::nullopt;
}

bool SheetHeader::has(int field) const
{
    return std::find(fields.begin(), fields.end(), field) != fields.end();
}

std::optional<SheetHeader> findHeader(const SheetTable &table)
{
    for (int r = 0; r < std::min<int>(10, int(table.rows.size())); ++r) {
        SheetHeader header{r, {}};
        int named = 0;
        for (const QString &cell : table.rows[r]) {
            std::optional<int> field = fieldNamedBy(cell);
            // A field named twice is taken from its first column.
            if (field && header.has(*field))
                field.reset();
            header.fields.push_back(field.value_or(-1));
            named += field ? 1 : 0;
        }
        if (named >= 2)
            return header;
    }
    return std::nullopt;
}

QString dateCellText(const QString &cell)
{
    const QString text = cell.trimmed();
    static const QRegularExpression date(
        QStringLiteral("^(\\d{4})(?:([-/.])(\\d{1,2})\\2(\\d{1,2})|年(\\d{1,2})月(\\d{1,2})日)$"));
    const QRegularExpressionMatch m = date.match(text);
    if (!m.hasMatch())
        return text;
    const int year = m.captured(1).toInt();
    const int month = (m.captured(3).isEmpty() ? m.captured(5) : m.captured(3)).toInt();
    const int day = (m.captured(4).isEmpty() ? m.captured(6) : m.captured(4)).toInt();
    const QDate d(year, month, day);
    return d.isValid() ? d.toString(QStringLiteral("yyyy-MM-dd")) : text;
}

std::vector<SheetServer> sheetServers(const SheetTable &table, const SheetHeader &header)
{
    std::vector<SheetServer> out;
    for (int r = header.row + 1; r < int(table.rows.size()); ++r) {
        const QStringList &cells = table.rows[r];
        SheetServer s{r + 1, {}};
        bool any = false;
        for (int c = 0; c < int(header.fields.size()) && c < int(cells.size()); ++c) {
            const int field = header.fields[size_t(c)];
            if (field < 0)
                continue;
            const ListColumn &column = listColumns()[size_t(field)];
            const QString text = column.date ? dateCellText(cells[c]) : cells[c].trimmed();
            s.server.*column.field = text;
            any = any || !text.isEmpty();
        }
        if (any)
            out.push_back(std::move(s));
    }
    return out;
}
