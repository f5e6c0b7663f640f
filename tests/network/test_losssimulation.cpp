// Delay added to datagrams: drawn delays on a hand-moved clock and the text
// that asks for them. The line's own timer in real time: test_bot's game.
#include <QTest>
#include <algorithm>
#include <cmath>
#include <numeric>

#include "network/losssimulation.h"

namespace {

// Holds count actions, one a millisecond, on a clock moved by hand; the delay
// each one saw, in the order they were held, and the order they ran in.
struct Run {
    QList<int> delays;
    QList<int> order;
};

Run holdMany(DelayLine& line, int count) {
    ManualClock clock;
    line.setClock(clock);
    Run run;
    run.delays.resize(count);
    for (int i = 0; i < count || line.held() > 0; ++i) {
        if (i < count) {
            line.hold([&run, &clock, i] {
                run.delays[i] = int(clock.nowMs()) - i;
                run.order << i;
            });
        }
        clock.advance(1);
        line.release();
    }
    return run;
}

double mean(const QList<int>& values) {
    return std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
}

double deviation(const QList<int>& values) {
    const double m = mean(values);
    double sum = 0;
    for (int v : values) {
        sum += (v - m) * (v - m);
    }
    return std::sqrt(sum / double(values.size()));
}

}  // namespace

class TestLossSimulation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Uniform from 30 to 70 ms: its mean 50, its deviation 40/sqrt(12) ~ 11.8.
    // Later ones overtake earlier ones; the same seed draws the same delays.
    void jitterSpreadsDelaysAroundTheMean() {
        DelayLine line;
        line.setDelay(50, 20, 7);
        const Run run = holdMany(line, 2000);
        QCOMPARE(*std::min_element(run.delays.begin(), run.delays.end()), 30);
        QCOMPARE(*std::max_element(run.delays.begin(), run.delays.end()), 70);
        QVERIFY2(std::abs(mean(run.delays) - 50) < 1.5,
                 qPrintable(QString::number(mean(run.delays))));
        QVERIFY2(std::abs(deviation(run.delays) - 11.8) < 1.0,
                 qPrintable(QString::number(deviation(run.delays))));
        QVERIFY(!std::is_sorted(run.order.begin(), run.order.end()));

        DelayLine again;
        again.setDelay(50, 20, 7);
        QCOMPARE(holdMany(again, 2000).delays, run.delays);
        again.setDelay(50, 20, 8);
        QVERIFY(holdMany(again, 2000).delays != run.delays);

        // Without jitter the order is kept.
        again.setDelay(40, 0, 7);
        const Run steady = holdMany(again, 300);
        QCOMPARE(steady.delays, QList<int>(300, 40));
        QVERIFY(std::is_sorted(steady.order.begin(), steady.order.end()));
    }

    // 101 ms give or take 21: 51 +- 11 out, 50 +- 10 in.
    void roundTripIsSplitBetweenTheWays() {
        LossSimulation loss;
        loss.delay(Latency{101, 21}, 3);
        const Run out = holdMany(loss.delayOutgoing, 1000);
        const Run in = holdMany(loss.delayIncoming, 1000);
        QCOMPARE(*std::min_element(out.delays.begin(), out.delays.end()) +
                     *std::min_element(in.delays.begin(), in.delays.end()),
                 80);
        QCOMPARE(*std::max_element(out.delays.begin(), out.delays.end()) +
                     *std::max_element(in.delays.begin(), in.delays.end()),
                 122);
        loss.delay(Latency{}, 3);
        QVERIFY(!loss.delayOutgoing.active() && !loss.delayIncoming.active());
    }

    // An action may end the connection, and the line with it.
    void actionMayDestroyItsLine() {
        auto line = std::make_unique<DelayLine>();
        ManualClock clock;
        line->setClock(clock);
        line->setDelay(1, 0, 1);
        int ran = 0;
        line->hold([&] {
            ++ran;
            line.reset();
        });
        line->hold([&] { ++ran; });
        clock.advance(1);
        line->release();
        QCOMPARE(ran, 1);
    }

    void latencyText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("roundTrip");  // -1: refused
        QTest::addColumn<int>("jitter");
        QTest::newRow("round trip") << "100" << 100 << 0;
        QTest::newRow("with jitter") << "100,20" << 100 << 20;
        QTest::newRow("none") << "0" << 0 << 0;
        QTest::newRow("largest") << "10000,10000" << 10000 << 10000;
        QTest::newRow("leading zeros") << "0100,020" << 100 << 20;
        for (const char* bad :
             {"", ",", "100,", ",20", "-5", "+5", " 100", "100 ", "100,200", "10001", "100,20,3",
              "1e3", "0x10", "abc", "100;20", "99999999999", "\xd9\xa3", "100,-1"}) {
            QTest::newRow(qPrintable(QStringLiteral("bad '%1'").arg(QString::fromUtf8(bad))))
                << QString::fromUtf8(bad) << -1 << 0;
        }
    }
    void latencyText() {
        QFETCH(QString, text);
        QFETCH(int, roundTrip);
        QFETCH(int, jitter);
        const std::optional<Latency> latency = Latency::fromText(text);
        QCOMPARE(latency.has_value(), roundTrip >= 0);
        if (latency) {
            QCOMPARE(*latency, (Latency{roundTrip, jitter}));
        }
    }
};

QTEST_GUILESS_MAIN(TestLossSimulation)
#include "test_losssimulation.moc"
