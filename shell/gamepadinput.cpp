#include "shell/gamepadinput.h"

#include <SDL.h>

#include <QLoggingCategory>
#include <utility>

Q_LOGGING_CATEGORY(lcGamepad, "quadrell.gamepad", QtWarningMsg)

namespace {

// SDL's buttons that mean something here. The directions come first, in
// PadButton's order, and index Pad::dpad and Pad::down.
constexpr std::array<std::pair<int, PadButton>, kPadButtons> kButtons{{
    {SDL_CONTROLLER_BUTTON_DPAD_UP, PadButton::Up},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, PadButton::Down},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, PadButton::Left},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, PadButton::Right},
    {SDL_CONTROLLER_BUTTON_A, PadButton::A},
    {SDL_CONTROLLER_BUTTON_B, PadButton::B},
    {SDL_CONTROLLER_BUTTON_X, PadButton::X},
    {SDL_CONTROLLER_BUTTON_Y, PadButton::Y},
    {SDL_CONTROLLER_BUTTON_START, PadButton::Start},
    {SDL_CONTROLLER_BUTTON_BACK, PadButton::Back},
}};
constexpr int kDirections = 4;

// The button's place in kButtons, or -1.
int buttonOf(int sdlButton) {
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        if (kButtons[i].first == sdlButton) {
            return int(i);
        }
    }
    return -1;
}

// One axis of the stick: -1, 0 or 1, with the dead zone and its hysteresis.
int stickStep(int value, int before) {
    if (value <= -GamepadInput::kStickPress) {
        return -1;
    }
    if (value >= GamepadInput::kStickPress) {
        return 1;
    }
    if (before != 0 && value * before > GamepadInput::kStickRelease) {
        return before;
    }
    return 0;
}

}  // namespace

SdlControllers::SdlControllers() {
    // The game handles SIGINT and SIGTERM itself; the main window has no SDL
    // window, so events would otherwise count as coming from the background.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    ready_ = SDL_Init(SDL_INIT_GAMECONTROLLER | SDL_INIT_JOYSTICK) == 0;
    if (!ready_) {
        qCWarning(lcGamepad) << "no gamepads:" << SDL_GetError();
    }
}

SdlControllers::~SdlControllers() {
    if (ready_) {
        SDL_Quit();
    }
}

struct GamepadInput::Pad {
    Pad() = default;
    Pad(const Pad&) = delete;
    Pad& operator=(const Pad&) = delete;
    ~Pad() { SDL_GameControllerClose(controller); }

    SDL_GameController* controller = nullptr;
    SDL_JoystickID instance = -1;
    QString name;
    std::array<bool, kDirections> dpad{};
    std::array<int, 2> stick{};            // x, y: -1, 0 or 1
    std::array<bool, kDirections> down{};  // the directions as last reported
};

GamepadInput::GamepadInput(TimerSource& timers, QObject* parent)
    : QObject(parent), pollTimer_(timers.makeTimer(false, [this] { poll(); })) {
    if (sdl_.ready()) {
        // Pads already plugged in arrive as added devices with the first poll.
        pollTimer_->start(kPollMs);
    }
}

GamepadInput::~GamepadInput() = default;

QStringList GamepadInput::names() const {
    QStringList list;
    for (const auto& pad : pads_) {
        list.append(pad ? pad->name : QString());
    }
    return list;
}

void GamepadInput::poll() {
    if (!sdl_.ready()) {
        return;
    }
    SDL_Event e;
    while (SDL_PollEvent(&e) != 0) {
        switch (e.type) {
            case SDL_CONTROLLERDEVICEADDED:
                open(e.cdevice.which);
                break;
            case SDL_CONTROLLERDEVICEREMOVED:
                close(e.cdevice.which);
                break;
            case SDL_CONTROLLERBUTTONDOWN:
            case SDL_CONTROLLERBUTTONUP: {
                const int pad = padOf(e.cbutton.which);
                if (pad < 0) {
                    break;
                }
                const bool down = e.type == SDL_CONTROLLERBUTTONDOWN;
                const int b = buttonOf(e.cbutton.button);
                if (b >= 0 && b < kDirections) {
                    pads_[std::size_t(pad)]->dpad[std::size_t(b)] = down;
                    setDirection(pad, b);
                } else if (b >= 0) {
                    Q_EMIT button(pad, kButtons[std::size_t(b)].second, down);
                }
                break;
            }
            case SDL_CONTROLLERAXISMOTION:
                if (const int pad = padOf(e.caxis.which); pad >= 0) {
                    stick(pad, e.caxis.axis, e.caxis.value);
                }
                break;
            default:
                break;
        }
    }
}

void GamepadInput::open(int deviceIndex) {
    int free = 0;
    while (free < kPads && pads_[std::size_t(free)]) {
        ++free;
    }
    if (free == kPads) {
        return;
    }
    SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
    if (controller == nullptr) {
        qCWarning(lcGamepad) << "gamepad not opened:" << SDL_GetError();
        return;
    }
    auto pad = std::make_unique<Pad>();
    pad->controller = controller;
    pad->instance = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
    if (padOf(pad->instance) >= 0) {
        return;  // the same device announced again: opening it only counted a reference
    }
    const char* name = SDL_GameControllerName(controller);
    pad->name = name != nullptr ? QString::fromUtf8(name) : tr("Gamepad");
    const QString text = tr("Gamepad connected: %1").arg(pad->name);
    pads_[std::size_t(free)] = std::move(pad);
    Q_EMIT notice(text);
    Q_EMIT changedPads(names());
}

void GamepadInput::close(int instanceId) {
    const int pad = padOf(instanceId);
    if (pad < 0) {
        return;
    }
    // SDL has let go of the pad's buttons and centred its stick before it
    // reports the removal, so nothing it held stays held.
    const std::unique_ptr<Pad> gone = std::exchange(pads_[std::size_t(pad)], nullptr);
    Q_EMIT notice(tr("Gamepad disconnected: %1").arg(gone->name));
    Q_EMIT changedPads(names());
}

int GamepadInput::padOf(int instanceId) const {
    for (int i = 0; i < kPads; ++i) {
        if (pads_[std::size_t(i)] && pads_[std::size_t(i)]->instance == instanceId) {
            return i;
        }
    }
    return -1;
}

void GamepadInput::stick(int pad, int axis, int value) {
    if (axis != SDL_CONTROLLER_AXIS_LEFTX && axis != SDL_CONTROLLER_AXIS_LEFTY) {
        return;
    }
    Pad& p = *pads_[std::size_t(pad)];
    const std::size_t i = axis == SDL_CONTROLLER_AXIS_LEFTX ? 0 : 1;
    p.stick[i] = stickStep(value, p.stick[i]);
    // SDL's y grows downwards, as the directions go: up before down.
    const int first = i == 0 ? 2 : 0;
    setDirection(pad, first);
    setDirection(pad, first + 1);
}

void GamepadInput::setDirection(int pad, int direction) {
    Pad& p = *pads_[std::size_t(pad)];
    const std::size_t d = std::size_t(direction);
    const int along = p.stick[d < 2 ? 1 : 0];  // up and down on y, left and right on x
    const bool fromStick = d % 2 == 0 ? along < 0 : along > 0;
    const bool down = p.dpad[d] || fromStick;
    if (down != p.down[d]) {
        p.down[d] = down;
        Q_EMIT button(pad, kButtons[d].second, down);
    }
}
