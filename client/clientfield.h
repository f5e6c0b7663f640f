#pragma once

#include <QList>
#include <QMutex>
#include <QObject>

#include "game/blockrecords.h"
#include "game/clock.h"
#include "game/fieldmirror.h"
#include "game/movepredictor.h"

// The client's copy of the field: the blocks dealt, moved and merged as the
// server reports them, with the local players' own blocks moved at the key
// press where prediction is on. It notices lost movements (asked for again
// through the client) and says what a view and its sounds need: that the copy
// changed, blocks landed, rows cleared and points made.
class ClientField : public QObject {
    Q_OBJECT

public:
    explicit ClientField(const Clock& clock = Clock::system(), QObject* parent = nullptr);

    // Guards the copy: the process slots take it, and so do readers on
    // another thread.
    QMutex& mutex() const { return mutex_; }
    const FieldMirror& mirror() const { return mirror_; }
    // Changes whenever the landed boxes may have changed.
    int stackRevision() const { return stackRevision_; }
    const MovePredictor::Figures& predictionFigures() const { return predictor_.figures(); }
    // Whether the copy may still change with no message coming in: own
    // presses wait for their turn or for the server.
    bool settling() const;
    // Presses the server has not shown in time go back.
    void advancePredictions();

public Q_SLOTS:
    void setPrediction(bool on);
    void setRoundTripMs(int ms);
    // A paused or ended game takes no presses: none is shown either.
    void holdPredictions(bool held);
    // The key counters on their way to the server.
    void processInput(const KeyInput& counters);
    void processNewBlock(BlockRecord block, int fieldsizeX);
    void processNewField(int fieldsizeX, QList<FieldCell> landed);
    // keysDone: the key counters the server carried out, empty if not said.
    void processMoveBlocks(QList<GameMovement> movements, QList<int> activeBlockIds,
                           QList<int> keysDone = {});
    void processMergeBlocks(QList<GameMovement> movements);
    // A new game: no blocks.
    void reset();
    // Joined a server, which may or may not say what it carried out.
    void forgetServer();

Q_SIGNALS:
    void changed();
    void noticedPacketLoss();
    // One per block merged: the land sound.
    void blockLanded();
    // One per row cleared: the point sound.
    void rowCleared();
    // Rows cleared by one merge: their points and the last row cleared.
    void pointsMade(int points, int row);

private:
    const Clock& clock_;
    mutable QMutex mutex_;
    FieldMirror mirror_;
    MovePredictor predictor_{mirror_};
    int stackRevision_ = 0;
};
