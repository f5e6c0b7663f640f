// A game the server runs, with people pressing, computers playing, a pause
// and a stand-in, kept as a replay: played again it ends the same way, and
// one press changed makes it another game.
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <tuple>

#include "game/replayplayer.h"
#include "serverharness.h"

namespace {

using enum GamePlayer::PlayerStatus;
using namespace ReplayFile;

constexpr int kDrop = int(KeySlot::Drop);
constexpr int kLeft = int(KeySlot::Left);

// Writes the replay again tick by tick, each slot's counters passed through change.
using Change = std::function<KeyCounts(int slot, KeyCounts)>;

QByteArray rewritten(const Replay& r, const Change& change) {
    Writer w(r.columns, r.seed, r.seats);
    std::array<KeyCounts, kSlots> keys{};
    const auto ticks = [&](qint64 n) {
        for (qint64 i = 0; i < n; ++i) {
            std::array<std::optional<KeyCounts>, kSlots> now;
            for (int slot = 0; slot < kSlots; ++slot) {
                now[std::size_t(slot)] = change(slot, keys[std::size_t(slot)]);
            }
            w.tick(now);
        }
    };
    Steps steps(r);
    for (Step s; steps.next(s);) {
        using K = Step::Kind;
        if (s.kind == K::Ticks || s.kind == K::Keys) {
            ticks(s.value);
        }
        if (s.kind == K::Keys) {
            keys = s.keys;
            ticks(1);
        } else if (s.kind == K::Begin) {
            w.begin(s.value);
        } else if (s.kind == K::Pause || s.kind == K::Resume) {
            w.pause(s.kind == K::Pause, s.value);
        } else if (s.kind == K::Join || s.kind == K::Leave) {
            keys[std::size_t(s.seat.slot)] = {};
            s.kind == K::Join ? w.join(s.seat) : w.leave(s.seat.slot);
        }
    }
    return w.finish(r.result, r.endMs);
}

}  // namespace

class TestGameRecorder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void replayGivesTheGamesResult() {
        QTemporaryDir folder;
        HarnessOptions o;
        o.settings.computers = 2;
        o.replayFolder = folder.filePath(QStringLiteral("replays"));
        ServerHarness h(o);
        QSignalSpy recorded(h.server.get(), &Server::gameRecorded);
        h.startPlaying({"Ann", "Bob"}, 2);  // after the computers
        QVERIFY(h.server->recorder().recording());
        const int ann = h.sim().findPlayer(2, 0);

        // Ann drops at once, again and again, and soon piles her part up.
        qint64 ticks = 0;
        const auto play = [&](int n) {
            for (int i = 0; i < n && h.sim().running(); ++i, ++ticks) {
                if (ticks % 40 == 0) {
                    h.press(2, kDrop);
                }
                h.tick();
            }
        };
        play(100);
        QVERIFY(h.sim().running());
        Q_EMIT h.stream->changedSPlayerPause(2);
        h.clock.advance(60000);  // not play time
        Q_EMIT h.stream->changedSPlayerPause(2);
        h.countDown();
        play(100);
        QVERIFY(h.sim().running());
        Q_EMIT h.stream->changedSPlayerDisconnect(3);  // a computer plays on for Bob
        QCOMPARE(h.server->computers().standIns().size(), 1);
        play(20000);
        QVERIFY(!h.sim().running());

        const QVariantList over = h.both("sendSGameOver");
        const Result played{over[1].toInt(), over[2].toInt(), over[3].toString()};
        QVERIFY(played.playtime > QStringLiteral("00:00:04"));
        QCOMPARE(recorded.size(), 1);
        const QByteArray bytes = recorded[0][0].toByteArray();
        QCOMPARE(bytes, h.server->recorder().lastReplay());
        QVERIFY(!h.server->recorder().recording());

        // Kept under its date and score.
        const QStringList files = QDir(o.replayFolder).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY2(
            QRegularExpression(
                QStringLiteral("^\\d{4}-\\d\\d-\\d\\d-\\d{4}-score%1\\.qrpl$").arg(played.score))
                .match(files[0])
                .hasMatch(),
            qPrintable(files[0]));

        const ReadResult read = ReplayFile::read(bytes);
        QVERIFY2(read.replay, qPrintable(read.error));
        QCOMPARE(read.replay->result, played);
        QCOMPARE(read.replay->ticks, ticks);
        QCOMPARE(read.replay->seats.size(), 4);
        const ReplayPlayer::Outcome again = ReplayPlayer::play(*read.replay);
        QVERIFY2(again.matches, qPrintable(again.error + ReplayPlayer::describe(again.result)));
        QCOMPARE(again.result, played);

        // Ann's first drop made a step left instead makes it another game.
        const auto moved = [ann](int slot, KeyCounts k) {
            if (slot == ann && k[kDrop] > 0) {
                --k[kDrop];
                ++k[kLeft];
            }
            return k;
        };
        const QByteArray changed = rewritten(*read.replay, moved);
        const ReplayPlayer::Outcome other = ReplayPlayer::play(*ReplayFile::read(changed).replay);
        QVERIFY(!other.matches);
        QVERIFY2(other.result != played || other.ticks != ticks,
                 qPrintable(ReplayPlayer::describe(other.result)));

        // quadrell-fieldsim says so by its exit code: 0 the same, 1 another
        // game, 2 no replay at all.
        const QString kept = QDir(o.replayFolder).filePath(files[0]);
        const QString changedFile = folder.filePath(QStringLiteral("changed.qrpl"));
        const QString notReplay = folder.filePath(QStringLiteral("not.qrpl"));
        for (const auto& [file, bytesOut] :
             {std::pair(changedFile, changed), std::pair(notReplay, bytes.left(20))}) {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytesOut) == bytesOut.size());
        }
        for (const auto& [file, code, says] :
             {std::tuple(kept, 0, "match"), std::tuple(changedFile, 1, "MISMATCH"),
              std::tuple(notReplay, 2, "no replay")}) {
            QProcess fieldsim;
            fieldsim.start(QStringLiteral(QUADRELL_FIELDSIM_PROGRAM), {"--replay", file});
            QVERIFY(fieldsim.waitForFinished(30000));
            const QString output =
                fieldsim.readAllStandardOutput() + fieldsim.readAllStandardError();
            QCOMPARE(fieldsim.exitCode(), code);
            QVERIFY2(output.contains(QLatin1String(says)), qPrintable(output));
        }
    }

    // Two games ending in the same minute with the same score keep a file each.
    void sameNameKeepsBoth() {
        QTemporaryDir folder;
        RandomSource seeds{3};
        ManualClock clock;
        GameRecorder recorder(seeds, clock, folder.path(),
                              [] { return QDateTime(QDate(2026, 12, 11), QTime(14, 32)); });
        const GameSimulation sim(recorder.random(), recorder.clock());
        for (int game = 0; game < 2; ++game) {
            recorder.start(sim, 12, {});
            recorder.finish(5, 0, QStringLiteral("00:00:05"));
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files),
                 (QStringList{"2026-12-11-1432-score5-2.qrpl", "2026-12-11-1432-score5.qrpl"}));
        QCOMPARE(recorder.lastFile(), folder.filePath("2026-12-11-1432-score5-2.qrpl"));
    }

    // A game broken off leaves nothing behind.
    void restartKeepsNothing() {
        QTemporaryDir folder;
        HarnessOptions o;
        o.replayFolder = folder.path();
        ServerHarness h(o);
        QSignalSpy recorded(h.server.get(), &Server::gameRecorded);
        h.startPlaying(1);
        h.tick(10);
        Q_EMIT h.stream->changedSPlayerRestart(0);
        QVERIFY(!h.server->recorder().recording());
        QCOMPARE(recorded.size(), 0);
        QVERIFY(QDir(folder.path()).entryList(QDir::Files).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestGameRecorder)
#include "test_gamerecorder.moc"
