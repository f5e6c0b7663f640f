#pragma once

#include <QSize>
#include <vector>

class SceneField;

// Finds the highest visual quality at which this machine draws a game at
// 30 frames a second or more: a few frames at High, then, while the frames
// are too slow, at Normal and at Low. The first frames at each quality are
// not counted (the meshes are rebuilt, caches fill), and the median of the
// rest decides, so one frame held up by something else does not lower the
// choice. The view draws the frames and reports how long each one took.
class QualityProbe {
public:
    static constexpr int kHighest = 2;
    static constexpr int kWarmupFrames = 3;
    static constexpr int kMeasuredFrames = 9;
    static constexpr double kGoalFps = 30.0;

    // The quality the next frame is drawn at; once done, the one chosen.
    int quality() const { return quality_; }
    bool done() const { return done_; }
    // Frames a second measured at quality(); 0 before a measurement.
    double fps() const { return fps_; }
    // Whether the chosen quality holds the goal (Low may not).
    bool holdsGoal() const { return done_ && fps_ >= kGoalFps; }

    // A frame at quality() took this long, from its start to the next one's.
    void frameTook(double ms);

    // A four-player game in play, the same every time: a stack with holes
    // all round the ring and a falling block over each player's part, the
    // camera turning.
    static void showcase(SceneField& field);

private:
    int quality_ = kHighest;
    bool done_ = false;
    double fps_ = 0.0;
    int skipped_ = 0;
    std::vector<double> frames_;
};
