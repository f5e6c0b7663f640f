// What each side hears through the code table and the role handlers, with a
// recording transport for the peers: who may send which code, in which state,
// what a hostile server's numbers become, resends, a probe that cannot open;
// first the reliable channel on its own (numbers in order, resends from its
// history, the quiet-time request).
#include <QMetaMethod>
#include <QSignalSpy>
#include <QTest>

#include "nettestsupport.h"
#include "network/connectionfacades.h"
#include "network/payloadcodec.h"
#include "payloadfields.h"

namespace {

constexpr int kKey = 4711;
using State = ConnectionState;
namespace C = PayloadCodec;
using payloadfields::numbersOf;
using payloadfields::of;
using Arrival = ReliableChannel::Arrival;
using Kind = ReliableChannel::Resend::Kind;

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

// Stands for the peers: records what goes out, opens records by hand.
class RecordingTransport : public Transport {
public:
    explicit RecordingTransport(bool stream = false) : stream_(stream) {}

    int acceptSocket(qintptr) override { return -1; }
    int connectToHost(const QHostAddress&, int) override { return -1; }
    int connectWithHello(const QHostAddress&, int, int, int, const QString&, int) override {
        return -1;
    }
    qint64 deliver(ConnectionInfo&, const ConnectionMessage& message) override {
        sent.append(message);
        return 1;
    }
    bool isStream() const override { return stream_; }

    // A new peer in its handshake, accepted or connected to.
    int open(bool accepted) {
        const int connId = core().takeConnId();
        core().addRecord(ConnectionCore::Table::Pending, connId, State::StateHandshake).accepted =
            accepted;
        return connId;
    }
    void receive(int connId, const QString& type, const QString& content, int number = -1) {
        core().processContent(connId, ConnectionMessage(type, content, number));
    }

    QList<ConnectionMessage> sent;

private:
    bool stream_;
};

// Every signal the facade raises.
class Heard {
public:
    explicit Heard(const ConnectionInterface& facade) {
        const QMetaObject& meta = *facade.metaObject();
        for (int i = ConnectionInterface::staticMetaObject.methodOffset(); i < meta.methodCount();
             ++i) {
            if (meta.method(i).methodType() == QMetaMethod::Signal) {
                spies_.push_back(std::make_unique<QSignalSpy>(&facade, meta.method(i)));
            }
        }
    }
    // The first signal's arguments (a record as its fields), empty if none.
    QVariantList first() const {
        for (const auto& spy : spies_) {
            if (!spy->isEmpty()) {
                return payloadfields::fieldsOfAny<C::Players, C::PlayerList, C::ChatLine,
                                                  C::GameStart, BlockRecord, C::Pause, C::GameOver,
                                                  C::GameState>(spy->first());
            }
        }
        return {};
    }

private:
    std::vector<std::unique_ptr<QSignalSpy>> spies_;
};

// A server side with its host's client joined (client id 0), and a client
// side joined to its server (client id 2); each record in the state given.
struct Sides {
    explicit Sides(State state, bool datagram = false, bool streamTransport = false)
        : server(nettest::serverSettings(datagram),
                 std::make_unique<RecordingTransport>(streamTransport), nettest::joinRules(kKey)),
          client(nettest::serverSettings(datagram),
                 std::make_unique<RecordingTransport>(streamTransport)) {
        toServer().receive(serverPeer, "CHI", QStringLiteral("-1 1 %1 ").arg(kKey));
        toClient().receive(clientPeer, "SHI", "2 F");
        server.core().find(serverPeer)->state = state;
        client.core().find(clientPeer)->state = state;
        toServer().sent.clear();
    }
    RecordingTransport& toServer() {
        return static_cast<RecordingTransport&>(server.core().transport());
    }
    RecordingTransport& toClient() {
        return static_cast<RecordingTransport&>(client.core().transport());
    }

    // What a message to one side raised there, empty when nothing.
    QVariantList hear(bool atServer, const QString& type, const QString& content, int number = -1) {
        ConnectionInterface& facade = atServer ? static_cast<ConnectionInterface&>(server) : client;
        const Heard heard(facade);
        (atServer ? toServer() : toClient())
            .receive(atServer ? serverPeer : clientPeer, type, content, number);
        return heard.first();
    }
    bool heard(bool atServer, const QString& type, const QString& content, int number = -1) {
        return !hear(atServer, type, content, number).isEmpty();
    }

    nettest::GatedServer server;
    NetClientConnection client;
    int serverPeer = toServer().open(true);
    int clientPeer = toClient().open(false);
};

}  // namespace

class TestRoleCodes : public QObject {
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

    // Heard or not in the lobby and in a game; what is not heard changes nothing.
    void codesNeedTheirSideAndState_data() {
        QTest::addColumn<bool>("atServer");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("content");
        QTest::addColumn<bool>("inLobby");
        QTest::addColumn<bool>("inGame");
        const auto row = [](bool atServer, const char* type, const char* content, bool inLobby,
                            bool inGame) {
            QTest::newRow(
                qPrintable(QString(atServer ? "to the server: " : "to a client: ") + type))
                << atServer << QString(type) << QString(content) << inLobby << inGame;
        };
        // A client speaking for the server.
        for (const auto& [type, content] :
             {std::pair("SDSC", "0"), std::pair("SSHD", "0"), std::pair("SKCK", "0"),
              std::pair("SHI", "1 T"), std::pair("SSRT", "0 12 3"), std::pair("MTS", "T")}) {
            row(true, type, content, false, false);
        }
        // A server speaking for a client.
        for (const auto& [type, content] : {std::pair("CDSC", "D"), std::pair("CINP", "1 0 0"),
                                            std::pair("CKCK", "2"), std::pair("CPSE", "P")}) {
            row(false, type, content, false, false);
        }
        row(true, "CPLR", "A 1 2  -1 0", true, true);
        row(true, "CSRT", "S", true, false);
        row(true, "CRST", "R", false, true);
        row(true, "CINP", "1 0 0 0 0", false, true);
        row(true, "CPSE", "P", false, true);
        row(false, "SSRT", "0 12 3", true, true);
        row(false, "SCST", "12 F 0 00000 ", true, false);
        row(false, "SRST", "0", false, true);
        row(false, "SBLC", "1 0 0 0 0 0", false, true);
        row(false, "SSTP", "1 2 00003", false, true);
    }
    void codesNeedTheirSideAndState() {
        QFETCH(bool, atServer);
        QFETCH(QString, type);
        QFETCH(QString, content);
        QFETCH(bool, inLobby);
        QFETCH(bool, inGame);
        for (const auto& [state, heard] :
             {std::pair(State::StateLobby, inLobby), std::pair(State::StateInGame, inGame)}) {
            Sides sides(state);
            QCOMPARE(sides.heard(atServer, type, content), heard);
            const ConnectionCore& core = atServer ? sides.server.core() : sides.client.core();
            QCOMPARE(core.establishedIds().size(), 1);
            if (!heard) {
                QCOMPARE(core.connection(core.establishedIds().first())->state, state);
            }
        }
    }

    // A stranger's server may send any number: what reaches the client is
    // held to the game's ranges, and what no range can mend is not passed on.
    // A connection speaks for as many players as its hello said.
    void numbersAreHeldToTheGame_data() {
        QTest::addColumn<bool>("atServer");
        QTest::addColumn<bool>("inGame");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QVariantList>("heard");  // empty: not passed on
        const QString big = QString::number(2147483647);
        const QString small = QString::number(-2147483647 - 1);
        const auto row = [](const char* name, const char* type, const QString& content,
                            const QVariantList& heard, bool inGame = true, bool atServer = false) {
            QTest::newRow(name) << atServer << inGame << QString(type) << content << heard;
        };
        row("a player list", "SPLR",
            big + " x 1 2 1 " + QString(60000, 'n') + " 99 77 " + small + " b " + big + " " +
                small + " 3 c -8 6",
            {of(QList<int>{-1, 1, -1, 3}), QStringList({"", QString(12, 'n'), "", "c"}),
             of(QList<int>{-1, -1, -1, -8}), of(QList<int>{0, 0, 0, 6})});
        row("chat from nobody", "SMSG", small + " hi", {});
        row("a long chat line", "SMSG", "-4 " + QString(60000, 'c'), {-4, QString(100, 'c')});
        row("a game start", "SSRT", big + " " + big + " " + small, {-1, 48, 0});
        row("a new block", "SBLC", "5 99 -3 " + big + " " + small + " 7",
            {5, -1, -1, 100000, -100000, 3});
        row("the field block", "SBLC", "0 -1 -1 0 0 0", {0, -1, -1, 0, 0, 0});
        row("a block without an id", "SBLC", small + " 1 1 0 0 0", {});
        QString moves;
        QList<GameMovement> held;
        for (int i = 1; i <= 2000; ++i) {
            moves += QStringLiteral("%1 %2 0 1 ").arg(i).arg(big);
            if (held.size() < 8) {
                held.append({i, 100000, 0, 1});
            }
        }
        row("movements", "SMVE", moves + small + " 7",
            {of(held), of(QList<int>{-1, 7}), of(QList<int>())});
        row("a pause", "SPSE", big + " " + big, {-1, 9});
        row("a pause without count-down", "SPSE", "1 " + small, {1, -1});
        row("a game over", "SSTP", small + " " + small + " 00:01\n" + QString(5000, 't'),
            {0, 0, "00:01_" + QString(10, 't')});
        QString blocks;
        QList<BlockRecord> kept;
        for (int i = 1; i <= 2000; ++i) {
            blocks += QStringLiteral(" %1 1 2 0 0 0").arg(i);
            if (kept.size() < 8) {
                kept.append({i, 1, 2, 0, 0, 0});
            }
        }
        row("a game state", "SCST", big + " T " + small + " 00:00 " + QString(5000, 'w') + blocks,
            {48, true, 0, "00:00", QByteArray(48 * 25 / 2, 'w'), of(kept)}, false);
        row("a second player", "CPLR", "A 1 2 B 1 2",
            {0, QStringList({"A", ""}), of(QList<int>{1, 1}), of(QList<int>{2, 2})}, false, true);
    }
    void numbersAreHeldToTheGame() {
        QFETCH(bool, atServer);
        QFETCH(bool, inGame);
        QFETCH(QString, type);
        QFETCH(QString, content);
        QFETCH(QVariantList, heard);
        Sides sides(inGame ? State::StateInGame : State::StateLobby);
        QCOMPARE(sides.hear(atServer, type, content), heard);
    }

    // Before the handshake only a fitting, unnumbered hello counts.
    void onlyAFittingHelloOpensAConnection() {
        NetClientConnection joining(nettest::clientSettings(true),
                                    std::make_unique<RecordingTransport>());
        auto& toJoining = static_cast<RecordingTransport&>(joining.core().transport());
        const Heard atClient(joining);
        const int serverPeer = toJoining.open(false);
        toJoining.receive(serverPeer, "SHI", QString::number(2147483647) + " T");
        toJoining.receive(serverPeer, "SHI", "4 T");
        QVERIFY(atClient.first().isEmpty());

        nettest::GatedServer server(nettest::serverSettings(true),
                                    std::make_unique<RecordingTransport>(),
                                    nettest::joinRules(kKey));
        auto& peers = static_cast<RecordingTransport&>(server.core().transport());
        const Heard atServer(server);
        const int peer = peers.open(true);
        for (const char* type : {"CPLR", "CMSG", "CINP", "CDSC", "BRES", "CSRT"}) {
            peers.receive(peer, type, "0 x");
        }
        peers.receive(peer, "CHI", QStringLiteral("-1 1 %1 ").arg(kKey), 1);
        QVERIFY(atServer.first().isEmpty());
        QVERIFY(server.core().pendingIds().contains(peer));
        peers.receive(peer, "CHI", QStringLiteral("-1 1 %1 ").arg(kKey));
        QCOMPARE(server.core().establishedIds(), QList<int>({peer}));
        QCOMPARE(peers.sent.size(), 1);
        QCOMPARE(peers.sent.first().type, QString("SHI"));
    }

    // Else the player would wait for an answer that cannot come.
    void aProbeThatCannotBeOpenedIsReportedAtOnce() {
        NetMasterConnection master(nettest::clientSettings(false),
                                   std::make_unique<RecordingTransport>());
        QSignalSpy unreachable(&master, &MasterConnection::changedCServerUnreachable);
        master.queryServer(nettest::kLocal, 1234);
        QCOMPARE(unreachable.count(), 1);
        QCOMPARE(unreachable.first(), QVariantList({-1, QString("127.0.0.1"), 1234}));
    }

    // Only reliable messages on datagrams are numbered, and only they are resent.
    void resendRequestsAreServedAndCounted() {
        Sides stream(State::StateLobby, true, true);
        stream.server.sendSMessage(true, {0, "one"});
        QCOMPARE(numbersOf(stream.toServer().sent), QList<int>({-1}));
        Sides sides(State::StateInGame, true);
        ConnectionCore& core = sides.server.core();
        QSignalSpy errors(&sides.server, &ConnectionInterface::errorOccured);
        sides.server.sendSMessage(true, {0, "a"});
        sides.server.sendSMessage(false, {0, "loose"});
        sides.server.sendSMessage(true, {0, "b"});
        sides.server.sendSMessage(true, {0, "c"});
        QCOMPARE(numbersOf(sides.toServer().sent), QList<int>({1, -1, 2, 3}));
        sides.toServer().sent.clear();
        sides.toServer().receive(sides.serverPeer, "BRES", "1");
        // Nothing missing is no request.
        sides.toServer().receive(sides.serverPeer, "BRES", "3");
        QCOMPARE(core.resendRequests().at(0), 1);
        // From before the history: anyone could ask that; no resend, no loss.
        sides.toServer().receive(sides.serverPeer, "BRES", "-30");
        QCOMPARE(core.resendRequests().at(0), 1);
        QCOMPARE(core.unheard(), 1);
        QCOMPARE(errors.size(), 0);
        QCOMPARE(sides.toServer().sent.size(), 2);
    }

    // What anyone can forge from a peer's address: numbers outside the window,
    // goodbyes and shutdowns. Dropped, no sign of life, still in step. On a
    // stream nobody forges those, so there they end the connection.
    void datagramsWithoutStandingAreDropped_data() {
        QTest::addColumn<bool>("atServer");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("content");
        QTest::addColumn<int>("number");
        const auto row = [](const char* name, bool atServer, const char* type, const char* content,
                            int number = -1) {
            QTest::newRow(name) << atServer << QString(type) << QString(content) << number;
        };
        for (const char* number : {"21", "5000", "2147483647"}) {
            row(number, true, "CMSG", "0 forged", QString(number).toInt());
        }
        row("a client's goodbye", true, "CDSC", "D");
        row("a shutdown", false, "SSHD", "-1");
        row("the server's goodbye", false, "SDSC", "2");
    }
    void datagramsWithoutStandingAreDropped() {
        QFETCH(bool, atServer);
        QFETCH(QString, type);
        QFETCH(QString, content);
        QFETCH(int, number);
        Sides sides(State::StateInGame, true);
        ConnectionCore& core = atServer ? sides.server.core() : sides.client.core();
        ConnectionInfo& record = *core.find(core.establishedIds().first());
        sides.toClient().sent.clear();
        record.timeoutTimer.stop();
        QVERIFY(!sides.heard(atServer, type, content, number));
        QCOMPARE(core.unheard(), 1);
        QVERIFY(number < 0 ||
                !record.timeoutTimer.isActive());  // unnumbered words are signs of life
        QVERIFY(sides.toServer().sent.isEmpty() && sides.toClient().sent.isEmpty());
        QCOMPARE(record.state, State::StateInGame);
        QVERIFY(atServer ? sides.heard(true, "CMSG", "0 real", 1)
                         : sides.heard(false, "SBLC", "1 0 0 0 0 0", 1));
        QVERIFY(record.timeoutTimer.isActive());

        if (number < 0) {
            Sides stream(State::StateInGame, true, true);
            QVERIFY(stream.heard(atServer, type, content));
        }
    }

    // Our own leave is answered on datagrams too; a client that lost more
    // than its server can send again would never catch up: that is loss.
    void datagramsStillEndForOwnLeaveAndLoss() {
        Sides sides(State::StateInGame, true);
        QSignalSpy closed(&sides.client, &ConnectionInterface::connectionClosed);
        sides.client.disconnectClient(-1, false);
        sides.toClient().receive(sides.clientPeer, "SDSC", "2");
        QCOMPARE(closed.size(), 1);

        Sides behind(State::StateInGame, true);
        QSignalSpy errors(&behind.client, &ConnectionInterface::errorOccured);
        behind.toClient().receive(behind.clientPeer, "SBLC", "1 0 0 0 0 0", 20);
        QCOMPARE(errors.size(), 0);
        behind.toClient().receive(behind.clientPeer, "SBLC", "1 0 0 0 0 0", 22);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(1).value<ConnectionInterface::ConnectionError>(),
                 ConnectionInterface::PacketLoss);
    }
};

QTEST_GUILESS_MAIN(TestRoleCodes)
#include "test_rolecodes.moc"
