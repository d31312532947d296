#pragma once

#include "core/records.h"

#include <QWidget>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;
class RegisterDb;

// One server as stored, read only, and what its history says of it, newest first.
class ServerViewWindow : public QWidget {
    Q_OBJECT
public:
    ServerViewWindow(RegisterDb &db, const ServerRecord &server, QWidget *parent = nullptr);
    qint64 serverKey() const { return m_key; }

private:
    qint64 m_key;
};

// The servers deleted and not restored since, newest first; 恢复 stores the chosen ones again, in
// one transaction. The servers one action deleted can be chosen together.
class DeletedServersWindow : public QWidget {
    Q_OBJECT
public:
    explicit DeletedServersWindow(RegisterDb &db, QWidget *parent = nullptr);
    // Reads the deletions again.
    void reload();

signals:
    // Deleted servers were stored again under these keys.
    void serversRestored(const std::vector<qint64> &keys);

private:
    void restoreChosen();
    void chooseSameDeletion();
    void offerSameDeletion();

    RegisterDb &m_db;
    std::vector<HistoryEntry> m_entries;
    std::vector<size_t> m_groupOf; // each entry's group in m_groups
    std::vector<std::vector<size_t>> m_groups;
    QTableWidget *m_list = nullptr;
    QLabel *m_note = nullptr;
    QPushButton *m_restore = nullptr;
    QPushButton *m_group = nullptr;
};
