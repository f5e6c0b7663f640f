#pragma once

#include <QList>
#include <QMutex>
#include <QObject>
#include <QPoint>
#include <array>

#include "game/fieldmirror.h"

// The view's copy of the field: the player's FieldMirror fed by the client's
// blocks, movements and merges, plus what only the view needs: where each
// local player's block is (the camera follows it), the turning camera, the
// points of this game, and the events for sounds and point labels.
class SceneField : public QObject {
    Q_OBJECT

public:
    // How often whoever owns the view's timers calls moveCamera.
    static constexpr int kCameraIntervalMs = 35;
    static constexpr int kViews = 2;

    explicit SceneField(QObject* parent = nullptr);
    ~SceneField() override;

    // Guards the copy: the process slots take it, and so does drawing.
    QMutex& blockMutex() const { return blockMutex_; }
    const FieldMirror& mirror() const { return mirror_; }

    int fieldsizeX() const { return fieldsizeX_; }
    bool rotating() const { return rotating_; }
    int rotationPhase() const { return phase_; }
    QPoint followPosition(int view) const { return follow_.at(std::size_t(view)); }
    // The column the camera of a view looks at, 0 <= c < fieldsizeX: the
    // view's player's block plus one and a half columns, turned by the phase.
    float cameraColumn(int view) const;
    // Line points of this game.
    int lineScore() const { return mirror_.points(); }
    // Changes whenever the landed boxes may have changed.
    int stackRevision() const { return stackRevision_; }

public Q_SLOTS:
    void setFieldsizeX(int sizeX);
    // Turning starts from the player's block; moveCamera turns while on.
    void setRotation(bool rotate);
    void moveCamera();
    void processNewBlock(BlockRecord block, int fieldsizeX);
    void processNewField(int fieldsizeX, QList<FieldCell> landed);
    void processMoveBlocks(QList<GameMovement> movements, QList<int> activeBlockIds);
    void processMergeBlocks(QList<GameMovement> movements);
    // A new game: no blocks, camera back at the start and still.
    void reset();

Q_SIGNALS:
    // Anything shown changed: blocks, the width, the camera's turning or the
    // whole copy (not the turning camera's steps, which come on a timer).
    void changed();
    void noticedPacketLoss();
    // One per block merged: the land sound.
    void blockLanded();
    // One per row cleared: the point sound.
    void rowCleared();
    // Rows cleared by one merge: their points and the last row cleared.
    void pointsMade(int points, int row);

private:
    mutable QMutex blockMutex_;
    FieldMirror mirror_;
    int fieldsizeX_ = 12;
    bool rotating_ = false;
    int phase_ = 0;
    std::array<QPoint, kViews> follow_{};
    int stackRevision_ = 0;
};
