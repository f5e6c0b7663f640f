#pragma once

#include <QObject>
#include <QSize>

#include "client/clientsettings.h"
#include "client/highscorefile.h"
#include "gui/fieldeditor.h"
#include "gui/guisession.h"
#include "gui/guitimers.h"
#include "gui/inputrouter.h"
#include "gui/menumodel.h"

// The GUI without a widget: owns what the screens show (GuiSession), the
// menus (MenuModel), the text field being edited (FieldEditor) and where
// input goes (InputRouter). The program connects the client to these parts
// directly; the view hands input to the router, paints what they hold and
// repaints on changed().
class GuiController : public QObject {
    Q_OBJECT

public:
    // fullscreen: the resolution the program runs at, for the options screen.
    GuiController(const ClientSettings& settings, const HighscoreFile& highscores, QSize fullscreen,
                  TimerSource& timers, QObject* parent = nullptr);
    ~GuiController() override;

    GuiSession& session() { return session_; }
    const GuiSession& session() const { return session_; }
    MenuModel& menus() { return menus_; }
    const MenuModel& menus() const { return menus_; }
    FieldEditor& editor() { return editor_; }
    const FieldEditor& editor() const { return editor_; }
    InputRouter& input() { return input_; }
    const InputRouter& input() const { return input_; }

public Q_SLOTS:
    // Plays a sound (0 land, 1 point, 2 user) when sounds are on.
    void requestSound(int sound);

Q_SIGNALS:
    // What is shown may have changed: the view draws a frame.
    void changed();
    void soundRequested(int sound);

private:
    GuiSession session_;
    FieldEditor editor_;
    MenuModel menus_;
    InputRouter input_;
};
