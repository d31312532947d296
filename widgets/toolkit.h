#pragma once

#include <QString>

// What the windows ask of the window toolkit beyond plain widgets: message-box styles and answers,
// and the texts every window shows alike.

// Message-box style values, as the Windows message box numbers them.
namespace MsgStyle {
inline constexpr int Ok = 0x00;
inline constexpr int Error = 0x10; // OK, error icon
inline constexpr int OkCancelQuestion = 0x21;
inline constexpr int Warning = 0x30;     // OK, warning icon
inline constexpr int Information = 0x40; // OK, information icon
inline constexpr int YesNoInformation = 0x44;
inline constexpr int YesNoQuestionDefaultNo = 0x124; // Yes/No, question icon, No the default
} // namespace MsgStyle

// The button that closed a message box, numbered as Windows numbers them.
enum class MsgAnswer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

// The program's name: the caption of a message box that has no title of its own.
inline const QString kProgramName = QStringLiteral("澜汀网络服务器管理系统");
// Texts shown after a failed write or read; the same everywhere in the program.
inline const QString kWriteFailedText = QStringLiteral("数据库操作失败，数据未保存！");
// A write the database refused this desk (a read-only role).
inline const QString kNoWriteRightText = QStringLiteral("您没有修改数据的权限！");
// A write the disk had no room for.
inline const QString kDiskFullText = QStringLiteral("磁盘已满，数据未保存！");
inline const QString kReadFailedText = QStringLiteral("读取数据库失败，请稍后重试！");
// A server the window was working on is no longer stored.
inline const QString kServerVanishedText = QStringLiteral("服务器数据不存在，可能已被删除！");
// A server with the same IP is stored already.
inline const QString kIpExistsText = QStringLiteral("您添加的服务器IP已经存在！");
inline const QString kNoticeTitle = QStringLiteral("澜汀提示");
