#pragma once

#include <QString>

// Object names of the main window's controls.
namespace MainNames {
inline const QString window = QStringLiteral("MainWindow");
inline const QString frame = QStringLiteral("框架");
inline const QString showAllButton = QStringLiteral("按钮3");
inline const QString serverList = QStringLiteral("超级列表框1");
inline const QString searchField = QStringLiteral("搜索组合框");
inline const QString searchText = QStringLiteral("搜索编辑框");
inline const QString searchButton = QStringLiteral("搜索按钮");
inline const QString customerCombo = QStringLiteral("客户组合框");
inline const QString customerButton = QStringLiteral("客户搜索按钮");
inline const QString customerCombo1 = QStringLiteral("客户组合框1");
inline const QString customerButton1 = QStringLiteral("客户搜索按钮1");
inline const QString addButton = QStringLiteral("按钮1");
inline const QString settingsButton = QStringLiteral("按钮2");
inline const QString statusBar = QStringLiteral("状态条1");
inline const QString menu = QStringLiteral("编辑");
inline const QString readOnlyLabel = QStringLiteral("只读");
} // namespace MainNames

namespace MainTexts {
inline const QString title = QStringLiteral("澜汀网络服务器管理系统V1.0");
inline const QString noCustomer = QStringLiteral("请选择客户");
inline const QString allServersName = QStringLiteral("服务器列表");
inline const QString viewItem = QStringLiteral("查看数据");
inline const QString modifyItem = QStringLiteral("修改数据");
inline const QString deleteItem = QStringLiteral("删除数据");
inline const QString aboutItem = QStringLiteral("关于澜汀");
inline const QString exportItem = QStringLiteral("导出列表…");
inline const QString importItem = QStringLiteral("导入表格…");
inline const QString deletedItem = QStringLiteral("已删除的服务器…");
inline const QString exportTitle = QStringLiteral("导出列表");
inline const QString exportFilters = QStringLiteral("Excel 工作簿 (*.xlsx);;CSV 文件 (*.csv)");
inline const QString exported = QStringLiteral("已导出 %1 台服务器到：%2");
inline const QString exportFailed = QStringLiteral("导出失败：%1");
inline const QString exporting = QStringLiteral("正在导出服务器列表…");
inline const QString badSelection = QStringLiteral("您选择的数据错误，请重新选择！");
inline const QString deleteQuestion = QStringLiteral("服务器数据删除后将不可恢复，是否真的要删除？");
inline const QString deleted = QStringLiteral("服务器数据已删除！");
inline const QString infoTitle = QStringLiteral("信息");
inline const QString aboutTitle = QStringLiteral("关于澜汀");
inline const QString aboutText = QStringLiteral("澜汀网络服务器管理系统\n版本 %1\n\n数据库：%2\n引擎：%3");
// Several rows selected.
inline const QString bulkDeleteItem = QStringLiteral("删除所选服务器…");
inline const QString renewItem = QStringLiteral("续期所选服务器…");
inline const QString changeCustomerItem = QStringLiteral("更改所选服务器的客户…");
inline const QString retireItem = QStringLiteral("下架所选服务器…");
inline const QString retired = QStringLiteral("已下架 %1 台服务器。");
inline const QString chooseRetireDate = QStringLiteral("请选择下架时间！");
inline const QString chooseRenewDate = QStringLiteral("请选择续期后的到期时间！");
inline const QString bulkDeletedElsewhere =
    QStringLiteral("选中的服务器中有 %1 台已被他人删除，没有做任何修改，请重新选择！");
inline const QString bulkDeleteQuestion = QStringLiteral("确定要删除选中的 %1 台服务器吗？删除后将不可恢复。");
// The same where the register keeps its history, from which deleted servers can be stored again.
inline const QString bulkDeleteRestorable =
    QStringLiteral("确定要删除选中的 %1 台服务器吗？删除后可在“已删除的服务器…”中恢复。");
inline const QString bulkDeleted = QStringLiteral("已删除 %1 台服务器。");
inline const QString renewed = QStringLiteral("已续期 %1 台服务器。");
inline const QString notRenewed = QStringLiteral("以下 %1 台服务器的到期时间不是日期，未续期：\n%2");
inline const QString nothingRenewed = QStringLiteral("选中的服务器的到期时间都不是日期，没有续期。");
inline const QString customerChanged = QStringLiteral("已把 %1 台服务器改为属于“%2”。");
inline const QString chooseCustomer = QStringLiteral("请选择您要对应的客户！");
inline const QString bulkChangedElsewhere =
    QStringLiteral("选中的服务器中有被他人修改或删除的，没有做任何修改，请重新选择！");
inline const QString expiryField = QStringLiteral("到期天数");
inline const QString containsField = QStringLiteral("包含文字");
inline const QString badDayCount = QStringLiteral("请输入0到3650之间的天数！");
inline const QString ipRangeField = QStringLiteral("IP 段");
inline const QString badIpRange = QStringLiteral("请输入正确的IP段，例如 192.168.1.0/24！");
// Said once, on the first 包含文字 search of a register without its text index.
inline const QString noTextIndex = QStringLiteral("此数据库未建立全文索引，查找较慢，请用 kavro-db upgrade 升级");
// While the connection to the register's server is being made again.
inline const QString reconnecting = QStringLiteral("正在重新连接数据库…");
// A register this desk may only read.
inline const QString readOnly = QStringLiteral("只读");
inline const QString readOnlyTip = QStringLiteral("您只能查看此数据库，不能修改");
// The status bar's summary of the whole register.
inline const QString summary = QStringLiteral("共 %1 台服务器，已到期 %2 台，30 天内到期 %3 台");
// Before the summary while a search or filter is in force.
inline const QString shownCount = QStringLiteral("显示 %1 台，");
} // namespace MainTexts
