// Datagram connections over real sockets on 127.0.0.1: traffic in order and
// by state, upkeep, pings and time-outs, and strangers on the shared socket.
#include <QElapsedTimer>

#include "connectionrooms.h"
#include "game/clock.h"
#include "network/payloadcodec.h"

using namespace nettest;

class TestDatagramLink : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void datagramTrafficInOrderAndByState() {
        auto server = udpServer();
        auto a = clientDatagram();
        auto b = clientDatagram();
        QCOMPARE(joined(*a, portOf(*server), kKey), QVariantList({0, true}));

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
        QStringList chat;
        connect(a.get(), &ClientConnection::changedCMessage, a.get(),
                [&chat](const PayloadCodec::ChatLine& line) { chat << line.text; });
        for (const char* line : {"one", "two", "three"}) {
            server->sendSMessage(true, {0, line});
        }
        QTRY_COMPARE(chat, QStringList({"one", "two", "three"}));
        QCOMPARE(resendRequests, 1);

        QCOMPARE(joined(*b, portOf(*server), -1), QVariantList({1, false}));

        // A late joiner's snapshot goes to that client only; its fields and
        // the game start's on the wire: test_serverhost.
        QSignalSpy snapshotsOfA(a.get(), &ClientConnection::changedCGameState);
        QSignalSpy snapshotsOfB(b.get(), &ClientConnection::changedCGameState);
        GameBlock falling(9, 2, 6, 600, 1250, 1, 24);
        server->sendSGameState(true, 1, {24, false, 40, "00009", QByteArray(300, '\x77'), {}});
        server->setInGame(1, true);
        QTRY_COMPARE(snapshotsOfB.size(), 1);
        QCOMPARE(snapshotsOfA.size(), 0);
        QCOMPARE(server->core().connection(1)->state, ConnectionState::StateInGame);
        QCOMPARE(server->core().connection(0)->state, ConnectionState::StateLobby);
        server->sendSStart(true, {0, 24, 3});
        server->setInGame(-1, true);
        QCOMPARE(server->core().connection(0)->state, ConnectionState::StateInGame);

        // Each client hears which blocks are its own.
        QSignalSpy movesOfA(a.get(), &ClientConnection::changedCMoveBlocks);
        QSignalSpy movesOfB(b.get(), &ClientConnection::changedCMoveBlocks);
        GameBlock other(10, 1, 0, 0, 1000, 0, 24);
        server->sendSMoveBlocks(false, {&falling, &other}, {9, -1, 10, -1});
        QTRY_VERIFY(movesOfA.size() == 1 && movesOfB.size() == 1);
        QCOMPARE(movesOfA.first()[1].value<QList<int>>(), QList<int>({9, -1}));
        QCOMPARE(movesOfB.first()[1].value<QList<int>>(), QList<int>({10, -1}));
        QCOMPARE(movesOfA.first()[0].value<QList<GameMovement>>().value(1),
                 GameMovement({10, 0, 1000, 0}));

        QSignalSpy over(b.get(), &ClientConnection::changedCGameOver);
        server->sendSGameOver(true, {500, 3, "00100"});
        server->setInGame(-1, false);
        QTRY_COMPARE(over.count(), 1);
        const auto o = over.first()[0].value<PayloadCodec::GameOver>();
        QCOMPARE(QVariantList({o.score, o.lines, o.playtime}), QVariantList({500, 3, "00100"}));
        QCOMPARE(server->core().connection(1)->state, ConnectionState::StateLobby);
        QTRY_COMPARE(b->core().connection(0)->state, ConnectionState::StateLobby);
    }

    // The client feeds the server's inactivity time-out with "SLNE" and asks
    // again for a lost reliable datagram that nothing after it shows missing.
    void clientUpkeepOfADatagramConnection() {
        auto server = udpServer(1000);
        const int port = portOf(*server);
        auto client = clientDatagram();
        client->core().setKeepAlive(50);
        QCOMPARE(joined(*client, port, kKey), QVariantList({0, true}));
        QSignalSpy serverErrors(server.get(), &ConnectionInterface::errorOccured);
        // Longer than the server's time-out, with no word but "SLNE".
        int keptAlive = 0;
        server->core().lossSimulation().dropIncoming = [&](const ConnectionMessage& m) {
            keptAlive += m.type == "SLNE";
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(keptAlive >= 30, 20000);
        QCOMPARE(server->core().establishedIds().size(), 1);
        QCOMPARE(serverErrors.count(), 0);

        client->core().setKeepAlive(50, 200);
        QSignalSpy chat(client.get(), &ClientConnection::changedCMessage);
        server->core().lossSimulation().dropNextOutgoing = 1;
        server->sendSMessage(true, {-1, "lost once"});
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
        auto client = clientDatagram();
        QCOMPARE(joined(*client, portOf(*server), kKey), QVariantList({0, true}));
        QSignalSpy pings(client.get(), &ClientConnection::changedCPinglist);
        QTRY_VERIFY(pings.count() >= 2);
        QCOMPARE(pings[0][0].value<PayloadCodec::PingList>().connIds, QList<int>({0}));
        QCOMPARE(pings[0][0].value<PayloadCodec::PingList>().pings, QList<int>({999}));
        QCOMPARE(pings[1][0].value<PayloadCodec::PingList>().pings, QList<int>({7}));
    }

    // An established datagram peer that falls silent.
    void silentPeerTimesOut() {
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
        auto client = clientDatagram();
        QCOMPARE(joined(*client, port, kKey), QVariantList({0, true}));
        QSignalSpy serverErrors(server.get(), &ConnectionInterface::errorOccured);

        RawPeer stranger;
        for (const QByteArray& junk :
             {QByteArray("\x00\xff garbage", 10), QByteArray(60000, 'A'),
              ConnectionMessage("CMSG", "0 not yours", 1).encode(),
              ConnectionMessage("BRES", "0").encode(), ConnectionMessage("CDSC", "D").encode(),
              ConnectionMessage("SLNE", "").encode()}) {
            stranger.sendRaw(junk, port);
        }
        // A later probe's answer shows all was read; the stranger left nothing.
        RawPeer prober;
        prober.send(ConnectionMessage("CIN", "I"), port);
        QTRY_COMPARE(prober.count("SIN"), 1);
        QVERIFY(PayloadCodec::parseServerInfo(prober.ofType("SIN").first().content));
        QVERIFY(server->core().pendingIds().isEmpty());
        QCOMPARE(server->core().establishedIds().size(), 1);
        QCOMPARE(serverErrors.count(), 0);
        QCOMPARE(stranger.count("BRES") + stranger.count("SDSC"), 0);

        // Bursts larger than one read's share are all read, and what follows.
        RawPeer player;
        QVERIFY(rawJoin(player, port, -1) >= 0);
        QSignalSpy chat(server.get(), &ServerConnection::changedSMessage);
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

QTEST_GUILESS_MAIN(TestDatagramLink)
#include "test_datagramlink.moc"
