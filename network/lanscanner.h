#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <functional>
#include <memory>

#include "network/serverdata.h"

class QUdpSocket;

// One network interface as far as asking its network is concerned.
struct LanInterface {
    bool up = false;
    bool loopback = false;
    bool canBroadcast = false;
    QList<QHostAddress> broadcasts;  // of its address entries, any protocol
};

// Where a question to every local network goes: the IPv4 broadcast address of
// each interface that is up, no loopback and can broadcast, each once.
QList<QHostAddress> broadcastAddresses(const QList<LanInterface>& interfaces);
// The machine's interfaces, as QNetworkInterface sees them.
QList<LanInterface> systemInterfaces();

// Asks the local networks for game servers: one "CIN" to every broadcast
// address at every port asked, from a socket of its own that takes the
// answers ("SIN") from whoever sends them. Each answer with a genuine digest
// becomes a ServerData marked LAN, with the sender's address and port; a
// server heard twice in one round (through two interfaces) counts once.
//
// A round sends each datagram once and repeats nothing: the server list asks
// again every few seconds, so a lost datagram costs an entry one round.
class LanScanner : public QObject {
    Q_OBJECT

public:
    using Targets = std::function<QList<QHostAddress>()>;
    using Clock = std::function<qint64()>;
    // Ports of games seen are asked too, but not without end.
    static constexpr int kMaxPorts = 16;

    explicit LanScanner(QObject* parent = nullptr);
    ~LanScanner() override;

    // Where rounds go; by default the broadcast addresses of systemInterfaces().
    void setTargets(Targets targets) { targets_ = std::move(targets); }
    void setClock(Clock clock) { clock_ = std::move(clock); }
    // The discovery port (every server's) and the default game port (older
    // servers') are asked unless setPorts says otherwise; addPort adds one (a
    // game seen).
    void setPorts(const QList<int>& ports);
    void addPort(int port);
    const QList<int>& ports() const { return ports_; }

    // Sends one round; answers come as found.
    void scan();
    // Bytes of questions handed to the socket by the last round (UDP payload).
    qint64 lastRoundBytes() const { return lastRoundBytes_; }

Q_SIGNALS:
    void found(ServerData server);

private:
    bool open();
    void processReadyRead();

    std::unique_ptr<QUdpSocket> socket_;
    Targets targets_;
    Clock clock_;
    QList<int> ports_;
    QSet<QString> heard_;  // "address:port" answered this round
    qint64 roundStartMs_ = 0;
    qint64 lastRoundBytes_ = 0;
};
