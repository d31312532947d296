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
