// The real Client on 127.0.0.1 with its own server thread; every GUI signal a line of text.
#include <QTcpServer>
#include <QTest>

#include "clientharness.h"
#include "network/payloadcodec.h"
#include "tests/network/nettestsupport.h"
#include "tests/support/fakeportmapmethod.h"
#include "tests/support/localhosting.h"

namespace {

ClientNetwork fastNetwork() {
    ClientNetwork net;
    net.timings = nettest::fastTimings();
    return net;
}

// One player's program without its window.
struct Player : ClientRecorder {
    // setUp: changes to how the own server is hosted.
    explicit Player(const QString& name = QString(), const ClientNetwork& net = fastNetwork(),
                    const std::function<void(ThreadHosting&)>& setUp = {}) {
        if (QFile file(dir.filePath("settings.ini")); !name.isEmpty()) {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[Client]\nPlayer1\\Name=" + name.toUtf8());
        }
        Client::Environment env;
        env.directory = dir.path();
        ThreadHosting hosting = localHosting(net.timings, env.directory);
        if (setUp) {
            setUp(hosting);
        }
        client = std::make_unique<Client>(env, net, threadServerStarter(hosting));
        listen(client.get());
    }

    bool saw(const QString& line) const { return events.contains(line); }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(client->serverPort()); }
    QTemporaryDir dir;
    std::unique_ptr<Client> client;
};

}  // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A fifth of the datagrams lost each way through a lobby minute, every timing five times
    // faster.
    void lobbyThroughDatagramLoss() {
        constexpr int kFaster = 5;
        ClientNetwork net = fastNetwork();
        NetworkTimings& t = net.timings;
        for (int* ms : {&t.serverUdpPingMs, &t.serverTcpPingMs, &t.serverInactivityMs,
                        &t.clientInactivityMs, &t.keepAliveMs, &t.quietResendMs}) {
            *ms /= kFaster;
        }
        net.datagramLossPercent = 20;
        Player p("Ann", net);
        p.client->hostGame(localGame(0));
        QTRY_VERIFY(p.saw("base Lobby Press 'r' when you are ready."));
        QTest::qWait(60000 / kFaster);
        QCOMPARE(p.client->state(), int(GamePlayer::Waiting));
        QCOMPARE(p.eventsOf("error"), QStringList());
    }

    // The router's port reaches the host's lobby and the master server, and goes back when the
    // host leaves. (On every address: a loopback server asks none. The router is a fake.)
    void hostedGameHoldsTheRoutersPortUntilTheHostLeaves() {
        auto log = std::make_shared<QStringList>();
        const auto fromHome = [log](ThreadHosting& hosting) {
            hosting.listenAddress = QHostAddress(QHostAddress::AnyIPv4);
            hosting.portMapMethods = {FakePortMapMethod::factory(
                "UPnP", FakePortMapMethod::grantAll(3600, QHostAddress("11.22.33.1"), 40000), log)};
        };
        Player p("Ann", fastNetwork(), fromHome);
        nettest::RawPeer master;
        nettest::writeMasterFile(p.dir, master.port());
        p.client->hostGame(networkGame(0));
        QTRY_COMPARE(p.client->state(), int(GamePlayer::Waiting));
        QTRY_COMPARE(p.client->portMapping().state, PortMapping::State::Open);
        QCOMPARE(p.eventsOf("reach").last(), "reach Friends can join at 11.22.33.1:40000");
        QTRY_VERIFY(master.count("SON") > 0);
        QVERIFY(master.ofType("SON").last().content.contains(" 40000 "));
        p.client->endGame();  // the host leaves first: the server ends itself, then its thread
        QTRY_VERIFY(!p.client->hasServer());
        QCOMPARE(log->mid(2), (QStringList{"UPnP release TCP 40000", "UPnP release UDP 40000"}));
        QTRY_COMPARE(master.count("SOF"), 1);
        QCOMPARE(p.eventsOf("reach").last(), "reach ");

        // The router may answer before the owner asks to be told: the answer waits.
        log->clear();
        ThreadHosting hosting = localHosting(nettest::fastTimings(), p.dir.path());
        hosting.listenAddress = QHostAddress(QHostAddress::AnyIPv4);
        hosting.portMapMethods = {FakePortMapMethod::factory(
            "UPnP", FakePortMapMethod::grantAll(3600, QHostAddress(), 40001), log)};
        ServerSettings settings;
        settings.port = 0;
        QList<PortMapping> heard;  // outlives the server, which reports into it
        auto server = threadServerStarter(hosting)(settings);
        QVERIFY(server);
        QTRY_COMPARE(log->size(), 2);
        // Asked once the thread's report has crossed (load decides when, and
        // it may still say pending), it answers at once.
        QTRY_VERIFY([&] {
            heard.clear();
            server->reportPortMapping([&heard](const PortMapping& m) { heard.append(m); });
            return !heard.isEmpty() && heard.last().state == PortMapping::State::Open;
        }());
        QCOMPARE(heard.last().externalPort, 40001);
    }

    // Catches refused joins reaching a lobby, and kicks or shutdowns not reaching players.
    void refusalsJoiningKickingAndShutdown() {
        const auto refused = [](const QString& address, const char* why) {
            return QStringLiteral("error F The server '%1' %2").arg(address, why);
        };
        nettest::RawPeer old;
        Player ben("Ben");
        const QString oldAddress = QStringLiteral("127.0.0.1:%1").arg(old.port());
        ben.client->joinGame(false, oldAddress, false, QString());
        QTRY_VERIFY(old.count("CIN") > 0);
        old.answer(ConnectionMessage(
            "SIN", PayloadCodec::buildServerInfo("Beta 0.91", false, 1, 4, false, "Old")));
        QTRY_VERIFY(ben.saw(refused(oldAddress, "requires version 'Beta 0.91' of the game.")));
        nettest::RawPeer named;
        ben.client->joinGame(false, QStringLiteral("localhost:%1").arg(named.port()), false,
                             QString());
        QTRY_VERIFY(named.count("CIN") > 0);
        ben.client->abortAction();
        QTcpServer taken;
        QVERIFY(taken.listen(nettest::kLocal, 0));
        ben.events.clear();
        ben.client->hostGame(localGame(taken.serverPort()));
        QCOMPARE(ben.eventsOf("error"),
                 QStringList{"error F The connection could not be initialized."});
        QVERIFY(!ben.client->hasServer() && ben.client->state() == int(GamePlayer::Empty));

        Player host("Host");
        host.client->hostGame(networkGame(0, 2, "secret"));
        QTRY_VERIFY(host.saw("base Lobby Press 'r' when you are ready."));
        const QString address = host.address();

        Player ann("Ann");
        ann.client->joinGame(false, address, false, QString());
        QTRY_VERIFY(ann.saw("top PasswordMenu "));
        ann.client->joinGame(false, "USEOLDONE", false, "Pwrong");
        QTRY_VERIFY(ann.saw(refused(address, "did not accept your password.")));
        ann.client->joinGame(false, "USEOLDONE", false, "Psecret");
        QTRY_VERIFY(ann.saw("base Lobby Press 'r' when you are ready."));
        QTRY_VERIFY(host.saw("chat -3 Ann has joined the game."));

        ben.client->joinGame(false, address, false, "Psecret");
        QTRY_VERIFY(ben.saw(refused(address, "is already full.")));
        host.client->lobby().kickPlayer(ann.client->ownConnId());
        QTRY_VERIFY(ann.saw("error T You have been kicked by the server."));
        QTRY_VERIFY(host.saw("chat -4 Ann was kicked by the server."));
        ben.client->joinGame(false, address, false, "Psecret");
        QTRY_VERIFY(ben.saw("base Lobby Press 'r' when you are ready."));

        host.client->endGame();
        QTRY_VERIFY(host.saw("base MainMenu "));
        QVERIFY(!host.client->hasServer());
        QTRY_VERIFY(ben.saw("error T The server was shut down."));
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_endtoend.moc"
