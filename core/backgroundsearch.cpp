#include "core/backgroundsearch.h"

#include <QMetaObject>
#include <QPointer>

BackgroundSearch::BackgroundSearch(const QString &location, QObject *parent)
    : QObject(parent), m_location(location), m_worker([this] { run(); })
{
}

BackgroundSearch::~BackgroundSearch()
{
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_stopping = true;
        m_pending.reset();
        if (m_db)
            m_db->interrupt();
    }
    m_wake.notify_all();
    m_worker.join();
}

quint64 BackgroundSearch::start(const ServerQuery &query, const ServerOrder &order)
{
    quint64 number;
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        number = ++m_latest;
        m_pending = Request{number, query, order};
        // The search running is of no use any more.
        if (m_db)
            m_db->interrupt();
    }
    m_wake.notify_all();
    return number;
}

void BackgroundSearch::cancel()
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_delivered = ++m_latest;
    m_pending.reset();
    if (m_db)
        m_db->interrupt();
}

bool BackgroundSearch::busy() const
{
    const std::lock_guard<std::mutex> hold(m_lock);
    return m_delivered != m_latest;
}

void BackgroundSearch::run()
{
    // The connection belongs to this thread: made, used and closed here.
    RegisterDb db;
    bool opened = false;
    for (;;) {
        Request request;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_wake.wait(hold, [this] { return m_stopping || m_pending; });
            if (m_stopping)
                break;
            request = *m_pending;
            m_pending.reset();
        }
        Read<std::vector<qint64>> keys;
        if (!opened) {
            keys.status = db.open(m_location);
            opened = keys.ok();
            const std::lock_guard<std::mutex> hold(m_lock);
            if (opened)
                m_db = &db;
        }
        // An interruption meant for the search before may reach this one: tried once more then.
        for (int attempt = 0; opened && attempt < 2; ++attempt) {
            keys = db.serverKeys(request.query, request.order);
            const std::lock_guard<std::mutex> hold(m_lock);
            if (keys.ok() || request.number != m_latest || m_stopping)
                break;
        }
        deliver(request, std::move(keys));
    }
    const std::lock_guard<std::mutex> hold(m_lock);
    m_db = nullptr;
}

void BackgroundSearch::deliver(const Request &request, Read<std::vector<qint64>> keys)
{
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        if (request.number != m_latest || m_stopping)
            return;
    }
    // On the object's own thread, where a newer search may have been started meanwhile.
    QMetaObject::invokeMethod(
        this,
        [this, request, keys = std::move(keys)]() mutable {
            {
                const std::lock_guard<std::mutex> hold(m_lock);
                if (request.number != m_latest)
                    return;
                m_delivered = request.number;
            }
            emit found(request.number, request.query, request.order, keys.status, keys.value);
        },
        Qt::QueuedConnection);
}
