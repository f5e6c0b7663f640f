#include "gui/guicontroller.h"

GuiController::GuiController(const ClientSettings& settings, const HighscoreFile& highscores,
                             QSize fullscreen, TimerSource& timers, QObject* parent)
    : QObject(parent),
      session_(timers, settings.options.showIntro, fullscreen.height()),
      editor_(session_),
      menus_(settings, highscores, fullscreen, session_, editor_),
      input_(session_, menus_, editor_, timers) {
    connect(&session_, &GuiSession::changed, this, &GuiController::changed);
    connect(&session_, &GuiSession::soundRequested, this, &GuiController::requestSound);
}

GuiController::~GuiController() = default;

bool GuiController::keyPress(const QKeyEvent& event) {
    const bool used = input_.keyPress(event);
    Q_EMIT changed();
    return used;
}

void GuiController::keyRelease(const QKeyEvent& event) {
    input_.keyRelease(event);
    Q_EMIT changed();
}

void GuiController::mouseMove(QPoint position) {
    input_.mouseMove(position);
    Q_EMIT changed();
}

void GuiController::mousePress(QPoint position, Qt::MouseButton button) {
    input_.mousePress(position, button);
    Q_EMIT changed();
}

void GuiController::padButton(int pad, PadButton button, bool down) {
    input_.padButton(pad, button, down);
    Q_EMIT changed();
}

void GuiController::requestSound(int sound) {
    if (menus_.options().playSounds) {
        Q_EMIT soundRequested(sound);
    }
}
