#pragma once

#include "editors/serverform.h"

// Enters new servers, one per press of 添加数据, after the IP and customer checks.
class ServerAddWindow : public ServerForm {
    Q_OBJECT
public:
    explicit ServerAddWindow(RegisterDb &db);

signals:
    // A server was stored under this record key.
    void serverAdded(qint64 key);

protected:
    void onAction() override { addServer(); }

private:
    void addServer();
};
