// Where the quality probe stops, slow first frames and a single hitch aside.
#include <QTest>
#include <algorithm>
#include <vector>

#include "gui/qualityprobe.h"

namespace {

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

class TestQualityProbe : public QObject {
    Q_OBJECT

private Q_SLOTS:
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
        QCOMPARE(probe.quality(), c.chosen);
        QCOMPARE(probe.holdsGoal(), c.holds);
        QCOMPARE(qRound(probe.fps()), c.fps);
        // Every quality tried got its full set of frames, from High down.
        const int perQuality = QualityProbe::kWarmupFrames + QualityProbe::kMeasuredFrames;
        QCOMPARE(int(drawn.size()), perQuality * (QualityProbe::kHighest - c.chosen + 1));
        QCOMPARE(drawn.front(), QualityProbe::kHighest);
        QCOMPARE(drawn.back(), c.chosen);
        probe.frameTook(1000);  // after the choice nothing changes it
        QCOMPARE(probe.quality(), c.chosen);
        QCOMPARE(qRound(probe.fps()), c.fps);
    }
};

QTEST_GUILESS_MAIN(TestQualityProbe)
#include "test_qualityprobe.moc"
