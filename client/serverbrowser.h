#pragma once

#include <QHostAddress>
#include <QObject>
#include <optional>

#include "network/connectioninterface.h"
#include "network/masterserversettings.h"
#include "network/serverdata.h"

// The server list: the connection to the master server and the probes (a
// child), the list request and each listed server's answer as it comes in,
// and the master server's reachability for a game being hosted.
//
// A join probes its server through the browser as well: its question goes
// out on the same connection as the list's and its answer comes on the same
// signal, so only the browser can tell a list entry from the join's answer.
// An error on the connection answers whatever waits on it: the join's probe
// first, then the check of a hosted game, else the list request.
class ServerBrowser : public QObject {
    Q_OBJECT

public:
    ServerBrowser(MasterConnection* master, const MasterserverSettings& where,
                  QObject* parent = nullptr);
    ~ServerBrowser() override;

    // Whether there is a master server to ask at all.
    bool hasMaster() const { return where_.isSet(); }
    bool probing() const { return probe_.has_value(); }

    // Asks the master server whether it is there ("CTS"), for a game being
    // hosted: masterReached or masterUnreachable follows. Only with a master.
    void checkMaster();
    // Asks one game server about itself ("CIN") before a join: probeAnswered
    // or probeFailed follows, unless cancelled.
    void probe(const QHostAddress& address, int port);
    void cancelProbe() { probe_.reset(); }
    // Leaves the master server at once (the program ends).
    void close();

public Q_SLOTS:
    // The list from the master server ("CLS"); resultMasterserver says how it
    // goes and newServer brings each server that answers its probe.
    void getServerlist();

Q_SIGNALS:
    void newServer(ServerData server);
    void resultMasterserver(MasterserverResult result);
    void masterReached();
    void masterUnreachable();
    void probeAnswered(ServerData server);
    void probeFailed();

private:
    struct Target {
        QHostAddress address;
        int port = 0;
    };

    void open();
    void processNewServer(int connId, ServerData server);
    void processMasterReached(int connId);
    void processConnectionError(int connId, ConnectionInterface::ConnectionError error);

    MasterConnection* master_;
    MasterserverSettings where_;
    bool connected_ = false;
    bool checking_ = false;  // a hosted game waits for the master's answer
    bool listing_ = false;   // the list was asked for since the last join or host
    std::optional<Target> probe_;
};
