// The Client's state machine on recording connections: host, join, lobby, leave, errors.
#include <QSettings>
#include <QTest>

#include "clientharness.h"
#include "game/playernames.h"

namespace {

const QString kReady = "Press 'r' when you are ready.";
const QString kMasterDown =
    "error F Starting server...\n\nThe masterserver could not be reached. Other players can "
    "only connect to you directly.";
const QString kMasterIni = "[Master]\nGeneral\\Address=127.0.0.1\n";
const QString kComputerKey = "\n\nPress 'c' to add a computer player.";

}  // namespace

class TestClient : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hostingSingleplayerReachesLobbyStreamFirst() {
        ClientHarness h;
        HostRequest mine = localGame(27555);
        mine.hosting.name = "My game";
        mine.hosting.openPort = true;  // kept from a network game; no router for a local one
        h.client->hostGame(mine);
        QCOMPARE(h.started.size(), std::size_t(1));
        const ServerSettings s = h.started.front();
        QVERIFY(s.name == "My game" && s.port == 27555 && s.maxPlayers == 1 && s.singleplayer &&
                s.stats && !s.usePassword && s.password.isEmpty() && s.hostKey >= 0 && !s.openPort);
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
        h.client->endGame();
        Q_EMIT h.tcp->connectionClosed(2);
        QCOMPARE(h.stopped, 1);  // the own server ends with the leave
        ClientHarness net(QString(), kMasterIni + "General\\Port=3001\n");
        HostRequest open = networkGame(27403, 4, "secret word");
        open.hosting.name = "Open game";
        open.hosting.ranked = false;
        open.hosting.openPort = false;  // the router is left alone
        open.hosting.listed = false;    // by invite code only
        net.client->hostGame(open);
        const ServerSettings& started = net.started.front();
        QVERIFY(started.password == "Psecret word" && !started.openPort && !started.listed);
        QCOMPARE(net.master->callsOf("connectToHost"), (Calls{{"127.0.0.1", 3001}}));
        QCOMPARE(net.master->callsOf("sendMasterTest"), (Calls{{true}}));
        QCOMPARE(net.tcp->count("connectWithHello"), 0);
        const QString ini = net.readFile("settings.ini");
        QVERIFY(ini.contains("General\\Name=Open game") &&
                ini.contains("General\\Password=secret word") && ini.contains("Ranked=false"));
        Q_EMIT net.master->masterserverOnline(-1);
        Q_EMIT net.master->masterserverOnline(-1);  // a late duplicate answer
        QCOMPARE(net.tcp->count("connectWithHello"), 1);
        QVERIFY(net.eventsOf("error").isEmpty());

        ClientHarness down(QString(), kMasterIni);  // unanswered: hosted anyway, with the notice
        down.client->hostGame(networkGame());
        Q_EMIT down.master->errorOccured(-1, ConnectionInterface::ConnectionLost);
        QCOMPARE(down.eventsOf("error"), QStringList{kMasterDown});
        down.establish(0, true);
        QCOMPARE(down.events.last(), base(GuiState::Lobby, kReady));
        ClientHarness none;  // no master address at all: the notice at once
        none.client->hostGame(networkGame());
        QCOMPARE(none.eventsOf("error"), QStringList{kMasterDown});
        QVERIFY(none.master->calls.isEmpty());
        QCOMPARE(none.tcp->count("connectWithHello"), 1);
    }

    void readyStartMenuAndLobbyTexts() {
        ClientHarness h;
        h.joinAndEstablish("10.0.0.5", 1);
        h.client->lobby().setReady();
        h.client->lobby().setReady();
        QCOMPARE(h.statusesSent(), (QStringList{"Waiting,-1", "Ready,-1", "Waiting,-1"}));
        h.client->lobby().setStart();  // no Ready needed in a network game
        QCOMPARE(h.tcp->count("sendCStart"), 1);
        h.client->lobby().setReady();
        h.client->lobby().setMenuOpen(true);   // the in-game menu unreadies until it is closed
        h.client->lobby().setMenuOpen(false);  // and closing it readies again
        h.client->lobby().setReady();
        h.client->lobby().setMenuOpen(true);  // opened while Waiting: stays Waiting
        h.client->lobby().setMenuOpen(false);
        QCOMPARE(h.statusesSent(), (QStringList{"Waiting,-1", "Ready,-1", "Waiting,-1", "Ready,-1",
                                                "Waiting,-1", "Ready,-1", "Waiting,-1"}));
        QCOMPARE(h.tcp->count("sendCPause"), 0);

        const QString notReady = "\n\nPress 'r' if you are not ready anymore.";
        h.client->lobby().setReady();
        h.playerList("0:Ann 1:Player1:Ready");
        QCOMPARE(h.events.last(), base(GuiState::Lobby, "Waiting for other players..."));
        h.playerList("0:Ann:Ready 1:Player1:Ready");
        QCOMPARE(h.events.last(),
                 base(GuiState::Lobby, "Waiting for the server to start the game..." + notReady));

        ClientHarness single;  // 's' alone readies first
        single.hostSingle();
        single.client->lobby().setStart();
        QCOMPARE(single.statusesSent(), (QStringList{"Waiting,-1", "Ready,-1"}));
        QCOMPARE(single.tcp->count("sendCStart"), 1);
        // Catches computers seated on a stranger's server, or beyond the free places.
        ClientHarness cpu;
        HostRequest three = networkGame(27403, 3);
        three.hosting.computers = 3;
        three.hosting.computerSkill = ComputerSkill::Hard;
        three.hosting.computerTakeover = false;
        cpu.client->hostGame(three);
        const ServerSettings s = cpu.started.front();
        QVERIFY(s.computers == 2 && s.computerSkill == ComputerSkill::Hard && !s.computerTakeover);
        cpu.client->addComputer();  // not in the lobby yet
        QCOMPARE(cpu.computersAdded, 0);
        cpu.establish(0, true);
        cpu.playerList("0:Player1 1:CPU_1:Ready");
        QCOMPARE(cpu.events.last(), base(GuiState::Lobby, kReady + kComputerKey));
        cpu.client->addComputer();
        QCOMPARE(cpu.computersAdded, 1);
        cpu.playerList("0:Player1 1:CPU_1:Ready 2:CPU_2:Ready");
        QCOMPARE(cpu.events.last(), base(GuiState::Lobby, kReady));  // full: no key to offer
        cpu.client->lobby().setReady();
        cpu.playerList("0:Player1:Ready 1:Ann:Ready");
        QCOMPARE(cpu.events.last(),
                 base(GuiState::Lobby, "Press 's' to start the game." + notReady + kComputerKey));

        ClientHarness guest;  // first on a stranger's server: its host, but not its program
        guest.joinAndEstablish("10.0.0.5", 0, true);
        guest.playerList("0:Player1");
        QCOMPARE(guest.events.last(), base(GuiState::Lobby, kReady));
        ClientHarness split("[Client]\nPlayer1\\Name=Ann\nPlayer2\\Name=Ben\nPlayer2\\Color=3\n");
        HostRequest two = localGame(27403, true);
        two.hosting.computers = 1;
        split.client->hostGame(two);
        QCOMPARE(split.started.front().computers, 0);  // both places are the players'
        split.establish(0, true);
        QCOMPARE(split.udp->callsOf("connectWithHello").front().at(2), QVariant(2));
        QCOMPARE(split.events.last(),
                 base(GuiState::Lobby, "Press 'r' when both players are ready."));
        QCOMPARE(split.tcp->last("sendCPlayers"),
                 (QVariantList{true, QStringList{"Ann", "Ben"}, QVariantList{-1, 3},
                               QVariantList{2, 2}}));
    }

    void joinsByInviteCode() {
        ClientHarness none;  // no master server to ask: said at once
        none.client->joinGame(false, "abcd-2345", false, QString());
        QVERIFY(none.events.contains(
            "error F Joining by invite code needs a master server (masterserver.ini)."));

        ClientHarness h(QString(), "[Master]\nGeneral\\Address=10.0.0.9\n");
        const QString nonce = "0123456789abcdef";
        h.client->joinGame(false, "abcd-2345", false, QString());
        QCOMPARE(h.master->callsOf("findInvite"), (Calls{{"ABCD2345"}}));
        Q_EMIT h.master->changedCInvite(-1, {nonce, "ABCD2345", false, {}, {}, "-", {}});
        QVERIFY(h.events.contains("error F No game has the invite code ABCD-2345."));

        // Found: the game is probed where the master server saw it, with the code, in the
        // order given (IPv6 first), the next way when one does not answer.
        h.client->joinGame(false, "ABCD2345", false, QString());
        Q_EMIT h.master->changedCInvite(-1, {nonce, "WXYZ6789", true, {}, {}, "-", {"10.0.0.4:1"}});
        Q_EMIT h.master->changedCInvite(-1, {nonce,
                                             "ABCD2345",
                                             true,
                                             {},
                                             {},
                                             "-",
                                             {"junk", "[2001:db8::5]:27413", "10.0.0.5:27413"}});
        Q_EMIT h.master->changedCServerUnreachable(-1, "2001:db8::5", 27413);
        QCOMPARE(
            h.master->callsOf("queryInvitedServer"),
            (Calls{{"2001:db8::5", 27413, "ABCD2345", 0}, {"10.0.0.5", 27413, "ABCD2345", 0}}));
        // Unreachable for the master server too and no way answering: the player is told why.
        ClientHarness far(QString(), "[Master]\nGeneral\\Address=10.0.0.9\n");
        far.client->joinGame(false, "ABCD-2345", false, QString());
        Q_EMIT far.master->changedCInvite(-1, {nonce,
                                               "ABCD2345",
                                               true,
                                               PayloadCodec::Reach::No,
                                               PayloadCodec::Reach::No,
                                               "-",
                                               {"10.0.0.5:27413"}});
        Q_EMIT far.master->changedCServerUnreachable(-1, "10.0.0.5", 27413);
        QVERIFY(
            far.events.contains("error F The game of invite code ABCD-2345 cannot be reached "
                                "from the internet: its host's router lets nobody in. Only "
                                "players on the host's network can join."));
        h.answerProbe("10.0.0.5", 27413);
        QCOMPARE(h.tcp->callsOf("connectWithHello").size(), 1);
        QCOMPARE(h.tcp->callsOf("connectWithHello").front().mid(0, 2),
                 (QVariantList{"10.0.0.5", 27413}));

        // Punched: probed and joined from the port the lookup left from, the
        // stream at the port the game opened it from; a stream that does not
        // come through goes the next way, the relay, from any port.
        ClientHarness p(QString(), "[Master]\nGeneral\\Address=10.0.0.9\n");
        p.client->joinGame(false, "ABCD2345", false, QString());
        PayloadCodec::InviteAnswer punched{
            nonce, "ABCD2345", true, {}, {}, "-", {"11.0.0.5:40001+27403", "9.9.9.9:50001/50002"}};
        punched.localPort = 5000;
        Q_EMIT p.master->changedCInvite(-1, punched);
        QCOMPARE(p.master->callsOf("queryInvitedServer"),
                 (Calls{{"11.0.0.5", 27403, "ABCD2345", 5000}}));
        p.answerProbe("11.0.0.5", 27403);
        QCOMPARE(p.tcp->last("setLocalPort"), QVariantList{5000});
        QCOMPARE(p.tcp->last("connectWithHello").mid(0, 2), (QVariantList{"11.0.0.5", 40001}));
        Q_EMIT p.tcp->errorOccured(-1, ConnectionInterface::HostNotFound);
        QCOMPARE(p.master->last("queryInvitedServer"),
                 (QVariantList{"9.9.9.9", 50002, "ABCD2345", 0}));
        p.answerProbe("9.9.9.9", 50002);
        QCOMPARE(p.tcp->last("setLocalPort"), QVariantList{0});
        QCOMPARE(p.tcp->last("connectWithHello").mid(0, 2), (QVariantList{"9.9.9.9", 50001}));
    }

    void joinAddressesNamesAndProbes() {
        ClientHarness h;
        h.client->joinGame(false, "10.0.0.5:1234", true, QString());
        h.client->abortAction();
        h.client->joinGame(false, "10.0.0.5", false, QString());
        h.client->abortAction();
        h.client->joinGame(false, "[2001:db8::5]:1234", false, QString());
        h.client->abortAction();
        h.client->joinGame(false, "2001:db8::5", false, QString());
        h.client->abortAction();
        QCOMPARE(h.master->callsOf("queryServer"), (Calls{{"10.0.0.5", 1234},
                                                          {"10.0.0.5", 27403},
                                                          {"2001:db8::5", 1234},
                                                          {"2001:db8::5", 27403}}));
        QCOMPARE(h.events.first(), base(GuiState::NoState,
                                        "Connecting to 10.0.0.5:1234...\n\nPress 'ESC' to abort."));
        QVERIFY(h.readFile("settings.ini").contains("IP=10.0.0.5:1234"));

        // A port must be one: at once, no probe and no look-up.
        for (const char* bad : {"10.0.0.5:port", "10.0.0.5:0", "10.0.0.5:65536", ":27403",
                                "[2001:db8::5]:0", "example.org:0"}) {
            h.clearLog();
            h.client->joinGame(false, bad, false, QString());
            QCOMPARE(h.events.size(), 4);
            QCOMPARE(h.events.mid(2), (QStringList{base(GuiState::NoState), "last"}));
        }
        QCOMPARE(h.events.at(1), "error F The server 'example.org:0' could not be found.");
        QCOMPARE(h.master->count("queryServer"), 0);
        QVERIFY(h.names.asked.isEmpty());

        h.client->joinGame(false, "10.0.0.5:1234", false, QString());
        h.clearLog();
        Q_EMIT h.master->changedCServerUnreachable(-1, "10.0.0.5", 1234);
        QCOMPARE(h.events, (QStringList{"error F The server '10.0.0.5:1234' could not be found.",
                                        "resetChat", base(GuiState::NoState), "last"}));
        QCOMPARE(h.tcp->count("connectWithHello"), 0);

        // Names are looked up without blocking; late answers after Escape or a newer join go.
        h.clearLog();
        h.client->joinGame(false, "game.example:1234", false, QString());
        QCOMPARE(h.names.asked, QStringList{"game.example"});
        QCOMPARE(h.master->count("queryServer"), 0);
        h.names.answer({QHostAddress("::1"), QHostAddress("10.0.0.7")});
        QCOMPARE(h.master->callsOf("queryServer"), (Calls{{"10.0.0.7", 1234}}));
        h.client->abortAction();

        h.clearLog();
        h.client->joinGame(false, "nowhere.example", false, QString());
        h.names.answer({});
        QCOMPARE(h.events.mid(1),
                 (QStringList{"error F The server 'nowhere.example:27403' could not be found.",
                              base(GuiState::NoState), "last"}));

        h.client->joinGame(false, "slow.example", false, QString());
        h.clearLog();
        h.client->abortAction();
        QCOMPARE(h.events, (QStringList{"resetChat", base(GuiState::NoState), "last"}));
        h.names.answer({QHostAddress("10.0.0.8")});
        h.client->joinGame(false, "old.example", false, QString());
        h.client->joinGame(false, "new.example", false, QString());
        h.names.answer({QHostAddress("10.0.0.1")});
        h.names.answer({QHostAddress("10.0.0.2")});
        QCOMPARE(h.master->callsOf("queryServer"), (Calls{{"10.0.0.2", 27403}}));
        ClientHarness pw;
        pw.client->joinGame(true, "10.0.0.5:1234", true, QString());
        pw.clearLog();
        pw.answerProbe("10.0.0.5", 1234, true, 3);
        QCOMPARE(pw.events, (QStringList{"resetChat", "top PasswordMenu "}));
        pw.client->joinGame(true, "USEOLDONE", true, "Pwrong");
        QVERIFY(pw.readFile("settings.ini").contains("IP=10.0.0.5:1234"));  // cache untouched
        pw.answerProbe("10.0.0.5", 1234, true, 3);
        QCOMPARE(pw.tcp->callsOf("connectWithHello"),
                 (Calls{{"10.0.0.5", 1234, 2, -1, "Pwrong", -1}}));
        Q_EMIT pw.tcp->errorOccured(-1, ConnectionInterface::WrongPassword);

        pw.client->joinGame(true, "USEOLDONE", true, "Pright");
        pw.answerProbe("10.0.0.5", 1234, true, 3);
        pw.clearLog();
        pw.establish(1, false);
        QCOMPARE(pw.events.first(), "resetGui T 3 T F F 1");  // the probe's player limit
    }

    // Each error code, in order, and what the player reads; kicks, shutdowns, leaving, quitting
    // and aborting.
    void everyWayAConnectionEnds() {
        const QString server = "error F The server '10.0.0.5:27403' ";
        const QString lost = "error T The connection to the server was lost.";
        QStringList texts{"error F The connection could not be initialized."};
        texts << server + "could not be found." << server + "could not be found."
              << server + "is already full." << server + "did not accept your password." << lost
              << lost << lost;
        for (int error = 0; error < texts.size(); ++error) {
            const QString& text = texts[error];
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
        ClientHarness h;
        h.client->lobby().kickPlayer(2);  // not connected: nothing to send
        h.hostSingle();
        h.playerList("0:Player1 1:Ann 1:Ben");
        h.client->lobby().kickPlayer(1);
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

        ClientHarness quitter;  // quitting waits for the goodbye
        quitter.hostSingle();
        quitter.clearLog();
        quitter.client->endProgramm();
        QCOMPARE(quitter.events, QStringList{base(GuiState::Notice, "Disconnecting...")});
        QVERIFY(quitter.quits.isEmpty() && quitter.stopped == 0);
        Q_EMIT quitter.tcp->connectionClosed(0);
        Q_EMIT quitter.udp->connectionClosed(-1);  // already closed: nothing more
        QCOMPARE(quitter.quits, QList<int>{0});
        QCOMPARE(quitter.stopped, 1);
        guest.joinAndEstablish("10.0.0.5", 1);  // quitting while the server goes away still quits
        guest.client->endProgramm();
        Q_EMIT guest.tcp->serverShutdown(0);
        QCOMPARE(guest.quits, QList<int>{0});
        ClientHarness early;  // aborted while connecting, probing or checking the master
        early.client->hostGame(localGame(27403));
        early.clearLog();
        early.client->abortAction();
        early.client->abortAction();  // nothing left to abort
        QCOMPARE(early.events, (QStringList{"resetChat", base(GuiState::NoState), "last"}));
        QCOMPARE(early.tcp->callsOf("disconnectClient"), (Calls{{-1, true}}));
        QCOMPARE(early.stopped, 1);

        early.client->joinGame(false, "10.0.0.5", false, QString());
        early.client->abortAction();
        early.answerProbe("10.0.0.5", 27403);  // now only a list entry
        QCOMPARE(early.tcp->count("connectWithHello"), 0);

        ClientHarness open(QString(), kMasterIni);
        open.client->hostGame(networkGame());
        open.client->abortAction();
        Q_EMIT open.master->masterserverOnline(-1);
        QCOMPARE(open.stopped, 1);
        QCOMPARE(open.tcp->count("connectWithHello"), 0);
    }

    void lobbyLinesChatPingsAndPlayers() {
        ClientHarness h;
        h.joinAndEstablish("10.0.0.5", 1);
        h.clearLog();
        h.client->lobby().sendMessage(1, "hello  there ");
        QCOMPARE(h.udp->callsOf("sendCMessage"), (Calls{{true, 1, "hello  there "}}));
        Q_EMIT h.udp->changedCPinglist({{0, 2}, {15, 999}});
        Q_EMIT h.udp->changedCMessage({-1, "ignored"});
        Q_EMIT h.udp->changedCMessage({-2, "ignored"});
        Q_EMIT h.udp->changedCMessage({2, "hi  there"});
        QCOMPARE(h.events,
                 (QStringList{"pings 0,2 15,999", "chat -1 Stats successfully uploaded.",
                              "chat -2 The stats could not be sended.", "chat 2 hi  there"}));

        h.clearLog();
        h.playerList("0:Ann 1:Player1");  // the first list announces nobody
        // Pairs share a connection; extra entries, foreign ids and our own go unannounced.
        h.playerList("0:Ann 1:Player1 2:Cid 2:Dora 2:Eve 7:Fay -5:Gus");
        h.playerList("0:Ann 1:Player1 2:Cid 2:Dora");
        QCOMPARE(h.events.first(), "players 0,1,-1,-1 Ann,Player1,, -1,-1,-1,-1 2,2,0,0");
        QCOMPARE(h.eventsOf("chat"), (QStringList{"chat -3 Cid has joined the game.",
                                                  "chat -3 Dora has joined the game."}));
        h.clearLog();
        Q_EMIT h.tcp->changedCPlayerDisconnect(2);
        Q_EMIT h.tcp->changedCPlayerDisconnect(2);  // names already gone
        Q_EMIT h.tcp->changedCPlayerDisconnect(9);  // no such row
        h.playerList("0:Ann 1:Player1 2:Cid");      // back again
        QCOMPARE(h.events.mid(0, 4), (QStringList{"remove 2", "chat -4 Cid has left the game.",
                                                  "chat -4 Dora has left the game.", "remove 2"}));
        QCOMPARE(h.eventsOf("chat").last(), "chat -3 Cid has joined the game.");

        // Once playing, a list cannot move the own status (only game events do).
        h.client->lobby().setReady();
        h.playerList("0:Ann:Playing 1:Player1:Playing");
        h.playerList("0:Ann:Playing 1:Player1");
        QCOMPARE(h.client->state(), int(GamePlayer::Playing));
        QCOMPARE(PlayerNames::sanitised(" a\tb\r\nc "), "a_b__c");
        QCOMPARE(PlayerNames::sanitised(QString(11, 'x') + QString::fromUtf8("\xF0\x9F\x98\x80")),
                 QString(11, 'x'));  // no half character at the cut
        QCOMPARE(PlayerNames::sanitisedServerName(" Den\tof\nZoe "), "Den of Zoe");

        ClientHarness ann("[Client]\nPlayer1\\Name=Ann Lee\n");
        ann.setOptions("Solo", "Duo");  // not connected: nothing sent
        QCOMPARE(ann.tcp->count("sendCPlayers"), 0);
        ann.joinAndEstablish("10.0.0.5", 1);
        ann.setOptions("Bo b", "  ");
        ann.client->setColors(5, 0);
        const Calls sent = ann.tcp->callsOf("sendCPlayers");
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent[1].at(1), QVariant(QStringList{"Bo_b", ""}));
        QCOMPARE(sent[2].at(2), QVariant(QVariantList{5, -1}));
        QSettings file(ann.path("settings.ini"), QSettings::IniFormat);
        QCOMPARE(file.value("Client/Player1/Name").toString(), "Bo_b");
        QCOMPARE(file.value("Client/Player2/Name").toString(), "Player2");
    }
};

QTEST_GUILESS_MAIN(TestClient)
#include "test_client.moc"
