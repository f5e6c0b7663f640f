#pragma once

#include <QList>
#include <QStringList>

#include "network/payloadcodec.h"

class GameSimulation;
class PlayerSessions;

// How the server keeps its player slots from what clients tell it: names
// cleaned, colours a client can draw, statuses a client may set, automatic
// colours handed out, and the list everyone is sent.
namespace LobbyRules {

// What a client's player list changes in the slots of connId: new players
// take the lowest free slots (as spectators during a game), named ones are
// renamed and recoloured. Returns whether one joined a running game.
bool applyPlayerList(GameSimulation& sim, int connId, const PayloadCodec::Players& players);

// Automatic colours, lowest first, each once while colours last; players in
// a game keep the colour of their blocks.
void assignColours(GameSimulation& sim);

// The player list as it goes out: one entry per slot, automatic colours
// marked as clients expect.
PayloadCodec::PlayerList playerList(const GameSimulation& sim);

// What a client may ask of the lobby: the host starts a game and kicks;
// restarting is the host's too, or anybody's while nobody is host.
bool mayStart(const PlayerSessions& sessions, int clientId);
bool mayKick(const PlayerSessions& sessions, int clientId);
bool mayRestart(const PlayerSessions& sessions, int clientId);
// Whether this client leaving ends the server for everybody: the host of a
// server that its host's own client runs.
bool leavingEndsServer(const PlayerSessions& sessions, int clientId);

}  // namespace LobbyRules
