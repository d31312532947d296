#pragma once

#include "editors/serverform.h"

// Enters new servers, one per press of 添加数据, after the IP and customer checks.
class ServerAddWindow : public ServerForm {
    Q_OBJECT
public:
    explicit ServerAddWindow(MainWindow &main);

    void addServer();

protected:
    void onAction() override { addServer(); }
};
