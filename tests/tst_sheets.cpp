// Reading spreadsheets operators keep: CSV dialects and encodings, the header finder, the date
// rule, and the fixtures written by real spreadsheet programs.
#include "core/fileops/exporter.h"
#include "core/fileops/sheetimport.h"
#include "core/fileops/sheetreader.h"
#include "core/registerdb.h"
#include "importer/sheetimportwindow.h"
#include "importer/sheetimportwindow_names.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"
#include "testsupport.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTimer>

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <zip.h>

namespace {
const QString kSheets = QStringLiteral(KAVRO_SOURCE_DIR "/../shared/fixtures/sheets");

QByteArray gbk(const QString &text)
{
    QStringEncoder encode("GB18030");
    return encode.encode(text);
}
} // namespace

class TstSheets : public QObject {
    Q_OBJECT
private slots:
    void csvDialectsAndEncodings_data();
    void csvDialectsAndEncodings();
    void headerFinder_data();
    void headerFinder();
    void dateRule_data();
    void dateRule();
    void gbkFixtureBringsItsSixtyRows();
    void xlsxFixturesBringTheirSourceRows_data();
    void xlsxFixturesBringTheirSourceRows();
    void ownExportComesBackExactly_data();
    void ownExportComesBackExactly();
    void damagedWorkbooksAreRefused_data();
    void damagedWorkbooksAreRefused();
    void malformedWorkbooks_data();
    void malformedWorkbooks();
    void fullDiskDuringImport();
    void wideSheetIsPreviewed();
    void readingCanBeCancelled();
    void checksBeforeWriting_data();
    void checksBeforeWriting();
    void allOrNothing();
    void commandLine();
    void previewListsEveryProblem();
    void mappingChangedInTheWindow();
    void importedFromTheMainWindow();
    void cancelledImportStoresNothing();
    void unreadableFileIsSaid();
    void init()
    {
        MessageBox::setScripted(true);
        MessageBox::clearShown();
    }
};

void TstSheets::csvDialectsAndEncodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QStringList>>("rows");
    const QList<QStringList> plain = {{"编号", "IP"}, {"A1", "10.0.0.1"}};
    QTest::newRow("UTF-8, comma, LF") << QString("编号,IP\nA1,10.0.0.1\n").toUtf8() << plain;
    QTest::newRow("UTF-8 with BOM, CR LF")
        << QByteArray("\xEF\xBB\xBF") + QString("编号,IP\r\nA1,10.0.0.1\r\n").toUtf8() << plain;
    QTest::newRow("GBK, CR LF, no last line end") << gbk("编号,IP\r\nA1,10.0.0.1") << plain;
    QTest::newRow("semicolon") << QString("编号;IP\nA1;10.0.0.1\n").toUtf8() << plain;
    QTest::newRow("tab") << QString("编号\tIP\nA1\t10.0.0.1\n").toUtf8() << plain;
    QTest::newRow("quotes, doubled quotes, separator and line break inside")
        << QString("编号,备注\nA1,\"含 \"\"KVM\"\", 双电源\r\n第二行\"\n").toUtf8()
        << QList<QStringList>{{"编号", "备注"}, {"A1", "含 \"KVM\", 双电源\r\n第二行"}};
    QTest::newRow("commas inside quotes do not decide the separator")
        << QString("编号;备注\n\"A,1\";\"x,y,z\"\n").toUtf8() << QList<QStringList>{{"编号", "备注"}, {"A,1", "x,y,z"}};
    QTest::newRow("empty fields kept") << QString("编号,IP,备注\n,10.0.0.1,\n").toUtf8()
                                       << QList<QStringList>{{"编号", "IP", "备注"}, {"", "10.0.0.1", ""}};
}

void TstSheets::csvDialectsAndEncodings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QStringList>, rows);
    QString error;
    const std::optional<SheetTable> table = readCsv(bytes, "t", &error);
    QVERIFY2(table, qPrintable(error));
    QList<QStringList> read;
    for (const SheetRow &row : table->rows)
        read << row.toStringList();
    QCOMPARE(read, rows);
}

void TstSheets::headerFinder_data()
{
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<int>("headerRow");
    QTest::addColumn<QList<int>>("fields");
    QTest::newRow("the list's own titles")
        << QList<QStringList>{{"编号", "服务器IP", "所在机柜", "客户", "备注"}} << 0 << QList<int>{0, 1, 2, 6, 7};
    QTest::newRow("operators' names, a title row above")
        << QList<QStringList>{{"服务器清单（2026年12月）", "", ""}, {"IP地址", "上架日期", "到期日"}} << 1
        << QList<int>{1, 3, 4};
    QTest::newRow("blanks, full-width, case")
        << QList<QStringList>{{" ＩＰ ", "客户 名称", "开通日期"}} << 0 << QList<int>{1, 6, 3};
    QTest::newRow("unknown columns and a field twice")
        << QList<QStringList>{{"序号", "IP", "机柜", "IP地址", "说明"}} << 0 << QList<int>{-1, 1, 2, -1, 7};
    QTest::newRow("one field only is no header")
        << QList<QStringList>{{"IP", "其他"}, {"10.0.0.1", "x"}} << -1 << QList<int>{};
    QList<QStringList> deep(10, QStringList{"x", "y"});
    deep << QStringList{"IP", "客户"};
    QTest::newRow("not within the first 10 rows") << deep << -1 << QList<int>{};
}

void TstSheets::headerFinder()
{
    QFETCH(QList<QStringList>, rows);
    QFETCH(int, headerRow);
    QFETCH(QList<int>, fields);
    const std::optional<SheetHeader> header = findHeader(SheetTable{"t", rows});
    QCOMPARE(header.has_value(), headerRow >= 0);
    if (!header)
        return;
    QCOMPARE(header->row, headerRow);
    QCOMPARE(QList<int>(header->fields.begin(), header->fields.end()), fields);
}

void TstSheets::dateRule_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("stored");
    QTest::newRow("dashes") << "2023-1-5"
                            << "2023-01-05";
    QTest::newRow("slashes") << "2023/11/4"
                             << "2023-11-04";
    QTest::newRow("dots") << "2023.11.04"
                          << "2023-11-04";
    QTest::newRow("Chinese") << "2008年11月23日"
                             << "2008-11-23";
    QTest::newRow("blanks around") << " 2023/1/5 "
                                   << "2023-01-05";
    QTest::newRow("eight digits") << "20261204"
                                  << "2026-12-04";
    QTest::newRow("full-width") << "２０２６年１２月４日"
                                << "2026-12-04";
    QTest::newRow("midnight dropped") << "2026/12/4 00:00"
                                      << "2026-12-04";
    QTest::newRow("a time of day: kept") << "2026/12/4 9:30"
                                         << "2026/12/4 9:30";
    QTest::newRow("no such day: kept") << "2023/2/30"
                                       << "2023/2/30";
    QTest::newRow("mixed separators: kept") << "2023/1-5"
                                            << "2023/1-5";
    QTest::newRow("words: kept") << "长期"
                                 << "长期";
    QTest::newRow("empty") << ""
                           << "";
}

void TstSheets::dateRule()
{
    QFETCH(QString, cell);
    QFETCH(QString, stored);
    QCOMPARE(dateCellText(cell), stored);
}

void TstSheets::gbkFixtureBringsItsSixtyRows()
{
    if (!QFile::exists(kSheets))
        QSKIP("the shared fixtures are not beside this tree");
    QString error;
    const std::optional<SheetTable> gbkTable = readCsvFile(kSheets + "/servers-gbk.csv", &error);
    QVERIFY2(gbkTable, qPrintable(error));
    const std::optional<SheetTable> source = readCsvFile(kSheets + "/servers-libreoffice.source.csv", &error);
    QVERIFY2(source, qPrintable(error));
    const std::optional<SheetHeader> h1 = findHeader(*gbkTable), h2 = findHeader(*source);
    QVERIFY(h1 && h2);
    QCOMPARE(h2->row, 1); // below the title row
    const std::vector<SheetServer> got = sheetServers(*gbkTable, *h1), want = sheetServers(*source, *h2);
    QCOMPARE(got.size(), size_t(60));
    for (size_t i = 0; i < got.size(); ++i) {
        QCOMPARE(got[i].server, want[i].server);
        QCOMPARE(got[i].sheetRow, int(i) + 2);
    }
}

void TstSheets::xlsxFixturesBringTheirSourceRows_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<int>("servers"); // the first this many of the source
    QTest::newRow("LibreOffice: title row, other names, real dates") << "servers-libreoffice.xlsx"
                                                                     << "" << 240;
    QTest::newRow("openpyxl: second sheet, IP first") << "servers-openpyxl.xlsx"
                                                      << "服务器" << 120;
}

void TstSheets::xlsxFixturesBringTheirSourceRows()
{
    QFETCH(QString, file);
    QFETCH(QString, sheet);
    QFETCH(int, servers);
    if (!QFile::exists(kSheets))
        QSKIP("the shared fixtures are not beside this tree");
    QString error;
    const std::optional<std::vector<SheetTable>> book = readXlsxFile(kSheets + '/' + file, &error);
    QVERIFY2(book, qPrintable(error));
    const SheetTable *table = &book->front();
    for (const SheetTable &t : *book)
        if (t.name == sheet)
            table = &t;
    const std::optional<SheetTable> source = readCsvFile(kSheets + "/servers-libreoffice.source.csv", &error);
    const std::optional<SheetHeader> h = findHeader(*table), hs = findHeader(*source);
    QVERIFY(h && hs);
    const std::vector<SheetServer> got = sheetServers(*table, *h), want = sheetServers(*source, *hs);
    QCOMPARE(got.size(), size_t(servers));
    QVERIFY(want.size() >= got.size());
    for (size_t i = 0; i < got.size(); ++i) {
        const ServerRecord &a = got[i].server, &b = want[i].server;
        auto line = [](const ServerRecord &r) {
            return QStringList{r.number, r.ip, r.cabinet, r.racked, r.expires, r.unracked, r.customer, r.remark}.join(
                '|');
        };
        const QString why = line(a) + " vs " + line(b);
        QVERIFY2(a == b, qPrintable(why));
    }
}

void TstSheets::ownExportComesBackExactly_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("xlsx") << "out.xlsx";
    QTest::newRow("csv") << "out.csv";
}

void TstSheets::ownExportComesBackExactly()
{
    QFETCH(QString, name);
    TempRegister reg;
    QVERIFY(reg.exec("INSERT INTO data (F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ) VALUES "
                     "('北京星辰科技有限公司', '007', '10.0.0.1', 'B01-02', '2008-11-23', '2009-11-23', '', "
                     "'含 \"引号\", 逗号；第一行\n第二行'),"
                     "('上海云帆', 'SV-2', '10.0.0.2', '', '2008年11月23日', '长期', '', '=1+1'),"
                     "('', '1.50', '10.0.0.3', '  ', '', '', '', ''),"
                     // More semicolons than the file has commas, and tabs: still cells, not separators.
                     "('乙', 'A;B', '10.0.0.4', 'C1\tC2', '', '', '', '" +
                     QString(40, QLatin1Char(';')) +
                     "'),"
                     // A leading ' before what looks like a formula: kept as typed.
                     "('丙', '''=不是公式', '10.0.0.5', '''''+1', '', '', '', '''abc')"));
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    const std::vector<qint64> keys = db.serverKeys(ServerQuery::all()).value;
    const QString path = reg.programDir() + '/' + name;
    QVERIFY(exportServers(db, keys, path, *exportFormatFor(path)).status.ok());
    QString error;
    const std::optional<SheetTable> table = name.endsWith("csv")
                                                ? readCsvFile(path, &error)
                                                : std::optional<SheetTable>(readXlsxFile(path, &error)->front());
    QVERIFY2(table, qPrintable(error));
    const std::optional<SheetHeader> header = findHeader(*table);
    QVERIFY(header);
    const std::vector<SheetServer> back = sheetServers(*table, *header);
    const std::vector<ServerRecord> stored = db.servers(keys).value;
    QCOMPARE(back.size(), stored.size());
    for (size_t i = 0; i < back.size(); ++i) {
        ServerRecord want = stored[i];
        want.key = -1;
        // What an import keeps: texts trimmed, a date text in a date column as yyyy-MM-dd.
        for (QString *t : {&want.number, &want.cabinet, &want.customer, &want.remark, &want.ip})
            *t = t->trimmed();
        want.racked = dateCellText(want.racked);
        want.expires = dateCellText(want.expires);
        want.unracked = dateCellText(want.unracked);
        QCOMPARE(back[i].server, want);
    }
}

void TstSheets::damagedWorkbooksAreRefused_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("said");
    QTest::newRow("cut short") << "truncate"
                               << "no XLSX workbook";
    QTest::newRow("sheet XML missing") << "no sheet"
                                       << "is missing from the workbook";
    QTest::newRow("member unpacking past the limit") << "bomb"
                                                     << "too large to be a sheet";
    QTest::newRow("a 1 GB member at the program's own limit") << "bomb 1 GB"
                                                              << "unpacks to 1024 MB";
    QTest::newRow("a member whose directory understates its size") << "liar"
                                                                   << "too large to be a sheet";
    QTest::newRow("not a zip at all") << "text"
                                      << "no XLSX workbook";
}

namespace {
// A libzip source of 1 GiB of zeros, made a block at a time.
zip_int64_t zerosSource(void *, void *data, zip_uint64_t len, zip_source_cmd_t cmd)
{
    static qint64 left = 0;
    constexpr qint64 kSize = 1024LL * 1024 * 1024;
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        left = kSize;
        return 0;
    case ZIP_SOURCE_READ: {
        const zip_uint64_t n = std::min<zip_uint64_t>(len, zip_uint64_t(left));
        std::memset(data, 0, n);
        left -= qint64(n);
        return zip_int64_t(n);
    }
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto *st = static_cast<zip_stat_t *>(data);
        zip_stat_init(st);
        st->size = zip_uint64_t(kSize);
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return 2 * sizeof(int);
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
        return -1;
    }
}

// Rewrites the unpacked size a zip's directory and local header give for one member.
bool understateSize(const QString &path, const QByteArray &name, quint32 size)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = f.readAll();
    auto put32 = [&](qsizetype at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char((v >> (8 * i)) & 0xff);
    };
    auto get = [&](qsizetype at, int n) {
        quint32 v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | quint8(bytes[at + i]);
        return v;
    };
    bool found = false;
    for (qsizetype at = bytes.indexOf("PK\x01\x02"); at >= 0; at = bytes.indexOf("PK\x01\x02", at + 4)) {
        if (bytes.mid(at + 46, get(at + 28, 2)) != name)
            continue;
        put32(at + 24, size);
        put32(get(at + 42, 4) + 22, size);
        found = true;
    }
    f.seek(0);
    return found && f.write(bytes) == bytes.size();
}
} // namespace

void TstSheets::damagedWorkbooksAreRefused()
{
    QFETCH(QString, damage);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const QString path = dir.path() + "/bad.xlsx";
    const QString good = QStringLiteral(KAVRO_SOURCE_DIR "/../shared/fixtures/sheets/servers-openpyxl.xlsx");
    if (damage == "text") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("编号,IP\n");
    } else {
        if (!QFile::exists(good))
            QSKIP("the shared fixtures are not beside this tree");
        QVERIFY(QFile::copy(good, path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        if (damage == "truncate") {
            QFile f(path);
            QVERIFY(f.resize(f.size() / 2));
        } else {
            int code = 0;
            zip_t *z = zip_open(QFile::encodeName(path).constData(), 0, &code);
            QVERIFY(z);
            if (damage == "no sheet") {
                QVERIFY(zip_delete(z, zip_uint64_t(zip_name_locate(z, "xl/worksheets/sheet2.xml", 0))) == 0);
            } else if (damage == "bomb 1 GB") {
                // 1 GiB of zeros made as it is packed (about 1 MB in the file).
                zip_source_t *src = zip_source_function(z, zerosSource, nullptr);
                const zip_int64_t i = zip_file_add(z, "xl/worksheets/sheet9.xml", src, ZIP_FL_OVERWRITE);
                QVERIFY(i >= 0);
                QVERIFY(zip_set_file_compression(z, zip_uint64_t(i), ZIP_CM_DEFLATE, 1) == 0);
            } else if (damage == "liar") {
                // The data sheet replaced by 4 MB of well-formed XML, its sizes then rewritten below.
                static const QByteArray blanks = "<worksheet>" + QByteArray(4 * 1024 * 1024, ' ');
                zip_source_t *src = zip_source_buffer(z, blanks.constData(), zip_uint64_t(blanks.size()), 0);
                QVERIFY(zip_file_add(z, "xl/worksheets/sheet2.xml", src, ZIP_FL_OVERWRITE) >= 0);
            } else {
                // 4 MB of zeros, a few KB packed: refused by its size before it is unpacked.
                static QByteArray zeros(4 * 1024 * 1024, '\0');
                zip_source_t *src = zip_source_buffer(z, zeros.constData(), zip_uint64_t(zeros.size()), 0);
                QVERIFY(zip_file_add(z, "xl/worksheets/sheet9.xml", src, ZIP_FL_OVERWRITE) >= 0);
            }
            QVERIFY(zip_close(z) == 0);
            if (damage == "liar")
                QVERIFY(understateSize(path, "xl/worksheets/sheet2.xml", 1000));
        }
    }
    QString error;
    const qint64 limit = damage == "bomb 1 GB" ? kMaxSheetMemberBytes : 1024 * 1024;
    const std::optional<std::vector<SheetTable>> book = readXlsxFile(path, &error, limit);
    QVERIFY(!book);
    QVERIFY2(error.contains(said), qPrintable(error));
}

namespace {
// A small workbook of one sheet named 服务器 (or of several entries all naming that sheet's part),
// written member by member as a spreadsheet program would: the sheet's rows given whole, the shared
// strings when not empty, a style 1 that shows dates, anything before the sheet's root element.
struct Workbook {
    QByteArray rows, shared, workbookPr, sheetHead;
    int sheetEntries = 1;
};

bool writeWorkbook(const QString &path, const Workbook &book)
{
    int code = 0;
    zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!z)
        return false;
    const QByteArray ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
    QByteArray sheets;
    for (int i = 0; i < book.sheetEntries; ++i)
        sheets += QByteArray("<sheet name=\"") + (i == 0 ? QByteArray("服务器") : "S" + QByteArray::number(i)) +
                  "\" sheetId=\"" + QByteArray::number(i + 1) + "\" r:id=\"rId1\"/>";
    std::vector<std::pair<const char *, QByteArray>> members = {
        {"[Content_Types].xml",
         "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"},
        {"xl/workbook.xml", "<?xml version=\"1.0\"?><workbook " + ns +
                                " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">" +
                                book.workbookPr + "<sheets>" + sheets + "</sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/></Relationships>"},
        {"xl/styles.xml",
         "<?xml version=\"1.0\"?><styleSheet " + ns +
             "><numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"yyyy\\-mm\\-dd hh:mm\"/></numFmts>"
             "<cellXfs count=\"4\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/>"
             "<xf numFmtId=\"22\"/></cellXfs></styleSheet>"},
        {"xl/worksheets/sheet1.xml", "<?xml version=\"1.0\"?>" + book.sheetHead + "<worksheet " + ns + "><sheetData>" +
                                         book.rows + "</sheetData></worksheet>"},
    };
    if (!book.shared.isEmpty())
        members.emplace_back("xl/sharedStrings.xml",
                             "<?xml version=\"1.0\"?><sst " + ns + ">" + book.shared + "</sst>");
    static std::vector<QByteArray> kept;
    kept.clear();
    kept.reserve(members.size());
    for (auto &[name, bytes] : members) {
        kept.push_back(bytes);
        zip_source_t *src = zip_source_buffer(z, kept.back().constData(), zip_uint64_t(kept.back().size()), 0);
        const zip_int64_t i = zip_file_add(z, name, src, ZIP_FL_OVERWRITE);
        if (i < 0)
            return false;
        zip_set_file_compression(z, zip_uint64_t(i), ZIP_CM_DEFLATE, 9);
    }
    return zip_close(z) == 0;
}

// The header row: 服务器IP, 备注, 到期时间 as inline strings.
const QByteArray kHeaderRow = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>服务器IP</t></is></c>"
                              "<c r=\"B1\" t=\"inlineStr\"><is><t>备注</t></is></c>"
                              "<c r=\"C1\" t=\"inlineStr\"><is><t>到期时间</t></is></c></row>";

// Row 2: the IP 10.0.0.1 and the cells given for B2 and C2.
QByteArray row2(const QByteArray &cells)
{
    return "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>10.0.0.1</t></is></c>" + cells + "</row>";
}
} // namespace

void TstSheets::malformedWorkbooks_data()
{
    QTest::addColumn<QByteArray>("rows");       // after the header row
    QTest::addColumn<QByteArray>("shared");     // the shared strings, if any
    QTest::addColumn<QByteArray>("workbookPr"); // in the workbook part
    QTest::addColumn<QByteArray>("sheetHead");  // before the sheet's root element
    QTest::addColumn<int>("sheetEntries");
    QTest::addColumn<QString>("said");              // a refusal, by the reader or by the checks before writing
    QTest::addColumn<QStringList>("remarkExpires"); // else: what row 2 stores, 备注 and 到期时间
    const QByteArray none;
    auto ok = [](const QString &remark, const QString &expires = {}) { return QStringList{remark, expires}; };
    QTest::newRow("sound") << row2("") << none << none << none << 1 << "" << ok("");
    // Outside the format's limits.
    QTest::newRow("column past ZZZZZZZ")
        << QByteArray("<row r=\"2\"><c r=\"ZZZZZZZ2\" t=\"inlineStr\"><is><t>x</t></is></c></row>") << none << none
        << none << 1 << "cell reference ZZZZZZZ2 is outside" << ok("");
    QTest::newRow("column XFE") << QByteArray("<row r=\"2\"><c r=\"XFE2\"><v>1</v></c></row>") << none << none << none
                                << 1 << "cell reference XFE2 is outside" << ok("");
    QTest::newRow("row 100,000,000") << QByteArray("<row r=\"100000000\"><c r=\"A100000000\"><v>1</v></c></row>")
                                     << none << none << none << 1 << "row number 100000000 is outside" << ok("");
    QTest::newRow("row 2,000,000,000") << QByteArray("<row r=\"2000000000\"><c><v>1</v></c></row>") << none << none
                                       << none << 1 << "row number 2000000000 is outside" << ok("");
    QTest::newRow("row 99999999999999999999") << QByteArray("<row r=\"99999999999999999999\"/>") << none << none << none
                                              << 1 << "row number 99999999999999999999 is outside" << ok("");
    QTest::newRow("rows out of order") << QByteArray("<row r=\"3\"/><row r=\"2\"/>") << none << none << none << 1
                                       << "row number 2 is outside" << ok("");
    QTest::newRow("shared string past the table")
        << QByteArray("<row r=\"2\"><c r=\"A2\" t=\"s\"><v>7</v></c></row>") << QByteArray("<si><t>10.0.0.1</t></si>")
        << none << none << 1 << "names shared string 7, outside the workbook's 1" << ok("");
    QTest::newRow("shared string -1") << QByteArray("<row r=\"2\"><c r=\"A2\" t=\"s\"><v>-1</v></c></row>")
                                      << QByteArray("<si><t>10.0.0.1</t></si>") << none << none << 1
                                      << "names shared string -1" << ok("");
    QTest::newRow("cell of another row") << QByteArray("<row r=\"2\"><c r=\"A9\"><v>1</v></c></row>") << none << none
                                         << none << 1 << "cell reference A9" << ok("");
    // Read as the program that wrote them shows them.
    QTest::newRow("1900 dates") << row2("<c r=\"C2\" s=\"1\"><v>43904</v></c>") << none << none << none << 1 << ""
                                << ok("", "2020-03-14");
    QTest::newRow("1904 dates") << row2("<c r=\"C2\" s=\"1\"><v>43904</v></c>") << none
                                << QByteArray("<workbookPr date1904=\"1\"/>") << none << 1 << ""
                                << ok("", "2024-03-15");
    QTest::newRow("_xHHHH_ escapes") << row2("<c r=\"B2\" t=\"s\"><v>0</v></c>")
                                     << QByteArray("<si><t>第一行_x000D_\n第二行 _x005F_x000D_ _x41_</t></si>") << none
                                     << none << 1 << "" << ok("第一行\r\n第二行 _x000D_ _x41_");
    QTest::newRow("escapes in an inline string") << row2("<c r=\"B2\" t=\"inlineStr\"><is><t>a_x0009_b</t></is></c>")
                                                 << none << none << none << 1 << "" << ok("a\tb");
    QTest::newRow("an empty shared-string value")
        << row2("<c r=\"B2\" t=\"s\"><v/></c>") << QByteArray("<si><t>服务器IP</t></si>") << none << none << 1 << ""
        << ok("");
    QTest::newRow("rich-text runs, indented")
        << row2("<c r=\"B2\" t=\"inlineStr\"><is>\n        <r><t>上海</t></r>\n        <r><rPr/><t>云帆</t></r>\n"
                "        <rPh><t>シャンハイ</t></rPh>\n      </is></c>")
        << none << none << none << 1 << "" << ok("上海云帆");
    QTest::newRow("blanks kept only where preserved")
        << row2("<c r=\"B2\" t=\"inlineStr\"><is><r><t xml:space=\"preserve\">两头 </t></r><r><t>\n   缩进\n   </t></r>"
                "<r><t xml:space=\"preserve\"> 末</t></r></is></c>")
        << none << none << none << 1 << "" << ok("两头 缩进 末");
    QTest::newRow("ISO date cell") << row2("<c r=\"C2\" t=\"d\"><v>2024-03-15T00:00:00</v></c>") << none << none << none
                                   << 1 << "" << ok("", "2024-03-15");
    // Date-times: the date kept when the time is midnight or the format hides it; otherwise named.
    QTest::newRow("date-time cell at midnight")
        << row2("<c r=\"C2\" s=\"2\"><v>43904</v></c>") << none << none << none << 1 << "" << ok("", "2020-03-14");
    QTest::newRow("date-time format, afternoon")
        << row2("<c r=\"C2\" s=\"2\"><v>43904.5</v></c>") << none << none << none << 1
        << "到期时间带有时刻（不是 00:00）：2020-03-14 12:00:00" << ok("");
    QTest::newRow("built-in date-time format, a minute past")
        << row2("<c r=\"C2\" s=\"3\"><v>43904.000694444444</v></c>") << none << none << none << 1
        << "到期时间带有时刻（不是 00:00）：2020-03-14 00:01:00" << ok("");
    QTest::newRow("a date format hides the time")
        << row2("<c r=\"C2\" s=\"1\"><v>43904.75</v></c>") << none << none << none << 1 << "" << ok("", "2020-03-14");
    QTest::newRow("ISO date-time cell") << row2("<c r=\"C2\" t=\"d\"><v>2024-03-15T08:30:00</v></c>") << none << none
                                        << none << 1 << "到期时间带有时刻（不是 00:00）：2024-03-15T08:30:00" << ok("");
    QTest::newRow("a number typed as yyyyMMdd")
        << row2("<c r=\"C2\"><v>20261204</v></c>") << none << none << none << 1 << "" << ok("", "2026-12-04");
    QTest::newRow("entities declared")
        << row2("<c r=\"B2\" t=\"inlineStr\"><is><t>&c;</t></is></c>") << none << none
        << QByteArray("<!DOCTYPE worksheet [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>")
        << 1 << "declares XML entities" << ok("");
    // Memory follows the cells present, and a part is read once.
    QByteArray farCells;
    for (int r = 3; r <= 1048576; ++r)
        farCells +=
            "<row r=\"" + QByteArray::number(r) + "\"><c r=\"XFD" + QByteArray::number(r) + "\"><v>1</v></c></row>";
    QTest::newRow("a cell in column XFD of every row")
        << row2("") + farCells << none << none << none << 1 << "" << ok("");
    QTest::newRow("2,000 sheet entries naming one part") << row2("") << none << none << none << 2000 << "" << ok("");
    // A cell longer than a spreadsheet cell can be: a problem before writing, nothing stored.
    QByteArray manyRemarks;
    for (int r = 3; r <= 302; ++r)
        manyRemarks += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) +
                       "\" t=\"inlineStr\"><is><t>10.1.0." + QByteArray::number(r) + "</t></is></c><c r=\"B" +
                       QByteArray::number(r) + "\" t=\"s\"><v>0</v></c></row>";
    QTest::newRow("a NUL in an IP")
        << row2("") + "<row r=\"3\"><c r=\"A3\" t=\"inlineStr\"><is><t>10.9.0.5_x0000_x</t></is></c></row>" << none
        << none << none << 1 << "服务器IP含有空字符（NUL）" << ok("");
    QTest::newRow("an IP longer than an address")
        << row2("") + "<row r=\"3\"><c r=\"A3\" t=\"inlineStr\"><is><t>" + QByteArray(100, '9') + "</t></is></c></row>"
        << none << none << none << 1 << "服务器IP长 100 个字符，不是地址" << ok("");
    QTest::newRow("a million characters in 300 remarks")
        << row2("") + manyRemarks << "<si><t>" + QByteArray(1000000, 'x') + "</t></si>" << none << none << 1
        << "备注超过 32767 个字符（1000000 个）" << ok("");
}

void TstSheets::malformedWorkbooks()
{
    QFETCH(QByteArray, rows);
    QFETCH(QByteArray, shared);
    QFETCH(QByteArray, workbookPr);
    QFETCH(QByteArray, sheetHead);
    QFETCH(int, sheetEntries);
    QFETCH(QString, said);
    QFETCH(QStringList, remarkExpires);
    QTemporaryDir dir;
    const QString path = dir.path() + "/servers.xlsx";
    QVERIFY(writeWorkbook(path, {kHeaderRow + rows, shared, workbookPr, sheetHead, sheetEntries}));
    QVERIFY(QFileInfo(path).size() < 8 * 1024 * 1024); // each a small file
    // The window's reader.
    QString error;
    const std::optional<std::vector<SheetTable>> book = SheetImportWindow::readFile(path, &error);
    // The reader says why in English; the checks before writing name a problem in Chinese.
    const bool refusedByReader = !said.isEmpty() && said.front().unicode() < 128;
    QCOMPARE(bool(book), !refusedByReader);
    TempRegister reg;
    if (book) {
        QCOMPARE(int(book->size()), sheetEntries);
        const std::optional<SheetHeader> header = findHeader(book->front());
        QVERIFY(header);
        std::vector<SheetServer> servers = sheetServers(book->front(), *header);
        QCOMPARE(servers.front().server.ip, QStringLiteral("10.0.0.1"));
        // The checks before writing, as the window makes them.
        RegisterDb db;
        QVERIFY(db.open(reg.dbPath()).ok());
        const Read<SheetPlan> plan = planSheetImport(db, std::move(servers), false);
        QVERIFY(plan.ok());
        QStringList problems;
        for (const SheetProblem &p : plan.value.problems)
            problems << p.what;
        if (!said.isEmpty())
            QVERIFY2(!problems.isEmpty() && problems.first() == said, qPrintable(problems.join('|')));
        else
            QVERIFY2(problems.isEmpty(), qPrintable(problems.join('|')));
    } else {
        QVERIFY2(error.contains(said), qPrintable(error));
    }
    // kavro-db, with the same reason; what it stores, on this run's engine.
    QProcess p;
    p.start(QStringLiteral(KAVRO_BINARY_DIR "/kavro-db"), {"import-sheet", reg.dbPath(), path});
    QVERIFY(p.waitForFinished(120000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), said.isEmpty() ? 0 : 1);
    if (!said.isEmpty()) {
        QCOMPARE(reg.count("data"), 0);
        QVERIFY2(err.contains(said), qPrintable(err.left(2000)));
        return;
    }
    QCOMPARE(reg.rows("SELECT coalesce(F_BZ, ''), coalesce(F_DQ, '') FROM data WHERE F_IP = '10.0.0.1'"),
             QList<QStringList>{remarkExpires});
}

void TstSheets::wideSheetIsPreviewed()
{
    // 20 rows of 16,384 columns: the IP in the first, the customer in the last.
    TempRegister reg;
    QTemporaryDir tmp;
    const QString path = tmp.filePath("wide.csv");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray middle = QByteArray(16382, ',');
        f.write("服务器IP" + middle + ",客户\n");
        for (int r = 0; r < 19; ++r)
            f.write("10.8.0." + QByteArray::number(r + 1) + middle + ",新客户\n");
    }
    MainWindow main(reg.programDir());
    waitForLists();
    logIn(main);
    QVERIFY(main.importSheetFrom(path));
    SheetImportWindow *w = main.importWindow();
    QVERIFY(w);
    // As many columns as a person maps by hand; the header's own mapping reaches the last.
    QCOMPARE(w->findChild<QTableWidget *>(SheetImportNames::mapping)->rowCount(), SheetImportWindow::kMappedColumns);
    QCOMPARE(int(w->plan().toStore.size()), 19);
    QCOMPARE(w->plan().toStore.front().server.customer, QStringLiteral("新客户"));
    w->close();
}

void TstSheets::readingCanBeCancelled()
{
    // A sheet that takes a while to read: 取消 in the dialog that shows at once ends it, no preview.
    TempRegister reg;
    QTemporaryDir tmp;
    const QString path = tmp.filePath("big.csv");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("服务器IP,备注\n");
        const QByteArray remark(200, 'r');
        for (int i = 0; i < 200000; ++i)
            f.write("10." + QByteArray::number(i >> 16) + "." + QByteArray::number((i >> 8) & 255) + "." +
                    QByteArray::number(i & 255) + "," + remark + "\n");
    }
    MainWindow main(reg.programDir());
    waitForLists();
    logIn(main);
    QString seen;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *progress = qobject_cast<QProgressDialog *>(w);
                progress && progress->isVisible() && seen.isEmpty()) {
                seen = progress->labelText();
                progress->cancel();
            }
    });
    poll.start(0);
    QVERIFY(!main.importSheetFrom(path));
    QCOMPARE(seen, QStringLiteral("正在读取表格…"));
    QVERIFY(!main.importWindow());
    QCOMPARE(reg.count("data"), 0);
}

void TstSheets::fullDiskDuringImport()
{
    SQLITE_FILE_ONLY();
    // A small file system that fills up during the import.
    QTemporaryDir disk;
    QProcess mount;
    mount.start("mount", {"-t", "tmpfs", "-o", "size=3m", "tmpfs", disk.path()});
    if (!mount.waitForFinished(30000) || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0)
        QSKIP("no small file system can be mounted here (needs root)");
    auto unmount = qScopeGuard([&] { QProcess::execute("umount", {disk.path()}); });
    const QString db = disk.path() + "/kavrodb.mdb";
    QTemporaryDir sheetDir;
    const QString sheetPath = sheetDir.path() + "/big.csv";
    {
        QFile f(sheetPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("服务器IP,备注\n");
        for (int i = 0; i < 30000; ++i)
            f.write(QStringLiteral("10.%1.%2.%3,%4\n")
                        .arg(i >> 16)
                        .arg((i >> 8) & 255)
                        .arg(i & 255)
                        .arg(QString(80, QChar(u'备')))
                        .toUtf8());
    }
    auto run = [](const QStringList &args, QString *out) {
        QProcess p;
        p.start(QStringLiteral(KAVRO_BINARY_DIR "/kavro-db"), args);
        p.waitForFinished(120000);
        *out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        return p.exitCode();
    };
    QString out;
    QCOMPARE(run({"init", db}, &out), 0);
    QCOMPARE(run({"import-sheet", db, sheetPath}, &out), 1);
    QVERIFY2(out.contains("the disk is full") && out.contains("the register is as it was"), qPrintable(out));
    // Meanwhile check tells the write cut short from damage.
    const bool journalLeft = QFileInfo(db + "-journal").size() > 0;
    QCOMPARE(run({"check", db}, &out), 0);
    QVERIFY2(out.contains("is sound"), qPrintable(out));
    QCOMPARE(out.contains("a write was cut short"), journalLeft);
    // Opened again, the register is as before: the administrator, no server.
    RegisterDb reg;
    QVERIFY(reg.open(db).ok());
    QCOMPARE(reg.serverKeys(ServerQuery::all()).value.size(), size_t(0));
    QVERIFY(reg.administrator().value.has_value());
    reg.close();
    QVERIFY(!QFileInfo(db + "-journal").exists());
}

namespace {
SheetServer row(int sheetRow, const QString &ip, const QString &customer = {})
{
    SheetServer s;
    s.sheetRow = sheetRow;
    s.server.ip = ip;
    s.server.customer = customer;
    s.server.number = QStringLiteral("N%1").arg(sheetRow);
    return s;
}
} // namespace

void TstSheets::checksBeforeWriting_data()
{
    QTest::addColumn<std::vector<SheetServer>>("rows");
    QTest::addColumn<bool>("skipExisting");
    QTest::addColumn<QStringList>("problems"); // "row ip what"
    QTest::addColumn<QStringList>("newCustomers");
    QTest::addColumn<int>("toStore");
    QTest::newRow("clean, one new customer named twice")
        << std::vector<SheetServer>{row(2, "10.0.0.1", "新客户甲"), row(3, "10.0.0.2", "新客户甲"),
                                    row(4, "10.0.0.3", "甲公司")}
        << false << QStringList{} << QStringList{"新客户甲"} << 3;
    QTest::newRow("every problem listed at once")
        << std::vector<SheetServer>{row(2, ""), row(3, "10.0.0.1"), row(4, "10.0.0.1"), row(5, "10.9.9.9"),
                                    row(6, "10.0.0.2")}
        << false << QStringList{"2  IP 为空", "4 10.0.0.1 表格中重复（第 3 行已有）", "5 10.9.9.9 已存在"}
        << QStringList{} << 2;
    QTest::newRow("stored IPs skipped when asked") << std::vector<SheetServer>{row(2, "10.9.9.9"), row(3, "10.0.0.1")}
                                                   << true << QStringList{} << QStringList{} << 1;
}

void TstSheets::checksBeforeWriting()
{
    QFETCH(std::vector<SheetServer>, rows);
    QFETCH(bool, skipExisting);
    QFETCH(QStringList, problems);
    QFETCH(QStringList, newCustomers);
    QFETCH(int, toStore);
    TempRegister reg;
    QVERIFY(reg.exec("INSERT INTO data (F_IP) VALUES ('10.9.9.9')"));
    QVERIFY(reg.exec("INSERT INTO kehu (K_DD, K_KH, K_LX) VALUES ('20001', '甲公司', '')"));
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    const Read<SheetPlan> plan = planSheetImport(db, rows, skipExisting);
    QVERIFY(plan.ok());
    QStringList said;
    for (const SheetProblem &p : plan.value.problems)
        said << QStringLiteral("%1 %2 %3").arg(p.sheetRow).arg(p.ip, p.what);
    QCOMPARE(said, problems);
    QCOMPARE(plan.value.newCustomers, newCustomers);
    QCOMPARE(int(plan.value.toStore.size()), toStore);
}

void TstSheets::allOrNothing()
{
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    std::vector<ServerRecord> servers;
    for (int i = 0; i < 30; ++i)
        servers.push_back(row(i + 2, QStringLiteral("10.1.0.%1").arg(i), "新客户").server);
    // The database refuses the 21st: nothing at all is stored, the new customer neither.
    QVERIFY(reg.refuse("BEFORE INSERT ON data", "NEW.F_IP = '10.1.0.20'"));
    QVERIFY(!db.addServersWithCustomers(servers, {"新客户"}).ok());
    QCOMPARE(reg.count("data"), 0);
    QCOMPARE(reg.count("kehu"), 1);
    QVERIFY(reg.dropRefusal("data"));
    // Another program stored one of the IPs meanwhile: refused, naming it, nothing stored.
    QVERIFY(reg.exec("INSERT INTO data (F_IP) VALUES ('10.1.0.7')"));
    const Status raced = db.addServersWithCustomers(servers, {"新客户"});
    QCOMPARE(raced.fault, Fault::Duplicate);
    QCOMPARE(raced.reason, QStringLiteral("10.1.0.7"));
    QCOMPARE(reg.count("data"), 1);
    QVERIFY(reg.exec("DELETE FROM data"));
    // Cancelled after a thousand of 1,200 were written: nothing stored.
    std::vector<ServerRecord> many;
    for (int i = 0; i < 1200; ++i)
        many.push_back(row(i + 2, QStringLiteral("10.2.%1.%2").arg(i / 256).arg(i % 256), "新客户").server);
    size_t asked = 0;
    QVERIFY(!db.addServersWithCustomers(many, {"新客户"}, [&](size_t done) { return (asked = done) < 1000; }).ok());
    QCOMPARE(asked, size_t(1000));
    QCOMPARE(reg.count("data"), 0);
    // Then all of it, each server in the history.
    QVERIFY(db.addServersWithCustomers(servers, {"新客户"}).ok());
    QCOMPARE(reg.count("data"), 30);
    QCOMPARE(reg.count("kehu"), 2);
    // The refused and cancelled attempts left no entry: the 30 servers and the customer, and the
    // other program's insert and deletion.
    QCOMPARE(int(db.history({}, {}, {}).value.size()), 30 + 1 + 2);
}

void TstSheets::commandLine()
{
    if (!QFile::exists(kSheets))
        QSKIP("the shared fixtures are not beside this tree");
    TempRegister reg;
    auto run = [&](const QStringList &args, QString *err = nullptr) {
        QProcess p;
        p.start(QStringLiteral(KAVRO_BINARY_DIR "/kavro-db"), QStringList{"import-sheet", reg.dbPath()} + args);
        p.waitForFinished(120000);
        if (err)
            *err = QString::fromUtf8(p.readAllStandardError());
        return std::pair<int, QString>(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()));
    };
    auto [code, out] = run({kSheets + "/servers-gbk.csv", "--dry-run"});
    QCOMPARE(code, 0);
    QCOMPARE(reg.count("data"), 0);
    std::tie(code, out) = run({kSheets + "/servers-gbk.csv"});
    QCOMPARE(code, 0);
    QVERIFY2(out.contains(QStringLiteral("已导入 60 台服务器")), qPrintable(out));
    QString err;
    std::tie(code, out) = run({kSheets + "/servers-libreoffice.xlsx"}, &err);
    QCOMPARE(code, 1);
    QCOMPARE(err.count(QStringLiteral("\t已存在\n")), 60);
    QCOMPARE(reg.count("data"), 60);
    std::tie(code, out) = run({kSheets + "/servers-openpyxl.xlsx", "--sheet", "服务器", "--skip-existing"});
    QCOMPARE(code, 0);
    QCOMPARE(reg.count("data"), 120);
    std::tie(code, out) = run({kSheets + "/servers-openpyxl.xlsx", "--sheet", "说明"});
    QCOMPARE(code, 1);
    std::tie(code, out) = run({});
    QCOMPARE(code, 2);
}

namespace {
QStringList column(QTableWidget *table, int c)
{
    QStringList out;
    for (int r = 0; r < table->rowCount(); ++r)
        out << (table->item(r, c) ? table->item(r, c)->text() : QString());
    return out;
}

QComboBox *mappingBox(SheetImportWindow &w, int sheetColumn)
{
    auto *mapping = w.findChild<QTableWidget *>(SheetImportNames::mapping);
    return qobject_cast<QComboBox *>(mapping->cellWidget(sheetColumn, 2));
}

QPushButton *importButton(SheetImportWindow &w)
{
    return w.findChild<QPushButton *>(SheetImportNames::importButton);
}

QString summary(SheetImportWindow &w)
{
    return w.findChild<QLabel *>(SheetImportNames::summary)->text();
}

SheetTable sheet(const QList<QStringList> &rows)
{
    return SheetTable{QStringLiteral("服务器"), rows};
}
} // namespace

void TstSheets::previewListsEveryProblem()
{
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    ServerRecord stored;
    stored.ip = "10.0.0.3";
    QVERIFY(db.addServer(stored).ok());
    // A title row above the header, operators' own column names, dates in three spellings.
    std::vector<SheetTable> sheets{sheet({{"2026 年机房台账"},
                                          {"编号", "IP地址", "开通日期", "到期日", "所属客户", "说明"},
                                          {"A1", "10.0.0.1", "2026/1/5", "2027年1月5日", "新客户甲", "含 KVM"},
                                          {"A2", "", "2026.2.1", "", "", ""},
                                          {"A3", "10.0.0.1", "", "", "", ""},
                                          {"A4", "10.0.0.3", "", "", "", ""},
                                          {"A5", " 10.0.0.5 ", "明年", "", "新客户乙", ""}})};
    SheetImportWindow w(db, "/tmp/台账.xlsx", sheets);
    // The columns found: 编号, IP, 上架时间, 到期时间, 客户, 备注.
    QStringList mapped;
    for (int c = 0; c < 6; ++c)
        mapped << mappingBox(w, c)->currentText();
    QCOMPARE(mapped, (QStringList{"编号", "服务器IP", "上架时间", "到期时间", "客户", "备注"}));
    // The rows as they will be stored, with their rows in the sheet.
    auto *preview = w.findChild<QTableWidget *>(SheetImportNames::preview);
    QCOMPARE(column(preview, 0), (QStringList{"3", "4", "5", "6", "7"}));
    QCOMPARE(column(preview, 2), (QStringList{"10.0.0.1", "", "10.0.0.1", "10.0.0.3", "10.0.0.5"}));
    QCOMPARE(column(preview, 4), (QStringList{"2026-01-05", "2026-02-01", "", "", "明年"}));
    QCOMPARE(column(preview, 5), (QStringList{"2027-01-05", "", "", "", ""}));
    // Every problem at once with its row, then the customers the import would create.
    auto *problems = w.findChild<QTableWidget *>(SheetImportNames::problems);
    // (明年 is no date: named, not stored as one.)
    QCOMPARE(column(problems, 0), (QStringList{"4", "5", "6", "7", ""}));
    QCOMPARE(column(problems, 1), (QStringList{"", "10.0.0.1", "10.0.0.3", "10.0.0.5", "新客户甲"}));
    QCOMPARE(column(problems, 2),
             (QStringList{"IP 为空", "表格中重复（第 3 行已有）", "已存在", "上架时间不是日期：明年", "新客户"}));
    QVERIFY(!importButton(w)->isEnabled());
    QCOMPARE(summary(w), QStringLiteral("有 4 个问题，不能导入：请修改表格，或选择跳过已存在的服务器。"));
    // Skipping the stored one leaves the other problems: still refused.
    w.findChild<QRadioButton *>(SheetImportNames::skipStored)->setChecked(true);
    QCOMPARE(column(problems, 2),
             (QStringList{"IP 为空", "表格中重复（第 3 行已有）", "上架时间不是日期：明年", "新客户"}));
    QVERIFY(!importButton(w)->isEnabled());
    QCOMPARE(reg.count("data"), 1);
}

void TstSheets::mappingChangedInTheWindow()
{
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    ServerRecord stored;
    stored.ip = "10.0.0.2";
    QVERIFY(db.addServer(stored).ok());
    // The IP column's title names no field: the sheet cannot be imported until the user says.
    std::vector<SheetTable> sheets{sheet({{"编号", "地址", "客户", "备注"},
                                          {"B1", "10.0.0.1", "星辰数据", "备注一"},
                                          {"B2", "10.0.0.2", "星辰数据", "备注二"}})};
    SheetImportWindow w(db, "/tmp/b.csv", sheets);
    QCOMPARE(mappingBox(w, 1)->currentText(), SheetImportTexts::notImported);
    QVERIFY(!importButton(w)->isEnabled());
    QCOMPARE(summary(w), SheetImportTexts::noIpColumn);
    mappingBox(w, 1)->setCurrentText("服务器IP");
    QCOMPARE(summary(w), QStringLiteral("有 1 个问题，不能导入：请修改表格，或选择跳过已存在的服务器。"));
    w.findChild<QRadioButton *>(SheetImportNames::skipStored)->setChecked(true);
    QCOMPARE(summary(w), QStringLiteral("将导入 1 台服务器，新建 1 个客户。（1 台已存在，跳过）"));
    // 备注 not wanted: the column is left out.
    mappingBox(w, 3)->setCurrentText(SheetImportTexts::notImported);
    QSignalSpy imported(&w, &SheetImportWindow::imported);
    QVERIFY(importButton(w)->isEnabled());
    importButton(w)->click();
    QCOMPARE(imported.size(), 1);
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("已导入 1 台服务器，新建 1 个客户。"));
    QCOMPARE(reg.rows("SELECT F_BH, F_IP, F_KH, coalesce(F_BZ, '') FROM data WHERE F_IP = '10.0.0.1'"),
             (QList<QStringList>{{"B1", "10.0.0.1", "星辰数据", ""}}));
    QCOMPARE(reg.rows("SELECT K_KH FROM kehu WHERE K_KH = '星辰数据'"), (QList<QStringList>{{"星辰数据"}}));
}

void TstSheets::importedFromTheMainWindow()
{
    TempRegister reg;
    QTemporaryDir tmp;
    const QString path = tmp.filePath("台账.csv");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(
            gbk("服务器编号,服务器IP,到期时间,客户\r\nC1,10.9.0.1,2027/3/1,甲公司\r\nC2,10.9.0.2,2027/3/2,乙公司\r\n"));
    }
    MainWindow main(reg.programDir());
    waitForLists();
    logIn(main);
    QAction *item = nullptr;
    for (QAction *a : main.findChild<QMenu *>(MainNames::menu)->actions())
        if (a->text() == MainTexts::importItem)
            item = a;
    QVERIFY(item);
    QCOMPARE(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_I));
    QVERIFY(main.importSheetFrom(path));
    SheetImportWindow *w = main.importWindow();
    QVERIFY(w);
    QCOMPARE(summary(*w), QStringLiteral("将导入 2 台服务器，新建 2 个客户。"));
    importButton(*w)->click();
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("已导入 2 台服务器，新建 2 个客户。"));
    QTRY_VERIFY(!main.importWindow());
    QCOMPARE(listedIps(main), (QStringList{"10.9.0.1", "10.9.0.2"}));
    QStringList customers;
    auto *combo = main.findChild<QComboBox *>(MainNames::customerCombo);
    for (int i = 0; i < combo->count(); ++i)
        customers << combo->itemText(i);
    QVERIFY(customers.contains("甲公司") && customers.contains("乙公司"));
}

void TstSheets::cancelledImportStoresNothing()
{
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    QList<QStringList> rows{{"服务器IP", "客户"}};
    for (int i = 0; i < 1500; ++i)
        rows << QStringList{QStringLiteral("10.7.%1.%2").arg(i / 256).arg(i % 256), "新客户"};
    SheetImportWindow w(db, "/tmp/c.csv", {sheet(rows)});
    QVERIFY(importButton(w)->isEnabled());
    const int customers = reg.count("kehu");
    // 取消 pressed in the progress dialog once it shows.
    bool pressed = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        if (auto *progress = w.findChild<QProgressDialog *>(); progress && progress->isVisible() && !pressed) {
            pressed = true;
            progress->cancel();
        }
    });
    poll.start(0);
    importButton(w)->click();
    QVERIFY(pressed);
    QCOMPARE(MessageBox::shown().last().text, SheetImportTexts::cancelled);
    QCOMPARE(reg.count("data"), 0);
    QCOMPARE(reg.count("kehu"), customers);
}

void TstSheets::unreadableFileIsSaid()
{
    TempRegister reg;
    QTemporaryDir tmp;
    const QString path = tmp.filePath("坏.xlsx");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("PK\x03\x04 not a workbook");
    }
    MainWindow main(reg.programDir());
    waitForLists();
    logIn(main);
    QVERIFY(!main.importSheetFrom(path));
    QVERIFY(!main.importWindow());
    QCOMPARE(MessageBox::shown().last().style, MsgStyle::Error);
    QVERIFY(MessageBox::shown().last().text.startsWith(QStringLiteral("无法读取表格：")));
}

QTEST_MAIN(TstSheets)
#include "tst_sheets.moc"
