// Connections on real local sockets: handshakes, refusals, leaving, kicks,
// shutdown, framing; datagram traffic, upkeep, pings, time-outs, strangers;
// connections on a thread of their own; the master server link, probes and
// the LAN question against hand-driven peers. Who may join: test_playersessions.
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <tuple>

#include "connectionrooms.h"
#include "game/appinfo.h"
#include "game/clock.h"
#include "network/lanscanner.h"
#include "network/masterlink.h"
#include "network/masterserversettings.h"
#include "network/payloadcodec.h"
#include "network/threadedconnection.h"
#include "tests/support/fakeconnection.h"

using namespace nettest;
namespace Codec = PayloadCodec;
using Result = MasterserverResult;

namespace {

// What the real connection saw: each call and whether it ran on the thread.
struct Seen {
    QStringList ops;
    bool elsewhere = false;
    bool deleted = false;
};

template <class Fake>
std::function<std::unique_ptr<Fake>()> watched(const std::shared_ptr<Seen>& seen, Fake*& made,
                                               QThread* thread) {
    return [seen, &made, thread] {
        auto fake = std::make_unique<Fake>();
        fake->onCall = [seen, thread](const CallLog::Call& call) {
            QStringList line{call.op};
            for (const QVariant& arg : call.args) {
                line.append(arg.typeId() == QMetaType::QVariantList
                                ? arg.toStringList().join(QLatin1Char(','))
                                : arg.toString());
            }
            seen->ops.append(line.join(QLatin1Char(' ')));
            seen->elsewhere |= QThread::currentThread() != thread;
        };
        QObject::connect(fake.get(), &QObject::destroyed, [seen, thread] {
            seen->deleted = true;
            seen->elsewhere |= QThread::currentThread() != thread;
        });
        made = fake.get();
        return fake;
    };
}

const QString kVersion = QString::fromLatin1(Quadrell::kVersion);

// The server the i-th announcement named (not default-constructible: no value<>()).
ServerData serverAt(const QSignalSpy& found, qsizetype i) {
    return *static_cast<const ServerData*>(found.at(i).at(1).constData());
}

QList<Result> resultsOf(const QSignalSpy& spy) {
    QList<Result> out;
    for (const QVariantList& args : spy) {
        out.append(args[1].value<Result>());
    }
    return out;
}

}  // namespace

class TestConnection : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void handshakesRefusalsLeavesAndDatagramTraffic() {
        // Cleared, the ids start at 0 again.
        TcpRoom room;
        auto host = clientStream();
        QCOMPARE(joined(*host, room.port, kKey), QVariantList({0, true}));
        room.server->core().clearConnections();
        QCOMPARE(room.server->core().playerCount(), 0);
        auto again = clientStream();
        QCOMPARE(joined(*again, room.port, kKey), QVariantList({0, true}));
        QCOMPARE(room.server->core().establishedIds(), QList<int>({0}));

        // Joined by three more: leaving, kicking and shutdown.
        std::vector<std::unique_ptr<NetClientConnection>> clients;
        clients.push_back(std::move(again));
        for (int id = 1; id < 4; ++id) {
            clients.push_back(clientStream());
            QCOMPARE(joined(*clients[id], room.port, -1), QVariantList({id, false}));
        }

        // A graceful leave answered by the server.
        QSignalSpy closed(clients[1].get(), &ConnectionInterface::connectionClosed);
        clients[1]->disconnectClient(-1, false);
        QTRY_COMPARE(closed.count(), 1);
        QVERIFY(closed.first()[0].toInt() == 1 && clients[1]->core().establishedIds().isEmpty());
        QCOMPARE(room.server->core().playerCount(), 3);

        // A kick: the kicked client resets (what players hear: test_endtoend).
        room.server->sendSKick(true, 2);
        QCOMPARE(room.server->core().playerCount(), 2);
        QTRY_VERIFY(clients[2]->core().establishedIds().isEmpty());
        QCOMPARE(clients[0]->core().establishedIds().size(), 1);

        // The server ends: everybody hears who ended it.
        QSignalSpy shutdown(clients[3].get(), &ClientConnection::serverShutdown);
        room.server->shutDown(0);
        QTRY_COMPARE(shutdown.count(), 1);
        QCOMPARE(shutdown.first()[0].toInt(), 0);
        QVERIFY(room.server->core().establishedIds().isEmpty());
        QCOMPARE(room.server->core().playerCount(), 0);
        QTRY_VERIFY(clients[3]->core().establishedIds().isEmpty());

        // A refusal reaches the client as its error and leaves nothing behind.
        TcpRoom locked(kKey, "open se same");
        QCOMPARE(helloError(*clientStream(), locked.port, 1, -1, "open se same"), Error::Refused);
        QTRY_VERIFY(locked.server->core().pendingIds().isEmpty());
        QCOMPARE(locked.server->core().playerCount(), 0);
        // Nobody listening: the stream cannot come up.
        QCOMPARE(helloError(*clientStream(), freePort()), Error::HostNotFound);

        // The datagram connection asks for the id its stream got. The
        // host's first answer is lost: its repeated hello is answered again.
        auto server = udpServer();
        int repliesSent = 0;
        server->core().lossSimulation().dropOutgoing = [&](const ConnectionMessage& m) {
            repliesSent += m.type == "SHI";
            return false;
        };
        auto a = clientDatagram();
        a->core().lossSimulation().dropNextIncoming = 1;  // the answer "SHI"
        QCOMPARE(joined(*a, portOf(*server), kKey, 0), QVariantList({0, true}));
        QVERIFY(repliesSent == 2 && server->core().pendingIds().isEmpty());

        // Datagram traffic in order and by state.
        auto b = clientDatagram();

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
                [&chat](const Codec::ChatLine& line) { chat << line.text; });
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
        const auto o = over.first()[0].value<Codec::GameOver>();
        QCOMPARE(QVariantList({o.score, o.lines, o.playtime}), QVariantList({500, 3, "00100"}));
        QCOMPARE(server->core().connection(1)->state, ConnectionState::StateLobby);
        QTRY_COMPARE(b->core().connection(0)->state, ConnectionState::StateLobby);

        // Garbage from strangers leaves the players alone.
        const int port = portOf(*server);
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
        QVERIFY(Codec::parseServerInfo(prober.ofType("SIN").first().content));
        QVERIFY(server->core().pendingIds().isEmpty());
        QCOMPARE((QList<qsizetype>{server->core().establishedIds().size(), serverErrors.count(),
                                   stranger.count("BRES") + stranger.count("SDSC")}),
                 (QList<qsizetype>{2, 0, 0}));

        // Bursts larger than one read's share are all read, and what follows.
        RawPeer player;
        QVERIFY(rawJoin(player, port, -1) >= 0);
        QSignalSpy heard(server.get(), &ServerConnection::changedSMessage);
        int sent = 0;
        for (int burst = 0; burst < 10; ++burst) {
            for (int i = 0; i < 150; ++i, ++sent) {
                player.send(ConnectionMessage("CMSG", QString("0 m%1").arg(sent)), port);
            }
            QTRY_COMPARE(heard.count(), sent);
        }

        // Closing the shared socket ends every datagram connection.
        sharedSocket(*server).socketWrapper()->socket()->close();
        QTRY_COMPARE(serverErrors.count(), 1);
        QCOMPARE(serverErrors.first(),
                 QVariantList({-1, QVariant::fromValue(Error::ConnectionLost)}));
        QVERIFY(server->core().establishedIds().isEmpty());
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

    // The client feeds the server's inactivity time-out with "SLNE" and asks
    // again for a lost reliable datagram that nothing after it shows missing.
    void clientUpkeepOfADatagramConnection() {
        auto server = udpServer(1000);
        auto client = clientDatagram();
        client->core().setKeepAlive(50);
        QCOMPARE(joined(*client, portOf(*server), kKey), QVariantList({0, true}));
        QSignalSpy serverErrors(server.get(), &ConnectionInterface::errorOccured);
        // Longer than the server's time-out, with no word but "SLNE".
        int keptAlive = 0;
        server->core().lossSimulation().dropIncoming = [&](const ConnectionMessage& m) {
            keptAlive += m.type == "SLNE";
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(keptAlive >= 30, 20000);
        QVERIFY(server->core().establishedIds().size() == 1 && serverErrors.isEmpty());

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
        QCOMPARE(pings[0][0].value<Codec::PingList>().connIds, QList<int>({0}));
        QCOMPARE(pings[0][0].value<Codec::PingList>().pings, QList<int>({999}));
        QCOMPARE(pings[1][0].value<Codec::PingList>().pings, QList<int>({7}));
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
        QCOMPARE(udpErrors.first(), QVariantList({0, QVariant::fromValue(Error::Timeout)}));
        QVERIFY(udp->core().establishedIds().isEmpty());
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
        QVERIFY(flooder.count("SHI") == 0 && server->core().establishedIds().isEmpty());
    }

    // Calls reach the real connection there in order; its events come back
    // to the owner's thread in order with their values. The master's proxy
    // on the game's own threads: test_endtoend.
    void callsAndEventsCrossTheThreadInOrderUntilLeaveOrStop() {
        auto thread = std::make_shared<ConnectionThread>();
        auto seen = std::make_shared<Seen>();
        FakeClientConnection* fake = nullptr;
        QStringList heard;
        bool offThread = false;
        auto hear = [&](const QString& line) {
            heard.append(line);
            offThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
        };
        {
            ThreadedClientConnection client(thread, watched(seen, fake, thread->thread()));
            QCOMPARE(client.connectWithHello(kLocal, 5, 1, -1, "pw", 3), 0);
            for (int i = 0; i < 50; ++i) {
                client.sendCInput(false, KeyInput::fromList({i}));
            }
            client.sendCMessage(true, {1, "hi"});
            client.disconnectClient(-1, false);
            // Waits for everything before it.
            QCOMPARE(client.connectWithHello(kLocal, 5, 1, -1, "pw", 0), 1);

            connect(&client, &ClientConnection::changedCGameState, [&](const Codec::GameState& s) {
                hear(QStringLiteral("state %1 %2 %3 %4 %5")
                         .arg(s.fieldsizeX)
                         .arg(s.paused)
                         .arg(s.playtime, QString::fromLatin1(s.field))
                         .arg(s.blocks.first().kind));
            });
            connect(&client, &ConnectionInterface::errorOccured,
                    [&](int id, ConnectionInterface::ConnectionError e) {
                        hear(QStringLiteral("error %1 %2").arg(id).arg(int(e)));
                    });
            thread->post([fake] {
                Q_EMIT fake->changedCGameState({12, true, 40, "0:42", "ab", {{0, 1, 5, 0, 0, 0}}});
                Q_EMIT fake->errorOccured(2, Error::Timeout);
            });
            QTRY_COMPARE(heard.size(), 2);
            QCOMPARE(heard, QStringList({"state 12 1 0:42 ab 5", "error 2 6"}));
            QVERIFY(!offThread);
        }
        QStringList expected{"connectWithHello 127.0.0.1 5 1 -1 pw 3"};
        for (int i = 0; i < 50; ++i) {
            expected.append(QStringLiteral("sendCInput false %1,0,0,0,0,0,0,0,0,0").arg(i));
        }
        expected += {"sendCMessage true 1 hi", "disconnectClient -1 false",
                     "connectWithHello 127.0.0.1 5 1 -1 pw 0"};
        QVERIFY(seen->ops == expected && !seen->elsewhere);
        QVERIFY(seen->deleted);  // with the proxy, on the thread

        // A new proxy there: what was said before an immediate leave is not heard.
        seen = std::make_shared<Seen>();
        ThreadedClientConnection client(thread, watched(seen, fake, thread->thread()));
        QSignalSpy errors(&client, &ConnectionInterface::errorOccured);
        auto say = [fake](int id) { Q_EMIT fake->errorOccured(id, Error::Timeout); };
        thread->post([say] { say(1); });
        client.disconnectClient(-1, false);  // a goodbye still hears what comes
        thread->post([say] { say(2); });
        QTRY_COMPARE(errors.count(), 2);
        thread->post([say] { say(3); });  // said, not yet heard: dropped with the connection
        client.disconnectClient(-1, true);
        thread->post([say] { say(4); });
        QTRY_COMPARE(errors.count(), 3);
        QTest::qWait(10);
        const QVariant timeout = QVariant::fromValue(Error::Timeout);
        QCOMPARE(QList<QVariantList>(errors),
                 (QList<QVariantList>{{1, timeout}, {2, timeout}, {4, timeout}}));

        // Calls after the thread stopped do nothing.
        client.sendCStart(true);
        thread->stop();
        QCOMPARE(seen->ops, QStringList({"disconnectClient -1 false", "disconnectClient -1 true",
                                         "sendCStart true"}));  // posted before: still ran
        QVERIFY(seen->deleted && !seen->elsewhere);
        client.sendCInput(false, KeyInput::fromList({1}));
        client.disconnectClient(-1, true);
        QCOMPARE(client.connectWithHello(kLocal, 5, 1, -1, QString(), -1), -1);
        QCOMPARE(seen->ops.size(), 3);
        ThreadedClientConnection late(thread,
                                      [] { return std::make_unique<FakeClientConnection>(); });
        QCOMPARE(late.connectWithHello(kLocal, 5, 1, -1, QString(), -1), -1);
    }

    // The fault the thread is for: a busy owner (a long frame) holds back no
    // ping answer. Then it goes with answers and lists still queued.
    void answersPingsWhileTheOwnerIsBusy() {
        ConnectionThread serverThread(QStringLiteral("server"));
        NetServerConnection* server =
            serverThread.adopt<NetServerConnection>([] { return udpServer(3000, 50); });
        const int port = serverThread.call<int>([server] { return portOf(*server); }, -1);
        auto thread = std::make_shared<ConnectionThread>();
        auto client =
            std::make_unique<ThreadedClientConnection>(thread, [] { return clientDatagram(); });
        QCOMPARE(joined(*client, port, kKey), QVariantList({0, true}));

        QSignalSpy pings(client.get(), &ClientConnection::changedCPinglist);
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < 300) {
            // no events: a frame that takes 300 ms
        }
        // About six lists went out meanwhile; the first may predate the answer.
        QTRY_VERIFY(pings.count() >= 5);
        for (int i = 1; i < 5; ++i) {
            const QList<int> list = pings.at(i).at(0).value<Codec::PingList>().pings;
            QCOMPARE(list.size(), 1);
            QCOMPARE_GE(list.first(), 0);
            QCOMPARE_LT(list.first(), 150);
        }

        client.reset();
        // The thread outlived its only connection and still serves a new one.
        ThreadedClientConnection again(thread, [] { return clientDatagram(); });
        QCOMPARE(joined(again, port, kKey).size(), 2);
    }

    void masterTestAnnouncementsAndTheServerList() {
        RawPeer master;
        auto connection = masterLink();
        QSignalSpy online(connection.get(), &MasterConnection::masterserverOnline);
        QSignalSpy errors(connection.get(), &ConnectionInterface::errorOccured);
        connection->connectToHost(kLocal, master.port());
        QCOMPARE(connection->core().pendingIds(), QList<int>({0}));

        // Repeated until answered; a late second answer is not a second report.
        connection->sendMasterTest(true);
        QTRY_VERIFY(master.count("CTS") >= 2);
        master.answer(ConnectionMessage("MTS", "T"));
        QTRY_COMPARE(online.count(), 1);
        QCOMPARE(online.first()[0].toInt(), -1);
        master.answer(ConnectionMessage("MTS", "T"));
        const int tests = master.count("CTS");

        // The announcement goes unnumbered. A stray answer of another kind does not stop it; its
        // own answer does. A registration between goes once and leaves it repeating.
        connection->sendServerOnline(true, 27403);
        QTRY_VERIFY(master.count("SON") >= 1);
        connection->sendRegistration({27403, true, {}});
        master.answer(ConnectionMessage("MTS", "T"));
        QTRY_VERIFY(master.count("SON") >= 3);
        QVERIFY(master.count("CTS") <= tests + 1);  // one may have been on its way
        QCOMPARE(online.count(), 1);
        QCOMPARE(master.ofType("SON").first().number, -1);
        master.answer(ConnectionMessage("MON", "x"));
        QTRY_VERIFY(!connection->core().find(0)->awaitingAnswer);
        const int announcements = master.count("SON");
        QCOMPARE(errors.count(), 0);
        QCOMPARE(master.count("SRG"), 1);

        // Unanswered: 7 sends, then the connection is lost; a late answer to
        // the announcement is no answer to the goodbye.
        connection->sendServerOffline(true, 27403);
        QTRY_VERIFY(master.count("SOF") >= 1);
        master.answer(ConnectionMessage("MON", "x"));
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE((QList{master.count("SOF"), master.count("SON")}), (QList{7, announcements}));
        QCOMPARE(errors.first(), QVariantList({-1, QVariant::fromValue(Error::ConnectionLost)}));
        QVERIFY(connection->core().pendingIds().isEmpty());

        // Its own answer ends the goodbye's repeats.
        connection->connectToHost(kLocal, master.port());
        QCOMPARE(connection->core().pendingIds().size(), 1);
        const int again = connection->core().pendingIds()[0];
        connection->sendServerOffline(true, 27403);
        QTRY_VERIFY(master.count("SOF") >= 8);
        master.answer(ConnectionMessage("MOF", "x"));
        QTRY_VERIFY(connection->core().find(again) != nullptr &&
                    !connection->core().find(again)->awaitingAnswer);

        // The server list is probed three at a time.
        std::array<RawPeer, 5> game;
        QSignalSpy found(connection.get(), &MasterConnection::changedCNewServer);
        QSignalSpy results(connection.get(), &MasterConnection::masterserverResult);
        connection->requestServerlist(true);
        QTRY_VERIFY(master.count("CLS") >= 1);
        QStringList entries;
        for (const RawPeer& peer : game) {
            entries << QString("127.0.0.1:%1").arg(peer.port());
        }
        master.answer(ConnectionMessage("MLS", entries.join(' ')));
        QTRY_VERIFY(game[2].count("CIN") >= 1);
        QVERIFY(game[0].count("CIN") >= 1 && game[1].count("CIN") >= 1);
        QCOMPARE(game[3].count("CIN") + game[4].count("CIN"), 0);
        QCOMPARE(resultsOf(results), QList<Result>({Result::MasterListReceived}));
        QCOMPARE(connection->core().queryIds().size(), 3);

        // An answer ends a probe and starts the next entry.
        game[0].answer(ConnectionMessage(
            "SIN", Codec::buildServerInfo(kVersion, false, 1, 4, false, "Big  room one")));
        QTRY_VERIFY(game[3].count("CIN") >= 1);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().first(), -1);
        QCOMPARE(serverAt(found, 0).name(), QString("Big  room one"));

        // Genuine, yet claiming more slots than a game has: held to the game's.
        game[1].answer(ConnectionMessage(
            "SIN", Codec::buildServerInfo(kVersion, false, 2147483647, 2147483647, false, "Two")));
        QTRY_VERIFY(game[4].count("CIN") >= 1);
        QCOMPARE((QList{serverAt(found, 1).maxPlayers(), serverAt(found, 1).players()}),
                 (QList{4, 4}));
        // The list is empty now, but three probes still run: not done yet.
        QCOMPARE(resultsOf(results).size(), 1);

        // A description made with another secret is ignored; that probe and the
        // silent one run out. Every probe that ends on an empty list is "done".
        const QString forged = "Beta 0.92 F 1 4 F Fake " + Codec::sha1Hex("Beta 0.92F14FFakeother");
        game[3].answer(ConnectionMessage("SIN", forged));
        game[4].answer(
            ConnectionMessage("SIN", Codec::buildServerInfo(kVersion, false, 1, 4, false, "Five")));
        QTRY_VERIFY(connection->core().queryIds().isEmpty());
        QTRY_COMPARE(resultsOf(results),
                     QList<Result>({Result::MasterListReceived, Result::MasterListDone,
                                    Result::MasterListDone, Result::MasterListDone}));
        QCOMPARE(found.size(), 3);
        QCOMPARE((QList{game[2].count("CIN"), game[3].count("CIN")}), (QList{7, 7}));

        // An empty list starts nothing; a short one with malformed entries
        // starts what it can and is done at once.
        results.clear();
        connection->requestServerlist(true);
        QTRY_VERIFY(master.count("CLS") >= 2);
        master.answer(ConnectionMessage("MLS", ""));
        QTRY_COMPARE(resultsOf(results), QList<Result>({Result::MasterListEmpty}));
        QVERIFY(connection->core().queryIds().isEmpty());
        results.clear();
        connection->requestServerlist(true);
        QTRY_VERIFY(master.count("CLS") >= 3);
        master.answer(ConnectionMessage(
            "MLS", QString("nocolon 1:2:3 127.0.0.1:%1 host.invalid:5 127.0.0.1:%2")
                       .arg(game[0].port())
                       .arg(game[1].port())));
        QTRY_COMPARE(resultsOf(results),
                     QList<Result>({Result::MasterListReceived, Result::MasterListDone}));
        QCOMPARE(connection->core().queryIds().size(), 2);
    }

    void settingsFile() {
        QTemporaryDir dir;
        QVERIFY(!MasterserverSettings::load(dir.path()).isSet());
        // No address is no master server; a port out of range is the default.
        QFile file(dir.filePath(QStringLiteral("masterserver.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Master]\nGeneral\\Address=\nGeneral\\Port=99999999\n");
        file.close();
        const MasterserverSettings s = MasterserverSettings::load(dir.path());
        QVERIFY(!s.isSet() && s.port == 27404);
    }

    void probingARealServer() {
        // A real server's answer to a probe: test_serverhost, test_master_e2e.
        // A new join probe replaces an unanswered one without a late report.
        auto server = udpServer();
        const int port = portOf(*server);
        auto connection = masterLink();
        QSignalSpy found(connection.get(), &MasterConnection::changedCNewServer);
        RawPeer silent;
        QSignalSpy probeErrors(connection.get(), &ConnectionInterface::errorOccured);
        QSignalSpy unreachable(connection.get(), &MasterConnection::changedCServerUnreachable);
        connection->queryServer(kLocal, silent.port());
        QTRY_VERIFY(silent.count("CIN") >= 1);
        connection->queryServer(kLocal, port);
        QTRY_COMPARE(found.size(), 1);
        QCOMPARE(serverAt(found, 0).port(), port);

        // Nobody takes the description: it is not leaked.
        auto unwatched = masterLink();
        unwatched->queryServer(kLocal, port);
        QTRY_VERIFY(unwatched->core().pendingIds().isEmpty());

        // Nobody there, or no answer to 7 sends: unreachable (never the
        // replaced probe), and no error: errors are the master server's.
        const int gonePort = freePort();
        connection->queryServer(kLocal, gonePort);
        QTRY_COMPARE(unreachable.count(), 1);
        QCOMPARE(unreachable.first(), QVariantList({-1, QString("127.0.0.1"), gonePort}));
        const int asked = silent.count("CIN");
        connection->queryServer(kLocal, silent.port());
        QTRY_COMPARE(unreachable.count(), 2);
        QCOMPARE(unreachable.last(), QVariantList({-1, QString("127.0.0.1"), silent.port()}));
        QTRY_COMPARE(silent.count("CIN"), asked + 1 + fastTimings().maxResends);
        QVERIFY(probeErrors.count() == 0 && connection->core().pendingIds().isEmpty());
    }
    void aServerFoundByCodeMustProveIt() {
        // Only the holder of the code answers a joiner by code: a server of
        // another code runs out as a silent one does.
        auto server = udpServer();
        server->setInviteCode("ABCD2345");
        const int port = portOf(*server);
        auto connection = masterLink();
        QSignalSpy found(connection.get(), &MasterConnection::changedCNewServer);
        QSignalSpy unreachable(connection.get(), &MasterConnection::changedCServerUnreachable);
        connection->queryInvitedServer(kLocal, port, "WXYZ6789", 0);
        QTRY_COMPARE(unreachable.count(), 1);
        connection->queryInvitedServer(kLocal, port, "ABCD2345", 0);
        QTRY_COMPARE(found.size(), 1);
        QCOMPARE(serverAt(found, 0).port(), port);
    }

    // Garbage, a description with a forged digest and a second copy of a
    // genuine one in the same round: one entry, from the sender's address and
    // port, marked LAN. The next round hears the server again.
    void onlyGenuineAnswersCountOncePerRound() {
        QUdpSocket server;
        QVERIFY(server.bind(nettest::kLocal, 0));
        LanScanner scanner;
        scanner.setTargets([] { return QList<QHostAddress>{nettest::kLocal}; });
        scanner.setPorts({server.localPort()});
        qint64 now = 1000;
        scanner.setClock([&now] { return now; });
        QList<ServerData> found;
        connect(&scanner, &LanScanner::found, [&found](const ServerData& s) { found.append(s); });

        for (int round = 1; round <= 2; ++round) {
            scanner.scan();
            QTRY_VERIFY(server.hasPendingDatagrams());
            const QNetworkDatagram question = server.receiveDatagram();
            QCOMPARE(question.data(), QByteArray("CIN 3 N I"));
            const QString genuine =
                Codec::buildServerInfo("Beta 0.92", true, 2, 4, false, "Den game");
            QString forged = Codec::buildServerInfo("Beta 0.92", true, 2, 4, false, "Fake");
            forged[forged.size() - 1] = forged.back() == u'0' ? u'1' : u'0';
            now += 7;
            for (const QByteArray& answer :
                 {QByteArray("SIN 99 N trunc"), QByteArray("\xff\x00garbage", 9),
                  ConnectionMessage(MessageCode::SIN, forged).encode(),
                  ConnectionMessage(MessageCode::SIN, genuine).encode(),
                  ConnectionMessage(MessageCode::SIN, genuine).encode()}) {
                server.writeDatagram(answer, question.senderAddress(), question.senderPort());
            }
            QTRY_COMPARE(found.size(), round);
            QTest::qWait(50);  // the second copy has come and gone
            QCOMPARE(found.size(), round);
        }
        const ServerData& s = found.last();
        QCOMPARE((QStringList{s.name(), s.address()}), (QStringList{"Den game", "127.0.0.1"}));
        QCOMPARE((QList{s.port(), s.ping(), s.players(), int(scanner.lastRoundBytes())}),
                 (QList{int(server.localPort()), 7, 2, 9}));
        QVERIFY(s.isLan() && s.ranked() && !s.hasPassword());
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "test_connection.moc"
