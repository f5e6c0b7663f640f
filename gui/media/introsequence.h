#pragma once

#include <QObject>
#include <QSize>
#include <array>
#include <memory>

#include "introblock.h"

class QPainter;

// The intro: two logo pieces fall cell by cell (75 pixels a step) and land
// with a thud at frames 99 and 199, the screen flashes white at frame 300 with
// the point sound and the program's name appears, and at frame 400 the main
// menu is due. Driven by the widget's 20 ms intro timer through tick(), so it
// needs no clock of its own.
class IntroSequence : public QObject {
    Q_OBJECT

public:
    static constexpr int kTickMs = 20;
    static constexpr int kMenuFrame = 400;

    explicit IntroSequence(QObject* parent = nullptr);
    ~IntroSequence() override;

    // One step; `height` is the widget's height in pixels.
    void tick(int height);
    // Paints the current frame over whatever is in `size` already.
    void paint(QPainter& painter, QSize size) const;

    // -1 before the first tick.
    int frame() const { return frame_; }
    bool isFinished() const { return finished_; }
    const IntroBlock* block(int id) const;

signals:
    // 0 land, 1 point (the numbers of Sound::Id).
    void soundRequested(int sound);
    // Once, when the main menu is due.
    void finished();

private:
    int frame_ = -1;
    bool finished_ = false;
    std::array<std::unique_ptr<IntroBlock>, 2> blocks_;
};
