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

// The servers deleted and not restored since, newest first; 恢复 stores the chosen one again.
class DeletedServersWindow : public QWidget {
    Q_OBJECT
public:
    explicit DeletedServersWindow(RegisterDb &db, QWidget *parent = nullptr);
    // Reads the deletions again.
    void reload();

signals:
    // A deleted server was stored again under this key.
    void serverRestored(qint64 key);

private:
    void restoreChosen();

    RegisterDb &m_db;
    std::vector<HistoryEntry> m_entries;
    QTableWidget *m_list = nullptr;
    QLabel *m_note = nullptr;
    QPushButton *m_restore = nullptr;
};
