#pragma once

#include <QString>

// Object names and texts of the dialogs that act on several servers at once.
namespace BulkNames {
inline const QString renewDialog = QStringLiteral("续期所选服务器");
inline const QString extendChoice = QStringLiteral("延长");
inline const QString amount = QStringLiteral("延长数量");
inline const QString unit = QStringLiteral("延长单位");
inline const QString setChoice = QStringLiteral("设为");
inline const QString date = QStringLiteral("到期日期");
inline const QString customerDialog = QStringLiteral("更改所选服务器的客户");
inline const QString customer = QStringLiteral("客户");
inline const QString retireDialog = QStringLiteral("下架所选服务器");
inline const QString retireDate = QStringLiteral("下架日期");
inline const QString okButton = QStringLiteral("确定");
inline const QString cancelButton = QStringLiteral("取消");
} // namespace BulkNames

namespace BulkTexts {
inline const QString renewTitle = QStringLiteral("续期所选服务器");
inline const QString renewPrompt = QStringLiteral("为选中的 %1 台服务器续期：");
inline const QString months = QStringLiteral("个月");
inline const QString years = QStringLiteral("年");
inline const QString customerTitle = QStringLiteral("更改所选服务器的客户");
inline const QString customerPrompt = QStringLiteral("把选中的 %1 台服务器改为属于：");
inline const QString retireTitle = QStringLiteral("下架所选服务器");
inline const QString retirePrompt = QStringLiteral("选中的 %1 台服务器的下架时间（到期时间在此之后的，改为同一天）：");
} // namespace BulkTexts
