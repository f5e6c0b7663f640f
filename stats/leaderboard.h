#pragma once

#include <QList>
#include <QStringList>
#include <array>

// A game as stored, for the leaderboard.
struct StoredGame {
    qint64 id = 0;
    qint64 finishedMs = 0;  // when the report came in, ms since the epoch (UTC)
    int score = 0;
    int lines = 0;
    int playtimeSeconds = 0;
    QStringList players;
    bool verified{};  // its replay plays to this result; served with the game
};

// What the leaderboard shows: the best games per number of players, the
// latest games, totals and games per day (UTC days).
struct Leaderboard {
    static constexpr int kBestRows = 10;
    static constexpr int kRecentRows = 10;
    static constexpr int kDays = 30;

    std::array<QList<StoredGame>, 4> best;  // index: players - 1; best first
    QList<StoredGame> recent;               // latest first
    qint64 games = 0;
    qint64 lines = 0;
    qint64 playtimeSeconds = 0;
    qint64 firstDay = 0;     // days since the epoch of gamesPerDay[0]
    QList<int> gamesPerDay;  // kDays entries, the last one today
};
