#pragma once

#include <QObject>
#include <QString>

// One finished game read back from the highscore file. The record is valid
// only when its checksum matches the fields it was built from.
class GameResult : public QObject {
    Q_OBJECT

public:
    GameResult(int score, int lines, const QString& playtime, const QString& date, int playerCount,
               const QString& players, const QString& checksum, QObject* parent = nullptr);

    // SHA-1 (40 lower-case hex digits) over the fields as they are written,
    // with the shared salt: what a highscore line carries last.
    static QString checksum(int score, int lines, const QString& playtime, int playerCount,
                            const QString& players);

    bool valid() const { return valid_; }
    int score() const { return score_; }
    int lines() const { return lines_; }
    const QString& playtime() const { return playtime_; }
    int playerCount() const { return playerCount_; }
    // As stored: ISO date and time, names joined by single spaces.
    const QString& isoDate() const { return date_; }
    const QString& playerNames() const { return players_; }

    // Display forms, made on first use: the date in the system locale's short
    // format, the names as "Ann, Ben, Cid and Dora".
    QString date() const;
    QString players() const;

private:
    bool valid_;
    int score_;
    int lines_;
    QString playtime_;
    QString date_;
    mutable QString formattedDate_;
    int playerCount_;
    QString players_;
    mutable QString formattedPlayers_;
};
