#pragma once

#include <QList>
#include <QLoggingCategory>
#include <QMutex>
#include <QObject>
#include <QPoint>
#include <array>

#include "client/clientfield.h"

// Key presses and the frames that show the own block's column, with
// microsecond times, for measuring how soon a press is seen.
Q_DECLARE_LOGGING_CATEGORY(lcLatency)
qint64 latencyClockUs();

// What the view adds to the client's copy of the field (ClientField), which
// it draws: where each local player's block is (the camera follows it), the
// turning camera, and a key of the picture a frame shows.
class SceneField : public QObject {
    Q_OBJECT

public:
    // How often whoever owns the view's timers calls moveCamera.
    static constexpr int kCameraIntervalMs = 35;
    static constexpr int kViews = 2;

    explicit SceneField(ClientField& field, QObject* parent = nullptr);
    ~SceneField() override;

    ClientField& field() const { return field_; }
    // The copy as drawn; readers hold its mutex.
    QMutex& blockMutex() const { return field_.mutex(); }
    const FieldMirror& mirror() const { return field_.mirror(); }
    int stackRevision() const { return field_.stackRevision(); }

    int fieldsizeX() const { return fieldsizeX_; }
    bool rotating() const { return rotating_; }
    int rotationPhase() const { return phase_; }
    QPoint followPosition(int view) const { return follow_.at(std::size_t(view)); }
    // The column the camera of a view looks at, 0 <= c < fieldsizeX: the
    // view's player's block plus one and a half columns, turned by the phase.
    float cameraColumn(int view) const;
    // Called once a frame: presses the server has not shown in time go.
    void advancePredictions();
    // The first local player's block as drawn: its column and turn; (-1, -1)
    // for none.
    QPoint ownDrawn() const;
    // What a frame of the field shows, as one number: the same number, the
    // same picture (blocks are drawn row by row, so most movements of a
    // falling block change nothing on the screen).
    quint64 pictureKey() const;

public Q_SLOTS:
    void setFieldsizeX(int sizeX);
    // Turning starts from the player's block; moveCamera turns while on.
    void setRotation(bool rotate);
    void moveCamera();
    // The key counters as pressed, logged for the latency measurement before
    // the copy moves the block.
    void logPress(const KeyInput& counters);
    // A new game: camera back at the start and still.
    void reset();

Q_SIGNALS:
    // Anything shown changed: blocks, the width, the camera's turning or the
    // whole copy (not the turning camera's steps, which come on a timer).
    void changed();

private:
    void followOwnBlocks();

    ClientField& field_;
    KeyInput lastLoggedCounters_;
    int fieldsizeX_ = GameField::kColumnsPerPlayer;
    bool rotating_ = false;
    int phase_ = 0;
    std::array<QPoint, kViews> follow_{};
};
