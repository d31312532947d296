#pragma once

#include "widgets/toolkit.h"

#include <QString>

// Object names shared by the server add and modify windows.
namespace ServerFormNames {
inline const QString addWindow = QStringLiteral("ServerAddWindow");
inline const QString editWindow = QStringLiteral("ServerEditWindow");
inline const QString shape = QStringLiteral("外形框1");
inline const QString customer = QStringLiteral("组合框1");
inline const QString number = QStringLiteral("编辑框1");
inline const QString ip = QStringLiteral("编辑框2");
inline const QString cabinet = QStringLiteral("编辑框3");
inline const QString remark = QStringLiteral("编辑框4");
inline const QString racked = QStringLiteral("日期框1");
inline const QString expires = QStringLiteral("日期框2");
inline const QString unracked = QStringLiteral("日期框3");
inline const QString actionButton = QStringLiteral("添加数据按钮");
inline const QString exitButton = QStringLiteral("添加数据按钮1");
} // namespace ServerFormNames

namespace ServerFormTexts {
inline const QString addTitle = QStringLiteral("数据添加窗口");
inline const QString editTitle = QStringLiteral("数据修改窗口");
inline const QString noCustomer = QStringLiteral("请选择客户");
inline const QString ipExists = kIpExistsText;
inline const QString chooseCustomer = QStringLiteral("请选择您要对应的客户！");
inline const QString promptTitle = QStringLiteral("澜汀提示：");
inline const QString modified = QStringLiteral("服务器数据修改成功！");
inline const QString vanished = QStringLiteral("服务器数据不存在，可能已被删除！");
inline const QString changedElsewhere = QStringLiteral("服务器数据已被他人修改，请重新打开后再修改！");
inline const QString overwriteQuestion = QStringLiteral("其他人已修改此服务器，是否用您填写的内容覆盖？");
inline const QString storedNow = QStringLiteral("其他人已改为：%1");
inline const QString remarkTooLong =
    QStringLiteral("备注共 %1 字，过长，此处只显示前 %2 字，不能在此修改；保存时备注原样保留。");
// A text holding a NUL character, at a save.
inline const QString holdsNul = QStringLiteral("%1含有空字符（NUL），请删除后再保存！");
// A date box holding a text that is no date, at a save.
inline const QString notAnAddress = QStringLiteral("“%1”不是有效的IP地址，是否仍然添加？");
inline const QString notADate = QStringLiteral("%1“%2”不是日期，请改为日期或清空后再保存！");
} // namespace ServerFormTexts
