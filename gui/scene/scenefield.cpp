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

SceneField::SceneField(ClientField& field, QObject* parent) : QObject(parent), field_(field) {
    connect(&field_, &ClientField::changed, this, [this] {
        {
            QMutexLocker lock(&field_.mutex());
            followOwnBlocks();
        }
        Q_EMIT changed();
    });
}

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

void SceneField::logPress(const KeyInput& counters) {
    if (!lcLatency().isDebugEnabled()) {
        return;
    }
    QMutexLocker lock(&field_.mutex());
    const FieldMirror& mirror = field_.mirror();
    const GameBlock* b = mirror.block(mirror.activeBlockIds().value(0, -1));
    if (b == nullptr || b->id() <= 0) {
        return;
    }
    for (int k = 0; k < kKeySlots; ++k) {
        if (counters[0][std::size_t(k)] > lastLoggedCounters_[0][std::size_t(k)]) {
            qCDebug(lcLatency).noquote() << QStringLiteral("press %1 key %2 col %3 rot %4 width %5")
                                                .arg(latencyClockUs())
                                                .arg(k)
                                                .arg(GameGrid::column(mirror.fieldsizeX(), b->x()))
                                                .arg(b->rotation())
                                                .arg(mirror.fieldsizeX());
        }
    }
    lastLoggedCounters_ = counters;
}

QPoint SceneField::ownDrawn() const {
    QMutexLocker lock(&field_.mutex());
    const FieldMirror& mirror = field_.mirror();
    const GameBlock* b = mirror.block(mirror.activeBlockIds().value(0, -1));
    if (b == nullptr || b->id() <= 0) {
        return {-1, -1};
    }
    return {GameGrid::column(mirror.fieldsizeX(), b->x()), b->rotation()};
}

quint64 SceneField::pictureKey() const {
    QMutexLocker lock(&field_.mutex());
    const FieldMirror& mirror = field_.mirror();
    // FNV-1a over everything drawViews and the preview take from the copy.
    quint64 key = 14695981039346656037ULL;
    const auto add = [&key](qint64 v) { key = (key ^ quint64(v)) * 1099511628211ULL; };
    add(fieldsizeX_);
    add(field_.stackRevision());
    for (int view = 0; view < kViews; ++view) {
        const float c = cameraColumn(view);
        quint32 bits = 0;
        std::memcpy(&bits, &c, sizeof bits);
        add(bits);
    }
    mirror.forEachBlock([&](const GameBlock& b) {
        add(b.id());
        add(b.kind());
        add(b.colour());
        add(b.rotation());
        add(b.x());
        add(GameGrid::rowFloor(b.y()));
        add(FieldMirror::onField(b) ? mirror.dropDistance(b) / GameGrid::kCell : -1);
    });
    return key;
}

void SceneField::advancePredictions() {
    field_.advancePredictions();
    QMutexLocker lock(&field_.mutex());
    followOwnBlocks();
}

void SceneField::followOwnBlocks() {
    const FieldMirror& mirror = field_.mirror();
    for (int view = 0; view < kViews; ++view) {
        const GameBlock* b = mirror.block(mirror.activeBlockIds().value(view, -1));
        if (b != nullptr && b->id() > 0) {
            follow_[std::size_t(view)] = QPoint(b->x(), b->y());
        }
    }
}

void SceneField::reset() {
    follow_.fill(QPoint());
    setRotation(false);
    Q_EMIT changed();
}
