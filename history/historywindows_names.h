#pragma once

#include <QString>

// Object names and texts of the windows that show the change history.
namespace HistoryNames {
inline const QString viewWindow = QStringLiteral("查看数据");
inline const QString fields = QStringLiteral("服务器数据");
inline const QString entries = QStringLiteral("修改记录");
inline const QString note = QStringLiteral("提示");
inline const QString deletedWindow = QStringLiteral("已删除的服务器");
inline const QString deletedList = QStringLiteral("已删除列表");
inline const QString restoreButton = QStringLiteral("恢复");
inline const QString closeButton = QStringLiteral("关闭");
inline const QString groupButton = QStringLiteral("同一次删除");
} // namespace HistoryNames

namespace HistoryTexts {
inline const QString viewTitle = QStringLiteral("查看数据");
inline const QString deletedTitle = QStringLiteral("已删除的服务器");
inline const QString noHistory = QStringLiteral("此数据库没有修改记录，请用 kavro-db upgrade 升级");
inline const QString noReadRight = QStringLiteral("您没有查看修改记录的权限！");
inline const QString readFailed = QStringLiteral("读取修改记录失败：%1");
inline const QString noEntries = QStringLiteral("这台服务器还没有修改记录。");
inline const QString noneDeleted = QStringLiteral("没有已删除的服务器。");
inline const QString restored = QStringLiteral("服务器数据已恢复！");
inline const QString chooseOne = QStringLiteral("请先选择要恢复的服务器！");
inline const QString restoredMany = QStringLiteral("已恢复 %1 台服务器。");
// The servers one action deleted, chosen together.
inline const QString sameDeletion = QStringLiteral("同一次删除的 %1 台");
inline const QString ipTakenAmong = QStringLiteral("服务器IP %1 已经存在，没有恢复任何服务器！");
} // namespace HistoryTexts
