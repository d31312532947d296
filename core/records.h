#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <optional>
#include <vector>

// What the register holds, as the windows see it: records with their keys, never columns.

// One server. key is the record key the database assigned (F_ID); -1 for a server not yet stored.
struct ServerRecord {
    qint64 key = -1;
    QString customer; // the customer's name
    QString number;
    QString ip;
    QString cabinet;
    QString racked; // the three dates as stored texts (see core/datetext.h)
    QString expires;
    QString unracked;
    QString remark;

    bool operator==(const ServerRecord &) const = default;
};

// One customer. key is the row's own record key (customers are told apart by it even when two
// share a K_DD); id is the customer number K_DD.
struct CustomerRecord {
    qint64 key = -1;
    QString id;
    QString name;
    QString contact;

    bool operator==(const CustomerRecord &) const = default;
};

// One field of a change as the history keeps it: the text before and after (absent where the
// field had none, or for the side a record was added or deleted on). A password's texts are never
// kept: hidden says it changed.
struct FieldChange {
    QString field; // the stored column (F_IP ...)
    QString title; // what the windows call it (服务器IP ...)
    std::optional<QString> before;
    std::optional<QString> after;
    bool hidden = false;
};

// One entry of the change history.
struct HistoryEntry {
    qint64 id = -1;
    QString when;   // UTC, yyyy-MM-ddTHH:mm:ss.zzzZ as stored
    QString who;    // account@host, a database role, or (其他程序)
    QString table;  // data, kehu or admin
    QString action; // 添加, 修改, 删除, 恢复
    qint64 record = -1;
    QString name; // the server's IP or the customer's name as it was
    std::vector<FieldChange> changes;

    // The server as this entry found it, from the texts it holds (a deletion's: the whole server).
    ServerRecord serverBefore() const;
    // When, in local time (yyyy-MM-dd HH:mm:ss), and what changed in words ("备注：旧 → 新；…").
    QString localTime() const;
    QString describe() const;
};

// The deletions (newest first, as deletedServers lists them) that one action made together: entries
// written one after another by the same desk with the same time (a transaction's entries bear one). Each group is the
// indexes of its entries; every entry is in exactly one group.
std::vector<std::vector<size_t>> deletionGroups(const std::vector<HistoryEntry> &deletions);

// The administrator account the login checks.
struct AdminRecord {
    QString account;
    QString password;
};

// Which servers a list shows: all of them, those whose field equals a text exactly, or those whose
// 到期时间 is a date on or before today + days (expired ones included, retired ones only when asked).
struct ServerQuery {
    enum class Field { All, Number, Ip, Customer, Cabinet, ExpiresWithin, Contains, IpRange };
    Field field = Field::All;
    QString text;
    int days = 0;              // for ExpiresWithin
    quint32 low = 0, high = 0; // for IpRange: the first and the last address, both included
    bool withRetired = false;  // for ExpiresWithin: retired servers too

    static ServerQuery all() { return {}; }
    static ServerQuery equal(Field field, const QString &text) { return {field, text, 0}; }
    static ServerQuery expiringWithin(int days, bool withRetired = false)
    {
        ServerQuery q{Field::ExpiresWithin, {}, days};
        q.withRetired = withRetired;
        return q;
    }
    // The servers any of whose eight texts holds text, Latin letters in either case. The text is
    // read as a search box gives it: surrounding blanks ignored, full-width digits and Latin letters as
    // half-width (full-width punctuation stays as typed, as Chinese texts store it); an empty text selects every
    // server.
    static ServerQuery containing(const QString &text);
    // text with its ASCII letters in lower case: how 包含文字 compares, here and in SQL (lower()).
    static QString foldedForContains(const QString &text);
    // The servers whose IP text is an IPv4 address (see ipv4Of) within a block typed as a CIDR block
    // (10.1.0.0/16), a range (10.1.2.10-10.1.2.50, either end first), a prefix ending in a dot
    // (192.168.1.) or one address; full-width digits and dots read as half-width. None for any other text.
    static std::optional<ServerQuery> ipRange(const QString &text);
    // The address an IP text is: four decimal numbers 0-255 joined by dots, none with a leading zero
    // (010 would be octal to some programs and decimal to others), blanks around it ignored.
    static std::optional<quint32> ipv4Of(QStringView text);
    // The main window's search chooser: 0 number, 1 IP, 2 customer name, 3 cabinet, 4 到期天数 (the
    // text a whole number of days, 0 to 3650), 5 包含文字 (see containing), 6 IP 段 (see ipRange).
    // None for an index outside these, a day count or an IP block that is not one.
    static std::optional<ServerQuery> fromSearchField(int index, const QString &text);

    // The record text an exact search of this field compares; null for the kinds that are no
    // equality (All, ExpiresWithin). The column it is stored in follows from the list's columns.
    static QString ServerRecord::*comparedText(Field field);

    // Whether the server belongs in a list under this query (texts compared exactly; days counted
    // from today). The engines select by the same rule in SQL (core/engine/listrules.h), and use
    // this where SQL cannot say it.
    bool matches(const ServerRecord &server) const;
    bool operator==(const ServerQuery &) const = default;
};

// Whether a server's IP text is an address: an IPv4 address as ServerQuery::ipv4Of reads it, or an
// IPv6 address (eight groups of 1-4 hex digits, one :: standing for the groups left out, the last
// two possibly written as an IPv4 address); blanks around ignored. A footer's 合计, 待分配 or
// 999.1.1 is none.
bool isIpAddress(QStringView text);

// The order of a list: stored order, or by one of the list's columns (0 编号 ... 7 备注). Date
// columns go by date with texts that are no date last; the others by text, Chinese by pinyin.
// Servers that sort alike keep their stored order.
struct ServerOrder {
    int column = -1; // -1: stored order
    bool descending = false;

    bool isStored() const { return column < 0; }
    bool operator==(const ServerOrder &) const = default;
};

// The list column a server field is shown in, and whether that column holds dates.
bool isDateColumn(int listColumn);
