// Messages, their framing, every code's payload, the packed field, the rate
// limit, the datagram delay (its timer in real time: test_bot), the reliable
// channel, and what each side hears through the code table and the role
// handlers from a recording transport: who may send which code in which
// state, what a hostile server's numbers become, resends.
#include <QMetaMethod>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <ranges>

#include "game/appinfo.h"
#include "game/gameblock.h"
#include "nettestsupport.h"
#include "network/connectionfacades.h"
#include "network/connectionmessage.h"
#include "network/endpoint.h"
#include "network/fieldimage.h"
#include "network/losssimulation.h"
#include "network/messagedecoder.h"
#include "network/payloadcodec.h"
#include "network/ratelimiter.h"
#include "payloadfields.h"

namespace Codec = PayloadCodec;
using Mode = MessageDecoder::Mode;
using namespace nettest;
using namespace payloadfields;

namespace {

QList<ConnectionMessage> decode(MessageDecoder& decoder, const QList<QByteArray>& reads) {
    QList<ConnectionMessage> out;
    for (const QByteArray& read : reads) {
        decoder.feed(read, out);
    }
    return out;
}

void addBox(GameBlock& field, int column, int row, int colour) {
    const int x = column * 50;
    const int y = row * 50;
    field.addBox(GameBox(colour, {x, x, x, x}, {y, y, y, y}, field.fieldsizeX()));
}

QList<QList<int>> cellsOf(const QByteArray& field, int fieldsizeX) {
    QList<QList<int>> out;
    for (const FieldImage::Cell& c : FieldImage::unpack(field, fieldsizeX)) {
        out.append({c.column, c.row, c.colour});
    }
    return out;
}

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

// The values' mean and standard deviation.
std::pair<double, double> spread(const QList<int>& values) {
    const double n = double(values.size());
    const double m = std::accumulate(values.begin(), values.end(), 0.0) / n;
    const double squares =
        std::accumulate(values.begin(), values.end(), 0.0,
                        [m](double sum, int v) { return sum + (v - m) * (v - m); });
    return {m, std::sqrt(squares / n)};
}

constexpr int kKey = 4711;
using State = ConnectionState;
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
    const auto numbers = std::views::iota(from, to + 1);
    return {numbers.begin(), numbers.end()};
}

// Stands for the peers: records what goes out, opens records by hand.
class RecordingTransport : public Transport {
public:
    explicit RecordingTransport(bool stream = false) : stream_(stream) {}

    int acceptSocket(qintptr, const Endpoint&) override { return -1; }
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
                return payloadfields::fieldsOfAny<Codec::Players, Codec::PlayerList,
                                                  Codec::ChatLine, Codec::GameStart, BlockRecord,
                                                  Codec::Pause, Codec::GameOver, Codec::GameState>(
                    spy->first());
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
        : server(serverSettings(datagram), std::make_unique<RecordingTransport>(streamTransport),
                 joinRules(kKey)),
          client(serverSettings(datagram), std::make_unique<RecordingTransport>(streamTransport)) {
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
        const Heard heard(atServer ? static_cast<ConnectionInterface&>(server) : client);
        (atServer ? toServer() : toClient())
            .receive(atServer ? serverPeer : clientPeer, type, content, number);
        return heard.first();
    }
    bool heard(bool atServer, const QString& type, const QString& content, int number = -1) {
        return !hear(atServer, type, content, number).isEmpty();
    }

    GatedServer server;
    NetClientConnection client;
    int serverPeer = toServer().open(true);
    int clientPeer = toClient().open(false);
};

}  // namespace

class TestProtocol : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void encodingAndStreamDecoding() {
        QCOMPARE(ConnectionMessage("CMSG", "0 hello there", 12).encode(),
                 QByteArray("CMSG 17 S12 0 hello there"));
        // Empty content still has a body: the number word and one space.
        QCOMPARE(ConnectionMessage("SLNE", "").encode(), QByteArray("SLNE 2 N "));

        const QByteArray a = ConnectionMessage("CMSG", "0 hi  you", 3).encode();
        const QByteArray b = ConnectionMessage("SLNE", "").encode();
        // The length counts UTF-8 bytes, not characters.
        const QByteArray c =
            ConnectionMessage("SMSG", QString::fromUtf8("2 gr\xc3\xbc\xc3\x9f")).encode();
        const QByteArray all = a + b + c;

        // Several messages in one read, in order.
        MessageDecoder one(Mode::Stream);
        const auto got = decode(one, {all});
        QCOMPARE(got, QList<ConnectionMessage>({ConnectionMessage("CMSG", "0 hi  you", 3),
                                                ConnectionMessage("SLNE", ""),
                                                ConnectionMessage("SMSG", "2 gr\u00fc\u00df")}));
        QVERIFY(!one.incomplete());

        // Every split point gives the same messages.
        for (qsizetype cut = 1; cut < all.size(); ++cut) {
            MessageDecoder split(Mode::Stream);
            QList<ConnectionMessage> part;
            split.feed(all.first(cut), part);
            QVERIFY(split.incomplete() || cut == a.size() || cut == a.size() + b.size());
            split.feed(all.sliced(cut), part);
            QCOMPARE(part, got);
            QVERIFY(!split.incomplete() && !split.failed());
        }

        // A number word without digits reads as 0; "N" or anything else is none.
        MessageDecoder numbers(Mode::Stream);
        QCOMPARE(decode(numbers, {"SHI 4 Sx 1SHI 5 X 0 FSHI 2 S3"}),
                 QList<ConnectionMessage>({ConnectionMessage("SHI", "1", 0),
                                           ConnectionMessage("SHI", "0 F"),
                                           ConnectionMessage("SHI", "", 3)}));
    }

    void streamFailuresAndDatagramDecoding() {
        // Unknown type words and bad length words (not digits, zero, above the
        // limit) break the stream for good; what came before is delivered.
        const QByteArray ping = ConnectionMessage("CPNG", "P").encode();
        for (const char* bad :
             {"XYZ 3 N P", "CHIX 3 N P", "\003CHI 3 N P", "Q", "chi 3 N P", "CPNG x3 N P",
              "CPNG 0 N P", "CPNG -3 N P", "CPNG  3 N P", "CPNG 1024001 ", "CPNG 99999999"}) {
            MessageDecoder d(Mode::Stream);
            QCOMPARE(decode(d, {ping + bad, ping}).size(), 1);
            QVERIFY2(d.failed(), bad);
        }
        // The limit itself is allowed and waits for its body without failing.
        MessageDecoder big(Mode::Stream);
        decode(big, {"CPNG 1024000 N "});
        QVERIFY(!big.failed() && big.incomplete());

        // On datagrams every failure spoils only its own datagram.
        MessageDecoder d(Mode::Datagram);
        const QByteArray good = ConnectionMessage("CINP", "1 2", 4).encode();
        QCOMPARE(decode(d, {good + ConnectionMessage("CPNG", "P").encode()}).size(), 2);
        // A cut message is dropped with its datagram: nothing carries over.
        // Garbage and over-long lengths spoil only their own datagram.
        const auto out = decode(d, {good.first(9), good.sliced(9), "GARBAGE 5 N xxx",
                                    "CPNG 99999999 N P", good + "junk", good});
        QCOMPARE(out, QList<ConnectionMessage>({ConnectionMessage("CINP", "1 2", 4),
                                                ConnectionMessage("CINP", "1 2", 4)}));
        QVERIFY(!d.failed() && !d.incomplete());
    }

    void numbersTokensAndLobbyPayloads() {
        QCOMPARE((QList{Codec::toInt(u"42"), Codec::toInt(u"-7"), Codec::toInt(u"2147483647"),
                        Codec::toInt(u"-2147483648")}),
                 (QList{42, -7, 2147483647, int(-2147483648LL)}));
        for (const char16_t* bad :
             {u"2147483648", u"99999999999999999999", u"", u"-", u"1x", u" 1"}) {
            QCOMPARE(Codec::toInt(QStringView(bad)), 0);
        }
        QCOMPARE(Codec::tokens("a  b"), QStringList({"a", "", "b"}));
        QCOMPARE(Codec::tokens(""), QStringList({""}));
        QCOMPARE((QStringList{Codec::joinFrom({"a", "b", "", "c"}, 1), Codec::joinFrom({"a"}, 3)}),
                 (QStringList{"b  c", ""}));

        QCOMPARE(Codec::buildHello(-1, -1, -1, ""), QString("-1 -1 -1 "));
        QCOMPARE(fields(Codec::parseHello(Codec::buildHello(2, 1, 77, "open  se same"))),
                 Fields({2, 1, 77, "open  se same"}));
        QVERIFY(!Codec::parseHelloReply("1 t").isHost);

        QCOMPARE(Codec::buildPlayers({"Ann", "Bob"}, {0, 1}, {2, 3}), QString("Ann 0 2 Bob 1 3"));
        QCOMPARE(Codec::buildPlayers({"Ann"}, {4}, {2}), QString("Ann 4 2  -1 0"));
        QCOMPARE(fields(Codec::parsePlayers("Ann 0 2")),
                 Fields({QStringList({"Ann", ""}), of(QList<int>{0, 0}), of(QList<int>{2, 0})}));

        const QString list = Codec::buildPlayerList({0, -1, 2, -1}, {"Ann", "", "Cy", ""},
                                                    {0, -1, 3, -1}, {2, 0, 4, 0});
        QCOMPARE(list, QString("0 Ann 0 2 -1  -1 0 2 Cy 3 4 -1  -1 0"));
        QCOMPARE(fields(Codec::parsePlayerList(list)),
                 Fields({of(QList<int>{0, -1, 2, -1}), QStringList({"Ann", "", "Cy", ""}),
                         of(QList<int>{0, -1, 3, -1}), of(QList<int>{2, 0, 4, 0})}));

        QCOMPARE(fields(Codec::parseChat(Codec::buildChat(1, "  so   many  spaces "))),
                 Fields({1, "  so   many  spaces "}));
        QCOMPARE(Codec::parseChat("-2").text, QString());
        QCOMPARE(Codec::parsePingList("1 2 3").connIds.size(), 1);  // no half pairs
    }

    void gamePayloads() {
        QCOMPARE(Codec::parseNumber(Codec::buildNumber(-4)), -4);

        QCOMPARE(Codec::parseInput(Codec::buildInput({0, 5, -1, 9})), QList<int>({0, 5, -1, 9}));
        QVERIFY(Codec::parseInput("").isEmpty());

        const Codec::BlockRecord block{7, 2, 6, -50, 1250, 3};
        QCOMPARE(Codec::buildNewBlock(block), QString("7 2 6 -50 1250 3"));

        // No moved block: an empty first token, the active ids still arrive.
        QCOMPARE(Codec::buildMoves({}, 5, 8), QString(" 5 8"));
        Codec::Moves moves = Codec::parseMoves(" 5 8");
        QVERIFY(moves.moves.isEmpty());
        QCOMPARE(moves.activeIds, QList<int>({5, 8}));
        QCOMPARE(Codec::parseMoves("").activeIds, QList<int>({0, 0}));
        // The key counters carried out travel as one token of letters before
        // the ids, each modulo 52, trailing zeros left out but one; the client
        // restores them against what it sent.
        const KeyInput done = KeyInput::fromList({3, 1, 0, 2, 0, 0, 0, 7, 0, 1});
        QCOMPARE(Codec::buildMoves({}, 5, 8, done), QString(" DBACAAAHAB 5 8"));
        QCOMPARE(Codec::buildMoves({}, 5, 8, KeyInput::fromList({52, 27, 104})),
                 QString(" Ab 5 8"));
        QCOMPARE(Codec::buildMoves({}, 5, 8, KeyInput{}), QString(" A 5 8"));
        const KeyInput residues = *Codec::parseMoves("1 2 3 4 Ab 5 8").keysDone;
        QCOMPARE(Codec::carriedOut(residues, KeyInput::fromList({60, 28, 104})),
                 KeyInput::fromList({52, 27, 104}));
        QCOMPARE(Codec::carriedOut(residues, KeyInput::fromList({51, 27})),
                 KeyInput::fromList({0, 27}));
        const QList<Codec::MoveRecord> two{{1, 0, 50, 1}, {2, -100, 200, 3}};
        for (const auto& [list, keys] : {std::pair(two, std::optional<KeyInput>()),
                                         std::pair(QList<Codec::MoveRecord>(), std::optional(done)),
                                         std::pair(two, std::optional(done))}) {
            const QString text = Codec::buildMoves(list, 1, -1, keys);
            moves = Codec::parseMoves(text);
            QCOMPARE(moves.moves, list);
            QCOMPARE(moves.activeIds, QList<int>({1, -1}));
            QCOMPARE(moves.keysDone, keys);
            // A receiver of today takes the last two tokens as the ids and
            // whole groups of four from the front: the counters are left over.
            const QStringList t = Codec::tokens(text);
            QCOMPARE((t.size() - 2) / 4, list.size());
            QCOMPARE(t.mid(t.size() - 2), QStringList({"1", "-1"}));
        }

        QCOMPARE(Codec::parseMerges(Codec::buildMerges(two)), two);
        QCOMPARE(Codec::parseMerges("1 2 3").size(), 0);

        QCOMPARE(fields(Codec::parsePause(Codec::buildPause(2, 3))), Fields({2, 3}));
    }

    void fieldText() {
        GameBlock field(0, 0, 0, 12);
        QCOMPARE(FieldImage::pack(field, 12), QByteArray(150, '\x77'));
        addBox(field, 1, 0, 0);    // odd column: low nibble
        addBox(field, 2, 0, 5);    // even column: high nibble
        addBox(field, 11, 24, 6);  // last cell: colour 6 gives 7, the empty value
        addBox(field, 3, 25, 1);   // above the field: not written
        const QByteArray packed = FieldImage::pack(field, 12);
        QCOMPARE(packed.size(), 150);
        QCOMPARE(packed.first(2).toHex() + packed.last(1).toHex(), QByteArray("716777"));
        for (char c : packed) {
            QVERIFY(static_cast<unsigned char>(c) >= 0x11 && static_cast<unsigned char>(c) <= 0x77);
        }
        QVERIFY(FieldImage::pack(field, 13).isEmpty() && FieldImage::pack(field, 0).isEmpty());

        // The field text passes the payload unchanged, bytes and all.
        const QList<Codec::BlockRecord> blocks{{3, 1, 4, 600, 1250, 2}, {4, 0, 0, 0, 0, 0}};
        QCOMPARE(fields(Codec::parseGameState(
                     Codec::buildGameState(12, true, 4200, "01234", packed, blocks))),
                 Fields({12, true, 4200, "01234", packed, of(blocks)}));
        const Codec::GameState shortState = Codec::parseGameState("12 F");
        QCOMPARE(shortState.fieldsizeX, 12);
        QVERIFY(shortState.field.isEmpty() && shortState.blocks.isEmpty());
        QCOMPARE(Codec::parseGameState("12 F 0 t f 1 2 3 4 5").blocks.size(), 0);

        GameBlock wide(0, 0, 0, 24);
        addBox(wide, -1, 3, 2);  // column 23
        addBox(wide, 25, 4, 3);  // column 1
        GameBlock low(0, 0, 0, 24);
        low.addBox(GameBox(4, {100, 100, 100, 100}, {-30, -30, -30, -30}, 24));  // row 0
        wide.addBoxesOf(low);
        QCOMPARE(cellsOf(FieldImage::pack(wide, 24), 24),
                 QList<QList<int>>({{2, 0, 4}, {23, 3, 2}, {1, 4, 3}}));

        // Total on any bytes. 0x71: no box in the even cell, colour 0 in the odd one.
        QCOMPARE(cellsOf(QByteArray("\x71\x77", 2), 12), QList<QList<int>>({{1, 0, 0}}));
        QVERIFY(cellsOf(QByteArray(150, '\x77'), 12).isEmpty());
        // Nibbles that are no box value (0, 8..15) are no boxes.
        QVERIFY(cellsOf(QByteArray("\x00\xFF\x8F", 3), 12).isEmpty());
        // Longer than the field: the extra bytes are ignored.
        QCOMPARE(cellsOf(QByteArray(400, '\x11'), 12).size(), 300);
        QVERIFY(cellsOf(QByteArray(10, '\x11'), 0).isEmpty());
        QVERIFY(cellsOf(QByteArray(10, '\x11'), -12).isEmpty());
        QVERIFY(cellsOf(QByteArray(), 12).isEmpty());
    }

    void digestsAndDescriptions() {
        // Known value: SHA-1 of the empty text.
        QCOMPARE(Codec::sha1Hex(""), QString("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
        const QString version = QString::fromLatin1(Quadrell::kVersion);
        QCOMPARE(Codec::announcementDigest(version, 27403, true, "12:34:56"),
                 Codec::sha1Hex("Beta 0.9227403T12:34:56" + QString(Codec::kSharedSecret)));

        const QString announcement = Codec::buildAnnouncement(version, 27403, false, "23:59:01");
        QVERIFY(announcement.startsWith("Beta 0.92 27403 F 23:59:01 "));
        QCOMPARE(fields(Codec::parseAnnouncement(announcement)),
                 Fields({version, 27403, false, "23:59:01", true}));
        QVERIFY(
            !Codec::parseAnnouncement(QString(announcement).replace("27403", "27404")).digestValid);

        const QString info = Codec::buildServerInfo(version, true, 2, 4, false, "The  big room");
        QCOMPARE(info.section(' ', 0, 7), QString("Beta 0.92 T 2 4 F The "));

        // A changed field or too few tokens: not genuine (another secret: test_connection).
        QVERIFY(!Codec::parseServerInfo(QString(info).replace(" T 2 4 ", " T 3 4 ")).has_value());
        QVERIFY(!Codec::parseServerInfo("Beta 0.92 T 2 4 F x").has_value());
        // Empty name: 8 tokens are enough.
        QVERIFY(Codec::parseServerInfo(Codec::buildServerInfo(version, false, 0, 4, true, ""))
                    .has_value());
    }

    void inviteCodesAndTheirMessages() {
        // Typed as players type them; look-alikes (O, I, 0, 1) are in no code.
        QCOMPARE(InviteCode::parse(" abcd-2345 "), std::optional<QString>("ABCD2345"));
        QCOMPARE(InviteCode::parse("quadrell://join/ABCD-2345/"),
                 std::optional<QString>("ABCD2345"));
        for (const char* bad : {"ABCD-234", "ABCD-23456", "ABCO-2345", "ABC1-2345", "ABCD_2345"}) {
            QVERIFY2(!InviteCode::parse(bad), bad);
        }
        // A host name stays one: only the dashed form, the link or capitals are codes.
        QVERIFY(!InviteCode::fromJoinText("mybuddy2") &&
                !InviteCode::fromJoinText("MYBUDDY2:27403"));
        QVERIFY(InviteCode::fromJoinText("MYBUDDY2") && InviteCode::fromJoinText("mybu-ddy2"));
        QCOMPARE(InviteCode::display("ABCD2345"), "ABCD-2345");
        // Endpoints: IPv6 in brackets, mapped IPv4 as IPv4.
        QCOMPARE(Endpoint::parse("[2001:db8::5]:27403")->text(), "[2001:db8::5]:27403");
        QCOMPARE(Endpoint::parse("[::ffff:10.0.0.1]:5")->text(), "10.0.0.1:5");
        for (const char* bad :
             {"2001:db8::5:27403", "10.0.0.1", "10.0.0.1:0", "host:5", "[::1]:x"}) {
            QVERIFY2(!Endpoint::parse(bad), bad);
        }

        // The answers are total and name their question.
        const QString nonce = "0123456789abcdef";
        const Codec::InviteAnswer a{
            nonce,       "ABCD2345",       true, Codec::Reach::Yes, Codec::Reach::No,
            "1.2.3.4:5", {"5.6.7.8:27403"}};
        const auto back = Codec::parseInviteAnswer(Codec::buildInviteAnswer(a));
        QVERIFY(back && back->found && back->endpoints == a.endpoints &&
                back->stream == Codec::Reach::Yes && back->datagram == Codec::Reach::No &&
                back->observed == a.observed && back->nonce == nonce);
        QVERIFY(!Codec::parseInviteAnswer("0123 ABCD2345 T T T - 1.2.3.4:5"));
        QVERIFY(
            Codec::parseInviteAnswer(nonce + " ABCD2345 F ? ? - 1.2.3.4:5")->endpoints.isEmpty());
        QVERIFY(!Codec::parseInviteQuery("ABCD2345 " + nonce + " x") &&
                Codec::parseInviteQuery("ABCD2345 " + nonce));
        const auto r = Codec::parseRegistration(Codec::buildRegistration({27413, false, nonce}));
        QVERIFY(r.port == 27413 && !r.online && r.token == nonce);
        QVERIFY(Codec::parseRegistration("27413 O junk").token.isEmpty());
        QVERIFY(!Codec::parseRegistrationAnswer("ABCD2345 junk 1.2.3.4 5 T T"));
        const auto ra = Codec::parseRegistrationAnswer(Codec::buildRegistrationAnswer(
            {"ABCD2345", nonce, "1.2.3.4", 27403, Codec::Reach::Unknown, Codec::Reach::Yes}));
        QVERIFY(ra && ra->port == 27403 && ra->stream == Codec::Reach::Unknown &&
                ra->datagram == Codec::Reach::Yes && ra->relay.isEmpty());

        // The relay's items: the game's relayed addresses, credentials for it,
        // the announced joiner and the relayed way in.
        const auto rr = Codec::parseRegistration(
            Codec::buildRegistration({27413, true, nonce, "9.9.9.9:50001", "9.9.9.9:50002"}));
        QVERIFY(rr.relayStream == "9.9.9.9:50001" && rr.relayDatagram == "9.9.9.9:50002" &&
                rr.takesRelay);
        QVERIFY(
            Codec::parseRegistration(Codec::buildRegistration({27413, true, nonce, {}, {}, true}))
                .takesRelay);
        QVERIFY(!Codec::parseRegistration("27413 O " + nonce).takesRelay);
        QVERIFY(
            Codec::parseRegistration("27413 O " + nonce + " 9.9.9.9:1 junk").relayStream.isEmpty());
        const auto withRelay = Codec::parseRegistrationAnswer(
            "ABCD2345 " + nonce + " 1.2.3.4 5 F F 9.9.9.9:3478 1700000000:ABCD2345 c2VjcmV0");
        QVERIFY(withRelay && withRelay->relay == "9.9.9.9:3478" &&
                withRelay->relayUser == "1700000000:ABCD2345");
        QVERIFY(Codec::parseRegistrationAnswer("ABCD2345 " + nonce + " 1.2.3.4 5 F F x u p")
                    ->relay.isEmpty());
        QCOMPARE(Codec::parseJoinerNotice(nonce + " [2001:db8::7]:4000")->endpoint,
                 "[2001:db8::7]:4000");
        QVERIFY(!Codec::parseJoinerNotice(nonce + " 1.2.3.4") &&
                !Codec::parseJoinerNotice("short 1.2.3.4:5"));
        QCOMPARE(Codec::parseJoinerReady(nonce + " 40001")->port, 40001);
        QCOMPARE(Codec::parseJoinerReady(nonce)->port, 0);
        QVERIFY(!Codec::parseJoinerReady(nonce + " 0") &&
                !Codec::parseJoinerReady(nonce + " 1 2") && !Codec::parseJoinerReady(""));
        QCOMPARE(Codec::parseInviteQuery(Codec::buildInviteQuery({"ABCD2345", nonce, 5000}))->port,
                 5000);
        QVERIFY(!Codec::parseInviteQuery("ABCD2345 " + nonce + " 70000"));
        using Kind = JoinWay::Kind;
        for (const auto& [text, kind, datagrams] :
             {std::tuple{"9.9.9.9:50001/50002", Kind::Relayed, 50002},
              {"[2001:db8::5]:40001+27403", Kind::Punched, 27403},
              {"1.2.3.4:5", Kind::Direct, 5}}) {
            const auto way = JoinWay::parse(text);
            QVERIFY2(way && way->kind == kind && way->datagrams().port == datagrams &&
                         way->text() == text,
                     text);
        }
        for (const char* bad : {"9.9.9.9:1/0", "9.9.9.9:1/x", "9.9.9.9/5", "/5", "1.2.3.4:1++2",
                                "1.2.3.4:1+", "[::1]+5"}) {
            QVERIFY2(!JoinWay::parse(bad), bad);
        }

        // Only the code's holder proves a description, for that nonce and that text.
        QCOMPARE(Codec::parseInfoRequestNonce(Codec::buildInfoRequest(nonce)), nonce);
        QVERIFY(Codec::parseInfoRequestNonce("I").isEmpty() &&
                Codec::parseInfoRequestNonce("I zz").isEmpty());
        const QString info = Codec::buildServerInfo("Beta 0.92", false, 1, 4, false, "Room");
        const QString proven = Codec::withProof(info, "ABCD2345", nonce);
        QCOMPARE(Codec::provenServerInfo(proven, "ABCD2345", nonce), std::optional<QString>(info));
        QVERIFY(
            !Codec::provenServerInfo(proven, "ABCD2346", nonce) &&
            !Codec::provenServerInfo(proven, "ABCD2345", "fedcba9876543210") &&
            !Codec::provenServerInfo(QString(proven).replace(" 1 4 ", " 2 4 "), "ABCD2345", nonce));
    }

    void rateLimitPerAddress() {
        const QHostAddress hostA(QStringLiteral("10.0.0.1"));
        const QHostAddress hostB(QStringLiteral("10.0.0.2"));
        RateLimiter limiter(3, 1000, 2);
        qint64 now = 0;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(limiter.allow(hostA, now));
        }
        QVERIFY(!limiter.allow(hostA, now));
        QVERIFY(limiter.allow(hostB, now));  // another address has its own bucket
        now += 999;
        QVERIFY(!limiter.allow(hostA, now));
        now += 1;
        QVERIFY(limiter.allow(hostA, now) && !limiter.allow(hostA, now));
        // The table is full (two addresses); a third is refused until one is idle.
        const QHostAddress third(QStringLiteral("10.0.0.3"));
        QVERIFY(!limiter.allow(third, now));
        now += 3000;
        QVERIFY(limiter.allow(third, now) && limiter.tracked() <= 2);
    }

    // Jitter: uniform from 30 to 70 ms, its mean 50, its deviation 40/sqrt(12) ~ 11.8.
    // Later ones overtake earlier ones; the same seed draws the same delays.
    void delayLinesJitterSplitAndEnd() {
        DelayLine line;
        line.setDelay(50, 20, 7);
        const Run run = holdMany(line, 2000);
        QCOMPARE((QList{std::ranges::min(run.delays), std::ranges::max(run.delays)}),
                 (QList{30, 70}));
        const auto [mean, deviation] = spread(run.delays);
        QCOMPARE_LT(std::abs(mean - 50), 1.5);
        QCOMPARE_LT(std::abs(deviation - 11.8), 1.0);
        QVERIFY(!std::ranges::is_sorted(run.order));

        DelayLine again;
        again.setDelay(50, 20, 7);
        QCOMPARE(holdMany(again, 2000).delays, run.delays);
        again.setDelay(50, 20, 8);
        QVERIFY(holdMany(again, 2000).delays != run.delays);

        // Without jitter the order is kept.
        again.setDelay(40, 0, 7);
        const Run steady = holdMany(again, 300);
        QCOMPARE(steady.delays, QList<int>(300, 40));
        QVERIFY(std::ranges::is_sorted(steady.order));

        // A round trip is split between the ways: 101 ms give or take 21 are
        // 51 +- 11 out, 50 +- 10 in.
        LossSimulation loss;
        loss.delay(Latency{101, 21}, 3);
        const Run out = holdMany(loss.delayOutgoing, 1000);
        const Run in = holdMany(loss.delayIncoming, 1000);
        QCOMPARE(std::ranges::min(out.delays) + std::ranges::min(in.delays), 80);
        QCOMPARE(std::ranges::max(out.delays) + std::ranges::max(in.delays), 122);
        loss.delay(Latency{}, 3);
        QVERIFY(!loss.delayOutgoing.active() && !loss.delayIncoming.active());

        // An action may end the connection, and the line with it.
        auto doomed = std::make_unique<DelayLine>();
        ManualClock clock;
        doomed->setClock(clock);
        doomed->setDelay(1, 0, 1);
        int ran = 0;
        doomed->hold([&] {
            ++ran;
            doomed.reset();
        });
        doomed->hold([&] { ++ran; });
        clock.advance(1);
        doomed->release();
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
        const ReliableChannel channel = sentLines(sent);
        QCOMPARE(numbersOf(channel.history()), range(std::max(1, sent - 19), sent));  // the last 20
        const ReliableChannel::Resend resend = channel.serve(from);
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
    void whatOpensAConnection() {
        NetClientConnection joining(clientSettings(true), std::make_unique<RecordingTransport>());
        auto& toJoining = static_cast<RecordingTransport&>(joining.core().transport());
        const Heard atClient(joining);
        const int serverPeer = toJoining.open(false);
        toJoining.receive(serverPeer, "SHI", QString::number(2147483647) + " T");
        toJoining.receive(serverPeer, "SHI", "4 T");
        QVERIFY(atClient.first().isEmpty());

        GatedServer server(serverSettings(true), std::make_unique<RecordingTransport>(),
                           joinRules(kKey));
        auto& peers = static_cast<RecordingTransport&>(server.core().transport());
        const Heard atServer(server);
        const int peer = peers.open(true);
        for (const char* type : {"CPLR", "CMSG", "CINP", "CDSC", "BRES", "CSRT"}) {
            peers.receive(peer, type, "0 x");
        }
        peers.receive(peer, "CHI", QStringLiteral("-1 1 %1 ").arg(kKey), 1);
        QVERIFY(atServer.first().isEmpty() && server.core().pendingIds().contains(peer));
        peers.receive(peer, "CHI", QStringLiteral("-1 1 %1 ").arg(kKey));
        QCOMPARE(server.core().establishedIds(), QList<int>({peer}));
        QVERIFY(peers.sent.size() == 1 && peers.sent.first().type == "SHI");

        // A probe that cannot be opened is reported at once, else the player
        // would wait for an answer that cannot come.
        NetMasterConnection master(clientSettings(false), std::make_unique<RecordingTransport>());
        QSignalSpy unreachable(&master, &MasterConnection::changedCServerUnreachable);
        master.queryServer(kLocal, 1234);
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
        QCOMPARE((QList<qint64>{core.resendRequests().at(0), core.unheard(), errors.size(),
                                sides.toServer().sent.size()}),
                 (QList<qint64>{1, 1, 0, 2}));
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
        QVERIFY(!sides.heard(atServer, type, content, number) && core.unheard() == 1);
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
        QCOMPARE(errors.at(0).at(1), QVariant::fromValue(ConnectionInterface::PacketLoss));
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "test_protocol.moc"
