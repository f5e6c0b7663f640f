#include "lobbyrules.h"

#include <memory>

#include "game/gamesimulation.h"
#include "game/playernames.h"
#include "server/playersessions.h"

namespace {

constexpr int kSlots = GameSimulation::kSlots;
constexpr int kPlayerColours = 6;  // 0..5; the box colour 6 is nobody's

// Statuses a client may give its own players in the lobby. The in-game ones
// belong to the server: a late or forged player list must not put a player
// into a game it has no blocks in.
GamePlayer::PlayerStatus lobbyStatus(int reported) {
    const GamePlayer::PlayerStatus s = GamePlayer::statusFromInt(reported);
    switch (s) {
        case GamePlayer::Playing:
        case GamePlayer::Pausing:
        case GamePlayer::Spectating:
            return GamePlayer::Waiting;
        default:
            return s;
    }
}

}  // namespace

bool LobbyRules::applyPlayerList(GameSimulation& sim, int connId,
                                 const PayloadCodec::Players& players) {
    const QStringList& names = players.names;
    const QList<int>& colours = players.colors;
    const QList<int>& statuses = players.status;
    bool joinedGame = false;
    for (int local = 0; local < 2; ++local) {
        // Whatever the client sent goes out to everyone in each player
        // list: only what the name field allows, and never an empty name
        // for one that was given.
        const QString given = names.value(local);
        const QString name =
            given.isEmpty() ? given : PlayerNames::sanitised(given, QStringLiteral("_"));
        int slot = sim.findPlayer(connId, local);
        if (slot < 0) {
            if (name.isEmpty()) {
                continue;
            }
            for (slot = 0; slot < kSlots && sim.player(slot); ++slot) {
            }
            if (slot == kSlots) {
                continue;  // all four slots taken
            }
            const auto status =
                sim.running() ? GamePlayer::Spectating : lobbyStatus(statuses.value(local));
            sim.addPlayer(slot, connId, local,
                          std::make_unique<GamePlayer>(connId, name, -1, true, status));
            joinedGame = joinedGame || sim.running();
        }
        GamePlayer& p = *sim.player(slot);
        p.setName(name);
        const int colour = colours.value(local, -1);
        if (colour < 0 || colour >= kPlayerColours) {
            p.setAutoColour(true);  // no choice, or none a client could draw
        } else {
            p.setColour(colour);
            p.setAutoColour(false);
        }
        // During a game the server alone moves players in and out of it.
        if (!sim.running()) {
            p.setStatus(lobbyStatus(statuses.value(local)));
        }
    }
    return joinedGame;
}

void LobbyRules::assignColours(GameSimulation& sim) {
    // Whether a player other than the one in slot uses colour. Lower slots have
    // been assigned already; higher ones count only with a colour that stays.
    const auto taken = [&sim](int colour, int slot) {
        for (int j = 0; j < kSlots; ++j) {
            const GamePlayer* q = sim.player(j);
            if (j == slot || !q || q->colour() != colour) {
                continue;
            }
            if (j < slot || !q->autoColour() || q->isInGame()) {
                return true;
            }
        }
        return false;
    };
    int next = 0;
    for (int slot = 0; slot < kSlots; ++slot) {
        GamePlayer* p = sim.player(slot);
        if (!p || !p->autoColour() || p->isInGame()) {
            continue;  // a player in the game keeps the colour of its blocks
        }
        for (int c = next; c < kPlayerColours; ++c) {
            if (!taken(c, slot)) {
                next = c;
                break;
            }
        }
        p->setColour(next);  // with no colour free it shares one
    }
}

PayloadCodec::PlayerList LobbyRules::playerList(const GameSimulation& sim) {
    PayloadCodec::PlayerList list;
    for (int slot = 0; slot < kSlots; ++slot) {
        const GamePlayer* p = sim.player(slot);
        list.connIds << (p ? p->connId() : -1);
        list.names << (p ? p->name() : QString());
        list.colors << (p ? p->colour() - (p->autoColour() ? GamePlayer::kAutoColourMark : 0) : -1);
        list.status << (p ? int(p->status()) : int(GamePlayer::Empty));
    }
    return list;
}

bool LobbyRules::mayStart(const PlayerSessions& sessions, int clientId) {
    return sessions.isHost(clientId);
}

bool LobbyRules::mayKick(const PlayerSessions& sessions, int clientId) {
    return sessions.isHost(clientId);
}

bool LobbyRules::mayRestart(const PlayerSessions& sessions, int clientId) {
    return sessions.isHost(clientId) || sessions.hostClientId() < 0;
}

bool LobbyRules::leavingEndsServer(const PlayerSessions& sessions, int clientId) {
    return sessions.hostOwnsServer() && sessions.isHost(clientId);
}
