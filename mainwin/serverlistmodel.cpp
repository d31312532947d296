#include "mainwin/serverlistmodel.h"

#include "core/datetext.h"
#include "core/fileops/exporter.h"
#include "core/text.h"

#include <QColor>
#include <algorithm>

ServerListModel::ServerListModel(RegisterDb &db, QStringList headers, QObject *parent)
    : KeyedRowModel(std::move(headers), parent), m_db(db), m_today(QDate::currentDate())
{
}

void ServerListModel::setToday(const QDate &today)
{
    if (today == m_today)
        return;
    m_today = today;
    if (!m_keys.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

Status ServerListModel::load(const ServerQuery &query, const ServerOrder &order)
{
    Read<std::vector<qint64>> keys = m_db.serverKeys(query, order);
    if (!keys.ok())
        return keys.status;
    setKeys(std::move(keys.value));
    return Status::done();
}

void ServerListModel::setKeys(std::vector<qint64> keys)
{
    beginResetModel();
    // The old keys go before the new list is in place: never two lists alive at once.
    m_keys = std::move(keys);
    m_keys.shrink_to_fit();
    forgetPages();
    endResetModel();
}

void ServerListModel::insertServer(qint64 key)
{
    // Keys grow with every server stored, so a new one almost always goes last.
    const auto at = std::lower_bound(m_keys.begin(), m_keys.end(), key);
    if (at != m_keys.end() && *at == key)
        return;
    const int row = int(at - m_keys.begin());
    beginInsertRows({}, row, row);
    m_keys.insert(at, key);
    forgetPages();
    endInsertRows();
}

void ServerListModel::removeServer(qint64 key)
{
    const int row = rowOf(key);
    if (row < 0)
        return;
    beginRemoveRows({}, row, row);
    m_keys.erase(m_keys.begin() + row);
    forgetPages();
    endRemoveRows();
}

void ServerListModel::refreshServer(qint64 key)
{
    const int row = rowOf(key);
    if (row < 0)
        return;
    const int page = row / kPageRows;
    m_pages.erase(page);
    m_recent.remove(page);
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

int ServerListModel::rowOf(qint64 key) const
{
    // The keys are in stored order, which is key order.
    const auto at = std::lower_bound(m_keys.begin(), m_keys.end(), key);
    if (at != m_keys.end() && *at == key)
        return int(at - m_keys.begin());
    // A register whose keys are not in stored order: look at every row.
    const auto found = std::find(m_keys.begin(), m_keys.end(), key);
    return found == m_keys.end() ? -1 : int(found - m_keys.begin());
}

Read<ServerRecord> ServerListModel::record(int row) const
{
    if (row < 0 || row >= int(m_keys.size()))
        return {{Fault::NotFound, QStringLiteral("no such row")}, {}};
    return m_db.server(m_keys[size_t(row)]);
}

qint64 ServerListModel::key(int row) const
{
    return row >= 0 && row < int(m_keys.size()) ? m_keys[size_t(row)] : -1;
}

int ServerListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_keys.size());
}

QVariant ServerListModel::data(const QModelIndex &index, int role) const
{
    constexpr int kExpiresColumn = 4;
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::ForegroundRole &&
                             role != Qt::AccessibleDescriptionRole))
        return {};
    const ServerRecord *server = cached(index.row());
    if (!server)
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    switch (role) {
    case Qt::ForegroundRole:
        switch (expiryOf(server->expires, server->unracked, m_today).state) {
        case Expiry::Expired:
            return QColor(0xB0, 0x00, 0x00); // red
        case Expiry::Soon:
            return QColor(0x8A, 0x52, 0x00); // dark amber
        case Expiry::Retired:
            return QColor(0x80, 0x80, 0x80); // grey: off the rack
        default:
            return {};
        }
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        if (index.column() == kExpiresColumn) {
            const QString note = expiryNote(expiryOf(server->expires, server->unracked, m_today));
            if (!note.isEmpty())
                return note;
        }
        return role == Qt::ToolTipRole ? QVariant(shortenedForDisplay(serverListCell(*server, index.column()), 500))
                                       : QVariant();
    default:
        // A cell is one line of a few hundred pixels: a megabyte of remark is not laid out for it.
        return shortenedForDisplay(serverListCell(*server, index.column()), 256);
    }
}

const ServerRecord *ServerListModel::cached(int row) const
{
    if (row < 0 || row >= int(m_keys.size()))
        return nullptr;
    const int page = row / kPageRows;
    auto it = m_pages.find(page);
    if (it == m_pages.end()) {
        const size_t first = size_t(page) * kPageRows;
        const size_t count = std::min(size_t(kPageRows), m_keys.size() - first);
        Read<std::vector<ServerRecord>> read = m_db.servers(std::span<const qint64>(m_keys.data() + first, count));
        if (!read.ok()) {
            emit readFailed(read.status.reason);
            return nullptr;
        }
        if (m_pages.size() >= kPagesKept) {
            m_pages.erase(m_recent.back());
            m_recent.pop_back();
        }
        it = m_pages.emplace(page, std::move(read.value)).first;
        m_recent.push_front(page);
    } else if (m_recent.front() != page) {
        m_recent.remove(page);
        m_recent.push_front(page);
    }
    const ServerRecord &server = it->second[size_t(row - page * kPageRows)];
    return server.key < 0 ? nullptr : &server;
}

void ServerListModel::forgetPages()
{
    m_pages.clear();
    m_recent.clear();
}
