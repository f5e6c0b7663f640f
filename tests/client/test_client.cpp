// The Client on recording connections: its state machine (hosting, joining,
// lobby, countdowns, pause, game over, leaving, errors), what it makes of the
// server's game traffic, "settings.ini", and "highscore.dat" with every rule
// that drops a line.
#include <unistd.h>
#include <QLocale>
#include <QPointer>
#include <QSettings>
#include <QTest>

#include "client/gameresult.h"
#include "clientharness.h"
#include "game/playernames.h"
#include "network/fieldimage.h"

namespace {

using Calls = QList<QVariantList>;
const QString kReady = "Press 'r' when you are ready.";
const QString kNewGame = "\n\nPress 'r' for a new game.";
const QString kMasterDown =
    "error F Starting server...\n\nThe masterserver could not be reached. Other players can "
    "only connect to you directly.";
const QString kMasterIni = "[Master]\nGeneral\\Address=127.0.0.1\n";
const QString kOptionsLost =
    "error F The options could not be saved and will be reset at the next start.";
QString base(GuiState state, const QString& text = QString()) {
    return ClientHarness::base(state, text);
}
void setOptions(Client& c, const QString& name1, const QString& name2) {
    c.setOptions({.name1 = name1,
                  .color1 = 4,  // colours change only through setColors
                  .name2 = name2,
                  .showIntro = false,
                  .showPreview = 2,
                  .showPointer = false,
                  .showFPS = true,
                  .invertControl = true,
                  .ignoreColors = true,
                  .enableStatsSP = false,
                  .playSounds = false,
                  .resWidth = 1920,
                  .resHeight = 1080,
                  .quality = 1,
                  .enableVSync = false});
}

const QDateTime kWhen(QDate(2011, 3, 5), QTime(18, 4, 11));

void writeRaw(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.write(bytes);
}

// Every record read back, list by list, as "players:score names".
QStringList entries(const HighscoreFile::Lists& lists) {
    QStringList out;
    for (std::size_t i = 0; i < lists.size(); ++i) {
        for (const auto& r : lists[i]) {
            out.append(QStringLiteral("%1:%2 %3").arg(i + 1).arg(r->score()).arg(r->playerNames()));
        }
    }
    return out;
}

}  // namespace

class TestClient : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hostingSingleplayerReachesLobbyStreamFirst() {
        ClientHarness h;
        h.client->hostGame({.hosting = {.name = "My game",
                                        .ranked = true,
                                        .usePassword = false,
                                        .password = "P",
                                        .maxPlayers = 1,
                                        .port = 27555},
                            .singleplayer = true});
        QCOMPARE(h.started.size(), std::size_t(1));
        const ServerSettings s = h.started.front();
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

        h.clearLog();
        h.establish(3, false);  // a repeated report changes nothing
        QVERIFY(h.events.isEmpty() && h.tcp->calls.isEmpty() && h.udp->calls.isEmpty());
        QVERIFY(!h.readFile("settings.ini").contains("Server"));  // singleplayer saves nothing
    }

    void hostingANetworkGameChecksTheMasterFirst() {
        ClientHarness h(QString(), kMasterIni + "General\\Port=3001\n");
        h.client->hostGame({.hosting = {.name = "Open game",
                                        .ranked = false,
                                        .usePassword = true,
                                        .password = "Psecret word",
                                        .maxPlayers = 4,
                                        .port = 27403}});
        QCOMPARE(h.started.front().password, "Psecret word");
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

        ClientHarness down(QString(), kMasterIni);  // unanswered: hosted anyway, with the notice
        down.client->hostGame({.hosting = {.name = "Open",
                                           .ranked = true,
                                           .usePassword = false,
                                           .password = "P",
                                           .maxPlayers = 4,
                                           .port = 27403}});
        Q_EMIT down.master->errorOccured(-1, ConnectionInterface::ConnectionLost);
        QCOMPARE(down.eventsOf("error"), QStringList{kMasterDown});
        down.establish(0, true);
        QCOMPARE(down.events.last(), base(GuiState::Lobby, kReady));
        ClientHarness none;  // no master address at all: the notice at once
        none.client->hostGame({.hosting = {.name = "Open",
                                           .ranked = true,
                                           .usePassword = false,
                                           .password = "P",
                                           .maxPlayers = 4,
                                           .port = 27403}});
        QCOMPARE(none.eventsOf("error"), QStringList{kMasterDown});
        QVERIFY(none.master->calls.isEmpty());
        QCOMPARE(none.tcp->count("connectWithHello"), 1);
    }

    void readyStartMenuAndLobbyTexts() {
        ClientHarness h;
        h.joinAndEstablish("10.0.0.5", 1);
        h.client->setReady();
        h.client->setReady();
        QCOMPARE(h.statusesSent(), (QStringList{"2,-1", "3,-1", "2,-1"}));
        h.client->setStart();  // no Ready needed in a network game
        QCOMPARE(h.tcp->count("sendCStart"), 1);
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        h.client->setReady();
        h.client->setMenuOpen(true);  // the in-game menu unreadies until it is closed
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        h.client->setMenuOpen(false);
        h.client->setReady();
        h.client->setMenuOpen(true);  // opened while Waiting: stays Waiting
        h.client->setMenuOpen(false);
        QCOMPARE(h.statusesSent(),
                 (QStringList{"2,-1", "3,-1", "2,-1", "3,-1", "2,-1", "3,-1", "2,-1"}));
        QCOMPARE(h.tcp->count("sendCPause"), 0);

        const QString notReady = "\n\nPress 'r' if you are not ready anymore.";
        h.client->setReady();
        h.playerList({{0, "Ann", 2}, {1, "Player1", 3}});
        QCOMPARE(h.events.last(), base(GuiState::Lobby, "Waiting for other players..."));
        h.playerList({{0, "Ann", 3}, {1, "Player1", 3}});
        QCOMPARE(h.events.last(),
                 base(GuiState::Lobby, "Waiting for the server to start the game..." + notReady));
        ClientHarness host;
        host.client->hostGame({.hosting = {.name = "Net",
                                           .ranked = true,
                                           .usePassword = false,
                                           .password = "P",
                                           .maxPlayers = 4,
                                           .port = 27403}});
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

    void countdownPauseRestartAndAbortedStart() {
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
        Q_EMIT h.tcp->changedCPause(2, -1);  // another connection's pause
        QCOMPARE(h.client->state(), int(GamePlayer::Playing));

        h.client->restartGame();
        QCOMPARE(h.tcp->callsOf("sendCRestart"), (Calls{{true}}));
        Q_EMIT h.tcp->changedCGameRestart(0);
        QCOMPARE(h.events.last(),
                 base(GuiState::Lobby, "Game restarted by the server." + kNewGame));
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        h.client->restartGame();  // only while playing or pausing
        QCOMPARE(h.tcp->count("sendCRestart"), 1);

        h.client->setReady();
        h.playerList({{0, "Player1", 4}});
        Q_EMIT h.udp->changedCGameStart(0, 12, 3);
        h.client->setReady();  // 'r' during the start countdown
        QCOMPARE(h.statusesSent().last(), "2,-1");
        h.clearLog();
        Q_EMIT h.tcp->changedCGameRestart(-1);
        QCOMPARE(h.events, (QStringList{"playtime stop", "rotation T", "countdown ",
                                        base(GuiState::Lobby, "Start abortet." + kNewGame)}));
        h.playerList({{0, "Player1", 2}});
        QCOMPARE(h.events.last(), base(GuiState::Lobby, "Start abortet." + kNewGame));
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

    void splitscreenSendsBothNames() {
        ClientHarness h("[Client]\nPlayer1\\Name=Ann\nPlayer2\\Name=Ben\nPlayer2\\Color=3\n");
        h.hostSingle(true);
        QCOMPARE(h.udp->callsOf("connectWithHello").front().at(2), QVariant(2));
        QCOMPARE(h.events.last(), base(GuiState::Lobby, "Press 'r' when both players are ready."));
        QCOMPARE(h.tcp->last("sendCPlayers"),
                 (QVariantList{true, QStringList{"Ann", "Ben"}, QVariantList{-1, 3},
                               QVariantList{2, 2}}));
    }

    void joinAddressesAndProbes() {
        ClientHarness h;
        h.client->joinGame(false, "10.0.0.5:1234", true, QString());
        h.client->abortAction();
        h.client->joinGame(false, "10.0.0.5", false, QString());
        h.client->abortAction();
        QCOMPARE(h.master->callsOf("queryServer"),
                 (Calls{{"10.0.0.5", 1234}, {"10.0.0.5", 27403}}));
        QCOMPARE(h.events.first(), base(GuiState::NoState,
                                        "Connecting to 10.0.0.5:1234...\n\nPress 'ESC' to abort."));
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

        h.client->joinGame(false, "10.0.0.5:1234", false, QString());
        h.answerProbe("Beta 0.92", "10.0.0.9", 27403);  // a server-list answer
        QCOMPARE(h.eventsOf("server").last(), "server 10.0.0.9");
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
        Q_EMIT h.tcp->errorOccured(-1, ConnectionInterface::WrongPassword);

        h.client->joinGame(true, "USEOLDONE", true, "Pright");
        h.answerProbe("Beta 0.92", "10.0.0.5", 1234, true, 3);
        h.clearLog();
        h.establish(1, false);
        QCOMPARE(h.events.first(), "resetGui T 3 T F F 1");  // the probe's player limit
    }

    void everyConnectionErrorText_data() {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("text");
        const QString server = "error F The server '10.0.0.5:27403' ";
        const QString lost = "error T The connection to the server was lost.";
        QTest::newRow("init") << 0 << "error F The connection could not be initialized.";
        QTest::newRow("not found") << 1 << server + "could not be found.";
        QTest::newRow("refused") << 2 << server + "could not be found.";
        QTest::newRow("full") << 3 << server + "is already full.";
        QTest::newRow("password") << 4 << server + "did not accept your password.";
        QTest::newRow("lost") << 5 << lost;
        QTest::newRow("timeout") << 6 << lost;
        QTest::newRow("loss") << 7 << lost;
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

    void kicksShutdownsAndLeaving() {
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
        QCOMPARE(h.stopped, 1);
        QCOMPARE(h.udp->callsOf("disconnectClient"), (Calls{{-1, true}}));

        ClientHarness guest;
        guest.joinAndEstablish("10.0.0.5", 1);
        guest.clearLog();
        Q_EMIT guest.udp->serverShutdown(0);
        Q_EMIT guest.tcp->serverShutdown(0);  // the other connection's copy
        QCOMPARE(guest.events, (QStringList{"error T The server was shut down.", "resetChat"}));

        ClientHarness leaver;
        leaver.joinAndEstablish("10.0.0.5", 1);
        leaver.client->endGame();
        QCOMPARE(leaver.tcp->callsOf("disconnectClient"), (Calls{{-1, false}}));
        leaver.clearLog();
        Q_EMIT leaver.tcp->connectionClosed(1);
        QCOMPARE(leaver.events, (QStringList{"resetChat", base(GuiState::MainMenu)}));
        leaver.clearLog();
        leaver.client->endGame();  // idle
        QCOMPARE(leaver.events, (QStringList{"resetChat", base(GuiState::MainMenu)}));
        leaver.joinAndEstablish("10.0.0.5", 1);
        leaver.clearLog();
        Q_EMIT leaver.tcp->connectionClosed(1);  // closed by the server unasked
        QCOMPARE(leaver.events,
                 (QStringList{"error T The connection to the server was lost.", "resetChat"}));
    }

    void quittingWaitsForTheGoodbye() {
        ClientHarness h;
        h.hostSingle();
        h.clearLog();
        h.client->endProgramm();
        QCOMPARE(h.events, QStringList{base(GuiState::Notice, "Disconnecting...")});
        QVERIFY(h.quits.isEmpty() && h.stopped == 0);
        Q_EMIT h.tcp->connectionClosed(0);
        Q_EMIT h.udp->connectionClosed(-1);  // already closed: nothing more
        QCOMPARE(h.quits, QList<int>{0});
        QCOMPARE(h.stopped, 1);

        ClientHarness guest;  // quitting while the server goes away still quits
        guest.joinAndEstablish("10.0.0.5", 1);
        guest.client->endProgramm();
        Q_EMIT guest.tcp->serverShutdown(0);
        QCOMPARE(guest.quits, QList<int>{0});
    }

    void abortWhileConnectingProbingOrCheckingTheMaster() {
        ClientHarness h;
        h.client->hostGame({.hosting = {.name = "Local",
                                        .ranked = true,
                                        .usePassword = false,
                                        .password = "P",
                                        .maxPlayers = 1,
                                        .port = 27403},
                            .singleplayer = true});
        h.clearLog();
        h.client->abortAction();
        h.client->abortAction();  // nothing left to abort
        QCOMPARE(h.events, (QStringList{"resetChat", base(GuiState::NoState), "last"}));
        QCOMPARE(h.tcp->callsOf("disconnectClient"), (Calls{{-1, true}}));
        QCOMPARE(h.stopped, 1);

        h.client->joinGame(false, "10.0.0.5", false, QString());
        h.client->abortAction();
        h.answerProbe("Beta 0.92", "10.0.0.5", 27403);  // now only a list entry
        QCOMPARE(h.tcp->count("connectWithHello"), 0);
        QCOMPARE(h.eventsOf("server"), QStringList{"server 10.0.0.5"});

        ClientHarness open(QString(), kMasterIni);
        open.client->hostGame({.hosting = {.name = "Open",
                                           .ranked = true,
                                           .usePassword = false,
                                           .password = "P",
                                           .maxPlayers = 4,
                                           .port = 27403}});
        open.client->abortAction();
        Q_EMIT open.master->masterserverOnline(-1);
        QCOMPARE(open.stopped, 1);
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

    void playerTableJoinAndLeaveLines() {
        ClientHarness h;
        h.joinAndEstablish("10.0.0.5", 1);
        h.clearLog();
        h.playerList({{0, "Ann", 2}, {1, "Player1", 2}});  // the first list announces nobody
        // A splitscreen pair is two entries of one connection; a third entry has
        // no slot, ids outside the table are ignored, our own id is never announced.
        h.playerList({{0, "Ann", 2},
                      {1, "Player1", 2},
                      {2, "Cid", 2},
                      {2, "Dora", 2},
                      {2, "Eve", 2},
                      {7, "Fay", 2},
                      {-5, "Gus", 2}});
        h.playerList({{0, "Ann", 2}, {1, "Player1", 2}, {2, "Cid", 2}, {2, "Dora", 2}});
        QCOMPARE(h.events.first(), "players 0,1,-1,-1 Ann,Player1,, -1,-1,-1,-1 2,2,0,0");
        QCOMPARE(h.eventsOf("chat"), (QStringList{"chat -3 Cid has joined the game.",
                                                  "chat -3 Dora has joined the game."}));
        h.clearLog();
        Q_EMIT h.tcp->changedCPlayerDisconnect(2);
        Q_EMIT h.tcp->changedCPlayerDisconnect(2);                        // names already gone
        Q_EMIT h.tcp->changedCPlayerDisconnect(9);                        // no such row
        h.playerList({{0, "Ann", 2}, {1, "Player1", 2}, {2, "Cid", 2}});  // back again
        QCOMPARE(h.events.mid(0, 4), (QStringList{"remove 2", "chat -4 Cid has left the game.",
                                                  "chat -4 Dora has left the game.", "remove 2"}));
        QCOMPARE(h.eventsOf("chat").last(), "chat -3 Cid has joined the game.");

        // Once playing, a list cannot move the own status (only game events do).
        h.client->setReady();
        h.playerList({{0, "Ann", 4}, {1, "Player1", 4}});
        h.playerList({{0, "Ann", 4}, {1, "Player1", 2}});
        QCOMPARE(h.client->state(), int(GamePlayer::Playing));
    }

    void lateJoinerBuildsTheFieldFromTheImage() {
        ClientHarness h;
        h.joinAndEstablish("10.0.0.5", 1);
        QByteArray field(24 * 25 / 2, '\x77');
        field[0] = '\x71';    // column 1, row 0: colour 0
        field[13] = '\x37';   // column 2, row 1: colour 2
        field[299] = '\x16';  // columns 22 and 23 of row 24: colours 0 and 5
        h.clearLog();
        Q_EMIT h.udp->changedCGameState(24, true, 340, "00:02:10", field,
                                        {{5, 1, 2, 100, 1000, 1}, {6, 2, 3, 300, 1100, 0}});
        QCOMPARE(h.events,
                 (QStringList{"fieldsize 24", "resetGui F 4 F F T 1",
                              "base 20 Waiting for other game to finish...", "playtime start",
                              "rotation T", "score 340 T", "playtime text 00:02:10 T", "field 24",
                              "block 5", "block 6", "base 20 Game paused...", "playtime pause T"}));
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        const GameBlock& f = *h.mirror.block(0);
        QCOMPARE(f.fieldsizeX(), 24);
        const std::vector<std::array<int, 3>> expected{
            {50, 0, 0}, {100, 50, 2}, {1100, 1200, 0}, {1150, 1200, 5}};
        QCOMPARE(f.boxes().size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const GameBox& box = f.boxes()[i];
            QCOMPARE((std::array<int, 3>{box.x(3), box.y(3), box.colour()}), expected[i]);
            QVERIFY(box.x(0) == box.x(3) && box.y(1) == box.y(3));
        }
        QCOMPARE(FieldImage::pack(f, 24), field);  // the image these boxes make
        QVERIFY(h.mirror.block(5) && h.mirror.block(6));
    }

    void blocksMovementsAndPingsPassUnchanged() {
        ClientHarness h;
        h.hostSingle();
        Q_EMIT h.udp->changedCGameStart(0, 36, 3);
        Q_EMIT h.udp->changedCNewBlock(7, 2, 4, 150, 1250, 3);
        const GameBlock& b = *h.mirror.block(7);
        QCOMPARE(
            (QList<int>{b.id(), b.colour(), b.kind(), b.x(), b.y(), b.rotation(), b.fieldsizeX()}),
            (QList<int>{7, 2, 4, 150, 1250, 3, 36}));
        Q_EMIT h.udp->changedCMoveBlocks({{7, 200, 1200, 0}}, {7, 8});
        QCOMPARE((QList<int>{b.x(), b.y(), b.rotation()}), (QList<int>{200, 1200, 0}));
        Q_EMIT h.udp->changedCMergeBlocks({{7, 200, 0, 0}});
        Q_EMIT h.udp->changedCPinglist({0, 2}, {15, 999});
        Q_EMIT h.udp->changedCMessage(-1, "ignored");
        Q_EMIT h.udp->changedCMessage(-2, "ignored");
        Q_EMIT h.udp->changedCMessage(2, "hi  there");
        QCOMPARE(h.events.mid(h.events.size() - 6),
                 (QStringList{"move 1 7,8", "merge 1", "pings 0,2 15,999",
                              "chat -1 Stats successfully uploaded.",
                              "chat -2 The stats could not be sended.", "chat 2 hi  there"}));
    }

    void settingsDefaultsAndStoredValues() {
        ClientHarness h;
        const ClientSettings& s = h.client->settings();
        QCOMPARE(s.options.name1 + s.options.name2, "Player1Player2");
        QVERIFY(s.options.color1 == -1 && s.options.color2 == -1 && s.options.quality == 2);
        QVERIFY(s.options.showIntro && s.options.showPointer && s.options.enableStatsSP &&
                s.options.playSounds && s.options.enableVSync && s.options.showPreview == 1);
        QVERIFY(!s.options.showFPS && !s.options.invertControl && !s.options.ignoreColors);
        QVERIFY(s.options.resWidth == 0 && s.options.resHeight == 0);
        QVERIFY(s.hosting.name == "Quadrell-Server" && s.hosting.ranked && !s.hosting.usePassword &&
                s.hosting.password.isEmpty());
        QVERIFY(s.hosting.maxPlayers == 4 && s.hosting.port == 27403);
        QVERIFY(s.cache.ip == "..." && s.cache.filter == 0);
        QVERIFY(!QFile::exists(h.path("settings.ini")));  // reading creates nothing

        ClientHarness stored(
            "[Client]\nPlayer1\\Name=Zoe\nPlayer1\\Color=4\n"
            "General\\ShowFPS=true\nVideo\\ResWidth=1280\n"
            "[Server]\nGeneral\\Name=Den of Zoe\nGeneral\\Port=28000\n"
            "[Cache]\nGeneral\\IP=10.1.1.1:5\nGeneral\\Filter=6\n");
        const ClientSettings& t = stored.client->settings();
        QVERIFY(t.options.name1 == "Zoe" && t.options.color1 == 4 && t.options.showFPS);
        QVERIFY(t.options.resWidth == 1280 && t.hosting.name == "Den of Zoe");
        QVERIFY(t.hosting.port == 28000 && t.cache.ip == "10.1.1.1:5" && t.cache.filter == 6);
    }

    void namesAreMadeSafeBeforeTheyTravel() {
        QCOMPARE(PlayerNames::sanitised("Ann Lee"), "Ann_Lee");
        QCOMPARE(PlayerNames::sanitised(" a\tb\r\nc "), "a_b__c");
        QCOMPARE(PlayerNames::sanitised("ABCDEFGHIJKLMNOP"), "ABCDEFGHIJKL");
        QCOMPARE(PlayerNames::sanitised("  ", "Player1"), "Player1");
        QCOMPARE(PlayerNames::sanitised(QString(11, 'x') + QString::fromUtf8("\xF0\x9F\x98\x80")),
                 QString(11, 'x'));  // no half character at the cut
        QCOMPARE(PlayerNames::sanitisedServerName(" Den\tof\nZoe "), "Den of Zoe");

        ClientHarness h("[Client]\nPlayer1\\Name=Ann Lee\n");
        setOptions(*h.client, "Solo", "Duo");  // not connected: nothing sent
        QCOMPARE(h.tcp->count("sendCPlayers"), 0);
        h.joinAndEstablish("10.0.0.5", 1);
        setOptions(*h.client, "Bo b", "  ");
        h.client->setColors(5, 0);
        const Calls sent = h.tcp->callsOf("sendCPlayers");
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent[1].at(1), QVariant(QStringList{"Bo_b", ""}));
        QCOMPARE(sent[2].at(2), QVariant(QVariantList{5, -1}));
        QSettings file(h.path("settings.ini"), QSettings::IniFormat);
        QCOMPARE(file.value("Client/Player1/Name").toString(), "Bo_b");
        QCOMPARE(file.value("Client/Player2/Name").toString(), "Player2");
    }

    void savingKeepsEveryOtherKey() {
        ClientHarness h(
            "[Client]\nPlayer1\\Name=Zoe\nGeneral\\Theme=dark\n"
            "[Server]\nGeneral\\Name=Den\n[Cache]\nGeneral\\IP=10.1.1.1\n"
            "[Plugins]\nSomething\\Else=42\n");
        setOptions(*h.client, "Zed", "Yan");
        h.client->setColors(1, 2);
        h.client->setLastFilter(5);
        h.client->hostGame({.hosting = {.name = "Another",
                                        .ranked = true,
                                        .usePassword = false,
                                        .password = "P",
                                        .maxPlayers = 3,
                                        .port = 27500}});
        h.client.reset();

        QSettings file(h.path("settings.ini"), QSettings::IniFormat);
        QCOMPARE(file.value("Client/General/Theme").toString(), "dark");
        QCOMPARE(file.value("Plugins/Something/Else").toInt(), 42);
        QCOMPARE(file.value("Cache/General/IP").toString(), "10.1.1.1");
        QCOMPARE(file.value("Cache/General/Filter").toInt(), 5);
        QCOMPARE(file.value("Server/General/MaxPlayers").toInt(), 3);
        QCOMPARE(file.value("Client/Video/ResWidth").toUInt(), 1920u);
        QCOMPARE(file.value("Client/Player2/Color").toInt(), 2);
        ClientSettings again(h.dir.path());  // the next start reads it all back
        QVERIFY(again.options.name1 == "Zed" && again.options.name2 == "Yan");
        QVERIFY(again.options.color1 == 1 && again.options.resHeight == 1080);
        QVERIFY(again.options.invertControl && !again.options.playSounds);
        QVERIFY(again.options.quality == 1 && again.hosting.name == "Another");
        QVERIFY(again.hosting.port == 27500);
    }

    void unwritableSettingsShowTheTextsAndKeepTheValues() {
        ClientHarness h;
        // A directory in the file's place cannot be written, even by root.
        QVERIFY(QDir(h.dir.path()).mkdir("settings.ini"));
        setOptions(*h.client, "Kept", "Duo");
        h.client->setColors(3, 4);
        QCOMPARE(h.eventsOf("error"), (QStringList{kOptionsLost, kOptionsLost}));
        QCOMPARE(h.client->settings().options.name1, "Kept");
        QCOMPARE(h.client->settings().options.color1, 3);
        h.clearLog();
        h.client->setLastFilter(3);  // the cache is written without a check
        h.client->hostGame({.hosting = {.name = "Open",
                                        .ranked = true,
                                        .usePassword = false,
                                        .password = "P",
                                        .maxPlayers = 4,
                                        .port = 27403}});
        QCOMPARE(h.eventsOf("error").first(),
                 "error F The server settings could not be saved and will be reset at the "
                 "next start.");
        QCOMPARE(h.started.size(), std::size_t(1));  // hosting goes on

        if (::geteuid() != 0) {  // file modes bind everybody but root
            ClientHarness ro("[Client]\nPlayer1\\Name=Zoe\n");
            QFile::setPermissions(ro.path("settings.ini"), QFile::ReadOwner);
            setOptions(*ro.client, "Kept", "Duo");
            QCOMPARE(ro.eventsOf("error"), QStringList{kOptionsLost});
        }
    }

    void lineFormatAndChecksum() {
        const QByteArray line = HighscoreFile::line(kWhen, 120, 5, "00:01:40", {"Ann", "Ben Lee"});
        const QString sum = GameResult::checksum(120, 5, "00:01:40", 2, "Ann Ben_Lee");
        QCOMPARE(line,
                 ("2011-03-05T18:04:11 120 5 00:01:40 2 Ann Ben_Lee Quadrell Beta 0.92 " + sum)
                     .toUtf8());
        // SHA-1 over "120500:01:402 Ann Ben_Lee" and the salt, in lower-case hex.
        QCOMPARE(sum, QString::fromLatin1(QCryptographicHash::hash(
                                              "120500:01:402 Ann Ben_LeeSalt text for every digest",
                                              QCryptographicHash::Sha1)
                                              .toHex()));
        QVERIFY(GameResult(120, 5, "00:01:40", "x", 2, "Ann Ben_Lee", sum).valid());
        QVERIFY(!GameResult(121, 5, "00:01:40", "x", 2, "Ann Ben_Lee", sum).valid());
        QVERIFY(!GameResult(120, 5, "00:01:40", "x", 1, "Ann Ben_Lee", sum).valid());
        QVERIFY(!GameResult(120, 5, "00:01:40", "x", 2, "Ann Ben_Lee", sum.toUpper()).valid());
    }

    // One list per player count, highest score first, earlier lines first among equals.
    void appendedLinesReadBackInOrder() {
        QTemporaryDir dir;
        HighscoreFile file(dir.path(), [] { return kWhen; });
        for (const auto& [score, name] :
             {std::pair{30, "first"}, std::pair{90, "top"}, std::pair{30, "second"},
              std::pair{10, "low"}, std::pair{30, "third"}}) {
            QVERIFY(file.append(score, 2, "00:00:01", {name}));
        }
        QVERIFY(file.append(70, 3, "00:00:40", {"Ann", "Ben"}));
        QVERIFY(file.append(90, 4, "00:00:50", {"A", "B", "C", "D"}));
        QFile raw(file.filePath());
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QCOMPARE(raw.readAll().count("\r\n"), 7);

        const HighscoreFile::Lists lists = file.read();
        QCOMPARE(entries(lists), (QStringList{"1:90 top", "1:30 first", "1:30 second", "1:30 third",
                                              "1:10 low", "2:70 Ann Ben", "4:90 A B C D"}));
        const GameResult& four = *lists[3].front();
        QVERIFY(four.lines() == 4 && four.playtime() == "00:00:50" && four.playerCount() == 4);
        QCOMPARE(four.isoDate(), "2011-03-05T18:04:11");
    }

    void missingEmptyTamperedAndMalformedLines() {
        QTemporaryDir dir;
        HighscoreFile file(dir.path(), [] { return kWhen; });
        QVERIFY(entries(file.read()).isEmpty());
        writeRaw(file.filePath(), QByteArray());
        QVERIFY(entries(file.read()).isEmpty());

        const QByteArray good = HighscoreFile::line(kWhen, 120, 5, "00:01:40", {"Ann"});
        QByteArray score = good;
        score.replace(" 120 ", " 190 ");
        QByteArray lines = good;
        lines.replace(" 5 ", " 6 ");
        // Written by hand with a spaced name and a checksum over that name.
        const QByteArray spaced =
            "2011-03-05T18:04:11 40 1 00:00:10 1 Ann Lee Quadrell Beta 0.92 " +
            GameResult::checksum(40, 1, "00:00:10", 1, "Ann Lee").toUtf8();
        const QByteArray countFive = "d 1 1 t 5 a b c d e Quadrell Beta 0.92 " +
                                     GameResult::checksum(1, 1, "t", 5, "a b c d e").toUtf8();
        const QByteArray countZero =
            "d 1 1 t 0 Quadrell Beta 0.92 " + GameResult::checksum(1, 1, "t", 0, "").toUtf8();
        writeRaw(file.filePath(), score + "\r\n" + lines + "\r\n" + spaced + "\r\n" + countFive +
                                      "\r\n" + countZero + "\r\nshort line\r\n\r\n" +
                                      QByteArray(3000, 'x') + "\r\n" + good + "\r\n");
        QCOMPARE(entries(file.read()), QStringList{"1:120 Ann"});

        QTemporaryDir other;
        QVERIFY(QDir(other.path()).mkdir("highscore.dat"));
        QVERIFY(!HighscoreFile(other.path()).append(1, 1, "00:00:01", {"Ann"}));
    }

    void highscoresMayLieApartFromSettings() {
        QTemporaryDir settings;
        QTemporaryDir scores;
        writeRaw(settings.filePath("settings.ini"), "[Client]\nPlayer1\\Name=Ann\n");
        Client::Environment env;
        env.directory = settings.path();
        env.highscoreDirectory = scores.path();
        const Client client(env);
        QCOMPARE(client.settings().options.name1, "Ann");
        QCOMPARE(client.highscores().filePath(), scores.filePath("highscore.dat"));
    }

    void lineEndingsAndLengthLimit() {
        QTemporaryDir dir;
        HighscoreFile file(dir.path(), [] { return kWhen; });
        const QByteArray line = HighscoreFile::line(kWhen, 7, 1, "00:00:02", {"Ann"});
        // A bare "\n", and a last line without any ending, keep their checksum.
        writeRaw(file.filePath(), line + "\n" + line);
        QCOMPARE(entries(file.read()), (QStringList{"1:7 Ann", "1:7 Ann"}));

        // The line appended after a last line without ending starts on its own
        // line, and four names of any length still make a line the reader accepts.
        const QString longName(400, QChar(0x00E9));
        QVERIFY(file.append(8, 1, QString(500, 't'), {longName, longName, longName, longName}));
        const QString cut(12, QChar(0x00E9));
        QCOMPARE(entries(file.read()),
                 (QStringList{"1:7 Ann", "1:7 Ann", "4:8 " + QStringList(4, cut).join(' ')}));
    }

    void displayForms() {
        const auto players = [](const QString& names) {
            return GameResult(1, 1, "t", "2011-03-05T18:04:11", int(names.count(' ') + 1), names,
                              QString())
                .players();
        };
        QCOMPARE(players("Ann"), "Ann");
        QCOMPARE(players("Ann Ben"), "Ann and Ben");
        QCOMPARE(players("Ann Ben Cid Dora"), "Ann, Ben, Cid and Dora");
        QCOMPARE(GameResult(1, 1, "t", "2011-03-05T18:04:11", 1, "A", QString()).date(),
                 QLocale::system().toString(kWhen, QLocale::ShortFormat));
        // A date that does not parse is shown as stored.
        QCOMPARE(GameResult(1, 1, "t", "yesterday", 1, "A", QString()).date(), "yesterday");
    }
};

QTEST_GUILESS_MAIN(TestClient)
#include "test_client.moc"
