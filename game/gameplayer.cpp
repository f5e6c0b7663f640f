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
        keyDone_.fill(0);
    } else {
        keyDone_ = keyCount_;
    }
    pendingLeft_ = false;
    pendingRight_ = false;
}
