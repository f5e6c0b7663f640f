#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>

#include "gui/guitimers.h"
#include "gui/padmapping.h"

// SDL's game-controller and joystick subsystems, and nothing else of SDL (no
// video, no audio, no signal handlers), from construction to destruction.
class SdlControllers {
public:
    SdlControllers();
    ~SdlControllers();
    SdlControllers(const SdlControllers&) = delete;
    SdlControllers& operator=(const SdlControllers&) = delete;

    bool ready() const { return ready_; }

private:
    bool ready_ = false;
};

// Gamepads through SDL's game-controller API, polled every kPollMs: the first
// pad plugged in is pad 0 (the first player), the second pad 1; more are not
// taken. D-pad and left stick together give the four directions, the stick
// past a dead zone. Pads come and go while the game runs; without SDL or
// without pads nothing happens.
class GamepadInput : public QObject {
    Q_OBJECT

public:
    static constexpr int kPollMs = 8;
    // The stick counts as a direction from kStickPress on and until it falls
    // under kStickRelease, so a stick held near the edge does not chatter.
    static constexpr int kStickPress = 16000;
    static constexpr int kStickRelease = 10000;

    explicit GamepadInput(TimerSource& timers, QObject* parent = nullptr);
    ~GamepadInput() override;

    bool available() const { return sdl_.ready(); }
    // The pads' names by pad number, empty where there is none.
    QStringList names() const;
    // Handles what SDL has queued; the timer calls it.
    void poll();

Q_SIGNALS:
    void button(int pad, PadButton button, bool down);
    void notice(QString text);
    void changedPads(QStringList names);

private:
    struct Pad;
    void open(int deviceIndex);
    void close(int instanceId);
    int padOf(int instanceId) const;
    void setDirection(int pad, int direction);
    void stick(int pad, int axis, int value);

    SdlControllers sdl_;
    std::array<std::unique_ptr<Pad>, kPads> pads_;
    std::unique_ptr<GuiTimer> pollTimer_;
};
