// Menus and input without a widget: what each entry sends, on a clock moved by hand.
#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include "guifixture.h"

class TestGuiMenus : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void menusEmitWhatTheClientNeeds_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<GuiState>("top");
        const auto row = [](const char* name, const QString& script, const QStringList& events,
                            GuiState top = GuiState::Notice) {
            QTest::newRow(name) << script << events << top;
        };
        row("singleplayer", "Enter", {"host '' 27403 4 T F T T '' 0 normal T F F"});
        row("splitscreen local", "Down Down Enter Enter",
            {"host '' 27403 4 T T T T '' 0 normal T F F"});
        row("host skips the password while it is off", "Down Enter Enter Down*10 Enter",
            {"host Quadrell-Server 27403 4 F F T F P 0 normal T T T"});
        row("host seats computers as far as places are free, router left alone, invite only",
            "Down Enter Enter Down*3 Left Left Down Down Enter Down Enter Down Left*3 Down Right "
            "Right Down Enter Down Enter",
            {"host Quadrell-Server 27403 2 F F T F P 1 easy F F F"});
        row("splitscreen host of two has no place for computers",
            "Down Down Enter Down Enter Down Down Enter Down Enter type:pw Enter Down Right Down*4 "
            "Enter",
            {"host Quadrell-Server 27403 2 F T T T Ppw 0 normal T T T"});
        row("host back restores the values",
            "Down Enter Enter Down Enter Down*4 Right Down Enter Down*5 Enter Enter Up Up Enter",
            {"host Quadrell-Server 27403 4 F F T F P 0 normal T T T"});
        row("join direct", "Down Enter Down Down Enter Enter type:10.0.0.1:5000 Enter Down Enter",
            {"join F 10.0.0.1:5000 T ''"});
        row("join by host name",
            "Down Enter Down Down Enter Enter type:lan-party-server.games.example.org:27403 Enter "
            "Down Enter",
            {"join F lan-party-server.games.example.org:27403 T ''"});
        row("join escape restores the address",
            "Down Enter Down Down Enter Enter type:1.2.3.4 Enter Esc Down Down Enter Down Enter",
            {"join F ... T ''"});
        row("splitscreen server list", "Down Down Enter Down Down Enter", {"serverlist"},
            GuiState::ServerList);
        row("exit program", "Up Up Enter", {"close"}, GuiState::MainMenu);
        // A right click acts as a left click does on every screen; only values step backwards.
        const auto click = [](const char* script, int entry) {
            return QStringLiteral("%1 rclick:%2").arg(script).arg(entry);
        };
        const QString join = "Down Enter Down Down Enter";
        const QString password = join + " Down Enter Password";
        row("click options save", click("Up*3 Enter", MenuModel::kOptionsSave),
            {"options Player1 Player2 F 1 T F F 0 0 2 T T T F T"}, GuiState::MainMenu);
        row("click options back", click("Up*3 Enter", MenuModel::kOptionsBack), {},
            GuiState::MainMenu);
        row("click join", join + " rclick:1", {"join F ... T ''"});
        row("click join back", join + " rclick:2", {}, GuiState::MultiplayerMenu);
        row("click password join", password + " rclick:1",
            {"join F ... T ''", "join F USEOLDONE T P"});
        row("click password back", password + " rclick:2", {"join F ... T ''"}, GuiState::JoinMenu);
        row("click server list update", click("Down Enter Down Enter", ServerListModel::Update),
            {"serverlist", "serverlist"}, GuiState::ServerList);
        row("click server list back", click("Down Enter Down Enter", ServerListModel::Back),
            {"serverlist"}, GuiState::MultiplayerMenu);
        row("click host", "Down Enter Enter rclick:11",
            {"host Quadrell-Server 27403 4 F F T F P 0 normal T T T"});
    }

    void menusEmitWhatTheClientNeeds() {
        QFETCH(QString, script);
        QFETCH(QStringList, events);
        QFETCH(GuiState, top);
        GuiFixture f;
        f.play(script);
        QCOMPARE(f.events, events);
        QCOMPARE(f.top(), top);
    }

    void passwordScreenRetriesTheOldAddress() {
        GuiFixture f;
        f.play("Down Enter Down Down Enter Down Enter Password");
        f.play("Enter type:ab Enter Down Right Left Enter");
        QCOMPARE(f.events, (QStringList{"join F ... T ''", "join F USEOLDONE T Pab"}));
        QVERIFY(f.menus().joinPassword().isEmpty());
        f.stack().setNextGuiState(false);  // refused: back on the password screen
        f.play("Enter type:x Enter Esc");  // Escape acts like Back: empty, popped
        QVERIFY(f.menus().joinPassword().isEmpty() && f.top() == GuiState::JoinMenu);
    }

    void entriesSkippedWhereTheyCannotAct() {
        GuiFixture guest;
        guest.lobby(4, false, false, {0, 1});
        guest.stack().setBaseState(GuiState::Game, QString());
        guest.play("Esc Down");
        QCOMPARE(guest.menus().currentEntry(), 2);  // restart only for the host
        guest.play("Down Down Enter Up*4");
        QCOMPARE(guest.top(), GuiState::OptionsMenu);
        QCOMPARE(guest.menus().currentEntry(), 9);  // ranked play only from the main menu
        // Nor measuring the quality, over a game.
        QVERIFY(
            !guest.menus().menu(GuiState::OptionsMenu).entries[MenuModel::kOptionsMeasure].enabled);
        guest.menus().activate(MenuModel::kOptionsMeasure, MenuModel::Action::Enter);
        QCOMPARE(guest.events, QStringList{"menuOpen T"});

        GuiFixture host;
        host.lobby(4, false, true, {0, 1});
        host.stack().setBaseState(GuiState::Game, QString());
        host.play("Esc Down Enter");
        QCOMPARE(host.events, (QStringList{"menuOpen T", "restart"}));
        QCOMPARE(host.top(), GuiState::Game);
        GuiFixture alone;
        alone.lobby(4, false, true, {0, -1, -1, -1});
        alone.play("Down Enter");
        QCOMPARE(alone.menus().currentEntry(), 0);
        QVERIFY(alone.events.isEmpty());  // nobody to kick

        GuiFixture f;
        f.session().resetGui({true, 4, false, true, false, 0});
        f.stack().setBaseState(GuiState::Lobby, QString());
        f.key(Qt::Key_R);
        QVERIFY(f.events.isEmpty());  // keys wait 500 ms after entering the lobby
        f.lobby(4, false, true, {0, 2, -1, 1});
        f.play("Down Enter");
        f.play("S C D A A R");
        QCOMPARE(f.events, (QStringList{"kick 2", "start", "addComputer", "colors 0 -1",
                                        "colors -1 -1", "colors 5 -1", "ready"}));
        f.lobby(4, false, true, {0, 1}, GamePlayer::Ready);
        f.key(Qt::Key_D);  // colours change only while waiting
        QCOMPARE(f.events.size(), 7);

        GuiFixture visitor;
        visitor.lobby(4, false, false, {0, 1});
        visitor.play("C S");
        QVERIFY(visitor.events.isEmpty());  // seating and starting are the host's

        GuiFixture split;
        split.lobby(2, true, true, {0, 0});
        split.play("Down Enter Right");
        QCOMPARE(split.events, QStringList{"colors -1 0"});  // no kicking, arrows for player 2
        // Chat from the game menu: U is player 2's line; an empty line is not sent.
        split.play("Esc U");
        QCOMPARE(split.top(), GuiState::ChatInput);
        split.play("type:hi Enter T Enter");
        QCOMPARE(split.events, (QStringList{"colors -1 0", "menuOpen T", "say 1 hi"}));
        QCOMPARE(split.top(), GuiState::GameMenu);
    }

    // Ctrl+C in the lobby copies the own game's invite code, and without one does nothing: it
    // never seats a computer as C does. A link the game starts with joins as the join screen does.
    void lobbyCopiesTheInviteCodeAndALinkJoins() {
        GuiFixture f;
        f.lobby(4, false, true, {0, 1});
        QGuiApplication::clipboard()->setText("mine");
        f.key(Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), "mine");
        f.session().setInviteCode("ABCD-EFGH");
        f.key(Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), "ABCD-EFGH");
        QCOMPARE(f.stack().messages().mid(1),
                 QStringList{"Invite code ABCD-EFGH copied to the clipboard."});
        QVERIFY(f.events.isEmpty());

        GuiFixture linked("[Client]\nGeneral\\ShowIntro=true\n");
        linked.menus().joinDirect("ABCD-EFGH");
        QCOMPARE(linked.events, QStringList{"join F ABCD-EFGH T ''"});
        linked.stack().setNextGuiState(false);  // not found: back on the join screen
        QCOMPARE(linked.states(), (QList<GuiState>{GuiState::MainMenu, GuiState::MultiplayerMenu,
                                                   GuiState::JoinMenu}));
    }

    void splitscreenHostNeverBelowTwo() {
        GuiFixture f("[Server]\nGeneral\\MaxPlayers=1\n");
        f.play("Down Down Enter Down Enter");
        QCOMPARE(f.menus().hosting().maxPlayers, 2);
        f.play("Down*3 Left");
        QCOMPARE(f.menus().hosting().maxPlayers, 4);
        f.play("Right");
        QCOMPARE(f.menus().hosting().maxPlayers, 2);
        f.play("Esc Esc Down Enter Enter Down*3 Left");
        QCOMPARE(f.menus().hosting().maxPlayers, 1);  // alone is fine in multiplayer
    }

    // Measured while the options are open, the quality is edited like the entry (Back undoes it);
    // over the main menu (the first start) it is saved at once. The resolution saves with the rest.
    void optionsSaveMeasuredQualityAndResolution() {
        GuiFixture f;
        f.menus().resolutions().rebuild(
            {{800, 600, 32, 60}, {1280, 1024, 32, 60}, {640, 480, 32, 60}});
        f.play("Down*4 Enter");  // the options, from the main menu
        f.menus().setCurrentEntry(MenuModel::kOptionsMeasure);
        f.play("Enter");
        QCOMPARE(f.events, QStringList{"measure"});
        f.menus().takeMeasuredQuality(0);
        QCOMPARE(f.menus().options().quality, 0);
        QCOMPARE(f.events, QStringList{"measure"});
        f.play("Esc");
        QCOMPARE(f.menus().options().quality, 2);
        f.menus().takeMeasuredQuality(1);
        QCOMPARE(f.events.value(1), "options Player1 Player2 F 1 T F F 0 0 1 T T T F T");

        f.play("Down*4 Enter Down*6 Right Right");
        QCOMPARE(f.menus().menu(GuiState::OptionsMenu).entries[6].value, "800x600");
        f.play("Down*5 Enter Down Down Enter");  // and no prediction
        QCOMPARE(f.events.mid(2),
                 (QStringList{"options Player1 Player2 F 1 T F F 800 600 1 T T T F F",
                              "resolution 800 600"}));
        QCOMPARE(f.top(), GuiState::MainMenu);
    }

    void textFieldEditing() {
        QString text = "hello";
        TextField field;
        field.begin(&text, 8, false, false);
        const auto key = [&](int k, Qt::KeyboardModifiers m = {}, const QString& t = {},
                             bool repeat = false) {
            return field.key(QKeyEvent(QEvent::KeyPress, k, m, t, repeat));
        };
        key(Qt::Key_Home);
        key(Qt::Key_Right, Qt::ShiftModifier);
        key(Qt::Key_Right, Qt::ShiftModifier);
        key(Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(text, "llo");
        QCOMPARE(QGuiApplication::clipboard()->text(), "he");
        key(Qt::Key_End);
        key(Qt::Key_V, Qt::ControlModifier);
        key(Qt::Key_A, {}, " a");  // no spaces here
        QCOMPARE(text, "llohea");
        key(Qt::Key_A, {}, "xyzw");  // up to the limit, then nothing
        QCOMPARE(text, "lloheaxy");
        key(Qt::Key_Backspace, {}, {}, true);
        key(Qt::Key_Home);
        key(Qt::Key_Delete);
        QCOMPARE(text, "loheax");
        QCOMPARE(key(Qt::Key_Escape, {}, {}, true), TextField::Result::Edited);
        QCOMPARE(key(Qt::Key_Escape), TextField::Result::Cancel);
        QCOMPARE(text, "hello");

        QString port = "27403";
        field.begin(&port, 5, false, true);
        key(Qt::Key_Home, Qt::ShiftModifier);
        key(Qt::Key_8, {}, "8a0 8");
        QCOMPARE(port, "808");
        key(Qt::Key_Backspace);
        key(Qt::Key_Backspace);
        key(Qt::Key_Backspace);
        QCOMPARE(key(Qt::Key_Enter), TextField::Result::Confirm);
        QCOMPARE(port, "27403");  // emptied and confirmed: the old value again
    }

    void gameKeysMapToCounters() {
        // key, splitscreen, inverted -> counter; letters are player 1's in splitscreen.
        const struct {
            int key;
            bool split, invert;
            int index;
        } rows[] = {{Qt::Key_Up, false, false, 0},    {Qt::Key_S, false, false, 1},
                    {Qt::Key_Shift, false, false, 4}, {Qt::Key_Up, true, false, 5},
                    {Qt::Key_D, true, false, 2},      {Qt::Key_Shift, true, false, 9},
                    {Qt::Key_Right, false, true, 3},  {Qt::Key_Left, true, true, 7},
                    {Qt::Key_R, false, false, -1}};
        for (const auto& r : rows) {
            QCOMPARE(KeyCounters::indexFor(r.key, r.split, r.invert), r.index);
        }
        GuiFixture f;
        f.lobby(1, false, true, {0});
        f.stack().setBaseState(GuiState::Game, QString());
        f.key(Qt::Key_Left);
        QVERIFY(f.gui->input().keys().counters() == QList<int>(10, 0));  // play time not running
        f.session().startPlayTime();
        const auto count = [&](int i) { return f.gui->input().keys().counters()[i]; };
        f.key(Qt::Key_Left);
        f.key(Qt::Key_Left, {}, {}, true);  // the keyboard's own repeat counts nothing
        QCOMPARE(count(3), 1);
        f.timers.advance(159);
        QCOMPARE(count(3), 1);
        f.timers.advance(1);
        QCOMPARE(count(3), 2);
        f.timers.advance(80);
        QCOMPARE(count(3), 3);
        f.release(Qt::Key_Left);
        f.key(Qt::Key_W);
        f.timers.advance(160 + 159);
        QCOMPARE(count(0), 2);  // rotation repeats every 160 ms
        f.timers.advance(1);
        QCOMPARE(count(0), 3);
        f.release(Qt::Key_W);
        f.key(Qt::Key_Space);
        f.timers.advance(1000);
        QCOMPARE(f.gui->input().keys().counters(), (QList<int>{3, 0, 0, 3, 1, 0, 0, 0, 0, 0}));
        QCOMPARE(f.events.last(), "input 3,0,0,3,1,0,0,0,0,0");

        f.session().resetGui({false, 1, false, true, true, 0});  // a spectator sends nothing
        f.session().startPlayTime();
        f.key(Qt::Key_Space);
        QCOMPARE(count(4), 0);
    }

    void serverListScreenJoinsAndSavesTheFilter() {
        GuiFixture f;
        f.play("Down Enter Down Enter");
        QCOMPARE(f.menus().currentEntry(), int(ServerListModel::FirstHeader));
        f.session().addServer(server("old", 5, false, false, 1, 4, "Beta 0.91"));
        f.session().addServer(server("here", 7));
        f.session().processMasterserverResult(MasterserverResult::MasterListDone);
        f.play("Up*6 Enter");  // the first filter: ranked only
        QCOMPARE(f.session().servers().filtered(), 0);
        f.play("Enter Enter Down*10 Enter");
        QCOMPARE(f.events, (QStringList{"serverlist", "filter 1", "filter 2", "filter 0",
                                        "join F 10.0.0.7:27403 F ''"}));
        // Without a master LAN games still list, sort and join; a LAN round drops the silent.
        GuiFixture offline;
        offline.play("Down Enter Down Enter");
        GuiSession& s = offline.session();
        s.processMasterserverResult(MasterserverResult::MasterUnreachable);
        QVERIFY(!s.servers().listShown());
        ServerData gone = server("gone", 5);
        gone.setLan(true);
        s.addServer(gone);
        s.beginLanRound();
        ServerData lan = server("lan", 7);
        lan.setLan(true);
        s.addServer(lan);
        QVERIFY(s.servers().listShown());
        s.beginLanRound();
        QCOMPARE(s.servers().received(), 1);
        offline.play("Enter");  // the first header: sorted by name
        QCOMPARE(s.servers().sortColumn(), 0);
        offline.play("Down*4 Enter");
        QCOMPARE(offline.events, (QStringList{"serverlist", "join F 10.0.0.7:27403 F ''"}));
    }
};

QTEST_MAIN(TestGuiMenus)
#include "test_guimenus.moc"
