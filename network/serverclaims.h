#pragma once

#include <optional>

#include "network/payloadcodec.h"
#include "network/serverdata.h"

// What a game server says, held to the ranges of the game's own fields before
// the client or its view computes with it. A player may join a stranger's
// server, which can send any number: ids that overflow when scaled, a field
// width that would size arrays, thousands of blocks, a name of 60 kB. What a
// genuine server sends passes unchanged; anything else is brought into range
// or, where no value in range would be true, dropped.
namespace ServerClaims {

// Every block a game can have in play at once: two per player slot.
inline constexpr int kMaxBlocks = 2 * PayloadCodec::kPlayerSlots;
// Block positions in units: the field's width and height with room for the
// places the server parks blocks out of view.
inline constexpr int kMaxPosition = 100000;
// The longest countdown a server counts down from.
inline constexpr int kMaxCountDown = 9;

// A client id, or -1 (none) for one outside the player slots.
int clientId(int id);
// A field width the game plays: 12 columns per player, at most four players.
int fieldsizeX(int columns);
// A block with its colour, kind and rotation in range (-1: none) and its
// position within kMaxPosition; nothing for an id below -1.
std::optional<PayloadCodec::BlockRecord> block(const PayloadCodec::BlockRecord& record);

// Players and the player limit within the slots, the name as long as a
// server name may be.
PayloadCodec::ServerInfo serverInfo(PayloadCodec::ServerInfo info);
// The list entry of a server that answered a probe ("SIN" payload) from
// address and port after pingMs; nothing when the answer is not genuine.
std::optional<ServerData> describedServer(const QString& payload, const QString& address, int port,
                                          qint64 pingMs);
PayloadCodec::PlayerList playerList(PayloadCodec::PlayerList list);
PayloadCodec::PingList pingList(PayloadCodec::PingList list);
// Nothing for a sender outside the slots and notices (ChatSender).
std::optional<PayloadCodec::ChatLine> chat(PayloadCodec::ChatLine line);
PayloadCodec::GameStart gameStart(PayloadCodec::GameStart start);
PayloadCodec::GameState gameState(PayloadCodec::GameState state);
PayloadCodec::Moves moves(PayloadCodec::Moves moves);
QList<PayloadCodec::MoveRecord> merges(const QList<PayloadCodec::MoveRecord>& merges);
PayloadCodec::Pause pause(PayloadCodec::Pause pause);
PayloadCodec::GameOver gameOver(PayloadCodec::GameOver over);

}  // namespace ServerClaims
