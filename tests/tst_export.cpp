// Exporting the list shown: CSV read back byte for byte, XLSX read back from its sheet XML, from the
// main window and from `kavro-db export`.
#include "core/fileops/exporter.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"
#include "testsupport.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"
#include "widgets/reportlist.h"

#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QXmlStreamReader>
#include <unistd.h>

namespace {
const QString kTool = QStringLiteral(KAVRO_BINARY_DIR "/kavro-db");
const QString kHeaderCsv = QStringLiteral("编号,服务器IP,所在机柜,上架时间,到期时间,下架时间,客户,备注\r\n");

// One cell of a sheet as stored: its text (or number), whether it is a string, and its style.
struct Cell {
    QString value;
    bool string = false;
    int style = 0;
};
using Sheet = QList<QList<Cell>>;

QByteArray unzipped(const QString &xlsx, const QString &member)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), xlsx, member});
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}

// A small reader of what the exporter writes: inline strings and numbers, row by row.
Sheet readSheet(const QString &xlsx, bool *formulas)
{
    Sheet rows;
    QXmlStreamReader xml(unzipped(xlsx, QStringLiteral("xl/worksheets/sheet1.xml")));
    Cell cell;
    int column = -1;
    *formulas = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const auto name = xml.name();
        if (name == QLatin1String("row")) {
            rows.append(QList<Cell>());
        } else if (name == QLatin1String("c")) {
            const QString ref = xml.attributes().value("r").toString();
            column = ref.at(0).unicode() - 'A';
            cell = {};
            cell.string = xml.attributes().value("t") == QLatin1String("inlineStr");
            cell.style = xml.attributes().value("s").toInt();
            while (rows.last().size() < column)
                rows.last().append(Cell{});
            rows.last().append(cell);
        } else if (name == QLatin1String("t") || name == QLatin1String("v")) {
            // Characters XML cannot hold as they are are written as _xHHHH_, as Excel reads them.
            const QString text = xml.readElementText();
            static const QRegularExpression escaped(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
            QString decoded;
            qsizetype at = 0;
            for (const QRegularExpressionMatch &m : escaped.globalMatch(text)) {
                decoded += text.mid(at, m.capturedStart() - at) + QChar(m.captured(1).toUShort(nullptr, 16));
                at = m.capturedEnd();
            }
            rows.last()[column].value = decoded + text.mid(at);
        } else if (name == QLatin1String("f")) {
            *formulas = true;
        }
    }
    return rows;
}

QDate excelDate(const QString &serial)
{
    return QDate(1899, 12, 30).addDays(qint64(serial.toDouble()));
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TstExport : public QObject {
    Q_OBJECT
private slots:
    void init();
    void chooserNamesTheFile_data();
    void chooserNamesTheFile();
    void cleanup();

    void filteredAndSortedListAsShown();
    void hostileTextsStayTexts();
    void datesReadableAndNot();
    void emptyList();
    void cancelledMidwayLeavesNothing();
    void whatAKilledExportLeftIsRemoved();
    void progressDialogCancels();
    void unwritableTargetSaysWhyAndLeavesNothing();
    void commandLine();

private:
    std::unique_ptr<TempRegister> m_reg;
    std::unique_ptr<MainWindow> m_main;
    QString out(const QString &name) const { return m_reg->programDir() + "/" + name; }
    QStringList filesBesideTarget() const { return QDir(m_reg->programDir()).entryList(QDir::Files | QDir::Hidden); }
};

void TstExport::init()
{
    resetProgramState();
    m_reg = std::make_unique<TempRegister>();
    QVERIFY(m_reg->exec("INSERT INTO data (F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ) VALUES "
                        "('甲公司', 'SV-9',  '10.0.0.1', 'C1', '2008-11-23', '2009/3/9', '', '第一行\r\n第二行'),"
                        "('乙公司', 'SV-10', '10.0.0.2', 'C2', '', 'soon', '', ''),"
                        "('甲公司', 'SV-2',  '10.0.0.3', 'C1', '2010年1月5日', '2009年13月1日', '', 'x')"));
    m_main = std::make_unique<MainWindow>(m_reg->programDir());
    waitForLists();
}

void TstExport::chooserNamesTheFile_data()
{
    QTest::addColumn<QString>("typed"); // empty: 取消
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("written");
    QTest::newRow("CSV chosen, no ending typed") << "清单"
                                                 << "CSV 文件 (*.csv)"
                                                 << "清单.csv";
    QTest::newRow("workbook chosen, no ending typed") << "清单"
                                                      << "Excel 工作簿 (*.xlsx)"
                                                      << "清单.xlsx";
    QTest::newRow("the typed ending wins") << "清单.csv"
                                           << "Excel 工作簿 (*.xlsx)"
                                           << "清单.csv";
    QTest::newRow("cancelled") << ""
                               << ""
                               << "";
}

void TstExport::chooserNamesTheFile()
{
    QFETCH(QString, typed);
    QFETCH(QString, filter);
    QFETCH(QString, written);
    FileDialog::clearAsked();
    const QStringList before = QDir(m_reg->programDir()).entryList(QDir::Files);
    FileDialog::setNextFileName(typed.isEmpty() ? QString() : out(typed), filter);
    m_main->exportListAs();
    QCOMPARE(FileDialog::asked().size(), 1);
    QCOMPARE(FileDialog::asked()[0].caption, QStringLiteral("导出列表"));
    QVERIFY(FileDialog::asked()[0].proposed.endsWith(
        QStringLiteral("服务器列表-%1.xlsx").arg(QDate::currentDate().toString("yyyyMMdd"))));
    QStringList added = QDir(m_reg->programDir()).entryList(QDir::Files);
    for (const QString &file : before)
        added.removeAll(file);
    QCOMPARE(added, written.isEmpty() ? QStringList() : QStringList{written});
    QCOMPARE(MessageBox::shown().size(), written.isEmpty() ? 0 : 1);
}

void TstExport::cleanup()
{
    m_main.reset();
    m_reg.reset();
}

void TstExport::filteredAndSortedListAsShown()
{
    search(*m_main, 3, "C1");
    m_main->show();
    QHeaderView *header = m_main->serverList()->horizontalHeader();
    for (int i = 0; i < 2; ++i) // 编号, descending: numbers by value
        emit header->sectionClicked(0);
    QCOMPARE(listedIps(*m_main), (QStringList{"10.0.0.1", "10.0.0.3"}));
    QVERIFY(m_main->exportList(out("list.csv")));
    QCOMPARE(MessageBox::shown().last().text, "已导出 2 台服务器到：" + QDir::toNativeSeparators(out("list.csv")));
    QCOMPARE(MessageBox::shown().last().style, 0x40);
    QCOMPARE(fileBytes(out("list.csv")),
             QByteArray("\xEF\xBB\xBF") +
                 (kHeaderCsv + "SV-9,10.0.0.1,C1,2008-11-23,2009/3/9,,甲公司,\"第一行\r\n第二行\"\r\n"
                               "SV-2,10.0.0.3,C1,2010年1月5日,2009年13月1日,,甲公司,x\r\n")
                     .toUtf8());
    QVERIFY(m_main->exportList(out("list.xlsx")));
    bool formulas = true;
    const Sheet sheet = readSheet(out("list.xlsx"), &formulas);
    QVERIFY(!formulas);
    QCOMPARE(sheet.size(), 3);
    QStringList titles;
    for (const Cell &c : sheet[0]) {
        titles << c.value;
        QVERIFY(c.string && c.style != 0); // bold
    }
    QCOMPARE(titles, serverListTitles());
    QCOMPARE(sheet[1][1].value, QStringLiteral("10.0.0.1"));
    QVERIFY(sheet[1][1].string); // an IP stays text
    QCOMPARE(sheet[2][0].value, QStringLiteral("SV-2"));
    QCOMPARE(sheet[1][7].value, QStringLiteral("第一行\r\n第二行"));
    const QByteArray book = unzipped(out("list.xlsx"), "xl/workbook.xml");
    QVERIFY(book.contains("name=\"服务器列表\""));
    const QByteArray sheetXml = unzipped(out("list.xlsx"), "xl/worksheets/sheet1.xml");
    QVERIFY(sheetXml.contains("ySplit=\"1\"") && sheetXml.contains("state=\"frozen\""));
    QVERIFY(unzipped(out("list.xlsx"), "xl/styles.xml").contains("<b/>"));
    QVERIFY(sheetXml.contains("<cols>")); // widths set
    QCOMPARE(filesBesideTarget().filter(".part").size(), 0);
}

void TstExport::hostileTextsStayTexts()
{
    const QString remark = QString(10 * 1024, QChar(u'文'));
    const QStringList texts = {"say \"hi\", then go",
                               "=cmd|' /C calc'!A0",
                               "+1",
                               "-2",
                               "@SUM(A1)",
                               "\tlead",
                               "a\r\nb",
                               QString::fromUtf8("emoji \xF0\x9F\x98\x80"),
                               remark,
                               "_x0041_ and _x005F_"};
    QVERIFY(m_reg->exec("DELETE FROM data"));
    for (int i = 0; i < texts.size(); ++i) {
        QString t = texts[i];
        QVERIFY(m_reg->exec(QStringLiteral("INSERT INTO data (F_BH, F_IP, F_BZ) VALUES ('%1', 'ip%2', '')")
                                .arg(t.replace("'", "''"))
                                .arg(i)));
    }
    m_main->fillServerList();
    QVERIFY(m_main->exportList(out("h.csv")));
    const QString csv = QString::fromUtf8(fileBytes(out("h.csv")).mid(3));
    // A tab, like a comma or a semicolon, is quoted: no reader takes it for a separator.
    const QStringList expected = {"\"say \"\"hi\"\", then go\"",
                                  "'=cmd|' /C calc'!A0",
                                  "'+1",
                                  "'-2",
                                  "'@SUM(A1)",
                                  "\"'\tlead\"",
                                  "\"a\r\nb\"",
                                  QString::fromUtf8("emoji \xF0\x9F\x98\x80"),
                                  remark,
                                  "_x0041_ and _x005F_"};
    QString want = kHeaderCsv;
    for (int i = 0; i < expected.size(); ++i)
        want += expected[i] + ",ip" + QString::number(i) + ",,,,,,\r\n";
    QCOMPARE(csv, want);
    QVERIFY(m_main->exportList(out("h.xlsx")));
    bool formulas = true;
    const Sheet sheet = readSheet(out("h.xlsx"), &formulas);
    QVERIFY(!formulas);
    for (int i = 0; i < texts.size(); ++i) {
        QVERIFY(sheet[i + 1][0].string);
        QCOMPARE(sheet[i + 1][0].value, texts[i]); // exactly as typed: a string is never run
    }
}

void TstExport::datesReadableAndNot()
{
    QVERIFY(m_main->exportList(out("d.xlsx")));
    bool formulas = true;
    const Sheet sheet = readSheet(out("d.xlsx"), &formulas);
    // 上架时间 2008-11-23 and 2010年1月5日, 到期时间 2009/3/9: real dates; 'soon' and 2009年13月1日: texts.
    QVERIFY(!sheet[1][3].string);
    QCOMPARE(excelDate(sheet[1][3].value), QDate(2008, 11, 23));
    QCOMPARE(excelDate(sheet[1][4].value), QDate(2009, 3, 9));
    QCOMPARE(excelDate(sheet[3][3].value), QDate(2010, 1, 5));
    QVERIFY(sheet[1][3].style != 0);
    QVERIFY(unzipped(out("d.xlsx"), "xl/styles.xml").contains("formatCode=\"yyyy-mm-dd\""));
    QVERIFY(sheet[2][4].string);
    QCOMPARE(sheet[2][4].value, QStringLiteral("soon"));
    QCOMPARE(sheet[3][4].value, QStringLiteral("2009年13月1日"));
}

void TstExport::emptyList()
{
    search(*m_main, 1, "no such IP");
    QCOMPARE(m_main->serverList()->rowCount(), 0);
    QVERIFY(m_main->exportList(out("e.csv")));
    QCOMPARE(fileBytes(out("e.csv")), QByteArray("\xEF\xBB\xBF") + kHeaderCsv.toUtf8());
    QCOMPARE(MessageBox::shown().last().text, "已导出 0 台服务器到：" + QDir::toNativeSeparators(out("e.csv")));
    QVERIFY(m_main->exportList(out("e.xlsx")));
    bool formulas = true;
    QCOMPARE(readSheet(out("e.xlsx"), &formulas).size(), 1);
}

void TstExport::cancelledMidwayLeavesNothing()
{
    RegisterDb db;
    QVERIFY(db.open(m_reg->dbPath()).ok());
    QVERIFY(m_reg->exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                        "INSERT INTO data (F_BH, F_IP) SELECT 'N' || i, 'ip' || i FROM n"));
    const std::vector<qint64> keys = db.serverKeys(ServerQuery::all()).value;
    for (ExportFormat format : {ExportFormat::Csv, ExportFormat::Xlsx}) {
        // An older file of that name stays as it was.
        const QString path = out(format == ExportFormat::Csv ? "c.csv" : "c.xlsx");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("older");
        old.close();
        int calls = 0;
        const ExportResult r = exportServers(db, keys, path, format, [&](qint64 written, qint64 total) {
            [&] { QVERIFY(written < total); }();
            return ++calls < 2;
        });
        QVERIFY(r.cancelled);
        QCOMPARE(fileBytes(path), QByteArray("older"));
        QCOMPARE(filesBesideTarget().filter(".part").size(), 0);
    }
}

void TstExport::whatAKilledExportLeftIsRemoved()
{
    // Temporary files a killed export left beside its target (the hidden form of earlier versions
    // too), and files that only look alike.
    const QStringList left = {".k.csv.0123abcd.part", "k.csv.part-89abcdef"};
    const QStringList others = {".other.csv.0123abcd.part", "k.csv.part-xyz", "k.csv.part-89abcdef.keep"};
    for (const QString &name : left + others) {
        QFile f(out(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("left behind");
    }
    QVERIFY(m_main->exportList(out("k.csv")));
    for (const QString &name : left)
        QVERIFY2(!QFileInfo::exists(out(name)), qPrintable(name));
    for (const QString &name : others)
        QVERIFY2(QFileInfo::exists(out(name)), qPrintable(name));
}

void TstExport::progressDialogCancels()
{
    QVERIFY(m_reg->exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
                        "INSERT INTO data (F_BH, F_IP) SELECT 'N' || i, 'ip' || i FROM n"));
    m_main->fillServerList();
    m_main->show();
    bool sawDialog = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = m_main->findChild<QProgressDialog *>();
        sawDialog = dialog && dialog->isVisible() && dialog->labelText().contains("导出");
        if (dialog)
            dialog->cancel();
    });
    QVERIFY(!m_main->exportList(out("big.xlsx")));
    QVERIFY(sawDialog);
    QVERIFY(!QFileInfo::exists(out("big.xlsx")));
    QCOMPARE(filesBesideTarget().filter(".part").size(), 0);
    QVERIFY(MessageBox::shown().isEmpty()); // a cancel is no failure
}

void TstExport::unwritableTargetSaysWhyAndLeavesNothing()
{
    // A read-only folder; the superuser writes anywhere but on a read-only file system, /proc.
    QString folder = m_reg->programDir() + "/readonly";
    QDir().mkpath(folder);
    const bool root = ::geteuid() == 0;
    if (root)
        folder = QStringLiteral("/proc/self");
    else
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    for (const QString name : {"r.csv", "r.xlsx"}) {
        MessageBox::clearShown();
        QVERIFY(!m_main->exportList(folder + "/" + name));
        QCOMPARE(MessageBox::shown().size(), 1);
        QVERIFY(MessageBox::shown()[0].text.startsWith("导出失败："));
        QVERIFY(MessageBox::shown()[0].text.size() > 5); // with the reason
        QCOMPARE(MessageBox::shown()[0].style, 0x10);
        QVERIFY(!QFileInfo::exists(folder + "/" + name));
    }
    if (!root)
        QVERIFY(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TstExport::commandLine()
{
    // The window's list under a customer filter, sorted, and the same from kavro-db: the same bytes.
    auto *combo = child<QComboBox>(m_main.get(), MainNames::customerCombo);
    combo->addItem("甲公司"); // the filter needs only the name
    combo->setCurrentIndex(combo->count() - 1);
    child<QPushButton>(m_main.get(), MainNames::customerButton)->click();
    m_main->show();
    emit m_main->serverList()->horizontalHeader()->sectionClicked(3); // 上架时间
    QVERIFY(m_main->exportList(out("window.csv")));
    QProcess p;
    p.start(kTool, {"export", m_reg->dbPath(), out("tool.csv"), "--customer", "甲公司", "--sort", "上架时间"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(p.readAllStandardOutput().contains("exported 2 servers"));
    QCOMPARE(fileBytes(out("tool.csv")), fileBytes(out("window.csv")));
    // An existing OUT is refused unless --force.
    p.start(kTool, {"export", m_reg->dbPath(), out("tool.csv"), "--field", "所在机柜", "--equals", "C2"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(fileBytes(out("tool.csv")), fileBytes(out("window.csv")));
    p.start(kTool, {"export", m_reg->dbPath(), out("tool.csv"), "--field", "所在机柜", "--equals", "C2", "--force"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(fileBytes(out("tool.csv")).mid(3)), kHeaderCsv + "SV-10,10.0.0.2,C2,,soon,,乙公司,\r\n");
    p.start(kTool, {"export", m_reg->dbPath(), out("x.xlsx"), "--expiring-within", "3650", "--sort", "到期时间:desc"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    bool formulas = true;
    // Expired ones included: 2009/3/9 is long past; the others are no date.
    const Sheet expiring = readSheet(out("x.xlsx"), &formulas);
    QCOMPARE(expiring.size(), 2);
    QCOMPARE(expiring[1][1].value, QStringLiteral("10.0.0.1"));
    for (const QStringList &bad :
         QList<QStringList>{{"export", m_reg->dbPath(), out("y.txt")},
                            {"export", m_reg->dbPath(), out("y.csv"), "--sort", "nothing"},
                            {"export", m_reg->dbPath(), out("y.csv"), "--customer", "a", "--expiring-within", "3"}}) {
        p.start(kTool, bad);
        QVERIFY(p.waitForFinished(60000));
        QVERIFY(p.exitCode() != 0);
        QVERIFY(!QFileInfo::exists(out("y.csv")) && !QFileInfo::exists(out("y.txt")));
    }
}

QTEST_MAIN(TstExport)
#include "tst_export.moc"
