// The server list on a recording connection: the list request and the
// probes' answers, the check of a hosted game, the probe before a join, and
// which of them an error on the connection answers.
#include <QTest>

#include "client/serverbrowser.h"
#include "tests/support/fakeconnection.h"

namespace {

using Calls = QList<QVariantList>;

struct Browser {
    explicit Browser(bool withMaster = true)
        : browser(master, withMaster
                              ? MasterserverSettings{"127.0.0.1", QHostAddress("127.0.0.1"), 3001}
                              : MasterserverSettings{}) {
        const auto say = [this](const QString& what) {
            return [this, what] { events.append(what); };
        };
        QObject::connect(&browser, &ServerBrowser::masterReached, say("reached"));
        QObject::connect(&browser, &ServerBrowser::masterUnreachable, say("unreachable"));
        QObject::connect(&browser, &ServerBrowser::probeFailed, say("probe failed"));
        QObject::connect(&browser, &ServerBrowser::probeAnswered,
                         [this](const ServerData& s) { events.append("answer " + s.address()); });
        QObject::connect(&browser, &ServerBrowser::newServer,
                         [this](const ServerData& s) { events.append("server " + s.address()); });
        QObject::connect(
            &browser, &ServerBrowser::resultMasterserver,
            [this](MasterserverResult r) { events.append("list " + QString::number(int(r))); });
    }
    void answer(const QString& address, int port) {
        Q_EMIT master->changedCNewServer(-1, ServerData("Beta 0.92", address, "A server", port,
                                                        false, false, 1, 4, 12, QString()));
    }
    void fail() { Q_EMIT master->errorOccured(-1, ConnectionInterface::ConnectionLost); }

    FakeMasterConnection* master = new FakeMasterConnection;  // owned by the browser
    ServerBrowser browser;
    QStringList events;
};

}  // namespace

class TestServerBrowser : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void listRequestsReopenAfterAnError() {
        Browser none(false);
        none.browser.getServerlist();
        QCOMPARE(none.events, QStringList{"list 4"});
        QVERIFY(none.master->calls.isEmpty());

        Browser b;
        b.browser.getServerlist();
        b.browser.getServerlist();
        Q_EMIT b.master->masterserverResult(-1, MasterserverResult::MasterListReceived);
        b.answer("10.0.0.9", 27403);
        b.fail();
        b.browser.getServerlist();
        QCOMPARE(b.master->callsOf("connectToHost"),
                 (Calls{{"127.0.0.1", 3001}, {"127.0.0.1", 3001}}));
        QCOMPARE(b.master->count("requestServerlist"), 3);
        QCOMPARE(b.events, (QStringList{"list 2", "server 10.0.0.9", "list 4"}));
        b.browser.close();
        b.browser.close();  // already closed
        QCOMPARE(b.master->callsOf("disconnectClient"), (Calls{{-1, true}}));
    }

    void onlyTheProbedServerAnswersTheJoin() {
        Browser b;
        b.browser.probe(QHostAddress("10.0.0.5"), 1234);
        QCOMPARE(b.master->callsOf("queryServer"), (Calls{{"10.0.0.5", 1234}}));
        b.answer("10.0.0.5", 27403);  // another port: a list entry
        b.answer("10.0.0.5", 1234);
        b.answer("10.0.0.5", 1234);  // the join has its answer
        b.browser.probe(QHostAddress("10.0.0.6"), 1);
        b.browser.cancelProbe();
        b.answer("10.0.0.6", 1);
        QCOMPARE(b.events, (QStringList{"server 10.0.0.5", "answer 10.0.0.5", "server 10.0.0.5",
                                        "server 10.0.0.6"}));
        QVERIFY(!b.browser.probing());
    }

    // What was asked, in order (l list, c check, p probe, r the master's
    // answer to the check), and what one error on the connection says.
    void anErrorAnswersWhatWaits_data() {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QStringList>("heard");
        QTest::newRow("list") << "l" << QStringList{"list 4"};
        QTest::newRow("check") << "c" << QStringList{"unreachable"};
        QTest::newRow("probe") << "p" << QStringList{"probe failed"};
        QTest::newRow("probe while checking") << "cp" << QStringList{"probe failed"};
        QTest::newRow("host after the list") << "lc" << QStringList{"unreachable"};
        QTest::newRow("join after the list") << "lp" << QStringList{"probe failed"};
        QTest::newRow("check answered") << "cr" << QStringList{"reached"};
        QTest::newRow("list after hosting") << "crl" << QStringList{"reached", "list 4"};
    }

    void anErrorAnswersWhatWaits() {
        QFETCH(QString, asked);
        QFETCH(QStringList, heard);
        Browser b;
        for (const QChar step : asked) {
            if (step == 'l') {
                b.browser.getServerlist();
            } else if (step == 'c') {
                b.browser.checkMaster();
            } else if (step == 'p') {
                b.browser.probe(QHostAddress("10.0.0.5"), 27403);
            } else {
                Q_EMIT b.master->masterserverOnline(-1);
            }
        }
        b.fail();
        QCOMPARE(b.events, heard);
        QCOMPARE(b.master->count("connectToHost"),
                 asked.contains('l') || asked.contains('c') ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TestServerBrowser)
#include "test_serverbrowser.moc"
