// The client's connection and game state machine, driven through recording
// connections: hosting, joining, lobby, countdowns, pause, game over, leaving
// and every error text.
#include <QTest>

#include "client/highscorefile.h"
#include "clientharness.h"

namespace {

const QString kReady = QStringLiteral("Press 'r' when you are ready.");
const QString kBothReady = QStringLiteral("Press 'r' when both players are ready.");
const QString kNewGame = QStringLiteral("\n\nPress 'r' for a new game.");
const QString kMasterDown = QStringLiteral(
    "error F Starting server...\n\nThe masterserver could not be reached. Other players can "
    "only connect to you directly.");

QString base(GuiState state, const QString& text = QString()) {
    return QStringLiteral("base %1 %2").arg(int(state)).arg(text);
}

QStringList statusesSent(const FakeConnection& tcp) {
    QStringList out;
    for (const QVariantList& call : tcp.callsOf(QStringLiteral("sendCPlayers"))) {
        QStringList status;
        for (const QVariant& v : call.at(3).toList()) {
            status.append(v.toString());
        }
        out.append(status.join(QLatin1Char(',')));
    }
    return out;
}

}  // namespace

class TestClient : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hostingSingleplayerReachesLobbyStreamFirst() {
        ClientHarness h;
        h.client->hostGame(QStringLiteral("My game"), 27555, 1, true, false, true, false,
                           QStringLiteral("P"));
        QCOMPARE(h.servers->started.size(), std::size_t(1));
        const HostSettings& s = h.servers->started.front();
        QCOMPARE(s.name, QStringLiteral("My game"));
        QCOMPARE(s.port, 27555);
        QCOMPARE(s.maxPlayers, 1);
        QVERIFY(s.singleplayer);
        QVERIFY(s.stats);
        QVERIFY(!s.usePassword);
        QCOMPARE(s.password, QString());
        QVERIFY(s.hostKey >= 0);
        QCOMPARE(h.events, QStringList{base(GuiState::NoState, "Starting server...")});

        // Only the stream connection says hello first, with the host key.
        QCOMPARE(h.tcp->callsOf("connectWithHello"),
                 (QList<QVariantList>{{"127.0.0.1", 27555, 1, s.hostKey, "P", -1}}));
        QCOMPARE(h.udp->count("connectWithHello"), 0);
        QCOMPARE(h.client->state(), int(GamePlayer::Connecting));

        Q_EMIT h.tcp->connectionEstablished(2, true);
        QCOMPARE(h.udp->callsOf("connectWithHello"),
                 (QList<QVariantList>{{"127.0.0.1", 27555, 1, s.hostKey, "P", 2}}));
        QCOMPARE(h.client->state(), int(GamePlayer::Connecting));
        QCOMPARE(h.tcp->count("sendCPlayers"), 0);

        Q_EMIT h.udp->connectionEstablished(2, true);
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        QVERIFY(h.client->isHost());
        QCOMPARE(h.events.mid(1),
                 (QStringList{"resetGui T 1 F T F 2", base(GuiState::Lobby, kReady)}));
        QCOMPARE(h.tcp->callsOf("sendCPlayers"),
                 (QList<QVariantList>{{true, QStringList{"Player1", ""}, QVariantList{-1, -1},
                                       QVariantList{2, -1}}}));

        // Both flags set: a repeated report changes nothing.
        h.clearLog();
        Q_EMIT h.udp->connectionEstablished(3, false);
        Q_EMIT h.tcp->connectionEstablished(3, false);
        QVERIFY(h.events.isEmpty());
        QVERIFY(h.tcp->calls.isEmpty() && h.udp->calls.isEmpty());
        QCOMPARE(h.client->ownConnId(), 2);

        // A singleplayer game leaves the hosting defaults alone.
        QVERIFY(!h.readFile("settings.ini").contains("Server"));
    }

    void hostKeysAreDrawnFreshAndNeverMarkAJoiner() {
        QSet<int> keys;
        for (int i = 0; i < 64; ++i) {
            const int key = Client::drawHostKey();
            QVERIFY(key >= 0);
            keys.insert(key);
        }
        QVERIFY(keys.size() > 60);
    }

    void hostingANetworkGameChecksTheMasterServerFirst() {
        ClientHarness h(QString(), "[Master]\nGeneral\\Address=127.0.0.1\nGeneral\\Port=3001\n");
        h.client->hostGame(QStringLiteral("Open game"), 27403, 4, false, false, false, true,
                           QStringLiteral("Psecret word"));
        QCOMPARE(h.servers->started.front().password, QStringLiteral("Psecret word"));
        QVERIFY(h.servers->started.front().usePassword);
        QCOMPARE(h.master->callsOf("connectToHost"), (QList<QVariantList>{{"127.0.0.1", 3001}}));
        QCOMPARE(h.master->callsOf("sendMasterTest"), QList<QVariantList>{{true}});
        QCOMPARE(h.tcp->count("connectWithHello"), 0);

        // The hosting defaults are saved, the password without its marker.
        const QString ini = h.readFile("settings.ini");
        QVERIFY(ini.contains("General\\Name=Open game"));
        QVERIFY(ini.contains("General\\Password=secret word"));
        QVERIFY(ini.contains("General\\UsePassword=true"));
        QVERIFY(ini.contains("General\\Ranked=false"));

        Q_EMIT h.master->masterserverOnline(-1);
        QCOMPARE(h.tcp->callsOf("connectWithHello").size(), 1);
        QCOMPARE(h.tcp->last("connectWithHello").at(4), QVariant("Psecret word"));
        Q_EMIT h.master->masterserverOnline(-1);  // a late duplicate answer
        QCOMPARE(h.tcp->callsOf("connectWithHello").size(), 1);
        QVERIFY(h.eventsOf("error").isEmpty());

        // Quitting closes the master connection; the next check opens it again.
        h.client->endProgramm();
        QCOMPARE(h.master->callsOf("disconnectClient"), (QList<QVariantList>{{-1, true}}));
        h.client->hostGame("Again", 27403, 4, false, false, false, false, "P");
        QCOMPARE(h.master->count("connectToHost"), 2);
    }

    void unreachableMasterStillHostsTheGame() {
        ClientHarness h(QString(), "[Master]\nGeneral\\Address=127.0.0.1\n");
        h.client->hostGame("Open", 27403, 4, false, false, true, false, "P");
        Q_EMIT h.master->errorOccured(-1, ConnectionInterface::ConnectionLost);
        QCOMPARE(h.eventsOf("error"), QStringList{kMasterDown});
        QCOMPARE(h.tcp->count("connectWithHello"), 1);
        h.establish(0, true);
        QCOMPARE(h.events.last(), base(GuiState::Lobby, kReady));

        // Without any master address the same text comes at once.
        ClientHarness none;
        none.client->hostGame("Open", 27403, 4, false, false, true, false, "P");
        QCOMPARE(none.eventsOf("error"), QStringList{kMasterDown});
        QCOMPARE(none.master->calls.size(), 0);
        QCOMPARE(none.tcp->count("connectWithHello"), 1);
    }

    void readyTwiceSendsTwoListsAndEndsWaiting() {
        ClientHarness h;
        h.client->joinGame(false, "10.0.0.5", false, QString());
        h.answerProbe("Beta 0.92", "10.0.0.5", 27403);
        h.establish(1, false);
        h.client->setReady();
        QCOMPARE(h.client->state(), int(GamePlayer::Ready));
        h.client->setReady();
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        QCOMPARE(statusesSent(*h.tcp), (QStringList{"2,-1", "3,-1", "2,-1"}));

        // 's' needs no Ready in a network game; in singleplayer it readies first.
        h.client->setStart();
        QCOMPARE(h.tcp->count("sendCStart"), 1);
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        ClientHarness single;
        single.hostSingle();
        single.client->setStart();
        QCOMPARE(single.client->state(), int(GamePlayer::Ready));
        QCOMPARE(statusesSent(*single.tcp), (QStringList{"2,-1", "3,-1"}));
        QCOMPARE(single.tcp->count("sendCStart"), 1);
    }

    void lobbyTextFollowsThePlayerList_data() {
        QTest::addColumn<bool>("host");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<int>("otherStatus");
        QTest::addColumn<QString>("text");
        QTest::newRow("others waiting") << true << true << 2 << "Waiting for other players...";
        QTest::newRow("host, all ready")
            << true << true << 3
            << "Press 's' to start the game.\n\nPress 'r' if you are not ready anymore.";
        QTest::newRow("guest, all ready") << false << true << 3
                                          << "Waiting for the server to start the game...\n\n"
                                             "Press 'r' if you are not ready anymore.";
        QTest::newRow("not ready yet") << false << false << 3 << kReady;
    }

    void lobbyTextFollowsThePlayerList() {
        QFETCH(bool, host);
        QFETCH(bool, ready);
        QFETCH(int, otherStatus);
        QFETCH(QString, text);
        ClientHarness h;
        h.client->joinGame(false, "10.0.0.5", false, QString());
        h.answerProbe("Beta 0.92", "10.0.0.5", 27403);
        h.establish(1, host);
        if (ready) {
            h.client->setReady();
        }
        h.playerList({{0, "Ann", otherStatus}, {1, "Player1", ready ? 3 : 2}});
        QCOMPARE(h.events.last(), base(GuiState::Lobby, text));
    }

    void startCountdownLeadsToPlaying() {
        ClientHarness h;
        h.hostSingle();
        h.client->setReady();
        h.playerList({{0, "Player1", 4}});  // the server lists us as playing
        QCOMPARE(h.client->state(), int(GamePlayer::Playing));
        h.clearLog();
        for (int count : {3, 2, 1, 0}) {
            Q_EMIT h.udp->changedCGameStart(0, 24, count);
        }
        QCOMPARE(h.events,
                 (QStringList{"fieldsize 24", "resetGui F 1 F T F 0", base(GuiState::Game),
                              "countdown Starting in 3...", "countdown Starting in 2...",
                              "countdown Starting in 1...", "countdown ", "playtime start"}));
        QCOMPARE(h.client->state(), int(GamePlayer::Playing));

        // Input goes out unreliably only while connected.
        h.client->inputKeys({1, 0, 2, 0, 0, 0, 0, 0, 0, 0});
        QCOMPARE(h.udp->callsOf("sendCInput"),
                 (QList<QVariantList>{{false, QVariantList{1, 0, 2, 0, 0, 0, 0, 0, 0, 0}}}));
    }

    void readyAgainDuringTheCountdownAbortsTheStart() {
        ClientHarness h;
        h.hostSingle();
        h.client->setReady();
        h.playerList({{0, "Player1", 4}});
        Q_EMIT h.udp->changedCGameStart(0, 12, 3);
        h.client->setReady();  // 'r' during the start countdown
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        QCOMPARE(statusesSent(*h.tcp).last(), QStringLiteral("2,-1"));
        h.clearLog();
        Q_EMIT h.tcp->changedCGameRestart(-1);
        QCOMPARE(h.events, (QStringList{"playtime stop", "rotation T", "countdown ",
                                        base(GuiState::Lobby, "Start abortet." + kNewGame)}));
        // The next list keeps that text.
        h.playerList({{0, "Player1", 2}});
        QCOMPARE(h.events.last(), base(GuiState::Lobby, "Start abortet." + kNewGame));

        // A restart outside a countdown is the server's restart.
        h.client->setReady();
        h.playerList({{0, "Player1", 4}});
        for (int count : {3, 2, 1, 0}) {
            Q_EMIT h.udp->changedCGameStart(0, 12, count);
        }
        h.client->restartGame();
        QCOMPARE(h.tcp->callsOf("sendCRestart"), QList<QVariantList>{{true}});
        Q_EMIT h.tcp->changedCGameRestart(0);
        QCOMPARE(h.events.last(),
                 base(GuiState::Lobby, "Game restarted by the server." + kNewGame));
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        h.client->restartGame();  // only while playing or pausing
        QCOMPARE(h.tcp->count("sendCRestart"), 1);
    }

    void inGameMenuWhileReadyUnreadiesUntilClosed() {
        ClientHarness h;
        h.joinAndEstablish("10.0.0.5:4000", 1);
        h.client->setReady();
        h.client->setMenuOpen(true);
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        h.client->setMenuOpen(false);
        QCOMPARE(h.client->state(), int(GamePlayer::Ready));
        QCOMPARE(statusesSent(*h.tcp), (QStringList{"2,-1", "3,-1", "2,-1", "3,-1"}));
        // Opened while Waiting, it leaves the player Waiting after closing.
        h.client->setReady();
        h.client->setMenuOpen(true);
        h.client->setMenuOpen(false);
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        QCOMPARE(h.tcp->count("sendCPause"), 0);
    }

    void pauseAndResume() {
        ClientHarness h;
        h.hostSingle();
        h.client->setReady();
        h.playerList({{0, "Player1", 4}});
        for (int count : {3, 2, 1, 0}) {
            Q_EMIT h.udp->changedCGameStart(0, 12, count);
        }
        h.clearLog();
        h.client->setMenuOpen(true);
        QCOMPARE(h.tcp->callsOf("sendCPause"), QList<QVariantList>{{true}});
        Q_EMIT h.tcp->changedCPause(0, -1);
        QCOMPARE(h.client->state(), int(GamePlayer::Pausing));
        QCOMPARE(h.events,
                 (QStringList{base(GuiState::Game, "Game paused..."), "playtime pause T"}));
        h.client->setMenuOpen(false);
        QCOMPARE(h.tcp->count("sendCPause"), 2);
        h.clearLog();
        for (int count : {3, 2, 1, 0}) {
            Q_EMIT h.tcp->changedCPause(0, count);
        }
        QCOMPARE(h.events, (QStringList{base(GuiState::Game), "countdown Resuming in 3...",
                                        "countdown Resuming in 2...", "countdown Resuming in 1...",
                                        "countdown ", "playtime pause F"}));
        QCOMPARE(h.client->state(), int(GamePlayer::Playing));
        // Another connection's pause leaves our own status alone.
        Q_EMIT h.tcp->changedCPause(2, -1);
        QCOMPARE(h.client->state(), int(GamePlayer::Playing));
    }

    void gameOverAppendsAValidHighscore() {
        ClientHarness h;
        h.hostSingle();
        h.client->setReady();
        h.playerList({{0, "Player1", 4}});
        for (int count : {3, 2, 1, 0}) {
            Q_EMIT h.udp->changedCGameStart(0, 12, count);
        }
        h.clearLog();
        Q_EMIT h.tcp->changedCGameOver(120, 5, "00:01:40");
        QCOMPARE(
            h.events,
            (QStringList{"playtime stop", "rotation T", "score 120 F", "playtime text 00:01:40 F",
                         base(GuiState::Game, "GAME OVER (120 Point(s))" + kNewGame)}));
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));

        const QString line = h.readFile("highscore.dat");
        QVERIFY(
            line.startsWith("2011-03-05T18:04:11 120 5 00:01:40 1 Player1 Quadrell Beta 0.92 "));
        QVERIFY(line.endsWith("\r\n"));
        const HighscoreFile::Lists lists = h.client->highscores().read();
        QCOMPARE(lists[0].size(), std::size_t(1));
        QCOMPARE(lists[0].front()->score(), 120);
        QCOMPARE(lists[0].front()->playerNames(), QStringLiteral("Player1"));

        // The next list shows the result in the lobby.
        h.playerList({{0, "Player1", 2}});
        QCOMPARE(h.events.last(), base(GuiState::Lobby, "GAME OVER (120 Point(s))" + kNewGame));
    }

    void splitscreenWritesBothNamesAndSpectatorsNothing() {
        ClientHarness h("[Client]\nPlayer1\\Name=Ann\nPlayer2\\Name=Ben\nPlayer2\\Color=3\n");
        h.hostSingle(true);
        QCOMPARE(h.tcp->callsOf("connectWithHello").front().at(2), QVariant(2));
        QCOMPARE(h.udp->callsOf("connectWithHello").front().at(2), QVariant(2));
        QCOMPARE(h.events.last(), base(GuiState::Lobby, kBothReady));
        QCOMPARE(h.tcp->last("sendCPlayers"),
                 (QVariantList{true, QStringList{"Ann", "Ben"}, QVariantList{-1, 3},
                               QVariantList{2, 2}}));
        h.client->setReady();
        h.playerList({{0, "Ann", 4}, {0, "Ben", 4}});
        Q_EMIT h.tcp->changedCGameOver(30, 1, "00:00:20");
        const HighscoreFile::Lists lists = h.client->highscores().read();
        QCOMPARE(lists[1].size(), std::size_t(1));
        QCOMPARE(lists[1].front()->playerNames(), QStringLiteral("Ann Ben"));

        ClientHarness spectator;
        spectator.joinAndEstablish("10.0.0.5", 2);
        spectator.playerList({{0, "Ann", 4}, {2, "Player1", 5}});
        QCOMPARE(spectator.client->state(), int(GamePlayer::Spectating));
        Q_EMIT spectator.tcp->changedCGameOver(30, 1, "00:00:20");
        QVERIFY(!QFile::exists(spectator.path("highscore.dat")));
    }

    void unwritableHighscoreIsReported() {
        ClientHarness h;
        QVERIFY(QDir(h.dir.path()).mkdir("highscore.dat"));
        h.hostSingle();
        h.playerList({{0, "Player1", 4}});
        Q_EMIT h.tcp->changedCGameOver(10, 0, "00:00:05");
        QCOMPARE(h.eventsOf("error"),
                 QStringList{"error F The highcore could not be saved locally."});
    }

    void joinAddressParsing() {
        ClientHarness h;
        h.client->joinGame(false, "10.0.0.5:1234", true, QString());
        QCOMPARE(h.master->callsOf("queryServer"), (QList<QVariantList>{{"10.0.0.5", 1234}}));
        QCOMPARE(h.events, QStringList{base(GuiState::NoState,
                                            "Connecting to 10.0.0.5:1234...\n\nPress 'ESC' to "
                                            "abort.")});
        QVERIFY(h.readFile("settings.ini").contains("IP=10.0.0.5:1234"));
        QCOMPARE(h.client->hostKey(), -1);
        h.client->abortAction();  // stop probing

        h.clearLog();
        h.client->joinGame(false, "10.0.0.5", false, QString());
        QCOMPARE(h.master->callsOf("queryServer"), (QList<QVariantList>{{"10.0.0.5", 27403}}));
        h.client->abortAction();

        // A host name is never looked up: it fails at once, without a probe.
        for (const QString& bad : {QStringLiteral("localhost"), QStringLiteral("example.org:99"),
                                   QStringLiteral("10.0.0.5:port"), QStringLiteral("10.0.0.5:0")}) {
            h.clearLog();
            h.client->joinGame(false, bad, false, QString());
            QCOMPARE(h.master->count("queryServer"), 0);
            QCOMPARE(h.events.size(), 4);
            QVERIFY(h.events.at(1).startsWith("error F The server '"));
            QVERIFY(h.events.at(1).endsWith("' could not be found."));
            QCOMPARE(h.events.mid(2), (QStringList{base(GuiState::NoState), "last"}));
        }
        QCOMPARE(h.eventsOf("error"),
                 QStringList{"error F The server '10.0.0.5:0' could not be found."});
        h.clearLog();
        h.client->joinGame(false, "example.org", false, QString());
        QCOMPARE(h.eventsOf("error"),
                 QStringList{"error F The server 'example.org:27403' could not be found."});
    }

    void versionMismatchStopsTheJoin() {
        ClientHarness h;
        h.client->joinGame(false, "10.0.0.5:1234", false, QString());
        h.clearLog();
        h.answerProbe("Beta 0.91", "10.0.0.5", 1234);
        QCOMPARE(h.events,
                 (QStringList{"error F The server '10.0.0.5:1234' requires version 'Beta 0.91' "
                              "of the game.",
                              "resetChat", base(GuiState::NoState), "last"}));
        QCOMPARE(h.tcp->count("connectWithHello"), 0);
        QVERIFY(h.listedServers.empty());
    }

    void passwordScreenAndRetryWithTheOldAddress() {
        ClientHarness h;
        h.client->joinGame(true, "10.0.0.5:1234", true, QString());
        h.clearLog();
        h.answerProbe("Beta 0.92", "10.0.0.5", 1234, true, 3);
        QCOMPARE(h.events, (QStringList{"resetChat", "top 7 "}));
        QCOMPARE(h.tcp->count("connectWithHello"), 0);

        // The player typed a wrong password into a changed address field; the
        // retry keeps the probed address and leaves the cache alone.
        h.clearLog();
        h.client->joinGame(true, "USEOLDONE", true, "Pwrong");
        QCOMPARE(h.master->callsOf("queryServer"), (QList<QVariantList>{{"10.0.0.5", 1234}}));
        QVERIFY(h.readFile("settings.ini").contains("IP=10.0.0.5:1234"));
        QVERIFY(h.events.first().contains("Connecting to 10.0.0.5:1234..."));
        h.answerProbe("Beta 0.92", "10.0.0.5", 1234, true, 3);
        QCOMPARE(h.tcp->callsOf("connectWithHello"),
                 (QList<QVariantList>{{"10.0.0.5", 1234, 2, -1, "Pwrong", -1}}));
        h.clearLog();
        Q_EMIT h.tcp->errorOccured(-1, ConnectionInterface::WrongPassword);
        QCOMPARE(h.events,
                 (QStringList{"resetChat",
                              "error F The server '10.0.0.5:1234' did not accept your password.",
                              base(GuiState::NoState), "last"}));
        QCOMPARE(h.tcp->callsOf("disconnectClient"), (QList<QVariantList>{{-1, true}}));
        QCOMPARE(h.udp->callsOf("disconnectClient"), (QList<QVariantList>{{-1, true}}));
        QCOMPARE(h.client->state(), int(GamePlayer::Empty));

        // With the password the lobby follows; maxPlayers comes from the probe.
        h.client->joinGame(true, "USEOLDONE", true, "Pright");
        h.answerProbe("Beta 0.92", "10.0.0.5", 1234, true, 3);
        h.clearLog();
        h.establish(1, false);
        QCOMPARE(h.events.first(), QStringLiteral("resetGui T 3 T F F 1"));
    }

    void serverListAnswersDuringAJoinStayListEntries() {
        ClientHarness h;
        h.client->joinGame(false, "10.0.0.5:1234", false, QString());
        h.answerProbe("Beta 0.92", "10.0.0.9", 27403);
        QCOMPARE(h.eventsOf("server"), QStringList{"server 10.0.0.9"});
        QCOMPARE(h.tcp->count("connectWithHello"), 0);
        h.answerProbe("Beta 0.92", "10.0.0.5", 1234);
        QCOMPARE(h.tcp->count("connectWithHello"), 1);

        // The list itself.
        ClientHarness none;
        none.client->getServerlist();
        QCOMPARE(none.events, QStringList{"master 4"});
        ClientHarness list(QString(), "[Master]\nGeneral\\Address=127.0.0.1\n");
        list.client->getServerlist();
        list.client->getServerlist();
        QCOMPARE(list.master->callsOf("connectToHost"),
                 (QList<QVariantList>{{"127.0.0.1", 27404}}));
        QCOMPARE(list.master->count("requestServerlist"), 2);
        Q_EMIT list.master->masterserverResult(-1, MasterserverResult::MasterListReceived);
        Q_EMIT list.master->errorOccured(-1, ConnectionInterface::ConnectionLost);
        QCOMPARE(list.events, (QStringList{"master 2", "master 4"}));
        list.client->getServerlist();  // the connection is opened again
        QCOMPARE(list.master->count("connectToHost"), 2);
    }

    void probeWithoutAnswerMeansNotFound() {
        ClientHarness h;
        h.client->joinGame(false, "10.0.0.5:1234", false, QString());
        h.clearLog();
        Q_EMIT h.master->errorOccured(-1, ConnectionInterface::ConnectionLost);
        QCOMPARE(h.events, (QStringList{"error F The server '10.0.0.5:1234' could not be found.",
                                        "resetChat", base(GuiState::NoState), "last"}));
    }

    void everyConnectionErrorText_data() {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("back");
        QTest::newRow("init") << 0 << "error F The connection could not be initialized." << true;
        QTest::newRow("not found")
            << 1 << "error F The server '10.0.0.5:27403' could not be found." << true;
        QTest::newRow("refused") << 2 << "error F The server '10.0.0.5:27403' could not be found."
                                 << true;
        QTest::newRow("full") << 3 << "error F The server '10.0.0.5:27403' is already full."
                              << true;
        QTest::newRow("password")
            << 4 << "error F The server '10.0.0.5:27403' did not accept your password." << true;
        QTest::newRow("lost") << 5 << "error T The connection to the server was lost." << false;
        QTest::newRow("timeout") << 6 << "error T The connection to the server was lost." << false;
        QTest::newRow("loss") << 7 << "error T The connection to the server was lost." << false;
    }

    void everyConnectionErrorText() {
        QFETCH(int, error);
        QFETCH(QString, text);
        QFETCH(bool, back);
        ClientHarness h;
        // Ignored while idle.
        Q_EMIT h.udp->errorOccured(-1, ConnectionInterface::ConnectionError(error));
        QVERIFY(h.events.isEmpty());

        h.joinAndEstablish("10.0.0.5", 1);
        h.clearLog();
        Q_EMIT h.udp->errorOccured(1, ConnectionInterface::ConnectionError(error));
        QStringList expected{"resetChat", text};
        if (back) {
            expected << base(GuiState::NoState) << "last";
        }
        QCOMPARE(h.events, expected);
        QCOMPARE(h.client->state(), int(GamePlayer::Empty));
        QCOMPARE(h.tcp->callsOf("disconnectClient"), (QList<QVariantList>{{-1, true}}));
        // Nothing is left that could report a second time.
        Q_EMIT h.tcp->errorOccured(1, ConnectionInterface::ConnectionError(error));
        QCOMPARE(h.eventsOf("error").size(), 1);
    }

    void kickOfAnotherPlayerAndOfOneself() {
        ClientHarness h;
        h.hostSingle();  // host stays connected with its own server
        h.client->setReady();
        h.playerList({{0, "Player1", 3}});
        h.playerList({{0, "Player1", 3}, {1, "Ann", 2}, {1, "Ben", 2}});
        h.client->kickPlayer(1);
        QCOMPARE(h.tcp->callsOf("sendCKick"), (QList<QVariantList>{{true, 1}}));
        h.clearLog();
        Q_EMIT h.tcp->changedCPlayerKick(1);
        QCOMPARE(h.events, (QStringList{"remove 1", "chat -4 Ann was kicked by the server.",
                                        "chat -4 Ben was kicked by the server."}));
        QCOMPARE(h.servers->stopped, 0);

        h.clearLog();
        Q_EMIT h.tcp->changedCPlayerKick(0);
        QCOMPARE(h.events,
                 (QStringList{"error T You have been kicked by the server.", "resetChat"}));
        QCOMPARE(h.client->state(), int(GamePlayer::Empty));
        QCOMPARE(h.servers->stopped, 1);
        QVERIFY(!h.client->hasServer());
        QCOMPARE(h.udp->callsOf("disconnectClient"), (QList<QVariantList>{{-1, true}}));

        ClientHarness idle;
        idle.client->kickPlayer(2);  // not connected: nothing to send
        QCOMPARE(idle.tcp->count("sendCKick"), 0);
    }

    void serverShutdownWhileConnected() {
        ClientHarness guest;
        guest.joinAndEstablish("10.0.0.5", 1);
        guest.clearLog();
        Q_EMIT guest.udp->serverShutdown(0);
        QCOMPARE(guest.events, (QStringList{"error T The server was shut down.", "resetChat"}));
        QCOMPARE(guest.client->state(), int(GamePlayer::Empty));
        Q_EMIT guest.tcp->serverShutdown(0);  // the other connection's copy
        QCOMPARE(guest.events.size(), 2);

        // The host leaving: its own server shuts down and the menu follows.
        ClientHarness host;
        host.hostSingle();
        host.client->endGame();
        QCOMPARE(host.events.last(), base(GuiState::Notice, "Disconnecting..."));
        QCOMPARE(host.tcp->callsOf("disconnectClient"), (QList<QVariantList>{{-1, false}}));
        QCOMPARE(host.udp->callsOf("disconnectClient"), (QList<QVariantList>{{-1, false}}));
        host.clearLog();
        Q_EMIT host.tcp->serverShutdown(0);
        QCOMPARE(host.events, (QStringList{"resetChat", base(GuiState::MainMenu)}));
        QCOMPARE(host.servers->stopped, 1);
        QVERIFY(host.quits.isEmpty());
    }

    void endProgrammIdleQuitsAtOnceConnectedAfterClosing() {
        ClientHarness idle;
        idle.client->endProgramm();
        QCOMPARE(idle.quits, QList<int>{0});

        QCOMPARE(idle.servers->stopped, 0);

        ClientHarness h;
        h.hostSingle();
        h.clearLog();
        h.client->endProgramm();
        QCOMPARE(h.events, QStringList{base(GuiState::Notice, "Disconnecting...")});
        QCOMPARE(h.tcp->callsOf("disconnectClient"), (QList<QVariantList>{{-1, false}}));
        QCOMPARE(h.udp->callsOf("disconnectClient"), (QList<QVariantList>{{-1, false}}));
        QVERIFY(h.quits.isEmpty());
        QCOMPARE(h.servers->stopped, 0);
        Q_EMIT h.tcp->connectionClosed(0);
        QCOMPARE(h.quits, QList<int>{0});
        QCOMPARE(h.servers->stopped, 1);
        Q_EMIT h.udp->connectionClosed(-1);  // already closed: nothing more
        QCOMPARE(h.quits.size(), 1);

        // A guest quitting while the server goes away still quits.
        ClientHarness guest;
        guest.joinAndEstablish("10.0.0.5", 1);
        guest.client->endProgramm();
        Q_EMIT guest.tcp->serverShutdown(0);
        QCOMPARE(guest.quits, QList<int>{0});
        QVERIFY(guest.eventsOf("error").isEmpty());
    }

    void endGameReturnsToTheMainMenu() {
        ClientHarness h;
        h.joinAndEstablish("10.0.0.5", 1);
        h.client->endGame();
        h.clearLog();
        Q_EMIT h.tcp->connectionClosed(1);
        QCOMPARE(h.events, (QStringList{"resetChat", base(GuiState::MainMenu)}));
        QCOMPARE(h.client->state(), int(GamePlayer::Empty));
        QVERIFY(h.quits.isEmpty());

        ClientHarness idle;
        idle.client->endGame();
        QCOMPARE(idle.events, (QStringList{"resetChat", base(GuiState::MainMenu)}));

        // Closed without being asked: the game is gone, and the player is told.
        ClientHarness dropped;
        dropped.joinAndEstablish("10.0.0.5", 1);
        dropped.clearLog();
        Q_EMIT dropped.tcp->connectionClosed(1);
        QCOMPARE(dropped.events,
                 (QStringList{"error T The connection to the server was lost.", "resetChat"}));
    }

    void abortWhileConnectingProbingOrCheckingTheMaster() {
        ClientHarness h;
        h.client->hostGame("Local", 27403, 1, true, false, true, false, "P");
        h.clearLog();
        h.client->abortAction();
        QCOMPARE(h.events, (QStringList{"resetChat", base(GuiState::NoState), "last"}));
        QCOMPARE(h.tcp->callsOf("disconnectClient"), (QList<QVariantList>{{-1, true}}));
        QCOMPARE(h.servers->stopped, 1);
        QCOMPARE(h.client->state(), int(GamePlayer::Empty));
        h.clearLog();
        h.client->abortAction();  // nothing left to abort
        QVERIFY(h.events.isEmpty());

        // A probe answer after the abort is only a list entry.
        h.client->joinGame(false, "10.0.0.5", false, QString());
        h.client->abortAction();
        h.answerProbe("Beta 0.92", "10.0.0.5", 27403);
        QCOMPARE(h.tcp->count("connectWithHello"), 0);
        QCOMPARE(h.listedServers.size(), std::size_t(1));

        // Escape while the master server is being asked stops the own server.
        ClientHarness open(QString(), "[Master]\nGeneral\\Address=127.0.0.1\n");
        open.client->hostGame("Open", 27403, 4, false, false, true, false, "P");
        open.client->abortAction();
        QCOMPARE(open.servers->stopped, 1);
        Q_EMIT open.master->masterserverOnline(-1);
        QCOMPARE(open.tcp->count("connectWithHello"), 0);
    }

    void inputChatAndLossRequests() {
        ClientHarness h;
        h.client->inputKeys({1, 2, 3, 4, 5, 0, 0, 0, 0, 0});
        QCOMPARE(h.udp->count("sendCInput"), 0);
        h.joinAndEstablish("10.0.0.5", 1);
        h.client->sendMessage(1, "hello  there ");
        QCOMPARE(h.udp->callsOf("sendCMessage"), (QList<QVariantList>{{true, 1, "hello  there "}}));
        h.client->processPacketLoss();
        QCOMPARE(h.udp->count("requestResend"), 1);
    }
};

QTEST_GUILESS_MAIN(TestClient)
#include "test_client.moc"
