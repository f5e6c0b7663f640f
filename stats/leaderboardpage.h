#pragma once

#include <QByteArray>
#include <QJsonObject>

#include "leaderboard.h"

// The leaderboard as a page of its own (no scripts, fonts or files from
// elsewhere; fits a phone) and as JSON with the same content.
namespace LeaderboardPage {

QByteArray html(const Leaderboard& board, qint64 nowMs);
QJsonObject json(const Leaderboard& board, qint64 nowMs);

// Where a verified game's replay is served.
QString replayPath(qint64 gameId);

// "h:mm:ss", as the game shows a play time.
QString playtime(int seconds);

}  // namespace LeaderboardPage
