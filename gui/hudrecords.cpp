#include "hudrecords.h"

#include <QStringList>
#include <algorithm>

#include "game/gamefield.h"

void ChatLog::expire() {
    std::erase_if(lines_, [](const GameChatMessage& m) { return m.age() > kLifeMs; });
}

void ChatLog::keepNewest(std::size_t count) {
    if (lines_.size() > count) {
        lines_.erase(lines_.begin() + std::ptrdiff_t(count), lines_.end());
    }
}

void PointLabels::expire() {
    std::erase_if(labels_, [](const GamePoints& p) { return p.age() > kLifeMs; });
}

double PointLabels::alpha(qint64 age) {
    return std::clamp(1.0 - double(age) / kLifeMs, 0.0, 1.0);
}

double PointLabels::y(int row, qint64 age, int fieldWidth, int height) {
    const int players = fieldWidth / GameField::kColumnsPerPlayer;
    const double base = players == 4 ? 32.25 : players == 3 ? 31.5 : players == 2 ? 30.75 : 30.0;
    return ((row + double(age) / kLifeMs) * 21.0 / -25.0 + base) * height / 37.0;
}

void ScoreBoard::setScore(int score, bool add) {
    if (add) {
        lineScore_ += score;
    } else {
        serverScore_ = score;
    }
}

void ScoreBoard::setPlaytime(const QString& playtime, bool add) {
    if (add) {
        // Hours may pass 23: read the fields, not a time of day.
        const QStringList parts = playtime.split(QLatin1Char(':'));
        bool ok = parts.size() == 3;
        qint64 seconds = 0;
        for (const QString& part : parts) {
            bool fieldOk = false;
            seconds = seconds * 60 + part.toInt(&fieldOk);
            ok = ok && fieldOk;
        }
        if (ok) {
            accumulatedMs_ += seconds * 1000;
        }
    } else {
        playtimeText_ = playtime;
    }
}

void ScoreBoard::start() {
    running_ = true;
    startedAt_ = clock_->nowMs();
    shownMs_ = 0;
    accumulatedMs_ = 0;
}

void ScoreBoard::pause(bool paused) {
    if (paused && running_) {
        accumulatedMs_ += clock_->nowMs() - startedAt_;
    } else if (!paused && !running_) {
        startedAt_ = clock_->nowMs();
    }
    shownMs_ = 0;
    running_ = !paused;
}

void ScoreBoard::stop() {
    if (running_) {
        running_ = false;
        shownMs_ = clock_->nowMs() - startedAt_;
    }
}

void ScoreBoard::reset() {
    lineScore_ = 0;
    serverScore_ = -1;
    running_ = false;
    accumulatedMs_ = 0;
    shownMs_ = 0;
    playtimeText_.clear();
}

void ScoreBoard::secondTick() {
    fps_ = frames_;
    frames_ = 0;
    if (running_) {
        shownMs_ = clock_->nowMs() - startedAt_;
    }
}

int ScoreBoard::shownScore() const {
    if (serverScore_ != -1) {
        return serverScore_;
    }
    return lineScore_ + int(countedMs() / 1000);
}

QString ScoreBoard::shownTime() const {
    if (!playtimeText_.isEmpty()) {
        return playtimeText_;
    }
    const qint64 seconds = countedMs() / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
