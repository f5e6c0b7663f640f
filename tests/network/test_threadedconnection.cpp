// Connections served on a thread of their own: calls and events in order,
// clean teardown, and a busy owner thread holds back no ping answer.
#include <QElapsedTimer>
#include <QPointer>

#include "connectionrooms.h"
#include "network/threadedconnection.h"
#include "tests/support/fakeconnection.h"

using namespace nettest;

namespace {

// What the real connection saw: each call and whether it ran on the thread.
struct Seen {
    QStringList ops;
    bool elsewhere = false;
    bool deleted = false;
};

QString text(const QVariant& value) {
    if (value.typeId() != QMetaType::QVariantList) {
        return value.toString();
    }
    QStringList items;
    for (const QVariant& item : value.toList()) {
        items.append(text(item));
    }
    return items.join(QLatin1Char(','));
}

template <class Fake>
std::function<std::unique_ptr<Fake>()> watched(const std::shared_ptr<Seen>& seen, Fake*& made,
                                               QThread* thread) {
    return [seen, &made, thread] {
        auto fake = std::make_unique<Fake>();
        fake->onCall = [seen, thread](const CallLog::Call& call) {
            QStringList line{call.op};
            for (const QVariant& arg : call.args) {
                line.append(text(arg));
            }
            seen->ops.append(line.join(QLatin1Char(' ')));
            seen->elsewhere |= QThread::currentThread() != thread;
        };
        QObject::connect(fake.get(), &QObject::destroyed, [seen, thread] {
            seen->deleted = true;
            seen->elsewhere |= QThread::currentThread() != thread;
        });
        made = fake.get();
        return fake;
    };
}

}  // namespace

class TestThreadedConnection : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Calls reach the real connection there in order; its events come back
    // to the owner's thread in order with their values. The master's proxy
    // on the game's own threads: test_endtoend.
    void callsAndEventsCrossTheThreadInOrder() {
        auto thread = std::make_shared<ConnectionThread>();
        auto seen = std::make_shared<Seen>();
        FakeClientConnection* fake = nullptr;
        QStringList heard;
        bool offThread = false;
        auto hear = [&](const QString& line) {
            heard.append(line);
            offThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
        };
        {
            ThreadedClientConnection client(thread, watched(seen, fake, thread->thread()));
            QCOMPARE(client.connectWithHello(kLocal, 5, 1, -1, "pw", 3), 0);
            for (int i = 0; i < 50; ++i) {
                client.sendCInput(false, KeyInput::fromList({i}));
            }
            client.sendCMessage(true, {1, "hi"});
            client.disconnectClient(-1, false);
            // Waits for everything before it.
            QCOMPARE(client.connectWithHello(kLocal, 5, 1, -1, "pw", 0), 1);

            connect(&client, &ClientConnection::changedCGameState,
                    [&](const PayloadCodec::GameState& s) {
                        hear(QStringLiteral("state %1 %2 %3 %4 %5")
                                 .arg(s.fieldsizeX)
                                 .arg(s.paused)
                                 .arg(s.playtime, QString::fromLatin1(s.field))
                                 .arg(s.blocks.first().kind));
                    });
            connect(&client, &ConnectionInterface::errorOccured,
                    [&](int id, ConnectionInterface::ConnectionError e) {
                        hear(QStringLiteral("error %1 %2").arg(id).arg(int(e)));
                    });
            thread->post([fake] {
                Q_EMIT fake->changedCGameState({12, true, 40, "0:42", "ab", {{0, 1, 5, 0, 0, 0}}});
                Q_EMIT fake->errorOccured(2, ConnectionInterface::Timeout);
            });
            QTRY_COMPARE(heard.size(), 2);
            QCOMPARE(heard, QStringList({"state 12 1 0:42 ab 5", "error 2 6"}));
            QVERIFY(!offThread);
        }
        QStringList expected{"connectWithHello 127.0.0.1 5 1 -1 pw 3"};
        for (int i = 0; i < 50; ++i) {
            expected.append(QStringLiteral("sendCInput false %1,0,0,0,0,0,0,0,0,0").arg(i));
        }
        expected += {"sendCMessage true 1 hi", "disconnectClient -1 false",
                     "connectWithHello 127.0.0.1 5 1 -1 pw 0"};
        QCOMPARE(seen->ops, expected);
        QVERIFY(!seen->elsewhere);
        QVERIFY(seen->deleted);  // with the proxy, on the thread
    }

    void nothingSaidBeforeAnImmediateLeaveIsHeard() {
        auto thread = std::make_shared<ConnectionThread>();
        auto seen = std::make_shared<Seen>();
        FakeClientConnection* fake = nullptr;
        ThreadedClientConnection client(thread, watched(seen, fake, thread->thread()));
        QSignalSpy errors(&client, &ConnectionInterface::errorOccured);
        auto say = [fake](int id) { Q_EMIT fake->errorOccured(id, ConnectionInterface::Timeout); };
        thread->post([say] { say(1); });
        client.disconnectClient(-1, false);  // a goodbye still hears what comes
        thread->post([say] { say(2); });
        QTRY_COMPARE(errors.count(), 2);
        thread->post([say] { say(3); });  // said, not yet heard: dropped with the connection
        client.disconnectClient(-1, true);
        thread->post([say] { say(4); });
        QTRY_COMPARE(errors.count(), 3);
        QTest::qWait(10);
        QList<QVariant> ids;
        for (const QList<QVariant>& e : errors) {
            ids.append(e.at(0));
        }
        QCOMPARE(ids, QVariantList({1, 2, 4}));
        QCOMPARE(seen->ops, QStringList({"disconnectClient -1 false", "disconnectClient -1 true"}));
    }

    void callsAfterTheThreadStoppedDoNothing() {
        auto thread = std::make_shared<ConnectionThread>();
        auto seen = std::make_shared<Seen>();
        FakeClientConnection* fake = nullptr;
        ThreadedClientConnection client(thread, watched(seen, fake, thread->thread()));
        client.sendCStart(true);
        thread->stop();
        QCOMPARE(seen->ops, QStringList({"sendCStart true"}));  // posted before: still ran
        QVERIFY(seen->deleted);
        QVERIFY(!seen->elsewhere);

        client.sendCInput(false, KeyInput::fromList({1}));
        client.disconnectClient(-1, true);
        QCOMPARE(client.connectWithHello(kLocal, 5, 1, -1, QString(), -1), -1);
        QCOMPARE(seen->ops.size(), 1);
        ThreadedClientConnection late(thread,
                                      [] { return std::make_unique<FakeClientConnection>(); });
        QCOMPARE(late.connectWithHello(kLocal, 5, 1, -1, QString(), -1), -1);
    }

    // The fault the thread is for: a busy owner (a long frame) holds back no
    // ping answer. Then it goes with answers and lists still queued.
    void answersPingsWhileTheOwnerIsBusy() {
        ConnectionThread serverThread(QStringLiteral("server"));
        NetServerConnection* server =
            serverThread.adopt<NetServerConnection>([] { return udpServer(3000, 50); });
        const int port = serverThread.call<int>([server] { return portOf(*server); }, -1);
        auto thread = std::make_shared<ConnectionThread>();
        auto client =
            std::make_unique<ThreadedClientConnection>(thread, [] { return clientDatagram(); });
        QCOMPARE(joined(*client, port, kKey), QVariantList({0, true}));

        QSignalSpy pings(client.get(), &ClientConnection::changedCPinglist);
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < 300) {
            // no events: a frame that takes 300 ms
        }
        // About six lists went out meanwhile; the first may predate the answer.
        QTRY_VERIFY(pings.count() >= 5);
        for (int i = 1; i < 5; ++i) {
            const QList<int> list = pings.at(i).at(0).value<PayloadCodec::PingList>().pings;
            QCOMPARE(list.size(), 1);
            QVERIFY2(list.first() >= 0 && list.first() < 150,
                     qPrintable(QStringLiteral("list %1: ping %2").arg(i).arg(list.first())));
        }

        client.reset();
        // The thread outlived its only connection and still serves a new one.
        ThreadedClientConnection again(thread, [] { return clientDatagram(); });
        QCOMPARE(joined(again, port, kKey).size(), 2);
    }
};

QTEST_MAIN(TestThreadedConnection)
#include "test_threadedconnection.moc"
