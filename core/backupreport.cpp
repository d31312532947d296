#include "core/backupreport.h"

#include "core/datetext.h"

#include <utility>

void TextFindings::look(const ServerRecord &server)
{
    const bool listed = m_listed.size() < kListed;
    if (!isIpAddress(server.ip)) {
        ++m_ips;
        if (listed)
            m_listed << QStringLiteral("server %1: the IP is no address")
                            .arg(server.ip.isEmpty() ? QStringLiteral("\"\"") : server.ip);
    }
    static const std::pair<QString ServerRecord::*, const char *> dates[] = {{&ServerRecord::racked, "上架时间"},
                                                                             {&ServerRecord::expires, "到期时间"},
                                                                             {&ServerRecord::unracked, "下架时间"}};
    for (const auto &[field, name] : dates) {
        const QString &text = server.*field;
        if (text.trimmed().isEmpty() || textToDate(text).isValid())
            continue;
        ++m_dates;
        if (m_listed.size() < kListed)
            m_listed << QStringLiteral("server %1: %2 \"%3\" is no date").arg(server.ip, QString::fromUtf8(name), text);
    }
}

QStringList TextFindings::warnings() const
{
    QStringList out;
    if (m_ips)
        out << QStringLiteral("%1 server IP(s) are no IPv4 or IPv6 address").arg(m_ips);
    if (m_dates)
        out << QStringLiteral("%1 date text(s) are no date").arg(m_dates);
    out << m_listed;
    if (m_ips + m_dates > m_listed.size())
        out << QStringLiteral("(the first %1 listed)").arg(m_listed.size());
    return out;
}
