#pragma once

#include <QString>

// Object names and texts of the window that brings a spreadsheet's servers over.
namespace SheetImportNames {
inline const QString window = QStringLiteral("导入表格");
inline const QString file = QStringLiteral("文件");
inline const QString sheet = QStringLiteral("工作表");
inline const QString mapping = QStringLiteral("列对应");
inline const QString preview = QStringLiteral("预览");
inline const QString problems = QStringLiteral("检查结果");
inline const QString summary = QStringLiteral("摘要");
inline const QString refuseAll = QStringLiteral("有问题时全部不导入");
inline const QString skipStored = QStringLiteral("跳过已存在的服务器");
inline const QString goodRows = QStringLiteral("只导入没有问题的行");
inline const QString updateStored = QStringLiteral("更新已存在的服务器");
inline const QString blankClears = QStringLiteral("空白单元格清空该字段");
inline const QString extraToRemark = QStringLiteral("未对应的列追加到备注");
inline const QString changes = QStringLiteral("变更");
inline const QString pages = QStringLiteral("预览与变更");
inline const QString importButton = QStringLiteral("导入");
inline const QString cancelButton = QStringLiteral("取消");
} // namespace SheetImportNames

namespace SheetImportTexts {
inline const QString title = QStringLiteral("导入表格");
inline const QString notImported = QStringLiteral("（不导入）");
inline const QString newCustomer = QStringLiteral("新客户");
inline const QString noIpColumn = QStringLiteral("没有服务器IP列：请在“列对应”中指定哪一列是服务器IP。");
inline const QString noRows = QStringLiteral("表头下没有可导入的行。");
inline const QString willImport = QStringLiteral("将导入 %1 台服务器，新建 %2 个客户。");
inline const QString skipped = QStringLiteral("（%1 台已存在，跳过）");
inline const QString blocked = QStringLiteral("有 %1 个问题，不能导入：请修改表格，或选择跳过已存在的服务器。");
inline const QString goodRowsPlan =
    QStringLiteral("将导入 %1 台服务器，新建 %2 个客户；%3 行有问题，导入时另存为表格，改好后可再导入。");
inline const QString updatePlan =
    QStringLiteral("将更新 %1 台服务器（另有 %2 行与已存的相同），导入 %3 台新服务器，新建 %4 个客户。");
inline const QString nothingChanges = QStringLiteral("表格与已存的服务器相同，没有要导入或更新的内容。");
inline const QString previewTab = QStringLiteral("预览（前 %1 行，按将要存入的样子）");
inline const QString changesTab = QStringLiteral("将要更新的服务器（%1 台）");
inline const QString changesCut = QStringLiteral("（只列出前 %1 项）");
inline const QString rejectsTitle = QStringLiteral("保存有问题的行");
inline const QString rejectsName = QStringLiteral("%1-有问题的行.%2");
inline const QString rejectsFailed = QStringLiteral("无法保存有问题的行，没有导入任何数据：%1");
inline const QString importedWithRejects =
    QStringLiteral("已导入 %1 台服务器，新建 %2 个客户。\n%3 行有问题，已另存到：\n%4");
inline const QString updated = QStringLiteral("已更新 %1 台服务器，导入 %2 台新服务器，新建 %3 个客户。");
inline const QString changedMeanwhile =
    QStringLiteral("IP为 %1 的服务器刚被其他人修改，没有存入任何数据，请重新检查。");
inline const QString importing = QStringLiteral("正在导入服务器…");
inline const QString reading = QStringLiteral("正在读取表格…");
inline const QString checking = QStringLiteral("正在检查表格…");
inline const QString checkCancelled = QStringLiteral("检查已取消");
inline const QString imported = QStringLiteral("已导入 %1 台服务器，新建 %2 个客户。");
inline const QString cancelled = QStringLiteral("导入已取消，没有存入任何数据。");
inline const QString raced = QStringLiteral("IP为 %1 的服务器刚被其他人添加，没有导入任何数据，请重新检查。");
inline const QString failed = QStringLiteral("导入失败，没有存入任何数据：%1");
inline const QString readFailed = QStringLiteral("读取数据库失败：%1");
inline const QString unreadable = QStringLiteral("无法读取表格：%1");
inline const QString openFilters = QStringLiteral("表格 (*.xlsx *.csv)");
} // namespace SheetImportTexts
