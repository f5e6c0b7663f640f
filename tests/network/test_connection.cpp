// The connection core on real local sockets: handshakes, refusals, leaving,
// kicks, shutdown, silent streams, framing. Who may join: test_playersessions.
#include <QElapsedTimer>
#include <QTcpSocket>
#include <tuple>

#include "connectionrooms.h"

using namespace nettest;

class TestConnection : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void handshakeOverTcpAndUdp() {
        // Cleared, the ids start at 0 again.
        TcpRoom room;
        auto host = clientStream();
        QCOMPARE(joined(*host, room.port, kKey), QVariantList({0, true}));
        room.server->core().clearConnections();
        QCOMPARE(room.server->core().playerCount(), 0);
        auto again = clientStream();
        QCOMPARE(joined(*again, room.port, kKey), QVariantList({0, true}));
        QCOMPARE(room.server->core().establishedIds(), QList<int>({0}));

        // The datagram connection asks for the id its stream got. The
        // host's first answer is lost: its repeated hello is answered again.
        auto udp = udpServer();
        int repliesSent = 0;
        udp->core().lossSimulation().dropOutgoing = [&](const ConnectionMessage& m) {
            repliesSent += m.type == "SHI";
            return false;
        };
        auto hostUdp = clientDatagram();
        hostUdp->core().lossSimulation().dropNextIncoming = 1;  // the answer "SHI"
        QCOMPARE(joined(*hostUdp, portOf(*udp), kKey, 0), QVariantList({0, true}));
        QCOMPARE(repliesSent, 2);
        QVERIFY(udp->core().pendingIds().isEmpty());
    }

    void refusalsAndTheirErrors() {
        TcpRoom room(kKey, "open se same");
        // A refusal reaches the client as its error and leaves nothing behind.
        QCOMPARE(helloError(*clientStream(), room.port, 1, -1, "open se same"),
                 ConnectionInterface::Refused);
        QTRY_VERIFY(room.server->core().pendingIds().isEmpty());
        QCOMPARE(room.server->core().playerCount(), 0);
        // Nobody listening: the stream cannot come up.
        QCOMPARE(helloError(*clientStream(), freePort()), ConnectionInterface::HostNotFound);
    }

    void leavingKickingAndShutdown() {
        TcpRoom room;
        NetServerConnection* server = room.server.get();
        std::vector<std::unique_ptr<NetClientConnection>> clients;
        for (int id = 0; id < 4; ++id) {
            clients.push_back(clientStream());
            QCOMPARE(joined(*clients[id], room.port, id == 0 ? kKey : -1),
                     QVariantList({id, id == 0}));
        }

        // A graceful leave answered by the server.
        QSignalSpy closed(clients[1].get(), &ConnectionInterface::connectionClosed);
        clients[1]->disconnectClient(-1, false);
        QTRY_COMPARE(closed.count(), 1);
        QCOMPARE(closed.first()[0].toInt(), 1);
        QCOMPARE(server->core().playerCount(), 3);
        QVERIFY(clients[1]->core().establishedIds().isEmpty());

        // A kick: the kicked client resets (what players hear: test_endtoend).
        server->sendSKick(true, 2);
        QCOMPARE(server->core().playerCount(), 2);
        QTRY_VERIFY(clients[2]->core().establishedIds().isEmpty());
        QCOMPARE(clients[0]->core().establishedIds().size(), 1);

        // The server ends: everybody hears who ended it.
        QSignalSpy shutdown(clients[3].get(), &ClientConnection::serverShutdown);
        server->shutDown(0);
        QTRY_COMPARE(shutdown.count(), 1);
        QCOMPARE(shutdown.first()[0].toInt(), 0);
        QVERIFY(server->core().establishedIds().isEmpty());
        QCOMPARE(server->core().playerCount(), 0);
        QTRY_VERIFY(clients[3]->core().establishedIds().isEmpty());
    }

    void gracefulLeaveWithoutAnswer() {
        RawPeer fakeServer;
        auto client = clientDatagram();
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
        QVERIFY(client->core().connection(0) == nullptr);
    }

    // Silent streams hold a socket each until their handshake times out: one
    // address gets only so many, and they go quietly. An established stream
    // never times out, though it says nothing for longer than the time-out.
    void silentStreamsAreCappedAndDropped() {
        TcpRoom room(kKey, QString(), 200);
        auto client = clientStream();
        QCOMPARE(joined(*client, room.port, kKey), (QVariantList{0, true}));
        QSignalSpy errors(room.server.get(), &ConnectionInterface::errorOccured);
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
        // Dropped after the handshake's 1500 ms, longer than the 200 ms of inactivity.
        QTRY_VERIFY(room.server->core().pendingIds().isEmpty());
        QCOMPARE(errors.count(), 0);
        QCOMPARE(room.server->core().establishedIds(), QList<int>({0}));
        auto other = clientStream();
        QCOMPARE(joined(*other, room.port, -1), (QVariantList{1, false}));
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
        // An incomplete header is aborted after the timer, an unknown type at once.
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
};

QTEST_GUILESS_MAIN(TestConnection)
#include "test_connection.moc"
