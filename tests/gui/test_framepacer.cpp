// Frames paced to the refresh on a clock moved by hand, and where the quality probe stops.
#include <QTest>
#include <algorithm>
#include <vector>

#include "gui/framepacer.h"
#include "gui/qualityprobe.h"

namespace {

// slowMs: the frame time in the first second; frames: in 3 s, give or take 1.
struct Pace {
    double refreshHz;
    bool flatOut;
    int frameMs, slowMs, frames;
};

// A frame asked for is painted at once, takes its time and asks again, for 3 s; the starts.
QList<qint64> animate(const Pace& c) {
    ManualTimerSource timers;
    bool asked = false;
    FramePacer pacer(timers, [&] { asked = true; });
    pacer.setRefreshRate(c.refreshHz);
    pacer.setFlatOut(c.flatOut);
    QList<qint64> starts;
    pacer.request();
    while (timers.clock().nowMs() < 3000) {
        if (asked) {
            asked = false;
            starts << timers.clock().nowMs();
            pacer.frameStarted();
            timers.advance(timers.clock().nowMs() < 1000 ? c.slowMs : c.frameMs);
            pacer.request();
        } else {
            timers.advance(1);
        }
    }
    return starts;
}

// Feeds each quality's frames until done; the qualities drawn at, in order.
std::vector<int> run(QualityProbe& probe, const std::vector<std::vector<double>>& byQuality) {
    std::vector<int> drawnAt;
    while (!probe.done() && drawnAt.size() < 200) {
        const int q = probe.quality();
        const std::vector<double>& frames = byQuality[std::size_t(q)];
        const auto atThis = std::count(drawnAt.begin(), drawnAt.end(), q);
        drawnAt.push_back(q);
        probe.frameTook(frames[std::size_t(atThis) % frames.size()]);
    }
    return drawnAt;
}

std::vector<double> frames(double warmupMs, double ms, double hitchMs = 0) {
    std::vector<double> f(QualityProbe::kWarmupFrames, warmupMs);
    f.resize(QualityProbe::kWarmupFrames + QualityProbe::kMeasuredFrames, ms);
    if (hitchMs > 0) {
        f[QualityProbe::kWarmupFrames + 1] = hitchMs;
        f[QualityProbe::kWarmupFrames + 4] = hitchMs;
    }
    return f;
}

// Frame times per quality; the hitch comes twice among High's measured frames. The outcome.
struct Probe {
    double lowMs, normalMs, highMs, hitchMs;
    int chosen, fps;
    bool holds;
};

}  // namespace

class TestFramePacer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void animationRunsAtTheRefreshRate_data() {
        QTest::addColumn<Pace>("c");
        QTest::newRow("60 Hz") << Pace{60, false, 2, 2, 180};
        QTest::newRow("144 Hz") << Pace{144, false, 2, 2, 432};
        QTest::newRow("unknown: 60 Hz") << Pace{0, false, 2, 2, 180};
        QTest::newRow("a frame of nearly an interval") << Pace{60, false, 16, 16, 180};
        QTest::newRow("flat out") << Pace{60, true, 2, 2, 1500};
        // Each frame at once after the last: none queued up behind it.
        QTest::newRow("long frames") << Pace{60, false, 35, 35, 86};
        // And no burst to catch up with once frames are quick again.
        QTest::newRow("long, then quick") << Pace{60, false, 2, 35, 149};
    }
    void animationRunsAtTheRefreshRate() {
        QFETCH(Pace, c);
        const QList<qint64> starts = animate(c);
        QVERIFY2(std::abs(starts.size() - c.frames) <= 1,
                 qPrintable(QString::number(starts.size())));
        // Evenly: no two closer than the interval less 1 ms, or than a frame.
        const int interval = 1000 / int(c.refreshHz > 0 ? c.refreshHz : 60) - 1;
        const int closest = c.flatOut ? c.frameMs : std::max(c.frameMs, interval);
        for (qsizetype i = 1; i < starts.size(); ++i) {
            const qint64 gap = starts[i] - starts[i - 1];
            QVERIFY2(gap >= closest && gap <= std::max({c.frameMs, c.slowMs, 18}),
                     qPrintable(QStringLiteral("%1 %2").arg(starts[i - 1]).arg(starts[i])));
        }
    }

    // A still screen draws at once; changes within the interval share the next frame.
    void changesWithinAnIntervalShareAFrame() {
        ManualTimerSource timers;
        int draws = 0;
        FramePacer pacer(timers, [&] { ++draws; });
        timers.advance(500);
        pacer.request();
        QCOMPARE(draws, 1);
        pacer.frameStarted();
        for (int i = 0; i < 10; ++i) {
            timers.advance(1);
            pacer.request();
        }
        QCOMPARE(draws, 1);
        timers.advance(6);
        QCOMPARE(draws, 1);
        timers.advance(1);  // 517: the first whole millisecond after the interval
        QCOMPARE(draws, 2);
        timers.advance(100);
        QCOMPARE(draws, 2);
    }

    // Where the quality probe stops, slow first frames and a single hitch aside.
    void stopsAtTheFirstQualityThatHolds_data() {
        QTest::addColumn<Probe>("c");
        // Slow warm-up frames (the meshes rebuilt) never count.
        QTest::newRow("high holds") << Probe{10, 20, 25, 0, 2, 40, true};
        QTest::newRow("exactly the goal holds") << Probe{10, 20, 33, 0, 2, 30, true};
        QTest::newRow("normal") << Probe{10, 30, 40, 0, 1, 33, true};
        QTest::newRow("low") << Probe{20, 35, 60, 0, 0, 50, true};
        QTest::newRow("nothing holds: low") << Probe{50, 80, 120, 0, 0, 20, false};
        QTest::newRow("a few hitches do not lower it") << Probe{10, 15, 25, 300, 2, 40, true};
    }
    void stopsAtTheFirstQualityThatHolds() {
        QFETCH(Probe, c);
        QualityProbe probe;
        const std::vector<int> drawn = run(probe, {frames(400, c.lowMs), frames(400, c.normalMs),
                                                   frames(400, c.highMs, c.hitchMs)});
        QVERIFY(probe.done());
        QCOMPARE((QList{probe.quality(), int(probe.holdsGoal()), qRound(probe.fps())}),
                 (QList{c.chosen, int(c.holds), c.fps}));
        // Every quality tried got its full set of frames, from High down.
        const int perQuality = QualityProbe::kWarmupFrames + QualityProbe::kMeasuredFrames;
        QCOMPARE(int(drawn.size()), perQuality * (QualityProbe::kHighest - c.chosen + 1));
        QCOMPARE((QList{drawn.front(), drawn.back()}), (QList{QualityProbe::kHighest, c.chosen}));
        probe.frameTook(1000);  // after the choice nothing changes it
        QCOMPARE((QList{probe.quality(), qRound(probe.fps())}), (QList{c.chosen, c.fps}));
    }
};

QTEST_GUILESS_MAIN(TestFramePacer)
#include "test_framepacer.moc"
