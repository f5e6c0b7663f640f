// The real programs together on 127.0.0.1: dedicated servers announce to the master server, a
// client fetches the list through the same connection code the game uses and probes every listed
// server; servers that go quiet or sign off leave the list; a bot joins an unlisted game by code.
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <memory>
#include <vector>

#include "network/payloadcodec.h"
#include "tests/network/nettestsupport.h"

using nettest::kLocal;

// Announcements carry the time to the second: only one a second refreshes.
constexpr int kSweepMs = 1200;
constexpr int kHeartbeatMs = 250;

// The master's list as seen from a fresh source address, so the per-address allowance of earlier
// requests does not matter.
static QStringList listFrom(int masterPort) {
    static int source = 1;
    nettest::RawPeer peer(QHostAddress(QStringLiteral("127.0.9.%1").arg(source++ % 250 + 1)));
    peer.send(ConnectionMessage(MessageCode::CLS, "L"), masterPort);
    return QTest::qWaitFor([&] { return peer.count("MLS") > 0; }, 3000)
               ? PayloadCodec::parseServerList(peer.ofType("MLS").first().content)
               : QStringList{"no answer"};
}

class TestMasterEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<QProcess> master_;
    int masterPort_ = -1;
    QString masterLog_;
    std::vector<std::unique_ptr<QProcess>> servers_;
    QList<int> serverPorts_;

    int startServer(const QStringList& extra) {
        int port = -1;
        const QStringList args = QStringLiteral("--port 0 --heartbeat-ms %1 --master-config")
                                     .arg(kHeartbeatMs)
                                     .split(' ')
                                 << nettest::writeMasterFile(dir_, masterPort_)
                                 << QStringLiteral("--state-dir") << dir_.path();
        servers_.push_back(nettest::launch(QStringLiteral(QUADRELL_SERVER_PROGRAM), args + extra,
                                           QRegularExpression("listening on port (\\d+)"), port));
        serverPorts_.append(port);
        return port;
    }
    QString entry(int port) const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    // Waits for a line of the master's log about server number `server`.
    bool masterLogged(const QString& format, int server) {
        const QString line = format.arg(entry(serverPorts_[server]));
        return QTest::qWaitFor([&] {
            masterLog_ += QString::fromUtf8(master_->readAllStandardOutput());
            return masterLog_.contains(line);
        });
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        master_ = nettest::launch(
            QStringLiteral(QUADRELL_MASTER_PROGRAM),
            QStringLiteral("--bind 127.0.0.1 --port 0 --rate-limit 1000 --sweep-ms %1")
                .arg(kSweepMs)
                .split(' '),
            QRegularExpression("listening on 127.0.0.1:(\\d+)"), masterPort_);
        QVERIFY(masterPort_ > 0);
        QVERIFY(startServer({"--name", "Morning Room  Two", "--ranked"}) > 0);
        QVERIFY(startServer(QStringLiteral("--password secret --max-players 2").split(' ')) > 0);
        QVERIFY(startServer({}) > 0 && startServer({}) > 0);
    }

    void cleanupTestCase() {
        for (auto& p : servers_) {
            p->kill();
            p->waitForFinished();
        }
        master_->kill();
        master_->waitForFinished();
    }

    void listedServersAreProbedAndLeave() {
        QTRY_COMPARE_WITH_TIMEOUT(listFrom(masterPort_).size(), 4, 5000);
        QVERIFY(masterLogged("registered %1 (Beta 0.92, ranked)", 0));
        QVERIFY(masterLogged("registered %1 (Beta 0.92, unranked)", 1));

        const auto client = nettest::masterLink();
        std::vector<ServerData> found;
        connect(client.get(), &MasterConnection::changedCNewServer, this,
                [&](int, const ServerData& s) { found.push_back(s); });
        client->connectToHost(kLocal, masterPort_);
        client->requestServerlist(true);
        QTRY_VERIFY_WITH_TIMEOUT(found.size() == 4, 10000);
        for (const auto& s : found) {
            QVERIFY(s.isCurrentVersion());
            QCOMPARE(s.address(), "127.0.0.1");
            QCOMPARE(s.players(), 0);
            QVERIFY(s.ping() >= 0 && s.ping() < 5000 && serverPorts_.contains(s.port()));
            const int i = static_cast<int>(serverPorts_.indexOf(s.port()));
            QCOMPARE(s.name(), i == 0 ? "Morning Room Two" : "Quadrell server");
            QCOMPARE(s.ranked(), i == 0);
            QCOMPARE(s.hasPassword(), i == 1);
            QCOMPARE(s.maxPlayers(), i == 1 ? 2 : 4);
        }

        // A quiet server expires, one that signs off leaves at once.
        servers_[3]->kill();  // no sign-off: only expiry removes it
        QVERIFY(servers_[3]->waitForFinished());
        QTRY_VERIFY_WITH_TIMEOUT(!listFrom(masterPort_).contains(entry(serverPorts_[3])),
                                 6 * kSweepMs + 2000);
        QVERIFY(listFrom(masterPort_).contains(entry(serverPorts_[2])));  // still announcing

        servers_[2]->terminate();  // signs off
        QVERIFY(servers_[2]->waitForFinished());
        QCOMPARE(servers_[2]->exitCode(), 0);
        const QStringList after = listFrom(masterPort_);
        QVERIFY(!after.contains(entry(serverPorts_[2])));
        QVERIFY(after.contains(entry(serverPorts_[0])));
        QVERIFY(masterLogged("removed %1 (no announcement)", 3));
        QVERIFY(masterLogged("removed %1 (signed off)", 2));
    }

    void anInviteOnlyGameIsJoinedByItsCode() {
        // Off the list, found reachable by the master server, joined by its code.
        const QString masterFile = nettest::writeMasterFile(dir_, masterPort_);
        servers_.push_back(std::make_unique<QProcess>());
        servers_.back()->start(QStringLiteral(QUADRELL_SERVER_PROGRAM),
                               {"--port", "0", "--invite-only", "--master-config", masterFile,
                                "--state-dir", dir_.path()});
        const QRegularExpression reached(
            "listening on port (\\d+)\n.*invite code: (\\S+)\n.*reachable directly at "
            "127\\.0\\.0\\.1:\\1 ",
            QRegularExpression::DotMatchesEverythingOption);
        QString out;
        QVERIFY(QTest::qWaitFor(
            [&] {
                out += QString::fromUtf8(servers_.back()->readAllStandardOutput());
                return reached.match(out).hasMatch();
            },
            15000));
        const int port = reached.match(out).captured(1).toInt();
        QVERIFY(!listFrom(masterPort_).contains(entry(port)));
        QProcess bot;
        bot.start(QStringLiteral(QUADRELL_BOT_PROGRAM),
                  {"--connect", reached.match(out).captured(2), "--master-config", masterFile,
                   "--columns", "1"});
        QVERIFY(bot.waitForFinished(60000));
        QCOMPARE(bot.exitCode(), 0);
        QVERIFY(bot.readAllStandardOutput().startsWith("game 1: score"));
    }
};

QTEST_GUILESS_MAIN(TestMasterEndToEnd)
#include "test_master_e2e.moc"
