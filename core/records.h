#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// What the register holds, as the windows see it: records with their keys, never columns.

// One server. key is the record key the database assigned (F_ID); -1 for a server not yet stored.
struct ServerRecord {
    qint64 key = -1;
    QString customer; // the customer's name
    QString number;
    QString ip;
    QString cabinet;
    QString racked;   // the three dates as stored texts (see core/datetext.h)
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

// The administrator account the login checks.
struct AdminRecord {
    QString account;
    QString password;
};

// Which servers a list shows: all of them, or those whose field equals a text exactly.
struct ServerQuery {
    enum class Field { All, Number, Ip, Customer, Cabinet };
    Field field = Field::All;
    QString text;

    static ServerQuery all() { return {}; }
    static ServerQuery equal(Field field, const QString &text) { return {field, text}; }
    // The main window's search chooser: 0 number, 1 IP, 2 customer name, 3 cabinet; an index
    // outside these gives none.
    static std::optional<ServerQuery> fromSearchField(int index, const QString &text);

    // Whether the server belongs in a list under this query (texts compared exactly).
    bool matches(const ServerRecord &server) const;
    bool operator==(const ServerQuery &) const = default;
};
