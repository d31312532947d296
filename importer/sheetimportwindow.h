#pragma once

#include "core/fileops/sheetimport.h"

#include <QWidget>
#include <optional>
#include <vector>

class QButtonGroup;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;
class RegisterDb;

// The preview of a spreadsheet about to be imported: which sheet, which column holds which field
// (found from the header, changeable), the first rows as they will be stored, and every problem
// found before anything is written. 导入 stores all the rows or none, with a progress dialog whose
// 取消 stores nothing.
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

signals:
    // Servers were stored (and customers created); the lists should be read again.
    void imported(int servers, int customers);

private:
    void chooseSheet(int index);
    void replan();
    void showPlan(const std::vector<SheetServer> &rows);
    void importRows();
    int fieldOfColumn(int column) const;

    RegisterDb &m_db;
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
    QPushButton *m_import = nullptr;
};
