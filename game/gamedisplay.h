#pragma once

#include <QString>

#include "clock.h"

// A points popup after a line clear; the GUI fades it out by its age.
class GamePoints {
public:
    GamePoints(int points, int row, const Clock& clock = Clock::system())
        : points_(points), row_(row), created_(clock.nowMs()), clock_(&clock) {}

    int points() const { return points_; }
    int row() const { return row_; }
    qint64 age() const { return clock_->nowMs() - created_; }

private:
    int points_;
    int row_;
    qint64 created_;
    const Clock* clock_;
};

// Who a chat line comes from: 0 and up the sender's place in the player list,
// below 0 the server's notices.
namespace ChatSender {
inline constexpr int kStatsUploaded = -1;
inline constexpr int kStatsFailed = -2;
inline constexpr int kPlayerJoined = -3;
inline constexpr int kPlayerLeft = -4;  // left, was kicked, or a computer took over
inline constexpr int kLowest = kPlayerLeft;
}  // namespace ChatSender

// One line of chat, stamped for fading.
class GameChatMessage {
public:
    explicit GameChatMessage(const QString& text, const Clock& clock = Clock::system())
        : text_(text), created_(clock.nowMs()), clock_(&clock) {}

    const QString& text() const { return text_; }
    qint64 age() const { return clock_->nowMs() - created_; }

private:
    QString text_;
    qint64 created_;
    const Clock* clock_;
};
