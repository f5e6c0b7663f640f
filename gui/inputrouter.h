#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>
#include <array>
#include <memory>

#include "client/guistate.h"
#include "gui/guitimers.h"
#include "gui/keycounters.h"
#include "gui/padmapping.h"

class FieldEditor;
class GuiSession;
class MenuModel;
class QKeyEvent;

// Where keys and clicks go: the text field being edited, the menus, the
// lobby (ready, colours, kick list), the game (the key counters) or the
// overlays. Its signals carry what the client is asked to do; the key
// counters send the counters themselves.
class InputRouter : public QObject {
    Q_OBJECT

public:
    static constexpr int kUnlockMs = 500;

    InputRouter(GuiSession& session, MenuModel& menus, FieldEditor& editor, TimerSource& timers,
                QObject* parent = nullptr);
    ~InputRouter() override;

    KeyCounters& keys() { return keys_; }
    const KeyCounters& keys() const { return keys_; }
    // Keys in the lobby wait a moment after it opens.
    bool inputLocked() const { return inputLock_; }
    const QString& chatLine() const { return chatLine_; }

    // Input from the view; each ends in changed(). keyPress returns false for
    // keys it does not use.
    bool keyPress(const QKeyEvent& event);
    void keyRelease(const QKeyEvent& event);
    void mouseMove(QPoint position);
    void mousePress(QPoint position, Qt::MouseButton button);
    // A pad's button went down or up (pad 0 or 1). It acts as the key it
    // stands for when it went down, so a release always lets go of that key.
    // Outside splitscreen every pad plays the first player.
    void padButton(int pad, PadButton button, bool down);

public Q_SLOTS:
    void repeatKey(int i);
    void unlockKeys();

Q_SIGNALS:
    // What is shown may have changed.
    void changed();
    void changedReady();
    void changedStart();
    void changedKick(int id);
    // The host asks for one more computer player.
    void changedAddComputer();
    void sendMessage(int playerNr, QString message);
    void abortAction();
    void toggleFullscreen();
    void screenshotRequested();

private:
    void applied(GuiState state);
    bool editKey(const QKeyEvent& event);
    void openChat(int player);
    void lobbyKey(int key, Qt::KeyboardModifiers modifiers);
    void gameKey(int key);
    bool kickKey(int key);
    void menuKey(int key);
    void serverListKey(int key);

    GuiSession& session_;
    MenuModel& menus_;
    FieldEditor& editor_;
    KeyCounters keys_;
    bool inputLock_ = false;
    QString chatLine_;
    int chatPlayer_ = 0;
    std::unique_ptr<GuiTimer> unlockTimer_;
    std::array<std::array<int, kPadButtons>, kPads> padKeys_{};  // the key each button holds
};
