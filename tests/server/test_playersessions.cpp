// Who may join a game server and what a session's host may do: the hello
// rules as one table (the sessions there already, the hello, its channel and
// sender, against the outcome), then a session's life across both channels.
#include <QTest>

#include "server/lobbyrules.h"
#include "server/playersessions.h"

namespace {

constexpr int kKey = 4711;
const QHostAddress kHome(QStringLiteral("127.0.0.1"));
const QHostAddress kElsewhere(QStringLiteral("127.0.0.2"));

enum Server { Hosted, Dedicated, Singleplayer };
// What sets a hello apart: a seat, a session gone before it, its sender.
enum Situation { Plain, SeatOne, HostLeft, OneLeftButItsDatagram, FromElsewhere };

PlayerSessions::Rules rules(Server server) {
    return {server == Dedicated ? -1 : kKey, server == Singleplayer, true, "pw", 4};
}

// Streams from home with the ids given; the first holds the key.
void open(PlayerSessions& sessions, const QList<int>& ids) {
    for (int id : ids) {
        const bool first = sessions.clientIds().isEmpty();
        sessions.admit(GameChannel::Stream, {id, 1, first ? kKey : -1, "pw"}, kHome);
    }
}

// A row of the hello table.
struct Hello {
    Server server;
    QList<int> joined;  // stream sessions first
    Situation situation;
    GameChannel channel;
    QString hello;  // requestedId players hostKey password
    HelloOutcome outcome;
    int clientId;
    bool host;
};

}  // namespace

Q_DECLARE_METATYPE(Hello)

class TestPlayerSessions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hellos_data() {
        QTest::addColumn<Hello>("row");
        const auto row = [](const char* name, Server server, QList<int> joined, GameChannel channel,
                            const QString& hello, HelloOutcome outcome, int clientId = -1,
                            bool host = false, Situation situation = Plain) {
            QTest::newRow(name) << Hello{server, joined,  situation, channel,
                                         hello,  outcome, clientId,  host};
        };
        const QString key = QString::number(kKey);
        using O = HelloOutcome;
        constexpr auto S = GameChannel::Stream;
        constexpr auto D = GameChannel::Datagram;
        row("the host's client first", Hosted, {}, S, "-1 1 " + key + " pw", O::Accepted, 0, true);
        row("anybody else first", Hosted, {}, S, "-1 1 5 pw", O::Refused);
        row("a guest later", Hosted, {0}, S, "-1 1 -1 pw", O::Accepted, 1);
        row("wrong password", Hosted, {0}, S, "-1 1 -1 pw2", O::WrongPassword);
        row("password with the key", Hosted, {}, S, "-1 1 " + key + " no", O::WrongPassword);
        row("singleplayer guest", Singleplayer, {0}, S, "-1 1 -1 pw", O::Refused);
        row("no players", Hosted, {0}, S, "-1 0 -1 pw", O::Refused);
        row("three players", Hosted, {0}, S, "-1 3 -1 pw", O::Refused);
        row("splitscreen, one place left", Hosted, {0, 1, 2}, S, "-1 2 -1 pw", O::ServerFull);
        row("lowest free id", Hosted, {0, 2}, S, "-1 1 -1 pw", O::Accepted, 1);
        row("requested free id", Hosted, {0}, S, "3 1 -1 pw", O::Accepted, 3);
        row("requested id taken", Hosted, {0}, S, "0 1 -1 pw", O::Refused);
        row("requested id outside", Hosted, {0}, S, "4 1 -1 pw", O::Refused);
        row("first of a dedicated server", Dedicated, {}, S, "-1 1 -1 pw", O::Accepted, 0, true);
        row("second of a dedicated server", Dedicated, {0}, S, "-1 1 -1 pw", O::Accepted, 1);
        row("after its host left", Dedicated, {0, 1}, S, "-1 1 -1 pw", O::Accepted, 0, true,
            HostLeft);
        row("an id held by a datagram alone", Hosted, {0, 1}, S, "-1 1 -1 pw", O::Accepted, 2,
            false, OneLeftButItsDatagram);
        row("past a seat's id", Hosted, {0}, S, "-1 1 -1 pw", O::Accepted, 2, false, SeatOne);
        row("a seat's id requested", Hosted, {0}, S, "1 1 -1 pw", O::Refused, -1, false, SeatOne);
        row("a seat counts", Hosted, {0, 2}, S, "-1 2 -1 pw", O::ServerFull, -1, false, SeatOne);
        row("a seat is not the host's client", Hosted, {}, S, "-1 1 5 pw", O::Refused, -1, false,
            SeatOne);
        // The datagram joins the session its stream opened, and nothing else.
        row("datagram of the host", Hosted, {0, 1}, D, "0 1 -1 pw", O::Accepted, 0, true);
        row("datagram of a guest", Dedicated, {0, 1}, D, "1 1 -1 pw", O::Accepted, 1);
        row("datagram from elsewhere", Hosted, {0, 1}, D, "1 1 -1 pw", O::Refused, -1, false,
            FromElsewhere);
        row("datagram without an id", Hosted, {0}, D, "-1 1 -1 pw", O::Refused);
        row("datagram of no stream", Hosted, {0}, D, "2 1 -1 pw", O::Refused);
        row("datagram of a stream gone", Hosted, {0, 1}, D, "1 1 -1 pw", O::Refused, -1, false,
            OneLeftButItsDatagram);
        row("datagram, wrong password", Hosted, {0}, D, "0 1 -1 no", O::WrongPassword);
    }

    void hellos() {
        QFETCH(Hello, row);
        const auto& [server, joined, situation, channel, hello, outcome, clientId, host] = row;
        PlayerSessions sessions(rules(server));
        if (situation == SeatOne) {
            sessions.setSeats({1});
        }
        open(sessions, joined);
        QCOMPARE(sessions.clientIds(), joined);
        if (situation == OneLeftButItsDatagram) {
            sessions.admit(GameChannel::Datagram, {1, 1, -1, "pw"}, kHome);
        }
        if (situation == HostLeft || situation == OneLeftButItsDatagram) {
            sessions.left(GameChannel::Stream, situation == HostLeft ? 0 : 1);
        }
        const PlayerGate::Verdict verdict =
            sessions.admit(channel, PayloadCodec::parseHello(hello),
                           situation == FromElsewhere ? kElsewhere : kHome);
        QCOMPARE(verdict.outcome, outcome);
        QCOMPARE(verdict.clientId, clientId);
        QCOMPARE(verdict.isHost, host);
    }

    // A session lives while either channel does; the host's rights go with
    // its stream, and only a hosted server ends with its host.
    void sessionAcrossChannels() {
        PlayerSessions hosted(rules(Hosted));
        open(hosted, {0, 1});
        hosted.setSeats({3});
        QCOMPARE(hosted.playerCount(), 3);
        QCOMPARE(hosted.admit(GameChannel::Datagram, {1, 1, -1, "pw"}, kHome).outcome,
                 HelloOutcome::Accepted);
        // One datagram per session.
        QCOMPARE(hosted.admit(GameChannel::Datagram, {1, 1, -1, "pw"}, kHome).outcome,
                 HelloOutcome::Refused);
        QVERIFY(LobbyRules::mayStart(hosted, 0) && LobbyRules::mayKick(hosted, 0));
        QVERIFY(!LobbyRules::mayStart(hosted, 1) && !LobbyRules::mayKick(hosted, 1));
        QVERIFY(LobbyRules::mayRestart(hosted, 0) && !LobbyRules::mayRestart(hosted, 1));
        QVERIFY(LobbyRules::leavingEndsServer(hosted, 0));
        QVERIFY(!LobbyRules::leavingEndsServer(hosted, 1));

        hosted.left(GameChannel::Stream, 1);
        QCOMPARE(hosted.playerCount(), 2);
        QVERIFY(hosted.find(1) != nullptr);  // its datagram still holds the id
        hosted.left(GameChannel::Datagram, 1);
        QCOMPARE(hosted.find(1), nullptr);

        PlayerSessions dedicated(rules(Dedicated));
        open(dedicated, {0, 1});
        QVERIFY(!LobbyRules::leavingEndsServer(dedicated, 0));
        dedicated.left(GameChannel::Stream, 0);
        // Nobody is host until the next one joins: meanwhile anybody restarts.
        QCOMPARE(dedicated.hostClientId(), -1);
        QVERIFY(LobbyRules::mayRestart(dedicated, 1) && !LobbyRules::mayStart(dedicated, 1));
    }

    // A dropped session keeps its id and places for its own token alone, from
    // any address, once; a seat given up is gone with its channels.
    void heldSeatsComeBackByTokenOnly() {
        PlayerSessions sessions(rules(Dedicated));
        const PlayerGate::Verdict first =
            sessions.admit(GameChannel::Stream, {0, 1, -1, "pw"}, kHome);
        const PlayerGate::Verdict second =
            sessions.admit(GameChannel::Stream, {1, 2, -1, "pw"}, kHome);
        QVERIFY(PayloadCodec::isSeatToken(second.token) && first.token != second.token);
        QVERIFY(sessions.hold(1));
        sessions.left(GameChannel::Stream, 1);
        QCOMPARE(sessions.heldIds(), QList<int>{1});
        QCOMPARE(sessions.playerCount(), 3);  // its places wait
        QCOMPARE(sessions.admit(GameChannel::Stream, {1, 1, -1, "pw"}, kHome).outcome,
                 HelloOutcome::Refused);
        QCOMPARE(sessions.admit(GameChannel::Stream, {-1, 1, -1, "pw"}, kHome).clientId, 2);

        const auto rejoin = [&](const QString& token, int players) {
            return sessions.rejoin({1, players, token}, kElsewhere).outcome;
        };
        QCOMPARE(rejoin(first.token, 2), HelloOutcome::Refused);   // a stranger's
        QCOMPARE(rejoin(second.token, 1), HelloOutcome::Refused);  // not the places it had
        QVERIFY(!sessions.takeReturn(1));
        QCOMPARE(rejoin(second.token, 2), HelloOutcome::Accepted);
        QVERIFY(sessions.takeReturn(1) && !sessions.takeReturn(1));
        QCOMPARE(sessions.admit(GameChannel::Datagram, {1, 2, -1, "pw"}, kElsewhere).outcome,
                 HelloOutcome::Accepted);
        QCOMPARE(rejoin(second.token, 2), HelloOutcome::Refused);  // it is back already

        sessions.hold(1);
        sessions.left(GameChannel::Stream, 1);
        sessions.left(GameChannel::Datagram, 1);
        sessions.release(1);
        QCOMPARE(sessions.find(1), nullptr);
        QCOMPARE(rejoin(second.token, 2), HelloOutcome::Refused);
    }
};

QTEST_GUILESS_MAIN(TestPlayerSessions)
#include "test_playersessions.moc"
