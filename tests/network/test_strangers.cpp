// Peers that are not players: hostile hellos, silent streams, probes beyond
// the answer rate and garbage from strangers leave the players alone.
#include <QElapsedTimer>
#include <QTcpSocket>
#include <tuple>

#include "connectionrooms.h"
#include "game/clock.h"
#include "network/payloadcodec.h"

using namespace nettest;

class TestStrangers : public QObject {
    Q_OBJECT

private Q_SLOTS:
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

QTEST_GUILESS_MAIN(TestStrangers)
#include "test_strangers.moc"
