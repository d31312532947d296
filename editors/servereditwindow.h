#pragma once

#include <QList>
#include <optional>

#include "core/records.h"
#include "editors/serverform.h"

#include <QDate>
#include <array>

// Changes one stored server: the one handed over when the window was opened, found again by its
// record key at every save.
class ServerEditWindow : public ServerForm {
    Q_OBJECT
public:
    ServerEditWindow(RegisterDb &db, const ServerRecord &server);

    qint64 serverKey() const { return m_stored.key; }

signals:
    // The server of this key was stored with new texts.
    void serverModified(qint64 key);
    // The server of this key is no longer in the register.
    void serverVanished(qint64 key);

protected:
    void onAction() override { saveServerChanges(); }

private:
    void saveServerChanges();
    void markChangedElsewhere();
    void clearChangedMarks();
    // What a box shows right after it was filled: a box still showing it was not changed, and its
    // stored text goes back byte for byte.
    struct Shown {
        QString number, cabinet, remark;
        std::array<QDate, 3> dates; // invalid for a box shown blank
    };
    ServerRecord edited() const;

    ServerRecord m_stored;
    Shown m_shown;
    std::optional<ServerRecord> m_changedElsewhere; // what another program stored, once shown
    QList<QWidget *> m_marked;
};
