#include "clientfield.h"

#include <QMutexLocker>

ClientField::ClientField(const Clock& clock, QObject* parent) : QObject(parent), clock_(clock) {}

bool ClientField::settling() const {
    QMutexLocker lock(&mutex_);
    return predictor_.busy();
}

void ClientField::advancePredictions() {
    QMutexLocker lock(&mutex_);
    predictor_.advance(clock_.nowMs());
}

void ClientField::setPrediction(bool on) {
    {
        QMutexLocker lock(&mutex_);
        predictor_.setEnabled(on);
    }
    Q_EMIT changed();
}

void ClientField::holdPredictions(bool held) {
    QMutexLocker lock(&mutex_);
    predictor_.setHeld(held);
}

void ClientField::setRoundTripMs(int ms) {
    QMutexLocker lock(&mutex_);
    predictor_.setRoundTripMs(ms);
}

void ClientField::processInput(const KeyInput& counters) {
    {
        QMutexLocker lock(&mutex_);
        predictor_.processInput(counters, clock_.nowMs());
    }
    Q_EMIT changed();
}

void ClientField::processNewBlock(BlockRecord block, int fieldsizeX) {
    {
        QMutexLocker lock(&mutex_);
        if (block.id == GameField::kFieldBlockId) {
            ++stackRevision_;
        }
        mirror_.addBlock(block, fieldsizeX);
    }
    Q_EMIT changed();
}

void ClientField::processNewField(int fieldsizeX, QList<FieldCell> landed) {
    {
        QMutexLocker lock(&mutex_);
        ++stackRevision_;
        mirror_.startField(fieldsizeX, landed);
    }
    Q_EMIT changed();
}

void ClientField::processMoveBlocks(QList<GameMovement> movements, QList<int> activeBlockIds,
                                    QList<int> keysDone) {
    bool loss = false;
    {
        QMutexLocker lock(&mutex_);
        loss = mirror_.moveBlocks(movements, activeBlockIds);
        predictor_.processMovements(movements, keysDone, clock_.nowMs());
    }
    Q_EMIT changed();
    if (loss) {
        Q_EMIT noticedPacketLoss();
    }
}

void ClientField::processMergeBlocks(QList<GameMovement> movements) {
    int landed = 0;
    GameField::LineClear clear;
    {
        QMutexLocker lock(&mutex_);
        clear = mirror_.mergeBlocks(movements, [&](const GameBlock&) { ++landed; });
        predictor_.processMerges();
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

void ClientField::forgetServer() {
    QMutexLocker lock(&mutex_);
    predictor_.forgetServer();
}

void ClientField::reset() {
    {
        QMutexLocker lock(&mutex_);
        mirror_.clear();
        predictor_.reset();
        ++stackRevision_;
    }
    Q_EMIT changed();
}
