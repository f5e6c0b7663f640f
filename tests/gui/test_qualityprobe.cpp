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

}  // namespace

class TestQualityProbe : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stopsAtTheFirstQualityThatHolds_data() {
        QTest::addColumn<double>("lowMs");
        QTest::addColumn<double>("normalMs");
        QTest::addColumn<double>("highMs");
        QTest::addColumn<double>("hitchMs");  // twice among High's measured frames
        QTest::addColumn<int>("chosen");
        QTest::addColumn<bool>("holds");
        QTest::addColumn<int>("fps");
        // Slow warm-up frames (the meshes rebuilt) never count.
        QTest::newRow("high holds") << 10.0 << 20.0 << 25.0 << 0.0 << 2 << true << 40;
        QTest::newRow("exactly the goal holds") << 10.0 << 20.0 << 33.0 << 0.0 << 2 << true << 30;
        QTest::newRow("normal") << 10.0 << 30.0 << 40.0 << 0.0 << 1 << true << 33;
        QTest::newRow("low") << 20.0 << 35.0 << 60.0 << 0.0 << 0 << true << 50;
        QTest::newRow("nothing holds: low") << 50.0 << 80.0 << 120.0 << 0.0 << 0 << false << 20;
        QTest::newRow("a few hitches do not lower it")
            << 10.0 << 15.0 << 25.0 << 300.0 << 2 << true << 40;
    }
    void stopsAtTheFirstQualityThatHolds() {
        QFETCH(double, lowMs);
        QFETCH(double, normalMs);
        QFETCH(double, highMs);
        QFETCH(double, hitchMs);
        QFETCH(int, chosen);
        QFETCH(bool, holds);
        QFETCH(int, fps);
        QualityProbe probe;
        const std::vector<int> drawn =
            run(probe, {frames(400, lowMs), frames(400, normalMs), frames(400, highMs, hitchMs)});
        QVERIFY(probe.done());
        QCOMPARE(probe.quality(), chosen);
        QCOMPARE(probe.holdsGoal(), holds);
        QCOMPARE(qRound(probe.fps()), fps);
        // Every quality tried got its full set of frames, from High down.
        const int perQuality = QualityProbe::kWarmupFrames + QualityProbe::kMeasuredFrames;
        QCOMPARE(int(drawn.size()), perQuality * (QualityProbe::kHighest - chosen + 1));
        QCOMPARE(drawn.front(), QualityProbe::kHighest);
        QCOMPARE(drawn.back(), chosen);
        probe.frameTook(1000);  // after the choice nothing changes it
        QCOMPARE(probe.quality(), chosen);
        QCOMPARE(qRound(probe.fps()), fps);
    }
};

QTEST_GUILESS_MAIN(TestQualityProbe)
#include "test_qualityprobe.moc"
