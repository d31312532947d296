#include "importer/sheetimportwindow.h"

#include "core/listcolumns.h"
#include "core/registerdb.h"
#include "importer/sheetimportwindow_names.h"
#include "widgets/fixedwindow.h"
#include "widgets/messagebox.h"
#include "widgets/offthread.h"
#include "widgets/readonlytable.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
QTableWidget *newTable(QWidget *parent, const QString &name, const QStringList &titles)
{
    QTableWidget *table = newReadOnlyTable(parent, name, titles);
    table->verticalHeader()->setDefaultSectionSize(20);
    return table;
}

QLabel *caption(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("font-weight: bold"));
    return label;
}
} // namespace

std::optional<std::vector<SheetTable>> SheetImportWindow::readFile(const QString &path, QString *error)
{
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        std::optional<SheetTable> table = readCsvFile(path, error);
        if (!table)
            return std::nullopt;
        std::vector<SheetTable> sheets;
        sheets.push_back(std::move(*table));
        return sheets;
    }
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive)) {
        std::optional<std::vector<SheetTable>> sheets = readXlsxFile(path, error);
        if (sheets && sheets->empty()) {
            *error = QStringLiteral("工作簿中没有工作表");
            return std::nullopt;
        }
        return sheets;
    }
    *error = QStringLiteral("只能导入 .xlsx 或 .csv 文件");
    return std::nullopt;
}

SheetImportWindow::SheetImportWindow(RegisterDb &db, const QString &path, std::vector<SheetTable> sheets,
                                     QWidget *parent)
    : QWidget(parent), m_db(db), m_sheets(std::move(sheets))
{
    setObjectName(SheetImportNames::window);
    makeFixedWindow(this, SheetImportTexts::title, 780, 620);
    auto *layout = new QVBoxLayout(this);

    auto *top = new QHBoxLayout;
    auto *file = new QLabel(QStringLiteral("文件：%1").arg(QDir::toNativeSeparators(path)), this);
    file->setObjectName(SheetImportNames::file);
    file->setToolTip(QDir::toNativeSeparators(path));
    file->setMinimumWidth(10);
    top->addWidget(file, 1);
    top->addWidget(new QLabel(QStringLiteral("工作表："), this));
    m_sheet = new QComboBox(this);
    m_sheet->setObjectName(SheetImportNames::sheet);
    m_sheet->setAccessibleName(SheetImportNames::sheet);
    m_sheet->setMinimumWidth(140);
    for (const SheetTable &t : m_sheets)
        m_sheet->addItem(t.name);
    top->addWidget(m_sheet);
    layout->addLayout(top);

    auto *middle = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addWidget(caption(QStringLiteral("列对应"), this));
    m_mapping = newTable(this, SheetImportNames::mapping, {QStringLiteral("列"), QStringLiteral("表头"), QStringLiteral("导入为")});
    m_mapping->setSelectionMode(QAbstractItemView::NoSelection);
    m_mapping->setColumnWidth(0, 36);
    m_mapping->setColumnWidth(1, 110);
    m_mapping->verticalHeader()->setDefaultSectionSize(24);
    m_mapping->setFixedWidth(300);
    left->addWidget(m_mapping);
    middle->addLayout(left);
    auto *right = new QVBoxLayout;
    right->addWidget(caption(QStringLiteral("检查结果"), this));
    m_problems = newTable(this, SheetImportNames::problems, {QStringLiteral("行"), QStringLiteral("内容"), QStringLiteral("说明")});
    m_problems->setColumnWidth(0, 50);
    m_problems->setColumnWidth(1, 150);
    right->addWidget(m_problems);
    middle->addLayout(right, 1);
    layout->addLayout(middle, 2);

    layout->addWidget(caption(QStringLiteral("预览（前 %1 行，按将要存入的样子）").arg(kPreviewRows), this));
    QStringList titles{QStringLiteral("行")};
    for (const ListColumn &c : listColumns())
        titles << c.title;
    m_preview = newTable(this, SheetImportNames::preview, titles);
    m_preview->setColumnWidth(0, 44);
    for (int c = 0; c < kListColumnCount; ++c)
        m_preview->setColumnWidth(c + 1, std::max(listColumns()[size_t(c)].width, c == 6 ? 130 : 80));
    layout->addWidget(m_preview, 3);

    m_summary = new QLabel(this);
    m_summary->setObjectName(SheetImportNames::summary);
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);

    auto *bottom = new QHBoxLayout;
    m_refuseAll = new QRadioButton(SheetImportNames::refuseAll, this);
    m_refuseAll->setObjectName(SheetImportNames::refuseAll);
    m_refuseAll->setChecked(true);
    m_skipStored = new QRadioButton(SheetImportNames::skipStored, this);
    m_skipStored->setObjectName(SheetImportNames::skipStored);
    auto *choice = new QButtonGroup(this);
    choice->addButton(m_refuseAll);
    choice->addButton(m_skipStored);
    bottom->addWidget(m_refuseAll);
    bottom->addWidget(m_skipStored);
    bottom->addStretch(1);
    m_import = new QPushButton(SheetImportNames::importButton, this);
    m_import->setObjectName(SheetImportNames::importButton);
    m_import->setDefault(true);
    auto *cancel = new QPushButton(SheetImportNames::cancelButton, this);
    cancel->setObjectName(SheetImportNames::cancelButton);
    bottom->addWidget(m_import);
    bottom->addWidget(cancel);
    layout->addLayout(bottom);

    connect(m_sheet, &QComboBox::currentIndexChanged, this, &SheetImportWindow::chooseSheet);
    connect(m_skipStored, &QRadioButton::toggled, this, &SheetImportWindow::replan);
    connect(m_import, &QPushButton::clicked, this, &SheetImportWindow::importRows);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    // The first sheet whose header names an IP column, or the first.
    int first = 0;
    for (int i = 0; i < int(m_sheets.size()); ++i) {
        const std::optional<SheetHeader> h = findHeader(m_sheets[size_t(i)]);
        if (h && h->has(1)) {
            first = i;
            break;
        }
    }
    const QSignalBlocker quiet(m_sheet);
    m_sheet->setCurrentIndex(first);
    chooseSheet(first);
}

int SheetImportWindow::fieldOfColumn(int column) const
{
    const auto *box = qobject_cast<QComboBox *>(m_mapping->cellWidget(column, 2));
    return box ? box->currentIndex() - 1 : -1;
}

void SheetImportWindow::chooseSheet(int index)
{
    if (index < 0 || index >= int(m_sheets.size()))
        return;
    const SheetTable &table = m_sheets[size_t(index)];
    // Without a header row every row is data, and the user says which column is which.
    m_header = findHeader(table).value_or(SheetHeader{});
    // The columns that hold anything in the first rows, as many as a person can map by hand; a
    // sheet wider than that is mapped by its header (a box a column would take minutes to make).
    qsizetype columns = 0;
    for (int r = 0; r < std::min<int>(int(table.rows.size()), 10 + 1 + m_header.row); ++r)
        if (!table.rows[r].cells().empty())
            columns = std::max<qsizetype>(columns, table.rows[r].cells().back().first + 1);
    m_header.fields.resize(size_t(columns), -1);
    columns = std::min<qsizetype>(columns, kMappedColumns);
    const SheetRow titleRow = m_header.row >= 0 ? table.rows[m_header.row]
                              : table.rows.isEmpty() ? SheetRow()
                                                     : table.rows[0];
    m_mapping->setRowCount(int(columns));
    QStringList choices{SheetImportTexts::notImported};
    for (const ListColumn &c : listColumns())
        choices << c.title;
    for (int c = 0; c < int(columns); ++c) {
        m_mapping->setItem(c, 0, readOnlyCell(columnLetters(c)));
        m_mapping->setItem(c, 1, readOnlyCell(titleRow.value(c).trimmed()));
        auto *box = new QComboBox(m_mapping);
        box->addItems(choices);
        box->setCurrentIndex(m_header.fields[size_t(c)] + 1);
        box->setAccessibleName(QStringLiteral("%1 列导入为").arg(columnLetters(c)));
        connect(box, &QComboBox::currentIndexChanged, this, [this, c](int i) {
            m_header.fields[size_t(c)] = i - 1;
            replan();
        });
        m_mapping->setCellWidget(c, 2, box);
    }
    replan();
}

void SheetImportWindow::replan()
{
    const int index = m_sheet->currentIndex();
    if (index < 0 || index >= int(m_sheets.size()))
        return;
    std::vector<SheetServer> rows = sheetServers(m_sheets[size_t(index)], m_header);
    // The preview's rows as they will be stored, before the plan takes them.
    std::vector<SheetServer> shown(rows.begin(), rows.begin() + std::min<qsizetype>(kPreviewRows, rows.size()));
    const bool hasIp = m_header.has(1);
    // Checked on a connection and thread of their own (the stored IPs are looked up), the window
    // answering meanwhile; a long check shows its progress dialog, whose 取消 drops it.
    auto plan = std::make_shared<Read<SheetPlan>>();
    plan->status = Status::failed(SheetImportTexts::checkCancelled);
    QProgressDialog progress(SheetImportTexts::checking, SheetImportNames::cancelButton, 0, 0, this);
    progress.setWindowTitle(SheetImportTexts::title);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    const bool skip = m_skipStored->isChecked();
    runOffThread(
        &progress,
        [plan, location = m_db.location(), rows = std::make_shared<std::vector<SheetServer>>(std::move(rows)),
         skip](OffThread &) mutable {
            RegisterDb db;
            const Status opened = db.open(location);
            *plan = opened.ok() ? planSheetImport(db, std::move(*rows), skip) : Read<SheetPlan>{opened, {}};
        },
        true);
    progress.reset();
    if (!plan->ok()) {
        m_plan = {};
        m_ready = false;
        m_import->setEnabled(false);
        m_summary->setText(SheetImportTexts::readFailed.arg(plan->status.reason));
        return;
    }
    m_plan = std::move(plan->value);
    m_ready = hasIp && m_plan.problems.empty() && !m_plan.toStore.empty();
    showPlan(shown);
    if (!hasIp)
        m_summary->setText(SheetImportTexts::noIpColumn);
    else if (!m_plan.problems.empty())
        m_summary->setText(SheetImportTexts::blocked.arg(m_plan.problems.size()));
    else if (m_plan.toStore.empty())
        m_summary->setText(SheetImportTexts::noRows);
    else
        m_summary->setText(SheetImportTexts::willImport.arg(m_plan.toStore.size()).arg(m_plan.newCustomers.size()) +
                           (m_plan.alreadyStored ? SheetImportTexts::skipped.arg(m_plan.alreadyStored) : QString()));
    m_import->setEnabled(m_ready);
}

void SheetImportWindow::showPlan(const std::vector<SheetServer> &rows)
{
    QHash<int, QString> trouble;
    for (const SheetProblem &p : m_plan.problems)
        trouble.insert(p.sheetRow, p.what);
    m_preview->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const SheetServer &s = rows[size_t(r)];
        m_preview->setItem(r, 0, readOnlyCell(QString::number(s.sheetRow)));
        for (int c = 0; c < kListColumnCount; ++c)
            m_preview->setItem(r, c + 1, readOnlyCell(s.server.*listColumns()[size_t(c)].field));
        if (const auto what = trouble.constFind(s.sheetRow); what != trouble.constEnd())
            for (int c = 0; c <= kListColumnCount; ++c) {
                m_preview->item(r, c)->setBackground(QColor(0xfd, 0xe2, 0xe2));
                m_preview->item(r, c)->setToolTip(*what);
            }
    }
    const int problems = int(m_plan.problems.size());
    m_problems->setRowCount(problems + int(m_plan.newCustomers.size()));
    for (int i = 0; i < problems; ++i) {
        const SheetProblem &p = m_plan.problems[size_t(i)];
        m_problems->setItem(i, 0, readOnlyCell(QString::number(p.sheetRow)));
        m_problems->setItem(i, 1, readOnlyCell(p.ip));
        m_problems->setItem(i, 2, readOnlyCell(p.what));
        for (int c = 0; c < 3; ++c)
            m_problems->item(i, c)->setForeground(QColor(0xb0, 0x00, 0x00));
    }
    for (int i = 0; i < int(m_plan.newCustomers.size()); ++i) {
        m_problems->setItem(problems + i, 0, readOnlyCell(QString()));
        m_problems->setItem(problems + i, 1, readOnlyCell(m_plan.newCustomers[i]));
        m_problems->setItem(problems + i, 2, readOnlyCell(SheetImportTexts::newCustomer));
    }
}

void SheetImportWindow::importRows()
{
    if (!m_ready)
        return;
    const std::vector<SheetServer> &rows = m_plan.toStore;
    QProgressDialog progress(SheetImportTexts::importing, SheetImportNames::cancelButton, 0, int(rows.size()), this);
    progress.setWindowTitle(SheetImportTexts::title);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    // Stored on a connection and thread of their own, the window answering meanwhile; a 取消
    // pressed before the window lets the transaction commit undoes everything.
    Status status;
    const QString location = m_db.location();
    runOffThread(&progress, [&](OffThread &shared) {
        RegisterDb db;
        status = db.open(location);
        if (!status.ok())
            return;
        status = db.addServersWithCustomers(
            rows.size(), [&rows](size_t i) -> const ServerRecord & { return rows[i].server; }, m_plan.newCustomers,
            [&shared, &rows](size_t done) {
                shared.done = qint64(done);
                if (shared.cancel)
                    return false;
                return done < rows.size() || shared.mayFinish();
            });
    });
    const bool cancelled = !status.ok() && status.reason == QLatin1String("cancelled");
    progress.reset();
    progress.hide();
    if (status.ok()) {
        const int servers = int(rows.size());
        const int customers = int(m_plan.newCustomers.size());
        MessageBox::show(SheetImportTexts::imported.arg(servers).arg(customers), MsgStyle::Information, std::nullopt,
                         this);
        emit imported(servers, customers);
        close();
        return;
    }
    if (cancelled) {
        MessageBox::show(SheetImportTexts::cancelled, MsgStyle::Information, std::nullopt, this);
        return;
    }
    qWarning("sheet import failed: %s", qPrintable(status.reason));
    if (status.fault == Fault::Duplicate) {
        MessageBox::show(SheetImportTexts::raced.arg(status.reason), MsgStyle::Warning, std::nullopt, this);
        replan(); // the row now shows as stored
    } else if (status.fault == Fault::Denied || status.fault == Fault::DiskFull) {
        MessageBox::showWriteFailure(status.fault, this);
    } else {
        MessageBox::show(SheetImportTexts::failed.arg(status.reason), MsgStyle::Error, std::nullopt, this);
    }
}
