#pragma once

// A connection plays one player, or two on a split screen (local 0 and 1).
inline constexpr int kLocalPlayers = 2;

// A player by connection id and local number: the server keys its players so,
// the current blocks sent with every move stand at this index, and the GUI
// keys its player table the same way.
constexpr int playerKey(int connId, int local) {
    return connId * kLocalPlayers + local;
}
