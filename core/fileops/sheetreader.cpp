#include "core/fileops/sheetreader.h"

#include "core/datetext.h"
#include "core/fileops/exporter.h"
#include "core/listcolumns.h"
#include "core/text.h"

#include <QDate>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTime>
#include <QXmlStreamReader>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

namespace {
// The text a header cell is compared by: no blanks, full-width forms as half-width, Latin letters
// in lower case.
QString headerKey(const QString &cell)
{
    QString key;
    for (QChar c : halfWidth(cell))
        if (!c.isSpace())
            key += c.toLower();
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

SheetRow::SheetRow(const QStringList &cells)
{
    for (int c = 0; c < int(cells.size()); ++c)
        if (!cells[c].isEmpty())
            m_cells.emplace_back(c, cells[c]);
    m_width = cells.size();
}

QString SheetRow::value(qsizetype column) const
{
    const auto at = std::lower_bound(m_cells.begin(), m_cells.end(), column,
                                     [](const std::pair<int, QString> &cell, qsizetype c) { return cell.first < c; });
    return at != m_cells.end() && at->first == column ? at->second : QString();
}

QStringList SheetRow::toStringList() const
{
    QStringList out(m_width);
    for (const auto &[c, text] : m_cells)
        out[c] = text;
    return out;
}

void SheetRow::set(int column, const QString &text)
{
    m_width = std::max<qsizetype>(m_width, column + 1);
    if (m_cells.empty() || m_cells.back().first < column) {
        if (!text.isEmpty())
            m_cells.emplace_back(column, text);
        return;
    }
    const auto at = std::lower_bound(m_cells.begin(), m_cells.end(), column,
                                     [](const std::pair<int, QString> &cell, int c) { return cell.first < c; });
    if (at != m_cells.end() && at->first == column) {
        if (text.isEmpty())
            m_cells.erase(at);
        else
            at->second = text;
    } else if (!text.isEmpty()) {
        m_cells.insert(at, {column, text});
    }
}

SheetTable::SheetTable(const QString &name, const QList<QStringList> &rows) : name(name)
{
    for (const QStringList &row : rows)
        this->rows << SheetRow(row);
}

std::optional<SheetTable> readCsv(const QByteArray &bytes, const QString &name, QString *error)
{
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        // The mark is taken off here; a second one after it is the first cell's own character.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        text = utf8.decode(QByteArrayView(bytes).sliced(3));
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
        // A cell our own export guarded against being run as a formula ('=…, '+…, '-…, '@…) comes
        // back as it was stored.
        if (field.startsWith(QLatin1Char('\'')) && csvGuarded(QStringView(field).mid(1)))
            field.remove(0, 1);
        row << field;
        field.clear();
        fieldStarted = wasQuoted = false;
    };
    auto endRow = [&] {
        endField();
        if (!(row.size() == 1 && row[0].isEmpty()))
            table.rows << SheetRow(row);
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

std::optional<std::vector<SheetTable>> readSheetFile(const QString &path, QString *error, SheetFileFault *fault)
{
    SheetFileFault ignored;
    SheetFileFault &why = fault ? *fault : ignored;
    why = SheetFileFault::None;
    std::optional<std::vector<SheetTable>> sheets;
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        if (std::optional<SheetTable> table = readCsvFile(path, error)) {
            sheets.emplace();
            sheets->push_back(std::move(*table));
        }
    } else if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive)) {
        sheets = readXlsxFile(path, error);
        if (sheets && sheets->empty()) {
            *error = QStringLiteral("%1 holds no sheet").arg(path);
            why = SheetFileFault::NoSheets;
            return std::nullopt;
        }
    } else {
        *error = QStringLiteral("%1: the file name must end in .xlsx or .csv").arg(path);
        why = SheetFileFault::NotASheetName;
        return std::nullopt;
    }
    if (!sheets)
        why = SheetFileFault::Unreadable;
    return sheets;
}

std::optional<int> fieldNamedBy(const QString &headerCell)
{
    // The list's own titles first, then what operators call them.
    static const QList<QStringList> names = {
        {QStringLiteral("编号"), QStringLiteral("服务器编号"), QStringLiteral("设备编号"), QStringLiteral("资产编号")},
        {QStringLiteral("服务器ip"), QStringLiteral("ip"), QStringLiteral("ip地址"), QStringLiteral("服务器ip地址"),
         QStringLiteral("ipv4")},
        {QStringLiteral("所在机柜"), QStringLiteral("机柜"), QStringLiteral("机柜号"), QStringLiteral("机柜位置")},
        {QStringLiteral("上架时间"), QStringLiteral("上架日期"), QStringLiteral("上架"), QStringLiteral("开通日期"),
         QStringLiteral("开通时间"), QStringLiteral("开通")},
        {QStringLiteral("到期时间"), QStringLiteral("到期日期"), QStringLiteral("到期日"), QStringLiteral("到期")},
        {QStringLiteral("下架时间"), QStringLiteral("下架日期"), QStringLiteral("下架")},
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
        const SheetRow &row = table.rows[r];
        for (qsizetype c = 0; c < row.size(); ++c) {
            std::optional<int> field = fieldNamedBy(row.value(c));
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

int serverSheet(const std::vector<SheetTable> &sheets, const QString &name)
{
    for (size_t i = 0; i < sheets.size(); ++i) {
        if (!name.isEmpty() && sheets[i].name != name)
            continue;
        const std::optional<SheetHeader> header = findHeader(sheets[i]);
        if (header && header->has(1))
            return int(i);
    }
    return -1;
}

QString dateCellText(const QString &cell)
{
    const DateText date = readDate(cell);
    return date.date.isValid() && !date.timeOfDay ? dateToText(date.date) : cell.trimmed();
}

QString columnLetters(int column)
{
    QString name;
    for (int n = column + 1; n > 0; n = (n - 1) / 26)
        name.prepend(QChar(u'A' + (n - 1) % 26));
    return name;
}

QString remarkWithExtras(const QString &remark, const QStringList &extras)
{
    QString out = remark;
    const QStringList had = remark.split(QLatin1Char('\n'));
    for (const QString &line : extras) {
        if (had.contains(line))
            continue;
        if (!out.isEmpty())
            out += QLatin1Char('\n');
        out += line;
    }
    return out;
}

namespace {
bool isFooterText(const QString &text)
{
    static const QStringList words{QStringLiteral("合计"), QStringLiteral("总计"), QStringLiteral("小计"),
                                   QStringLiteral("共计")};
    const QString t = text.trimmed();
    for (const QString &w : words)
        if (t.startsWith(w))
            return true;
    return false;
}
} // namespace

namespace {
// The server of one row below the header; none when every mapped cell is empty.
std::optional<SheetServer> serverOfRow(const SheetRow &row, int sheetRow, const SheetRow &titles,
                                       const SheetHeader &header, bool withExtras)
{
    SheetServer s;
    s.sheetRow = sheetRow;
    bool any = false;
    for (const auto &[c, cell] : row.cells()) {
        s.footer = s.footer || isFooterText(cell);
        const int field = c < int(header.fields.size()) ? header.fields[size_t(c)] : -1;
        if (field < 0) {
            if (withExtras && !cell.trimmed().isEmpty()) {
                QString name = titles.value(c).trimmed();
                if (name.isEmpty())
                    name = columnLetters(c) + QStringLiteral("列");
                s.extras << QStringLiteral("%1：%2").arg(name, cell.trimmed());
            }
            continue;
        }
        const ListColumn &column = listColumns()[size_t(field)];
        const QString text = column.date ? dateCellText(cell) : cell.trimmed();
        s.server.*column.field = text;
        any = any || !text.isEmpty();
    }
    if (!any)
        return std::nullopt;
    return s;
}
} // namespace

std::vector<SheetServer> sheetServers(const SheetTable &table, const SheetHeader &header, bool withExtras)
{
    std::vector<SheetServer> out;
    out.reserve(size_t(std::max<qsizetype>(0, table.rows.size() - header.row - 1)));
    const SheetRow titles = header.row >= 0 && header.row < table.rows.size() ? table.rows[header.row] : SheetRow();
    for (int r = header.row + 1; r < int(table.rows.size()); ++r)
        if (std::optional<SheetServer> s = serverOfRow(table.rows[r], r + 1, titles, header, withExtras))
            out.push_back(std::move(*s));
    return out;
}

std::vector<SheetServer> sheetServers(SheetTable &&table, const SheetHeader &header, bool withExtras)
{
    std::vector<SheetServer> out;
    out.reserve(size_t(std::max<qsizetype>(0, table.rows.size() - header.row - 1)));
    const SheetRow titles = header.row >= 0 && header.row < table.rows.size() ? table.rows[header.row] : SheetRow();
    for (int r = header.row + 1; r < int(table.rows.size()); ++r) {
        if (std::optional<SheetServer> s = serverOfRow(table.rows[r], r + 1, titles, header, withExtras))
            out.push_back(std::move(*s));
        table.rows[r] = SheetRow(); // its texts live on in the server; the row's own room goes now
    }
    table.rows.clear();
#ifdef __GLIBC__
    // The rows' room was many small blocks among the servers' texts: handed back to the system now,
    // the checks that follow do not grow the process past what the reading took.
    malloc_trim(0);
#endif
    return out;
}

namespace {
// One member of the zip, read as a stream into an XML reader.
class ZipMember {
public:
    ZipMember(zip_t *archive, const char *name, qint64 limit) : m_file(zip_fopen(archive, name, 0)), m_limit(limit) {}
    ~ZipMember()
    {
        if (m_file)
            zip_fclose(m_file);
    }
    bool isOpen() const { return m_file != nullptr; }
    bool tooLarge() const { return m_tooLarge; }
    // Feeds the reader until it has what it needs; false at the end of the member or on a fault.
    bool feed(QXmlStreamReader &xml, bool *fault)
    {
        char buffer[64 * 1024];
        const zip_int64_t n = zip_fread(m_file, buffer, sizeof buffer);
        if (n < 0)
            *fault = true;
        if (n <= 0)
            return false;
        // A member whose directory entry understates its size is stopped at the limit all the same.
        m_read += n;
        if (m_read > m_limit) {
            m_tooLarge = true;
            *fault = true;
            return false;
        }
        xml.addData(QByteArray(buffer, int(n)));
        return true;
    }

private:
    zip_file_t *m_file;
    qint64 m_limit;
    qint64 m_read = 0;
    bool m_tooLarge = false;
};

// Walks a member's XML, calling element for every start element and text for every text; false
// (with the reason) when the member is missing or its XML is broken.
template <typename OnStart, typename OnEnd, typename OnText>
bool walkXml(zip_t *archive, qint64 limit, const QString &member, OnStart onStart, OnEnd onEnd, OnText onText,
             QString *error)
{
    ZipMember file(archive, member.toUtf8().constData(), limit);
    if (!file.isOpen()) {
        *error = QStringLiteral("%1 is missing from the workbook").arg(member);
        return false;
    }
    QXmlStreamReader xml;
    bool fault = false, more = file.feed(xml, &fault);
    for (;;) {
        const QXmlStreamReader::TokenType t = xml.readNext();
        if (t == QXmlStreamReader::Invalid) {
            if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && more) {
                more = file.feed(xml, &fault);
                continue;
            }
            *error = file.tooLarge() ? QStringLiteral("%1 unpacks to more than its directory says: too large to be "
                                                      "a sheet; nothing was read")
                                           .arg(member)
                     : fault ? QStringLiteral("%1 cannot be unpacked").arg(member)
                             : QStringLiteral("%1 is not whole: %2").arg(member, xml.errorString());
            return false;
        }
        if (t == QXmlStreamReader::EndDocument)
            return true;
        // Entities declared in a DTD can expand without end; no spreadsheet program writes one.
        if (t == QXmlStreamReader::DTD && !xml.entityDeclarations().isEmpty()) {
            *error = QStringLiteral("%1 declares XML entities, which no spreadsheet program writes; nothing was read")
                         .arg(member);
            return false;
        }
        if (t == QXmlStreamReader::StartElement)
            onStart(xml);
        else if (t == QXmlStreamReader::EndElement)
            onEnd(xml);
        else if (t == QXmlStreamReader::Characters)
            onText(xml.text());
    }
}

// What a number format shows of a serial number: a date, a date and a time of day, or neither.
// Built-in formats by their id; a code shows a date with d, m or y outside quotes and brackets,
// and a time with h or s as well.
enum class DateFormat { None, Date, DateTime };
DateFormat dateFormatOf(int id, const QString &code)
{
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 36) || (id >= 50 && id <= 58))
        return DateFormat::Date;
    if ((id >= 18 && id <= 22) || (id >= 45 && id <= 47))
        return id == 22 ? DateFormat::DateTime : DateFormat::None; // 18-21, 45-47 are times alone
    bool quoted = false, bracket = false, date = false, time = false;
    for (QChar c : code) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (c == QLatin1Char('['))
            bracket = true;
        else if (c == QLatin1Char(']'))
            bracket = false;
        else if (!quoted && !bracket && QStringLiteral("dmyDMY").contains(c))
            date = true;
        else if (!quoted && !bracket && QStringLiteral("hsHS").contains(c))
            time = true;
    }
    return !date ? DateFormat::None : time ? DateFormat::DateTime : DateFormat::Date;
}

// A text as the workbook stores it, its _xHHHH_ escapes (characters XML cannot hold, such as a
// carriage return) read back; _x005F_ stands for the underscore itself.
QString unescaped(const QString &text)
{
    if (!text.contains(QLatin1String("_x")))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('_') && i + 6 < text.size() && text[i + 1] == QLatin1Char('x') &&
            text[i + 6] == QLatin1Char('_')) {
            bool ok = false;
            const uint code = QStringView(text).mid(i + 2, 4).toUInt(&ok, 16);
            if (ok && std::all_of(text.begin() + i + 2, text.begin() + i + 6,
                                  [](QChar c) { return isxdigit(c.unicode()) && c.unicode() < 128; })) {
                out += QChar(char16_t(code));
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// Gathers the text of a string as its program shows it: the <t> runs joined, a run's blanks at
// either end kept only where xml:space="preserve" says so, reading aids (<rPh>) left out.
class RunText {
public:
    void start(QXmlStreamReader &x)
    {
        const QStringView n = x.name();
        if (n == QLatin1String("rPh"))
            ++m_phonetic;
        else if (n == QLatin1String("t") && m_phonetic == 0) {
            m_inT = true;
            m_preserve = x.attributes().value(QLatin1String("xml:space")) == QLatin1String("preserve");
            m_run.clear();
        }
    }
    void end(QXmlStreamReader &x)
    {
        const QStringView n = x.name();
        if (n == QLatin1String("rPh") && m_phonetic > 0)
            --m_phonetic;
        else if (n == QLatin1String("t") && m_inT) {
            m_inT = false;
            m_text += m_preserve ? m_run : m_run.trimmed();
            m_run.clear();
        }
    }
    void text(QStringView t)
    {
        if (m_inT)
            m_run += t;
    }
    // The text gathered since the last take, escapes read back.
    QString take()
    {
        QString out = unescaped(m_text);
        m_text.clear();
        m_run.clear();
        m_inT = false;
        m_phonetic = 0;
        return QString(out.constData(), out.size()); // no spare room kept
    }

private:
    QString m_text, m_run;
    bool m_inT = false, m_preserve = false;
    int m_phonetic = 0;
};

// The format's own limits: a sheet has at most this many rows and columns (A to XFD).
constexpr int kMaxSheetRows = 1048576;
constexpr int kMaxSheetColumns = 16384;

// A cell reference such as "AB12": column 27 (counted from 0) and row 12 (from 1). None when it is
// no reference or lies outside the format's limits.
std::optional<std::pair<int, int>> cellAt(QStringView ref)
{
    qsizetype i = 0;
    int column = 0;
    while (i < ref.size() && ref[i] >= QLatin1Char('A') && ref[i] <= QLatin1Char('Z')) {
        column = column * 26 + (ref[i].unicode() - 'A' + 1);
        if (column > kMaxSheetColumns)
            return std::nullopt;
        ++i;
    }
    if (i == 0 || i == ref.size())
        return std::nullopt;
    int row = 0;
    for (; i < ref.size(); ++i) {
        if (ref[i] < QLatin1Char('0') || ref[i] > QLatin1Char('9'))
            return std::nullopt;
        row = row * 10 + (ref[i].unicode() - '0');
        if (row > kMaxSheetRows)
            return std::nullopt;
    }
    if (row < 1)
        return std::nullopt;
    return std::pair{column - 1, row};
}

QString numberText(const QString &value, DateFormat format, bool system1904)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok)
        return value;
    if (format != DateFormat::None && std::isfinite(number) && std::fabs(number) < 3e6) {
        // The 1900 date system, whose day 60 is a 29 February that never was, or the 1904 one
        // (day 0 is 1904-01-01) that a workbook can choose. A time of day shown by the format is
        // kept (to the second) for the date rule to judge; one the format hides is not there.
        const QDate start = system1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
        qint64 seconds = qint64(std::llround(number * 86400.0));
        if (format == DateFormat::Date)
            seconds = qint64(std::floor(number)) * 86400;
        const qint64 days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
        const qint64 second = seconds - days * 86400;
        const QString date = start.addDays(days).toString(QStringLiteral("yyyy-MM-dd"));
        if (second == 0)
            return date;
        return date + QLatin1Char(' ') +
               QTime::fromMSecsSinceStartOfDay(int(second * 1000)).toString(QStringLiteral("HH:mm:ss"));
    }
    if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 1e15)
        return QString::number(qint64(number));
    return QString::number(number, 'g', 15);
}
} // namespace

std::optional<std::vector<SheetTable>> readXlsxFile(const QString &path, QString *error, qint64 maxMemberBytes)
{
    int code = 0;
    std::unique_ptr<zip_t, void (*)(zip_t *)> archive(zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code),
                                                      [](zip_t *z) {
                                                          if (z)
                                                              zip_discard(z);
                                                      });
    if (!archive) {
        zip_error_t why;
        zip_error_init_with_code(&why, code);
        *error = QStringLiteral("%1 is no XLSX workbook: %2").arg(path, QString::fromUtf8(zip_error_strerror(&why)));
        zip_error_fini(&why);
        return std::nullopt;
    }
    // A member that would unpack to more than any register's sheet is refused before reading.
    const zip_int64_t members = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < members; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive.get(), zip_uint64_t(i), 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE) &&
            qint64(st.size) > maxMemberBytes) {
            *error = QStringLiteral("%1 holds %2, which unpacks to %3 MB: too large to be a sheet; nothing was read")
                         .arg(path, QString::fromUtf8(st.name))
                         .arg(qint64(st.size) / (1024 * 1024));
            return std::nullopt;
        }
    }
    zip_t *z = archive.get();
    // The sheets, by name and relationship, and where each one's XML is.
    std::vector<std::pair<QString, QString>> sheets; // name, relationship id
    bool system1904 = false;                         // the workbook counts its dates from 1904
    if (!walkXml(
            z, maxMemberBytes, QStringLiteral("xl/workbook.xml"),
            [&](QXmlStreamReader &x) {
                if (x.name() == QLatin1String("workbookPr")) {
                    const QStringView v = x.attributes().value(QLatin1String("date1904"));
                    system1904 = v == QLatin1String("1") || v == QLatin1String("true");
                }
                if (x.name() == QLatin1String("sheet"))
                    for (const QXmlStreamAttribute &a : x.attributes())
                        if (a.name() == QLatin1String("id"))
                            sheets.emplace_back(x.attributes().value(QLatin1String("name")).toString(),
                                                a.value().toString());
            },
            [](QXmlStreamReader &) {}, [](QStringView) {}, error))
        return std::nullopt;
    std::vector<std::pair<QString, QString>> targets; // id, target
    if (!walkXml(
            z, maxMemberBytes, QStringLiteral("xl/_rels/workbook.xml.rels"),
            [&](QXmlStreamReader &x) {
                if (x.name() == QLatin1String("Relationship"))
                    targets.emplace_back(x.attributes().value(QLatin1String("Id")).toString(),
                                         x.attributes().value(QLatin1String("Target")).toString());
            },
            [](QXmlStreamReader &) {}, [](QStringView) {}, error))
        return std::nullopt;
    // Shared strings (a workbook may have none).
    QStringList shared;
    if (zip_name_locate(z, "xl/sharedStrings.xml", 0) >= 0) {
        RunText run;
        if (!walkXml(
                z, maxMemberBytes, QStringLiteral("xl/sharedStrings.xml"),
                [&](QXmlStreamReader &x) {
                    if (x.name() == QLatin1String("si"))
                        run.take();
                    run.start(x);
                },
                [&](QXmlStreamReader &x) {
                    run.end(x);
                    if (x.name() == QLatin1String("si"))
                        shared << run.take();
                },
                [&](QStringView text) { run.text(text); }, error))
            return std::nullopt;
    }
    // Which cell styles show dates.
    std::vector<DateFormat> dateStyles;
    if (zip_name_locate(z, "xl/styles.xml", 0) >= 0) {
        std::vector<std::pair<int, QString>> formats;
        bool inCellXfs = false;
        if (!walkXml(
                z, maxMemberBytes, QStringLiteral("xl/styles.xml"),
                [&](QXmlStreamReader &x) {
                    if (x.name() == QLatin1String("numFmt"))
                        formats.emplace_back(x.attributes().value(QLatin1String("numFmtId")).toInt(),
                                             x.attributes().value(QLatin1String("formatCode")).toString());
                    else if (x.name() == QLatin1String("cellXfs"))
                        inCellXfs = true;
                    else if (inCellXfs && x.name() == QLatin1String("xf")) {
                        const int id = x.attributes().value(QLatin1String("numFmtId")).toInt();
                        QString formatCode;
                        for (const auto &[fid, c] : formats)
                            if (fid == id)
                                formatCode = c;
                        dateStyles.push_back(dateFormatOf(id, formatCode));
                    }
                },
                [&](QXmlStreamReader &x) {
                    if (x.name() == QLatin1String("cellXfs"))
                        inCellXfs = false;
                },
                [](QStringView) {}, error))
            return std::nullopt;
    }
    std::vector<SheetTable> out;
    // Each part is read once, however many sheet entries name it.
    std::vector<std::pair<QString, size_t>> readParts; // member, index in out
    for (const auto &[name, id] : sheets) {
        QString target;
        for (const auto &[rid, t] : targets)
            if (rid == id)
                target = t;
        if (target.isEmpty()) {
            *error = QStringLiteral("the workbook names sheet %1 but not where it is").arg(name);
            return std::nullopt;
        }
        const QString member = target.startsWith(QLatin1Char('/')) ? target.mid(1) : QLatin1String("xl/") + target;
        const auto again =
            std::find_if(readParts.begin(), readParts.end(), [&](const auto &p) { return p.first == member; });
        if (again != readParts.end()) {
            SheetTable copy = out[again->second]; // shares the rows
            copy.name = name;
            out.push_back(std::move(copy));
            continue;
        }
        SheetTable table;
        table.name = name;
        SheetRow row;
        int column = 0;
        int rowNumber = 0; // of the row being read, from 1
        QString type, value;
        int style = -1;
        bool inValue = false, inInline = false;
        RunText inlineText;
        // The first thing in the sheet outside the format's limits: the sheet is refused for it.
        QString outside;
        auto refuse = [&](const QString &why) {
            if (outside.isEmpty())
                outside = why;
        };
        if (!walkXml(
                z, maxMemberBytes, member,
                [&](QXmlStreamReader &x) {
                    if (!outside.isEmpty())
                        return;
                    const QStringView n = x.name();
                    if (inInline) {
                        inlineText.start(x);
                    } else if (n == QLatin1String("row")) {
                        row = SheetRow();
                        const QStringView r = x.attributes().value(QLatin1String("r"));
                        bool ok = true;
                        const qint64 number = r.isEmpty() ? table.rows.size() + 1 : r.toLongLong(&ok);
                        // Rows come in order, each within the sheet's 1,048,576.
                        if (!ok || number < 1 || number > kMaxSheetRows || number <= table.rows.size()) {
                            refuse(QStringLiteral("row number %1 is outside a sheet's %2 rows or out of order")
                                       .arg(r.left(32).toString())
                                       .arg(kMaxSheetRows));
                            return;
                        }
                        rowNumber = int(number);
                        while (table.rows.size() < rowNumber - 1)
                            table.rows << SheetRow();
                    } else if (n == QLatin1String("c")) {
                        const QStringView ref = x.attributes().value(QLatin1String("r"));
                        if (ref.isEmpty()) {
                            column = int(row.size());
                        } else {
                            const std::optional<std::pair<int, int>> at = cellAt(ref);
                            if (!at || (rowNumber > 0 && at->second != rowNumber)) {
                                refuse(QStringLiteral("cell reference %1 is outside a sheet's %2 columns and %3 rows "
                                                      "or not in its row")
                                           .arg(ref.left(32).toString())
                                           .arg(kMaxSheetColumns)
                                           .arg(kMaxSheetRows));
                                return;
                            }
                            column = at->first;
                        }
                        if (column >= kMaxSheetColumns) {
                            refuse(QStringLiteral("a row holds more than a sheet's %1 columns").arg(kMaxSheetColumns));
                            return;
                        }
                        type = x.attributes().value(QLatin1String("t")).toString();
                        const QStringView s = x.attributes().value(QLatin1String("s"));
                        style = s.isEmpty() ? -1 : s.toInt();
                        value.clear();
                    } else if (n == QLatin1String("v")) {
                        inValue = true;
                    } else if (n == QLatin1String("is")) {
                        inInline = true;
                        inlineText.take();
                    }
                },
                [&](QXmlStreamReader &x) {
                    if (!outside.isEmpty())
                        return;
                    const QStringView n = x.name();
                    if (n == QLatin1String("is")) {
                        inInline = false;
                        value = inlineText.take();
                    } else if (inInline) {
                        inlineText.end(x);
                    } else if (n == QLatin1String("v")) {
                        inValue = false;
                    } else if (n == QLatin1String("c")) {
                        QString text;
                        if (type == QLatin1String("s")) {
                            // An empty value is an empty cell, not the first shared string.
                            bool ok = false;
                            const qint64 i = value.trimmed().toLongLong(&ok);
                            if (!value.trimmed().isEmpty() && (!ok || i < 0 || i >= shared.size())) {
                                refuse(QStringLiteral("a cell names shared string %1, outside the workbook's %2")
                                           .arg(value.left(32))
                                           .arg(shared.size()));
                                return;
                            }
                            if (ok)
                                text = shared[qsizetype(i)];
                        } else if (type == QLatin1String("inlineStr")) {
                            text = value;
                        } else if (type == QLatin1String("str") || type == QLatin1String("e")) {
                            text = unescaped(QString(value.constData(), value.size())); // no spare room kept
                        } else if (type == QLatin1String("b")) {
                            text = value == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
                        } else if (type == QLatin1String("d")) {
                            // An ISO 8601 date cell: the date, by the date rule (a time of day other
                            // than midnight is kept for the checks to name).
                            const DateText date = readDate(value);
                            text = date.date.isValid() && !date.timeOfDay ? dateToText(date.date) : value;
                        } else if (!value.isEmpty()) {
                            const DateFormat format = style >= 0 && style < int(dateStyles.size())
                                                          ? dateStyles[size_t(style)]
                                                          : DateFormat::None;
                            text = numberText(value, format, system1904);
                        }
                        row.set(column, text);
                    } else if (n == QLatin1String("row")) {
                        row.squeeze();
                        table.rows << std::move(row);
                        row = SheetRow();
                        rowNumber = 0;
                    }
                },
                [&](QStringView text) {
                    if (!outside.isEmpty())
                        return;
                    if (inInline)
                        inlineText.text(text);
                    else if (inValue)
                        value += text;
                },
                error))
            return std::nullopt;
        if (!outside.isEmpty()) {
            *error = QStringLiteral("sheet %1: %2; nothing was read").arg(name, outside);
            return std::nullopt;
        }
        readParts.emplace_back(member, out.size());
        out.push_back(std::move(table));
    }
    return out;
}
