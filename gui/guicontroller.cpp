#include "gui/guicontroller.h"

GuiController::GuiController(const ClientSettings& settings, const HighscoreFile& highscores,
                             QSize fullscreen, TimerSource& timers, QObject* parent)
    : QObject(parent),
      session_(timers, settings.options.showIntro, fullscreen.height()),
      editor_(session_),
      menus_(settings, highscores, fullscreen, session_, editor_),
      input_(session_, menus_, editor_, timers) {
    connect(&session_, &GuiSession::changed, this, &GuiController::changed);
    connect(&input_, &InputRouter::changed, this, &GuiController::changed);
    connect(&session_, &GuiSession::soundRequested, this, &GuiController::requestSound);
}

GuiController::~GuiController() = default;

void GuiController::requestSound(int sound) {
    if (menus_.options().playSounds) {
        Q_EMIT soundRequested(sound);
    }
}
