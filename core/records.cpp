#include "core/records.h"

std::optional<ServerQuery> ServerQuery::fromSearchField(int index, const QString &text)
{
    static const Field fields[] = {Field::Number, Field::Ip, Field::Customer, Field::Cabinet};
    if (index < 0 || index > 3)
        return std::nullopt;
    return ServerQuery{fields[index], text};
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
    }
    return false;
}
