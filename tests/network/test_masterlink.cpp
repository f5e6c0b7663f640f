// The master server exchange and probes of game servers against hand-driven
// UDP peers and a real server; the settings file naming the master server;
// the question to the local networks, answered by a stand-in on 127.0.0.1.
#include <QNetworkDatagram>

#include "connectionrooms.h"
#include "game/appinfo.h"
#include "network/lanscanner.h"
#include "network/masterlink.h"
#include "network/masterserversettings.h"
#include "network/payloadcodec.h"

using namespace nettest;
namespace Codec = PayloadCodec;
using Result = MasterserverResult;

namespace {

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

QString genuineInfo(const QString& name) {
    return Codec::buildServerInfo(kVersion, false, 1, 4, false, name);
}

}  // namespace

class TestMasterlink : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void masterTestAndAnnouncements() {
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
        // own answer does.
        connection->sendServerOnline(true, 27403);
        QTRY_VERIFY(master.count("SON") >= 1);
        master.answer(ConnectionMessage("MTS", "T"));
        QTRY_VERIFY(master.count("SON") >= 3);
        QVERIFY(master.count("CTS") <= tests + 1);  // one may have been on its way
        QCOMPARE(online.count(), 1);
        QCOMPARE(master.ofType("SON").first().number, -1);
        master.answer(ConnectionMessage("MON", "x"));
        QTRY_VERIFY(!connection->core().find(0)->awaitingAnswer);
        const int announcements = master.count("SON");
        QCOMPARE(errors.count(), 0);

        // Unanswered: 7 sends, then the connection is lost; a late answer to
        // the announcement is no answer to the goodbye.
        connection->sendServerOffline(true, 27403);
        QTRY_VERIFY(master.count("SOF") >= 1);
        master.answer(ConnectionMessage("MON", "x"));
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(master.count("SOF"), 7);
        QCOMPARE(master.count("SON"), announcements);
        QCOMPARE(errors.first(),
                 QVariantList({-1, QVariant::fromValue(ConnectionInterface::ConnectionLost)}));
        QVERIFY(connection->core().pendingIds().isEmpty());

        // Its own answer ends the goodbye's repeats.
        connection->connectToHost(kLocal, master.port());
        QCOMPARE(connection->core().pendingIds().size(), 1);
        const int again = connection->core().pendingIds()[0];
        connection->sendServerOffline(true, 27403);
        QTRY_VERIFY(master.count("SOF") >= 8);
        master.answer(ConnectionMessage("MOF", "x"));
        const auto answered = [&] {
            const ConnectionInfo* record = connection->core().find(again);
            return record != nullptr && !record->awaitingAnswer;
        };
        QTRY_VERIFY(answered());
    }

    void serverListIsProbedThreeAtATime() {
        RawPeer master;
        std::array<RawPeer, 5> game;
        auto connection = masterLink();
        QSignalSpy found(connection.get(), &MasterConnection::changedCNewServer);
        QSignalSpy results(connection.get(), &MasterConnection::masterserverResult);
        connection->connectToHost(kLocal, master.port());
        connection->requestServerlist(true);
        QTRY_VERIFY(master.count("CLS") >= 1);
        QStringList entries;
        for (const RawPeer& peer : game) {
            entries << QString("127.0.0.1:%1").arg(peer.port());
        }
        master.answer(ConnectionMessage("MLS", entries.join(' ')));
        QTRY_VERIFY(game[2].count("CIN") >= 1);
        QVERIFY(game[0].count("CIN") >= 1);
        QVERIFY(game[1].count("CIN") >= 1);
        QCOMPARE(game[3].count("CIN") + game[4].count("CIN"), 0);
        QCOMPARE(resultsOf(results), QList<Result>({Result::MasterListReceived}));
        QCOMPARE(connection->core().queryIds().size(), 3);

        // An answer ends a probe and starts the next entry.
        game[0].answer(ConnectionMessage("SIN", genuineInfo("Big  room one")));
        QTRY_VERIFY(game[3].count("CIN") >= 1);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().first(), -1);
        QCOMPARE(serverAt(found, 0).name(), QString("Big  room one"));

        // Genuine, yet claiming more slots than a game has: held to the game's.
        game[1].answer(ConnectionMessage(
            "SIN", Codec::buildServerInfo(kVersion, false, 2147483647, 2147483647, false, "Two")));
        QTRY_VERIFY(game[4].count("CIN") >= 1);
        QCOMPARE(serverAt(found, 1).maxPlayers(), 4);
        QCOMPARE(serverAt(found, 1).players(), 4);
        // The list is empty now, but three probes still run: not done yet.
        QCOMPARE(resultsOf(results).size(), 1);

        // A description made with another secret is ignored; that probe and the
        // silent one run out. Every probe that ends on an empty list is "done".
        const QString forged = "Beta 0.92 F 1 4 F Fake " + Codec::sha1Hex("Beta 0.92F14FFakeother");
        game[3].answer(ConnectionMessage("SIN", forged));
        game[4].answer(ConnectionMessage("SIN", genuineInfo("Five")));
        QTRY_VERIFY(connection->core().queryIds().isEmpty());
        QTRY_COMPARE(resultsOf(results),
                     QList<Result>({Result::MasterListReceived, Result::MasterListDone,
                                    Result::MasterListDone, Result::MasterListDone}));
        QCOMPARE(found.size(), 3);
        QCOMPARE(game[2].count("CIN"), 7);
        QCOMPARE(game[3].count("CIN"), 7);

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
        QVERIFY(!s.isSet());
        QCOMPARE(s.port, 27404);
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
        QCOMPARE(probeErrors.count(), 0);
        QVERIFY(connection->core().pendingIds().isEmpty());
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
                PayloadCodec::buildServerInfo("Beta 0.92", true, 2, 4, false, "Den game");
            QString forged = PayloadCodec::buildServerInfo("Beta 0.92", true, 2, 4, false, "Fake");
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
        QCOMPARE(s.name(), "Den game");
        QCOMPARE(s.address(), "127.0.0.1");
        QCOMPARE(s.port(), int(server.localPort()));
        QCOMPARE(s.ping(), 7);
        QVERIFY(s.isLan() && s.ranked() && !s.hasPassword());
        QCOMPARE(s.players(), 2);
        QCOMPARE(scanner.lastRoundBytes(), 9);
    }
};

QTEST_GUILESS_MAIN(TestMasterlink)
#include "test_masterlink.moc"
