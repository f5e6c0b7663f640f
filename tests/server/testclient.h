#pragma once

// A game client made of the real client-side connections, used the way the
// game uses them: the stream connection says hello (no key, no password), and
// once it has an id the datagram connection says hello asking for that id. It
// records what the server tells it, taking every handed-over object at once.
#include <QHash>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "game/gameplayer.h"
#include "tests/network/nettestsupport.h"

class TestClient : public QObject {
public:
    TestClient() : tcp(nettest::clientStream()), udp(nettest::clientDatagram()) {
        connect(udp.get(), &ConnectionInterface::connectionEstablished, this,
                [this](int, bool host) { udpHost = host; });
        for (ClientConnection* c : std::initializer_list<ClientConnection*>{tcp.get(), udp.get()}) {
            connect(c, &ClientConnection::serverShutdown, this, [this] { ++shutdowns; });
            connect(c, &ClientConnection::changedCGameState, this,
                    [this](const PayloadCodec::GameState& state) { snapshots << state; });
        }
        connect(tcp.get(), &ClientConnection::changedCGameStart, this,
                [this](const PayloadCodec::GameStart& start) { countdown << start.countDown; });
        connect(tcp.get(), &ClientConnection::changedCPlayerlist, this,
                [this](const PayloadCodec::PlayerList& list) {
                    names = list.names;
                    status = list.status;
                });
        connect(udp.get(), &ClientConnection::changedCPinglist, this,
                [this](const PayloadCodec::PingList& list) {
                    for (qsizetype i = 0; i < list.connIds.size(); ++i) {
                        pings.insert(list.connIds[i], list.pings.value(i, -1));
                    }
                });
        connect(tcp.get(), &ClientConnection::changedCGameRestart, this,
                [this](int id) { restarts << id; });
        connect(tcp.get(), &ClientConnection::changedCPause, this,
                [this](const PayloadCodec::Pause& p) {
                    pauses << QList<int>{p.clientId, p.countDown};
                });
        connect(tcp.get(), &ClientConnection::changedCPlayerDisconnect, this,
                [this](int id) { left << id; });
        connect(udp.get(), &ClientConnection::changedCMoveBlocks, this,
                [this](QList<GameMovement>, QList<int>) { ++moves; });
        connect(udp.get(), &ClientConnection::changedCMergeBlocks, this,
                [this](QList<GameMovement> m) { merges += int(m.size()); });
    }

    void join(int port, int players = 1) {
        connect(tcp.get(), &ConnectionInterface::connectionEstablished, this,
                [=, this](int id, bool host) {
                    clientId = id;
                    tcpHost = host;
                    udp->connectWithHello(QHostAddress::LocalHost, port, players, -1, QString(),
                                          id);
                });
        tcp->connectWithHello(QHostAddress::LocalHost, port, players, -1, QString(), -1);
    }
    bool joined() const {
        return tcp->core().establishedClientId() >= 0 && udp->core().establishedClientId() >= 0;
    }
    // Names and statuses of the local players (one or two).
    void players(const QStringList& names, GamePlayer::PlayerStatus s) {
        QStringList n = names;
        n.resize(2);
        tcp->sendCPlayers(true, {n, {-1, -1}, {s, n[1].isEmpty() ? -1 : int(s)}});
    }
    // One more press of key for a local player; every counter goes out again.
    void press(int key, int local = 0) {
        ++keys[local * 5 + key];
        udp->sendCInput(false, KeyInput::fromList(keys));
    }
    void leave() {
        tcp->disconnectClient(-1, false);
        udp->disconnectClient(-1, false);
    }

    std::unique_ptr<NetClientConnection> tcp;
    std::unique_ptr<NetClientConnection> udp;
    int clientId = -1;
    bool tcpHost = false;
    bool udpHost = false;
    int shutdowns = 0;
    int moves = 0;
    int merges = 0;
    QList<int> keys = QList<int>(10, 0);
    QList<int> countdown, restarts, status, left;  // countdown: the stream's
    QStringList names;
    QList<QList<int>> pauses;
    QList<PayloadCodec::GameState> snapshots;
    QHash<int, int> pings;  // the last ping list's, by client id
};
