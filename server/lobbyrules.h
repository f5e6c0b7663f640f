#pragma once

#include <QList>
#include <QStringList>

class GameSimulation;

// How the server keeps its player slots from what clients tell it: names
// cleaned, colours a client can draw, statuses a client may set, automatic
// colours handed out, and the list everyone is sent.
namespace LobbyRules {

// What a client's player list changes in the slots of connId: new players
// take the lowest free slots (as spectators during a game), named ones are
// renamed and recoloured. Returns whether one joined a running game.
bool applyPlayerList(GameSimulation& sim, int connId, const QStringList& names,
                     const QList<int>& colours, const QList<int>& statuses);

// Automatic colours, lowest first, each once while colours last; players in
// a game keep the colour of their blocks.
void assignColours(GameSimulation& sim);

// The player list as it goes out: one entry per slot.
struct PlayerList {
    QList<int> connIds;
    QStringList names;
    QList<int> colours;  // automatic ones marked as clients expect
    QList<int> statuses;
};
PlayerList playerList(const GameSimulation& sim);

}  // namespace LobbyRules
