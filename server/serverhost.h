#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <map>
#include <memory>

#include "game/appinfo.h"
#include "game/randomsource.h"
#include "network/networktimings.h"
#include "network/payloadcodec.h"
#include "portmap/portmapper.h"
#include "relay/turnudprelay.h"
#include "server/holepuncher.h"
#include "server/serversettings.h"

class NetServerConnection;
class QTcpServer;
class QUdpSocket;
class RelayHost;
class Server;
class SharedDatagramTransport;

struct ServerHostOptions {
    ServerSettings settings;
    // Where to listen: both families by default (IPv4 alone where the
    // machine has no IPv6); tests stay on the loopback address.
    QHostAddress address = QHostAddress(QHostAddress::Any);
    NetworkTimings networkTimings;
    ServerTimings serverTimings;
    // The master server file; empty: "masterserver.ini" in the working directory.
    QString masterConfig;
    // Where finished games are kept as replays; empty: nowhere.
    QString replayFolder;
    // No client of its own (the dedicated server): there is no host key, so
    // the first client to join becomes host and the server plays on when
    // its host leaves (PlayerSessions).
    bool dedicated = false;
    // How the router is asked to forward the port (ServerSettings::openPort);
    // no methods: the router's own (UPnP IGD, then PCP/NAT-PMP).
    PortMapTimings portMapTimings;
    std::vector<PortMapper::MethodFactory> portMapMethods;
    // Where the LAN question is heard besides the game port; tests take one
    // of their own.
    int discoveryPort = Quadrell::kDiscoveryPort;
    TurnTimings relayTimings;
    HolePuncher::Timings punchTimings;
    // After the relay lost the game (it restarted, say): the first wait for
    // new allocations, doubled after every failure up to a minute.
    int relayRetryMs = 2000;
};

// Bytes the server has sent to one client id, per connection, and the resend
// requests it had from that client id's datagrams.
struct ClientTraffic {
    qint64 streamBytes = 0;
    qint64 datagramBytes = 0;
    qint64 resendRequests = 0;
};

// Runs a Server on real sockets: a stream listener and a datagram socket on
// one port, the three connection objects, and the master server settings.
// Unless the game stays on this computer (singleplayer or a loopback
// address), a datagram socket on the discovery port, shared with the other
// servers of the machine, hears the LAN question too; without it the game
// is found only where its own port is asked.
//
// Two steps, so that the owner learns at once whether the port could be had:
// listen() opens the sockets, start() reads the master server file (which may
// look a host name up) and creates the Server. Clients that arrive in between
// wait in the sockets' queues until the event loop runs.
//
// The Server may delete itself (its host's client shut it down); finished()
// then tells the owner. Destroying the host ends a running Server first, which
// says goodbye to the master server, and closes the sockets after that.
//
// A joiner the master server announces (one by code, for a game it could not
// reach) is let in at the relay, if the game has one, and the router is
// opened towards it (HolePuncher); a stream punched through is taken as one
// the listener accepted.
//
// With ServerSettings::openPort it asks the router to forward the port once
// the Server runs (not for singleplayer or a loopback address): the master
// server hears the port the router gave, and changedPortMapping() tells where
// friends can reach the game. The port is given back when the Server ends;
// finished() waits for that (at most PortMapTimings::releaseTimeoutMs).
class ServerHost : public QObject {
    Q_OBJECT

public:
    explicit ServerHost(const ServerHostOptions& options, QObject* parent = nullptr);
    ~ServerHost() override;

    // Listens on the port of the settings (port 0: any free port that is
    // free for both sockets). False, with errorString(), when either socket
    // cannot be had; nothing stays open then.
    bool listen();
    // The port both sockets use, -1 before a successful listen().
    int port() const { return port_; }
    QString errorString() const { return error_; }

    // Reads the master server file and creates the Server on the open sockets;
    // null if listen() has not succeeded or start() ran already.
    Server* start(RandomSource& random = RandomSource::forThisThread());
    // Null before start() and once the Server is gone.
    Server* server() const;

    // Tells every client that the server goes away ("SSHD"), gives the streams
    // a moment to deliver it, then ends the Server (the master server hears
    // "SOF") and closes the sockets. finished() follows.
    void shutDown();

    // Traffic per client id so far; kept after the Server is gone.
    std::map<int, ClientTraffic> traffic() const;

    PortMapping portMapping() const;
    // For an owner whose event loop has ended: gives the port back now and
    // waits for the router, running this thread's events meanwhile.
    void releasePortAndWait();

Q_SIGNALS:
    // The Server is gone: shut down by its host's client or by shutDown().
    void finished();
    void changedPortMapping(PortMapping mapping);
    // The master server's code for the game and what it found of its reach.
    void changedInvite(PayloadCodec::RegistrationAnswer invite);
    // The game's addresses at the master server's relay ("address:port"),
    // both empty when the relay gave up.
    void changedRelay(QString stream, QString datagram);

private:
    class Listener;

    void listenForQuestions();
    void takeTraffic();
    void endServer();
    void processServerGone();
    void processPortMapping(const PortMapping& mapping);
    void processPortMapStopped();
    // A relay offered by the master server: taken once, and again after a failure.
    void processInvite(const PayloadCodec::RegistrationAnswer& invite);
    void dropRelay();
    // A joiner the master server announced: the game opens towards it and
    // says so, and lets it in at the relay and says that.
    void processJoiner(const QString& nonce, const Endpoint& joiner);
    // The joiner may come through the relay, if there is one.
    void processLetIn(const QString& nonce);
    // "SPN" from the game port, so that the master server sees how the
    // router maps it: with the punched stream's port (opened), or without
    // (let in at the relay, or there is none).
    void sendReady(const QString& nonce, bool opened);

    ServerHostOptions options_;
    int port_ = -1;
    QString error_;
    Listener* listener_ = nullptr;
    std::unique_ptr<QUdpSocket> datagramSocket_;   // until the Server takes it over
    std::unique_ptr<QUdpSocket> discoverySocket_;  // likewise; none when not to be found
    QPointer<Server> server_;
    QPointer<NetServerConnection> stream_;
    QPointer<NetServerConnection> datagram_;
    SharedDatagramTransport* sharedDatagrams_ = nullptr;  // datagram_'s, while it is there
    QPointer<RelayHost> relay_;
    int relayRetryMs_ = 0;
    HolePuncher* puncher_ = nullptr;  // a child, while the Server runs
    struct Joiner {
        Endpoint at;
        int streamPort = 0;  // where the punched stream left from; 0: none
        bool letIn = false;  // at the relay, or there is none
    };
    // By nonce; the master server announces a joiner once per address family.
    QHash<QString, Joiner> joiners_;
    static constexpr int kMaxJoiners = 256;
    std::map<int, ClientTraffic> traffic_;
    bool shuttingDown_ = false;
    PortMapper* portMapper_ = nullptr;  // only while a port is wanted
    bool portMapStopped_ = false;
};
