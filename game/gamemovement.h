#pragma once

#include <QObject>

// Where one block stands: the record a client applies with setPosition.
class GameMovement : public QObject {
    Q_OBJECT

public:
    GameMovement(int blockId, int x, int y, int rotation, QObject* parent = nullptr)
        : QObject(parent), blockId_(blockId), x_(x), y_(y), rotation_(rotation) {}

    int blockId() const { return blockId_; }
    int x() const { return x_; }
    int y() const { return y_; }
    int rotation() const { return rotation_; }

private:
    int blockId_;
    int x_;
    int y_;
    int rotation_;
};
