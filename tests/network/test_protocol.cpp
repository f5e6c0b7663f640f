// Messages, their framing on streams and datagrams, and the payload of every code.
#include <QTest>

#include "game/appinfo.h"
#include "game/gameblock.h"
#include "network/connectionmessage.h"
#include "network/fieldimage.h"
#include "network/messagedecoder.h"
#include "network/payloadcodec.h"

namespace Codec = PayloadCodec;

namespace {

QList<ConnectionMessage> decodeAll(MessageDecoder& decoder, const QList<QByteArray>& reads) {
    QList<ConnectionMessage> out;
    for (const QByteArray& read : reads) {
        decoder.feed(read, out);
    }
    return out;
}

}  // namespace

class TestProtocol : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void codeTableAndEncoding() {
        const auto& codes = ConnectionMessage::codes();
        QCOMPARE(codes.size(), std::size_t(37));
        QCOMPARE(codes.front(), QString("CHI"));
        QCOMPARE(codes[26], QString("BRES"));
        QCOMPARE(codes.back(), QString("SIN"));
        QCOMPARE(ConnectionMessage::codeText(MessageCode::SMVE), QString("SMVE"));
        for (std::size_t i = 0; i < codes.size(); ++i) {
            QCOMPARE(ConnectionMessage::codeIndex(codes[i]), int(i));
        }
        QCOMPARE(ConnectionMessage::codeIndex(QString("Undefined")), -1);
        QCOMPARE(ConnectionMessage::codeIndex(QString("chi")), -1);
        QCOMPARE(ConnectionMessage::codeIndex(QString("CHIX")), -1);
        // Four bytes whose last three spell a code are still no code.
        QCOMPARE(ConnectionMessage::codeIndex(QByteArrayView("\x03"
                                                             "CHI")),
                 -1);

        const ConnectionMessage undefined;
        QCOMPARE(undefined.type, QString("Undefined"));
        QVERIFY(undefined.content.isEmpty());
        QCOMPARE(undefined.number, -1);

        QCOMPARE(ConnectionMessage("CPNG", "P").encode(), QByteArray("CPNG 3 N P"));
        QCOMPARE(ConnectionMessage("CMSG", "0 hello there", 12).encode(),
                 QByteArray("CMSG 17 S12 0 hello there"));
        // Empty content still has a body: the number word and one space.
        QCOMPARE(ConnectionMessage("SLNE", "").encode(), QByteArray("SLNE 2 N "));
        // The length counts UTF-8 bytes, not characters.
        QCOMPARE(ConnectionMessage("SMSG", QString::fromUtf8("1 \xc3\xa9")).encode(),
                 QByteArray("SMSG 6 N 1 \xc3\xa9"));
    }

    void streamDecoding() {
        const QByteArray a = ConnectionMessage("CMSG", "0 hi  you", 3).encode();
        const QByteArray b = ConnectionMessage("SLNE", "").encode();
        const QByteArray c =
            ConnectionMessage("SMSG", QString::fromUtf8("2 gr\xc3\xbc\xc3\x9f")).encode();

        // Several messages in one read, in order.
        MessageDecoder one(MessageDecoder::Mode::Stream);
        auto got = decodeAll(one, {a + b + c});
        QCOMPARE(got.size(), 3);
        QCOMPARE(got[0], ConnectionMessage("CMSG", "0 hi  you", 3));
        QCOMPARE(got[1], ConnectionMessage("SLNE", "", -1));
        QCOMPARE(got[2].content, QString::fromUtf8("2 gr\xc3\xbc\xc3\x9f"));
        QVERIFY(!one.incomplete());

        // Every split point of the same bytes gives the same messages: the
        // type and the first digit in one read, the rest later, and so on.
        const QByteArray all = a + b + c;
        for (qsizetype cut = 1; cut < all.size(); ++cut) {
            MessageDecoder split(MessageDecoder::Mode::Stream);
            QList<ConnectionMessage> part;
            split.feed(all.first(cut), part);
            QVERIFY(split.incomplete() || cut == a.size() || cut == a.size() + b.size());
            split.feed(all.sliced(cut), part);
            QCOMPARE(part, got);
            QVERIFY(!split.incomplete());
            QVERIFY(!split.failed());
        }

        // Byte by byte, too.
        MessageDecoder bytewise(MessageDecoder::Mode::Stream);
        QList<ConnectionMessage> slow;
        for (char ch : all) {
            bytewise.feed(QByteArrayView(&ch, 1), slow);
        }
        QCOMPARE(slow, got);

        // A number word without digits reads as 0; "N" or anything else is none.
        MessageDecoder numbers(MessageDecoder::Mode::Stream);
        got = decodeAll(numbers, {"SHI 4 Sx 1SHI 5 X 0 FSHI 2 S3"});
        QCOMPARE(got.size(), 3);
        QCOMPARE(got[0].number, 0);
        QCOMPARE(got[1].number, -1);
        QCOMPARE(got[1].content, QString("0 F"));
        QCOMPARE(got[2].number, 3);
        QVERIFY(got[2].content.isEmpty());
    }

    void streamFailures() {
        // An unknown type word breaks the stream at once, whatever follows.
        for (const QByteArray& bad : {QByteArray("XYZ 3 N P"), QByteArray("CHIX 3 N P"),
                                      QByteArray("\x03"
                                                 "CHI 3 N P"),
                                      QByteArray("Q"), QByteArray("chi 3 N P")}) {
            MessageDecoder d(MessageDecoder::Mode::Stream);
            QList<ConnectionMessage> out;
            d.feed(bad, out);
            QVERIFY2(d.failed(), bad.constData());
            d.feed(ConnectionMessage("CPNG", "P").encode(), out);
            QVERIFY(out.isEmpty());
        }
        // Messages before the garbage are still delivered.
        MessageDecoder d(MessageDecoder::Mode::Stream);
        QList<ConnectionMessage> out;
        d.feed(ConnectionMessage("CPNG", "P").encode() + "NOPE ", out);
        QCOMPARE(out.size(), 1);
        QVERIFY(d.failed());

        // Length words: not digits, zero, or above the limit.
        for (const QByteArray& bad : {QByteArray("CPNG x3 N P"), QByteArray("CPNG 0 N P"),
                                      QByteArray("CPNG -3 N P"), QByteArray("CPNG  3 N P"),
                                      QByteArray("CPNG 1024001 "), QByteArray("CPNG 99999999")}) {
            MessageDecoder bl(MessageDecoder::Mode::Stream);
            QList<ConnectionMessage> none;
            bl.feed(bad, none);
            QVERIFY2(bl.failed(), bad.constData());
            QVERIFY(none.isEmpty());
        }
        // The limit itself is allowed and waits for its body without failing.
        MessageDecoder big(MessageDecoder::Mode::Stream);
        QList<ConnectionMessage> none;
        big.feed("CPNG 1024000 N ", none);
        QVERIFY(!big.failed());
        QVERIFY(big.incomplete());
    }

    void datagramDecoding() {
        MessageDecoder d(MessageDecoder::Mode::Datagram);
        QList<ConnectionMessage> out;
        const QByteArray good = ConnectionMessage("CINP", "1 2", 4).encode();
        d.feed(good + ConnectionMessage("CPNG", "P").encode(), out);
        QCOMPARE(out.size(), 2);
        // A cut message is dropped with its datagram: nothing carries over.
        d.feed(good.first(9), out);
        d.feed(good.sliced(9), out);
        QCOMPARE(out.size(), 2);
        // Garbage and over-long lengths spoil only their own datagram.
        d.feed("GARBAGE 5 N xxx", out);
        d.feed("CPNG 99999999 N P", out);
        d.feed(good + "junk", out);
        QCOMPARE(out.size(), 3);
        QVERIFY(!d.failed());
        QVERIFY(!d.incomplete());
        d.feed(good, out);
        QCOMPARE(out.size(), 4);
        QCOMPARE(out.last(), ConnectionMessage("CINP", "1 2", 4));
    }

    void integersAndTokens() {
        QCOMPARE(Codec::toInt(u"42"), 42);
        QCOMPARE(Codec::toInt(u"-7"), -7);
        QCOMPARE(Codec::toInt(u"2147483647"), 2147483647);
        QCOMPARE(Codec::toInt(u"-2147483648"), int(-2147483648LL));
        QCOMPARE(Codec::toInt(u"2147483648"), 0);
        QCOMPARE(Codec::toInt(u"99999999999999999999"), 0);
        QCOMPARE(Codec::toInt(u""), 0);
        QCOMPARE(Codec::toInt(u"-"), 0);
        QCOMPARE(Codec::toInt(u"1x"), 0);
        QCOMPARE(Codec::toInt(u" 1"), 0);
        QCOMPARE(Codec::tokens("a  b"), QStringList({"a", "", "b"}));
        QCOMPARE(Codec::tokens(""), QStringList({""}));
        QCOMPARE(Codec::joinFrom({"a", "b", "", "c"}, 1), QString("b  c"));
        QCOMPARE(Codec::joinFrom({"a"}, 3), QString());
    }

    void handshakeAndLobbyPayloads() {
        QCOMPARE(Codec::buildHello(-1, -1, -1, ""), QString("-1 -1 -1 "));
        const Codec::Hello hello = Codec::parseHello(Codec::buildHello(2, 1, 77, "open  se same"));
        QCOMPARE(hello.requestedId, 2);
        QCOMPARE(hello.players, 1);
        QCOMPARE(hello.hostKey, 77);
        QCOMPARE(hello.password, QString("open  se same"));
        QVERIFY(Codec::parseHello("").password.isEmpty());

        const Codec::HelloReply reply = Codec::parseHelloReply(Codec::buildHelloReply(3, true));
        QCOMPARE(reply.clientId, 3);
        QVERIFY(reply.isHost);
        QVERIFY(!Codec::parseHelloReply("1 t").isHost);

        QCOMPARE(Codec::buildPlayers({"Ann", "Bob"}, {0, 1}, {2, 3}), QString("Ann 0 2 Bob 1 3"));
        QCOMPARE(Codec::buildPlayers({"Ann"}, {4}, {2}), QString("Ann 4 2  -1 0"));
        const Codec::Players players = Codec::parsePlayers("Ann 0 2");
        QCOMPARE(players.names, QStringList({"Ann", ""}));
        QCOMPARE(players.colors, QList<int>({0, 0}));

        const QString list = Codec::buildPlayerList({0, -1, 2, -1}, {"Ann", "", "Cy", ""},
                                                    {0, -1, 3, -1}, {2, 0, 4, 0});
        QCOMPARE(list, QString("0 Ann 0 2 -1  -1 0 2 Cy 3 4 -1  -1 0"));
        const Codec::PlayerList parsed = Codec::parsePlayerList(list);
        QCOMPARE(parsed.connIds, QList<int>({0, -1, 2, -1}));
        QCOMPARE(parsed.names, QStringList({"Ann", "", "Cy", ""}));
        QCOMPARE(parsed.status, QList<int>({2, 0, 4, 0}));
        // A name with a space shifts every later field: senders must avoid it.
        QCOMPARE(Codec::parsePlayerList("0 A nn 5 2").names[0], QString("A"));
        QCOMPARE(Codec::parsePlayerList("0 A nn 5 2").status[0], 5);

        const Codec::ChatLine chat = Codec::parseChat(Codec::buildChat(1, "  so   many  spaces "));
        QCOMPARE(chat.player, 1);
        QCOMPARE(chat.text, QString("  so   many  spaces "));
        QCOMPARE(Codec::parseChat("-2").text, QString());

        const Codec::PingList pings = Codec::parsePingList(Codec::buildPingList({0, 3}, {12, 999}));
        QCOMPARE(pings.connIds, QList<int>({0, 3}));
        QCOMPARE(pings.pings, QList<int>({12, 999}));
        QVERIFY(Codec::parsePingList("").connIds.isEmpty());
        QCOMPARE(Codec::parsePingList("1 2 3").connIds.size(), 1);
    }

    void gamePayloads() {
        const Codec::GameStart start = Codec::parseGameStart(Codec::buildGameStart(1, 24, 3));
        QCOMPARE(start.fieldsizeX, 24);
        QCOMPARE(start.countDown, 3);
        QCOMPARE(Codec::parseNumber(Codec::buildNumber(-4)), -4);
        QCOMPARE(Codec::parseNumber(""), 0);

        QCOMPARE(Codec::parseInput(Codec::buildInput({0, 5, -1, 9})), QList<int>({0, 5, -1, 9}));
        QVERIFY(Codec::buildInput({}).isEmpty());
        QVERIFY(Codec::parseInput("").isEmpty());

        const Codec::BlockRecord block{7, 2, 6, -50, 1250, 3};
        QCOMPARE(Codec::buildNewBlock(block), QString("7 2 6 -50 1250 3"));
        QCOMPARE(Codec::parseNewBlock(Codec::buildNewBlock(block)), block);

        // No moved block: an empty first token, the active ids still arrive.
        QCOMPARE(Codec::buildMoves({}, 5, 8), QString(" 5 8"));
        Codec::Moves moves = Codec::parseMoves(" 5 8");
        QVERIFY(moves.moves.isEmpty());
        QCOMPARE(moves.activeIds, QList<int>({5, 8}));
        const QList<Codec::MoveRecord> two{{1, 0, 50, 1}, {2, -100, 200, 3}};
        moves = Codec::parseMoves(Codec::buildMoves(two, 1, -1));
        QCOMPARE(moves.moves, two);
        QCOMPARE(moves.activeIds, QList<int>({1, -1}));
        QCOMPARE(Codec::parseMoves("").activeIds, QList<int>({0, 0}));

        QCOMPARE(Codec::parseMerges(Codec::buildMerges(two)), two);
        QVERIFY(Codec::parseMerges("").isEmpty());
        QCOMPARE(Codec::parseMerges("1 2 3").size(), 0);

        const Codec::Pause pause = Codec::parsePause(Codec::buildPause(2, 3));
        QCOMPARE(pause.clientId, 2);
        QCOMPARE(pause.countDown, 3);
        const Codec::GameOver over = Codec::parseGameOver(Codec::buildGameOver(1200, 14, "00512"));
        QCOMPARE(over.score, 1200);
        QCOMPARE(over.lines, 14);
        QCOMPARE(over.playtime, QString("00512"));
    }

    void gameStateWithFieldText() {
        // A 48-column field with boxes in both nibbles of a byte.
        GameBlock field(0, 0, 0, 48);
        const auto box = [&](int column, int row, int colour) {
            field.addBox(GameBox(colour, {column * 50, column * 50, column * 50, column * 50},
                                 {row * 50, row * 50, row * 50, row * 50}, 48));
        };
        box(1, 0, 0);    // odd column, colour 0: 0x71
        box(46, 24, 6);  // colour 6 is written as 7, like an empty cell
        box(2, 3, 5);
        const QByteArray packed = FieldImage::pack(field, 48);
        QCOMPARE(static_cast<unsigned char>(packed[0]), 0x71);
        QCOMPARE(static_cast<unsigned char>(packed[packed.size() - 1]), 0x77);

        const QList<Codec::BlockRecord> blocks{{3, 1, 4, 600, 1250, 2}, {4, 0, 0, 0, 0, 0}};
        const QString text = Codec::buildGameState(48, true, 4200, "01234", packed, blocks);
        const Codec::GameState state = Codec::parseGameState(text);
        QCOMPARE(state.fieldsizeX, 48);
        QVERIFY(state.paused);
        QCOMPARE(state.score, 4200);
        QCOMPARE(state.playtime, QString("01234"));
        QCOMPARE(state.field, packed);
        QCOMPARE(state.blocks, blocks);
        // The field text passes the framing unchanged, bytes and all.
        MessageDecoder decoder(MessageDecoder::Mode::Stream);
        QList<ConnectionMessage> out;
        decoder.feed(ConnectionMessage("SCST", text, 9).encode(), out);
        QCOMPARE(out.size(), 1);
        QCOMPARE(Codec::parseGameState(out[0].content).field, packed);

        const Codec::GameState shortState = Codec::parseGameState("12 F");
        QCOMPARE(shortState.fieldsizeX, 12);
        QVERIFY(shortState.field.isEmpty());
        QVERIFY(shortState.blocks.isEmpty());
        QCOMPARE(Codec::parseGameState("12 F 0 t f 1 2 3 4 5").blocks.size(), 0);
    }

    void digestsAndDescriptions() {
        // Known value: SHA-1 of the empty text.
        QCOMPARE(Codec::sha1Hex(""), QString("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
        const QString version = QString::fromLatin1(Quadrell::kVersion);
        QCOMPARE(Codec::announcementDigest(version, 27403, true, "12:34:56"),
                 Codec::sha1Hex("Beta 0.9227403T12:34:56" + QString(Codec::kSharedSecret)));

        const QString announcement = Codec::buildAnnouncement(version, 27403, false, "23:59:01");
        QVERIFY(announcement.startsWith("Beta 0.92 27403 F 23:59:01 "));
        const Codec::Announcement parsed = Codec::parseAnnouncement(announcement);
        QVERIFY(parsed.digestValid);
        QCOMPARE(parsed.port, 27403);
        QCOMPARE(parsed.time, QString("23:59:01"));
        QVERIFY(
            !Codec::parseAnnouncement(QString(announcement).replace("27403", "27404")).digestValid);

        const QString info = Codec::buildServerInfo(version, true, 2, 4, false, "The  big room");
        QCOMPARE(info.section(' ', 0, 7), QString("Beta 0.92 T 2 4 F The "));
        const auto server = Codec::parseServerInfo(info);
        QVERIFY(server.has_value());
        QCOMPARE(server->version, version);
        QCOMPARE(server->name, QString("The  big room"));
        QVERIFY(server->ranked);
        QVERIFY(!server->hasPassword);
        QCOMPARE(server->players, 2);
        QCOMPARE(server->maxPlayers, 4);

        // Another secret, a changed field, or too few tokens: not genuine.
        const QString forged =
            "Beta 0.92 T 2 4 F Room " + Codec::sha1Hex("Beta 0.92T24FRoomanother secret");
        QVERIFY(!Codec::parseServerInfo(forged).has_value());
        QVERIFY(!Codec::parseServerInfo(QString(info).replace(" T 2 4 ", " T 3 4 ")).has_value());
        QVERIFY(!Codec::parseServerInfo("Beta 0.92 T 2 4 F x").has_value());
        // Empty name: 8 tokens are enough.
        QVERIFY(Codec::parseServerInfo(Codec::buildServerInfo(version, false, 0, 4, true, ""))
                    .has_value());

        QCOMPARE(Codec::parseServerList(""), QStringList());
        QCOMPARE(Codec::parseServerList(Codec::buildServerList({"1.2.3.4:5", "6.7.8.9:10"})),
                 QStringList({"1.2.3.4:5", "6.7.8.9:10"}));
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "test_protocol.moc"
