#pragma once

#include "core/records.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

// Reading the spreadsheets operators arrive with: the rows of a sheet as texts, the header row and
// which list field each column holds, and the rules a cell's text is stored by.

// One row of a sheet: the texts of the cells the file has, by column (counted from 0). Only the
// cells present take room, so a sheet's size follows its cells, not the addresses they stand at.
class SheetRow {
public:
    SheetRow() = default;
    // Every column from the first, as a CSV row has them.
    SheetRow(const QStringList &cells);
    // Columns up to the last one a cell was put in.
    qsizetype size() const { return m_width; }
    bool isEmpty() const { return m_width == 0; }
    // The text of a column; empty where the row has no cell.
    QString value(qsizetype column) const;
    QString operator[](qsizetype column) const { return value(column); }
    void set(int column, const QString &text);
    // The cells with a text, in column order.
    const std::vector<std::pair<int, QString>> &cells() const { return m_cells; }
    void squeeze() { m_cells.shrink_to_fit(); }
    // Every column up to the last, empty texts where there is no cell.
    QStringList toStringList() const;

private:
    std::vector<std::pair<int, QString>> m_cells;
    qsizetype m_width = 0;
};

// One sheet: its name and its rows, as the file holds them.
struct SheetTable {
    SheetTable() = default;
    SheetTable(const QString &name, const QList<QStringList> &rows);
    QString name;
    QList<SheetRow> rows;
};

// A CSV file's sheet (RFC 4180): UTF-8 with or without a BOM, otherwise GB18030 (which covers GBK);
// fields separated by commas, semicolons or tabs, whichever the file uses; a cell our export
// guarded with a leading ' against formulas comes back without it. The reason when it cannot be read.
std::optional<SheetTable> readCsv(const QByteArray &bytes, const QString &name, QString *error);
std::optional<SheetTable> readCsvFile(const QString &path, QString *error);

// Every sheet of an XLSX workbook, in the workbook's order: shared and inline strings, numbers
// (without a fraction as whole numbers), dates (serial numbers with a date format) as yyyy-MM-dd,
// booleans, formulas by their cached value. Each sheet's XML is read as a stream from the zip.
// A file that is no whole workbook, or whose members unpack to more than kMaxSheetMemberBytes
// (checked before anything is unpacked), is refused with the reason.
inline constexpr qint64 kMaxSheetMemberBytes = 512LL * 1024 * 1024;
std::optional<std::vector<SheetTable>> readXlsxFile(const QString &path, QString *error,
                                                    qint64 maxMemberBytes = kMaxSheetMemberBytes);

// A spreadsheet by its name's ending, as both the window and kavro-db open one: a .csv file is one
// sheet, an .xlsx workbook its sheets (each reader with its limits). None, with the reason and
// which kind of failure it was, when it cannot be read.
enum class SheetFileFault { None, NotASheetName, NoSheets, Unreadable };
std::optional<std::vector<SheetTable>> readSheetFile(const QString &path, QString *error,
                                                     SheetFileFault *fault = nullptr);

// The list field a header cell names (0 编号 ... 7 备注, as the list's columns), by the list's own
// titles and the names operators use; blanks and full-width forms ignored. None for any other text.
std::optional<int> fieldNamedBy(const QString &headerCell);

// Where the header is: the first row among the first 10 in which at least two cells name a field,
// and for each column the field it holds (-1 for none). None when no row does.
struct SheetHeader {
    int row = -1;
    std::vector<int> fields; // by column
    bool has(int field) const;
};
std::optional<SheetHeader> findHeader(const SheetTable &table);

// Where a sheet's servers are: the first sheet (of that name, when one is given) whose header row
// names an IP column; -1 when there is none.
int serverSheet(const std::vector<SheetTable> &sheets, const QString &name = QString());

// A cell's text as a date column stores it: a date by the date rule (readDate), with no time of
// day or midnight, becomes yyyy-MM-dd; anything else is kept as typed, for the checks to name.
// Surrounding blanks are trimmed.
QString dateCellText(const QString &cell);

// The servers of the rows below the header, each with its row number in the sheet (1 for the
// first row); rows with every mapped cell empty are left out. With withExtras, the cells of the
// columns mapped to no field are kept as "列名：值" lines (the header's text, or the column's
// letters where it has none).
struct SheetServer {
    int sheetRow = 0;
    ServerRecord server;
    QStringList extras;
    bool footer = false; // a cell begins with 合计, 总计, 小计 or 共计: a total, not a server
};
std::vector<SheetServer> sheetServers(const SheetTable &table, const SheetHeader &header, bool withExtras = false);
// The same, giving up the table's rows one by one as their servers are taken (a caller that needs
// the sheet no more holds a large one only once).
std::vector<SheetServer> sheetServers(SheetTable &&table, const SheetHeader &header, bool withExtras = false);

// A remark with extra lines appended, each on a line of its own, those it holds already left out
// (a sheet imported twice does not repeat them).
QString remarkWithExtras(const QString &remark, const QStringList &extras);

// A, B, ..., Z, AA, AB, ... as spreadsheets name their columns (0 is A).
QString columnLetters(int column);
