#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "client/guistate.h"
#include "gui/guitimers.h"

// The menu screens, MainMenu to OptionsMenu.
inline bool isMenuState(GuiState s) {
    return s >= GuiState::MainMenu && s <= GuiState::OptionsMenu;
}

// A text field being edited: a menu's fields, then the chat line.
inline bool isEditState(GuiState s) {
    return s >= GuiState::EditServerName && s <= GuiState::ChatInput;
}

// A menu's text field being edited (the chat line is not one).
inline bool isMenuFieldState(GuiState s) {
    return s >= GuiState::EditServerName && s <= GuiState::EditPlayerName2;
}

// The GUI's state stack (base first, top last) with the message stack beside
// it, the error overlay and the timers that take overlays and notices away.
class GuiStack : public QObject {
    Q_OBJECT

public:
    static constexpr int kOverlayMs = 5000;

    explicit GuiStack(TimerSource& timers, QObject* parent = nullptr);
    ~GuiStack() override;

    GuiState base() const { return states_.isEmpty() ? GuiState::NoState : states_.first(); }
    GuiState top() const { return states_.isEmpty() ? GuiState::NoState : states_.last(); }
    // The state right above the base, or NoState.
    GuiState aboveBase() const { return states_.value(1, GuiState::NoState); }
    // The state under the top, or NoState.
    GuiState belowTop() const { return states_.value(states_.size() - 2, GuiState::NoState); }
    const QList<GuiState>& states() const { return states_; }
    const QStringList& messages() const { return messages_; }
    QString message() const { return messages_.isEmpty() ? QString() : messages_.last(); }
    const QString& countdown() const { return countdown_; }
    bool showingError() const { return error_; }

    void push(GuiState state, bool resetCurrentMenuEntry);
    // Everything above the base goes; while an error shows, once it goes.
    void popAboveBase();

public Q_SLOTS:
    // What the client drives directly.
    void setBaseState(GuiState state, const QString& message);
    void setTopState(GuiState state, const QString& message);
    void setNextGuiState(bool resetCurrentMenuEntry = true);
    void displayError(const QString& message, bool leaveGame);
    void displayMessage(const QString& message);
    void setNextTextMessage();
    void setCountdown(const QString& text);

Q_SIGNALS:
    // States, messages or the countdown changed.
    void changed();
    // A new top state is to be applied.
    void applied(GuiState state, bool resetCurrentMenuEntry);

private:
    void apply(bool reset);

    QList<GuiState> states_;
    QStringList messages_{QString()};
    QString countdown_;
    bool error_ = false;
    bool popAll_ = false;
    std::unique_ptr<GuiTimer> stateTimer_;
    std::unique_ptr<GuiTimer> messageTimer_;
};
