#include "serverclaims.h"

#include <algorithm>
#include <limits>

#include "game/gameblock.h"
#include "game/gamedisplay.h"
#include "game/gamefield.h"
#include "game/gameplayer.h"
#include "game/playernames.h"

namespace ServerClaims {

namespace {

// Play times are hh:mm:ss; a few more characters for games of many hours.
constexpr int kMaxPlaytimeLength = 16;
constexpr int kMaxServerNameLength = 64;
constexpr int kMaxPing = GamePlayer::kNoPing;

int inRange(int value, int low, int high, int fallback) {
    return value >= low && value <= high ? value : fallback;
}

int position(int units) {
    return std::clamp(units, -kMaxPosition, kMaxPosition);
}

// A colour the player chose, or one the server chose marked by the offset.
int colour(int value) {
    return inRange(value, -GamePlayer::kAutoColourMark, GameBlock::kColours - 1, -1);
}

// A pause counts down its resume; -1 is a pause without one.
int pauseCountDown(int steps) {
    return std::clamp(steps, -1, kMaxCountDown);
}

QString playtime(const QString& text) {
    return PlayerNames::sanitisedToken(text, kMaxPlaytimeLength);
}

// Movements of known blocks, at most as many as can be in play.
QList<PayloadCodec::MoveRecord> heldMoves(const QList<PayloadCodec::MoveRecord>& in) {
    QList<PayloadCodec::MoveRecord> out;
    for (const PayloadCodec::MoveRecord& m : in) {
        if (out.size() == kMaxBlocks) {
            break;
        }
        if (m.id >= 0) {
            out.append({m.id, position(m.x), position(m.y), m.rotation & 3});
        }
    }
    return out;
}

}  // namespace

int clientId(int id) {
    return inRange(id, -1, PayloadCodec::kPlayerSlots - 1, -1);
}

int fieldsizeX(int columns) {
    constexpr int perPlayer = GameField::kColumnsPerPlayer;
    return std::clamp(columns / perPlayer, 1, PayloadCodec::kPlayerSlots) * perPlayer;
}

std::optional<PayloadCodec::BlockRecord> block(const PayloadCodec::BlockRecord& r) {
    if (r.id < -1) {
        return std::nullopt;
    }
    // The field block (id 0) comes without kind or colour: -1 stays.
    return PayloadCodec::BlockRecord{
        r.id,
        inRange(r.colour, -1, GameBlock::kColours - 1, -1),
        inRange(r.kind, GameBlock::kNoKind, GameBlock::kKinds - 1, GameBlock::kNoKind),
        position(r.x),
        position(r.y),
        r.rotation & 3};
}

PayloadCodec::ServerInfo serverInfo(PayloadCodec::ServerInfo info) {
    info.maxPlayers = std::clamp(info.maxPlayers, 1, PayloadCodec::kPlayerSlots);
    info.players = std::clamp(info.players, 0, info.maxPlayers);
    info.name = PlayerNames::sanitisedServerName(info.name).left(kMaxServerNameLength);
    info.version.truncate(kMaxServerNameLength);
    return info;
}

PayloadCodec::PlayerList playerList(PayloadCodec::PlayerList list) {
    for (qsizetype i = 0; i < list.connIds.size(); ++i) {
        list.connIds[i] = clientId(list.connIds[i]);
        const bool empty = list.connIds[i] < 0;
        list.names[i] = empty ? QString() : PlayerNames::sanitised(list.names[i]);
        list.colors[i] = empty ? -1 : colour(list.colors[i]);
        list.status[i] = empty ? 0 : GamePlayer::statusFromInt(list.status[i]);
    }
    return list;
}

PayloadCodec::PingList pingList(PayloadCodec::PingList list) {
    PayloadCodec::PingList out;
    for (qsizetype i = 0;
         i < list.connIds.size() && out.connIds.size() < PayloadCodec::kPlayerSlots; ++i) {
        if (clientId(list.connIds[i]) >= 0) {
            out.connIds << list.connIds[i];
            out.pings << inRange(list.pings[i], -1, kMaxPing, kMaxPing);
        }
    }
    return out;
}

std::optional<PayloadCodec::ChatLine> chat(PayloadCodec::ChatLine line) {
    if (line.player < ChatSender::kLowest || line.player >= PayloadCodec::kPlayerSlots) {
        return std::nullopt;
    }
    line.text = PlayerNames::sanitisedChat(line.text);
    return line;
}

PayloadCodec::GameStart gameStart(PayloadCodec::GameStart start) {
    return {clientId(start.clientId), fieldsizeX(start.fieldsizeX),
            std::clamp(start.countDown, 0, kMaxCountDown)};
}

PayloadCodec::GameState gameState(PayloadCodec::GameState state) {
    state.fieldsizeX = fieldsizeX(state.fieldsizeX);
    state.score = std::max(state.score, 0);
    state.playtime = playtime(state.playtime);
    state.field.truncate(state.fieldsizeX * GameField::kFieldRows / 2);
    QList<PayloadCodec::BlockRecord> blocks;
    for (const PayloadCodec::BlockRecord& r : state.blocks) {
        if (blocks.size() == kMaxBlocks) {
            break;
        }
        if (const auto held = block(r); held && held->id > 0) {
            blocks.append(*held);
        }
    }
    state.blocks = blocks;
    return state;
}

PayloadCodec::Moves moves(PayloadCodec::Moves moves) {
    moves.moves = heldMoves(moves.moves);
    for (int& id : moves.activeIds) {
        id = std::max(id, -1);
    }
    return moves;
}

QList<PayloadCodec::MoveRecord> merges(const QList<PayloadCodec::MoveRecord>& merges) {
    return heldMoves(merges);
}

PayloadCodec::Pause pause(PayloadCodec::Pause pause) {
    return {clientId(pause.clientId), pauseCountDown(pause.countDown)};
}

PayloadCodec::GameOver gameOver(PayloadCodec::GameOver over) {
    return {std::max(over.score, 0), std::max(over.lines, 0), playtime(over.playtime)};
}

std::optional<ServerData> describedServer(const QString& payload, const QString& address, int port,
                                          qint64 pingMs) {
    const std::optional<PayloadCodec::ServerInfo> parsed = PayloadCodec::parseServerInfo(payload);
    if (!parsed) {
        return std::nullopt;
    }
    const PayloadCodec::ServerInfo info = serverInfo(*parsed);
    return ServerData(info.version, address, info.name, port, info.ranked, info.hasPassword,
                      info.players, info.maxPlayers,
                      int(std::clamp<qint64>(pingMs, 0, std::numeric_limits<int>::max())),
                      QString());
}

}  // namespace ServerClaims
