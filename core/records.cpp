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

bool ServerQuery::matches(const ServerRecord &server) const
{
    switch (field) {
    case Field::All:
        return true;
    case Field::Number:
        return server.number == text;
    case Field::Ip:
        return server.ip == text;
    case Field::Customer:
        return server.customer == text;
    case Field::Cabinet:
        return server.cabinet == text;
    case Field::ExpiresWithin: {
        const Expiry expiry = expiryOf(server.expires, QDate::currentDate());
        return expiry.state != Expiry::NoDate && expiry.days <= days;
    }
    }
    return false;
}
