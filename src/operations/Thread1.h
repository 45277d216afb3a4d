#pragma once
// The worker of one device operation. It touches no widget: everything it
// shows goes through the Host, which hands it to the interface thread.
#include <QThread>

#include "app/AppState.h"

namespace tesmar {

class Thread1 : public QThread {
    Q_OBJECT
public:
    explicit Thread1(AppState& st) : st_(st) {}

protected:
    void run() override;  // Execute

private:
    AppState& st_;
};

}  // namespace tesmar
