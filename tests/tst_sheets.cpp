// Reading spreadsheets operators keep: CSV dialects and encodings, the header finder, the date
// rule, and the fixtures written by real spreadsheet programs.
#include "core/fileops/sheetreader.h"

#include <QFile>
#include <QStringEncoder>
#include <QTest>

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
};

void TstSheets::csvDialectsAndEncodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QStringList>>("rows");
    const QList<QStringList> plain = {{"编号", "IP"}, {"A1", "10.0.0.1"}};
    QTest::newRow("UTF-8, comma, LF") << QString("编号,IP\nA1,10.0.0.1\n").toUtf8() << plain;
    QTest::newRow("UTF-8 with BOM, CR LF") << QByteArray("\xEF\xBB\xBF") + QString("编号,IP\r\nA1,10.0.0.1\r\n").toUtf8()
                                         << plain;
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
    QCOMPARE(table->rows, rows);
}

void TstSheets::headerFinder_data()
{
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<int>("headerRow");
    QTest::addColumn<QList<int>>("fields");
    QTest::newRow("the list's own titles") << QList<QStringList>{{"编号", "服务器IP", "所在机柜", "客户", "备注"}} << 0
                                           << QList<int>{0, 1, 2, 6, 7};
    QTest::newRow("operators' names, a title row above")
        << QList<QStringList>{{"服务器清单（2026年12月）", "", ""}, {"IP地址", "上架日期", "到期日"}} << 1
        << QList<int>{1, 3, 4};
    QTest::newRow("blanks, full-width, case") << QList<QStringList>{{" ＩＰ ", "客户 名称", "开通日期"}} << 0
                                              << QList<int>{1, 6, 3};
    QTest::newRow("unknown columns and a field twice")
        << QList<QStringList>{{"序号", "IP", "机柜", "IP地址", "说明"}} << 0 << QList<int>{-1, 1, 2, -1, 7};
    QTest::newRow("one field only is no header") << QList<QStringList>{{"IP", "其他"}, {"10.0.0.1", "x"}} << -1
                                                 << QList<int>{};
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
    QTest::newRow("dashes") << "2023-1-5" << "2023-01-05";
    QTest::newRow("slashes") << "2023/11/4" << "2023-11-04";
    QTest::newRow("dots") << "2023.11.04" << "2023-11-04";
    QTest::newRow("Chinese") << "2008年11月23日" << "2008-11-23";
    QTest::newRow("blanks around") << " 2023/1/5 " << "2023-01-05";
    QTest::newRow("no such day: kept") << "2023/2/30" << "2023/2/30";
    QTest::newRow("mixed separators: kept") << "2023/1-5" << "2023/1-5";
    QTest::newRow("words: kept") << "长期" << "长期";
    QTest::newRow("empty") << "" << "";
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

QTEST_GUILESS_MAIN(TstSheets)
#include "tst_sheets.moc"
