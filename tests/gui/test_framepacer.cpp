// Frames paced to the screen's refresh, on a clock moved by hand.
#include <QTest>

#include "gui/framepacer.h"

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
};

QTEST_GUILESS_MAIN(TestFramePacer)
#include "test_framepacer.moc"
