#include "payloadcodec.h"

#include <QCryptographicHash>
#include <algorithm>
#include <limits>

#include "game/gameblock.h"
#include "network/endpoint.h"

namespace PayloadCodec {

namespace {

const QChar kSpace(u' ');

char16_t unit(QChar c) {
    return c.unicode();
}
char16_t unit(QLatin1Char c) {
    return c.unicode();
}

template <typename View>
int parseDecimal(View token) {
    qsizetype i = 0;
    bool negative = false;
    if (token.size() > 0 && unit(token[0]) == u'-') {
        negative = true;
        i = 1;
    }
    if (i == token.size()) {
        return 0;
    }
    qint64 value = 0;
    for (; i < token.size(); ++i) {
        const char16_t c = unit(token[i]);
        if (c < u'0' || c > u'9') {
            return 0;
        }
        value = value * 10 + (c - u'0');
        if (value > qint64(std::numeric_limits<int>::max()) + 1) {
            return 0;
        }
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<int>::max()) {
        return 0;
    }
    return static_cast<int>(value);
}

QString tokenAt(const QStringList& list, qsizetype index) {
    return index >= 0 && index < list.size() ? list[index] : QString();
}

int intAt(const QStringList& list, qsizetype index) {
    return index >= 0 && index < list.size() ? toInt(list[index]) : 0;
}

bool boolAt(const QStringList& list, qsizetype index) {
    return index >= 0 && index < list.size() && isTrue(list[index]);
}

template <typename T>
T valueAt(const QList<T>& list, qsizetype index, T fallback) {
    return index >= 0 && index < list.size() ? list[index] : fallback;
}

void appendInt(QString& out, int value, QChar separator = kSpace) {
    if (!out.isEmpty()) {
        out += separator;
    }
    out += QString::number(value);
}

QString joinInts(const QList<int>& values, QChar separator = kSpace) {
    QString out;
    for (int v : values) {
        appendInt(out, v, separator);
    }
    return out;
}

}  // namespace

int toInt(QStringView token) {
    return parseDecimal(token);
}

int toInt(QLatin1StringView token) {
    return parseDecimal(token);
}

QString boolText(bool value) {
    return value ? QStringLiteral("T") : QStringLiteral("F");
}

bool isTrue(QStringView token) {
    return token == u"T";
}

QStringList tokens(const QString& payload) {
    return payload.split(kSpace, Qt::KeepEmptyParts);
}

QString joinFrom(const QStringList& list, qsizetype from) {
    QString out;
    for (qsizetype i = from; i < list.size(); ++i) {
        if (i > from) {
            out += kSpace;
        }
        out += list[i];
    }
    return out;
}

QString sha1Hex(const QString& text) {
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex());
}

QString announcementDigest(const QString& version, int port, bool ranked, const QString& time) {
    return sha1Hex(version + QString::number(port) + boolText(ranked) + time +
                   QLatin1String(kSharedSecret));
}

QString serverInfoDigest(const QString& version, bool ranked, int players, int maxPlayers,
                         bool hasPassword, const QString& name) {
    return sha1Hex(version + boolText(ranked) + QString::number(players) +
                   QString::number(maxPlayers) + boolText(hasPassword) + name +
                   QLatin1String(kSharedSecret));
}

QString buildHello(int requestedId, int players, int hostKey, const QString& password) {
    return QString::number(requestedId) + kSpace + QString::number(players) + kSpace +
           QString::number(hostKey) + kSpace + password;
}

Hello parseHello(const QString& payload) {
    const QStringList t = tokens(payload);
    return {intAt(t, 0), intAt(t, 1), intAt(t, 2), joinFrom(t, 3)};
}

QString buildRejoin(const Rejoin& rejoin) {
    return QString::number(rejoin.clientId) + kSpace + QString::number(rejoin.players) + kSpace +
           rejoin.token;
}

Rejoin parseRejoin(const QString& payload) {
    const QStringList t = tokens(payload);
    const QString token = t.value(2);
    return {intAt(t, 0), intAt(t, 1), t.size() == 3 && isSeatToken(token) ? token : QString()};
}

bool isSeatToken(const QString& text) {
    return text.size() == 32 && std::all_of(text.begin(), text.end(), [](QChar c) {
               return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
           });
}

QString parseSeatToken(const QString& payload) {
    return isSeatToken(payload) ? payload : QString();
}

QString buildReplayPiece(const ReplayPiece& piece) {
    return QString::number(piece.index) + kSpace + QString::number(piece.count) + kSpace +
           QString::fromLatin1(piece.data.toBase64());
}

ReplayPiece parseReplayPiece(const QString& payload) {
    const QStringList t = tokens(payload);
    const QByteArray text = t.value(2).toLatin1();
    const auto data = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    const int index = intAt(t, 0);
    const int count = intAt(t, 1);
    if (t.size() != 3 || !data || data.decoded.size() > kReplayPieceBytes || index < 0 ||
        index >= count) {
        return {};
    }
    return {index, count, data.decoded};
}

QString buildHelloReply(int clientId, bool isHost) {
    return QString::number(clientId) + kSpace + boolText(isHost);
}

HelloReply parseHelloReply(const QString& payload) {
    const QStringList t = tokens(payload);
    return {intAt(t, 0), boolAt(t, 1)};
}

QString buildPlayers(const QStringList& names, const QList<int>& colors, const QList<int>& status) {
    QStringList parts;
    for (int i = 0; i < kLocalPlayers; ++i) {
        parts << valueAt(names, i, QString()) << QString::number(valueAt(colors, i, -1))
              << QString::number(valueAt(status, i, 0));
    }
    return parts.join(kSpace);
}

Players parsePlayers(const QString& payload) {
    const QStringList t = tokens(payload);
    Players out;
    for (int i = 0; i < kLocalPlayers; ++i) {
        out.names << tokenAt(t, 3 * i);
        out.colors << intAt(t, 3 * i + 1);
        out.status << intAt(t, 3 * i + 2);
    }
    return out;
}

QString buildPlayerList(const QList<int>& connIds, const QStringList& names,
                        const QList<int>& colors, const QList<int>& status) {
    QStringList parts;
    for (int i = 0; i < kPlayerSlots; ++i) {
        parts << QString::number(valueAt(connIds, i, -1)) << valueAt(names, i, QString())
              << QString::number(valueAt(colors, i, -1)) << QString::number(valueAt(status, i, 0));
    }
    return parts.join(kSpace);
}

PlayerList parsePlayerList(const QString& payload) {
    const QStringList t = tokens(payload);
    PlayerList out;
    for (int i = 0; i < kPlayerSlots; ++i) {
        out.connIds << intAt(t, 4 * i);
        out.names << tokenAt(t, 4 * i + 1);
        out.colors << intAt(t, 4 * i + 2);
        out.status << intAt(t, 4 * i + 3);
    }
    return out;
}

QString buildChat(int player, const QString& text) {
    return QString::number(player) + kSpace + text;
}

ChatLine parseChat(const QString& payload) {
    const qsizetype space = payload.indexOf(kSpace);
    if (space < 0) {
        return {toInt(payload), QString()};
    }
    return {toInt(QStringView(payload).first(space)), payload.mid(space + 1)};
}

QString buildPingList(const QList<int>& connIds, const QList<int>& pings) {
    QString out;
    const qsizetype n = std::min(connIds.size(), pings.size());
    for (qsizetype i = 0; i < n; ++i) {
        appendInt(out, connIds[i]);
        appendInt(out, pings[i]);
    }
    return out;
}

PingList parsePingList(const QString& payload) {
    const QStringList t = tokens(payload);
    PingList out;
    for (qsizetype i = 0; i < t.size() / 2; ++i) {
        out.connIds << toInt(t[2 * i]);
        out.pings << toInt(t[2 * i + 1]);
    }
    return out;
}

QString buildGameStart(int clientId, int fieldsizeX, int countDown) {
    return joinInts({clientId, fieldsizeX, countDown});
}

GameStart parseGameStart(const QString& payload) {
    const QStringList t = tokens(payload);
    return {intAt(t, 0), intAt(t, 1), intAt(t, 2)};
}

QString buildNumber(int value) {
    return QString::number(value);
}

int parseNumber(const QString& payload) {
    return intAt(tokens(payload), 0);
}

QString buildGameState(int fieldsizeX, bool paused, int score, const QString& playtime,
                       const QByteArray& field, const QList<BlockRecord>& blocks) {
    QString out = QString::number(fieldsizeX) + kSpace + boolText(paused) + kSpace +
                  QString::number(score) + kSpace + playtime + kSpace + QString::fromUtf8(field);
    for (const BlockRecord& b : blocks) {
        for (int v : {b.id, b.colour, b.kind, b.x, b.y, b.rotation}) {
            appendInt(out, v);
        }
    }
    return out;
}

GameState parseGameState(const QString& payload) {
    const QStringList t = tokens(payload);
    GameState out;
    out.fieldsizeX = intAt(t, 0);
    out.paused = boolAt(t, 1);
    out.score = intAt(t, 2);
    out.playtime = tokenAt(t, 3);
    out.field = tokenAt(t, 4).toUtf8();
    const qsizetype records = t.size() > 5 ? (t.size() - 5) / 6 : 0;
    out.blocks.reserve(records);
    for (qsizetype i = 0; i < records; ++i) {
        const qsizetype at = 5 + 6 * i;
        out.blocks.append({toInt(t[at]), toInt(t[at + 1]), toInt(t[at + 2]), toInt(t[at + 3]),
                           toInt(t[at + 4]), toInt(t[at + 5])});
    }
    return out;
}

QString buildInput(const QList<int>& keys) {
    return joinInts(keys);
}

QList<int> parseInput(const QString& payload) {
    QList<int> out;
    if (payload.isEmpty()) {
        return out;  // the empty list, not one key read as 0
    }
    const QStringList t = tokens(payload);
    out.reserve(t.size());
    for (const QString& token : t) {
        out << toInt(token);
    }
    return out;
}

QString buildNewBlock(const BlockRecord& b) {
    return joinInts({b.id, b.colour, b.kind, b.x, b.y, b.rotation});
}

BlockRecord parseNewBlock(const QString& payload) {
    const QStringList t = tokens(payload);
    return {intAt(t, 0), intAt(t, 1), intAt(t, 2), intAt(t, 3), intAt(t, 4), intAt(t, 5)};
}

namespace {

QString joinMoves(const QList<MoveRecord>& moves) {
    QString out;
    for (const MoveRecord& m : moves) {
        for (int v : {m.id, m.x, m.y, m.rotation}) {
            appendInt(out, v);
        }
    }
    return out;
}

QList<MoveRecord> movesFrom(const QStringList& t, qsizetype count) {
    QList<MoveRecord> out;
    out.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        out.append(
            {toInt(t[4 * i]), toInt(t[4 * i + 1]), toInt(t[4 * i + 2]), toInt(t[4 * i + 3])});
    }
    return out;
}

// A residue modulo kEchoWrap, also of negative counts.
int wrapped(int value) {
    return ((value % kEchoWrap) + kEchoWrap) % kEchoWrap;
}

QChar echoLetter(int residue) {
    return QChar(residue < 26 ? 'A' + residue : 'a' + residue - 26);
}

// The residue a letter stands for, -1 for any other character.
int echoValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= 'A' && u <= 'Z') {
        return u - 'A';
    }
    if (u >= 'a' && u <= 'z') {
        return u - 'a' + 26;
    }
    return -1;
}

QString echoLetters(const KeyInput& counters) {
    QString out;
    for (int v : counters.toList()) {
        out += echoLetter(wrapped(v));
    }
    while (out.size() > 1 && out.back() == QLatin1Char('A')) {
        out.chop(1);
    }
    return out;
}

// Letters beyond the ten counters are ignored, other characters count as 0.
KeyInput echoCounters(QStringView letters) {
    QList<int> residues;
    for (QChar c : letters.first(std::min<qsizetype>(letters.size(), kLocalPlayers * kKeySlots))) {
        residues << std::max(echoValue(c), 0);
    }
    return KeyInput::fromList(residues);
}

}  // namespace

QString buildMoves(const QList<MoveRecord>& moves, int activeA, int activeB,
                   const std::optional<KeyInput>& keysDone) {
    // With no moved block this starts with a space: the receiver counts on
    // the empty first token.
    QString out = joinMoves(moves);
    if (keysDone) {
        out += kSpace + echoLetters(*keysDone);
    }
    return out + kSpace + QString::number(activeA) + kSpace + QString::number(activeB);
}

Moves parseMoves(const QString& payload) {
    const QStringList t = tokens(payload);
    Moves out;
    const qsizetype n = t.size();
    // A move token is a number: one of letters before the active ids is the
    // counters carried out.
    qsizetype groups = n >= 2 ? n - 2 : 0;
    if (n >= 3 && !t[n - 3].isEmpty() && echoValue(t[n - 3].front()) >= 0) {
        out.keysDone = echoCounters(t[n - 3]);
        groups = n - 3;
    }
    out.moves = movesFrom(t, groups / 4);
    out.activeIds = {intAt(t, n - 2), intAt(t, n - 1)};
    return out;
}

KeyInput carriedOut(const KeyInput& residues, const KeyInput& sent) {
    KeyInput out;
    for (int local = 0; local < kLocalPlayers; ++local) {
        for (int k = 0; k < kKeySlots; ++k) {
            const int s = sent[local][std::size_t(k)];
            const int behind = wrapped(s - residues[local][std::size_t(k)]);
            out[local][std::size_t(k)] = s - behind;
        }
    }
    return out;
}

QString buildMerges(const QList<MoveRecord>& merges) {
    return joinMoves(merges);
}

QList<MoveRecord> parseMerges(const QString& payload) {
    const QStringList t = tokens(payload);
    return movesFrom(t, t.size() / 4);
}

QString buildPause(int clientId, int countDown) {
    return joinInts({clientId, countDown});
}

Pause parsePause(const QString& payload) {
    const QStringList t = tokens(payload);
    return {intAt(t, 0), intAt(t, 1)};
}

QString buildGameOver(int score, int lines, const QString& playtime) {
    return joinInts({score, lines}) + kSpace + playtime;
}

GameOver parseGameOver(const QString& payload) {
    const QStringList t = tokens(payload);
    return {intAt(t, 0), intAt(t, 1), tokenAt(t, 2)};
}

QString buildAnnouncement(const QString& version, int port, bool ranked, const QString& time) {
    return version + kSpace + QString::number(port) + kSpace + boolText(ranked) + kSpace + time +
           kSpace + announcementDigest(version, port, ranked, time);
}

Announcement parseAnnouncement(const QString& payload) {
    const QStringList t = tokens(payload);
    Announcement out;
    out.version = tokenAt(t, 0) + kSpace + tokenAt(t, 1);
    out.port = intAt(t, 2);
    out.ranked = boolAt(t, 3);
    out.time = tokenAt(t, 4);
    // The digest covers the port as written, so a port token that is no number
    // cannot pass.
    out.digestValid = t.size() == 6 && sha1Hex(out.version + t[2] + t[3] + t[4] +
                                               QLatin1String(kSharedSecret)) == t[5];
    return out;
}

QString buildServerList(const QStringList& entries) {
    return entries.join(kSpace);
}

QStringList parseServerList(const QString& payload) {
    const QStringList t = tokens(payload);
    if (t.isEmpty() || t[0].isEmpty()) {
        return {};
    }
    return t;
}

QString buildServerInfo(const QString& version, bool ranked, int players, int maxPlayers,
                        bool hasPassword, const QString& name) {
    return version + kSpace + boolText(ranked) + kSpace + QString::number(players) + kSpace +
           QString::number(maxPlayers) + kSpace + boolText(hasPassword) + kSpace + name + kSpace +
           serverInfoDigest(version, ranked, players, maxPlayers, hasPassword, name);
}

std::optional<ServerInfo> parseServerInfo(const QString& payload) {
    const QStringList t = tokens(payload);
    if (t.size() <= 7) {
        return std::nullopt;
    }
    QString name = t[6];
    for (qsizetype i = 7; i < t.size() - 1; ++i) {
        name += kSpace;
        name += t[i];
    }
    const QString version = t[0] + kSpace + t[1];
    // Recomputed over the tokens as written, not over re-formatted numbers.
    const QString digest =
        sha1Hex(version + t[2] + t[3] + t[4] + t[5] + name + QLatin1String(kSharedSecret));
    if (digest != t.last()) {
        return std::nullopt;
    }
    return ServerInfo{version, isTrue(t[2]), toInt(t[3]), toInt(t[4]), isTrue(t[5]), name};
}

QString buildInfoRequest(const QString& nonce) {
    return nonce.isEmpty() ? QString::fromLatin1(kInfoRequest)
                           : QLatin1String(kInfoRequest) + kSpace + nonce;
}

QString parseInfoRequestNonce(const QString& payload) {
    const QStringList t = tokens(payload);
    return t.size() == 2 && InviteCode::isNonce(t[1]) ? t[1] : QString();
}

QString withProof(const QString& serverInfo, const QString& code, const QString& nonce) {
    return serverInfo + kSpace + InviteCode::proof(code, nonce, serverInfo);
}

std::optional<QString> provenServerInfo(const QString& payload, const QString& code,
                                        const QString& nonce) {
    const qsizetype space = payload.lastIndexOf(kSpace);
    if (space < 0) {
        return std::nullopt;
    }
    const QString content = payload.left(space);
    if (payload.mid(space + 1) != InviteCode::proof(code, nonce, content)) {
        return std::nullopt;
    }
    return content;
}

namespace {

QString reachText(Reach r) {
    return QString(QChar::fromLatin1(static_cast<char>(r)));
}

Reach reachAt(const QStringList& t, qsizetype index) {
    const QString token = tokenAt(t, index);
    if (token == u"T") {
        return Reach::Yes;
    }
    return token == u"F" ? Reach::No : Reach::Unknown;
}

// A registration token: 16 hexadecimal digits, as a nonce.
bool isToken(QStringView token) {
    return InviteCode::isNonce(token);
}

bool isCode(QStringView token) {
    return token.size() == InviteCode::kLength && InviteCode::parse(token.toString()) == token;
}

}  // namespace

QString buildRegistration(const Registration& r) {
    QString out = QString::number(r.port) + kSpace + (r.online ? u'O' : u'X') + kSpace +
                  (r.token.isEmpty() ? QStringLiteral("-") : r.token);
    if (!r.relayStream.isEmpty() && !r.relayDatagram.isEmpty()) {
        out += kSpace + r.relayStream + kSpace + r.relayDatagram;
    } else if (r.takesRelay) {
        out += kSpace + u'R';
    }
    return out;
}

Registration parseRegistration(const QString& payload) {
    const QStringList t = tokens(payload);
    const QString token = tokenAt(t, 2);
    Registration r{intAt(t, 0), tokenAt(t, 1) != u"X", isToken(token) ? token : QString(), {}, {},
                   false};
    const std::optional<Endpoint> stream = Endpoint::parse(tokenAt(t, 3));
    const std::optional<Endpoint> datagram = Endpoint::parse(tokenAt(t, 4));
    if (stream && datagram) {
        r.relayStream = stream->text();
        r.relayDatagram = datagram->text();
    }
    r.takesRelay = (stream && datagram) || tokenAt(t, 3) == u"R";
    return r;
}

QString buildRegistrationAnswer(const RegistrationAnswer& a) {
    return QStringList{a.code,
                       a.token,
                       a.address,
                       QString::number(a.port),
                       reachText(a.stream),
                       reachText(a.datagram)}
               .join(kSpace) +
           (a.relay.isEmpty() ? QString()
                              : kSpace + a.relay + kSpace + a.relayUser + kSpace + a.relayPassword);
}

std::optional<RegistrationAnswer> parseRegistrationAnswer(const QString& payload) {
    const QStringList t = tokens(payload);
    if ((t.size() != 6 && t.size() != 9) || !isCode(t[0]) || !isToken(t[1])) {
        return std::nullopt;
    }
    RegistrationAnswer a{t[0], t[1], t[2], toInt(t[3]), reachAt(t, 4), reachAt(t, 5), {}, {}, {}};
    if (t.size() == 9 && Endpoint::parse(t[6]) && !t[7].isEmpty() && !t[8].isEmpty()) {
        a.relay = t[6];
        a.relayUser = t[7];
        a.relayPassword = t[8];
    }
    return a;
}

namespace {

// 0 for a token left out, -1 for one that is no port.
int optionalPort(const QStringList& t, qsizetype at) {
    if (t.size() <= at) {
        return 0;
    }
    bool ok = false;
    const int port = t[at].toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port : -1;
}

}  // namespace

QString buildInviteQuery(const InviteQuery& q) {
    const QString both = q.code + kSpace + q.nonce;
    return q.port > 0 ? both + kSpace + QString::number(q.port) : both;
}

std::optional<InviteQuery> parseInviteQuery(const QString& payload) {
    const QStringList t = tokens(payload);
    const int port = optionalPort(t, 2);
    if (t.size() < 2 || t.size() > 3 || !isCode(t[0]) || !InviteCode::isNonce(t[1]) || port < 0) {
        return std::nullopt;
    }
    return InviteQuery{t[0], t[1], port};
}

QString buildInviteAnswer(const InviteAnswer& a) {
    QStringList t{a.nonce,
                  a.code,
                  boolText(a.found),
                  reachText(a.stream),
                  reachText(a.datagram),
                  a.observed.isEmpty() ? QStringLiteral("-") : a.observed};
    t += a.endpoints.mid(0, kMaxEndpoints);
    return t.join(kSpace);
}

std::optional<InviteAnswer> parseInviteAnswer(const QString& payload) {
    const QStringList t = tokens(payload);
    if (t.size() < 6 || !InviteCode::isNonce(t[0]) || !isCode(t[1])) {
        return std::nullopt;
    }
    InviteAnswer a{t[0], t[1], isTrue(t[2]), reachAt(t, 3), reachAt(t, 4), t[5], {}};
    for (qsizetype i = 6; i < t.size() && a.endpoints.size() < kMaxEndpoints; ++i) {
        if (!t[i].isEmpty()) {
            a.endpoints.append(t[i]);
        }
    }
    if (!a.found) {
        a.endpoints.clear();
    }
    return a;
}

QString buildJoinerNotice(const JoinerNotice& n) {
    return n.nonce + kSpace + n.endpoint;
}

std::optional<JoinerNotice> parseJoinerNotice(const QString& payload) {
    const QStringList t = tokens(payload);
    if (t.size() != 2 || !InviteCode::isNonce(t[0]) || !Endpoint::parse(t[1])) {
        return std::nullopt;
    }
    return JoinerNotice{t[0], t[1]};
}

QString buildJoinerReady(const JoinerReady& r) {
    return r.port > 0 ? r.nonce + kSpace + QString::number(r.port) : r.nonce;
}

std::optional<JoinerReady> parseJoinerReady(const QString& payload) {
    const QStringList t = tokens(payload);
    const int port = optionalPort(t, 1);
    if (t.isEmpty() || t.size() > 2 || !InviteCode::isNonce(t[0]) || port < 0) {
        return std::nullopt;
    }
    return JoinerReady{t[0], port};
}

}  // namespace PayloadCodec
