// The client's connection and game state machine on recording connections:
// hosting, joining, lobby, countdowns, pause, game over, leaving, errors.
#include <QTest>

#include "clientharness.h"

namespace {

using Calls = QList<QVariantList>;
const QString kReady = QStringLiteral("Press 'r' when you are ready.");
const QString kNewGame = QStringLiteral("\n\nPress 'r' for a new game.");
const QString kMasterDown = QStringLiteral(
    "error F Starting server...\n\nThe masterserver could not be reached. Other players can "
    "only connect to you directly.");
const QString kMasterIni = QStringLiteral("[Master]\nGeneral\\Address=127.0.0.1\n");
QString base(GuiState state, const QString& text = QString()) {
    return ClientHarness::base(state, text);
}

}  // namespace

class TestClient : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hostingSingleplayerReachesLobbyStreamFirst() {
        ClientHarness h;
        h.client->hostGame("My game", 27555, 1, true, false, true, false, "P");
        QCOMPARE(h.servers->started.size(), std::size_t(1));
        const ServerSettings s = h.servers->started.front();
        QVERIFY(s.name == "My game" && s.port == 27555 && s.maxPlayers == 1 && s.singleplayer &&
                s.stats && !s.usePassword && s.password.isEmpty() && s.hostKey >= 0);
        QCOMPARE(h.tcp->callsOf("connectWithHello"),
                 (Calls{{"127.0.0.1", 27555, 1, s.hostKey, "P", -1}}));
        QCOMPARE(h.udp->count("connectWithHello"), 0);

        // The datagram side asks for the id the stream got.
        Q_EMIT h.tcp->connectionEstablished(2, true);
        QCOMPARE(h.udp->callsOf("connectWithHello"),
                 (Calls{{"127.0.0.1", 27555, 1, s.hostKey, "P", 2}}));
        QCOMPARE(h.client->state(), int(GamePlayer::Connecting));
        Q_EMIT h.udp->connectionEstablished(2, true);
        QCOMPARE(h.events, (QStringList{base(GuiState::NoState, "Starting server..."),
                                        "resetGui T 1 F T F 2", base(GuiState::Lobby, kReady)}));
        QCOMPARE(
            h.tcp->callsOf("sendCPlayers"),
            (Calls{{true, QStringList{"Player1", ""}, QVariantList{-1, -1}, QVariantList{2, -1}}}));

        // A repeated report changes nothing.
        h.clearLog();
        h.establish(3, false);
        QVERIFY(h.events.isEmpty() && h.tcp->calls.isEmpty() && h.udp->calls.isEmpty());
        QVERIFY(!h.readFile("settings.ini").contains("Server"));  // singleplayer saves nothing
    }

    void hostingANetworkGameChecksTheMasterFirst() {
        ClientHarness h(QString(), kMasterIni + "General\\Port=3001\n");
        h.client->hostGame("Open game", 27403, 4, false, false, false, true, "Psecret word");
        QCOMPARE(h.servers->started.front().password, QStringLiteral("Psecret word"));
        QCOMPARE(h.master->callsOf("connectToHost"), (Calls{{"127.0.0.1", 3001}}));
        QCOMPARE(h.master->callsOf("sendMasterTest"), (Calls{{true}}));
        QCOMPARE(h.tcp->count("connectWithHello"), 0);
        const QString ini = h.readFile("settings.ini");
        QVERIFY(ini.contains("General\\Name=Open game") &&
                ini.contains("General\\Password=secret word") && ini.contains("Ranked=false"));

        Q_EMIT h.master->masterserverOnline(-1);
        Q_EMIT h.master->masterserverOnline(-1);  // a late duplicate answer
        QCOMPARE(h.tcp->count("connectWithHello"), 1);
        QVERIFY(h.eventsOf("error").isEmpty());

        // Unanswered check: hosted anyway, with the notice.
        ClientHarness down(QString(), kMasterIni);
        down.client->hostGame("Open", 27403, 4, false, false, true, false, "P");
        Q_EMIT down.master->errorOccured(-1, ConnectionInterface::ConnectionLost);
        QCOMPARE(down.eventsOf("error"), QStringList{kMasterDown});
        down.establish(0, true);
        QCOMPARE(down.events.last(), base(GuiState::Lobby, kReady));
        // No master address at all: the notice at once.
        ClientHarness none;
        none.client->hostGame("Open", 27403, 4, false, false, true, false, "P");
        QCOMPARE(none.eventsOf("error"), QStringList{kMasterDown});
        QVERIFY(none.master->calls.isEmpty());
        QCOMPARE(none.tcp->count("connectWithHello"), 1);
    }

    void readyStartAndLobbyTexts() {
        ClientHarness h;
        h.joinAndEstablish("10.0.0.5", 1);
        h.client->setReady();
        h.client->setReady();
        QCOMPARE(h.statusesSent(), (QStringList{"2,-1", "3,-1", "2,-1"}));
        h.client->setStart();  // no Ready needed in a network game
        QCOMPARE(h.tcp->count("sendCStart"), 1);
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));

        const QString notReady = QStringLiteral("\n\nPress 'r' if you are not ready anymore.");
        h.client->setReady();
        h.playerList({{0, "Ann", 2}, {1, "Player1", 3}});
        QCOMPARE(h.events.last(), base(GuiState::Lobby, "Waiting for other players..."));
        h.playerList({{0, "Ann", 3}, {1, "Player1", 3}});
        QCOMPARE(h.events.last(),
                 base(GuiState::Lobby, "Waiting for the server to start the game..." + notReady));
        ClientHarness host;
        host.client->hostGame("Net", 27403, 4, false, false, true, false, "P");
        host.establish(0, true);
        host.client->setReady();
        host.playerList({{0, "Player1", 3}, {1, "Ann", 3}});
        QCOMPARE(host.events.last(),
                 base(GuiState::Lobby, "Press 's' to start the game." + notReady));

        ClientHarness single;  // 's' alone readies first
        single.hostSingle();
        single.client->setStart();
        QCOMPARE(single.statusesSent(), (QStringList{"2,-1", "3,-1"}));
        QCOMPARE(single.tcp->count("sendCStart"), 1);
    }

    void countdownPauseAndResume() {
        ClientHarness h;
        h.hostSingle();
        h.clearLog();
        h.startGame(0, 24);
        QCOMPARE(h.events.mid(h.events.size() - 8),
                 (QStringList{"fieldsize 24", "resetGui F 1 F T F 0", base(GuiState::Game),
                              "countdown Starting in 3...", "countdown Starting in 2...",
                              "countdown Starting in 1...", "countdown ", "playtime start"}));
        QCOMPARE(h.client->state(), int(GamePlayer::Playing));
        h.client->inputKeys({1, 0, 2, 0, 0, 0, 0, 0, 0, 0});
        QCOMPARE(h.udp->callsOf("sendCInput"),
                 (Calls{{false, QVariantList{1, 0, 2, 0, 0, 0, 0, 0, 0, 0}}}));

        h.clearLog();
        h.client->setMenuOpen(true);
        Q_EMIT h.tcp->changedCPause(0, -1);
        QCOMPARE(h.client->state(), int(GamePlayer::Pausing));
        h.client->setMenuOpen(false);
        QCOMPARE(h.tcp->callsOf("sendCPause"), (Calls{{true}, {true}}));
        for (int count : {3, 2, 1, 0}) {
            Q_EMIT h.tcp->changedCPause(0, count);
        }
        QCOMPARE(h.events, (QStringList{base(GuiState::Game, "Game paused..."), "playtime pause T",
                                        base(GuiState::Game), "countdown Resuming in 3...",
                                        "countdown Resuming in 2...", "countdown Resuming in 1...",
                                        "countdown ", "playtime pause F"}));
        QCOMPARE(h.client->state(), int(GamePlayer::Playing));
        Q_EMIT h.tcp->changedCPause(2, -1);  // another connection's pause
        QCOMPARE(h.client->state(), int(GamePlayer::Playing));
    }

    void readyDuringCountdownAbortsAndServerRestarts() {
        ClientHarness h;
        h.hostSingle();
        h.client->setReady();
        h.playerList({{0, "Player1", 4}});
        Q_EMIT h.udp->changedCGameStart(0, 12, 3);
        h.client->setReady();  // 'r' during the start countdown
        QCOMPARE(h.statusesSent().last(), QStringLiteral("2,-1"));
        h.clearLog();
        Q_EMIT h.tcp->changedCGameRestart(-1);
        QCOMPARE(h.events, (QStringList{"playtime stop", "rotation T", "countdown ",
                                        base(GuiState::Lobby, "Start abortet." + kNewGame)}));
        h.playerList({{0, "Player1", 2}});
        QCOMPARE(h.events.last(), base(GuiState::Lobby, "Start abortet." + kNewGame));

        h.client->restartGame();  // only while playing or pausing
        h.startGame();
        h.client->restartGame();
        QCOMPARE(h.tcp->callsOf("sendCRestart"), (Calls{{true}}));
        Q_EMIT h.tcp->changedCGameRestart(0);
        QCOMPARE(h.events.last(),
                 base(GuiState::Lobby, "Game restarted by the server." + kNewGame));
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
    }

    void inGameMenuWhileReadyUnreadiesUntilClosed() {
        ClientHarness h;
        h.joinAndEstablish("10.0.0.5:4000", 1);
        h.client->setReady();
        h.client->setMenuOpen(true);
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        h.client->setMenuOpen(false);
        h.client->setReady();
        h.client->setMenuOpen(true);  // opened while Waiting: stays Waiting
        h.client->setMenuOpen(false);
        QCOMPARE(h.statusesSent(), (QStringList{"2,-1", "3,-1", "2,-1", "3,-1", "2,-1"}));
        QCOMPARE(h.tcp->count("sendCPause"), 0);
    }

    void gameOverAppendsTheHighscore() {
        ClientHarness h;
        h.hostSingle();
        h.startGame();
        h.clearLog();
        Q_EMIT h.tcp->changedCGameOver(120, 5, "00:01:40");
        const QString over = "GAME OVER (120 Point(s))" + kNewGame;
        QCOMPARE(h.events, (QStringList{"playtime stop", "rotation T", "score 120 F",
                                        "playtime text 00:01:40 F", base(GuiState::Game, over)}));
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        QVERIFY(
            h.readFile("highscore.dat")
                .startsWith("2011-03-05T18:04:11 120 5 00:01:40 1 Player1 Quadrell Beta 0.92 "));
        const HighscoreFile::Lists lists = h.client->highscores().read();
        QVERIFY(lists[0].size() == 1 && lists[0].front()->score() == 120);
        h.playerList({{0, "Player1", 2}});
        QCOMPARE(h.events.last(), base(GuiState::Lobby, over));

        ClientHarness spectator;  // a spectator's game over writes nothing
        spectator.joinAndEstablish("10.0.0.5", 2);
        spectator.playerList({{0, "Ann", 4}, {2, "Player1", 5}});
        QCOMPARE(spectator.client->state(), int(GamePlayer::Spectating));
        Q_EMIT spectator.tcp->changedCGameOver(30, 1, "00:00:20");
        QVERIFY(!QFile::exists(spectator.path("highscore.dat")));

        ClientHarness blocked;
        QVERIFY(QDir(blocked.dir.path()).mkdir("highscore.dat"));
        blocked.hostSingle();
        blocked.startGame();
        Q_EMIT blocked.tcp->changedCGameOver(10, 0, "00:00:05");
        QCOMPARE(blocked.eventsOf("error"),
                 QStringList{"error F The highcore could not be saved locally."});
    }

    void splitscreenSendsAndWritesBothNames() {
        ClientHarness h("[Client]\nPlayer1\\Name=Ann\nPlayer2\\Name=Ben\nPlayer2\\Color=3\n");
        h.hostSingle(true);
        QCOMPARE(h.udp->callsOf("connectWithHello").front().at(2), QVariant(2));
        QCOMPARE(h.events.last(), base(GuiState::Lobby, "Press 'r' when both players are ready."));
        QCOMPARE(h.tcp->last("sendCPlayers"),
                 (QVariantList{true, QStringList{"Ann", "Ben"}, QVariantList{-1, 3},
                               QVariantList{2, 2}}));
        h.client->setReady();
        h.playerList({{0, "Ann", 4}, {0, "Ben", 4}});
        Q_EMIT h.tcp->changedCGameOver(30, 1, "00:00:20");
        const HighscoreFile::Lists lists = h.client->highscores().read();
        QVERIFY(lists[1].size() == 1 && lists[1].front()->playerNames() == "Ann Ben");
    }

    void joinAddressParsing() {
        ClientHarness h;
        h.client->joinGame(false, "10.0.0.5:1234", true, QString());
        h.client->abortAction();
        h.client->joinGame(false, "10.0.0.5", false, QString());
        h.client->abortAction();
        QCOMPARE(h.master->callsOf("queryServer"),
                 (Calls{{"10.0.0.5", 1234}, {"10.0.0.5", 27403}}));
        QCOMPARE(h.events.first(), base(GuiState::NoState,
                                        "Connecting to 10.0.0.5:1234...\n\n"
                                        "Press 'ESC' to abort."));
        QVERIFY(h.readFile("settings.ini").contains("IP=10.0.0.5:1234"));

        // Names are never looked up, and a port must be one: at once, no probe.
        for (const char* bad : {"example.org", "10.0.0.5:port", "10.0.0.5:0"}) {
            h.clearLog();
            h.client->joinGame(false, bad, false, QString());
            QCOMPARE(h.events.size(), 4);
            QCOMPARE(h.events.mid(2), (QStringList{base(GuiState::NoState), "last"}));
        }
        QCOMPARE(h.events.at(1), "error F The server '10.0.0.5:0' could not be found.");
        QCOMPARE(h.master->count("queryServer"), 0);
        h.client->joinGame(false, "example.org", false, QString());
        QCOMPARE(h.eventsOf("error").last(),
                 "error F The server 'example.org:27403' could not be found.");
    }

    void probeOutcomes() {
        ClientHarness h;
        h.client->joinGame(false, "10.0.0.5:1234", false, QString());
        h.answerProbe("Beta 0.92", "10.0.0.9", 27403);  // a server-list answer
        QCOMPARE(h.eventsOf("server"), QStringList{"server 10.0.0.9"});
        h.clearLog();
        h.answerProbe("Beta 0.91", "10.0.0.5", 1234);
        QCOMPARE(h.events, (QStringList{"error F The server '10.0.0.5:1234' requires version "
                                        "'Beta 0.91' of the game.",
                                        "resetChat", base(GuiState::NoState), "last"}));
        h.client->joinGame(false, "10.0.0.5:1234", false, QString());
        h.clearLog();
        Q_EMIT h.master->errorOccured(-1, ConnectionInterface::ConnectionLost);
        QCOMPARE(h.events, (QStringList{"error F The server '10.0.0.5:1234' could not be found.",
                                        "resetChat", base(GuiState::NoState), "last"}));
        QCOMPARE(h.tcp->count("connectWithHello"), 0);
    }

    void passwordScreenRetriesTheOldAddress() {
        ClientHarness h;
        h.client->joinGame(true, "10.0.0.5:1234", true, QString());
        h.clearLog();
        h.answerProbe("Beta 0.92", "10.0.0.5", 1234, true, 3);
        QCOMPARE(h.events, (QStringList{"resetChat", "top 7 "}));
        h.client->joinGame(true, "USEOLDONE", true, "Pwrong");
        QVERIFY(h.readFile("settings.ini").contains("IP=10.0.0.5:1234"));  // cache untouched
        h.answerProbe("Beta 0.92", "10.0.0.5", 1234, true, 3);
        QCOMPARE(h.tcp->callsOf("connectWithHello"),
                 (Calls{{"10.0.0.5", 1234, 2, -1, "Pwrong", -1}}));
        h.clearLog();
        Q_EMIT h.tcp->errorOccured(-1, ConnectionInterface::WrongPassword);
        QCOMPARE(h.events,
                 (QStringList{"resetChat",
                              "error F The server '10.0.0.5:1234' did not accept your password.",
                              base(GuiState::NoState), "last"}));

        h.client->joinGame(true, "USEOLDONE", true, "Pright");
        h.answerProbe("Beta 0.92", "10.0.0.5", 1234, true, 3);
        h.clearLog();
        h.establish(1, false);
        QCOMPARE(h.events.first(), "resetGui T 3 T F F 1");  // the probe's player limit
    }

    void everyConnectionErrorText_data() {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        const QString server = QStringLiteral("error F The server '10.0.0.5:27403' ");
        QTest::newRow("init") << 0 << "error F The connection could not be initialized.";
        QTest::newRow("not found") << 1 << server + "could not be found.";
        QTest::newRow("refused") << 2 << server + "could not be found.";
        QTest::newRow("full") << 3 << server + "is already full.";
        QTest::newRow("password") << 4 << server + "did not accept your password.";
        for (const char* row : {"lost", "timeout", "loss"}) {
            QTest::newRow(row) << (QByteArray(row) == "lost" ? 5
                                   : row[0] == 't'           ? 6
                                                             : 7)
                               << "error T The connection to the server was lost.";
        }
    }

    void everyConnectionErrorText() {
        QFETCH(int, error);
        QFETCH(QString, text);
        const auto code = ConnectionInterface::ConnectionError(error);
        ClientHarness h;
        Q_EMIT h.udp->errorOccured(-1, code);  // idle: ignored
        QVERIFY(h.events.isEmpty());
        h.joinAndEstablish("10.0.0.5", 1);
        h.clearLog();
        Q_EMIT h.udp->errorOccured(1, code);
        Q_EMIT h.tcp->errorOccured(1, code);  // nothing left to report twice
        QStringList expected{"resetChat", text};
        if (text.startsWith("error F")) {
            expected << base(GuiState::NoState) << "last";
        }
        QCOMPARE(h.events, expected);
        QCOMPARE(h.client->state(), int(GamePlayer::Empty));
        QCOMPARE(h.tcp->callsOf("disconnectClient"), (Calls{{-1, true}}));
    }

    void kicksAndShutdowns() {
        ClientHarness h;
        h.client->kickPlayer(2);  // not connected: nothing to send
        h.hostSingle();
        h.playerList({{0, "Player1", 2}, {1, "Ann", 2}, {1, "Ben", 2}});
        h.client->kickPlayer(1);
        QCOMPARE(h.tcp->callsOf("sendCKick"), (Calls{{true, 1}}));
        h.clearLog();
        Q_EMIT h.tcp->changedCPlayerKick(1);
        Q_EMIT h.tcp->changedCPlayerKick(0);
        QCOMPARE(h.events,
                 (QStringList{"remove 1", "chat -4 Ann was kicked by the server.",
                              "chat -4 Ben was kicked by the server.",
                              "error T You have been kicked by the server.", "resetChat"}));
        QCOMPARE(h.client->state(), int(GamePlayer::Empty));
        QCOMPARE(h.servers->stopped, 1);
        QCOMPARE(h.udp->callsOf("disconnectClient"), (Calls{{-1, true}}));

        ClientHarness guest;
        guest.joinAndEstablish("10.0.0.5", 1);
        guest.clearLog();
        Q_EMIT guest.udp->serverShutdown(0);
        Q_EMIT guest.tcp->serverShutdown(0);  // the other connection's copy
        QCOMPARE(guest.events, (QStringList{"error T The server was shut down.", "resetChat"}));

        ClientHarness host;  // the host leaving shuts its own server down
        host.hostSingle();
        host.client->endGame();
        QCOMPARE(host.events.last(), base(GuiState::Notice, "Disconnecting..."));
        QCOMPARE(host.tcp->callsOf("disconnectClient"), (Calls{{-1, false}}));
        QCOMPARE(host.udp->callsOf("disconnectClient"), (Calls{{-1, false}}));
        host.clearLog();
        Q_EMIT host.tcp->serverShutdown(0);
        QCOMPARE(host.events, (QStringList{"resetChat", base(GuiState::MainMenu)}));
        QCOMPARE(host.servers->stopped, 1);
    }

    void leavingAndQuitting() {
        ClientHarness idle;
        idle.client->endProgramm();
        QCOMPARE(idle.quits, QList<int>{0});

        ClientHarness h;
        h.hostSingle();
        h.clearLog();
        h.client->endProgramm();
        QCOMPARE(h.events, QStringList{base(GuiState::Notice, "Disconnecting...")});
        QVERIFY(h.quits.isEmpty() && h.servers->stopped == 0);
        Q_EMIT h.tcp->connectionClosed(0);
        Q_EMIT h.udp->connectionClosed(-1);  // already closed: nothing more
        QCOMPARE(h.quits, QList<int>{0});
        QCOMPARE(h.servers->stopped, 1);

        ClientHarness guest;  // quitting while the server goes away still quits
        guest.joinAndEstablish("10.0.0.5", 1);
        guest.client->endProgramm();
        Q_EMIT guest.tcp->serverShutdown(0);
        QCOMPARE(guest.quits, QList<int>{0});

        ClientHarness leaver;
        leaver.joinAndEstablish("10.0.0.5", 1);
        leaver.client->endGame();
        leaver.clearLog();
        Q_EMIT leaver.tcp->connectionClosed(1);
        QCOMPARE(leaver.events, (QStringList{"resetChat", base(GuiState::MainMenu)}));
        leaver.clearLog();
        leaver.client->endGame();  // idle
        QCOMPARE(leaver.events, (QStringList{"resetChat", base(GuiState::MainMenu)}));

        ClientHarness dropped;  // closed by the server unasked
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
        h.client->abortAction();  // nothing left to abort
        QCOMPARE(h.events, (QStringList{"resetChat", base(GuiState::NoState), "last"}));
        QCOMPARE(h.tcp->callsOf("disconnectClient"), (Calls{{-1, true}}));
        QCOMPARE(h.servers->stopped, 1);

        h.client->joinGame(false, "10.0.0.5", false, QString());
        h.client->abortAction();
        h.answerProbe("Beta 0.92", "10.0.0.5", 27403);  // now only a list entry
        QCOMPARE(h.tcp->count("connectWithHello"), 0);
        QCOMPARE(h.listedServers.size(), std::size_t(1));

        ClientHarness open(QString(), kMasterIni);
        open.client->hostGame("Open", 27403, 4, false, false, true, false, "P");
        open.client->abortAction();
        Q_EMIT open.master->masterserverOnline(-1);
        QCOMPARE(open.servers->stopped, 1);
        QCOMPARE(open.tcp->count("connectWithHello"), 0);
    }

    void serverListAndChatForwarding() {
        ClientHarness none;
        none.client->getServerlist();
        QCOMPARE(none.events, QStringList{"master 4"});
        ClientHarness h(QString(), kMasterIni);
        h.client->getServerlist();
        h.client->getServerlist();
        Q_EMIT h.master->masterserverResult(-1, MasterserverResult::MasterListReceived);
        Q_EMIT h.master->errorOccured(-1, ConnectionInterface::ConnectionLost);
        h.client->getServerlist();  // the connection is opened again
        QCOMPARE(h.master->count("connectToHost"), 2);
        QCOMPARE(h.master->count("requestServerlist"), 3);
        QCOMPARE(h.events, (QStringList{"master 2", "master 4"}));

        h.client->inputKeys({1, 2, 3, 4, 5, 0, 0, 0, 0, 0});  // not connected: dropped
        h.client->sendMessage(1, "hello  there ");
        h.client->processPacketLoss();
        QCOMPARE(h.udp->count("sendCInput"), 0);
        QCOMPARE(h.udp->callsOf("sendCMessage"), (Calls{{true, 1, "hello  there "}}));
        QCOMPARE(h.udp->count("requestResend"), 1);
    }
};

QTEST_GUILESS_MAIN(TestClient)
#include "test_client.moc"
