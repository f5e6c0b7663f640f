#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

#include "game/blockrecords.h"
#include "game/keyinput.h"
#include "network/invitecode.h"

// Payload texts of every message code, built and parsed as pure functions.
//
// A payload is a list of tokens separated by single spaces; the receiver
// splits on single spaces keeping empty tokens and never trims. Integers are
// decimal with an optional leading "-"; a token that does not parse reads as
// 0, and a missing one too. Booleans are "T" and "F" (only "T" is true). Free
// text that may hold spaces (chat, password, server name) is always the last
// field and is re-joined by the parser. Every parser is total: any text gives
// a result, never a crash.
namespace PayloadCodec {

// Proves that an announcement or a server description comes from a genuine
// program; every program that takes part uses the same text.
inline constexpr char kSharedSecret[] = "5d0c7e2a9b41f3086e1d2c4b7a9f0e13";

// Fixed one-letter payloads; the receiver never reads them.
inline constexpr char kPong[] = "P";
inline constexpr char kPause[] = "P";
inline constexpr char kStart[] = "S";
inline constexpr char kRestart[] = "R";
inline constexpr char kDisconnect[] = "D";
inline constexpr char kServerListRequest[] = "L";
inline constexpr char kMasterTest[] = "T";
inline constexpr char kInfoRequest[] = "I";

int toInt(QStringView token);
int toInt(QLatin1StringView token);
QString boolText(bool value);
bool isTrue(QStringView token);
QStringList tokens(const QString& payload);
// Tokens from..end joined with single spaces (empty when from is past the end).
QString joinFrom(const QStringList& tokens, qsizetype from);

// SHA-1 of the UTF-8 bytes, 40 lowercase hexadecimal digits.
QString sha1Hex(const QString& text);
// Digest of "SON" and "SOF": version + port + ranked + time + secret.
QString announcementDigest(const QString& version, int port, bool ranked, const QString& time);
// Digest of "SIN": version + ranked + players + maxPlayers + password flag + name + secret.
QString serverInfoDigest(const QString& version, bool ranked, int players, int maxPlayers,
                         bool hasPassword, const QString& name);

using BlockRecord = ::BlockRecord;
using MoveRecord = ::GameMovement;

// "CHI": requestedId players hostKey password...
struct Hello {
    int requestedId = 0;
    int players = 0;
    int hostKey = 0;
    QString password;
};
QString buildHello(int requestedId, int players, int hostKey, const QString& password);
Hello parseHello(const QString& payload);

// "CRJ": clientId players token. A client back after a drop asks for its
// seat by the token "STK" gave it.
struct Rejoin {
    int clientId = -1;
    int players = 0;
    QString token;
};
QString buildRejoin(const Rejoin& rejoin);
// A token that is not one a server hands out reads as empty.
Rejoin parseRejoin(const QString& payload);
// "STK": the seat token, 32 lowercase hex digits; anything else reads as empty.
bool isSeatToken(const QString& text);
QString parseSeatToken(const QString& payload);

// "SRP": index count data (base64): one piece of the last game's replay, the
// answer to "CRP"; both unnumbered, so that only a client that asks hears it.
struct ReplayPiece {
    int index = 0;
    int count = 0;
    QByteArray data;
};
inline constexpr int kReplayPieceBytes = 8192;
QString buildReplayPiece(const ReplayPiece& piece);
// Anything but 0 <= index < count with data of at most kReplayPieceBytes reads as count 0.
ReplayPiece parseReplayPiece(const QString& payload);

// "SHI": clientId isHost
struct HelloReply {
    int clientId = 0;
    bool isHost = false;
};
QString buildHelloReply(int clientId, bool isHost);
HelloReply parseHelloReply(const QString& payload);

// "CPLR": exactly two entries of name colour status (missing entries are
// sent as an empty name, colour -1, status 0).
struct Players {
    QStringList names;
    QList<int> colors;
    QList<int> status;
};
inline constexpr int kLocalPlayers = 2;
QString buildPlayers(const QStringList& names, const QList<int>& colors, const QList<int>& status);
Players parsePlayers(const QString& payload);

// "SPLR": exactly four entries of connId name colour status (an empty slot is
// -1, an empty name, -1, 0).
struct PlayerList {
    QList<int> connIds;
    QStringList names;
    QList<int> colors;
    QList<int> status;
};
inline constexpr int kPlayerSlots = 4;
QString buildPlayerList(const QList<int>& connIds, const QStringList& names,
                        const QList<int>& colors, const QList<int>& status);
PlayerList parsePlayerList(const QString& payload);

// "CMSG" and "SMSG": player text... (the text is everything after the first space).
struct ChatLine {
    int player = 0;
    QString text;
};
QString buildChat(int player, const QString& text);
ChatLine parseChat(const QString& payload);

// "SPNG": connId ping pairs.
struct PingList {
    QList<int> connIds;
    QList<int> pings;
};
QString buildPingList(const QList<int>& connIds, const QList<int>& pings);
PingList parsePingList(const QString& payload);

// "SSRT": clientId fieldsizeX countDown
struct GameStart {
    int clientId = 0;
    int fieldsizeX = 0;
    int countDown = 0;
};
QString buildGameStart(int clientId, int fieldsizeX, int countDown);
GameStart parseGameStart(const QString& payload);

// Single-integer payloads: "SRST", "SDSC", "CKCK", "SKCK", "SSHD", "BRES".
QString buildNumber(int value);
int parseNumber(const QString& payload);

// "SCST": fieldsizeX paused score playtime field, then six integers per block.
struct GameState {
    int fieldsizeX = 0;
    bool paused = false;
    int score = 0;
    QString playtime;
    QByteArray field;
    QList<BlockRecord> blocks;
};
QString buildGameState(int fieldsizeX, bool paused, int score, const QString& playtime,
                       const QByteArray& field, const QList<BlockRecord>& blocks);
GameState parseGameState(const QString& payload);

// "CINP": every token an integer; an empty list is an empty payload.
QString buildInput(const QList<int>& keys);
QList<int> parseInput(const QString& payload);

// "SBLC": id colour kind x y rotation
QString buildNewBlock(const BlockRecord& block);
BlockRecord parseNewBlock(const QString& payload);

// "SMVE": id x y rotation per moved block, then optionally the key counters
// the server carried out for the receiver's local players, then the
// receiver's two active block ids. With no moved block the first token is
// empty. The counters are one token of letters, one per counter in "CINP"
// order, each the counter modulo kEchoWrap ('A' 0 to 'Z' 25, 'a' 26 to 'z'
// 51), trailing 'A's left out but one: a few bytes in nearly every movement,
// restored by carriedOut against what the client sent. They go before the
// active ids because a receiver that does not know them takes the last two
// tokens as the ids and only whole groups of four from the front as moves:
// one more token is a remainder it never reads.
inline constexpr int kEchoWrap = 52;
struct Moves {
    QList<MoveRecord> moves;
    QList<int> activeIds;              // always two entries
    std::optional<KeyInput> keysDone;  // as sent: each counter modulo kEchoWrap
};
QString buildMoves(const QList<MoveRecord>& moves, int activeA, int activeB,
                   const std::optional<KeyInput>& keysDone = std::nullopt);
Moves parseMoves(const QString& payload);
// The counters the server carried out, from their residues and the counters
// this client sent: for each, the largest count up to the one sent with that
// residue. Right while fewer than kEchoWrap presses of a key are on their way:
// a held key repeats more slowly than the server takes presses, so that takes
// a round trip of seconds.
KeyInput carriedOut(const KeyInput& residues, const KeyInput& sent);

// "SMRG": id x y rotation per merged block.
QString buildMerges(const QList<MoveRecord>& merges);
QList<MoveRecord> parseMerges(const QString& payload);

// "SPSE": clientId countDown
struct Pause {
    int clientId = 0;
    int countDown = 0;
};
QString buildPause(int clientId, int countDown);
Pause parsePause(const QString& payload);

// "SSTP": score lines playtime
struct GameOver {
    int score = 0;
    int lines = 0;
    QString playtime;
};
QString buildGameOver(int score, int lines, const QString& playtime);
GameOver parseGameOver(const QString& payload);

// "SON" and "SOF": version (two tokens) port ranked time digest.
struct Announcement {
    QString version;
    int port = 0;
    bool ranked = false;
    QString time;
    bool digestValid = false;
};
QString buildAnnouncement(const QString& version, int port, bool ranked, const QString& time);
Announcement parseAnnouncement(const QString& payload);

// "MLS": address:port entries; an empty first token means no server.
QString buildServerList(const QStringList& entries);
QStringList parseServerList(const QString& payload);

// "SIN": version (two tokens) ranked players maxPlayers usePassword name... digest.
struct ServerInfo {
    QString version;
    bool ranked = false;
    int players = 0;
    int maxPlayers = 0;
    bool hasPassword = false;
    QString name;
};
QString buildServerInfo(const QString& version, bool ranked, int players, int maxPlayers,
                        bool hasPassword, const QString& name);
// Nothing for 7 tokens or fewer or a digest that does not match.
std::optional<ServerInfo> parseServerInfo(const QString& payload);

// "CIN": "I", and for a join by invite code the joiner's nonce after it,
// which a server holding a code answers with a proven "SIN" (a server of
// today ignores what follows the "I").
QString buildInfoRequest(const QString& nonce = {});
// The nonce asked for; empty without one (or with anything but a nonce).
QString parseInfoRequestNonce(const QString& payload);
// "SIN" with InviteCode::proof of it appended, and its check: nothing unless
// the last token proves the rest for code and nonce.
QString withProof(const QString& serverInfo, const QString& code, const QString& nonce);
std::optional<QString> provenServerInfo(const QString& payload, const QString& code,
                                        const QString& nonce);

// --- joining by invite code: only peers that sent a request hear an answer ---

// Whether the master server reached a game directly: not tried yet, yes, no.
enum class Reach : char { Unknown = '?', Yes = 'T', No = 'F' };

// "SRG": port state token. A game server asks its master server for an invite
// code (state "O", token "-" until it has one) and gives it back when it goes
// (state "X"). Repeated every few seconds: the keep-alive also holds the
// server's router open for what the master server sends it.
//
// A game that can play through the master server's relay says so with a
// fourth item "R" (servers that cannot would reject the relay's items in the
// answer); one that holds relayed addresses there gives them instead:
// stream datagram, as "address:port" each.
struct Registration {
    int port = 0;
    bool online = true;
    QString token;  // empty: none yet
    QString relayStream{};
    QString relayDatagram{};
    bool takesRelay = false;  // always true with relayed addresses
};
QString buildRegistration(const Registration& r);
Registration parseRegistration(const QString& payload);

// "MRG": code token address port stream datagram: the code, the token that
// proves a registration is this server's, where the master server sees it
// (the sender's address and the announced port), and whether it reached that
// address over the stream and with datagrams. To a game it could not reach
// both ways, a master server with a relay appends relay user password: where
// the relay is ("address:port") and credentials for it.
struct RegistrationAnswer {
    QString code;
    QString token;
    QString address;
    int port = 0;
    Reach stream = Reach::Unknown;
    Reach datagram = Reach::Unknown;
    QString relay{};  // empty: none offered
    QString relayUser{};
    QString relayPassword{};
};
QString buildRegistrationAnswer(const RegistrationAnswer& a);
// Nothing unless the code and the token are well formed.
std::optional<RegistrationAnswer> parseRegistrationAnswer(const QString& payload);

// "CJN": code nonce [port]: where is the game of this code? With the local
// port the question left from, the joiner can be punched to: the game then
// opens towards where the master server saw that port.
struct InviteQuery {
    QString code;
    QString nonce;
    int port{};  // 0: none given
};
QString buildInviteQuery(const InviteQuery& q);
// Nothing unless both are well formed.
std::optional<InviteQuery> parseInviteQuery(const QString& payload);

// "MJN": nonce code found stream datagram observed endpoint...: the query's
// nonce and code; whether a game has the code and how the master server
// reached it; where it sees the joiner; the game's "address:port" endpoints
// to try in order. A way through the relay is "address:port/port": the
// stream's relayed port, then the datagrams'.
struct InviteAnswer {
    QString nonce;
    QString code;
    bool found = false;
    Reach stream = Reach::Unknown;
    Reach datagram = Reach::Unknown;
    QString observed;
    QStringList endpoints;
    // Not on the wire: the local port the question left from, where a
    // punched way is to be tried from.
    int localPort{};
};
inline constexpr int kMaxEndpoints = 4;
QString buildInviteAnswer(const InviteAnswer& a);
// Nothing unless nonce and code are well formed; at most kMaxEndpoints.
std::optional<InviteAnswer> parseInviteAnswer(const QString& payload);

// "MPN": nonce endpoint: the master server tells a game that the joiner of
// that lookup comes, seen at endpoint ("address:port"), so that the game lets
// it in at its relay and opens its router towards it.
struct JoinerNotice {
    QString nonce;
    QString endpoint;
};
QString buildJoinerNotice(const JoinerNotice& n);
// Nothing unless the nonce and the endpoint are well formed.
std::optional<JoinerNotice> parseJoinerNotice(const QString& payload);

// "SPN": nonce [port]: the game is ready for that joiner. With the port: it
// opened its router towards the joiner, its stream from that port; without:
// it let the joiner in at its relay (or has none). Sent from the game's
// datagram port, so that the master server sees where the game's router maps it.
struct JoinerReady {
    QString nonce;
    int port{};  // 0: no stream opened
};
QString buildJoinerReady(const JoinerReady& r);
// Nothing unless the nonce (and a port given) are well formed.
std::optional<JoinerReady> parseJoinerReady(const QString& payload);

}  // namespace PayloadCodec

// The records travel in queued signals from a connection's thread.
Q_DECLARE_METATYPE(PayloadCodec::PlayerList)
Q_DECLARE_METATYPE(PayloadCodec::ChatLine)
Q_DECLARE_METATYPE(PayloadCodec::Players)
Q_DECLARE_METATYPE(PayloadCodec::PingList)
Q_DECLARE_METATYPE(PayloadCodec::GameStart)
Q_DECLARE_METATYPE(PayloadCodec::GameState)
Q_DECLARE_METATYPE(PayloadCodec::Pause)
Q_DECLARE_METATYPE(PayloadCodec::GameOver)
Q_DECLARE_METATYPE(PayloadCodec::RegistrationAnswer)
Q_DECLARE_METATYPE(PayloadCodec::InviteAnswer)
Q_DECLARE_METATYPE(PayloadCodec::JoinerNotice)
