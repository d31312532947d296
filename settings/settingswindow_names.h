#pragma once

#include <QString>

namespace SettingsNames {
inline const QString window = QStringLiteral("SettingsWindow");
inline const QString shape = QStringLiteral("外形框1");
inline const QString customerList = QStringLiteral("超级列表框1");
inline const QString nameEdit = QStringLiteral("客户编辑框");
inline const QString contactEdit = QStringLiteral("联系编辑框");
inline const QString addButton = QStringLiteral("添加按钮");
inline const QString modifyButton = QStringLiteral("修改按钮");
inline const QString deleteButton = QStringLiteral("删除按钮");
inline const QString keyEdit = QStringLiteral("编辑框2");
inline const QString accountEdit = QStringLiteral("帐号编辑框");
inline const QString passwordEdit = QStringLiteral("密码编辑框");
inline const QString changeAdminButton = QStringLiteral("密码修改");
inline const QString aboutEdit = QStringLiteral("编辑框1");
} // namespace SettingsNames

namespace SettingsTexts {
inline const QString title = QStringLiteral("功能设置");
inline const QString nameExists = QStringLiteral("您添加的客户名称已经存在！");
inline const QString added = QStringLiteral("新客户添加成功！");
inline const QString defaultLocked = QStringLiteral("禁止修改默认项目！");
inline const QString modified = QStringLiteral("客户信息修改成功！");
inline const QString deleteQuestion = QStringLiteral("客户数据删除后将不可恢复，是否真的要删除？");
inline const QString deleted = QStringLiteral("客户数据已删除！");
inline const QString badSelection = QStringLiteral("您选择的数据错误，请重新选择！");
inline const QString infoTitle = QStringLiteral("信息");
inline const QString accountEmpty = QStringLiteral("管理员帐号不能为空");
inline const QString passwordEmpty = QStringLiteral("管理员密码不能为空");
inline const QString adminChanged = QStringLiteral("管理员帐号密码修改成功！");
inline const QString about = QStringLiteral("\r\n         澜汀网络\r\n\r\n欢迎使用澜汀服务器管理系统\r\n\r\n"
                                            "我们的网站：\r\nhttps://www.example.com/");
// A renamed customer whose old name another customer also has: its servers keep that name.
inline const QString nameShared = QStringLiteral("另有客户也叫“%1”，服务器仍属于这个名称，只修改了客户本身。");
inline const QString stillHasServers =
    QStringLiteral("该客户还有 %1 台服务器，删除后这些服务器将不属于任何客户。是否继续？");
} // namespace SettingsTexts
