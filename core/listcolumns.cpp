#include "core/listcolumns.h"

const std::array<ListColumn, kListColumnCount> &listColumns()
{
    static const std::array<ListColumn, kListColumnCount> columns = {{
        {QStringLiteral("编号"), 50, &ServerRecord::number, ServerColumn::Number, false},
        {QStringLiteral("服务器IP"), 100, &ServerRecord::ip, ServerColumn::Ip, false},
        {QStringLiteral("所在机柜"), 70, &ServerRecord::cabinet, ServerColumn::Cabinet, false},
        {QStringLiteral("上架时间"), 100, &ServerRecord::racked, ServerColumn::Racked, true},
        {QStringLiteral("到期时间"), 100, &ServerRecord::expires, ServerColumn::Expires, true},
        {QStringLiteral("下架时间"), 100, &ServerRecord::unracked, ServerColumn::Unracked, true},
        {QStringLiteral("客户"), 80, &ServerRecord::customer, ServerColumn::Customer, false},
        {QStringLiteral("备注"), 50, &ServerRecord::remark, ServerColumn::Remark, false},
    }};
    return columns;
}
