// The game server on real sockets on 127.0.0.1, played by clients made of
// the real client-side connections: a game from its start to the last
// leaver, computers on the wire, hellos refused and heard, ports that
// cannot be had, the server thread and the tick figures.
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

namespace {

using enum GamePlayer::PlayerStatus;

struct Game {
    explicit Game(int computers = 0, int maxPlayers = 4) {
        ServerHostOptions o;
        o.settings.computers = computers;
        o.settings.maxPlayers = maxPlayers;
        o.settings.port = 0;
        o.address = QHostAddress::LocalHost;
        o.networkTimings = nettest::fastTimings();
        o.networkTimings.handshakeTimeoutMs = 60000;  // a refusal, not the time-out, ends a hello
        o.serverTimings = {.tickMs = 20, .countdownMs = 20, .heartbeatMs = 30};
        o.masterConfig = nettest::writeMasterFile(dir, -1);  // no master server
        o.dedicated = true;
        host = std::make_unique<ServerHost>(o);
        if (!host->listen() || !host->start(random)) {
            qFatal("the game server did not start: %s", qPrintable(host->errorString()));
        }
    }

    TestClient& add(int players = 1) {
        TestClient& c = *clients.emplace_back(std::make_unique<TestClient>());
        c.join(host->port(), players);
        if (!QTest::qWaitFor([&] { return c.joined(); })) {
            qFatal("a client could not join");
        }
        return c;
    }
    GameSimulation& sim() { return host->server()->simulation(); }
    QTemporaryDir dir;
    RandomSource random{11};
    std::unique_ptr<ServerHost> host;
    std::vector<std::unique_ptr<TestClient>> clients;
};

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
        TestClient& pair = g.add(2);
        TestClient& solo = g.add();
        QVERIFY(pair.tcpHost && pair.udpHost);  // no key counts on a dedicated server
        QVERIFY(!solo.tcpHost && !solo.udpHost);
        pair.players({"A", "B"}, Waiting);
        solo.players({"C"}, Waiting);
        // Lists reach the clients in any order: a Ready list sent before both
        // see three players could start a game without the others.
        QTRY_VERIFY(pair.status.count(Empty) == 1 && solo.status.count(Empty) == 1);
        pair.players({"A", "B"}, Ready);
        solo.players({"C"}, Ready);
        for (TestClient* c : {&pair, &solo}) {
            QTRY_COMPARE(c->countdown, QList<int>({3, 2, 1, 0}));
        }
        QTRY_VERIFY(g.sim().tickCount() > 0);

        pair.tcp->sendCPause(true);  // pauses both players of the pair
        QTRY_COMPARE(solo.pauses, QList<QList<int>>({{0, -1}}));
        QCOMPARE(solo.status, QList<int>({Pausing, Pausing, Playing, Empty}));
        pair.tcp->sendCPause(true);
        QTRY_COMPARE(solo.pauses.size(), 5);

        solo.press(4);
        QTRY_COMPARE(pair.merges, 1);
        TestClient& late = g.add();
        late.players({"L"}, Waiting);
        QTRY_COMPARE(late.snapshots.size(), 2);  // over the stream and the datagrams
        const PayloadCodec::GameState& s = late.snapshots.first();
        QCOMPARE(s.fieldsizeX, 36);
        QCOMPARE(s.field, FieldImage::pack(*g.sim().field().fieldBlock(), 36));

        pair.leave();
        QTRY_COMPARE(late.left, QList<int>({pair.clientId}));
        solo.leave();
        QTRY_COMPARE(late.restarts, QList<int>({-1}));
        QTRY_COMPARE(late.status, QList<int>({Empty, Empty, Empty, Waiting}));
        QCOMPARE(late.shutdowns, 0);

        // A refused stream is closed by the server, whatever its peer does; a
        // datagram hello for a joining client's id (the new host's: the old
        // one left) is heard from the host of its stream only.
        QTcpSocket stranger;
        stranger.connectToHost(nettest::kLocal, static_cast<quint16>(g.host->port()));
        QVERIFY(stranger.waitForConnected(2000));
        stranger.write(ConnectionMessage("CHI", "-1 3 -1 ").encode());  // three players
        QTRY_COMPARE(stranger.state(), QAbstractSocket::UnconnectedState);

        const auto streamOnly = nettest::clientStream();
        QSignalSpy joined(streamOnly.get(), &ConnectionInterface::connectionEstablished);
        streamOnly->connectWithHello(nettest::kLocal, g.host->port(), 1, -1, QString(), -1);
        QTRY_COMPARE(joined.size(), 1);
        const ConnectionMessage hello("CHI", "0 1 -1 ");
        nettest::RawPeer elsewhere(QHostAddress("127.0.0.2"));
        elsewhere.send(hello, g.host->port());
        QTRY_COMPARE(elsewhere.ofType("SHI").value(0).content, QString("-2 F"));
        nettest::RawPeer local;
        local.send(hello, g.host->port());
        QTRY_COMPARE(local.ofType("SHI").value(0).content, QString("0 T"));
    }

    // A computer seated from the start is an ordinary player on the wire: a
    // place in the player list under an id no client is given, a ping of its
    // own, and a player counted by probes.
    void computersHoldPlacesLikePlayers() {
        Game g(1, 2);
        TestClient& ann = g.add();
        ann.players({"Ann"}, Waiting);
        QTRY_COMPARE(ann.names.value(1), "Ann");
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

    // The servers of a machine, singleplayer ones aside, hear the LAN question on the shared
    // discovery port and answer from their game ports; nothing else is heard there.
    void serversOfOneMachineAnswerOnTheDiscoveryPort() {
        QTemporaryDir dir;
        ServerHostOptions o;
        o.masterConfig = nettest::writeMasterFile(dir, -1);
        o.discoveryPort = nettest::freePort();
        std::vector<std::unique_ptr<ServerHost>> hosts;
        QMap<int, QByteArray> expected, answers;  // what came from each port
        for (bool singleplayer : {false, true, false}) {
            o.settings = {.name = "Room", .port = 0, .singleplayer = singleplayer, .password = {}};
            ServerHost& host = *hosts.emplace_back(std::make_unique<ServerHost>(o));
            QVERIFY(host.listen() && host.start());
            expected[host.port()] = "SIN";
        }
        expected.remove(hosts[1]->port());
        QUdpSocket asker;
        connect(&asker, &QUdpSocket::readyRead, [&] {
            const QNetworkDatagram d = asker.receiveDatagram();
            answers[d.senderPort()] += d.data().left(3);
        });
        for (auto m : {ConnectionMessage("CHI", "-1 1 -1 "), ConnectionMessage("CIN", "I")}) {
            asker.writeDatagram(m.encode(), QHostAddress("127.255.255.255"), o.discoveryPort);
        }
        QTRY_COMPARE(answers, expected);
        QTest::qWait(50);  // nothing else comes
        QCOMPARE(answers, expected);
    }

    // A port in use: the host says so and leaves nothing open; the server
    // thread says so too and ends by itself.
    void portsThatCannotBeHadAndTheServerThread() {
        QTcpServer streamTaken;
        QVERIFY(streamTaken.listen(QHostAddress::LocalHost, 0));
        QUdpSocket datagramTaken;
        QVERIFY(datagramTaken.bind(QHostAddress::LocalHost, 0));
        for (int port : {int(streamTaken.serverPort()), int(datagramTaken.localPort())}) {
            ServerHostOptions o;
            o.address = QHostAddress::LocalHost;
            o.settings.port = port;
            ServerHost host(o);
            QVERIFY(!host.listen() && host.errorString().contains(QString::number(port)));
            QCOMPARE(host.port(), -1);
            QCOMPARE(host.start(), nullptr);
        }
        QTcpServer again;
        QVERIFY(again.listen(QHostAddress::LocalHost, datagramTaken.localPort()));
        ThreadServer refused({.name = {}, .port = streamTaken.serverPort(), .password = {}});
        refused.setAddress(QHostAddress::LocalHost);
        refused.start();
        QCOMPARE(refused.waitForListening(5000), -1);
        QVERIFY(refused.wait(5000) && !refused.errorString().isEmpty());

        // Stopped with its server still there (a host that leaves first ends the
        // server itself: the client's own hosting shows that).
        QTemporaryDir dir;
        nettest::RawPeer master;
        nettest::writeMasterFile(dir, master.port());
        auto thread = std::make_unique<ThreadServer>(
            ServerSettings{.name = "Room", .port = 0, .hostKey = 90210, .password = {}});
        thread->setTimings(nettest::fastTimings(), {.tickMs = 20, .heartbeatMs = 30});
        thread->setAddress(QHostAddress::LocalHost);
        thread->setDirectory(dir.path());
        thread->start();
        QVERIFY(thread->waitForListening(5000) > 0);
        QTRY_VERIFY(master.count("SON") > 0);
        thread->exit(0);
        QVERIFY(thread->wait(5000));
        thread->addComputer();  // to nobody
        thread.reset();
        QTRY_COMPARE(master.count("SOF"), 1);
    }

    void tickMonitorFigures() {
        qint64 now = 0;
        TickMonitor m([&] { return now; });
        // Ticks 20, 22 and 18 ms apart, a pause, two more 20 ms apart.
        for (qint64 start : {0, 20, 42, 60, 1000, 1020}) {
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
