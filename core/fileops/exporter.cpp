#include "core/fileops/exporter.h"

#include "core/datetext.h"
#include "core/files.h"
#include "core/listcolumns.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <xlsxwriter.h>

namespace {
constexpr size_t kChunk = 512;         // servers read at a time
constexpr int kExcelCellLimit = 32767; // characters Excel keeps in a cell
constexpr int kWidthSample = 2000;     // rows whose texts decide the column widths

// Reads the servers chunk by chunk and hands each one to write; false stops.
Status forEachServer(RegisterDb &db, const std::vector<qint64> &keys, const ExportProgress &progress, bool *cancelled,
                     qint64 *written, const std::function<Status(const ServerRecord &)> &write)
{
    for (size_t first = 0; first < keys.size(); first += kChunk) {
        const size_t count = std::min(kChunk, keys.size() - first);
        const Read<std::vector<ServerRecord>> servers = db.servers(std::span<const qint64>(keys.data() + first, count));
        if (!servers.ok())
            return servers.status;
        for (const ServerRecord &server : servers.value) {
            if (server.key < 0)
                continue; // deleted since the list was read
            const Status status = write(server);
            if (!status.ok())
                return status;
            ++*written;
        }
        if (progress && !progress(qint64(first + count), qint64(keys.size()))) {
            *cancelled = true;
            return Status::done();
        }
    }
    return Status::done();
}

// ---- CSV ----

// Appends one CSV field, worked on the UTF-8 bytes (every special character is ASCII).
void appendCsvField(QByteArray &line, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    const bool guard = csvGuarded(text);
    bool quote = false;
    // Quoted too when it holds a semicolon or a tab: a reader that guesses the separator from the
    // first lines (ours does) would otherwise take those for it.
    for (char c : utf8)
        if (c == ',' || c == '"' || c == '\r' || c == '\n' || c == ';' || c == '\t') {
            quote = true;
            break;
        }
    if (quote)
        line += '"';
    if (guard)
        line += '\'';
    if (!quote) {
        line += utf8;
        return;
    }
    for (char c : utf8) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

void appendCsvLine(QByteArray &out, const QStringList &fields)
{
    for (int i = 0; i < fields.size(); ++i) {
        if (i)
            out += ',';
        appendCsvField(out, fields[i]);
    }
    out += "\r\n";
}

Status writeCsv(RegisterDb &db, const std::vector<qint64> &keys, const QString &file, const ExportProgress &progress,
                bool *cancelled, qint64 *written)
{
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return Status::failed(out.errorString());
    constexpr qsizetype kBuffer = 1 << 20;
    QByteArray buffer("\xEF\xBB\xBF");
    buffer.reserve(kBuffer + 64 * 1024);
    appendCsvLine(buffer, serverListTitles());
    auto flush = [&] {
        if (out.write(buffer) != buffer.size())
            return Status::failed(out.errorString());
        buffer.clear();
        return Status::done();
    };
    QStringList fields;
    Status status = forEachServer(db, keys, progress, cancelled, written, [&](const ServerRecord &server) {
        fields.clear();
        for (int c = 0; c < kListColumnCount; ++c)
            fields << serverListCell(server, c);
        appendCsvLine(buffer, fields);
        return buffer.size() >= kBuffer ? flush() : Status::done();
    });
    if (status.ok())
        status = flush();
    if (status.ok() && !out.flush())
        status = Status::failed(out.errorString());
    out.close();
    if (status.ok() && out.error() != QFileDevice::NoError)
        status = Status::failed(out.errorString());
    return status;
}

// ---- XLSX ----

QString xlsxError(lxw_error error)
{
    return QString::fromUtf8(lxw_strerror(error));
}

// A text as a cell stores it. Spreadsheets read _xHHHH_ in a cell as an escaped character, so a
// text that holds such a sequence itself has its underscore escaped (_x005F_) to come back as typed.
QByteArray xlsxText(QString text)
{
    static const QRegularExpression escapeLike(QStringLiteral("_(?=x[0-9A-Fa-f]{4}_)"));
    if (text.contains(QLatin1String("_x")))
        text.replace(escapeLike, QStringLiteral("_x005F_"));
    return text.toUtf8();
}

double columnWidth(const QString &text)
{
    // Excel's width unit is about one Latin digit; a Chinese character takes two.
    double width = 0;
    for (QChar c : text)
        width += c.unicode() >= 0x2E80 ? 2.1 : 1.1;
    return width;
}

// A workbook written row by row in constant memory, its temporary data in tmpDir, which must
// outlive the workbook (beside the target, never in a /tmp that may live in memory).
lxw_workbook *newWorkbook(const QString &file, const QByteArray &tmpDir)
{
    const QByteArray fileName = QFile::encodeName(file);
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char *>(tmpDir.constData());
    return workbook_new_opt(fileName.constData(), &options);
}

Status writeXlsx(RegisterDb &db, const std::vector<qint64> &keys, const QString &file, const ExportProgress &progress,
                 bool *cancelled, qint64 *written)
{
    const QByteArray tmpDir = QFile::encodeName(QFileInfo(file).absolutePath());
    lxw_workbook *book = newWorkbook(file, tmpDir);
    if (!book)
        return Status::failed(QStringLiteral("cannot create the workbook"));
    lxw_worksheet *sheet = workbook_add_worksheet(book, "服务器列表");
    lxw_format *bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_format *dateFormat = workbook_add_format(book);
    format_set_num_format(dateFormat, "yyyy-mm-dd");

    // Widths from the titles and the first rows (constant memory writes rows once, widths first).
    std::vector<double> widths;
    for (const QString &title : serverListTitles())
        widths.push_back(columnWidth(title) + 2);
    const size_t sample = std::min(keys.size(), size_t(kWidthSample));
    const Read<std::vector<ServerRecord>> first = db.servers(std::span<const qint64>(keys.data(), sample));
    if (!first.ok()) {
        workbook_close(book);
        QFile::remove(file);
        return first.status;
    }
    for (const ServerRecord &server : first.value)
        for (int c = 0; c < kListColumnCount; ++c)
            widths[size_t(c)] =
                std::max(widths[size_t(c)], columnWidth(serverListCell(server, c).section('\n', 0, 0)) + 1);
    for (int c = 0; c < kListColumnCount; ++c)
        worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), std::min(widths[size_t(c)], 60.0), nullptr);
    worksheet_freeze_panes(sheet, 1, 0);

    lxw_error error = LXW_NO_ERROR;
    for (int c = 0; c < 8 && !error; ++c)
        error = worksheet_write_string(sheet, 0, lxw_col_t(c), serverListTitles()[c].toUtf8().constData(), bold);
    lxw_row_t row = 1;
    Status status = error ? Status::failed(xlsxError(error)) : Status::done();
    if (status.ok())
        status = forEachServer(db, keys, progress, cancelled, written, [&](const ServerRecord &server) -> Status {
            if (row > LXW_ROW_MAX - 1)
                return Status::failed(QStringLiteral("more rows than a worksheet holds"));
            for (int c = 0; c < kListColumnCount; ++c) {
                const QString text = serverListCell(server, c);
                const QDate date = (c >= 3 && c <= 5) ? textToDate(text) : QDate();
                if (date.isValid() && date.year() >= 1900 && date.year() <= 9999) {
                    lxw_datetime when{date.year(), date.month(), date.day(), 0, 0, 0};
                    error = worksheet_write_datetime(sheet, row, lxw_col_t(c), &when, dateFormat);
                } else if (text.isEmpty()) {
                    continue;
                } else {
                    if (text.size() > kExcelCellLimit)
                        return Status::failed(QStringLiteral("服务器 %1 的%2超过 Excel 单元格的 %3 个字符")
                                                  .arg(server.ip, serverListTitles()[c])
                                                  .arg(kExcelCellLimit));
                    // Always a string: nothing a customer typed becomes a formula or a number.
                    error = worksheet_write_string(sheet, row, lxw_col_t(c), xlsxText(text).constData(), nullptr);
                }
                if (error)
                    return Status::failed(xlsxError(error));
            }
            ++row;
            return Status::done();
        });
    const lxw_error closed = workbook_close(book);
    if (status.ok() && closed)
        status = Status::failed(xlsxError(closed));
    return status;
}
} // namespace

bool csvGuarded(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char('\''))
        ++i;
    return i < text.size() && QStringView(u"=+-@\t\r").contains(text[i]);
}

const QStringList &serverListTitles()
{
    static const QStringList titles = [] {
        QStringList t;
        for (const ListColumn &c : listColumns())
            t << c.title;
        return t;
    }();
    return titles;
}

QString serverListCell(const ServerRecord &s, int column)
{
    return column >= 0 && column < kListColumnCount ? s.*listColumns()[size_t(column)].field : QString();
}

std::optional<ExportFormat> exportFormatFor(const QString &path)
{
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        return ExportFormat::Xlsx;
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return ExportFormat::Csv;
    return std::nullopt;
}

ExportResult exportServers(RegisterDb &db, const std::vector<qint64> &keys, const QString &path, ExportFormat format,
                           const ExportProgress &progress)
{
    ExportResult result;
    // Earlier versions wrote a hidden .NAME.XXXXXXXX.part; one a killed export left goes too.
    const QFileInfo target(path);
    const QRegularExpression hidden(
        QStringLiteral("^\\.%1\\.[0-9a-f]{8}\\.part$").arg(QRegularExpression::escape(target.fileName())));
    for (const QString &name : target.absoluteDir().entryList(QDir::Files | QDir::Hidden))
        if (hidden.match(name).hasMatch())
            target.absoluteDir().remove(name);
    FileBeingWritten partial(path, "part");
    result.status = format == ExportFormat::Csv
                        ? writeCsv(db, keys, partial.path(), progress, &result.cancelled, &result.servers)
                        : writeXlsx(db, keys, partial.path(), progress, &result.cancelled, &result.servers);
    if (!result.status.ok() || result.cancelled)
        return result;
    // In place in one step, only now that the file is whole (replacing: the user chose to).
    QString error;
    if (!partial.finish(true, &error))
        result.status = Status::failed(error);
    return result;
}

Status writeTextTable(const QString &path, ExportFormat format, const QString &sheetName,
                      const QList<QStringList> &rows)
{
    FileBeingWritten partial(path, "part");
    if (format == ExportFormat::Csv) {
        QFile out(partial.path());
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return Status::failed(out.errorString());
        QByteArray bytes("\xEF\xBB\xBF");
        for (const QStringList &row : rows)
            appendCsvLine(bytes, row);
        if (out.write(bytes) != bytes.size() || !out.flush())
            return Status::failed(out.errorString());
        out.close();
    } else {
        const QByteArray tmpDir = QFile::encodeName(QFileInfo(path).absolutePath());
        lxw_workbook *book = newWorkbook(partial.path(), tmpDir);
        if (!book)
            return Status::failed(QStringLiteral("cannot create the workbook"));
        lxw_worksheet *sheet = workbook_add_worksheet(book, sheetName.left(31).toUtf8().constData());
        lxw_format *bold = workbook_add_format(book);
        format_set_bold(bold);
        std::vector<double> widths;
        for (const QStringList &row : rows.mid(0, kWidthSample)) {
            widths.resize(std::max(widths.size(), size_t(row.size())), 4);
            for (qsizetype c = 0; c < row.size(); ++c)
                widths[size_t(c)] = std::max(widths[size_t(c)], columnWidth(row[c].section('\n', 0, 0)) + 1);
        }
        for (size_t c = 0; c < widths.size(); ++c)
            worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), std::min(widths[c], 60.0), nullptr);
        worksheet_freeze_panes(sheet, 1, 0);
        lxw_error error = LXW_NO_ERROR;
        for (qsizetype r = 0; r < rows.size() && !error; ++r)
            for (qsizetype c = 0; c < rows[r].size() && !error; ++c)
                if (!rows[r][c].isEmpty())
                    error = worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c),
                                                   xlsxText(rows[r][c].left(kExcelCellLimit)).constData(),
                                                   r == 0 ? bold : nullptr);
        const lxw_error closed = workbook_close(book);
        if (error || closed)
            return Status::failed(xlsxError(error ? error : closed));
    }
    QString error;
    if (!partial.finish(true, &error))
        return Status::failed(error);
    return Status::done();
}
