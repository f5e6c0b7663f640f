#pragma once

#include <QList>
#include <QLoggingCategory>
#include <QMutex>
#include <QObject>
#include <QPoint>
#include <array>

#include "game/clock.h"
#include "game/fieldmirror.h"
#include "game/movepredictor.h"

// Key presses and the frames that show the own block's column, with
// microsecond times, for measuring how soon a press is seen.
Q_DECLARE_LOGGING_CATEGORY(lcLatency)
qint64 latencyClockUs();

// The view's copy of the field: the player's FieldMirror fed by the client's
// blocks, movements and merges, with the local players' own blocks moved at
// the key press (unless that is turned off), plus what only the view needs: where each
// local player's block is (the camera follows it), the turning camera, the
// points of this game, and the events for sounds and point labels.
class SceneField : public QObject {
    Q_OBJECT

public:
    // How often whoever owns the view's timers calls moveCamera.
    static constexpr int kCameraIntervalMs = 35;
    static constexpr int kViews = 2;

    explicit SceneField(QObject* parent = nullptr, const Clock& clock = Clock::system());
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
    const MovePredictor::Figures& predictionFigures() const { return predictor_.figures(); }
    // Called once a frame: presses the server has not shown in time go.
    void advancePredictions();
    // The first local player's block as drawn: its column and turn; (-1, -1)
    // for none.
    QPoint ownDrawn() const;
    // What a frame of the field shows, as one number: the same number, the
    // same picture (blocks are drawn row by row, so most movements of a
    // falling block change nothing on the screen).
    quint64 pictureKey() const;
    // Whether the picture may still change with no message coming in: own
    // presses wait for their turn or for the server.
    bool settling() const;

public Q_SLOTS:
    void setFieldsizeX(int sizeX);
    // Turning starts from the player's block; moveCamera turns while on.
    void setRotation(bool rotate);
    void moveCamera();
    void setPrediction(bool on);
    void setRoundTripMs(int ms);
    // A paused or ended game takes no presses: none is shown either.
    void holdPredictions(bool held);
    // The key counters on their way to the server.
    void processInput(QList<int> counters);
    void processNewBlock(BlockRecord block, int fieldsizeX);
    void processNewField(int fieldsizeX, QList<FieldCell> landed);
    // keysDone: the key counters the server carried out, empty if not said.
    void processMoveBlocks(QList<GameMovement> movements, QList<int> activeBlockIds,
                           QList<int> keysDone = {});
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
    void followOwnBlocks();
    void logPress(const QList<int>& counters) const;

    const Clock& clock_;
    mutable QMutex blockMutex_;
    FieldMirror mirror_;
    MovePredictor predictor_{mirror_};
    mutable QList<int> lastLoggedCounters_;
    int fieldsizeX_ = GameField::kColumnsPerPlayer;
    bool rotating_ = false;
    int phase_ = 0;
    std::array<QPoint, kViews> follow_{};
    int stackRevision_ = 0;
};
