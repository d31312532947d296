#pragma once

#include <QString>

// Row conditions and update statements of the register. Every value goes in as an SQL literal with
// its quotes doubled (sqlLiteral), so a value is stored exactly as typed and never ends the literal.

// The search row's condition for the field chosen in the search chooser:
// 0 server number, 1 IP, 2 customer name, 3 cabinet. Null for any other index.
QString searchCondition(int fieldIndex, const QString &text);

// Servers of one customer, by the customer name they carry.
QString customerCondition(const QString &customerName);

// Servers of one record key.
QString serverKeyCondition(qint64 key);

// A record of any table by its rowid.
QString rowIdCondition(qint64 rowId);

// "update data set <column> ='<value>' where F_IP='<ip>'"
QString serverUpdate(const QString &column, const QString &value, const QString &ip);

// "update kehu set <column> ='<value>' where K_DD='<key>'"
QString customerUpdate(const QString &column, const QString &value, const QString &key);

// "update admin set <column> ='<value>' " — every administrator row.
QString adminUpdate(const QString &column, const QString &value);

// "insert into admin (U_ZH, U_MM) values ('<account>', '<password>')"
QString adminInsert(const QString &account, const QString &password);
