// The game events through the Client on recording connections, on to the field copy.
#include <QSignalSpy>
#include <QTest>

#include "clientharness.h"
#include "network/fieldimage.h"

namespace {

const QString kNewGame = "\n\nPress 'r' for a new game.";

}  // namespace

class TestClientGame : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void countdownPauseRestartAbortedStartAndGameOver() {
        ClientHarness h;
        h.hostSingle();
        h.clearLog();
        h.startGame(0, 24);
        QCOMPARE(h.events.mid(h.events.size() - 8),
                 (QStringList{"fieldsize 24", "resetGui F 1 F T F 0", base(GuiState::Game),
                              "countdown Starting in 3...", "countdown Starting in 2...",
                              "countdown Starting in 1...", "countdown ", "playtime start"}));
        QCOMPARE(h.client->state(), int(GamePlayer::Playing));
        h.client->game().inputKeys({1, 0, 2, 0, 0, 0, 0, 0, 0, 0});
        QCOMPARE(h.udp->callsOf("sendCInput"),
                 (Calls{{false, QVariantList{1, 0, 2, 0, 0, 0, 0, 0, 0, 0}}}));

        h.clearLog();
        h.client->lobby().setMenuOpen(true);
        Q_EMIT h.tcp->changedCPause({0, -1});
        QCOMPARE(h.client->state(), int(GamePlayer::Pausing));
        h.client->lobby().setMenuOpen(false);
        QCOMPARE(h.tcp->callsOf("sendCPause"), (Calls{{true}, {true}}));
        for (int count : {3, 2, 1, 0}) {
            Q_EMIT h.tcp->changedCPause({0, count});
        }
        QCOMPARE(h.events, (QStringList{base(GuiState::Game, "Game paused..."), "playtime pause T",
                                        base(GuiState::Game), "countdown Resuming in 3...",
                                        "countdown Resuming in 2...", "countdown Resuming in 1...",
                                        "countdown ", "playtime pause F"}));
        Q_EMIT h.tcp->changedCPause({2, -1});  // another connection's pause
        QCOMPARE(h.client->state(), int(GamePlayer::Playing));

        h.client->lobby().restartGame();
        QCOMPARE(h.tcp->callsOf("sendCRestart"), (Calls{{true}}));
        Q_EMIT h.tcp->changedCGameRestart(0);
        QCOMPARE(h.events.last(),
                 base(GuiState::Lobby, "Game restarted by the server." + kNewGame));
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        h.client->lobby().restartGame();  // only while playing or pausing
        QCOMPARE(h.tcp->count("sendCRestart"), 1);

        h.client->lobby().setReady();
        h.playerList("0:Player1:Playing");
        Q_EMIT h.udp->changedCGameStart({0, 12, 3});
        h.client->lobby().setReady();  // 'r' during the start countdown
        QCOMPARE(h.statusesSent().last(), "Waiting,-1");
        h.clearLog();
        Q_EMIT h.tcp->changedCGameRestart(-1);
        QCOMPARE(h.events, (QStringList{"playtime stop", "rotation T", "countdown ",
                                        base(GuiState::Lobby, "Start abortet." + kNewGame)}));
        h.playerList("0:Player1");
        QCOMPARE(h.events.last(), base(GuiState::Lobby, "Start abortet." + kNewGame));

        // The game over appends the highscore.
        h.startGame();
        h.clearLog();
        Q_EMIT h.tcp->changedCGameOver({120, 5, "00:01:40"});
        const QString over = "GAME OVER (120 Point(s))" + kNewGame;
        QCOMPARE(h.events, (QStringList{"playtime stop", "rotation T", "score 120 F",
                                        "playtime text 00:01:40 F", base(GuiState::Game, over)}));
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        QVERIFY(
            h.readFile("highscore.dat")
                .startsWith("2011-03-05T18:04:11 120 5 00:01:40 1 Player1 Quadrell Beta 0.92 "));
        h.playerList("0:Player1");
        QCOMPARE(h.events.last(), base(GuiState::Lobby, over));

        ClientHarness blocked;
        QVERIFY(QDir(blocked.dir.path()).mkdir("highscore.dat"));
        blocked.hostSingle();
        blocked.startGame();
        Q_EMIT blocked.tcp->changedCGameOver({10, 0, "00:00:05"});
        QCOMPARE(blocked.eventsOf("error"),
                 QStringList{"error F The highcore could not be saved locally."});
    }

    void lateJoinerBuildsTheFieldAndSpectatesTheGameOver() {
        ClientHarness h;
        h.joinAndEstablish("10.0.0.5", 1);
        QByteArray field(24 * 25 / 2, '\x77');
        field[0] = '\x71';    // column 1, row 0: colour 0
        field[13] = '\x37';   // column 2, row 1: colour 2
        field[299] = '\x16';  // columns 22 and 23 of row 24: colours 0 and 5
        h.clearLog();
        Q_EMIT h.udp->changedCGameState(
            {24, true, 340, "00:02:10", field, {{5, 1, 2, 100, 1000, 1}, {6, 2, 3, 300, 1100, 0}}});
        QCOMPARE(h.events,
                 (QStringList{"fieldsize 24", "resetGui F 4 F F T 1",
                              "base Game Waiting for other game to finish...", "playtime start",
                              "rotation T", "score 340 T", "playtime text 00:02:10 T", "field 24 4",
                              "block 5 24", "block 6 24", "base Game Game paused...",
                              "playtime pause T"}));
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        const FieldMirror& copy = h.client->field().mirror();
        const GameBlock& f = *copy.block(0);
        QCOMPARE(f.boxes().size(), std::size_t(4));
        for (const GameBox& box : f.boxes()) {
            QVERIFY(box.x(0) == box.x(3) && box.y(1) == box.y(3));  // standing still
        }
        QCOMPARE(FieldImage::pack(f, 24), field);  // the boxes make the image
        QVERIFY(copy.block(5) && copy.block(6));

        // A spectator's game over writes nothing.
        h.playerList("0:Ann:Playing 1:Player1:Spectating");
        QCOMPARE(h.client->state(), int(GamePlayer::Spectating));
        Q_EMIT h.tcp->changedCGameOver({30, 1, "00:00:20"});
        QVERIFY(!QFile::exists(h.path("highscore.dat")));
    }

    void blocksAndMovementsReachTheFieldCopy() {
        ClientHarness h;
        h.client->game().inputKeys({1, 2, 3, 4, 5, 0, 0, 0, 0, 0});  // not connected: dropped
        QCOMPARE(h.udp->count("sendCInput"), 0);
        h.hostSingle();
        Q_EMIT h.udp->changedCGameStart({0, 36, 3});
        Q_EMIT h.udp->changedCNewBlock({7, 2, 4, 150, 1250, 3});
        ClientField& copy = h.client->field();
        const GameBlock& b = *copy.mirror().block(7);
        QCOMPARE(
            (QList<int>{b.id(), b.colour(), b.kind(), b.x(), b.y(), b.rotation(), b.fieldsizeX()}),
            (QList<int>{7, 2, 4, 150, 1250, 3, 36}));
        Q_EMIT h.udp->changedCMoveBlocks({{7, 200, 1200, 0}}, {7, 8}, {});
        QCOMPARE((QList<int>{b.x(), b.y(), b.rotation()}), (QList<int>{200, 1200, 0}));

        // A press shows at once unless switched off; misses are asked for.
        Q_EMIT h.udp->changedCGameStart({0, 36, 0});
        h.client->inputKeys({0, 0, 1, 0, 0, 0, 0, 0, 0, 0});
        QVERIFY(copy.settling());
        ClientSettings::Options o = h.client->settings().options;
        o.predictMoves = false;
        h.client->setOptions(o);
        QVERIFY(!copy.settling());
        // The carried-out counters travel as residues of those sent, counted
        // from zero again with a new game's field.
        QSignalSpy moved(&h.client->game(), &ClientGame::moveBlocks);
        h.client->inputKeys({0, 0, 60, 0, 0, 0, 0, 0, 0, 0});
        Q_EMIT h.udp->changedCMoveBlocks({}, {7, 8}, {0, 0, 8});
        QCOMPARE(moved.last()[2].value<QList<int>>(), KeyInput::fromList({0, 0, 60}).toList());
        Q_EMIT h.udp->changedCGameStart({0, 36, 3});
        Q_EMIT h.udp->changedCMoveBlocks({}, {7, 8}, {0});
        QCOMPARE(moved.last()[2].value<QList<int>>(), KeyInput{}.toList());

        for (int i = 0; i <= FieldMirror::kMissesBeforeLoss; ++i) {
            Q_EMIT h.udp->changedCMoveBlocks({{99, 0, 0, 0}}, {7, 8}, {});
        }
        QCOMPARE(h.udp->count("requestResend"), 1);

        Q_EMIT h.udp->changedCMergeBlocks({{7, 200, 0, 0}});
        QCOMPARE(h.events.last(), "merge 1");
        QCOMPARE(copy.mirror().block(7), nullptr);
    }
};

QTEST_GUILESS_MAIN(TestClientGame)
#include "test_clientgame.moc"
