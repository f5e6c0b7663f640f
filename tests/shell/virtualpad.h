#pragma once

#include <SDL.h>

#include <utility>

// SDL's virtual joystick as a game controller; SDL must run while it lives.
class VirtualPad {
public:
    VirtualPad() {
        const int index =
            SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                      SDL_CONTROLLER_BUTTON_MAX, 0);
        joystick_ = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
    }
    ~VirtualPad() { unplug(); }
    VirtualPad(const VirtualPad&) = delete;
    VirtualPad& operator=(const VirtualPad&) = delete;

    bool attached() const { return joystick_ != nullptr; }
    void button(SDL_GameControllerButton b, bool down) {
        SDL_JoystickSetVirtualButton(joystick_, b, down ? 1 : 0);
    }
    void axis(SDL_GameControllerAxis a, int value) {
        SDL_JoystickSetVirtualAxis(joystick_, a, Sint16(value));
    }
    void unplug() {
        if (joystick_ == nullptr) {
            return;
        }
        const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_);
        SDL_JoystickClose(std::exchange(joystick_, nullptr));
        for (int i = 0; i < SDL_NumJoysticks(); ++i) {
            if (SDL_JoystickGetDeviceInstanceID(i) == id) {
                SDL_JoystickDetachVirtual(i);
                return;
            }
        }
    }

private:
    SDL_Joystick* joystick_ = nullptr;
};
