#include "importer/sheetimportwindow.h"

#include "core/fileops/exporter.h"
#include "core/listcolumns.h"
#include "core/registerdb.h"
#include "importer/sheetimportwindow_names.h"
#include "widgets/filedialog.h"
#include "widgets/fixedwindow.h"
#include "widgets/messagebox.h"
#include "widgets/offthread.h"
#include "widgets/readonlytable.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
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
#include <QTabWidget>
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
    SheetFileFault fault;
    std::optional<std::vector<SheetTable>> sheets = readSheetFile(path, error, &fault);
    if (fault == SheetFileFault::NotASheetName)
        *error = QStringLiteral("只能导入 .xlsx 或 .csv 文件");
    else if (fault == SheetFileFault::NoSheets)
        *error = QStringLiteral("工作簿中没有工作表");
    return sheets;
}

SheetImportWindow::SheetImportWindow(RegisterDb &db, const QString &path, std::vector<SheetTable> sheets,
                                     QWidget *parent)
    : QWidget(parent), m_db(db), m_path(path), m_sheets(std::move(sheets))
{
    setObjectName(SheetImportNames::window);
    makeFixedWindow(this, SheetImportTexts::title, 820, 680);
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
    m_mapping = newTable(this, SheetImportNames::mapping,
                         {QStringLiteral("列"), QStringLiteral("表头"), QStringLiteral("导入为")});
    m_mapping->setSelectionMode(QAbstractItemView::NoSelection);
    m_mapping->setColumnWidth(0, 36);
    m_mapping->setColumnWidth(1, 110);
    m_mapping->verticalHeader()->setDefaultSectionSize(24);
    m_mapping->setFixedWidth(300);
    left->addWidget(m_mapping);
    middle->addLayout(left);
    auto *right = new QVBoxLayout;
    right->addWidget(caption(QStringLiteral("检查结果"), this));
    m_problems = newTable(this, SheetImportNames::problems,
                          {QStringLiteral("行"), QStringLiteral("内容"), QStringLiteral("说明")});
    m_problems->setColumnWidth(0, 50);
    m_problems->setColumnWidth(1, 150);
    right->addWidget(m_problems);
    middle->addLayout(right, 1);
    layout->addLayout(middle, 2);

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(SheetImportNames::pages);
    QStringList titles{QStringLiteral("行")};
    for (const ListColumn &c : listColumns())
        titles << c.title;
    m_preview = newTable(this, SheetImportNames::preview, titles);
    m_preview->setColumnWidth(0, 44);
    for (int c = 0; c < kListColumnCount; ++c)
        m_preview->setColumnWidth(c + 1, std::max(listColumns()[size_t(c)].width, c == 6 ? 130 : 80));
    m_pages->addTab(m_preview, SheetImportTexts::previewTab.arg(kPreviewRows));
    m_changes = newTable(this, SheetImportNames::changes,
                         {QStringLiteral("行"), QStringLiteral("服务器IP"), QStringLiteral("字段"),
                          QStringLiteral("原值"), QStringLiteral("新值")});
    m_changes->setColumnWidth(0, 44);
    m_changes->setColumnWidth(1, 120);
    m_changes->setColumnWidth(2, 70);
    m_changes->setColumnWidth(3, 260);
    m_changes->setWordWrap(true);
    m_changes->horizontalHeader()->setStretchLastSection(true);
    m_pages->addTab(m_changes, SheetImportTexts::changesTab.arg(0));
    layout->addWidget(m_pages, 3);

    m_summary = new QLabel(this);
    m_summary->setObjectName(SheetImportNames::summary);
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);

    auto *choices = new QHBoxLayout;
    auto *choice = new QButtonGroup(this);
    for (auto [button, name] :
         {std::pair{&m_refuseAll, SheetImportNames::refuseAll}, std::pair{&m_skipStored, SheetImportNames::skipStored},
          std::pair{&m_goodRows, SheetImportNames::goodRows},
          std::pair{&m_updateStored, SheetImportNames::updateStored}}) {
        *button = new QRadioButton(name, this);
        (*button)->setObjectName(name);
        choice->addButton(*button);
        choices->addWidget(*button);
    }
    m_refuseAll->setChecked(true);
    choices->addStretch(1);
    layout->addLayout(choices);

    auto *bottom = new QHBoxLayout;
    m_blankClears = new QCheckBox(SheetImportNames::blankClears, this);
    m_blankClears->setObjectName(SheetImportNames::blankClears);
    m_blankClears->setEnabled(false);
    m_extraToRemark = new QCheckBox(SheetImportNames::extraToRemark, this);
    m_extraToRemark->setObjectName(SheetImportNames::extraToRemark);
    bottom->addWidget(m_blankClears);
    bottom->addWidget(m_extraToRemark);
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
    connect(choice, &QButtonGroup::buttonToggled, this, [this](QAbstractButton *, bool on) {
        if (!on)
            return;
        m_blankClears->setEnabled(m_updateStored->isChecked());
        replan();
    });
    connect(m_blankClears, &QCheckBox::toggled, this, &SheetImportWindow::replan);
    connect(m_extraToRemark, &QCheckBox::toggled, this, &SheetImportWindow::replan);
    connect(m_import, &QPushButton::clicked, this, [this] { importRows(); });
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    // The first sheet whose header names an IP column, or the first.
    const int first = std::max(0, serverSheet(m_sheets));
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
    const SheetRow titleRow = m_header.row >= 0      ? table.rows[m_header.row]
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

SheetMode SheetImportWindow::mode() const
{
    if (m_skipStored->isChecked())
        return SheetMode::SkipStored;
    if (m_goodRows->isChecked())
        return SheetMode::GoodRowsOnly;
    if (m_updateStored->isChecked())
        return SheetMode::UpdateStored;
    return SheetMode::RefuseAll;
}

void SheetImportWindow::replan()
{
    const int index = m_sheet->currentIndex();
    if (index < 0 || index >= int(m_sheets.size()))
        return;
    std::vector<SheetServer> rows = sheetServers(m_sheets[size_t(index)], m_header, m_extraToRemark->isChecked());
    // The preview's rows as they will be stored, before the plan takes them.
    std::vector<SheetServer> shown(rows.begin(), rows.begin() + std::min<qsizetype>(kPreviewRows, rows.size()));
    for (SheetServer &row : shown)
        row.server.remark = remarkWithExtras(row.server.remark, row.extras);
    const bool hasIp = m_header.has(1);
    SheetOptions options;
    options.mode = mode();
    options.blankClears = m_blankClears->isChecked();
    for (int field : m_header.fields)
        if (field >= 0)
            options.mappedFields.push_back(field);
    // Checked on a connection and thread of their own (the stored IPs are looked up), the window
    // answering meanwhile; a long check shows its progress dialog, whose 取消 drops it.
    auto plan = std::make_shared<Read<SheetPlan>>();
    plan->status = Status::failed(SheetImportTexts::checkCancelled);
    QProgressDialog progress(SheetImportTexts::checking, SheetImportNames::cancelButton, 0, 0, this);
    progress.setWindowTitle(SheetImportTexts::title);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    runOffThread(
        &progress,
        [plan, location = m_db.location(), rows = std::make_shared<std::vector<SheetServer>>(std::move(rows)),
         options](OffThread &) mutable {
            RegisterDb db;
            const Status opened = db.open(location);
            *plan = opened.ok() ? planSheetImport(db, std::move(*rows), options) : Read<SheetPlan>{opened, {}};
        },
        true);
    progress.reset();
    if (!plan->ok()) {
        m_plan = {};
        m_ready = false;
        m_import->setEnabled(false);
        m_summary->setText(SheetImportTexts::readFailed.arg(plan->status.reason));
        showChanges();
        return;
    }
    m_plan = std::move(plan->value);
    m_ready = hasIp && m_plan.storable();
    showPlan(shown);
    showChanges();
    const bool blocks = !m_plan.problems.empty() && m_plan.mode != SheetMode::GoodRowsOnly;
    if (!hasIp)
        m_summary->setText(SheetImportTexts::noIpColumn);
    else if (blocks)
        m_summary->setText(SheetImportTexts::blocked.arg(m_plan.problems.size()));
    else if (m_plan.mode == SheetMode::UpdateStored && (!m_plan.changes.empty() || m_plan.unchanged))
        m_summary->setText(m_ready ? SheetImportTexts::updatePlan.arg(m_plan.changes.size())
                                         .arg(m_plan.unchanged)
                                         .arg(m_plan.toStore.size())
                                         .arg(m_plan.newCustomers.size())
                                   : SheetImportTexts::nothingChanges);
    else if (m_plan.toStore.empty())
        m_summary->setText(SheetImportTexts::noRows);
    else if (!m_plan.problems.empty())
        m_summary->setText(SheetImportTexts::goodRowsPlan.arg(m_plan.toStore.size())
                               .arg(m_plan.newCustomers.size())
                               .arg(m_plan.problems.size()));
    else
        m_summary->setText(SheetImportTexts::willImport.arg(m_plan.toStore.size()).arg(m_plan.newCustomers.size()) +
                           (m_plan.alreadyStored ? SheetImportTexts::skipped.arg(m_plan.alreadyStored) : QString()));
    m_import->setEnabled(m_ready);
    if (m_plan.mode == SheetMode::UpdateStored && !m_plan.changes.empty())
        m_pages->setCurrentWidget(m_changes);
    else if (m_plan.mode != SheetMode::UpdateStored)
        m_pages->setCurrentWidget(m_preview);
}

void SheetImportWindow::showChanges()
{
    int lines = 0;
    for (const SheetChange &c : m_plan.changes)
        lines += int(c.fields.size());
    const bool cut = lines > kChangeLines;
    lines = std::min(lines, kChangeLines);
    m_changes->setRowCount(lines);
    int r = 0;
    for (const SheetChange &c : m_plan.changes) {
        for (int field : c.fields) {
            if (r >= lines)
                break;
            const ListColumn &column = listColumns()[size_t(field)];
            const QString before = c.before.*column.field;
            const QString after = c.after.*column.field;
            m_changes->setItem(r, 0, readOnlyCell(QString::number(c.sheetRow)));
            m_changes->setItem(r, 1, readOnlyCell(c.before.ip));
            m_changes->setItem(r, 2, readOnlyCell(column.title));
            m_changes->setItem(r, 3, readOnlyCell(before));
            m_changes->setItem(r, 4, readOnlyCell(after.isEmpty() ? QStringLiteral("（清空）") : after));
            m_changes->item(r, 3)->setForeground(QColor(0x80, 0x80, 0x80));
            m_changes->item(r, 4)->setForeground(QColor(0x00, 0x60, 0x00));
            m_changes->item(r, 3)->setToolTip(before);
            m_changes->item(r, 4)->setToolTip(after);
            ++r;
        }
    }
    // A remark of several lines is read whole: the rows take the height of their texts (up to a
    // few lines each).
    m_changes->resizeRowsToContents();
    for (int row = 0; row < m_changes->rowCount(); ++row)
        m_changes->setRowHeight(row, std::min(m_changes->rowHeight(row), 20 * 6));
    m_pages->setTabText(m_pages->indexOf(m_changes),
                        SheetImportTexts::changesTab.arg(m_plan.changes.size()) +
                            (cut ? SheetImportTexts::changesCut.arg(kChangeLines) : QString()));
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
        m_problems->item(i, 2)->setToolTip(p.what);
        for (int c = 0; c < 3; ++c)
            m_problems->item(i, c)->setForeground(QColor(0xb0, 0x00, 0x00));
    }
    for (int i = 0; i < int(m_plan.newCustomers.size()); ++i) {
        m_problems->setItem(problems + i, 0, readOnlyCell(QString()));
        m_problems->setItem(problems + i, 1, readOnlyCell(m_plan.newCustomers[i]));
        m_problems->setItem(problems + i, 2, readOnlyCell(SheetImportTexts::newCustomer));
    }
}

QString SheetImportWindow::askRejectsPath()
{
    const QFileInfo source(m_path);
    const QString suffix =
        source.suffix().toLower() == QLatin1String("csv") ? QStringLiteral("csv") : QStringLiteral("xlsx");
    const QString proposed =
        source.absoluteDir().filePath(SheetImportTexts::rejectsName.arg(source.completeBaseName(), suffix));
    QString path = FileDialog::getSaveFileName(
        this, SheetImportTexts::rejectsTitle, proposed,
        suffix == QLatin1String("csv") ? QStringLiteral("CSV (*.csv)") : QStringLiteral("Excel 工作簿 (*.xlsx)"));
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('.') + suffix, Qt::CaseInsensitive))
        path += QLatin1Char('.') + suffix;
    return path;
}

bool SheetImportWindow::importRows(const QString &rejectsPath)
{
    if (!m_ready)
        return false;
    // The rows with problems first, as a sheet in the source's format: nothing is stored when it
    // cannot be written.
    QString rejects;
    if (m_plan.mode == SheetMode::GoodRowsOnly && !m_plan.problems.empty()) {
        rejects = rejectsPath.isEmpty() ? askRejectsPath() : rejectsPath;
        if (rejects.isEmpty())
            return false;
        const SheetTable &table = m_sheets[size_t(m_sheet->currentIndex())];
        const std::optional<ExportFormat> format = exportFormatFor(rejects);
        const Status written =
            format ? writeTextTable(rejects, *format, table.name.isEmpty() ? SheetImportTexts::title : table.name,
                                    rejectedRows(table, m_header, m_plan.problems))
                   : Status::failed(QStringLiteral("只能保存为 .xlsx 或 .csv 文件"));
        if (!written.ok()) {
            MessageBox::show(SheetImportTexts::rejectsFailed.arg(written.reason), MsgStyle::Error, std::nullopt, this);
            return false;
        }
    }
    const std::vector<SheetServer> &rows = m_plan.toStore;
    const std::vector<std::pair<ServerRecord, ServerRecord>> changes = m_plan.changePairs();
    const size_t total = changes.size() + rows.size();
    QProgressDialog progress(SheetImportTexts::importing, SheetImportNames::cancelButton, 0, int(total), this);
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
            [&shared, total](size_t done) {
                shared.done = qint64(done);
                if (shared.cancel)
                    return false;
                return done < total || shared.mayFinish();
            },
            changes);
    });
    const bool cancelled = !status.ok() && status.reason == QLatin1String("cancelled");
    progress.reset();
    progress.hide();
    if (status.ok()) {
        const int servers = int(rows.size());
        const int customers = int(m_plan.newCustomers.size());
        QString said = SheetImportTexts::imported.arg(servers).arg(customers);
        if (m_plan.mode == SheetMode::UpdateStored)
            said = SheetImportTexts::updated.arg(changes.size()).arg(servers).arg(customers);
        else if (!rejects.isEmpty())
            said = SheetImportTexts::importedWithRejects.arg(servers)
                       .arg(customers)
                       .arg(m_plan.problems.size())
                       .arg(QDir::toNativeSeparators(rejects));
        MessageBox::show(said, MsgStyle::Information, std::nullopt, this);
        emit imported(servers + int(changes.size()), customers);
        close();
        return true;
    }
    if (cancelled) {
        MessageBox::show(SheetImportTexts::cancelled, MsgStyle::Information, std::nullopt, this);
        return false;
    }
    qWarning("sheet import failed: %s", qPrintable(status.reason));
    if (status.fault == Fault::Duplicate) {
        MessageBox::show(SheetImportTexts::raced.arg(status.reason), MsgStyle::Warning, std::nullopt, this);
        replan(); // the row now shows as stored
    } else if (status.fault == Fault::Changed) {
        MessageBox::show(SheetImportTexts::changedMeanwhile.arg(status.reason), MsgStyle::Warning, std::nullopt, this);
        replan(); // the changes as they now stand
    } else if (status.fault == Fault::Denied || status.fault == Fault::DiskFull) {
        MessageBox::showWriteFailure(status.fault, this);
    } else {
        MessageBox::show(SheetImportTexts::failed.arg(status.reason), MsgStyle::Error, std::nullopt, this);
    }
    return false;
}
