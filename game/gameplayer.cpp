#include "gameplayer.h"

GamePlayer::GamePlayer(int connId, const QString& name, int colour, bool autoColour,
                       PlayerStatus status)
    : connId_(connId), name_(name), colour_(colour), autoColour_(autoColour), status_(status) {}

GamePlayer::~GamePlayer() = default;

GamePlayer::PlayerStatus GamePlayer::statusFromInt(int value) {
    return (value >= Empty && value <= Pausing) ? static_cast<PlayerStatus>(value) : Empty;
}

void GamePlayer::resetKeys(bool all) {
    if (all) {
        keyCount_.fill(0);
        keys_.done.fill(0);
    } else {
        keys_.done = keyCount_;
    }
    keys_.pendingLeft = false;
    keys_.pendingRight = false;
}
