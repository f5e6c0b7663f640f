#pragma once

#include <QString>
#include <deque>

#include "game/gamedisplay.h"

// Chat lines, newest first; each lives 15 s.
class ChatLog {
public:
    static constexpr qint64 kLifeMs = 15000;

    explicit ChatLog(const Clock& clock) : clock_(&clock) {}

    void add(const QString& text) { lines_.emplace_front(text, *clock_); }
    // Lines older than their life go.
    void expire();
    // Only the count newest stay.
    void keepNewest(std::size_t count);
    void clear() { lines_.clear(); }
    const std::deque<GameChatMessage>& lines() const { return lines_; }

private:
    const Clock* clock_;
    std::deque<GameChatMessage> lines_;
};

// The points of line clears, rising and fading over 1.5 s.
class PointLabels {
public:
    static constexpr qint64 kLifeMs = 1500;

    explicit PointLabels(const Clock& clock) : clock_(&clock) {}

    void add(int points, int row) { labels_.emplace_back(points, row, *clock_); }
    void expire();
    void clear() { labels_.clear(); }
    const std::deque<GamePoints>& labels() const { return labels_; }

    // Opacity 1 when new, 0 at the end of its life.
    static double alpha(qint64 age);
    // Vertical position of a label for a view of the given size; the base
    // line depends on the width of the field in players.
    static double y(int row, qint64 age, int fieldWidth, int height);

private:
    const Clock* clock_;
    std::deque<GamePoints> labels_;
};

// Score, play time and frame rate of the HUD.
class ScoreBoard {
public:
    explicit ScoreBoard(const Clock& clock) : clock_(&clock) {}

    // add: line points of the own field copy; otherwise the server's score.
    void setScore(int score, bool add);
    void addLinePoints(int points) { lineScore_ += points; }
    // add: "hh:mm:ss" of a game already running; otherwise the text to show.
    void setPlaytime(const QString& playtime, bool add);
    void start();
    void pause(bool paused);
    void stop();
    // Everything of the last game goes.
    void reset();
    // Once a second: the frame rate, and the time shown while running.
    void secondTick();
    void countFrame() { ++frames_; }

    bool running() const { return running_; }
    int fps() const { return fps_; }
    int shownScore() const;
    QString shownTime() const;

private:
    qint64 countedMs() const { return accumulatedMs_ + shownMs_; }

    const Clock* clock_;
    int lineScore_ = 0;
    int serverScore_ = -1;
    bool running_ = false;
    qint64 startedAt_ = 0;
    qint64 accumulatedMs_ = 0;
    qint64 shownMs_ = 0;
    QString playtimeText_;
    int frames_ = 0;
    int fps_ = 0;
};
