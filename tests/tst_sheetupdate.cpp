// What an import does with a sheet's problems and with the servers already stored: the four
// choices, the rows with problems given back as a sheet, stored servers updated with every change
// shown first, extra columns kept in 备注, and the round trip through another spreadsheet program.
#include "core/fileops/exporter.h"
#include "core/fileops/sheetimport.h"
#include "core/fileops/sheetreader.h"
#include "core/listcolumns.h"
#include "core/registerdb.h"
#include "importer/sheetimportwindow.h"
#include "importer/sheetimportwindow_names.h"
#include "testsupport.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kSheets = QStringLiteral(KAVRO_SOURCE_DIR "/../shared/fixtures/sheets");

SheetTable sheet(const QList<QStringList> &rows)
{
    return SheetTable{QStringLiteral("服务器"), rows};
}

SheetOptions optionsFor(const SheetHeader &header, SheetMode mode, bool blankClears = false)
{
    SheetOptions options;
    options.mode = mode;
    options.blankClears = blankClears;
    for (int f : header.fields)
        if (f >= 0)
            options.mappedFields.push_back(f);
    return options;
}

Read<SheetPlan> plan(RegisterDb &db, const SheetTable &table, SheetMode mode, bool blankClears = false,
                     bool extras = false)
{
    const std::optional<SheetHeader> header = findHeader(table);
    if (!header)
        return {Status::failed("no header"), {}};
    return planSheetImport(db, sheetServers(table, *header, extras), optionsFor(*header, mode, blankClears));
}

Status store(RegisterDb &db, const SheetPlan &p)
{
    return db.addServersWithCustomers(
        p.toStore.size(), [&](size_t i) -> const ServerRecord & { return p.toStore[i].server; }, p.newCustomers, {},
        p.changePairs());
}

// A server stored as a window would store it.
void addServer(RegisterDb &db, const QString &ip, const QString &expires = {}, const QString &remark = {})
{
    ServerRecord s;
    s.ip = ip;
    s.expires = expires;
    s.remark = remark;
    QVERIFY(db.addServer(s).ok());
}

ServerRecord storedServer(RegisterDb &db, const QString &ip)
{
    const Read<std::vector<ServerRecord>> found = db.serversWithIps({ip});
    return found.ok() && !found.value.empty() ? found.value.front() : ServerRecord{};
}

// "row field: old → new" for each change of a plan.
QStringList changeLines(const SheetPlan &p)
{
    QStringList out;
    for (const SheetChange &c : p.changes)
        for (int f : c.fields)
            out << QStringLiteral("%1 %2: %3 → %4")
                       .arg(c.before.ip, fieldTitle(f), c.before.*listColumns()[size_t(f)].field,
                            c.after.*listColumns()[size_t(f)].field);
    return out;
}

int changesInHistory(RegisterDb &db, const QString &ip)
{
    const Read<std::vector<HistoryEntry>> entries = db.history(ip, {}, {});
    return int(std::count_if(entries.value.begin(), entries.value.end(),
                             [](const HistoryEntry &e) { return e.action == QStringLiteral("修改"); }));
}

// A sheet as operators keep it, with one of each problem.
const QList<QStringList> kTroubledRows = {
    {"服务器清单"},
    {"编号", "服务器IP", "到期时间", "客户", "备注"},
    {"A1", "10.0.0.1", "2027-01-01", "甲公司", "好的"},   // row 3: good
    {"A2", "10.0.0.9", "2027-02-02", "甲公司", ""},       // row 4: stored
    {"A3", "999.1.1", "2027-03-03", "甲公司", ""},        // row 5: no address
    {"A4", "10.0.0.4", "20261304", "甲公司", ""},         // row 6: no date
    {"A5", "10.0.0.5", "2027-05-05", "甲公司", "第一次"}, // row 7: twice in the sheet
    {"A6", "10.0.0.5", "2027-05-06", "甲公司", "第二次"}, // row 8
    {"A7", "10.0.0.7", "20261204", "新客户", ""},         // row 9: good, date as yyyyMMdd
    {"合计", "7 台", "", "", ""},                         // row 10: the footer
};
} // namespace

class TstSheetUpdate : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        MessageBox::setScripted(true);
        MessageBox::clearShown();
    }
    void modesOnOneSheet_data();
    void modesOnOneSheet();
    void sheetOfTheServers_data();
    void sheetOfTheServers();
    void rowsWithProblemsComeBackAsASheet_data();
    void rowsWithProblemsComeBackAsASheet();
    void updateStoredServers_data();
    void updateStoredServers();
    void anotherDeskChangesDuringAnUpdate();
    void extraColumnsIntoRemark_data();
    void extraColumnsIntoRemark();
    void updatePreviewInTheWindow();
    void roundTripThroughLibreOffice();
    void roundTripThroughOwnExport();
    void commandLine();
};

void TstSheetUpdate::modesOnOneSheet_data()
{
    QTest::addColumn<SheetMode>("mode");
    QTest::addColumn<QStringList>("problems"); // "row: what"
    QTest::addColumn<QStringList>("stored");   // IPs stored by the import
    const QStringList each{"5: 不是IP地址：999.1.1", "6: 到期时间不是日期：20261304", "8: 表格中重复（第 7 行已有）",
                           "10: 合计行，不是服务器（7 台）"};
    QTest::newRow("有问题时全部不导入") << SheetMode::RefuseAll
                                        << QStringList{"4: 已存在", each[0], each[1], each[2], each[3]}
                                        << QStringList{};
    QTest::newRow("跳过已存在的服务器") << SheetMode::SkipStored << each << QStringList{};
    QTest::newRow("只导入没有问题的行: both rows of a repeated IP refused")
        << SheetMode::GoodRowsOnly
        << QStringList{"4: 已存在", each[0], each[1], "7: 表格中重复（第 8 行也有）", each[2], each[3]}
        << QStringList{"10.0.0.1", "10.0.0.7"};
    QTest::newRow("更新已存在的服务器") << SheetMode::UpdateStored << each << QStringList{};
}

void TstSheetUpdate::modesOnOneSheet()
{
    QFETCH(SheetMode, mode);
    QFETCH(QStringList, problems);
    QFETCH(QStringList, stored);
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    addServer(db, "10.0.0.9");
    const Read<SheetPlan> p = plan(db, sheet(kTroubledRows), mode);
    QVERIFY(p.ok());
    QStringList said;
    for (const SheetProblem &problem : p.value.problems)
        said << QStringLiteral("%1: %2").arg(problem.sheetRow).arg(problem.what);
    QCOMPARE(said, problems);
    QCOMPARE(p.value.storable(), !stored.isEmpty());
    if (p.value.storable())
        QVERIFY(store(db, p.value).ok());
    QStringList now;
    for (const QStringList &row : reg.rows("SELECT F_IP, F_DQ FROM data ORDER BY F_IP"))
        if (row[0] != "10.0.0.9")
            now << row[0];
    QCOMPARE(now, stored);
    if (!stored.isEmpty())
        QCOMPARE(storedServer(db, "10.0.0.7").expires, QStringLiteral("2026-12-04"));
}

void TstSheetUpdate::sheetOfTheServers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("found");
    // A cover sheet, a sheet of customers (a header but no IP column), two of servers.
    QTest::newRow("any: the first with an IP column") << "" << 2;
    QTest::newRow("the one named") << "机房B" << 3;
    QTest::newRow("named, but without an IP column") << "客户" << -1;
    QTest::newRow("no sheet of that name") << "机房C" << -1;
}

void TstSheetUpdate::sheetOfTheServers()
{
    QFETCH(QString, name);
    QFETCH(int, found);
    const std::vector<SheetTable> book{
        SheetTable{"说明", {{"服务器台账"}, {"2026 年 12 月"}}},
        SheetTable{"客户", {{"客户名称", "备注"}, {"甲公司", ""}}},
        SheetTable{"机房A", {{"标题"}, {"编号", "服务器IP", "到期时间"}, {"A1", "10.0.0.1", "2027-01-01"}}},
        SheetTable{"机房B", {{"服务器IP", "所在机柜"}, {"10.0.1.1", "B-1"}}},
    };
    QCOMPARE(serverSheet(book, name), found);
}

void TstSheetUpdate::rowsWithProblemsComeBackAsASheet_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("a workbook gives a workbook") << "台账.xlsx";
    QTest::newRow("a CSV file gives a CSV file") << "台账.csv";
}

void TstSheetUpdate::rowsWithProblemsComeBackAsASheet()
{
    QFETCH(QString, source);
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    addServer(db, "10.0.0.9");
    QTemporaryDir dir;
    const QString sourcePath = dir.filePath(source);
    SheetImportWindow w(db, sourcePath, {sheet(kTroubledRows)});
    w.findChild<QRadioButton *>(SheetImportNames::goodRows)->setChecked(true);
    QCOMPARE(w.findChild<QLabel *>(SheetImportNames::summary)->text(),
             QStringLiteral("将导入 2 台服务器，新建 2 个客户；6 行有问题，导入时另存为表格，改好后可再导入。"));
    const QString rejects =
        dir.filePath(QFileInfo(source).completeBaseName() + "-有问题的行." + QFileInfo(source).suffix());
    // Asked where: the chooser offers that name beside the source; a name typed without an ending
    // gets the source's.
    FileDialog::clearAsked();
    FileDialog::setNextFileName(dir.filePath(QFileInfo(source).completeBaseName() + "-有问题的行"));
    QVERIFY(w.importRows());
    QCOMPARE(FileDialog::asked().size(), 1);
    QCOMPARE(FileDialog::asked()[0].proposed, rejects);
    QVERIFY(QFileInfo::exists(rejects));
    QCOMPARE(reg.count("data"), 3);
    QCOMPARE(MessageBox::shown().size(), 1);
    QVERIFY(MessageBox::shown()[0].text.contains(QStringLiteral("6 行有问题，已另存到")));
    // The sheet to fix: the header with 问题 after it, each row as the source had it.
    QString error;
    const std::optional<std::vector<SheetTable>> back = SheetImportWindow::readFile(rejects, &error);
    QVERIFY2(back, qPrintable(error));
    QList<QStringList> rows;
    for (const SheetRow &r : back->front().rows)
        rows << r.toStringList();
    QCOMPARE(rows.size(), 7);
    QCOMPARE(rows[0], (QStringList{"编号", "服务器IP", "到期时间", "客户", "备注", "问题"}));
    QCOMPARE(rows[1], (QStringList{"A2", "10.0.0.9", "2027-02-02", "甲公司", "", "已存在"}));
    QCOMPARE(rows[3], (QStringList{"A4", "10.0.0.4", "20261304", "甲公司", "", "到期时间不是日期：20261304"}));
    QCOMPARE(rows[6], (QStringList{"合计", "7 台", "", "", "", "合计行，不是服务器（7 台）"}));
    // Fixed and imported again: the 问题 column is one more the import leaves alone.
    rows[3][2] = "2026-12-31";
    rows[4][4] = "改好了";
    QList<QStringList> fixed{rows[0], rows[3], rows[4]};
    const Read<SheetPlan> again = plan(db, sheet(fixed), SheetMode::RefuseAll);
    QVERIFY(again.ok());
    QVERIFY(again.value.problems.empty());
    QVERIFY(store(db, again.value).ok());
    QCOMPARE(storedServer(db, "10.0.0.4").expires, QStringLiteral("2026-12-31"));
    QCOMPARE(reg.count("data"), 5);
}

void TstSheetUpdate::updateStoredServers_data()
{
    QTest::addColumn<bool>("blankClears");
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<int>("unchanged");
    QTest::newRow("an empty cell leaves the field")
        << false << QStringList{"10.0.0.1 到期时间: 2026-01-01 → 2027-01-01", "10.0.0.1 客户: 甲公司 → 乙公司"} << 2;
    QTest::newRow("空白单元格清空该字段") << true << QStringList{"10.0.0.1 到期时间: 2026-01-01 → 2027-01-01",
                                                                 "10.0.0.1 客户: 甲公司 → 乙公司",
                                                                 "10.0.0.1 备注: 旧备注 → ",
                                                                 "10.0.0.3 到期时间: 2026-05-05 → ",
                                                                 "10.0.0.3 客户: 甲公司 → ",
                                                                 "10.0.0.3 备注: 保留 → "}
                                          << 1;
}

void TstSheetUpdate::updateStoredServers()
{
    QFETCH(bool, blankClears);
    QFETCH(QStringList, changes);
    QFETCH(int, unchanged);
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    QVERIFY(db.addCustomer("甲公司", "").ok());
    const QList<QStringList> storedRows{{"10.0.0.1", "A01", "2026-01-01", "甲公司", "旧备注"},
                                        {"10.0.0.2", "A02", "2026/3/1", "甲公司", "r2"},
                                        {"10.0.0.3", "A03", "2026-05-05", "甲公司", "保留"}};
    for (const QStringList &r : storedRows) {
        ServerRecord s;
        s.ip = r[0];
        s.cabinet = r[1];
        s.expires = r[2];
        s.customer = r[3];
        s.remark = r[4];
        QVERIFY(db.addServer(s).ok());
    }
    // 10.0.0.2's date is the same day in another spelling: no change.
    const SheetTable table = sheet({{"服务器IP", "到期时间", "客户", "备注"},
                                    {"10.0.0.1", "2027-01-01", "乙公司", ""},
                                    {"10.0.0.2", "2026-03-01", "甲公司", "r2"},
                                    {"10.0.0.3", "", "", ""},
                                    {"10.0.0.4", "2027-04-04", "甲公司", "新的"}});
    const Read<SheetPlan> p = plan(db, table, SheetMode::UpdateStored, blankClears);
    QVERIFY(p.ok());
    QVERIFY(p.value.problems.empty());
    QCOMPARE(changeLines(p.value), changes);
    QCOMPARE(p.value.unchanged, unchanged);
    QCOMPARE(int(p.value.toStore.size()), 1);
    QCOMPARE(p.value.newCustomers, QStringList{"乙公司"});
    QVERIFY(store(db, p.value).ok());
    const ServerRecord one = storedServer(db, "10.0.0.1");
    QCOMPARE(one.expires, QStringLiteral("2027-01-01"));
    QCOMPARE(one.customer, QStringLiteral("乙公司"));
    QCOMPARE(one.cabinet, QStringLiteral("A01")); // no column: untouched
    QCOMPARE(one.remark, blankClears ? QString() : QStringLiteral("旧备注"));
    QCOMPARE(storedServer(db, "10.0.0.2").expires, QStringLiteral("2026/3/1")); // not rewritten
    QCOMPARE(storedServer(db, "10.0.0.3").expires, blankClears ? QString() : QStringLiteral("2026-05-05"));
    QCOMPARE(storedServer(db, "10.0.0.4").remark, QStringLiteral("新的"));
    QVERIFY(db.customerNames().value.contains("乙公司"));
    // Each server changed is one entry in the history, as from the modify window.
    QCOMPARE(changesInHistory(db, "10.0.0.1"), 1);
    QCOMPARE(changesInHistory(db, "10.0.0.2"), 0);
    QCOMPARE(changesInHistory(db, "10.0.0.3"), blankClears ? 1 : 0);
    // The same sheet once more changes nothing.
    const Read<SheetPlan> again = plan(db, table, SheetMode::UpdateStored, blankClears);
    QVERIFY(again.value.changes.empty());
    QCOMPARE(again.value.unchanged, 4); // 10.0.0.4 too, stored now
}

void TstSheetUpdate::anotherDeskChangesDuringAnUpdate()
{
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    for (const QString ip : {"10.0.0.1", "10.0.0.2"})
        addServer(db, ip, "2026-01-01", "原来的");
    const SheetTable table = sheet(
        {{"服务器IP", "到期时间"}, {"10.0.0.1", "2027-01-01"}, {"10.0.0.2", "2027-01-01"}, {"10.0.0.3", "2027-01-01"}});
    const Read<SheetPlan> p = plan(db, table, SheetMode::UpdateStored);
    QCOMPARE(int(p.value.changes.size()), 2);
    // Another desk saves 10.0.0.2 between the preview and 导入 (a field the sheet does not touch).
    QVERIFY(reg.exec("UPDATE data SET F_BZ = '另一台电脑改的' WHERE F_IP = '10.0.0.2'"));
    const Status s = store(db, p.value);
    QCOMPARE(s.fault, Fault::Changed);
    QCOMPARE(s.reason, QStringLiteral("10.0.0.2"));
    // Nothing stored: not the first change, not the new server.
    QCOMPARE(storedServer(db, "10.0.0.1").expires, QStringLiteral("2026-01-01"));
    QCOMPARE(reg.count("data"), 2);
    QCOMPARE(changesInHistory(db, "10.0.0.1"), 0);
    // In the window: said, naming the IP, and the changes read again.
    SheetImportWindow w(db, "/tmp/更新.csv", {table});
    w.findChild<QRadioButton *>(SheetImportNames::updateStored)->setChecked(true);
    QVERIFY(reg.exec("UPDATE data SET F_BZ = '又改了' WHERE F_IP = '10.0.0.1'"));
    QVERIFY(!w.importRows());
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown()[0].text,
             QStringLiteral("IP为 10.0.0.1 的服务器刚被其他人修改，没有存入任何数据，请重新检查。"));
    QVERIFY(w.importRows());
    QCOMPARE(storedServer(db, "10.0.0.1").expires, QStringLiteral("2027-01-01"));
    QCOMPARE(storedServer(db, "10.0.0.1").remark, QStringLiteral("又改了"));
    QCOMPARE(reg.count("data"), 3);
}

void TstSheetUpdate::extraColumnsIntoRemark_data()
{
    QTest::addColumn<bool>("extras");
    QTest::addColumn<SheetMode>("mode");
    QTest::addColumn<QString>("remark1"); // 10.0.0.1's 备注 afterwards (new, or stored as "原有")
    QTest::addColumn<QString>("remark2"); // 10.0.0.2's (its remark cell empty)
    QTest::newRow("off: the columns are left out") << false << SheetMode::RefuseAll << "机房A"
                                                   << "";
    QTest::newRow("new servers") << true << SheetMode::RefuseAll << "机房A\n带宽：100M\n联系人：张三\nE列：甲-01"
                                 << "带宽：20M";
    QTest::newRow("update: appended to what the sheet says, or to what is stored")
        << true << SheetMode::UpdateStored << "机房A\n带宽：100M\n联系人：张三\nE列：甲-01"
        << "原有\n带宽：20M";
}

void TstSheetUpdate::extraColumnsIntoRemark()
{
    QFETCH(bool, extras);
    QFETCH(SheetMode, mode);
    QFETCH(QString, remark1);
    QFETCH(QString, remark2);
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    if (mode == SheetMode::UpdateStored)
        for (const QString ip : {"10.0.0.1", "10.0.0.2"})
            addServer(db, ip, {}, "原有");
    const SheetTable table = sheet({{"服务器IP", "备注", "带宽", "联系人", ""},
                                    {"10.0.0.1", "机房A", "100M", "张三", "甲-01"},
                                    {"10.0.0.2", "", "20M", "", ""}});
    const Read<SheetPlan> p = plan(db, table, mode, false, extras);
    QVERIFY(p.ok());
    QVERIFY(p.value.storable());
    QVERIFY(store(db, p.value).ok());
    QCOMPARE(storedServer(db, "10.0.0.1").remark, remark1);
    QCOMPARE(storedServer(db, "10.0.0.2").remark, remark2);
    // Imported again with update: the lines are there already, nothing changes.
    const Read<SheetPlan> again = plan(db, table, SheetMode::UpdateStored, false, extras);
    QVERIFY(again.value.changes.empty());
}

void TstSheetUpdate::updatePreviewInTheWindow()
{
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    addServer(db, "10.0.0.1", "2026-01-01", "旧备注");
    const SheetTable table =
        sheet({{"服务器IP", "到期时间", "备注"}, {"10.0.0.1", "2027-01-01", "新备注"}, {"10.0.0.2", "2027-02-02", ""}});
    SheetImportWindow w(db, "/tmp/更新.xlsx", {table});
    auto *blank = w.findChild<QCheckBox *>(SheetImportNames::blankClears);
    QVERIFY(!blank->isEnabled());                                                      // only with updating
    QVERIFY(!w.findChild<QPushButton *>(SheetImportNames::importButton)->isEnabled()); // 10.0.0.1 is stored
    w.findChild<QRadioButton *>(SheetImportNames::updateStored)->setChecked(true);
    QVERIFY(blank->isEnabled());
    auto *pages = w.findChild<QTabWidget *>(SheetImportNames::pages);
    auto *changes = w.findChild<QTableWidget *>(SheetImportNames::changes);
    QCOMPARE(pages->currentWidget(), changes);
    QCOMPARE(pages->tabText(pages->currentIndex()), QStringLiteral("将要更新的服务器（1 台）"));
    QList<QStringList> lines;
    for (int r = 0; r < changes->rowCount(); ++r) {
        QStringList line;
        for (int c = 0; c < changes->columnCount(); ++c)
            line << changes->item(r, c)->text();
        lines << line;
    }
    QCOMPARE(lines, (QList<QStringList>{{"2", "10.0.0.1", "到期时间", "2026-01-01", "2027-01-01"},
                                        {"2", "10.0.0.1", "备注", "旧备注", "新备注"}}));
    QCOMPARE(w.findChild<QLabel *>(SheetImportNames::summary)->text(),
             QStringLiteral("将更新 1 台服务器（另有 0 行与已存的相同），导入 1 台新服务器，新建 0 个客户。"));
    QVERIFY(w.importRows());
    QCOMPARE(MessageBox::shown().back().text, QStringLiteral("已更新 1 台服务器，导入 1 台新服务器，新建 0 个客户。"));
    QCOMPARE(storedServer(db, "10.0.0.1").remark, QStringLiteral("新备注"));
    QCOMPARE(reg.count("data"), 2);
}

namespace {
// The register as the LibreOffice fixture's source sheet holds it.
void storeSource(RegisterDb &db)
{
    QString error;
    const std::optional<SheetTable> source = readCsvFile(kSheets + "/servers-libreoffice.source.csv", &error);
    QVERIFY2(source, qPrintable(error));
    const Read<SheetPlan> p = plan(db, *source, SheetMode::RefuseAll);
    QVERIFY(p.ok());
    QVERIFY(p.value.problems.empty());
    QVERIFY(store(db, p.value).ok());
}

// The 100 servers whose 到期时间 differs between the register and the sheet, and the one remark.
struct Edits {
    QHash<QString, QString> expires; // IP -> the other 到期时间
    QString remarkIp;
    QString remark;
};

Edits chooseEdits(RegisterDb &db)
{
    Edits edits;
    const Read<std::vector<qint64>> keys = db.serverKeys(ServerQuery{});
    const Read<std::vector<ServerRecord>> all = db.servers(keys.value);
    for (const ServerRecord &s : all.value) {
        if (edits.expires.size() == 100)
            break;
        const QDate d = QDate::fromString(s.expires, "yyyy-MM-dd");
        if (d.isValid())
            edits.expires.insert(s.ip, d.addYears(1).toString("yyyy-MM-dd"));
    }
    // A remark the sheet has (an empty cell would leave the stored one).
    for (auto s = all.value.rbegin(); s != all.value.rend(); ++s)
        if (!s->remark.isEmpty() && !edits.expires.contains(s->ip)) {
            edits.remarkIp = s->ip;
            edits.remark = s->remark + "（已续约）";
            break;
        }
    return edits;
}

void checkRoundTrip(RegisterDb &db, const QString &workbook, const Edits &edits, bool sheetHoldsEdits)
{
    QString error;
    const std::optional<std::vector<SheetTable>> book = SheetImportWindow::readFile(workbook, &error);
    QVERIFY2(book, qPrintable(error));
    const SheetTable *table = nullptr;
    for (const SheetTable &t : *book)
        if (findHeader(t) && findHeader(t)->has(1))
            table = &t;
    QVERIFY(table);
    const Read<SheetPlan> p = plan(db, *table, SheetMode::UpdateStored);
    QVERIFY(p.ok());
    QVERIFY(p.value.problems.empty());
    QVERIFY(p.value.toStore.empty());
    // Exactly the 101 changes: 100 到期时间 and one 备注.
    QCOMPARE(int(p.value.changes.size()), 101);
    int expiries = 0;
    for (const SheetChange &c : p.value.changes) {
        QCOMPARE(c.fields.size(), size_t(1));
        if (c.fields[0] == 4) {
            QVERIFY2(edits.expires.contains(c.before.ip), qPrintable(c.before.ip));
            const QString edited = edits.expires.value(c.before.ip);
            QCOMPARE(sheetHoldsEdits ? c.after.expires : c.before.expires, edited);
            ++expiries;
        } else {
            QCOMPARE(c.fields[0], 7);
            QCOMPARE(c.before.ip, edits.remarkIp);
            QCOMPARE(sheetHoldsEdits ? c.after.remark : c.before.remark, edits.remark);
        }
    }
    QCOMPARE(expiries, 100);
    QVERIFY(store(db, p.value).ok());
    // Each in the history, and nothing left to change.
    for (const QString &ip : edits.expires.keys())
        QCOMPARE(changesInHistory(db, ip), sheetHoldsEdits ? 1 : 2);
    QVERIFY(plan(db, *table, SheetMode::UpdateStored).value.changes.empty());
}
} // namespace

void TstSheetUpdate::roundTripThroughLibreOffice()
{
    if (!QFile::exists(kSheets))
        QSKIP("the shared fixtures are not beside this tree");
    // The register holds the fixture's servers with 100 到期时间 and one remark changed since
    // LibreOffice wrote the workbook: importing it with update brings exactly those back.
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    storeSource(db);
    const Edits edits = chooseEdits(db);
    std::vector<std::pair<ServerRecord, ServerRecord>> changed;
    for (const QString &ip : edits.expires.keys()) {
        ServerRecord s = storedServer(db, ip);
        ServerRecord t = s;
        t.expires = edits.expires.value(ip);
        changed.emplace_back(s, t);
    }
    ServerRecord r = storedServer(db, edits.remarkIp);
    ServerRecord rt = r;
    rt.remark = edits.remark;
    changed.emplace_back(r, rt);
    QVERIFY(db.modifyServers(changed).ok());
    checkRoundTrip(db, kSheets + "/servers-libreoffice.xlsx", edits, false);
}

void TstSheetUpdate::roundTripThroughOwnExport()
{
    if (!QFile::exists(kSheets))
        QSKIP("the shared fixtures are not beside this tree");
    QProcess probe;
    probe.start("/usr/bin/python3", {"-c", "import openpyxl"});
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
        QSKIP("python3-openpyxl is not installed (scripts/install-deps.sh installs it for the tests)");
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    storeSource(db);
    const Edits edits = chooseEdits(db);
    // Exported as the list shows them, then changed by another program (openpyxl) and saved.
    QTemporaryDir dir;
    const QString path = dir.filePath("服务器列表.xlsx");
    const Read<std::vector<qint64>> keys = db.serverKeys(ServerQuery{});
    QVERIFY(exportServers(db, keys.value, path, ExportFormat::Xlsx).status.ok());
    QString script = "import sys, datetime, openpyxl\n"
                     "book = openpyxl.load_workbook(sys.argv[1])\n"
                     "sheet = book.active\n"
                     "edits = {}\n";
    for (const QString &ip : edits.expires.keys())
        script += QStringLiteral("edits['%1'] = datetime.datetime.strptime('%2', '%Y-%m-%d')\n")
                      .arg(ip, edits.expires.value(ip));
    script +=
        QStringLiteral("for row in sheet.iter_rows(min_row=2):\n"
                       "    ip = row[1].value\n"
                       "    if ip in edits:\n"
                       "        row[4].value = edits[ip]\n"
                       "        row[4].number_format = 'yyyy-mm-dd'\n"
                       "    if ip == '%1':\n"
                       "        row[7].value = %2\n"
                       "book.save(sys.argv[1])\n")
            .arg(edits.remarkIp,
                 "'" + QString(edits.remark).replace("\\", "\\\\").replace("'", "\\'").replace("\n", "\\n") + "'");
    QProcess edit;
    edit.start("/usr/bin/python3", {"-c", script, path});
    QVERIFY(edit.waitForFinished(120000));
    QVERIFY2(edit.exitCode() == 0, edit.readAllStandardError().constData());
    checkRoundTrip(db, path, edits, true);
}

void TstSheetUpdate::commandLine()
{
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    addServer(db, "10.0.0.1", "2026-01-01", "甲\t乙");
    QTemporaryDir dir;
    const QString csv = dir.filePath("表.csv");
    QVERIFY(writeTextTable(csv, ExportFormat::Csv, "表",
                           {{"服务器IP", "到期时间", "备注", "带宽"},
                            {"10.0.0.1", "2027-01-01", "", "10M"},
                            {"10.0.0.2", "20270202", "新", ""},
                            {"待分配", "", "", ""}})
                .ok());
    auto run = [&](const QStringList &args, QString *err = nullptr) {
        QProcess p;
        p.start(QStringLiteral(KAVRO_BINARY_DIR "/kavro-db"), QStringList{"import-sheet", reg.dbPath(), csv} + args);
        p.waitForFinished(120000);
        if (err)
            *err = QString::fromUtf8(p.readAllStandardError());
        return std::pair<int, QString>(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()));
    };
    QString err;
    // Updating is refused while a row has a problem; the problem named.
    auto [code, out] = run({"--update", "--dry-run"}, &err);
    QCOMPARE(code, 1);
    QVERIFY2(err.contains(QStringLiteral("4\t待分配\t不是IP地址：待分配\n")), qPrintable(err));
    // Only the good rows, the other one written to fix.
    const QString rejects = dir.filePath("问题行.csv");
    std::tie(code, out) = run({"--good-rows", rejects, "--skip-existing"}, &err);
    QCOMPARE(code, 2); // choices: one at most
    std::tie(code, out) = run({"--good-rows", rejects, "--extra-to-remark", "--dry-run"}, &err);
    QCOMPARE(code, 0);
    QVERIFY(!QFile::exists(rejects));
    QCOMPARE(reg.count("data"), 1);
    std::tie(code, out) = run({"--good-rows", rejects, "--extra-to-remark"}, &err);
    QCOMPARE(code, 0);
    QCOMPARE(reg.count("data"), 2);
    QCOMPARE(storedServer(db, "10.0.0.2").expires, QStringLiteral("2027-02-02"));
    QCOMPARE(storedServer(db, "10.0.0.2").remark, QStringLiteral("新"));
    QString error;
    const std::optional<SheetTable> back = readCsvFile(rejects, &error);
    QVERIFY2(back, qPrintable(error));
    QCOMPARE(back->rows.size(), 3);
    QCOMPARE(back->rows[1].toStringList(), (QStringList{"10.0.0.1", "2027-01-01", "", "10M", "已存在"}));
    QCOMPARE(back->rows[2].toStringList(), (QStringList{"待分配", "", "", "", "不是IP地址：待分配"}));
    // Updating, a dry run: every change as a tab-separated line, nothing stored.
    const QString fixed = dir.filePath("改好.csv");
    QVERIFY(writeTextTable(
                fixed, ExportFormat::Csv, "表",
                {{"服务器IP", "到期时间", "备注"}, {"10.0.0.1", "2027-01-01", ""}, {"10.0.0.2", "2027-02-02", "新"}})
                .ok());
    QProcess p;
    p.start(QStringLiteral(KAVRO_BINARY_DIR "/kavro-db"),
            {"import-sheet", reg.dbPath(), fixed, "--update", "--blank-clears", "--dry-run"});
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()),
             QStringLiteral("row\tIP\tfield\told\tnew\n2\t10.0.0.1\t到期时间\t2026-01-01\t2027-01-01\n"
                            "2\t10.0.0.1\t备注\t甲 乙\t\n"));
    QCOMPARE(storedServer(db, "10.0.0.1").expires, QStringLiteral("2026-01-01"));
    p.start(QStringLiteral(KAVRO_BINARY_DIR "/kavro-db"), {"import-sheet", reg.dbPath(), fixed, "--update"});
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(storedServer(db, "10.0.0.1").expires, QStringLiteral("2027-01-01"));
    QCOMPARE(storedServer(db, "10.0.0.1").remark, QStringLiteral("甲\t乙")); // an empty cell left it
}

QTEST_MAIN(TstSheetUpdate)
#include "tst_sheetupdate.moc"
