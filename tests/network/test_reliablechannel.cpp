// The reliable channel on its own: taking numbers in order, serving resends
// from the numbered history, the quiet-time request.
#include <QTest>

#include "network/networktimings.h"
#include "network/reliablechannel.h"
#include "payloadfields.h"

namespace {

using Arrival = ReliableChannel::Arrival;
using Kind = ReliableChannel::Resend::Kind;
using payloadfields::numbersOf;

// A channel as the core makes one, that has sent n reliable chat lines "1".."n".
ReliableChannel sentLines(int n) {
    const NetworkTimings t;
    ReliableChannel channel(t.historySize, t.maxResendGap);
    for (int i = 1; i <= n; ++i) {
        ConnectionMessage m(MessageCode::SMSG, QString::number(i));
        channel.stamp(m);
    }
    return channel;
}

QList<int> range(int from, int to) {
    QList<int> out;
    for (int i = from; i <= to; ++i) {
        out << i;
    }
    return out;
}

}  // namespace

class TestReliableChannel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keepsTheLastTwenty() { QCOMPARE(numbersOf(sentLines(25).history()), range(6, 25)); }

    void takesNumbersInOrder_data() {
        QTest::addColumn<QList<int>>("numbers");
        QTest::addColumn<QList<Arrival>>("arrivals");
        QTest::addColumn<int>("received");
        using enum Arrival;
        QTest::newRow("in order") << QList{1, 2, 3} << QList{Deliver, Deliver, Deliver} << 3;
        QTest::newRow("duplicate and old")
            << QList{1, 1, 0, -5} << QList{Deliver, Duplicate, Duplicate, Duplicate} << 1;
        QTest::newRow("20 ahead asks") << QList{1, 21} << QList{Deliver, AskResend} << 1;
        QTest::newRow("21 ahead is outside the window")
            << QList{1, 22, 2} << QList{Deliver, OutOfWindow, Deliver} << 2;
        QTest::newRow("the gap filled")
            << QList{2, 1, 2} << QList{AskResend, Deliver, Deliver} << 2;
        QTest::newRow("extreme numbers")
            << QList{2147483647, -2147483647 - 1} << QList{OutOfWindow, Duplicate} << 0;
    }
    void takesNumbersInOrder() {
        QFETCH(QList<int>, numbers);
        QFETCH(QList<Arrival>, arrivals);
        QFETCH(int, received);
        ReliableChannel channel;
        QList<Arrival> seen;
        for (int n : numbers) {
            seen << channel.receive(n, 0);
        }
        QCOMPARE(seen, arrivals);
        QCOMPARE(channel.received(), received);
    }

    void servesResendRequests_data() {
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("from");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QList<int>>("numbers");
        using enum Kind;
        QTest::newRow("nothing missing") << 25 << 25 << Nothing << QList<int>{};
        QTest::newRow("ahead of us") << 25 << 30 << Nothing << QList<int>{};
        QTest::newRow("some") << 25 << 10 << Messages << range(11, 25);
        // maxResendGap: the whole history, oldest first.
        QTest::newRow("exactly 20") << 25 << 5 << Messages << range(6, 25);
        QTest::newRow("21 is too many") << 25 << 4 << OutOfWindow << QList<int>{};
        // Early in a connection the history holds fewer than 20.
        QTest::newRow("more than were sent") << 5 << -1 << OutOfWindow << QList<int>{};
        QTest::newRow("all that were sent") << 5 << 0 << Messages << range(1, 5);
        QTest::newRow("absurd") << 5 << -2147483647 - 1 << OutOfWindow << QList<int>{};
    }
    void servesResendRequests() {
        QFETCH(int, sent);
        QFETCH(int, from);
        QFETCH(Kind, kind);
        QFETCH(QList<int>, numbers);
        const ReliableChannel::Resend resend = sentLines(sent).serve(from);
        QCOMPARE(resend.kind, kind);
        QCOMPARE(numbersOf(resend.messages), numbers);
        for (const ConnectionMessage& m : resend.messages) {
            QCOMPARE(m.content, QString::number(m.number));
        }
    }

    void asksAfterAQuietSpell() {
        ReliableChannel channel;
        QVERIFY(!channel.quietRequest(10000, 500));  // nothing arrived yet
        QCOMPARE(channel.receive(1, 1000), Arrival::Deliver);
        QVERIFY(!channel.quietRequest(1499, 500));
        QCOMPARE(channel.quietRequest(1500, 500), std::optional<int>(1));
        QVERIFY(!channel.quietRequest(1999, 500));  // the next after another spell
        QCOMPARE(channel.quietRequest(2000, 500), std::optional<int>(1));
        QVERIFY(!channel.quietRequest(99999, 0));  // switched off
    }
};

QTEST_GUILESS_MAIN(TestReliableChannel)
#include "test_reliablechannel.moc"
