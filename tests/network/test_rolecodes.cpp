// What each side hears, through the core's code table and the role handlers,
// without sockets: a recording transport stands for the peers. Who may send
// which code, the state each code needs, serving resend requests, and a
// probe that cannot be opened.
#include <QMetaMethod>
#include <QSignalSpy>
#include <QTest>

#include "nettestsupport.h"
#include "network/connectionfacades.h"
#include "network/payloadcodec.h"

namespace {

constexpr int kKey = 4711;
using State = ConnectionState;

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

    // A new peer in its handshake: one that connected to us, or one we
    // connected to.
    int open(bool accepted) {
        const int connId = core().takeConnId();
        core().addRecord(ConnectionCore::Table::Pending, connId, State::StateHandshake).accepted =
            accepted;
        return connId;
    }
    void receive(int connId, const QString& type, const QString& content, int number = -1) {
        core().processContent(connId, ConnectionMessage(type, content, number));
    }
    QStringList sentTypes() const {
        QStringList out;
        for (const ConnectionMessage& m : sent) {
            out << m.type;
        }
        return out;
    }

    QList<ConnectionMessage> sent;

private:
    bool stream_;
};

// Counts every signal the facade raises.
class Events : public QObject {
    Q_OBJECT

public:
    explicit Events(const ConnectionInterface& facade) {
        const QMetaObject& meta = *facade.metaObject();
        const QMetaMethod hit = metaObject()->method(metaObject()->indexOfSlot("hit()"));
        for (int i = ConnectionInterface::staticMetaObject.methodOffset(); i < meta.methodCount();
             ++i) {
            if (meta.method(i).methodType() == QMetaMethod::Signal) {
                connect(&facade, meta.method(i), this, hit);
            }
        }
    }
    int count = 0;

public Q_SLOTS:
    void hit() { ++count; }
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

    // Whether a message to one side raised any event there.
    bool heard(bool atServer, const QString& type, const QString& content) {
        ConnectionInterface& facade = atServer ? static_cast<ConnectionInterface&>(server) : client;
        Events events(facade);
        if (atServer) {
            toServer().receive(serverPeer, type, content);
        } else {
            toClient().receive(clientPeer, type, content);
        }
        return events.count > 0;
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
    void eachSideHearsOnlyTheOther_data() {
        QTest::addColumn<bool>("atServer");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("content");
        QTest::addColumn<bool>("heard");
        // A client speaking for the server: its own goodbye, a shutdown, a
        // kick, a hello answer, a game start.
        for (const auto& [type, content] :
             {std::pair("SDSC", "0"), std::pair("SSHD", "0"), std::pair("SKCK", "0"),
              std::pair("SHI", "1 T"), std::pair("SSRT", "0 12 3"), std::pair("MTS", "T")}) {
            QTest::newRow(qPrintable(QString("client sends ") + type))
                << true << type << content << false;
        }
        // A server speaking for a client.
        for (const auto& [type, content] : {std::pair("CDSC", "D"), std::pair("CINP", "1 0 0"),
                                            std::pair("CKCK", "2"), std::pair("CPSE", "P")}) {
            QTest::newRow(qPrintable(QString("server sends ") + type))
                << false << type << content << false;
        }
        QTest::newRow("client's own code") << true << "CPSE"
                                           << "P" << true;
        QTest::newRow("server's own code") << false << "SPSE"
                                           << "0 3" << true;
    }
    void eachSideHearsOnlyTheOther() {
        QFETCH(bool, atServer);
        QFETCH(QString, type);
        QFETCH(QString, content);
        QFETCH(bool, heard);
        Sides sides(State::StateInGame);
        QCOMPARE(sides.heard(atServer, type, content), heard);
        const ConnectionCore& core = atServer ? sides.server.core() : sides.client.core();
        QCOMPARE(core.establishedIds().size(), 1);
        QCOMPARE(core.connection(core.establishedIds().first())->state, State::StateInGame);
    }

    void codesNeedTheirState_data() {
        QTest::addColumn<bool>("atServer");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("content");
        QTest::addColumn<bool>("inLobby");
        QTest::addColumn<bool>("inGame");
        QTest::newRow("CPLR") << true << "CPLR"
                              << "A 1 2  -1 0" << true << true;
        QTest::newRow("CSRT") << true << "CSRT"
                              << "S" << true << false;
        QTest::newRow("CRST") << true << "CRST"
                              << "R" << false << true;
        QTest::newRow("CINP") << true << "CINP"
                              << "1 0 0 0 0" << false << true;
        QTest::newRow("CPSE") << true << "CPSE"
                              << "P" << false << true;
        QTest::newRow("SSRT") << false << "SSRT"
                              << "0 12 3" << true << true;
        QTest::newRow("SCST") << false << "SCST"
                              << "12 F 0 00000 " << true << false;
        QTest::newRow("SRST") << false << "SRST"
                              << "0" << false << true;
        QTest::newRow("SBLC") << false << "SBLC"
                              << "1 0 0 0 0 0" << false << true;
        QTest::newRow("SSTP") << false << "SSTP"
                              << "1 2 00003" << false << true;
    }
    void codesNeedTheirState() {
        QFETCH(bool, atServer);
        QFETCH(QString, type);
        QFETCH(QString, content);
        QFETCH(bool, inLobby);
        QFETCH(bool, inGame);
        for (const auto& [state, heard] :
             {std::pair(State::StateLobby, inLobby), std::pair(State::StateInGame, inGame)}) {
            Sides sides(state);
            QCOMPARE(sides.heard(atServer, type, content), heard);
        }
    }

    // A connection speaks for as many players as its hello said.
    void aSecondPlayerNeedsAHelloForTwo() {
        Sides sides(State::StateLobby);
        QSignalSpy players(&sides.server, &ServerConnection::changedSPlayers);
        sides.toServer().receive(sides.serverPeer, "CPLR", "A 1 2 B 1 2");
        QCOMPARE(players.size(), 1);
        QCOMPARE(players.first()[1].toStringList(), QStringList({"A", ""}));
    }

    // Before the handshake nothing but the hello counts, and a number is not
    // taken from a peer that has no sequence yet.
    void onlyTheHelloOpensAConnection() {
        nettest::GatedServer server(nettest::serverSettings(true),
                                    std::make_unique<RecordingTransport>(),
                                    nettest::joinRules(kKey));
        auto& peers = static_cast<RecordingTransport&>(server.core().transport());
        Events events(server);
        const int peer = peers.open(true);
        for (const char* type : {"CPLR", "CMSG", "CINP", "CDSC", "BRES", "CSRT"}) {
            peers.receive(peer, type, "0 x");
        }
        peers.receive(peer, "CHI", QStringLiteral("-1 1 %1 ").arg(kKey), 1);
        QCOMPARE(events.count, 0);
        QVERIFY(server.core().pendingIds().contains(peer));
        peers.receive(peer, "CHI", QStringLiteral("-1 1 %1 ").arg(kKey));
        QCOMPARE(server.core().establishedIds(), QList<int>({peer}));
        QCOMPARE(peers.sentTypes(), QStringList({"SHI"}));
    }

    // A join's probe that could not even be opened says so at once: the
    // player would otherwise wait for an answer that cannot come.
    void aProbeThatCannotBeOpenedIsReportedAtOnce() {
        NetMasterConnection master(nettest::clientSettings(false),
                                   std::make_unique<RecordingTransport>());
        QSignalSpy unreachable(&master, &MasterConnection::changedCServerUnreachable);
        master.queryServer(nettest::kLocal, 1234);
        QCOMPARE(unreachable.count(), 1);
        QCOMPARE(unreachable.first(), QVariantList({-1, QString("127.0.0.1"), 1234}));
    }

    void reliableMessagesAreNumberedOnDatagramsOnly() {
        Sides datagrams(State::StateLobby, true);
        datagrams.server.sendSMessage(true, {0, "one"});
        datagrams.server.sendSMessage(false, {0, "loose"});
        datagrams.server.sendSMessage(true, {0, "two"});
        QList<int> numbers;
        for (const ConnectionMessage& m : datagrams.toServer().sent) {
            numbers << m.number;
        }
        QCOMPARE(numbers, QList<int>({1, -1, 2}));

        Sides stream(State::StateLobby, true, true);
        stream.server.sendSMessage(true, {0, "one"});
        QCOMPARE(stream.toServer().sent.last().number, -1);
    }

    void resendRequestsAreServedAndCounted() {
        Sides sides(State::StateInGame, true);
        ConnectionCore& core = sides.server.core();
        QSignalSpy errors(&sides.server, &ConnectionInterface::errorOccured);
        for (const char* line : {"a", "b", "c"}) {
            sides.server.sendSMessage(true, {0, line});
        }
        sides.toServer().sent.clear();
        sides.toServer().receive(sides.serverPeer, "BRES", "1");
        QCOMPARE(sides.toServer().sent.size(), 2);
        QCOMPARE(sides.toServer().sent[0], ConnectionMessage("SMSG", "0 b", 2));
        QCOMPARE(sides.toServer().sent[1], ConnectionMessage("SMSG", "0 c", 3));
        // Nothing missing is no request.
        sides.toServer().receive(sides.serverPeer, "BRES", "3");
        QCOMPARE(core.resendRequests().at(0), 1);
        // From before the history: anyone could have asked that, so it is
        // neither served nor taken as loss.
        sides.toServer().receive(sides.serverPeer, "BRES", "-30");
        QCOMPARE(core.resendRequests().at(0), 1);
        QCOMPARE(core.unheard(), 1);
        QCOMPARE(errors.size(), 0);
        QCOMPARE(sides.toServer().sent.size(), 2);
    }

    // What anyone can send from a player's address and port, or from the
    // server's: numbers outside the window (to a server), goodbyes and
    // shutdowns the stream did not say. Dropped, and the connection stays in
    // step.
    void datagramsWithoutStandingAreDropped() {
        Sides sides(State::StateInGame, true);
        ConnectionCore& server = sides.server.core();
        ConnectionInfo& player = *server.find(sides.serverPeer);
        ConnectionCore& client = sides.client.core();
        ConnectionInfo& own = *client.find(sides.clientPeer);
        Events atServer(sides.server);
        Events atClient(sides.client);
        sides.toClient().sent.clear();
        player.timeoutTimer.stop();
        own.timeoutTimer.stop();
        for (int number : {21, 5000, 2147483647}) {
            sides.toServer().receive(sides.serverPeer, "CMSG", "0 forged", number);
        }
        QVERIFY(!player.timeoutTimer.isActive() && !own.timeoutTimer.isActive());
        sides.toServer().receive(sides.serverPeer, "CDSC", "D");
        sides.toClient().receive(sides.clientPeer, "SSHD", "-1");
        sides.toClient().receive(sides.clientPeer, "SDSC", "2");
        QCOMPARE(atServer.count + atClient.count, 0);
        QCOMPARE(server.unheard(), 4);
        QCOMPARE(client.unheard(), 2);
        QVERIFY(sides.toServer().sent.isEmpty() && sides.toClient().sent.isEmpty());
        QCOMPARE(player.state, State::StateInGame);
        QCOMPARE(own.state, State::StateInGame);

        // The real next messages still arrive, and are signs of life.
        player.timeoutTimer.stop();
        own.timeoutTimer.stop();
        QSignalSpy chat(&sides.server, &ServerConnection::changedSMessage);
        QSignalSpy block(&sides.client, &ClientConnection::changedCNewBlock);
        sides.toServer().receive(sides.serverPeer, "CMSG", "0 real", 1);
        sides.toClient().receive(sides.clientPeer, "SBLC", "1 0 0 0 0 0", 1);
        QCOMPARE(chat.size(), 1);
        QCOMPARE(block.size(), 1);
        QVERIFY(player.timeoutTimer.isActive() && own.timeoutTimer.isActive());

        // Our own leave is answered on datagrams too.
        QSignalSpy closed(&sides.client, &ConnectionInterface::connectionClosed);
        sides.client.disconnectClient(-1, false);
        sides.toClient().receive(sides.clientPeer, "SDSC", "2");
        QCOMPARE(closed.size(), 1);

        // On a stream the same words end the connection: nobody forges those.
        Sides stream(State::StateInGame, true, true);
        QSignalSpy leaves(&stream.server, &ServerConnection::changedSPlayerDisconnect);
        QSignalSpy shutdown(&stream.client, &ClientConnection::serverShutdown);
        stream.toServer().receive(stream.serverPeer, "CDSC", "D");
        stream.toClient().receive(stream.clientPeer, "SSHD", "-1");
        QCOMPARE(leaves.size(), 1);
        QCOMPARE(shutdown.size(), 1);

        // A client that lost more than its server can send again would never
        // catch up: that is loss, as it always was.
        Sides behind(State::StateInGame, true);
        QSignalSpy errors(&behind.client, &ConnectionInterface::errorOccured);
        behind.toClient().receive(behind.clientPeer, "SBLC", "1 0 0 0 0 0", 20);
        QCOMPARE(errors.size(), 0);
        behind.toClient().receive(behind.clientPeer, "SBLC", "1 0 0 0 0 0", 22);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(1).value<ConnectionInterface::ConnectionError>(),
                 ConnectionInterface::PacketLoss);
    }

    // A stranger's server may send any number: what reaches the client is
    // held to the game's ranges, and what no range can mend is not passed on.
    void hostileServerNumbersAreHeldToTheGame() {
        const QString big = QString::number(2147483647);
        const QString small = QString::number(-2147483647 - 1);
        NetClientConnection joining(nettest::clientSettings(true),
                                    std::make_unique<RecordingTransport>());
        auto& toJoining = static_cast<RecordingTransport&>(joining.core().transport());
        QSignalSpy established(&joining, &ConnectionInterface::connectionEstablished);
        const int peer = toJoining.open(false);
        toJoining.receive(peer, "SHI", big + " T");
        toJoining.receive(peer, "SHI", "4 T");
        QCOMPARE(established.size(), 0);

        Sides sides(State::StateInGame);
        const auto at = [&](const char* type, const QString& content) {
            Events any(sides.client);
            const auto spy = [&](auto signal) {
                return std::make_unique<QSignalSpy>(&sides.client, signal);
            };
            std::vector<std::unique_ptr<QSignalSpy>> spies;
            spies.push_back(spy(&ClientConnection::changedCPlayerlist));
            spies.push_back(spy(&ClientConnection::changedCMessage));
            spies.push_back(spy(&ClientConnection::changedCGameStart));
            spies.push_back(spy(&ClientConnection::changedCNewBlock));
            spies.push_back(spy(&ClientConnection::changedCMoveBlocks));
            spies.push_back(spy(&ClientConnection::changedCPause));
            spies.push_back(spy(&ClientConnection::changedCGameOver));
            sides.toClient().receive(sides.clientPeer, type, content);
            for (const auto& s : spies) {
                if (!s->isEmpty()) {
                    return s->first();
                }
            }
            return QVariantList{any.count};
        };
        const QVariantList list = at("SPLR", big + " x 1 2 1 " + QString(60000, 'n') + " 99 77 " +
                                                 small + " b " + big + " " + small + " 3 c -8 6");
        QCOMPARE(list[0].value<QList<int>>(), QList<int>({-1, 1, -1, 3}));
        QCOMPARE(list[1].toStringList(), QStringList({"", QString(12, 'n'), "", "c"}));
        QCOMPARE(list[2].value<QList<int>>(), QList<int>({-1, -1, -1, -8}));
        QCOMPARE(list[3].value<QList<int>>(), QList<int>({0, 0, 0, 6}));

        QCOMPARE(at("SMSG", small + " hi"), QVariantList{0});
        QCOMPARE(at("SMSG", "-4 " + QString(60000, 'c'))[1].toString(), QString(100, 'c'));
        QCOMPARE(at("SSRT", big + " " + big + " " + small), QVariantList({-1, 48, 0}));
        QCOMPARE(at("SBLC", "5 99 -3 " + big + " " + small + " 7"),
                 QVariantList({5, -1, -1, 100000, -100000, 3}));
        QCOMPARE(at("SBLC", "0 -1 -1 0 0 0"), QVariantList({0, -1, -1, 0, 0, 0}));
        QCOMPARE(at("SBLC", small + " 1 1 0 0 0"), QVariantList{0});
        QString moves;
        for (int i = 1; i <= 2000; ++i) {
            moves += QStringLiteral("%1 %2 0 1 ").arg(i).arg(big);
        }
        const QVariantList moved = at("SMVE", moves + small + " 7");
        const auto movements = moved[0].value<QList<GameMovement>>();
        QCOMPARE(movements.size(), 8);
        QCOMPARE(movements.last(), GameMovement({8, 100000, 0, 1}));
        QCOMPARE(moved[1].value<QList<int>>(), QList<int>({-1, 7}));
        QCOMPARE(at("SPSE", big + " " + big), QVariantList({-1, 9}));
        QCOMPARE(at("SPSE", "1 " + small), QVariantList({1, -1}));
        QCOMPARE(at("SSTP", small + " " + small + " 00:01\n" + QString(5000, 't')),
                 QVariantList({0, 0, "00:01_" + QString(10, 't')}));

        Sides lobby(State::StateLobby);
        QSignalSpy state(&lobby.client, &ClientConnection::changedCGameState);
        QString blocks;
        for (int i = 1; i <= 2000; ++i) {
            blocks += QStringLiteral(" %1 1 2 0 0 0").arg(i);
        }
        lobby.toClient().receive(lobby.clientPeer, "SCST",
                                 big + " T " + small + " 00:00 " + QString(5000, 'w') + blocks);
        QCOMPARE(state.size(), 1);
        QCOMPARE(state.first()[0].toInt(), 48);
        QCOMPARE(state.first()[2].toInt(), 0);
        QCOMPARE(state.first()[4].toByteArray().size(), 48 * 25 / 2);
        QCOMPARE(state.first()[5].value<QList<BlockRecord>>().size(), 8);
    }
};

QTEST_GUILESS_MAIN(TestRoleCodes)
#include "test_rolecodes.moc"
