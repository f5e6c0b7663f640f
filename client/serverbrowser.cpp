#include "serverbrowser.h"

ServerBrowser::ServerBrowser(MasterConnection* master, const MasterserverSettings& where,
                             QObject* parent)
    : QObject(parent), master_(master), where_(where) {
    master_->setParent(this);
    connect(master_, &ConnectionInterface::changedCNewServer, this,
            &ServerBrowser::processNewServer);
    connect(master_, &ConnectionInterface::masterserverResult, this,
            [this](int, MasterserverResult result) { Q_EMIT resultMasterserver(result); });
    connect(master_, &ConnectionInterface::masterserverOnline, this,
            &ServerBrowser::processMasterReached);
    connect(master_, &ConnectionInterface::errorOccured, this,
            &ServerBrowser::processConnectionError);
}

ServerBrowser::~ServerBrowser() {
    // The connection dies with us; nothing it says on the way out matters.
    master_->disconnect(this);
}

void ServerBrowser::open() {
    if (!connected_) {
        master_->connectToHost(where_.address, where_.port);
        connected_ = true;
    }
}

void ServerBrowser::checkMaster() {
    listing_ = false;
    checking_ = true;
    open();
    master_->sendMasterTest(true);
}

void ServerBrowser::probe(const QHostAddress& address, int port) {
    listing_ = false;
    probe_ = Target{address, port};
    master_->queryServer(address, port);
}

void ServerBrowser::close() {
    if (connected_) {
        master_->disconnectClient(-1, true);
        connected_ = false;
    }
}

void ServerBrowser::getServerlist() {
    if (!hasMaster()) {
        Q_EMIT resultMasterserver(MasterserverResult::MasterUnreachable);
        return;
    }
    listing_ = true;
    open();
    master_->requestServerlist(true);
}

void ServerBrowser::processNewServer(int /*connId*/, ServerData server) {
    // Answers of the list's probes may still come in while a join probes its
    // server; only the probed server's answer goes to the join.
    const bool probed = probe_ && server.port() == probe_->port &&
                        QHostAddress(server.address()) == probe_->address;
    if (!probed) {
        Q_EMIT newServer(server);
        return;
    }
    probe_.reset();
    Q_EMIT probeAnswered(server);
}

void ServerBrowser::processMasterReached(int /*connId*/) {
    checking_ = false;
    Q_EMIT masterReached();
}

void ServerBrowser::processConnectionError(int /*connId*/,
                                           ConnectionInterface::ConnectionError /*error*/) {
    connected_ = false;
    if (probe_) {
        probe_.reset();
        Q_EMIT probeFailed();
    } else if (checking_) {
        checking_ = false;
        Q_EMIT masterUnreachable();
    } else if (listing_) {
        Q_EMIT resultMasterserver(MasterserverResult::MasterUnreachable);
    }
}
