#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "client/gameresult.h"

// "highscore.dat": one checksummed line per finished game, appended and never
// rewritten. Read back into one list per number of players.
class HighscoreFile {
public:
    static constexpr int kMaxPlayers = 4;
    static constexpr int kMaxLineBytes = 1023;  // longer lines are cut when read
    static constexpr int kMaxPlaytimeLength = 32;

    // Index 0 holds the games of one player, index 3 those of four. Each list
    // has the highest score first; among equal scores the earlier game first.
    using Lists = std::array<std::vector<std::unique_ptr<GameResult>>, kMaxPlayers>;

    // directory: where the file lies (the working directory when empty);
    // now: the date written into new lines (the local time by default).
    explicit HighscoreFile(const QString& directory = QString(),
                           std::function<QDateTime()> now = {});

    QString filePath() const { return path_; }

    // Appends one game; names are made safe first. False when the line could
    // not be written in full.
    bool append(int score, int lines, const QString& playtime, const QStringList& names) const;

    // The line append writes, without its "\r\n".
    static QByteArray line(const QDateTime& when, int score, int lines, const QString& playtime,
                           const QStringList& names);

    // Every valid line; a missing or empty file gives four empty lists.
    Lists read() const;

private:
    QString path_;
    std::function<QDateTime()> now_;
};
