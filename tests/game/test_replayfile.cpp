// A kept game's bytes: written and read back step for step, and any damage
// refused with a reason; the player's guards on what a file may ask.
#include <QTest>

#include "game/replayfile.h"
#include "game/replayplayer.h"

using namespace ReplayFile;

namespace {

const QList<Seat> kSeats = {{0, QStringLiteral("Anna"), 2, 4, 25, false},
                            {2, QStringLiteral("CPU_1"), 0, 16, 25, true}};

// Two players, a quiet start, presses (one counter running backwards, one
// far out), a pause, a stand-in for the second and the end.
QByteArray sampleGame() {
    Writer w(24, 0xdeadbeef, kSeats);
    w.begin(3000);
    for (int i = 0; i < 1000; ++i) {
        w.tick({KeyCounts{}, std::nullopt, KeyCounts{}, std::nullopt});
    }
    w.tick({KeyCounts{1, 0, 0, 0, 0}, std::nullopt, KeyCounts{0, 0, 0, 0, 2'000'000'000}});
    w.tick({KeyCounts{1, 0, 0, 0, 0}, std::nullopt, KeyCounts{0, 0, 0, 0, -5}});
    w.pause(true, 25000);
    w.pause(false, 31000);
    w.leave(2);
    w.join({2, QStringLiteral("CPU_2"), 0, 16, 0, true});
    w.away(0, true);
    w.away(0, false);
    w.tick({KeyCounts{1, 0, 0, 0, 0}, std::nullopt, KeyCounts{0, 1, 0, 0, 0}});
    w.tick({KeyCounts{1, 0, 0, 0, 0}, std::nullopt, KeyCounts{0, 1, 0, 0, 0}});
    return w.finish({1234, 7, QStringLiteral("00:00:40")}, 40020);
}

// A step as a line: kind, value, the counters of the slots that changed, the seat.
QString stepText(const Step& s) {
    static const char* const kinds[] = {"ticks", "keys",  "begin", "pause", "resume",
                                        "join",  "leave", "away",  "back"};
    QString line = QStringLiteral("%1 %2").arg(QLatin1String(kinds[int(s.kind)])).arg(s.value);
    for (int slot = 0; slot < kSlots; ++slot) {
        if (s.changed & (1 << slot)) {
            line += QStringLiteral(" %1:").arg(slot);
            for (int c : s.keys[std::size_t(slot)]) {
                line += QString::number(c) + QLatin1Char(',');
            }
        }
    }
    const bool seat = s.kind == Step::Kind::Join || s.kind >= Step::Kind::Leave;
    return seat ? line + QStringLiteral(" %1 %2").arg(s.seat.slot).arg(s.seat.name) : line;
}

QByteArray withByte(QByteArray bytes, qsizetype at, char value) {
    bytes[at] = value;
    return bytes;
}

}  // namespace

class TestReplayFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void roundTrip() {
        const QByteArray bytes = sampleGame();
        const ReadResult read = ReplayFile::read(bytes);
        QVERIFY2(read.replay, qPrintable(read.error));
        const Replay& r = *read.replay;
        QCOMPARE(r.columns, 24);
        QCOMPARE(r.seed, 0xdeadbeefu);
        QCOMPARE(r.ticks, 1004);
        QCOMPARE(r.seats, kSeats);
        QCOMPARE(r.result, (Result{1234, 7, QStringLiteral("00:00:40")}));
        QCOMPARE(r.endMs, 40020);

        QStringList steps;
        Steps walk(r);
        Step s;
        while (walk.next(s)) {
            steps << stepText(s);
        }
        QVERIFY(walk.error().isEmpty());
        // Counters restart at 0 for the stand-in, so its first press is a 1.
        QCOMPARE(steps, (QStringList{"begin 3000", "keys 1000 0:1,0,0,0,0, 2:0,0,0,0,2000000000,",
                                     "keys 0 2:0,0,0,0,-5,", "pause 25000", "resume 31000",
                                     "leave 0 2 ", "join 0 2 CPU_2", "away 0 0 ", "back 0 0 ",
                                     "keys 0 0:1,0,0,0,0, 2:0,1,0,0,0,", "ticks 1"}));
        // A quiet thousand ticks cost a few bytes, not one each.
        QVERIFY2(bytes.size() < 120, qPrintable(QString::number(bytes.size())));
    }

    void refusesDamage_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        const QByteArray good = sampleGame();
        const qsizetype seats = 4 + 1 + 1 + 4 + 2 + 1;  // magic .. player count
        QTest::newRow("empty") << QByteArray() << "not a replay";
        QTest::newRow("magic") << withByte(good, 0, 'X') << "not a replay";
        QTest::newRow("version") << withByte(good, 4, 2) << "version 2";
        QTest::newRow("width") << withByte(good, 5, 13) << "field width 13";
        QTest::newRow("players") << withByte(good, seats - 1, 5) << "5 players";
        QTest::newRow("slot") << withByte(good, seats, 4) << "slot out of range";
        QTest::newRow("same slot") << withByte(good, seats + 10, 0) << "slot 0 twice";
        QTest::newRow("declared ticks") << withByte(good, 10, char(0xeb)) << "1003 declared";
        Writer far(12, 1, {});
        far.begin(qint64(1) << 41);
        QTest::newRow("time") << far.finish({}, 0) << "time out of range";
        QTest::newRow("after the end") << good + "x"
                                       << "bytes after the end";
        QTest::newRow("too large") << good + QByteArray(kMaxBytes, 0) << "larger than";
        QTest::newRow("endless number")
            << good.left(good.size() - 1) + QByteArray(12, char(0xff)) << "number too long";
    }

    void refusesDamage() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        const ReadResult read = ReplayFile::read(bytes);
        QVERIFY(!read.replay);
        QVERIFY2(read.error.contains(error), qPrintable(read.error));
    }

    // Every prefix is refused, and so is every record tag nobody writes.
    void refusesCutsAndUnknownRecords() {
        const QByteArray good = sampleGame();
        for (qsizetype n = 0; n < good.size(); ++n) {
            QVERIFY2(!ReplayFile::read(good.left(n)).replay, qPrintable(QString::number(n)));
        }
        Writer w(12, 1, {});
        w.begin(0);
        const QByteArray begins = w.finish({}, 0);
        const qsizetype records = 4 + 1 + 1 + 4 + 1 + 1;  // magic .. no players
        QVERIFY(ReplayFile::read(begins).replay);
        for (int tag : {0x00, 0x0a, 0x7f, 0x80}) {
            const ReadResult read = ReplayFile::read(withByte(begins, records, char(tag)));
            QVERIFY(!read.replay);
            QVERIFY2(read.error.contains("unknown record"), qPrintable(read.error));
        }
    }

    void playerGuards() {
        const Replay sample = *ReplayFile::read(sampleGame()).replay;
        // A budget shorter than the game stops it.
        ReplayPlayer::Outcome out = ReplayPlayer::play(sample, 50);
        QCOMPARE(out.ticks, 50);
        QVERIFY(out.error.contains("stopped after 50"));
        QVERIFY(!out.matches);
        QVERIFY(!out.result);

        // Counters for a slot nobody holds.
        Writer w(12, 1, {kSeats[0]});
        w.tick({KeyCounts{}, KeyCounts{1, 0, 0, 0, 0}});
        out = ReplayPlayer::play(*ReplayFile::read(w.finish({}, 0)).replay);
        QVERIFY2(out.error.contains("empty slot 1"), qPrintable(out.error));
        QVERIFY(!out.matches);
    }
};

QTEST_GUILESS_MAIN(TestReplayFile)
#include "test_replayfile.moc"
