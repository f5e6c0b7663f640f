#pragma once

#include "game/gamesimulation.h"
#include "network/serversettings.h"

// Every duration of the game server in one place; tests shorten them.
struct ServerTimings {
    // The game is played at this tick (tests speed it up); the clients pace
    // their predicted presses at the same.
    int tickMs = GameSimulation::kTickMs;
    int countdownMs = 1000;  // one step of the start and resume countdowns
    int heartbeatMs = 60000;
    int masterKeepAliveMs = 15000;  // the invite code's registration
    int masterRetryMs = 1000;       // until the master server gave a code
    int statsRetries = 3;           // repeats before the players hear that it failed
    int statsTimeoutMs = 30000;     // a stats request without an answer counts as failed
    // A failed report is sent again after this pause, doubled each time up to
    // the longest; it is dropped after a failed attempt this long after the first.
    int statsFirstPauseMs = 1000;
    int statsLongestPauseMs = 600000;
    qint64 statsGiveUpMs = 3600000;
    // How long the seat of a player whose connection dropped in a game waits
    // for its token.
    int seatGraceMs = 60000;
};
