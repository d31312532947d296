#pragma once

#include "core/registerdb.h"

#include <QString>
#include <functional>
#include <vector>

enum class ExportFormat { Xlsx, Csv };

// The format a file name asks for by its ending (.xlsx or .csv, any letter case); none otherwise.
std::optional<ExportFormat> exportFormatFor(const QString &path);

// Told how many of the servers are written; returning false cancels the export.
using ExportProgress = std::function<bool(qint64 written, qint64 total)>;

struct ExportResult {
    Status status;
    bool cancelled = false;
    qint64 servers = 0;
};

// Writes the servers of these keys, in this order, with the list's eight column titles, to path.
// The file is written under a temporary name in the same folder and renamed into place only when
// complete: a failure or a cancel leaves nothing behind, and a file already at path is replaced
// only then (the caller decides whether that may happen).
//  CSV: UTF-8 with a byte-order mark, commas, CR LF line ends, RFC 4180 quoting; a cell that
//       begins with = + - @, a tab or a carriage return gets a leading ' so that no spreadsheet
//       runs it as a formula.
//  XLSX: sheet 服务器列表, a bold frozen title row, widths fitted to the texts, every cell a string
//       except readable dates, which are Excel dates shown yyyy-mm-dd; written in constant memory.
ExportResult exportServers(RegisterDb &db, const std::vector<qint64> &keys, const QString &path, ExportFormat format,
                           const ExportProgress &progress = {});

// Whether our CSV export puts a ' before this text so that no spreadsheet runs it as a formula: it
// begins with = + - @, a tab or a carriage return, or with a ' before such a text (so that the '
// the reader takes off comes back as typed).
bool csvGuarded(QStringView text);

// The list's column titles, in the order the list shows them.
const QStringList &serverListTitles();
// The text a list column shows of a server (column 0 编号 ... 7 备注).
QString serverListCell(const ServerRecord &server, int column);

// Writes a table of texts to path (every cell a string, the first row bold and frozen in a
// workbook, whose one sheet is named sheetName), by the same rules and under a temporary name as
// the export: the file appears whole or not at all, replacing one that is there.
Status writeTextTable(const QString &path, ExportFormat format, const QString &sheetName,
                      const QList<QStringList> &rows);
