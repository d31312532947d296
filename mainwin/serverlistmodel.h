#pragma once

#include "core/records.h"
#include "core/registerdb.h"
#include "widgets/reportlist.h"

#include <QDate>
#include <list>
#include <unordered_map>
#include <vector>

// The main list's rows: it holds only the record keys of the servers it shows, in the order shown,
// and reads the texts of the rows on screen (a page at a time, a few pages kept) from the register
// when they are asked for.
class ServerListModel : public KeyedRowModel {
    Q_OBJECT
public:
    ServerListModel(RegisterDb &db, QStringList headers, QObject *parent = nullptr);

    // Loads the keys the query selects, in the order given. On a failed read the rows shown stay as
    // they were.
    Status load(const ServerQuery &query, const ServerOrder &order = {});
    // Shows these keys, in this order (an answer read elsewhere).
    void setKeys(std::vector<qint64> keys);
    // The day expiry colours and notes are counted from.
    void setToday(const QDate &today);
    // Single-row changes, with the result a load would give.
    void insertServer(qint64 key);  // a new server that belongs in the list, placed by its key
    void removeServer(qint64 key);  // gone from the register
    void refreshServer(qint64 key); // stored again with new texts
    int rowOf(qint64 key) const;    // -1 when not shown
    const std::vector<qint64> &keys() const { return m_keys; } // in the order shown

    // The whole record a row shows, read afresh.
    Read<ServerRecord> record(int row) const;

    qint64 key(int row) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

signals:
    // A page of rows could not be read; its cells show empty until the next try.
    void readFailed(const QString &reason) const;

private:
    static constexpr int kPageRows = 64;
    static constexpr size_t kPagesKept = 32;
    const ServerRecord *cached(int row) const;
    void forgetPages();

    RegisterDb &m_db;
    QDate m_today;
    std::vector<qint64> m_keys;
    mutable std::unordered_map<int, std::vector<ServerRecord>> m_pages;
    mutable std::list<int> m_recent; // page numbers, most recently read first
};
