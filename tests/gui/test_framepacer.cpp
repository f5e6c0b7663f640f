// Frames paced to the screen's refresh, on a clock moved by hand.
#include <QTest>

#include "gui/framepacer.h"

namespace {

// A frame asked for is painted at once, takes frameMs (slowMs in the first second) and asks again;
// the starts.
QList<qint64> animate(FramePacer& pacer, ManualTimerSource& timers, bool& asked, int frameMs,
                      int slowMs, qint64 durationMs) {
    QList<qint64> starts;
    pacer.request();
    while (timers.clock().nowMs() < durationMs) {
        if (asked) {
            asked = false;
            starts << timers.clock().nowMs();
            pacer.frameStarted();
            timers.advance(timers.clock().nowMs() < 1000 ? slowMs : frameMs);
            pacer.request();
        } else {
            timers.advance(1);
        }
    }
    return starts;
}

}  // namespace

class TestFramePacer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void animationRunsAtTheRefreshRate_data() {
        QTest::addColumn<double>("refreshHz");
        QTest::addColumn<bool>("flatOut");
        QTest::addColumn<int>("frameMs");
        QTest::addColumn<int>("slowMs");  // frame time in the first second
        QTest::addColumn<int>("frames");  // in 3 s, give or take 1
        QTest::newRow("60 Hz") << 60.0 << false << 2 << 2 << 180;
        QTest::newRow("144 Hz") << 144.0 << false << 2 << 2 << 432;
        QTest::newRow("unknown: 60 Hz") << 0.0 << false << 2 << 2 << 180;
        QTest::newRow("a frame of nearly an interval") << 60.0 << false << 16 << 16 << 180;
        QTest::newRow("flat out") << 60.0 << true << 2 << 2 << 1500;
        // Each frame at once after the last: none queued up behind it.
        QTest::newRow("long frames") << 60.0 << false << 35 << 35 << 86;
        // And no burst to catch up with once frames are quick again.
        QTest::newRow("long, then quick") << 60.0 << false << 2 << 35 << 149;
    }
    void animationRunsAtTheRefreshRate() {
        QFETCH(double, refreshHz);
        QFETCH(bool, flatOut);
        QFETCH(int, frameMs);
        QFETCH(int, slowMs);
        QFETCH(int, frames);
        ManualTimerSource timers;
        bool asked = false;
        FramePacer pacer(timers, [&] { asked = true; });
        pacer.setRefreshRate(refreshHz);
        pacer.setFlatOut(flatOut);
        const QList<qint64> starts = animate(pacer, timers, asked, frameMs, slowMs, 3000);
        QVERIFY2(std::abs(starts.size() - frames) <= 1, qPrintable(QString::number(starts.size())));
        // Evenly: no two closer than the interval less 1 ms, or than a frame.
        const qint64 closest =
            flatOut ? frameMs
                    : std::max<qint64>(frameMs, 1000 / qint64(refreshHz > 0 ? refreshHz : 60) - 1);
        for (qsizetype i = 1; i < starts.size(); ++i) {
            const qint64 gap = starts[i] - starts[i - 1];
            QVERIFY2(gap >= closest && gap <= std::max({frameMs, slowMs, 18}),
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
};

QTEST_GUILESS_MAIN(TestFramePacer)
#include "test_framepacer.moc"
