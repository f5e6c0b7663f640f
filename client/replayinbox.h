#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>

// The replay of a joined game, as its server hands it out after the game
// over: pieces put together in order, checked as a replay, and kept in the
// player's replay folder beside the own server's games.
class ReplayInbox {
public:
    using Now = std::function<QDateTime()>;

    // folder: where kept replays go (empty: none are kept).
    explicit ReplayInbox(QString folder, Now now = {});

    // A game ended with this score: the pieces that follow are its replay.
    void expect(int score);
    // False when the piece does not fit what came so far (the replay is dropped).
    bool take(int index, int count, const QByteArray& data);
    // The file the last complete replay went to; empty: none yet.
    const QString& lastFile() const { return lastFile_; }

private:
    QString folder_;
    Now now_;
    int score_ = -1;  // -1: no replay expected
    int count_ = 0;
    QByteArray bytes_;
    QString lastFile_;
};
