#pragma once

#include "client/clientscreen.h"
#include "client/playerroster.h"
#include "game/gamefield.h"
#include "game/gameplayer.h"
#include "network/payloadcodec.h"
#include "portmap/portmapping.h"

// How the last game on this server ended, for the lobby's text.
enum class LastResult {
    None,          // no game yet, or the player got ready for the next one
    Restarted,     // the server restarted the game
    StartAborted,  // someone was no longer ready during the start countdown
    Scored,        // a game ended: ClientSession::lastScore
};

// The client's part in a game server's session: its own status and place, the
// countdown under way, how the last game ended and the players listed. The
// state machine (Client) and the game events (ClientGame) share it: the game
// events move the own status within a game (Playing, Pausing, back to
// Waiting), the state machine everything else.
struct ClientSession {
    GamePlayer::PlayerStatus state = GamePlayer::Empty;  // Empty: not connected
    int ownConnId = -1;
    bool isHost = false;
    bool singleplayer = false;
    bool splitscreen = false;
    bool ownServer = false;   // the server runs in this program: its host can seat computers
    PortMapping portMapping;  // the own server's answer from the router; Off without one
    // The own server's invite code and reach, as the master server found; no code: none.
    PayloadCodec::RegistrationAnswer invite;
    int maxPlayers = 4;
    int fieldsizeX = GameField::kColumnsPerPlayer;
    bool countdownRunning = false;
    bool countdownIsStart = false;  // else a resume countdown
    // Back in its seat after a drop: the server's snapshot puts it in the game again.
    bool rejoining = false;
    LastResult lastResult = LastResult::None;
    int lastScore = 0;
    PlayerRoster players;

    // The game as the screens show it.
    JoinedGame joined(bool newPlayers, bool spectator) const {
        return {newPlayers, maxPlayers, splitscreen, isHost, spectator, ownConnId};
    }
    // Between the lobby and the game: the own status the lobby can change.
    bool inLobby() const { return state == GamePlayer::Waiting || state == GamePlayer::Ready; }
    // The host of the own server can seat a computer while a place is free.
    bool canSeatComputer() const { return ownServer && isHost && players.count() < maxPlayers; }
};
