#pragma once

#include <QString>

namespace LoginNames {
inline const QString window = QStringLiteral("LoginWindow");
inline const QString banner = QStringLiteral("图片框1");
inline const QString accountLabel = QStringLiteral("管理员帐号标签");
inline const QString accountEdit = QStringLiteral("登陆帐号编辑框");
inline const QString passwordLabel = QStringLiteral("管理员密码标签");
inline const QString passwordEdit = QStringLiteral("登陆密码编辑框");
inline const QString loginButton = QStringLiteral("登陆按钮");
inline const QString hintLabel = QStringLiteral("登陆提示标签");
} // namespace LoginNames

namespace LoginTexts {
inline const QString title = QStringLiteral("系统登陆窗口");
inline const QString welcome = QStringLiteral("欢迎使用澜汀网络服务器管理系统！");
inline const QString connectFailed = QStringLiteral("连接数据库失败，请联系系统管理员查看！");
inline const QString wrongLogin = QStringLiteral("您输入的管理员帐号密码不对！");
inline const QString noAdministrator = QStringLiteral("管理员帐号不存在，请用 kavro-db 设置！");
} // namespace LoginTexts
