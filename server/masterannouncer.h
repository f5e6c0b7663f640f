#pragma once

#include <QObject>

#include "network/connectioninterface.h"
#include "network/masterserversettings.h"

class QTimer;

// Keeps a game server on the master server's list: announces it when it
// starts, at every heartbeat and under a new public port, and takes it off
// when it goes. A lost link is opened again by the next heartbeat.
class MasterAnnouncer : public QObject {
    Q_OBJECT

public:
    // master may be null, and an unset masterServer means no master server:
    // the announcer then stays silent. It adopts master as its child.
    // publicPort: -1 the game port; 0 none yet, held back until
    // setPublicPort() gives one.
    MasterAnnouncer(MasterConnection* master, const MasterserverSettings& masterServer,
                    int gamePort, int publicPort, int heartbeatMs, QObject* parent = nullptr);
    // Takes the server off the list.
    ~MasterAnnouncer() override;

    bool active() const { return active_; }
    bool registered() const { return registered_; }
    int publicPort() const { return publicPort_ < 0 ? gamePort_ : publicPort_; }
    // The port the master server hears from now on: the router's external
    // port once it forwards one. The first port given starts the
    // announcements; a change takes the old port off the list.
    void setPublicPort(int port);

public Q_SLOTS:
    void sendHeartbeat();

private:
    void ensureRegistered();

    MasterConnection* master_;
    MasterserverSettings masterServer_;
    int gamePort_;
    int publicPort_;
    bool active_;
    bool registered_ = false;
    QTimer* heartbeatTimer_ = nullptr;
};
