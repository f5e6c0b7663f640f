#include "scenefield.h"

#include <QMutexLocker>
#include <chrono>
#include <cmath>
#include <cstring>

#include "game/gamegrid.h"

Q_LOGGING_CATEGORY(lcLatency, "quadrell.latency", QtWarningMsg)

qint64 latencyClockUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

SceneField::SceneField(QObject* parent, const Clock& clock) : QObject(parent), clock_(clock) {}

SceneField::~SceneField() = default;

float SceneField::cameraColumn(int view) const {
    const float w = float(fieldsizeX_);
    // Phase and block place can together pass more than one turn.
    const float c = std::fmod(float(phase_ + follow_.at(std::size_t(view)).x()) / 50.0f + 1.5f, w);
    return c < 0 ? c + w : c;
}

void SceneField::setFieldsizeX(int sizeX) {
    fieldsizeX_ = sizeX > 0 ? sizeX : GameField::kColumnsPerPlayer;
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
    phase_ += fieldsizeX_ / GameField::kColumnsPerPlayer;
    if (phase_ > fieldsizeX_ * 50) {
        phase_ -= fieldsizeX_ * 50;
    }
}

void SceneField::setPrediction(bool on) {
    {
        QMutexLocker lock(&blockMutex_);
        predictor_.setEnabled(on);
        followOwnBlocks();
    }
    Q_EMIT changed();
}

void SceneField::holdPredictions(bool held) {
    QMutexLocker lock(&blockMutex_);
    predictor_.setHeld(held);
}

void SceneField::setRoundTripMs(int ms) {
    QMutexLocker lock(&blockMutex_);
    predictor_.setRoundTripMs(ms);
}

void SceneField::processInput(QList<int> counters) {
    {
        QMutexLocker lock(&blockMutex_);
        if (lcLatency().isDebugEnabled()) {
            logPress(counters);
        }
        predictor_.processInput(counters, clock_.nowMs());
        followOwnBlocks();
    }
    Q_EMIT changed();
}

void SceneField::logPress(const QList<int>& counters) const {
    const GameBlock* b = mirror_.block(mirror_.activeBlockIds().value(0, -1));
    if (b == nullptr || b->id() <= 0) {
        return;
    }
    for (int k = 0; k < kKeySlots; ++k) {
        if (counters.value(k) > lastLoggedCounters_.value(k)) {
            qCDebug(lcLatency).noquote() << QStringLiteral("press %1 key %2 col %3 rot %4 width %5")
                                                .arg(latencyClockUs())
                                                .arg(k)
                                                .arg(GameGrid::column(mirror_.fieldsizeX(), b->x()))
                                                .arg(b->rotation())
                                                .arg(mirror_.fieldsizeX());
        }
    }
    lastLoggedCounters_ = counters;
}

QPoint SceneField::ownDrawn() const {
    QMutexLocker lock(&blockMutex_);
    const GameBlock* b = mirror_.block(mirror_.activeBlockIds().value(0, -1));
    if (b == nullptr || b->id() <= 0) {
        return {-1, -1};
    }
    return {GameGrid::column(mirror_.fieldsizeX(), b->x()), b->rotation()};
}

quint64 SceneField::pictureKey() const {
    QMutexLocker lock(&blockMutex_);
    // FNV-1a over everything drawViews and the preview take from the copy.
    quint64 key = 14695981039346656037ULL;
    const auto add = [&key](qint64 v) { key = (key ^ quint64(v)) * 1099511628211ULL; };
    add(fieldsizeX_);
    add(stackRevision_);
    for (int view = 0; view < kViews; ++view) {
        const float c = cameraColumn(view);
        quint32 bits = 0;
        std::memcpy(&bits, &c, sizeof bits);
        add(bits);
    }
    mirror_.forEachBlock([&](const GameBlock& b) {
        add(b.id());
        add(b.kind());
        add(b.colour());
        add(b.rotation());
        add(b.x());
        add(GameGrid::rowFloor(b.y()));
        add(FieldMirror::onField(b) ? mirror_.dropDistance(b) / GameGrid::kCell : -1);
    });
    return key;
}

bool SceneField::settling() const {
    QMutexLocker lock(&blockMutex_);
    return predictor_.busy();
}

void SceneField::advancePredictions() {
    QMutexLocker lock(&blockMutex_);
    predictor_.advance(clock_.nowMs());
    followOwnBlocks();
}

void SceneField::followOwnBlocks() {
    for (int view = 0; view < kViews; ++view) {
        const GameBlock* b = mirror_.block(mirror_.activeBlockIds().value(view, -1));
        if (b != nullptr && b->id() > 0) {
            follow_[std::size_t(view)] = QPoint(b->x(), b->y());
        }
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

void SceneField::processMoveBlocks(QList<GameMovement> movements, QList<int> activeBlockIds,
                                   QList<int> keysDone) {
    bool loss = false;
    {
        QMutexLocker lock(&blockMutex_);
        loss = mirror_.moveBlocks(movements, activeBlockIds);
        predictor_.processMovements(movements, keysDone, clock_.nowMs());
        followOwnBlocks();
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
        predictor_.processMerges();
        followOwnBlocks();
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
        predictor_.reset();
        follow_.fill(QPoint());
        ++stackRevision_;
    }
    setRotation(false);
    Q_EMIT changed();
}
