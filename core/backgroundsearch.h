#pragma once

#include "core/records.h"
#include "core/registerdb.h"

#include <QObject>
#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// List queries run on a thread of their own, on a connection of their own to the register, so
// that a window typing a search never waits for one. Only the latest search counts: starting one
// stops the one running (its connection interrupted), searches not yet begun are dropped, and an
// answer that is no longer the latest is never delivered.
class BackgroundSearch : public QObject {
    Q_OBJECT
public:
    // Searches the register at location (opened on the first search).
    explicit BackgroundSearch(const QString &location, QObject *parent = nullptr);
    ~BackgroundSearch() override;

    // Starts a search; its number comes back with its answer.
    quint64 start(const ServerQuery &query, const ServerOrder &order);
    // Drops every search started so far: none of their answers will come.
    void cancel();
    // Whether a search is started and its answer not yet delivered.
    bool busy() const;

signals:
    // The answer of the latest search, on the thread this object lives in.
    void found(quint64 number, const ServerQuery &query, const ServerOrder &order, const Status &status,
               const std::vector<qint64> &keys);

private:
    struct Request {
        quint64 number;
        ServerQuery query;
        ServerOrder order;
    };
    void run();
    void deliver(const Request &request, Read<std::vector<qint64>> keys);

    const QString m_location;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::optional<Request> m_pending;
    quint64 m_latest = 0;    // the number of the latest search started (or cancelled)
    quint64 m_delivered = 0; // the number of the latest search answered or dropped
    bool m_stopping = false;
    RegisterDb *m_db = nullptr; // the worker's, while it is open
    std::thread m_worker;
};
