#include "scenefield.h"

#include <QMutexLocker>
#include <cmath>

SceneField::SceneField(QObject* parent) : QObject(parent) {}

SceneField::~SceneField() = default;

float SceneField::cameraColumn(int view) const {
    const float w = float(fieldsizeX_);
    // Phase and block place can together pass more than one turn.
    const float c = std::fmod(float(phase_ + follow_.at(std::size_t(view)).x()) / 50.0f + 1.5f, w);
    return c < 0 ? c + w : c;
}

void SceneField::setFieldsizeX(int sizeX) {
    fieldsizeX_ = sizeX > 0 ? sizeX : 12;
    Q_EMIT changed();
}

void SceneField::setRotation(bool rotate) {
    if (rotate == rotating_) {
        return;
    }
    rotating_ = rotate;
    phase_ = 0;
    Q_EMIT changed();
}

void SceneField::moveCamera() {
    if (!rotating_) {
        return;
    }
    phase_ += fieldsizeX_ / 12;
    if (phase_ > fieldsizeX_ * 50) {
        phase_ -= fieldsizeX_ * 50;
    }
}

void SceneField::processNewBlock(BlockRecord block, int fieldsizeX) {
    {
        QMutexLocker lock(&blockMutex_);
        if (block.id == GameField::kFieldBlockId) {
            ++stackRevision_;
        }
        mirror_.addBlock(block, fieldsizeX);
    }
    Q_EMIT changed();
}

void SceneField::processNewField(int fieldsizeX, QList<FieldCell> landed) {
    {
        QMutexLocker lock(&blockMutex_);
        ++stackRevision_;
        mirror_.startField(fieldsizeX, landed);
    }
    Q_EMIT changed();
}

void SceneField::processMoveBlocks(QList<GameMovement> movements, QList<int> activeBlockIds) {
    bool loss = false;
    {
        QMutexLocker lock(&blockMutex_);
        loss = mirror_.moveBlocks(movements, activeBlockIds, [&](const GameBlock& b) {
            for (int view = 0; view < kViews; ++view) {
                if (activeBlockIds.value(view, -1) == b.id()) {
                    follow_[std::size_t(view)] = QPoint(b.x(), b.y());
                }
            }
        });
    }
    Q_EMIT changed();
    if (loss) {
        Q_EMIT noticedPacketLoss();
    }
}

void SceneField::processMergeBlocks(QList<GameMovement> movements) {
    int landed = 0;
    GameField::LineClear clear;
    {
        QMutexLocker lock(&blockMutex_);
        clear = mirror_.mergeBlocks(movements, [&](const GameBlock&) { ++landed; });
        ++stackRevision_;
    }
    // Signals go out with the copy unlocked: a receiver may read it.
    Q_EMIT changed();
    for (int i = 0; i < landed; ++i) {
        Q_EMIT blockLanded();
    }
    for (int i = 0; i < clear.rows; ++i) {
        Q_EMIT rowCleared();
    }
    if (clear.points > 0) {
        Q_EMIT pointsMade(clear.points, clear.lowestRow);
    }
}

void SceneField::reset() {
    {
        QMutexLocker lock(&blockMutex_);
        mirror_.clear();
        follow_.fill(QPoint());
        ++stackRevision_;
    }
    setRotation(false);
    Q_EMIT changed();
}
