// What the screens show, driven as the client and the timers drive them; what a click finds.
#include <QTest>
#include <tuple>

#include "gui/screenshotfiles.h"
#include "guifixture.h"

class TestGuiSession : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stackKeepsBaseAndChangesMessagesOnly() {
        GuiFixture f;
        f.play("Down Down");
        f.stack().setBaseState(GuiState::NoState, "base text");
        f.stack().setTopState(GuiState::MainMenu, "top text");
        QCOMPARE(f.states(), QList<GuiState>{GuiState::MainMenu});
        QCOMPARE(f.menus().currentEntry(), 2);  // same top: the entry stays
        QCOMPARE(f.stack().message(), "top text");
        f.stack().setTopState(GuiState::MultiplayerMenu, QString());
        QCOMPARE(f.menus().currentEntry(), 0);
        f.stack().setNextGuiState();
        f.stack().setNextGuiState();  // the base is never popped
        QCOMPARE(f.states(), QList<GuiState>{GuiState::MultiplayerMenu});
        // The error goes after five seconds; a reset during it pops every screen above the base
        // then.
        GuiFixture g;
        g.play("Down Enter Down Down Enter Down Enter");
        QCOMPARE(g.states().size(), 4);
        g.stack().displayMessage("notice");
        g.stack().displayError("error", false);
        QVERIFY(g.top() == GuiState::Notice && g.stack().message() == "error");
        g.key(Qt::Key_Escape);
        QCOMPARE(g.events, (QStringList{"join F ... T ''", "abort"}));
        g.session().resetGui({true, 4, false, false, false, 1});
        QCOMPARE(g.states().size(), 5);
        g.timers.advance(GuiStack::kOverlayMs - 1);
        QCOMPARE(g.top(), GuiState::Notice);
        g.timers.advance(1);
        QVERIFY(g.states() == QList<GuiState>{GuiState::MainMenu} &&
                g.stack().message() == "notice");
        // An error leaving the game closes its menu and chat; keys work the main menu.
        GuiFixture e;
        e.lobby(2, false, true, {0});
        e.stack().setBaseState(GuiState::Game, QString());
        e.play("Esc");
        QCOMPARE(e.top(), GuiState::GameMenu);
        e.play("T type:bye");
        QCOMPARE(e.top(), GuiState::ChatInput);
        e.stack().setCountdown("Starting in 2...");
        e.stack().displayError("The connection to the server was lost.", true);
        QCOMPARE(e.states(), (QList<GuiState>{GuiState::MainMenu, GuiState::Notice}));
        QVERIFY(e.stack().countdown().isEmpty() && !e.gui->editor().field().editing());
        e.timers.advance(GuiStack::kOverlayMs);
        QCOMPARE(e.states(), QList<GuiState>{GuiState::MainMenu});
        e.events.clear();
        e.key(Qt::Key_Return);
        QCOMPARE(e.events, QStringList{"host '' 27403 4 T F T T '' 0 normal T F F"});
        // A still menu asks for no frames; a message for one, its timer for the next.
        GuiFixture quiet;
        int frames = 0;
        NotifyingTimerSource counting(quiet.timers, [&frames] { ++frames; });
        GuiController gui(*quiet.settings, *quiet.scores, QSize(800, 600), counting);
        QObject::connect(&gui, &GuiController::changed, [&frames] { ++frames; });
        quiet.timers.advance(10000);
        QCOMPARE(frames, 0);
        gui.session().stack().displayMessage("hello");
        QCOMPARE(frames, 1);
        quiet.timers.advance(GuiStack::kOverlayMs);
        const int afterMessage = frames;
        QVERIFY(afterMessage > 1);
        quiet.timers.advance(10000);
        QCOMPARE(frames, afterMessage);
    }

    void serverListFiltersAndMask() {
        const QList<ServerData> servers{server("ranked", 10, true),
                                        server("ranked locked", 11, true, true),
                                        server("locked", 12, false, true, 2, 4, "Beta 0.91"),
                                        server("empty", 13, false, false, 0),
                                        server("full", 14, false, false, 4, 4),
                                        server("old", 15, false, false, 1, 4, "Beta 0.90")};
        // ranked, password, version, players (-1: any); the saved mask; servers passing
        const struct {
            ServerListModel::Filters filters;
            int mask;
            int passing;
        } rows[] = {{{-1, -1, -1, -1}, 0, 6},   {{0, -1, -1, -1}, 1, 2},
                    {{1, 0, -1, -1}, 2 + 4, 1}, {{-1, 1, 1, -1}, 8 + 16, 3},
                    {{-1, -1, -1, 0}, 32, 5},   {{-1, -1, -1, 1}, 64, 5},
                    {{-1, -1, -1, 2}, 96, 4}};
        for (const auto& r : rows) {
            QCOMPARE(ServerListModel::mask(r.filters), r.mask);
            QVERIFY(ServerListModel::fromMask(r.mask) == r.filters);
            ServerListModel m;
            m.setFilters(r.filters);
            for (const ServerData& d : servers) {
                m.add(d);
            }
            QCOMPARE(m.filtered(), r.passing);
        }
        ServerListModel m;
        for (int i = 0; i < 15; ++i) {
            m.add(server(QStringLiteral("S%1").arg(i, 2, 10, QLatin1Char('0')), 100 - i, false,
                         false, 1, 4, i == 1 ? "Beta 0.91" : "Beta 0.92"));
        }
        QCOMPARE((QList<qsizetype>{m.pageCount(), m.pageRows().size()}), (QList<qsizetype>{2, 10}));
        QCOMPARE(m.joinable().size(), 9);  // another version is listed, not joinable
        m.sortBy(3);
        QCOMPARE(m.pageRows().first()->name(), "S14");  // lowest ping first
        m.sortBy(3);
        QCOMPARE(m.pageRows().first()->name(), "S00");
        m.setPage(5);
        QCOMPARE((QList<qsizetype>{m.page(), m.pageRows().size()}), (QList<qsizetype>{2, 5}));

        // Page 2 of 2, list not complete yet: no next page, no headers.
        using L = ServerListModel;
        m.setResult(MasterserverResult::MasterListReceived);
        QCOMPARE((QList{m.nextEntry(L::Back, true), m.nextEntry(L::PreviousPage, true),
                        m.nextEntry(L::FirstServer, false), m.nextEntry(0, false)}),
                 (QList{int(L::PreviousPage), int(L::FirstServer), int(L::PreviousPage),
                        m.lastEntry()}));
        m.setPage(1);
        m.setResult(MasterserverResult::MasterListDone);
        QCOMPARE((QList{m.nextEntry(L::Back, true), m.nextEntry(L::NextPage, true),
                        m.nextEntry(L::FirstHeader, false), m.nextEntry(L::NextPage, false)}),
                 (QList{int(L::NextPage), int(L::FirstHeader), int(L::NextPage), int(L::Back)}));
        m.clear();
        m.setResult(MasterserverResult::MasterListEmpty);
        QCOMPARE(m.nextEntry(L::Back, true), 0);  // nothing to join
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
        for (const GameResult* r : f.session().highscores().rows()) {
            shown << r->score();
        }
        QCOMPARE(shown, (QList<int>{99, 70, 61, 50, 40, 23, 17, 12, 8, 5}));
        f.play("Left");
        QCOMPARE(f.session().highscores().page(), 4);
        f.play("Right Right");
        QCOMPARE(f.session().highscores().rows().size(), 1);
        f.play("Esc");
        QCOMPARE(f.top(), GuiState::MainMenu);

        f.lobby(4, false, false, {0, 1});  // from the game menu: the page of this game
        f.play("Esc Down Down Enter");
        QCOMPARE(f.session().highscores().page(), 2);
    }

    void chatPlayerIdsAndScore() {
        GuiFixture f;
        f.lobby(4, false, false, {-1, 3});
        f.session().displayChatMessage(1, "hi");
        f.session().displayChatMessage(0, "who");
        f.session().displayChatMessage(-2, "not sent");
        f.session().displayChatMessage(-4, "Ann has left the game.");
        f.session().displayChatMessage(-7, "ignored");
        QStringList lines;
        for (const GameChatMessage& m : f.session().chat().lines()) {
            lines << m.text();
        }
        QCOMPARE(lines, (QStringList{"Notice: Ann has left the game.", "Error: not sent", "[?] who",
                                     "[P1] hi"}));
        QCOMPARE(f.events, QStringList{"sound 2"});
        f.timers.advance(ChatLog::kLifeMs);
        f.session().displayChatMessage(1, "late");
        f.timers.advance(1);
        f.session().chat().expire();
        QCOMPARE(f.session().chat().lines().size(), std::size_t(1));
        // Ids a stranger's server may send: no player, and no overflow on the way.
        GuiFixture ids;
        ids.lobby(4, false, false, {2147483647, 1, -2147483647 - 1, 4});
        const PlayerTable& players = ids.session().players();
        QCOMPARE(players.positions(), 4);
        QVERIFY(players.atPosition(0) == nullptr && players.atPosition(2) == nullptr &&
                players.atPosition(3) == nullptr);
        QVERIFY(players.atPosition(1)->connId == 1 && players.players().size() == 1);
        QCOMPARE(PlayerTable::playerId(2147483647, 1), -1);
        QCOMPARE(players.kickList(0), QList<int>({1}));
        // The score counts seconds until the server's comes, the play time pauses.
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
        f.timers.advance(402 * GuiSession::kIntroMs - 1);  // frame -1 is the first
        QCOMPARE(f.top(), GuiState::Intro);
        f.timers.advance(1);
        QCOMPARE(f.top(), GuiState::MainMenu);
        QCOMPARE(f.events, (QStringList{"sound 0", "sound 0", "sound 1"}));

        GuiFixture early("[Client]\nGeneral\\ShowIntro=true\nAudio\\PlaySounds=false\n");
        early.timers.advance(151 * GuiSession::kIntroMs);  // to frame 150
        early.key(Qt::Key_Return);
        QCOMPARE(early.top(), GuiState::MainMenu);
        early.timers.advance(10000);
        QCOMPARE(early.session().introFrame(), 150);  // the intro stopped for good
        QVERIFY(early.events.isEmpty());              // and was silent
    }

    // What the painters place is what a click finds; metrics, resolutions, screenshots.
    void paintersPlaceWhatAClickFinds() {
        GuiFixture f;
        f.play("Down Down Down Enter");  // highscores of one player
        f.rightClick(2);
        QCOMPARE(f.session().highscores().page(), 2);
        f.rightClick(1);
        QCOMPARE(f.session().highscores().page(), 1);

        GuiFixture g;
        g.play("Down Enter Down Enter");
        for (int i = 0; i < 15; ++i) {
            g.session().addServer(server(QStringLiteral("S%1").arg(i), 20 + i));
        }
        g.session().processMasterserverResult(MasterserverResult::MasterListDone);
        g.rightClick(ServerListModel::NextPage);
        QCOMPARE(g.session().servers().page(), 2);
        g.rightClick(ServerListModel::PreviousPage);
        QCOMPARE(g.session().servers().page(), 1);
        g.rightClick(ServerListModel::FirstHeader + 3);
        QCOMPARE(g.session().servers().sortColumn(), 3);
        g.rightClick(ServerListModel::FilterVersion);  // a value: backwards, and "Same" is next too
        QCOMPARE(g.session().servers().filters().version, 1);
        // The mouse finds what the painter placed; chat lines that no longer fit go.
        GuiFixture p;
        p.paint();
        QCOMPARE(p.menus().hitMap().size(), 7);
        const QPoint options = p.menus().hitMap().value(4).center();
        p.gui->input().mouseMove(options);
        QCOMPARE(p.menus().currentEntry(), 4);
        p.gui->input().mousePress(options, Qt::LeftButton);
        QCOMPARE(p.top(), GuiState::OptionsMenu);
        const QImage image = p.paint();
        // The longest menu still fits: every entry on the screen.
        QCOMPARE(p.menus().hitMap().size(), MenuModel::kOptionsBack + 1);
        for (const QRect& r : p.menus().hitMap()) {
            QVERIFY(image.rect().contains(r));
        }
        p.gui->input().mousePress(p.menus().hitMap().value(3).center(), Qt::RightButton);
        QCOMPARE(p.menus().options().showPreview, 0);  // backwards from "Top"
        p.gui->input().mousePress(p.menus().hitMap().value(0).center(), Qt::LeftButton);
        QCOMPARE(p.top(), GuiState::EditPlayerName1);
        p.key(Qt::Key_Backspace);
        p.gui->input().mousePress(QPoint(1, 1), Qt::LeftButton);  // a click ends the edit as Enter
        QCOMPARE(p.top(), GuiState::OptionsMenu);
        QCOMPARE(p.menus().options().name1, "Player");

        p.lobby(4, false, false, {0});
        for (int i = 0; i < 40; ++i) {
            p.session().displayChatMessage(0, QStringLiteral("line %1").arg(i));
        }
        p.paint();
        const std::size_t kept = p.session().chat().lines().size();
        QVERIFY(kept > 3 && kept < 40);
        QCOMPARE(p.session().chat().lines().back().text(),
                 QStringLiteral("[P0] line %1").arg(40 - kept));
        // Wider than 16:9 is laid out as 16:9.
        const std::tuple<QSize, double, double> rows[] = {{{1280, 1024}, 2.0, 1.25},
                                                          {{1920, 1080}, 2.25, 16.0 / 9},
                                                          {{2560, 1080}, 2.25, 16.0 / 9}};
        for (const auto& [size, scale, aspect] : rows) {
            GuiMetrics m;
            m.resize(size.width(), size.height());
            QCOMPARE(m.scale(), scale);
            QCOMPARE(m.aspect(), aspect);
            QCOMPARE(m.font(GuiMetrics::Menu).pixelSize(), int(30 * scale + 0.5));
        }
        ResolutionList list;
        list.rebuild({{1280, 1024, 32, 60},
                      {800, 600, 32, 60},
                      {640, 480, 32, 60},
                      {1024, 768, 16, 60},
                      {800, 600, 32, 75}});
        QCOMPARE(list.keys(), (QStringList{"0640x0480", "0800x0600", "1280x1024"}));
        QCOMPARE((QStringList{list.step("1280x1024", true), list.step("0640x0480", false)}),
                 (QStringList{"0640x0480", "1280x1024"}));
        QCOMPARE(list.step("1024x0768", true), "1280x1024");  // not listed: its place

        QTemporaryDir dir;
        ScreenshotFiles files(dir.path(), 3);
        for (const char* name : {"sc_00000.png", "sc_00002.png"}) {
            QDir(dir.path()).mkpath("screenshots");
            QFile(dir.filePath(QStringLiteral("screenshots/") + name)).open(QIODevice::WriteOnly);
        }
        QCOMPARE(files.nextFreePath(), dir.filePath("screenshots/sc_00001.png"));
        QImage red(4, 4, QImage::Format_RGB32);
        red.fill(Qt::red);
        QCOMPARE(files.save(red), dir.filePath("screenshots/sc_00001.png"));
        QVERIFY(files.save(red).isEmpty());  // all three names taken
    }
};

QTEST_MAIN(TestGuiSession)
#include "test_guisession.moc"
