#include "core/records.h"

#include "core/datetext.h"
#include "core/listcolumns.h"

std::optional<ServerQuery> ServerQuery::fromSearchField(int index, const QString &text)
{
    static const Field fields[] = {Field::Number, Field::Ip, Field::Customer, Field::Cabinet};
    if (index == 4) {
        const std::optional<int> days = dayCountFromText(text);
        if (!days)
            return std::nullopt;
        return expiringWithin(*days);
    }
    if (index < 0 || index > 3)
        return std::nullopt;
    return ServerQuery{fields[index], text, 0};
}

bool isDateColumn(int listColumn)
{
    return listColumn >= 0 && listColumn < kListColumnCount && listColumns()[size_t(listColumn)].date;
}

QString ServerRecord::*ServerQuery::comparedText(Field field)
{
    switch (field) {
    case Field::Number:
        return &ServerRecord::number;
    case Field::Ip:
        return &ServerRecord::ip;
    case Field::Customer:
        return &ServerRecord::customer;
    case Field::Cabinet:
        return &ServerRecord::cabinet;
    case Field::All:
    case Field::ExpiresWithin:
        break;
    }
    return nullptr;
}

bool ServerQuery::matches(const ServerRecord &server) const
{
    if (field == Field::All)
        return true;
    if (field == Field::ExpiresWithin) {
        const Expiry expiry = expiryOf(server.expires, QDate::currentDate());
        return expiry.state != Expiry::NoDate && expiry.days <= days;
    }
    const auto compared = comparedText(field);
    return compared && server.*compared == text;
}
