// The widget's logic without a widget: stacks, menus, text fields, keys,
// lists and the HUD records, on a clock moved by hand.
#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <QTest>

#include "gui/guimetrics.h"
#include "gui/overlaypainter.h"
#include "gui/screenshotfiles.h"
#include "guifixture.h"

class TestGuiLogic : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stackKeepsBaseAndChangesMessagesOnly() {
        GuiFixture f;
        f.play("Down Down");
        f.gui->setBaseState(GuiState::NoState, "base text");
        f.gui->setTopState(GuiState::MainMenu, "top text");
        QCOMPARE(f.states(), QList<GuiState>{GuiState::MainMenu});
        QCOMPARE(f.gui->currentEntry(), 2);  // same top: the entry stays
        QCOMPARE(f.gui->stack().message(), "top text");
        f.gui->setTopState(GuiState::MultiplayerMenu, QString());
        QCOMPARE(f.gui->currentEntry(), 0);
        f.gui->setNextGuiState();
        f.gui->setNextGuiState();  // the base is never popped
        QCOMPARE(f.states(), QList<GuiState>{GuiState::MultiplayerMenu});
    }

    void errorOverlayGoesAfterFiveSeconds() {
        GuiFixture f;
        f.gui->displayMessage("notice");
        f.gui->displayError("error", false);
        QCOMPARE(f.top(), GuiState::Notice);
        QCOMPARE(f.gui->stack().message(), "error");
        f.key(Qt::Key_Escape);
        QCOMPARE(f.events, QStringList{"abort"});
        f.timers.advance(GuiStack::kOverlayMs - 1);
        QCOMPARE(f.top(), GuiState::Notice);
        f.timers.advance(1);
        QCOMPARE(f.states(), QList<GuiState>{GuiState::MainMenu});
        QCOMPARE(f.gui->stack().message(), "notice");
    }

    // Connecting ends while an error shows: every screen above the base goes
    // once the error does, not before.
    void resetDuringErrorPopsEverythingWhenItGoes() {
        GuiFixture f;
        f.play("Down Enter Down Down Enter Down Enter");
        QCOMPARE(f.states().size(), 4);
        f.gui->displayError("refused", false);
        f.gui->resetGui(true, 4, false, false, false, 1);
        QCOMPARE(f.states().size(), 5);
        f.timers.advance(GuiStack::kOverlayMs);
        QCOMPARE(f.states(), QList<GuiState>{GuiState::MainMenu});
    }

    void errorLeavingTheGameClosesTheGameMenu() {
        GuiFixture f;
        f.lobby(2, false, true, {0});
        f.gui->setBaseState(GuiState::Game, QString());
        f.key(Qt::Key_Escape);
        QCOMPARE(f.top(), GuiState::GameMenu);
        f.gui->displayCountdown("Starting in 2...");
        f.gui->displayError("The connection to the server was lost.", true);
        QCOMPARE(f.states(), (QList<GuiState>{GuiState::MainMenu, GuiState::Notice}));
        QVERIFY(f.gui->stack().countdown().isEmpty());
        f.timers.advance(GuiStack::kOverlayMs);
        QCOMPARE(f.states(), QList<GuiState>{GuiState::MainMenu});
    }

    void menusEmitWhatTheClientNeeds_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("top");
        const int notice = int(GuiState::Notice);
        QTest::newRow("singleplayer")
            << "Enter" << QStringList{"host '' 27403 1 T F T T ''"} << notice;
        QTest::newRow("splitscreen local")
            << "Down Down Enter Enter" << QStringList{"host '' 27403 2 T T T T ''"} << notice;
        QTest::newRow("host skips the password while it is off")
            << "Down Enter Enter Down Down Down Down Down Enter"
            << QStringList{"host Quadrell-Server 27403 4 F F T F P"} << notice;
        QTest::newRow("splitscreen host with password, max players wraps to 2")
            << "Down Down Enter Down Enter Down Down Enter Down Enter type:pw Enter Down Right "
               "Down Down Enter"
            << QStringList{"host Quadrell-Server 27403 2 F T T T Ppw"} << notice;
        QTest::newRow("host back restores the values")
            << "Down Enter Enter Down Enter Down Down Down Down Down Enter Enter Up Up Enter"
            << QStringList{"host Quadrell-Server 27403 4 F F T F P"} << notice;
        QTest::newRow("join direct")
            << "Down Enter Down Down Enter Enter type:10.0.0.1:5000 Enter Down Enter"
            << QStringList{"join F 10.0.0.1:5000 T ''"} << notice;
        QTest::newRow("join escape restores the address")
            << "Down Enter Down Down Enter Enter type:1.2.3.4 Enter Esc Down Down Enter Down Enter"
            << QStringList{"join F ... T ''"} << notice;
        QTest::newRow("splitscreen server list")
            << "Down Down Enter Down Down Enter" << QStringList{"serverlist"}
            << int(GuiState::ServerList);
        QTest::newRow("exit program")
            << "Up Up Enter" << QStringList{"close"} << int(GuiState::MainMenu);
    }

    void menusEmitWhatTheClientNeeds() {
        QFETCH(QString, script);
        QFETCH(QStringList, events);
        QFETCH(int, top);
        GuiFixture f;
        f.play(script);
        QCOMPARE(f.events, events);
        QCOMPARE(int(f.top()), top);
    }

    void passwordScreenRetriesTheOldAddress() {
        GuiFixture f;
        f.play("Down Enter Down Down Enter Down Enter");
        f.gui->setTopState(GuiState::PasswordMenu, QString());
        f.play("Enter type:ab Enter Down Right Left Enter");
        QCOMPARE(f.events, (QStringList{"join F ... T ''", "join F USEOLDONE T Pab"}));
        QVERIFY(f.gui->joinPassword().isEmpty());
        f.gui->setLastState();             // refused: back on the password screen
        f.play("Enter type:x Enter Esc");  // Escape acts like Back: empty, popped
        QVERIFY(f.gui->joinPassword().isEmpty());
        QCOMPARE(f.top(), GuiState::JoinMenu);
    }

    void entriesSkippedWhereTheyCannotAct() {
        GuiFixture guest;
        guest.lobby(4, false, false, {0, 1});
        guest.gui->setBaseState(GuiState::Game, QString());
        guest.play("Esc Down");
        QCOMPARE(guest.gui->currentEntry(), 2);  // restart only for the host
        guest.play("Down Down Enter Up Up Up");
        QCOMPARE(guest.top(), GuiState::OptionsMenu);
        QCOMPARE(guest.gui->currentEntry(), 9);  // ranked play only from the main menu

        GuiFixture host;
        host.lobby(4, false, true, {0, 1});
        host.gui->setBaseState(GuiState::Game, QString());
        host.play("Esc Down Enter");
        QCOMPARE(host.events, (QStringList{"menuOpen T", "restart"}));
        QCOMPARE(host.top(), GuiState::Game);
    }

    void splitscreenHostNeverBelowTwo() {
        GuiFixture f("[Server]\nGeneral\\MaxPlayers=1\n");
        f.play("Down Down Enter Down Enter");
        QCOMPARE(f.gui->hosting().maxPlayers, 2);
        f.play("Down Down Down Left");
        QCOMPARE(f.gui->hosting().maxPlayers, 4);
        f.play("Right");
        QCOMPARE(f.gui->hosting().maxPlayers, 2);
        f.play("Esc Esc Down Enter Enter Down Down Down Left");
        QCOMPARE(f.gui->hosting().maxPlayers, 1);  // alone is fine in multiplayer
    }

    void optionsSaveTheNewResolutionWithTheRest() {
        GuiFixture f;
        f.gui->resolutions().rebuild(
            {{800, 600, 32, 60}, {1280, 1024, 32, 60}, {640, 480, 32, 60}});
        f.play("Down Down Down Down Enter Down Down Down Down Down Down Right Right");
        QCOMPARE(f.gui->menu(GuiState::OptionsMenu).entries[6].value, "800x600");
        f.play("Down Down Down Down Down Enter");
        QCOMPARE(f.events.value(0), "options Player1 Player2 F 1 T F F 800 600 2 T T T F");
        QCOMPARE(f.events.value(1), "resolution 800 600");
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

    void chatLineIsSentForTheChosenPlayer() {
        GuiFixture f;
        f.lobby(2, true, true, {0, 0});
        f.play("Esc");
        f.key(Qt::Key_U);
        QCOMPARE(f.top(), GuiState::ChatInput);
        f.type("hi");
        f.key(Qt::Key_Return);
        f.key(Qt::Key_T);
        f.key(Qt::Key_Return);  // an empty line is not sent
        QCOMPARE(f.events, (QStringList{"menuOpen T", "say 1 hi"}));
        QCOMPARE(f.top(), GuiState::GameMenu);
    }

    void gameKeysMapToCounters_data() {
        QTest::addColumn<bool>("invert");
        QTest::addColumn<bool>("split");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("index");
        QTest::newRow("up rotates") << false << false << int(Qt::Key_Up) << 0;
        QTest::newRow("s is down") << false << false << int(Qt::Key_S) << 1;
        QTest::newRow("shift drops") << false << false << int(Qt::Key_Shift) << 4;
        QTest::newRow("split: arrows are player 2") << false << true << int(Qt::Key_Up) << 5;
        QTest::newRow("split: letters are player 1") << false << true << int(Qt::Key_D) << 2;
        QTest::newRow("split: shift drops for 2") << false << true << int(Qt::Key_Shift) << 9;
        QTest::newRow("inverted right") << true << false << int(Qt::Key_Right) << 3;
        QTest::newRow("inverted left of 2") << true << true << int(Qt::Key_Left) << 7;
        QTest::newRow("not a game key") << false << false << int(Qt::Key_R) << -1;
    }

    void gameKeysMapToCounters() {
        QFETCH(bool, invert);
        QFETCH(bool, split);
        QFETCH(int, key);
        QFETCH(int, index);
        QCOMPARE(KeyCounters::indexFor(key, split, invert), index);
    }

    void heldKeysRepeatOnTheirOwnTimers() {
        GuiFixture f;
        f.lobby(1, false, true, {0});
        f.gui->setBaseState(GuiState::Game, QString());
        f.key(Qt::Key_Left);
        QVERIFY(f.gui->keys().counters() == QList<int>(10, 0));  // play time not running
        f.gui->startPlayTime();
        const auto count = [&](int i) { return f.gui->keys().counters()[i]; };
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
        QCOMPARE(f.gui->keys().counters(), (QList<int>{3, 0, 0, 3, 1, 0, 0, 0, 0, 0}));
        QCOMPARE(f.events.last(), "input 3,0,0,3,1,0,0,0,0,0");

        f.gui->resetGui(false, 1, false, true, true, 0);  // a spectator sends nothing
        f.gui->startPlayTime();
        f.key(Qt::Key_Space);
        QCOMPARE(count(4), 0);
    }

    void lobbyKeysKickStartAndColours() {
        GuiFixture alone;
        alone.lobby(4, false, true, {0, -1, -1, -1});
        alone.play("Down Enter");
        QCOMPARE(alone.gui->currentEntry(), 0);
        QVERIFY(alone.events.isEmpty());  // nobody to kick

        GuiFixture f;
        f.gui->resetGui(true, 4, false, true, false, 0);
        f.gui->setBaseState(GuiState::Lobby, QString());
        f.key(Qt::Key_R);
        QVERIFY(f.events.isEmpty());  // keys wait 500 ms after entering the lobby
        f.lobby(4, false, true, {0, 2, -1, 1});
        f.play("Down Enter");
        f.keys({Qt::Key_S, Qt::Key_D, Qt::Key_A, Qt::Key_A, Qt::Key_R});
        QCOMPARE(f.events, (QStringList{"kick 2", "start", "colors 0 -1", "colors -1 -1",
                                        "colors 5 -1", "ready"}));
        f.lobby(4, false, true, {0, 1}, GamePlayer::Ready);
        f.key(Qt::Key_D);  // colours change only while waiting
        QCOMPARE(f.events.size(), 6);

        GuiFixture split;
        split.lobby(2, true, true, {0, 0});
        split.play("Down Enter Right");
        QCOMPARE(split.events, QStringList{"colors -1 0"});  // no kicking, arrows for player 2
    }

    void serverListFiltersAndMask_data() {
        QTest::addColumn<int>("ranked");
        QTest::addColumn<int>("password");
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("players");
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("passing");
        QTest::newRow("all") << -1 << -1 << -1 << -1 << 0 << 6;
        QTest::newRow("ranked") << 0 << -1 << -1 << -1 << 1 << 2;
        QTest::newRow("unranked, locked") << 1 << 0 << -1 << -1 << 2 + 4 << 1;
        QTest::newRow("open, same version") << -1 << 1 << 1 << -1 << 8 + 16 << 3;
        QTest::newRow("not empty") << -1 << -1 << -1 << 0 << 32 << 5;
        QTest::newRow("not full") << -1 << -1 << -1 << 1 << 64 << 5;
        QTest::newRow("not empty and not full") << -1 << -1 << -1 << 2 << 96 << 4;
    }

    void serverListFiltersAndMask() {
        QFETCH(int, ranked);
        QFETCH(int, password);
        QFETCH(int, version);
        QFETCH(int, players);
        QFETCH(int, mask);
        QFETCH(int, passing);
        const ServerListModel::Filters filters{ranked, password, version, players};
        QCOMPARE(ServerListModel::mask(filters), mask);
        QVERIFY(ServerListModel::fromMask(mask) == filters);
        ServerListModel m;
        m.setFilters(filters);
        m.add(server("ranked", 10, true));
        m.add(server("ranked locked", 11, true, true));
        m.add(server("locked", 12, false, true, 2, 4, "Beta 0.91"));
        m.add(server("empty", 13, false, false, 0));
        m.add(server("full", 14, false, false, 4, 4));
        m.add(server("old", 15, false, false, 1, 4, "Beta 0.90"));
        QCOMPARE(m.filtered(), passing);
    }

    void serverListPagesSortsAndWalks() {
        ServerListModel m;
        for (int i = 0; i < 15; ++i) {
            m.add(server(QStringLiteral("S%1").arg(i, 2, 10, QLatin1Char('0')), 100 - i, false,
                         false, 1, 4, i == 1 ? "Beta 0.91" : "Beta 0.92"));
        }
        QCOMPARE(m.pageCount(), 2);
        QCOMPARE(m.pageRows().size(), 10);
        QCOMPARE(m.joinable().size(), 9);  // another version is listed, not joinable
        m.sortBy(3);
        QCOMPARE(m.pageRows().first()->name(), "S14");  // lowest ping first
        m.sortBy(3);
        QCOMPARE(m.pageRows().first()->name(), "S00");
        m.setPage(5);
        QCOMPARE(m.page(), 2);
        QCOMPARE(m.pageRows().size(), 5);

        // Page 2 of 2, list not complete yet: no next page, no headers.
        m.setResult(MasterserverResult::MasterListReceived);
        QCOMPARE(m.nextEntry(ServerListModel::Back, true), int(ServerListModel::PreviousPage));
        QCOMPARE(m.nextEntry(ServerListModel::PreviousPage, true),
                 int(ServerListModel::FirstServer));
        QCOMPARE(m.nextEntry(ServerListModel::FirstServer, false),
                 int(ServerListModel::PreviousPage));
        QCOMPARE(m.nextEntry(0, false), m.lastEntry());
        m.setPage(1);
        m.setResult(MasterserverResult::MasterListDone);
        QCOMPARE(m.nextEntry(ServerListModel::Back, true), int(ServerListModel::NextPage));
        QCOMPARE(m.nextEntry(ServerListModel::NextPage, true), int(ServerListModel::FirstHeader));
        QCOMPARE(m.nextEntry(ServerListModel::FirstHeader, false), int(ServerListModel::NextPage));
        QCOMPARE(m.nextEntry(ServerListModel::NextPage, false), int(ServerListModel::Back));
        m.clear();
        m.setResult(MasterserverResult::MasterListEmpty);
        QCOMPARE(m.nextEntry(ServerListModel::Back, true), 0);  // nothing to join
    }

    void serverListScreenJoinsAndSavesTheFilter() {
        GuiFixture f;
        f.play("Down Enter Down Enter");
        QCOMPARE(f.gui->currentEntry(), int(ServerListModel::FirstHeader));
        f.gui->addServer(server("old", 5, false, false, 1, 4, "Beta 0.91"));
        f.gui->addServer(server("here", 7));
        f.gui->processMasterserverResult(MasterserverResult::MasterListDone);
        f.play("Up Up Up Up Up Up Enter");  // the first filter: ranked only
        QCOMPARE(f.gui->servers().filtered(), 0);
        f.play("Enter Enter Down Down Down Down Down Down Down Down Down Down Enter");
        QCOMPARE(f.events, (QStringList{"serverlist", "filter 1", "filter 2", "filter 0",
                                        "join F 10.0.0.7:27403 F ''"}));
    }

    void highscoresTenBestPerPlayerCount() {
        GuiFixture f;
        for (int score : {5, 70, 12, 3, 99, 40, 8, 61, 23, 1, 17, 50}) {
            QVERIFY(f.scores->append(score, 1, "00:01:00", {"Ann"}));
        }
        QVERIFY(f.scores->append(7, 1, "00:01:00", {"Ann", "Ben"}));
        f.play("Down Down Down Enter");
        QCOMPARE(f.top(), GuiState::HighscoreMenu);
        QList<int> shown;
        for (const GameResult* r : f.gui->highscores().rows()) {
            shown << r->score();
        }
        QCOMPARE(shown, (QList<int>{99, 70, 61, 50, 40, 23, 17, 12, 8, 5}));
        f.play("Left");
        QCOMPARE(f.gui->highscores().page(), 4);
        f.play("Right Right");
        QCOMPARE(f.gui->highscores().rows().size(), 1);
        f.play("Esc");
        QCOMPARE(f.top(), GuiState::MainMenu);

        f.lobby(4, false, false, {0, 1});  // from the game menu: the page of this game
        f.play("Esc Down Down Enter");
        QCOMPARE(f.gui->highscores().page(), 2);
    }

    void chatLinesNamesNoticesAndLife() {
        GuiFixture f;
        f.lobby(4, false, false, {-1, 3});
        f.gui->displayChatMessage(1, "hi");
        f.gui->displayChatMessage(0, "who");
        f.gui->displayChatMessage(-2, "not sent");
        f.gui->displayChatMessage(-4, "Ann has left the game.");
        f.gui->displayChatMessage(-7, "ignored");
        QStringList lines;
        for (const GameChatMessage& m : f.gui->chat().lines()) {
            lines << m.text();
        }
        QCOMPARE(lines, (QStringList{"Notice: Ann has left the game.", "Error: not sent", "[?] who",
                                     "[P1] hi"}));
        QCOMPARE(f.events, QStringList{"sound 2"});
        f.timers.advance(ChatLog::kLifeMs);
        f.gui->displayChatMessage(1, "late");
        f.timers.advance(1);
        f.gui->chat().expire();
        QCOMPARE(f.gui->chat().lines().size(), std::size_t(1));
    }

    void scoreAndPlayTime() {
        ManualClock clock;
        ScoreBoard s(clock);
        s.start();
        clock.advance(61500);
        s.secondTick();
        QCOMPARE(s.shownTime(), "00:01:01");
        QCOMPARE(s.shownScore(), 61);  // seconds count while no server score exists
        s.pause(true);
        clock.advance(30000);
        s.pause(false);
        clock.advance(1000);
        s.secondTick();
        QCOMPARE(s.shownTime(), "00:01:02");
        s.addLinePoints(30);
        s.setScore(0, false);
        QCOMPARE(s.shownScore(), 0);
        s.setPlaytime("00:04:00", false);
        QCOMPARE(s.shownTime(), "00:04:00");
        s.reset();
        s.start();
        s.setPlaytime("25:00:01", true);  // a game joined late
        QCOMPARE(s.shownTime(), "25:00:01");
    }

    void introEndsAfterEightSecondsOrAKey() {
        GuiFixture f("[Client]\nGeneral\\ShowIntro=true\n");
        QCOMPARE(f.top(), GuiState::Intro);
        f.timers.advance(402 * GuiController::kIntroMs - 1);  // frame -1 is the first
        QCOMPARE(f.top(), GuiState::Intro);
        f.timers.advance(1);
        QCOMPARE(f.top(), GuiState::MainMenu);
        QCOMPARE(f.events, (QStringList{"sound 0", "sound 0", "sound 1"}));

        GuiFixture early("[Client]\nGeneral\\ShowIntro=true\nAudio\\PlaySounds=false\n");
        early.timers.advance(151 * GuiController::kIntroMs);  // to frame 150
        early.key(Qt::Key_Return);
        QCOMPARE(early.top(), GuiState::MainMenu);
        early.timers.advance(10000);
        QCOMPARE(early.gui->introFrame(), 150);  // the intro stopped for good
        QVERIFY(early.events.isEmpty());         // and was silent
    }

    // What the painter places is what the mouse finds, and chat lines that no
    // longer fit go.
    void painterPlacesEntriesForTheMouse() {
        GuiFixture f;
        GuiMetrics metrics;
        metrics.resize(800, 600);
        QImage image(800, 600, QImage::Format_RGB32);
        const auto paint = [&] {
            QPainter p(&image);
            OverlayPainter(*f.gui, metrics).paint(p);
        };
        paint();
        QCOMPARE(f.gui->hitMap().size(), 7);
        const QPoint options = f.gui->hitMap().value(4).center();
        f.gui->mouseMove(options);
        QCOMPARE(f.gui->currentEntry(), 4);
        f.gui->mousePress(options, Qt::LeftButton);
        QCOMPARE(f.top(), GuiState::OptionsMenu);
        paint();
        f.gui->mousePress(f.gui->hitMap().value(3).center(), Qt::RightButton);
        QCOMPARE(f.gui->options().showPreview, 0);  // backwards from "Top"
        f.gui->mousePress(f.gui->hitMap().value(0).center(), Qt::LeftButton);
        QCOMPARE(f.top(), GuiState::EditPlayerName1);
        f.key(Qt::Key_Backspace);
        f.gui->mousePress(QPoint(1, 1), Qt::LeftButton);  // a click ends the edit as Enter
        QCOMPARE(f.top(), GuiState::OptionsMenu);
        QCOMPARE(f.gui->options().name1, "Player");

        f.lobby(4, false, false, {0});
        for (int i = 0; i < 40; ++i) {
            f.gui->displayChatMessage(0, QStringLiteral("line %1").arg(i));
        }
        paint();
        const std::size_t kept = f.gui->chat().lines().size();
        QVERIFY(kept > 3 && kept < 40);
        QCOMPARE(f.gui->chat().lines().back().text(),
                 QStringLiteral("[P0] line %1").arg(40 - kept));
    }

    void metricsScaleAndAspect_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("scale");
        QTest::addColumn<double>("aspect");
        QTest::newRow("1280x1024") << QSize(1280, 1024) << 2.0 << 1.25;
        QTest::newRow("1920x1080") << QSize(1920, 1080) << 2.25 << 16.0 / 9;
        QTest::newRow("2560x1080") << QSize(2560, 1080) << 2.25 << 16.0 / 9;
    }

    void metricsScaleAndAspect() {
        QFETCH(QSize, size);
        QFETCH(double, scale);
        QFETCH(double, aspect);
        GuiMetrics m;
        m.resize(size.width(), size.height());
        QCOMPARE(m.scale(), scale);
        QCOMPARE(m.aspect(), aspect);
        QCOMPARE(m.font(GuiMetrics::Menu).pixelSize(), int(30 * scale + 0.5));
        QVERIFY(m.font(GuiMetrics::Menu).bold() && !m.font(GuiMetrics::Field).bold());
    }

    void resolutionListAndScreenshotNames() {
        ResolutionList list;
        list.rebuild({{1280, 1024, 32, 60},
                      {800, 600, 32, 60},
                      {640, 480, 32, 60},
                      {1024, 768, 16, 60},
                      {800, 600, 32, 75}});
        QCOMPARE(list.keys(), (QStringList{"0640x0480", "0800x0600", "1280x1024"}));
        QCOMPARE(list.step("1280x1024", true), "0640x0480");
        QCOMPARE(list.step("0640x0480", false), "1280x1024");
        QCOMPARE(list.step("1024x0768", true), "1280x1024");  // not listed: its place

        QTemporaryDir dir;
        ScreenshotFiles files(dir.path(), 3);
        for (const char* name : {"sc_00000.png", "sc_00002.png"}) {
            QDir(dir.path()).mkpath("screenshots");
            QFile(dir.filePath(QStringLiteral("screenshots/") + name)).open(QIODevice::WriteOnly);
        }
        QCOMPARE(files.nextFreePath(), dir.filePath("screenshots/sc_00001.png"));
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        QCOMPARE(files.save(image), dir.filePath("screenshots/sc_00001.png"));
        QVERIFY(files.save(image).isEmpty());  // all three names taken
    }
};

QTEST_MAIN(TestGuiLogic)
#include "test_guilogic.moc"
