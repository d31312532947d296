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
    if (index == 5)
        return containing(text);
    if (index < 0 || index > 3)
        return std::nullopt;
    return ServerQuery{fields[index], text, 0};
}

bool isDateColumn(int listColumn)
{
    return listColumn >= 0 && listColumn < kListColumnCount && listColumns()[size_t(listColumn)].date;
}

ServerQuery ServerQuery::containing(const QString &text)
{
    // An input method's full-width forms read as the half-width ones, as a day count does.
    QString typed = text;
    for (QChar &c : typed) {
        if (c.unicode() >= 0xFF01 && c.unicode() <= 0xFF5E)
            c = QChar(c.unicode() - 0xFF01 + 0x21);
        else if (c.unicode() == 0x3000)
            c = QLatin1Char(' ');
    }
    typed = typed.trimmed();
    if (typed.isEmpty())
        return all();
    return {Field::Contains, foldedForContains(typed), 0};
}

QString ServerQuery::foldedForContains(const QString &text)
{
    QString folded = text;
    for (QChar &c : folded)
        if (c.unicode() >= 'A' && c.unicode() <= 'Z')
            c = QChar(c.unicode() + ('a' - 'A'));
    return folded;
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
    case Field::Contains:
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
    if (field == Field::Contains) {
        for (const QString *t : {&server.number, &server.ip, &server.cabinet, &server.racked, &server.expires,
                                 &server.unracked, &server.customer, &server.remark})
            if (foldedForContains(*t).contains(text))
                return true;
        return false;
    }
    const auto compared = comparedText(field);
    return compared && server.*compared == text;
}
