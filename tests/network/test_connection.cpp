// The connection core over real sockets on 127.0.0.1: handshakes and their
// refusals, host rules, reliable datagrams and resend requests, pings,
// time-outs, disconnects, stream framing, and peers that send garbage.
#include <QElapsedTimer>
#include <QTcpSocket>
#include <tuple>

#include "game/clock.h"
#include "nettestsupport.h"
#include "network/payloadcodec.h"
#include "network/socketabstract.h"

using namespace nettest;
using Error = ConnectionInterface::ConnectionError;

namespace {

constexpr int kKey = 4711;

std::unique_ptr<NetServerConnection> udpServer(int timeout = 3000, int pingInterval = 0,
                                               int hostKey = kKey,
                                               const NetworkTimings& timings = fastTimings()) {
    ConnectionSettings s = serverSettings(hostKey, true, timeout);
    s.pingInterval = pingInterval;
    s.timings = timings;
    return std::make_unique<NetServerConnection>(
        s, std::make_unique<SharedDatagramTransport>(boundUdpSocket()));
}

SharedDatagramTransport& sharedSocket(const NetServerConnection& server) {
    return static_cast<SharedDatagramTransport&>(server.core().transport());
}

int portOf(const NetServerConnection& server) {
    return sharedSocket(server).socketWrapper()->socket()->localPort();
}

// A stream server with its listener.
struct TcpRoom {
    explicit TcpRoom(int hostKey = kKey, const QString& password = QString(), int timeout = 3000,
                     const NetworkTimings& timings = fastTimings())
        : server(std::make_unique<NetServerConnection>(
              settings(hostKey, password, timeout, timings),
              std::make_unique<PeerTransport>(PeerTransport::Kind::Tcp))),
          listener(*server),
          port(listener.serverPort()) {}
    static ConnectionSettings settings(int hostKey, const QString& password, int timeout,
                                       const NetworkTimings& timings) {
        ConnectionSettings s = serverSettings(hostKey, false, timeout);
        s.usePassword = !password.isEmpty();
        s.password = password;
        s.timings = timings;
        return s;
    }
    std::unique_ptr<NetServerConnection> server;
    Listener listener;
    int port;
};

std::unique_ptr<NetClientConnection> tcpClient() {
    return clientStream();
}

std::unique_ptr<NetClientConnection> udpClient(int timeout = 10000) {
    return clientDatagram(timeout);
}

// Says hello and waits: the (client id, host) of connectionEstablished, or nothing.
QVariantList joined(ClientConnection& client, int port, int key, int requestedId = -1,
                    const QString& password = QString()) {
    QSignalSpy spy(&client, &ConnectionInterface::connectionEstablished);
    client.connectWithHello(kLocal, port, 1, key, password, requestedId);
    return QTest::qWaitFor([&] { return spy.count() == 1; }) ? spy.first() : QVariantList();
}

// A raw peer's handshake with a datagram server; returns the client id.
int rawJoin(RawPeer& peer, int port, int key, int requestedId = -1) {
    peer.send(ConnectionMessage("CHI", QString("%1 1 %2 ").arg(requestedId).arg(key)), port);
    if (!QTest::qWaitFor([&] { return peer.count("SHI") > 0; })) {
        return -99;
    }
    return peer.ofType("SHI").last().content.section(' ', 0, 0).toInt();
}

}  // namespace

class TestConnection : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void handshakeOverTcpAndUdp() {
        TcpRoom room;
        auto host = tcpClient();
        auto other = tcpClient();
        QCOMPARE(joined(*host, room.port, kKey), QVariantList({0, true}));
        QCOMPARE(joined(*other, room.port, -1), QVariantList({1, false}));
        QCOMPARE(room.server->core().hostClientId(), 0);
        QCOMPARE(room.server->core().establishedIds(), QList<int>({0, 1}));

        // Lobby traffic both ways once established.
        QSignalSpy players(room.server.get(), &ConnectionInterface::changedSPlayers);
        other->sendCPlayers(true, {"Bob", ""}, {1, -1}, {2, 0});
        QTRY_COMPARE(players.count(), 1);
        QCOMPARE(players.first()[0].toInt(), 1);
        QCOMPARE(players.first()[1].toStringList(), QStringList({"Bob", ""}));
        QSignalSpy list(host.get(), &ConnectionInterface::changedCPlayerlist);
        room.server->sendSPlayerlist(true, {0, 1, -1, -1}, {"Ann", "Bob", "", ""}, {0, 1, -1, -1},
                                     {2, 2, 0, 0});
        QTRY_COMPARE(list.count(), 1);
        QCOMPARE(list.first()[1].toStringList(), QStringList({"Ann", "Bob", "", ""}));

        // Cleared, the ids start at 0 again.
        room.server->core().clearConnections();
        QCOMPARE(room.server->core().playerCount(), 0);
        QCOMPARE(room.server->core().hostConnId(), -1);
        auto again = tcpClient();
        QCOMPARE(joined(*again, room.port, kKey), QVariantList({0, true}));
        QCOMPARE(room.server->core().establishedIds(), QList<int>({0}));

        // The datagram connections ask for the ids their streams got. The
        // host's first answer is lost: its repeated hello is answered again.
        auto udp = udpServer();
        int repliesSent = 0;
        udp->core().lossSimulation().dropOutgoing = [&](const ConnectionMessage& m) {
            repliesSent += m.type == "SHI";
            return false;
        };
        auto hostUdp = udpClient();
        auto otherUdp = udpClient();
        hostUdp->core().lossSimulation().dropIncoming =
            [dropped = false](const ConnectionMessage& m) mutable {
                const bool drop = m.type == "SHI" && !dropped;
                dropped = dropped || drop;
                return drop;
            };
        QCOMPARE(joined(*hostUdp, portOf(*udp), kKey, 0), QVariantList({0, true}));
        QCOMPARE(repliesSent, 2);
        QCOMPARE(joined(*otherUdp, portOf(*udp), -1, 1), QVariantList({1, false}));
        // Two clients on one machine are two peers.
        QCOMPARE(udp->core().establishedIds().size(), 2);
        QVERIFY(udp->core().pendingIds().isEmpty());

        // A shared socket can say hello too: the answer finds its pending record.
        auto sharedClient = udpServer();
        QSignalSpy sharedJoined(sharedClient.get(), &ConnectionInterface::connectionEstablished);
        sharedClient->core().transport().connectWithHello(kLocal, portOf(*udp), 1, -1, QString(),
                                                          2);
        QTRY_COMPARE(sharedJoined.count(), 1);
        QCOMPARE(sharedJoined.first(), QVariantList({2, false}));
        QCOMPARE(sharedClient->core().establishedIds(), QList<int>({0}));
        QCOMPARE(udp->core().establishedIds().size(), 3);
        QCOMPARE(udp->core().playerCount(), 3);
    }

    void refusalsAndTheirErrors() {
        TcpRoom room(kKey, "open se same");
        const auto refusedWith = [&](int players, int key, const QString& password) {
            auto client = tcpClient();
            QSignalSpy errors(client.get(), &ConnectionInterface::errorOccured);
            client->connectWithHello(kLocal, room.port, players, key, password, -1);
            if (!QTest::qWaitFor([&] { return errors.count() > 0; })) {
                return Error(-1);
            }
            return errors.first()[1].value<Error>();
        };
        // The host's own client must come first.
        QCOMPARE(refusedWith(1, -1, "open se same"), ConnectionInterface::Refused);
        QCOMPARE(refusedWith(1, kKey, "open sesame"), ConnectionInterface::WrongPassword);
        QTRY_VERIFY(room.server->core().pendingIds().isEmpty());
        QCOMPARE(room.server->core().playerCount(), 0);

        std::vector<std::unique_ptr<NetClientConnection>> clients;
        for (int key : {kKey, -1, -1}) {
            clients.push_back(tcpClient());
            QVERIFY(!joined(*clients.back(), room.port, key, -1, "open se same").isEmpty());
        }
        // Splitscreen needs two places; one is left.
        QCOMPARE(refusedWith(2, -1, "open se same"), ConnectionInterface::ServerFull);
        QCOMPARE(room.server->core().playerCount(), 3);

        // Nobody listening: the stream cannot come up.
        QTcpServer closed;
        QVERIFY(closed.listen(kLocal, 0));
        const int closedPort = closed.serverPort();
        closed.close();
        auto lost = tcpClient();
        QSignalSpy errors(lost.get(), &ConnectionInterface::errorOccured);
        lost->connectWithHello(kLocal, closedPort, 1, -1, QString(), -1);
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.first(),
                 QVariantList({-1, QVariant::fromValue(ConnectionInterface::HostNotFound)}));
    }

    void hostileHellosAreRefusedSafely() {
        auto server = udpServer();
        const int port = portOf(*server);
        RawPeer host;
        QCOMPARE(rawJoin(host, port, kKey), 0);
        // An id outside the slots, an id someone holds, player counts that
        // would corrupt the count: refused, and nothing is kept.
        for (const QString hello : {"9 1 -1 ", "-7 1 -1 ", "0 1 -1 ", "-1 0 -1 ", "-1 -5 -1 ",
                                    "-1 3 -1 ", "2147483647 1 -1 "}) {
            RawPeer peer;
            peer.send(ConnectionMessage("CHI", hello), port);
            QTRY_COMPARE(peer.count("SHI"), 1);
            const int answer = peer.ofType("SHI").first().content.section(' ', 0, 0).toInt();
            QVERIFY2(answer < 0 || hello.startsWith("-7"), qPrintable(hello));
        }
        // "-7" is no request at all: that peer got the lowest free id.
        QCOMPARE(server->core().playerCount(), 2);
        RawPeer asks;
        QCOMPARE(rawJoin(asks, port, -1, 3), 3);
        QCOMPARE(server->core().playerCount(), 3);
        QVERIFY(server->core().pendingIds().isEmpty());
    }

    void serverWithoutOwnClient() {
        TcpRoom room(-1);
        NetServerConnection& stream = *room.server;
        stream.core().admission().setFirstClientIsHost(true);
        auto a = tcpClient();
        auto b = tcpClient();
        QCOMPARE(joined(*a, room.port, -1), QVariantList({0, true}));
        QCOMPARE(joined(*b, room.port, -1), QVariantList({1, false}));
        QCOMPARE(stream.core().hostClientId(), 0);

        // The datagram side follows the stream side, whatever order the
        // datagram hellos arrive in, with no key anywhere.
        auto datagram = udpServer(3000, 0, -1);
        datagram->core().admission().setHostClientIdSource(
            [&] { return stream.core().hostClientId(); });
        auto bUdp = udpClient();
        auto aUdp = udpClient();
        QCOMPARE(joined(*bUdp, portOf(*datagram), -1, 1), QVariantList({1, false}));
        QCOMPARE(joined(*aUdp, portOf(*datagram), -1, 0), QVariantList({0, true}));
        QCOMPARE(datagram->core().hostClientId(), 0);

        // The host leaves a game like anybody else: no "SSHD", b stays.
        stream.sendSStart(true, 0, 24, 3);
        QTRY_COMPARE(b->core().connection(0)->state, ConnectionState::StateInGame);
        QSignalSpy shutdown(&stream, &ConnectionInterface::serverShutdown);
        QSignalSpy bShutdown(b.get(), &ConnectionInterface::serverShutdown);
        QSignalSpy bSeesLeave(b.get(), &ConnectionInterface::changedCPlayerDisconnect);
        a->disconnectClient(-1, false);
        QTRY_COMPARE(bSeesLeave.count(), 1);
        QCOMPARE(bSeesLeave.first()[0].toInt(), 0);
        QCOMPARE(stream.core().establishedIds().size(), 1);
        QCOMPARE(stream.core().hostConnId(), -1);
        // Without a host any player may restart, and the next newcomer hosts.
        QSignalSpy restart(&stream, &ConnectionInterface::changedSPlayerRestart);
        b->sendCRestart(true);
        QTRY_COMPARE(restart.count(), 1);
        QCOMPARE(restart.first()[0].toInt(), 1);
        auto c = tcpClient();
        QCOMPARE(joined(*c, room.port, -1), QVariantList({0, true}));
        QCOMPARE(shutdown.count() + bShutdown.count(), 0);

        // Going away on purpose: "SSHD" to all, every byte counted per client.
        const qint64 sentToB = stream.core().bytesSent().at(1);
        QVERIFY(sentToB > 0);
        stream.core().announceShutdown();
        QTRY_COMPARE(bShutdown.count(), 1);
        QCOMPARE(bShutdown.first()[0].toInt(), -1);
        QVERIFY(stream.core().establishedIds().isEmpty());
        QCOMPARE(stream.core().bytesSent().at(1), sentToB + QByteArray("SSHD 5 N -1").size());
        QCOMPARE(shutdown.count(), 0);
    }

    void datagramTrafficInOrderAndByState() {
        auto server = udpServer();
        auto a = udpClient();
        auto b = udpClient();
        QCOMPARE(joined(*a, portOf(*server), kKey), QVariantList({0, true}));
        const auto texts = [](const QSignalSpy& spy, int arg) {
            QStringList out;
            for (const QVariantList& args : spy) {
                out << args[arg].toString();
            }
            return out;
        };

        // One message lost: one resend request, and all arrive in order.
        int chatSent = 0;
        server->core().lossSimulation().dropOutgoing = [&](const ConnectionMessage& m) {
            return m.type == "SMSG" && ++chatSent == 2;
        };
        int resendRequests = 0;
        a->core().lossSimulation().dropOutgoing = [&](const ConnectionMessage& m) {
            resendRequests += m.type == "BRES";
            return false;
        };
        QSignalSpy chat(a.get(), &ConnectionInterface::changedCMessage);
        server->sendSMessage(true, 0, "one");
        server->sendSMessage(true, 0, "two");
        server->sendSMessage(true, 0, "three");
        QTRY_COMPARE(texts(chat, 1), QStringList({"one", "two", "three"}));
        QCOMPARE(resendRequests, 1);
        QCOMPARE(a->core().connection(0)->channel.received(), 3);

        // Both directions number their reliable messages on their own.
        QSignalSpy serverChat(server.get(), &ConnectionInterface::changedSMessage);
        a->sendCMessage(true, 0, "a");
        server->sendSMessage(true, 0, "four");
        a->sendCMessage(true, 1, "b");
        QTRY_COMPARE(texts(serverChat, 2), QStringList({"a", "b"}));
        QCOMPARE(serverChat[1][1].toInt(), 1);
        QTRY_COMPARE(texts(chat, 1).last(), QString("four"));
        QCOMPARE(resendRequests, 1);

        QCOMPARE(joined(*b, portOf(*server), -1), QVariantList({1, false}));
        QSignalSpy input(server.get(), &ConnectionInterface::changedSPlayerInput);
        QSignalSpy started(a.get(), &ConnectionInterface::changedCGameStart);

        a->sendCInput(false, {1});  // not in a game yet: dropped

        // A late joiner's snapshot goes to that client only.
        QList<QList<int>> snapshots;
        QObject sink;
        connect(b.get(), &ConnectionInterface::changedCGameState, &sink,
                [&](int fieldsizeX, bool, int score, QString, QByteArray field,
                    QList<BlockRecord> blocks) {
                    QList<int> seen{fieldsizeX, score, int(field.size())};
                    for (const BlockRecord& block : blocks) {
                        seen << block.id << block.kind << block.rotation;
                    }
                    snapshots << seen;
                });
        GameBlock falling(9, 2, 6, 600, 1250, 1, 24);
        server->sendSGameState(true, 1, 24, false, 40, "00009", QByteArray(300, '\x77'),
                               {&falling});
        QTRY_COMPARE(snapshots.size(), 1);
        QCOMPARE(snapshots.first(), QList<int>({24, 40, 300, 9, 6, 1}));
        QCOMPARE(server->core().connection(1)->state, ConnectionState::StateInGame);
        QCOMPARE(server->core().connection(0)->state, ConnectionState::StateLobby);

        server->sendSStart(true, 0, 24, 3);
        QTRY_COMPARE(started.count(), 1);
        QCOMPARE(started.first(), QVariantList({0, 24, 3}));
        QCOMPARE(server->core().connection(0)->state, ConnectionState::StateInGame);

        // Each client hears which blocks are its own.
        QList<int> activeOfB;
        QList<GameMovement> taken;
        connect(a.get(), &ConnectionInterface::changedCMoveBlocks, &sink,
                [&](QList<GameMovement> movements, QList<int>) { taken << movements; });
        connect(b.get(), &ConnectionInterface::changedCMoveBlocks, &sink,
                [&](QList<GameMovement>, QList<int> active) { activeOfB = active; });
        QSignalSpy moves(a.get(), &ConnectionInterface::changedCMoveBlocks);
        GameBlock other(10, 1, 0, 0, 1000, 0, 24);
        server->sendSMoveBlocks(false, {&falling, &other}, {9, -1, 10, -1});
        QTRY_COMPARE(moves.count(), 1);
        QCOMPARE(moves.first()[1].value<QList<int>>(), QList<int>({9, -1}));
        QTRY_COMPARE(activeOfB, QList<int>({10, -1}));
        QCOMPARE(taken.size(), 2);
        QCOMPARE(taken[1], GameMovement({10, 0, 1000, 0}));

        // Merges that nobody listens to still count as delivered.
        const int before = a->core().connection(0)->channel.received();
        server->sendSMergeBlocks(true, {&falling});
        QTRY_COMPARE(a->core().connection(0)->channel.received(), before + 1);

        b->sendCInput(false, {4, 0, 2});
        QTRY_COMPARE(input.count(), 1);
        QCOMPARE(input.first()[0].toInt(), 1);
        QCOMPARE(input.first()[1].value<QList<int>>(), QList<int>({4, 0, 2}));

        QSignalSpy over(b.get(), &ConnectionInterface::changedCGameOver);
        server->sendSGameOver(true, 500, 3, "00100");
        QTRY_COMPARE(over.count(), 1);
        QCOMPARE(over.first(), QVariantList({500, 3, QString("00100")}));
        QCOMPARE(server->core().connection(1)->state, ConnectionState::StateLobby);
        QTRY_COMPARE(b->core().connection(0)->state, ConnectionState::StateLobby);
    }

    void sequenceGapsAndResendRequests() {
        auto server = udpServer();
        const int port = portOf(*server);
        RawPeer peer;
        QCOMPARE(rawJoin(peer, port, kKey), 0);
        QSignalSpy errors(server.get(), &ConnectionInterface::errorOccured);
        QSignalSpy chat(server.get(), &ConnectionInterface::changedSMessage);

        // 20 ahead: asks for what is missing, no loss reported.
        peer.send(ConnectionMessage("CMSG", "0 far", 20), port);
        QTRY_COMPARE(peer.count("BRES"), 1);
        QCOMPARE(peer.ofType("BRES").first().content, QString("0"));
        QCOMPARE(peer.ofType("BRES").first().number, -1);
        // 21 ahead: no gap a peer of ours could fill, so no standing: dropped
        // without an answer and without ending anything.
        peer.send(ConnectionMessage("CMSG", "0 too far", 21), port);
        // The next in order is taken, its duplicate is not.
        peer.send(ConnectionMessage("CMSG", "0 next", 1), port);
        peer.send(ConnectionMessage("CMSG", "0 next", 1), port);
        peer.send(ConnectionMessage("CMSG", "0 unnumbered"), port);
        QTRY_COMPARE(chat.count(), 2);
        QCOMPARE(chat[0][2].toString(), QString("next"));
        QCOMPARE(chat[1][2].toString(), QString("unnumbered"));
        QCOMPARE(server->core().unheard(), 1);
        QCOMPARE(peer.count("BRES"), 1);
        QCOMPARE(errors.count(), 0);
    }

    // The client side keeps the server's inactivity time-out fed with
    // "SLNE", which changes nothing there, and asks again for a reliable
    // datagram that was lost with nothing after it to show the gap. (Loss
    // both ways over a minute: the end-to-end tests.)
    void clientUpkeepOfADatagramConnection() {
        auto server = udpServer(1000);
        const int port = portOf(*server);
        auto client = udpClient();
        client->core().setKeepAlive(50);
        QCOMPARE(joined(*client, port, kKey), QVariantList({0, true}));
        QSignalSpy serverErrors(server.get(), &ConnectionInterface::errorOccured);
        QTest::qWait(1500);  // longer than the server's time-out, with no word but "SLNE"
        QCOMPARE(server->core().establishedIds().size(), 1);
        QCOMPARE(serverErrors.count(), 0);

        client->core().setKeepAlive(50, 200);
        QSignalSpy chat(client.get(), &ConnectionInterface::changedCMessage);
        server->core().lossSimulation().dropNextOutgoing = 1;
        server->sendSMessage(true, -1, "lost once");
        QTRY_COMPARE(chat.count(), 1);
    }

    void pingsMeasureTheAnswer() {
        ManualClock clock;
        auto server = udpServer(3000, 60);
        server->core().setClock(clock);
        server->core().lossSimulation().dropIncoming = [&](const ConnectionMessage& m) {
            if (m.type == "CPNG") {
                clock.advance(7);  // the answer took 7 ms
            }
            return false;
        };
        auto client = udpClient();
        QCOMPARE(joined(*client, portOf(*server), kKey), QVariantList({0, true}));
        QSignalSpy pings(client.get(), &ConnectionInterface::changedCPinglist);
        QTRY_VERIFY(pings.count() >= 2);
        QCOMPARE(pings[0][0].value<QList<int>>(), QList<int>({0}));
        QCOMPARE(pings[0][1].value<QList<int>>(), QList<int>({999}));
        QCOMPARE(pings[1][1].value<QList<int>>(), QList<int>({7}));
    }

    void inactivityTimeouts() {
        // An established datagram peer that falls silent.
        auto udp = udpServer(200);
        RawPeer peer;
        QCOMPARE(rawJoin(peer, portOf(*udp), kKey), 0);
        QSignalSpy udpErrors(udp.get(), &ConnectionInterface::errorOccured);
        QElapsedTimer waited;
        waited.start();
        QTRY_COMPARE(udpErrors.count(), 1);
        QVERIFY(waited.elapsed() >= 150);
        QCOMPARE(udpErrors.first(),
                 QVariantList({0, QVariant::fromValue(ConnectionInterface::Timeout)}));
        QVERIFY(udp->core().establishedIds().isEmpty());
        QCOMPARE(udp->core().playerCount(), 0);

        // An established stream never times out; a silent new one is dropped quietly.
        NetworkTimings timings = fastTimings();
        timings.handshakeTimeoutMs = 300;
        TcpRoom room(kKey, QString(), 200, timings);
        auto client = tcpClient();
        QCOMPARE(joined(*client, room.port, kKey), QVariantList({0, true}));
        QSignalSpy tcpErrors(room.server.get(), &ConnectionInterface::errorOccured);
        QTcpSocket silent;
        silent.connectToHost(kLocal, room.port);
        QTRY_COMPARE(room.server->core().pendingIds().size(), 1);
        QTRY_VERIFY(room.server->core().pendingIds().isEmpty());
        QTest::qWait(300);
        QCOMPARE(tcpErrors.count(), 0);
        QCOMPARE(room.server->core().establishedIds().size(), 1);
    }

    void leavingKickingAndShutdown() {
        TcpRoom room;
        NetServerConnection* server = room.server.get();
        auto host = tcpClient();
        auto bob = tcpClient();
        auto cy = tcpClient();
        QCOMPARE(joined(*host, room.port, kKey), QVariantList({0, true}));
        QCOMPARE(joined(*bob, room.port, -1), QVariantList({1, false}));
        QCOMPARE(joined(*cy, room.port, -1), QVariantList({2, false}));

        // A graceful leave answered by the server.
        QSignalSpy bobClosed(bob.get(), &ConnectionInterface::connectionClosed);
        QSignalSpy hostSeesLeave(host.get(), &ConnectionInterface::changedCPlayerDisconnect);
        QSignalSpy serverSeesLeave(server, &ConnectionInterface::changedSPlayerDisconnect);
        bob->disconnectClient(-1, false);
        QTRY_COMPARE(bobClosed.count(), 1);
        QCOMPARE(bobClosed.first()[0].toInt(), 1);
        QTRY_COMPARE(hostSeesLeave.count(), 1);
        QCOMPARE(serverSeesLeave.first()[0].toInt(), 1);
        QCOMPARE(server->core().playerCount(), 2);
        QVERIFY(bob->core().establishedIds().isEmpty());

        // A kick: everybody hears it, the kicked client resets.
        QSignalSpy cyKicked(cy.get(), &ConnectionInterface::changedCPlayerKick);
        QSignalSpy hostSeesKick(host.get(), &ConnectionInterface::changedCPlayerKick);
        server->sendSKick(true, 2);
        QCOMPARE(server->core().playerCount(), 1);
        QTRY_COMPARE(cyKicked.count(), 1);
        QTRY_COMPARE(hostSeesKick.count(), 1);
        QCOMPARE(cyKicked.first()[0].toInt(), 2);
        QVERIFY(cy->core().establishedIds().isEmpty());
        QCOMPARE(host->core().establishedIds().size(), 1);

        // The host leaving shuts the server's side down.
        auto dan = tcpClient();
        QVERIFY(!joined(*dan, room.port, -1).isEmpty());
        QSignalSpy serverShutdown(server, &ConnectionInterface::serverShutdown);
        QSignalSpy danShutdown(dan.get(), &ConnectionInterface::serverShutdown);
        host->disconnectClient(-1, false);
        QTRY_COMPARE(serverShutdown.count(), 1);
        QCOMPARE(serverShutdown.first()[0].toInt(), 0);
        QTRY_COMPARE(danShutdown.count(), 1);
        QVERIFY(server->core().establishedIds().isEmpty());
        QCOMPARE(server->core().playerCount(), 0);
        QVERIFY(dan->core().establishedIds().isEmpty());
    }

    void gracefulLeaveWithoutAnswer() {
        RawPeer fakeServer;
        auto client = udpClient();
        QSignalSpy joined(client.get(), &ConnectionInterface::connectionEstablished);
        client->connectWithHello(kLocal, fakeServer.port(), 1, -1, QString(), -1);
        QTRY_VERIFY(fakeServer.count("CHI") >= 1);
        fakeServer.answer(ConnectionMessage("SHI", "2 F"));
        QTRY_COMPARE(joined.count(), 1);
        QSignalSpy closed(client.get(), &ConnectionInterface::connectionClosed);
        QElapsedTimer waited;
        waited.start();
        client->disconnectClient(-1, false);
        QTRY_COMPARE(fakeServer.count("CDSC"), 1);
        QTRY_COMPARE(closed.count(), 1);
        QVERIFY(waited.elapsed() >= 250);
        QCOMPARE(closed.first()[0].toInt(), -1);
        QVERIFY(client->core().establishedIds().isEmpty());
        QVERIFY(client->core().connection(0) == nullptr);
    }

    void streamFramingOnRealSockets() {
        QTcpServer listener;
        QVERIFY(listener.listen(kLocal, 0));
        const auto pair = [&](QTcpSocket& peer) {
            peer.connectToHost(kLocal, listener.serverPort());
            if (!peer.waitForConnected(2000) || !listener.waitForNewConnection(2000)) {
                qFatal("no connection");
            }
            auto wrapper = std::make_unique<SocketAbstract>(5, listener.nextPendingConnection());
            wrapper->setFramingTimeout(200);
            return wrapper;
        };
        {
            // A header split across writes is completed when the rest arrives.
            QTcpSocket peer;
            auto wrapper = pair(peer);
            QSignalSpy messages(wrapper.get(), &SocketAbstract::gotMessage);
            peer.write("CMSG 1");
            peer.flush();
            QTRY_VERIFY(wrapper->framingTimerRunning());
            peer.write("7 S12 0 hello thereSLNE 2 N ");
            QTRY_COMPARE(messages.count(), 2);
            QCOMPARE(messages[0][0].toInt(), 5);
            QCOMPARE(messages[0][2].toInt(), -1);
            QCOMPARE(messages[0][3].value<ConnectionMessage>(),
                     ConnectionMessage("CMSG", "0 hello there", 12));
            QCOMPARE(messages[1][3].value<ConnectionMessage>().type, QString("SLNE"));
            QVERIFY(!wrapper->framingTimerRunning());

            // A body that keeps arriving, each part within the time-out, is no stall.
            QSignalSpy errors(wrapper.get(), &SocketAbstract::gotError);
            peer.write("SMSG 11 N 0 ");
            for (const char* part : {"slo", "wly", "!"}) {
                QTest::qWait(120);
                peer.write(part);
            }
            QTRY_COMPARE(messages.count(), 3);
            QCOMPARE(messages[2][3].value<ConnectionMessage>().content, QString("0 slowly!"));
            QCOMPARE(errors.count(), 0);
        }
        // A header that stays incomplete is aborted after the timer; an unknown
        // type word at once, long before it.
        for (const auto& [bytes, timeout, error] :
             {std::tuple("CPNG 3", 200, QAbstractSocket::SocketTimeoutError),
              std::tuple("HELLO 3 N P", 60000, QAbstractSocket::UnknownSocketError)}) {
            QTcpSocket peer;
            auto wrapper = pair(peer);
            wrapper->setFramingTimeout(timeout);
            QSignalSpy errors(wrapper.get(), &SocketAbstract::gotError);
            peer.write(bytes);
            QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 1000);
            QCOMPARE(errors.first()[1].value<QAbstractSocket::SocketError>(), error);
            QTRY_COMPARE(peer.state(), QAbstractSocket::UnconnectedState);
        }
    }

    // Streams that say nothing hold a socket each until their handshake times
    // out, so one address gets only so many at a time; a player from there
    // gets in once they are gone.
    void silentStreamsFromOneAddressAreCapped() {
        NetworkTimings patient = fastTimings();
        patient.handshakeTimeoutMs = 60000;  // only the cap may close them here
        TcpRoom room(kKey, QString(), 3000, patient);
        constexpr int kMax = PeerTransport::kMaxHandshakesPerAddress;
        std::vector<std::unique_ptr<QTcpSocket>> silent;
        for (int i = 0; i <= kMax; ++i) {
            silent.push_back(std::make_unique<QTcpSocket>());
            silent.back()->connectToHost(kLocal, static_cast<quint16>(room.port));
            QVERIFY(silent.back()->waitForConnected(1000));
            QTRY_COMPARE(room.server->core().pendingIds().size(), std::min(i + 1, kMax));
        }
        QTRY_COMPARE(silent.back()->state(), QAbstractSocket::UnconnectedState);
        for (int i = 0; i < kMax; ++i) {
            QCOMPARE(silent[i]->state(), QAbstractSocket::ConnectedState);
        }
        silent.clear();
        QTRY_VERIFY(room.server->core().pendingIds().isEmpty());
        auto client = tcpClient();
        QCOMPARE(joined(*client, room.port, kKey), (QVariantList{0, true}));
    }

    // Probes and hellos from strangers are answered at a bounded rate per
    // address: a flood from one address leaves another's probe its answer.
    void answersToStrangersAreRateLimited() {
        NetworkTimings t = fastTimings();
        t.strangerBurst = 5;
        t.strangerRefillMs = 60000;  // nothing comes back during the test
        auto server = udpServer(3000, 0, kKey, t);
        const int port = portOf(*server);
        RawPeer flooder(QHostAddress("127.0.0.2"));
        for (int i = 0; i < 50; ++i) {
            flooder.send(ConnectionMessage("CIN", "I"), port);
        }
        flooder.send(ConnectionMessage("CHI", QString("-1 1 %1 ").arg(kKey)), port);
        RawPeer prober;
        prober.send(ConnectionMessage("CIN", "I"), port);
        QTRY_COMPARE(prober.count("SIN"), 1);  // read after the whole flood
        QTRY_COMPARE(flooder.count("SIN"), 5);
        QCOMPARE(flooder.count("SHI"), 0);
        QVERIFY(server->core().establishedIds().isEmpty());
    }

    void garbageFromStrangersLeavesPlayersAlone() {
        auto server = udpServer();
        const int port = portOf(*server);
        auto client = udpClient();
        QCOMPARE(joined(*client, port, kKey), QVariantList({0, true}));
        QSignalSpy serverErrors(server.get(), &ConnectionInterface::errorOccured);
        QSignalSpy clientErrors(client.get(), &ConnectionInterface::errorOccured);

        RawPeer stranger;
        for (const QByteArray& junk :
             {QByteArray("\x00\xff garbage", 10), QByteArray("CMSG 17 S1 0 he"),
              QByteArray("HELLO 5 N abc"), QByteArray("CMSG 99999999 N 0 x"),
              QByteArray("CMSG 1024000 N 0 x"), QByteArray(60000, 'A'), QByteArray("CHI"),
              ConnectionMessage("CMSG", "0 not yours", 1).encode(),
              ConnectionMessage("BRES", "0").encode(), ConnectionMessage("CDSC", "D").encode(),
              ConnectionMessage("SLNE", "").encode()}) {
            stranger.sendRaw(junk, port);
        }
        // A probe from elsewhere is answered (so everything before it has been
        // read) and forgotten; the stranger left nothing behind either.
        RawPeer prober;
        prober.send(ConnectionMessage("CIN", "I"), port);
        QTRY_COMPARE(prober.count("SIN"), 1);
        QVERIFY(PayloadCodec::parseServerInfo(prober.ofType("SIN").first().content));
        QVERIFY(server->core().pendingIds().isEmpty());
        QCOMPARE(server->core().establishedIds().size(), 1);
        QCOMPARE(serverErrors.count(), 0);
        QCOMPARE(stranger.count("BRES") + stranger.count("SDSC"), 0);

        // The player's traffic still flows both ways, reliably numbered.
        QSignalSpy toServer(server.get(), &ConnectionInterface::changedSMessage);
        QSignalSpy toClient(client.get(), &ConnectionInterface::changedCMessage);
        client->sendCMessage(true, 0, "still  here");
        server->sendSMessage(true, 0, "welcome back");
        QTRY_COMPARE(toServer.count(), 1);
        QTRY_COMPARE(toClient.count(), 1);
        QCOMPARE(toServer.first()[2].toString(), QString("still  here"));
        QCOMPARE(clientErrors.count(), 0);

        // Bursts larger than one read's share are all read, and the socket
        // keeps reporting what comes after them.
        RawPeer player;
        QVERIFY(rawJoin(player, port, -1) >= 0);
        QSignalSpy chat(server.get(), &ConnectionInterface::changedSMessage);
        int sent = 0;
        for (int burst = 0; burst < 10; ++burst) {
            for (int i = 0; i < 150; ++i, ++sent) {
                player.send(ConnectionMessage("CMSG", QString("0 m%1").arg(sent)), port);
            }
            QTRY_COMPARE(chat.count(), sent);
        }

        // Closing the shared socket ends every datagram connection.
        sharedSocket(*server).socketWrapper()->socket()->close();
        QTRY_COMPARE(serverErrors.count(), 1);
        QCOMPARE(serverErrors.first(),
                 QVariantList({-1, QVariant::fromValue(ConnectionInterface::ConnectionLost)}));
        QVERIFY(server->core().establishedIds().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "test_connection.moc"
