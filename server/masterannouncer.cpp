#include "masterannouncer.h"

#include <QTimer>

#include "serverlog.h"

MasterAnnouncer::MasterAnnouncer(MasterConnection* master, const MasterserverSettings& masterServer,
                                 int gamePort, int publicPort, int heartbeatMs, QObject* parent)
    : QObject(parent),
      master_(master),
      masterServer_(masterServer),
      gamePort_(gamePort),
      publicPort_(publicPort),
      active_(master != nullptr && masterServer.isSet()) {
    if (master_) {
        master_->setParent(this);
    }
    if (!active_) {
        return;
    }
    connect(master_, &ConnectionInterface::errorOccured, this,
            [this](int connId, ConnectionInterface::ConnectionError error) {
                qCDebug(lcServer) << "master server connection error" << connId << error;
                registered_ = false;  // the next heartbeat opens the connection again
            });
    if (this->publicPort() > 0) {
        ensureRegistered();
        master_->sendServerOnline(true, this->publicPort());
    }
    heartbeatTimer_ = new QTimer(this);
    heartbeatTimer_->setInterval(heartbeatMs);
    connect(heartbeatTimer_, &QTimer::timeout, this, &MasterAnnouncer::sendHeartbeat);
    heartbeatTimer_->start();
}

MasterAnnouncer::~MasterAnnouncer() {
    if (active_ && publicPort() > 0) {
        ensureRegistered();
        master_->sendServerOffline(true, publicPort());
        master_->disconnectClient(-1, true);
    }
    // Nothing the link raises while it goes may reach this half-destroyed object.
    if (master_) {
        disconnect(master_, nullptr, this, nullptr);
    }
}

void MasterAnnouncer::ensureRegistered() {
    if (!registered_) {
        master_->connectToHost(masterServer_.address, masterServer_.port);
        registered_ = true;
    }
}

void MasterAnnouncer::sendHeartbeat() {
    if (!active_ || publicPort() <= 0) {
        return;
    }
    ensureRegistered();
    master_->sendServerOnline(true, publicPort());
}

void MasterAnnouncer::setPublicPort(int port) {
    const int old = publicPort();
    publicPort_ = port;
    if (!active_ || port == old || port <= 0) {
        return;
    }
    ensureRegistered();
    if (old > 0) {
        master_->sendServerOffline(true, old);
    }
    master_->sendServerOnline(true, port);
}
