// The connection core over real sockets on 127.0.0.1: handshakes and their
// refusals, host rules, reliable datagrams and resend requests, pings,
// time-outs, disconnects, stream framing, and peers that send garbage.
#include <QElapsedTimer>
#include <QTcpSocket>

#include "game/clock.h"
#include "nettestsupport.h"
#include "network/connectionsockettcp.h"
#include "network/connectionsocketudp.h"
#include "network/connectionudp.h"
#include "network/payloadcodec.h"
#include "network/socketabstract.h"

using namespace nettest;
using Error = ConnectionInterface::ConnectionError;

namespace {

constexpr int kKey = 4711;

std::unique_ptr<ConnectionSocketTcp> tcpServer(int maxPlayers = 4, bool usePassword = false,
                                               const QString& password = QString(),
                                               int timeout = 3000, int hostKey = kKey) {
    auto c = std::make_unique<ConnectionSocketTcp>("Room", maxPlayers, false, false, 0, false,
                                                   hostKey, usePassword, password, timeout);
    c->setTimings(fastTimings());
    return c;
}

std::unique_ptr<ConnectionUdp> udpServer(int timeout = 3000, int pingInterval = 0,
                                         int hostKey = kKey) {
    auto c = std::make_unique<ConnectionUdp>("Room", 4, false, false, pingInterval, true, hostKey,
                                             false, QString(), timeout, boundUdpSocket());
    c->setTimings(fastTimings());
    return c;
}

int portOf(const ConnectionUdp& server) {
    return server.socketWrapper()->socket()->localPort();
}

std::unique_ptr<ConnectionSocketTcp> tcpClient() {
    auto c = std::make_unique<ConnectionSocketTcp>(QString(), 4, false, false, 0, false, -1, false,
                                                   QString(), 10000);
    c->setTimings(fastTimings());
    return c;
}

std::unique_ptr<ConnectionSocketUdp> udpClient(int timeout = 10000) {
    auto c = std::make_unique<ConnectionSocketUdp>(QString(), 4, false, false, 0, true, -1, false,
                                                   QString(), timeout);
    c->setTimings(fastTimings());
    return c;
}

// Joins and waits for the answer; returns the established spy.
std::unique_ptr<QSignalSpy> join(ConnectionInterface& client, int port, int players, int key,
                                 const QString& password = QString(), int requestedId = -1) {
    auto spy = std::make_unique<QSignalSpy>(&client, &ConnectionInterface::connectionEstablished);
    client.connectWithHello(kLocal, port, players, key, password, requestedId);
    return spy;
}

// Joins and waits until the connection is established.
bool joinAndWait(ConnectionInterface& client, int port, int players, int key,
                 int requestedId = -1) {
    QSignalSpy spy(&client, &ConnectionInterface::connectionEstablished);
    client.connectWithHello(kLocal, port, players, key, QString(), requestedId);
    return QTest::qWaitFor([&] { return spy.count() == 1; });
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
        auto server = tcpServer();
        Listener listener(*server);
        auto host = tcpClient();
        auto other = tcpClient();
        auto hostJoined = join(*host, listener.serverPort(), 1, kKey);
        QTRY_COMPARE(hostJoined->count(), 1);
        QCOMPARE(hostJoined->first(), QVariantList({0, true}));
        auto otherJoined = join(*other, listener.serverPort(), 1, -1);
        QTRY_COMPARE(otherJoined->count(), 1);
        QCOMPARE(otherJoined->first(), QVariantList({1, false}));
        QCOMPARE(server->playerCount(), 2);
        QCOMPARE(server->hostClientId(), 0);
        QCOMPARE(server->establishedIds().size(), 2);
        QCOMPARE(host->establishedClientId(), 0);

        // The datagram connections ask for the ids their streams got.
        auto udp = udpServer();
        auto hostUdp = udpClient();
        auto otherUdp = udpClient();
        auto hostUdpJoined = join(*hostUdp, portOf(*udp), 1, kKey, QString(), 0);
        QTRY_COMPARE(hostUdpJoined->count(), 1);
        auto otherUdpJoined = join(*otherUdp, portOf(*udp), 1, -1, QString(), 1);
        QTRY_COMPARE(otherUdpJoined->count(), 1);
        QCOMPARE(hostUdpJoined->first(), QVariantList({0, true}));
        QCOMPARE(otherUdpJoined->first(), QVariantList({1, false}));
        // Two clients on one machine are two peers.
        QCOMPARE(udp->establishedIds().size(), 2);
        QVERIFY(udp->pendingIds().isEmpty());

        // A shared socket can say hello too: the answer finds its pending record.
        auto sharedClient = udpServer();
        QVERIFY(joinAndWait(*sharedClient, portOf(*udp), 1, -1, 2));
        QCOMPARE(sharedClient->establishedIds(), QList<int>({0}));
        QCOMPARE(udp->establishedIds().size(), 3);

        // Lobby traffic both ways once established.
        QSignalSpy players(server.get(), &ConnectionInterface::changedSPlayers);
        other->sendCPlayers(true, {"Bob", ""}, {1, -1}, {2, 0});
        QTRY_COMPARE(players.count(), 1);
        QCOMPARE(players.first()[0].toInt(), 1);
        QCOMPARE(players.first()[1].toStringList(), QStringList({"Bob", ""}));
        QSignalSpy list(host.get(), &ConnectionInterface::changedCPlayerlist);
        server->sendSPlayerlist(true, {0, 1, -1, -1}, {"Ann", "Bob", "", ""}, {0, 1, -1, -1},
                                {2, 2, 0, 0});
        QTRY_COMPARE(list.count(), 1);
        QCOMPARE(list.first()[1].toStringList(), QStringList({"Ann", "Bob", "", ""}));
    }

    void refusalsAndTheirErrors() {
        auto server = tcpServer(4, true, "open se same");
        Listener listener(*server);
        const int port = listener.serverPort();
        const auto refusedWith = [&](int players, int key, const QString& password) {
            auto client = tcpClient();
            QSignalSpy errors(client.get(), &ConnectionInterface::errorOccured);
            client->connectWithHello(kLocal, port, players, key, password, -1);
            if (!QTest::qWaitFor([&] { return errors.count() > 0; })) {
                return Error(-1);
            }
            return errors.first()[1].value<Error>();
        };
        // The host's own client must come first.
        QCOMPARE(refusedWith(1, -1, "open se same"), ConnectionInterface::Refused);
        QCOMPARE(refusedWith(1, kKey, "open sesame"), ConnectionInterface::WrongPassword);
        QTRY_VERIFY(server->pendingIds().isEmpty());
        QCOMPARE(server->playerCount(), 0);

        std::vector<std::unique_ptr<ConnectionSocketTcp>> clients;
        for (int key : {kKey, -1, -1}) {
            clients.push_back(tcpClient());
            auto joined = join(*clients.back(), port, 1, key, "open se same");
            QTRY_COMPARE(joined->count(), 1);
        }
        QCOMPARE(server->playerCount(), 3);
        // Splitscreen needs two places; one is left.
        QCOMPARE(refusedWith(2, -1, "open se same"), ConnectionInterface::ServerFull);
        QCOMPARE(server->playerCount(), 3);

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

    void lostHelloReplyIsAnsweredAgain() {
        auto server = udpServer();
        auto client = udpClient();
        int repliesSent = 0;
        server->lossSimulation().dropOutgoing = [&](const ConnectionMessage& m) {
            repliesSent += m.type == "SHI";
            return false;
        };
        client->lossSimulation().dropIncoming = [dropped =
                                                     false](const ConnectionMessage& m) mutable {
            const bool drop = m.type == "SHI" && !dropped;
            dropped = dropped || drop;
            return drop;
        };
        auto joined = join(*client, portOf(*server), 1, kKey);
        QTRY_COMPARE(joined->count(), 1);
        QCOMPARE(joined->first(), QVariantList({0, true}));
        QCOMPARE(repliesSent, 2);
        QCOMPARE(server->establishedIds().size(), 1);
        QCOMPARE(server->playerCount(), 1);
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
        QCOMPARE(server->playerCount(), 2);
        RawPeer asks;
        QCOMPARE(rawJoin(asks, port, -1, 3), 3);
        QCOMPARE(server->playerCount(), 3);
        QVERIFY(server->pendingIds().isEmpty());
    }

    void serverWithoutOwnClientHostRules() {
        auto stream = tcpServer(4, false, QString(), 3000, -1);
        stream->setFirstClientIsHost(true);
        Listener listener(*stream);
        auto a = tcpClient();
        auto b = tcpClient();
        auto aJoined = join(*a, listener.serverPort(), 1, -1);
        QTRY_COMPARE(aJoined->count(), 1);
        auto bJoined = join(*b, listener.serverPort(), 1, -1);
        QTRY_COMPARE(bJoined->count(), 1);
        QCOMPARE(aJoined->first(), QVariantList({0, true}));
        QCOMPARE(bJoined->first(), QVariantList({1, false}));
        QCOMPARE(stream->hostClientId(), 0);

        // The datagram side follows the stream side, whatever order the
        // datagram hellos arrive in, with no key anywhere.
        auto datagram = udpServer(3000, 0, -1);
        datagram->setHostClientIdSource([&] { return stream->hostClientId(); });
        auto bUdp = udpClient();
        auto aUdp = udpClient();
        auto bUdpJoined = join(*bUdp, portOf(*datagram), 1, -1, QString(), 1);
        QTRY_COMPARE(bUdpJoined->count(), 1);
        auto aUdpJoined = join(*aUdp, portOf(*datagram), 1, -1, QString(), 0);
        QTRY_COMPARE(aUdpJoined->count(), 1);
        QCOMPARE(bUdpJoined->first(), QVariantList({1, false}));
        QCOMPARE(aUdpJoined->first(), QVariantList({0, true}));
        QCOMPARE(datagram->hostClientId(), 0);

        // When the host's connection is gone, the next newcomer takes over.
        stream->disconnectClient(0, false);
        QCOMPARE(stream->hostClientId(), -1);
        auto c = tcpClient();
        auto cJoined = join(*c, listener.serverPort(), 1, -1);
        QTRY_COMPARE(cJoined->count(), 1);
        QCOMPARE(cJoined->first(), QVariantList({0, true}));
    }

    void idsRestartAfterClearing() {
        auto server = tcpServer();
        Listener listener(*server);
        auto a = tcpClient();
        auto b = tcpClient();
        QVERIFY(joinAndWait(*a, listener.serverPort(), 1, kKey));
        auto bJoined = join(*b, listener.serverPort(), 1, -1);
        QTRY_COMPARE(bJoined->count(), 1);
        QCOMPARE(server->establishedIds(), QList<int>({0, 1}));
        server->clearConnections();
        QCOMPARE(server->nextConnId(), 0);
        QCOMPARE(server->playerCount(), 0);
        QCOMPARE(server->hostConnId(), -1);
        QVERIFY(server->establishedIds().isEmpty());
        auto c = tcpClient();
        auto cJoined = join(*c, listener.serverPort(), 1, kKey);
        QTRY_COMPARE(cJoined->count(), 1);
        QCOMPARE(server->establishedIds(), QList<int>({0}));
    }

    void reliableDatagramsArriveInOrder() {
        auto server = udpServer();
        auto client = udpClient();
        QVERIFY(joinAndWait(*client, portOf(*server), 1, kKey));
        int chatSent = 0;
        server->lossSimulation().dropOutgoing = [&](const ConnectionMessage& m) {
            return m.type == "SMSG" && ++chatSent == 2;
        };
        int resendRequests = 0;
        client->lossSimulation().dropOutgoing = [&](const ConnectionMessage& m) {
            resendRequests += m.type == "BRES";
            return false;
        };
        QSignalSpy chat(client.get(), &ConnectionInterface::changedCMessage);
        server->sendSMessage(true, 0, "one");
        server->sendSMessage(true, 0, "two");
        server->sendSMessage(true, 0, "three");
        QTRY_COMPARE(chat.count(), 3);
        QCOMPARE(chat[0][1].toString(), QString("one"));
        QCOMPARE(chat[1][1].toString(), QString("two"));
        QCOMPARE(chat[2][1].toString(), QString("three"));
        QCOMPARE(resendRequests, 1);
        QCOMPARE(client->connection(0)->receivedSequence, 3);

        // Both directions number their reliable messages on their own.
        QSignalSpy serverChat(server.get(), &ConnectionInterface::changedSMessage);
        client->sendCMessage(true, 0, "a");
        server->sendSMessage(true, 0, "four");
        client->sendCMessage(true, 1, "b");
        QTRY_COMPARE(serverChat.count(), 2);
        QTRY_COMPARE(chat.count(), 4);
        QCOMPARE(serverChat[1][1].toInt(), 1);
        QCOMPARE(serverChat[1][2].toString(), QString("b"));
        QCOMPARE(chat[3][1].toString(), QString("four"));
        QCOMPARE(resendRequests, 1);
    }

    void gameMessagesFollowTheStates() {
        auto server = udpServer();
        auto a = udpClient();
        auto b = udpClient();
        QVERIFY(joinAndWait(*a, portOf(*server), 1, kKey));
        QVERIFY(joinAndWait(*b, portOf(*server), 1, -1));
        QSignalSpy input(server.get(), &ConnectionInterface::changedSPlayerInput);
        QSignalSpy started(a.get(), &ConnectionInterface::changedCGameStart);

        // Not in a game yet: input is dropped.
        a->sendCInput(false, {1});
        QTest::qWait(50);
        QCOMPARE(input.count(), 0);

        // A late joiner's snapshot goes to that client only.
        QList<QList<int>> snapshots;
        QObject sink;
        connect(b.get(), &ConnectionInterface::changedCGameState, &sink,
                [&](int fieldsizeX, bool, int score, QString, QByteArray field,
                    QList<GameBlock*> blocks) {
                    QList<int> seen{fieldsizeX, score, int(field.size())};
                    for (GameBlock* block : blocks) {
                        seen << block->id() << block->kind() << int(block->boxes().size());
                    }
                    qDeleteAll(blocks);
                    snapshots << seen;
                });
        GameBlock falling(9, 2, 6, 600, 1250, 1, 24);
        server->sendSGameState(true, 1, 24, false, 40, "00009", QByteArray(300, '\x77'),
                               {&falling});
        QTRY_COMPARE(snapshots.size(), 1);
        QCOMPARE(snapshots.first(), QList<int>({24, 40, 300, 9, 6, 4}));
        QCOMPARE(server->connection(1)->state, ConnectionState::StateInGame);
        QCOMPARE(server->connection(0)->state, ConnectionState::StateLobby);

        server->sendSStart(true, 0, 24, 3);
        QTRY_COMPARE(started.count(), 1);
        QCOMPARE(started.first(), QVariantList({0, 24, 3}));
        QCOMPARE(server->connection(0)->state, ConnectionState::StateInGame);

        // Each client hears which blocks are its own.
        QList<int> activeOfB;
        QList<GameMovement*> taken;
        connect(a.get(), &ConnectionInterface::changedCMoveBlocks, &sink,
                [&](QList<GameMovement*> movements, QList<int>) { taken << movements; });
        connect(b.get(), &ConnectionInterface::changedCMoveBlocks, &sink,
                [&](QList<GameMovement*> movements, QList<int> active) {
                    qDeleteAll(movements);
                    activeOfB = active;
                });
        QSignalSpy moves(a.get(), &ConnectionInterface::changedCMoveBlocks);
        GameBlock other(10, 1, 0, 0, 1000, 0, 24);
        server->sendSMoveBlocks(false, {&falling, &other}, {9, -1, 10, -1});
        QTRY_COMPARE(moves.count(), 1);
        QCOMPARE(moves.first()[1].value<QList<int>>(), QList<int>({9, -1}));
        QTRY_COMPARE(activeOfB, QList<int>({10, -1}));
        QCOMPARE(taken.size(), 2);
        QCOMPARE(taken[1]->blockId(), 10);
        QCOMPARE(taken[1]->y(), 1000);
        qDeleteAll(taken);

        // Nobody takes merges: the copies made for them are deleted, not leaked.
        const int before = a->connection(0)->receivedSequence;
        server->sendSMergeBlocks(true, {&falling});
        QTRY_COMPARE(a->connection(0)->receivedSequence, before + 1);

        b->sendCInput(false, {4, 0, 2});
        QTRY_COMPARE(input.count(), 1);
        QCOMPARE(input.first()[0].toInt(), 1);
        QCOMPARE(input.first()[1].value<QList<int>>(), QList<int>({4, 0, 2}));

        QSignalSpy over(b.get(), &ConnectionInterface::changedCGameOver);
        server->sendSGameOver(true, 500, 3, "00100");
        QTRY_COMPARE(over.count(), 1);
        QCOMPARE(over.first(), QVariantList({500, 3, QString("00100")}));
        QCOMPARE(server->connection(1)->state, ConnectionState::StateLobby);
        QTRY_COMPARE(b->connection(0)->state, ConnectionState::StateLobby);
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
        // 21 ahead: lost for good.
        peer.send(ConnectionMessage("CMSG", "0 too far", 21), port);
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.first(),
                 QVariantList({0, QVariant::fromValue(ConnectionInterface::PacketLoss)}));
        // The next in order is taken, its duplicate is not.
        peer.send(ConnectionMessage("CMSG", "0 next", 1), port);
        peer.send(ConnectionMessage("CMSG", "0 next", 1), port);
        peer.send(ConnectionMessage("CMSG", "0 unnumbered"), port);
        QTRY_COMPARE(chat.count(), 2);
        QTest::qWait(50);
        QCOMPARE(chat.count(), 2);
        QCOMPARE(chat[0][2].toString(), QString("next"));

        // Serving resend requests from the last 20 reliable messages.
        for (int i = 1; i <= 25; ++i) {
            server->sendSMessage(true, -1, QString::number(i));
        }
        QTRY_COMPARE(peer.count("SMSG"), 25);
        peer.received.clear();
        peer.send(ConnectionMessage("BRES", "10"), port);
        QTRY_COMPARE(peer.count("SMSG"), 15);
        const auto resent = peer.ofType("SMSG");
        for (int i = 0; i < 15; ++i) {
            QCOMPARE(resent[i].number, 11 + i);
            QCOMPARE(resent[i].content, QString("-1 %1").arg(11 + i));
        }
        // Nothing missing: nothing sent. Beyond the history: loss.
        peer.send(ConnectionMessage("BRES", "25"), port);
        peer.send(ConnectionMessage("BRES", "2"), port);
        QTRY_COMPARE(errors.count(), 2);
        QCOMPARE(peer.count("SMSG"), 15);
        // Even absurd numbers are only a loss, not a crash.
        peer.send(ConnectionMessage("BRES", "-2147483648"), port);
        QTRY_COMPARE(errors.count(), 3);
    }

    void pingsMeasureTheAnswer() {
        ManualClock clock;
        auto server = udpServer(3000, 60);
        server->setClock(clock);
        server->lossSimulation().dropIncoming = [&](const ConnectionMessage& m) {
            if (m.type == "CPNG") {
                clock.advance(7);  // the answer took 7 ms
            }
            return false;
        };
        auto client = udpClient();
        QVERIFY(joinAndWait(*client, portOf(*server), 1, kKey));
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
        QVERIFY(udp->establishedIds().isEmpty());
        QCOMPARE(udp->playerCount(), 0);

        // An established stream never times out; a silent new one is dropped quietly.
        auto tcp = tcpServer(4, false, QString(), 200);
        NetworkTimings timings = fastTimings();
        timings.handshakeTimeoutMs = 300;
        tcp->setTimings(timings);
        Listener listener(*tcp);
        auto client = tcpClient();
        QVERIFY(joinAndWait(*client, listener.serverPort(), 1, kKey));
        QSignalSpy tcpErrors(tcp.get(), &ConnectionInterface::errorOccured);
        QTcpSocket silent;
        silent.connectToHost(kLocal, listener.serverPort());
        QTRY_COMPARE(tcp->pendingIds().size(), 1);
        QTRY_VERIFY(tcp->pendingIds().isEmpty());
        QTest::qWait(300);
        QCOMPARE(tcpErrors.count(), 0);
        QCOMPARE(tcp->establishedIds().size(), 1);
    }

    void leavingKickingAndShutdown() {
        auto server = tcpServer();
        Listener listener(*server);
        auto host = tcpClient();
        auto bob = tcpClient();
        auto cy = tcpClient();
        QVERIFY(joinAndWait(*host, listener.serverPort(), 1, kKey));
        QVERIFY(joinAndWait(*bob, listener.serverPort(), 1, -1));
        QVERIFY(joinAndWait(*cy, listener.serverPort(), 1, -1));

        // A graceful leave answered by the server.
        QSignalSpy bobClosed(bob.get(), &ConnectionInterface::connectionClosed);
        QSignalSpy hostSeesLeave(host.get(), &ConnectionInterface::changedCPlayerDisconnect);
        QSignalSpy serverSeesLeave(server.get(), &ConnectionInterface::changedSPlayerDisconnect);
        bob->disconnectClient(-1, false);
        QTRY_COMPARE(bobClosed.count(), 1);
        QCOMPARE(bobClosed.first()[0].toInt(), 1);
        QTRY_COMPARE(hostSeesLeave.count(), 1);
        QCOMPARE(serverSeesLeave.first()[0].toInt(), 1);
        QCOMPARE(server->playerCount(), 2);
        QVERIFY(bob->establishedIds().isEmpty());

        // A kick: everybody hears it, the kicked client resets.
        QSignalSpy cyKicked(cy.get(), &ConnectionInterface::changedCPlayerKick);
        QSignalSpy hostSeesKick(host.get(), &ConnectionInterface::changedCPlayerKick);
        server->sendSKick(true, 2);
        QCOMPARE(server->playerCount(), 1);
        QTRY_COMPARE(cyKicked.count(), 1);
        QTRY_COMPARE(hostSeesKick.count(), 1);
        QCOMPARE(cyKicked.first()[0].toInt(), 2);
        QVERIFY(cy->establishedIds().isEmpty());
        QCOMPARE(host->establishedIds().size(), 1);

        // The host leaving shuts the server's side down.
        auto dan = tcpClient();
        QVERIFY(joinAndWait(*dan, listener.serverPort(), 1, -1));
        QSignalSpy serverShutdown(server.get(), &ConnectionInterface::serverShutdown);
        QSignalSpy danShutdown(dan.get(), &ConnectionInterface::serverShutdown);
        host->disconnectClient(-1, false);
        QTRY_COMPARE(serverShutdown.count(), 1);
        QCOMPARE(serverShutdown.first()[0].toInt(), 0);
        QTRY_COMPARE(danShutdown.count(), 1);
        QVERIFY(server->establishedIds().isEmpty());
        QCOMPARE(server->playerCount(), 0);
        QVERIFY(dan->establishedIds().isEmpty());
    }

    void serverWithoutOwnClientOutlivesItsHost() {
        auto server = tcpServer(4, false, QString(), 3000, -1);
        server->setFirstClientIsHost(true);
        Listener listener(*server);
        auto host = tcpClient();
        auto bob = tcpClient();
        QVERIFY(joinAndWait(*host, listener.serverPort(), 1, -1));
        QVERIFY(joinAndWait(*bob, listener.serverPort(), 1, -1));
        server->sendSStart(true, 0, 24, 3);
        QTRY_COMPARE(bob->connection(0)->state, ConnectionState::StateInGame);

        // The host leaves like anybody else: no "SSHD", bob stays.
        QSignalSpy shutdown(server.get(), &ConnectionInterface::serverShutdown);
        QSignalSpy bobShutdown(bob.get(), &ConnectionInterface::serverShutdown);
        QSignalSpy bobSeesLeave(bob.get(), &ConnectionInterface::changedCPlayerDisconnect);
        host->disconnectClient(-1, false);
        QTRY_COMPARE(bobSeesLeave.count(), 1);
        QCOMPARE(bobSeesLeave.first()[0].toInt(), 0);
        QCOMPARE(server->establishedIds().size(), 1);
        QCOMPARE(server->hostConnId(), -1);
        // Without a host any player may restart.
        QSignalSpy restart(server.get(), &ConnectionInterface::changedSPlayerRestart);
        bob->sendCRestart(true);
        QTRY_COMPARE(restart.count(), 1);
        QCOMPARE(restart.first()[0].toInt(), 1);
        QCOMPARE(shutdown.count() + bobShutdown.count(), 0);

        // Going away on purpose: "SSHD" to all, every byte counted per client.
        const qint64 sentToBob = server->bytesSent().at(1);
        QVERIFY(sentToBob > 0);
        server->announceShutdown();
        QTRY_COMPARE(bobShutdown.count(), 1);
        QCOMPARE(bobShutdown.first()[0].toInt(), -1);
        QVERIFY(server->establishedIds().isEmpty());
        QCOMPARE(server->bytesSent().at(1), sentToBob + QByteArray("SSHD 5 N -1").size());
        QCOMPARE(shutdown.count(), 0);
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
        QVERIFY(client->establishedIds().isEmpty());
        QVERIFY(client->connection(0) == nullptr);
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
        {
            // A header that stays incomplete is aborted after the timer.
            QTcpSocket peer;
            auto wrapper = pair(peer);
            QSignalSpy errors(wrapper.get(), &SocketAbstract::gotError);
            peer.write("CPNG 3");
            QTRY_COMPARE(errors.count(), 1);
            QCOMPARE(errors.first()[1].value<QAbstractSocket::SocketError>(),
                     QAbstractSocket::SocketTimeoutError);
            QTRY_COMPARE(peer.state(), QAbstractSocket::UnconnectedState);
        }
        {
            // An unknown type word is aborted at once, long before the timer.
            QTcpSocket peer;
            auto wrapper = pair(peer);
            wrapper->setFramingTimeout(60000);
            QSignalSpy errors(wrapper.get(), &SocketAbstract::gotError);
            peer.write("HELLO 3 N P");
            QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 1000);
            QCOMPARE(errors.first()[1].value<QAbstractSocket::SocketError>(),
                     QAbstractSocket::UnknownSocketError);
            QTRY_COMPARE(peer.state(), QAbstractSocket::UnconnectedState);
        }
    }

    void garbageFromStrangersLeavesPlayersAlone() {
        auto server = udpServer();
        const int port = portOf(*server);
        auto client = udpClient();
        QVERIFY(joinAndWait(*client, port, 1, kKey));
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
        QVERIFY(server->pendingIds().isEmpty());
        QCOMPARE(server->establishedIds().size(), 1);
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

        // Closing the shared socket ends every datagram connection.
        server->socketWrapper()->socket()->close();
        QTRY_COMPARE(serverErrors.count(), 1);
        QCOMPARE(serverErrors.first(),
                 QVariantList({-1, QVariant::fromValue(ConnectionInterface::ConnectionLost)}));
        QVERIFY(server->establishedIds().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "test_connection.moc"
