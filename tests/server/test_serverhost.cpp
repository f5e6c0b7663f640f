// The game server on real sockets on 127.0.0.1, played by clients made of
// the real client-side connections: a game from its start to the last
// leaver, computers on the wire, strangers, ports that cannot be had, the
// router's port, the server thread and the tick figures.
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>

#include "network/fieldimage.h"
#include "server/server.h"
#include "server/serverhost.h"
#include "server/threadserver.h"
#include "server/tickmonitor.h"
#include "testclient.h"
#include "tests/support/fakeportmapmethod.h"

namespace {

using Status = GamePlayer::PlayerStatus;
using enum GamePlayer::PlayerStatus;
constexpr int kKey = 90210;

ServerTimings fastServerTimings(int countdownMs = 20, int tickMs = 20) {
    ServerTimings t;
    t.countdownMs = countdownMs;
    t.tickMs = tickMs;
    t.heartbeatMs = 30;
    return t;
}

struct Game {
    explicit Game(const ServerTimings& timings = fastServerTimings(),
                  const QString& password = QString(), int computers = 0, int maxPlayers = 4)
        : password(password) {
        ServerHostOptions o;
        o.settings.computers = computers;
        o.settings.maxPlayers = maxPlayers;
        o.settings.port = 0;
        o.settings.hostKey = kKey;
        o.settings.usePassword = !password.isEmpty();
        o.settings.password = password;
        o.address = QHostAddress::LocalHost;
        o.networkTimings = nettest::fastTimings();
        o.serverTimings = timings;
        o.masterConfig = nettest::writeMasterFile(dir, -1);  // no master server
        o.dedicated = true;
        host = std::make_unique<ServerHost>(o);
        if (!host->listen() || !host->start(random)) {
            qFatal("the game server did not start: %s", qPrintable(host->errorString()));
        }
    }

    TestClient& add(int key = -1, int players = 1) {
        clients.push_back(std::make_unique<TestClient>());
        TestClient& c = *clients.back();
        c.join(host->port(), key, players, password);
        if (!QTest::qWaitFor([&] { return c.joined(); })) {
            qFatal("a client could not join");
        }
        return c;
    }
    // Waits until every client sees n players. Player lists of different
    // clients arrive in any order: a Ready list sent before then could start
    // a game without the others.
    void waitForPlayers(int n) {
        const bool seen = QTest::qWaitFor([&] {
            for (const auto& c : clients) {
                if (c->status.size() != 4 || 4 - c->status.count(Empty) != n) {
                    return false;
                }
            }
            return true;
        });
        if (!seen) {
            qFatal("the players never all arrived");
        }
    }
    // Joins n single players, the first with the host key, and makes them ready.
    void readyPlayers(int n) {
        for (int i = 0; i < n; ++i) {
            add(i == 0 ? kKey : -1).players({QStringLiteral("P%1").arg(i)}, Status::Waiting);
        }
        waitForPlayers(n);
        for (int i = 0; i < n; ++i) {
            clients[i]->players({QStringLiteral("P%1").arg(i)}, Status::Ready);
        }
    }
    GameSimulation& sim() { return host->server()->simulation(); }
    ConnectionCore& stream() {
        for (NetServerConnection* c : host->server()->findChildren<NetServerConnection*>()) {
            if (c->core().transport().isStream()) {
                return c->core();
            }
        }
        qFatal("the server has no stream side");
    }

    QString password;
    QTemporaryDir dir;
    RandomSource random{11};
    std::unique_ptr<ServerHost> host;
    std::vector<std::unique_ptr<TestClient>> clients;
};

// A stream from elsewhere to the game port, saying bytes.
struct Stranger {
    Stranger(int port, const QByteArray& bytes) {
        socket.connectToHost(nettest::kLocal, static_cast<quint16>(port));
        if (!socket.waitForConnected(2000)) {
            qFatal("a stranger could not connect");
        }
        socket.write(bytes);
    }
    bool closedByServer() const { return socket.state() == QAbstractSocket::UnconnectedState; }
    QTcpSocket socket;
};

// Each client is still connected, without errors, and its block still moves
// when it presses a key.
void stillPlaying(const std::vector<std::unique_ptr<TestClient>>& clients) {
    for (const auto& c : clients) {
        const int moves = c->moves;
        c->press(1);
        QTRY_VERIFY(c->moves > moves);
        QVERIFY(c->joined());
        QCOMPARE(c->errors, QList<ConnectionInterface::ConnectionError>());
        QCOMPARE(c->left, QList<int>());
    }
}

}  // namespace

class TestServerHost : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // One game on a dedicated host (the first client is host, and the game
    // outlives it): a splitscreen pair and a single player start by themselves,
    // pause and resume, a late joiner sees the field, and the last playing
    // connection to leave stops the game.
    void gameFromStartToTheLastLeaver() {
        Game g;
        TestClient& pair = g.add(-1, 2);
        TestClient& solo = g.add();
        QVERIFY(pair.tcpHost && pair.udpHost);  // no key counts on a dedicated server
        QVERIFY(!solo.tcpHost && !solo.udpHost);
        pair.players({"A", "B"}, Status::Waiting);
        solo.players({"C"}, Status::Waiting);
        g.waitForPlayers(3);
        pair.players({"A", "B"}, Status::Ready);
        solo.players({"C"}, Status::Ready);
        for (TestClient* c : {&pair, &solo}) {
            QTRY_COMPARE(c->countdown, QList<int>({3, 2, 1, 0}));
            QCOMPARE(c->fieldWidth, 36);
            QCOMPARE(c->status, TestClient::statuses({Playing, Playing, Playing, Empty}));
        }
        // The field block, then current and next block of each player.
        QCOMPARE(solo.newBlocks.size(), 7);
        for (int j = 0; j < 3; ++j) {
            QCOMPARE(solo.newBlocks[1 + 2 * j].x, (4 + 12 * j) * 50);
            QCOMPARE(solo.newBlocks[1 + 2 * j].y, 25 * 50);
        }
        QTRY_VERIFY(g.sim().tickCount() > 0);

        pair.tcp->sendCPause(true);  // pauses both players of the pair
        QTRY_COMPARE(solo.pauses, QList<QList<int>>({{0, -1}}));
        QCOMPARE(solo.status, TestClient::statuses({Pausing, Pausing, Playing, Empty}));
        pair.tcp->sendCPause(true);
        QTRY_COMPARE(solo.pauses.size(), 5);
        QTRY_VERIFY(!g.sim().paused());

        solo.press(4);
        QTRY_COMPARE(pair.merges, 1);
        TestClient& late = g.add();
        late.players({"L"}, Status::Waiting);
        QTRY_COMPARE(late.snapshots.size(), 2);  // over the stream and the datagrams
        const TestClient::Snapshot& s = late.snapshots.first();
        QCOMPARE(s.fieldsizeX, 36);
        QCOMPARE(s.field, FieldImage::pack(*g.sim().field().fieldBlock(), 36));
        QCOMPARE(s.blocks.size(), 6);
        QCOMPARE(late.status, TestClient::statuses({Playing, Playing, Playing, Spectating}));

        pair.leave();
        QTRY_COMPARE(late.left, QList<int>({pair.clientId}));
        QVERIFY(g.sim().running());
        solo.leave();
        QTRY_COMPARE(late.restarts, QList<int>({-1}));
        QTRY_COMPARE(late.status, TestClient::statuses({Empty, Empty, Empty, Waiting}));
        QCOMPARE(late.shutdowns, 0);
    }

    // A computer seated from the start is an ordinary player on the wire: a
    // place in the player list under an id no client is given, a ping of its
    // own, and a player counted by probes.
    void computersHoldPlacesLikePlayers() {
        Game g(fastServerTimings(), QString(), 1, 2);
        TestClient& ann = g.add();
        ann.players({"Ann"}, Status::Waiting);
        QTRY_COMPARE(ann.names.value(1), "Ann");
        QCOMPARE(ann.names.value(0), "CPU_1");
        QCOMPARE(ann.connIds.mid(0, 2), QList<int>({0, 1}));
        QCOMPARE(ann.clientId, 1);
        QTRY_COMPARE(ann.pings.value(0, -1), 5);

        const auto probe = nettest::masterLink();
        QList<ServerData> found;
        connect(probe.get(), &MasterConnection::changedCNewServer, this,
                [&found](int, ServerData server) { found << server; });
        probe->queryServer(nettest::kLocal, g.host->port());
        QTRY_COMPARE(found.size(), 1);
        QCOMPARE(found[0].players(), 2);
        QVERIFY(found[0].isFull());
    }

    // Whatever a stream that never finished its hello does ends that stream
    // and nothing else; a joined peer that sends the server's own codes is
    // not heard either. Two players in a running game stay in it.
    void strangersLeaveAGameAlone() {
        Game g(fastServerTimings(20, 5), "secret");
        g.readyPlayers(2);
        QTRY_VERIFY(g.sim().tickCount() > 0);
        const QByteArray serverCodes = ConnectionMessage("SKCK", "2").encode() +
                                       ConnectionMessage("SSHD", "2").encode() +
                                       ConnectionMessage("SDSC", "2").encode();
        const auto hello = [](const char* password) {
            return ConnectionMessage("CHI", QStringLiteral("-1 1 -1 ") + password).encode();
        };
        struct Case {
            QByteArray bytes;
            bool serverEnds;  // else the stranger closes once it was heard
        };
        for (const Case& c :
             {Case{"", false}, Case{"HELLO 3 N P", true}, Case{"CMSG 99999999 N 0 x", true},
              Case{"CPNG 3", true}, Case{hello("wrong"), true},
              Case{hello("secret") + serverCodes, false}}) {
            Stranger stranger(g.host->port(), c.bytes);
            if (c.serverEnds) {
                QTRY_VERIFY(stranger.closedByServer());
            } else {
                QTRY_COMPARE(g.stream().pendingIds().size() + g.stream().establishedIds().size(),
                             3);
                QTRY_VERIFY(c.bytes.isEmpty() || stranger.socket.bytesAvailable() > 0);
                stranger.socket.disconnectFromHost();
            }
            QTRY_VERIFY(g.stream().pendingIds().isEmpty());
            QTRY_COMPARE(g.stream().establishedIds().size(), 2);
            stillPlaying(g.clients);
        }
        // A datagram hello for a joining client's id is heard from its host only.
        const auto streamOnly = nettest::clientStream();
        QSignalSpy joined(streamOnly.get(), &ConnectionInterface::connectionEstablished);
        streamOnly->connectWithHello(nettest::kLocal, g.host->port(), 1, -1, "secret", -1);
        QTRY_COMPARE(joined.size(), 1);
        const ConnectionMessage datagramHello("CHI", "2 1 -1 secret");
        nettest::RawPeer elsewhere(QHostAddress("127.0.0.2"));
        elsewhere.send(datagramHello, g.host->port());
        QTRY_COMPARE(elsewhere.ofType("SHI").value(0).content, QString("-2 F"));
        nettest::RawPeer local;
        local.send(datagramHello, g.host->port());
        QTRY_COMPARE(local.ofType("SHI").value(0).content, QString("2 F"));
        stillPlaying(g.clients);
    }

    void portsThatCannotBeHad() {
        QTcpServer streamTaken;
        QVERIFY(streamTaken.listen(QHostAddress::LocalHost, 0));
        QUdpSocket datagramTaken;
        QVERIFY(datagramTaken.bind(QHostAddress::LocalHost, 0));
        for (int port : {int(streamTaken.serverPort()), int(datagramTaken.localPort())}) {
            ServerHostOptions o;
            o.address = QHostAddress::LocalHost;
            o.settings.port = port;
            ServerHost host(o);
            QVERIFY(!host.listen());
            QVERIFY(host.errorString().contains(QString::number(port)));
            QCOMPARE(host.port(), -1);
            QCOMPARE(host.start(), nullptr);
        }
        // Nothing was left open by the failed attempts.
        QTcpServer again;
        QVERIFY(again.listen(QHostAddress::LocalHost, datagramTaken.localPort()));
    }

    void threadServerStopsCleanlyInEitherOrder() {
        QTemporaryDir dir;
        nettest::RawPeer master;
        nettest::writeMasterFile(dir, master.port());
        for (bool hostLeavesFirst : {false, true}) {
            const int goodbyes = master.count("SOF");
            const int announcements = master.count("SON");
            auto thread =
                std::make_unique<ThreadServer>("Room", 0, 4, false, false, kKey, false, QString());
            thread->setTimings(nettest::fastTimings(), fastServerTimings());
            thread->setAddress(QHostAddress::LocalHost);
            thread->setDirectory(dir.path());
            QSignalSpy listening(thread.get(), &ThreadServer::listening);
            thread->start();
            const int port = thread->waitForListening(5000);
            QVERIFY(port > 0);
            QTRY_COMPARE(listening.count(), 1);
            QCOMPARE(listening.first()[0].toInt(), port);

            // The master server hears the port actually taken.
            QTRY_VERIFY(master.count("SON") > announcements);
            QVERIFY(master.ofType("SON").last().content.contains(QStringLiteral(" %1 ").arg(port)));
            TestClient client;
            client.join(port, kKey);
            QTRY_VERIFY(client.joined());
            QVERIFY(client.tcpHost);
            client.players({"Ann"}, Status::Waiting);
            thread->addComputer();  // from this thread, as the host's program calls it
            QTRY_VERIFY(client.names.contains("CPU_1"));
            if (hostLeavesFirst) {
                client.leave();  // the server says "SSHD" and deletes itself
                QTRY_VERIFY(client.shutdowns > 0);
            }
            thread->exit(0);
            QVERIFY(thread->wait(5000));
            thread->addComputer();  // to nobody
            thread.reset();
            QTRY_COMPARE(master.count("SOF"), goodbyes + 1);
        }
        // A port in use: the thread says so and ends by itself.
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        ThreadServer refused(QString(), taken.serverPort(), 4, true, false, kKey, false, QString());
        refused.setAddress(QHostAddress::LocalHost);
        refused.start();
        QCOMPARE(refused.waitForListening(5000), -1);
        QVERIFY(refused.wait(5000));
        QVERIFY(!refused.errorString().isEmpty());
    }

    // The router's port is what the master server hears; it goes back to
    // the router when the server shuts down. (Listening on every address: a
    // loopback server asks no router. The router here is a fake; nothing
    // leaves the machine.)
    void routerForwardsThePort() {
        QTemporaryDir dir;
        nettest::RawPeer master;
        nettest::writeMasterFile(dir, master.port());
        auto log = std::make_shared<QStringList>();
        ServerHostOptions o;
        o.settings.port = 0;
        o.address = QHostAddress::AnyIPv4;
        o.networkTimings = nettest::fastTimings();
        o.serverTimings = fastServerTimings();
        o.masterConfig = dir.filePath("masterserver.ini");
        o.portMapMethods = {FakePortMapMethod::factory(
            "UPnP", FakePortMapMethod::grantAll(3600, QHostAddress("11.22.33.1"), 40000), log)};
        ServerHost host(o);
        QVERIFY(host.listen() && host.start());
        QTRY_COMPARE(host.portMapping().state, PortMapping::State::Open);
        QCOMPARE(host.portMapping().publicEndpoint(), "11.22.33.1:40000");
        QTRY_VERIFY(master.count("SON") > 0);
        for (const auto& m : master.ofType("SON")) {
            QVERIFY2(m.content.contains(" 40000 "), qPrintable(m.content));
        }
        QSignalSpy finished(&host, &ServerHost::finished);
        host.shutDown();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(log->mid(2), QStringList({"UPnP release TCP 40000", "UPnP release UDP 40000"}));
    }

    void tickMonitorFigures() {
        qint64 now = 0;
        TickMonitor m([&] { return now; });
        // Ticks 20, 22 and 18 ms apart, a pause, two more 20 ms apart.
        const qint64 starts[] = {0, 20, 42, 60, 1000, 1020};
        for (qint64 start : starts) {
            if (start == 1000) {
                m.interrupted();
            }
            now = start * 1000000;
            m.tickStarted();
            now += (start == 42 ? 900 : 100) * 1000;  // work: 100 us, once 900 us
            m.tickFinished();
        }
        QCOMPARE(m.ticks(), 6);
        const TickMonitor::Figures period = m.periodMilliseconds();
        QCOMPARE(period.count, std::size_t(4));  // the pause is no period
        QCOMPARE(period.median, 20.0);
        QCOMPARE(period.max, 22.0);
        QCOMPARE(m.jitterMilliseconds(20).p99, 2.0);
        QCOMPARE(m.workMicroseconds().median, 100.0);
        QCOMPARE(m.workMicroseconds().p99, 900.0);
        QCOMPARE(m.tickingSeconds(), 0.08);
        QCOMPARE(TickMonitor::figures({}).count, std::size_t(0));
    }
};

QTEST_GUILESS_MAIN(TestServerHost)
#include "test_serverhost.moc"
