#pragma once

#include "core/fileops/sheetimport.h"

#include <QWidget>
#include <optional>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QTabWidget;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;
class RegisterDb;

// The preview of a spreadsheet about to be imported: which sheet, which column holds which field
// (found from the header, changeable), the first rows as they will be stored, and every problem
// found before anything is written, and, when stored servers are updated, every change old → new.
// 导入 stores all the rows or none (only the good ones, the others saved as a sheet to fix, when
// the user chose so), with a progress dialog whose 取消 stores nothing.
class SheetImportWindow : public QWidget {
    Q_OBJECT
public:
    SheetImportWindow(RegisterDb &db, const QString &path, std::vector<SheetTable> sheets, QWidget *parent = nullptr);

    // Reads a spreadsheet file (.xlsx or .csv) into its sheets; none, with the reason, when it cannot.
    static std::optional<std::vector<SheetTable>> readFile(const QString &path, QString *error);

    // The plan as it stands (after the last change of sheet, mapping or choice).
    const SheetPlan &plan() const { return m_plan; }
    // Rows shown in the preview at most.
    static constexpr int kPreviewRows = 50;
    // Columns offered for mapping by hand at most (beyond them only the header's).
    static constexpr int kMappedColumns = 256;
    // Change lines listed at most.
    static constexpr int kChangeLines = 2000;

    // Stores the plan as 导入 does; with only good rows, the rows with problems are first saved to
    // rejectsPath (asked for when empty). Whether anything was stored.
    bool importRows(const QString &rejectsPath = QString());

signals:
    // Servers were stored (and customers created); the lists should be read again.
    void imported(int servers, int customers);

private:
    void chooseSheet(int index);
    void replan();
    void showPlan(const std::vector<SheetServer> &rows);
    void showChanges();
    SheetMode mode() const;
    QString askRejectsPath();
    int fieldOfColumn(int column) const;

    RegisterDb &m_db;
    QString m_path;
    std::vector<SheetTable> m_sheets;
    SheetHeader m_header;
    SheetPlan m_plan;
    bool m_ready = false; // the plan may be stored as it is
    QComboBox *m_sheet = nullptr;
    QTableWidget *m_mapping = nullptr;
    QTableWidget *m_preview = nullptr;
    QTableWidget *m_problems = nullptr;
    QLabel *m_summary = nullptr;
    QRadioButton *m_refuseAll = nullptr;
    QRadioButton *m_skipStored = nullptr;
    QRadioButton *m_goodRows = nullptr;
    QRadioButton *m_updateStored = nullptr;
    QCheckBox *m_blankClears = nullptr;
    QCheckBox *m_extraToRemark = nullptr;
    QTabWidget *m_pages = nullptr;
    QTableWidget *m_changes = nullptr;
    QPushButton *m_import = nullptr;
};
