#pragma once

#include <QString>

// What the windows ask of the window toolkit beyond plain widgets. The Qt side lives with the
// windows (core/widgets); the core only names the values.

// Message-box style values, as the Windows message box numbers them.
namespace MsgStyle {
inline constexpr int Ok = 0x00;
inline constexpr int Error = 0x10; // OK, error icon
inline constexpr int OkCancelQuestion = 0x21;
inline constexpr int Warning = 0x30;     // OK, warning icon
inline constexpr int Information = 0x40; // OK, information icon
inline constexpr int YesNoInformation = 0x44;
} // namespace MsgStyle

// The button that closed a message box, numbered as Windows numbers them.
enum class MsgAnswer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

// Texts shown after a failed write; the same everywhere in the program.
inline const QString kWriteFailedText = QStringLiteral("数据库操作失败，数据未保存！");
inline const QString kNoticeTitle = QStringLiteral("澜汀提示");
