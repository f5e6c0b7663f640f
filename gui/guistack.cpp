#include "guistack.h"

GuiStack::GuiStack(TimerSource& timers, QObject* parent)
    : QObject(parent),
      stateTimer_(timers.makeTimer(true, [this] { setNextGuiState(); })),
      messageTimer_(timers.makeTimer(true, [this] { setNextTextMessage(); })) {}

GuiStack::~GuiStack() = default;

void GuiStack::apply(bool reset) {
    Q_EMIT applied(top(), reset);
}

void GuiStack::setBaseState(GuiState state, const QString& message) {
    if (state != GuiState::NoState) {
        const GuiState before = base();
        if (states_.isEmpty()) {
            states_.append(state);
        } else {
            states_.first() = state;
        }
        if (states_.size() == 1 && state != before) {
            apply(true);
        }
    }
    if (messages_.isEmpty()) {
        messages_.append(message);
    } else {
        messages_.first() = message;
    }
    Q_EMIT changed();
}

void GuiStack::setTopState(GuiState state, const QString& message) {
    if (state != GuiState::NoState) {
        const GuiState before = top();
        if (states_.isEmpty()) {
            states_.append(state);
        } else {
            states_.last() = state;
        }
        if (state != before) {
            apply(true);
        }
    }
    if (messages_.isEmpty()) {
        messages_.append(message);
    } else {
        messages_.last() = message;
    }
    Q_EMIT changed();
}

void GuiStack::setNextGuiState(bool resetCurrentMenuEntry) {
    if (error_) {
        error_ = false;
        if (popAll_) {
            popAll_ = false;
            while (states_.size() > 1) {
                states_.removeLast();
                apply(false);
            }
            return;
        }
    }
    if (states_.size() > 1) {
        states_.removeLast();
        apply(resetCurrentMenuEntry);
    }
    Q_EMIT changed();
}

void GuiStack::push(GuiState state, bool resetCurrentMenuEntry) {
    states_.append(state);
    apply(resetCurrentMenuEntry);
    Q_EMIT changed();
}

void GuiStack::popAboveBase() {
    if (error_) {
        popAll_ = true;
        return;
    }
    while (states_.size() > 1) {
        states_.removeLast();
        apply(false);
    }
    Q_EMIT changed();
}

void GuiStack::displayError(const QString& message, bool leaveGame) {
    error_ = true;
    if (leaveGame) {
        countdown_.clear();
        if (base() == GuiState::Lobby || base() == GuiState::Game) {
            states_.first() = GuiState::MainMenu;
            if (states_.size() > 1 && states_[1] == GuiState::GameMenu) {
                states_.removeAt(1);
            }
            // The chat line belongs to the game it was opened in.
            states_.removeAll(GuiState::ChatInput);
        }
    }
    push(GuiState::Notice, true);
    stateTimer_->start(kOverlayMs);
    if (messages_.size() < 3) {
        messages_.append(message);
    } else {
        messages_[2] += QStringLiteral("\n\n") + message;
    }
    messageTimer_->start(kOverlayMs);
    Q_EMIT changed();
}

void GuiStack::displayMessage(const QString& message) {
    if (messages_.size() < 2) {
        messages_.append(message);
    } else {
        messages_[1] += QStringLiteral("\n\n") + message;
    }
    messageTimer_->start(kOverlayMs);
    Q_EMIT changed();
}

void GuiStack::setNextTextMessage() {
    // The base message stays: only notices and errors expire.
    if (messages_.size() > 1) {
        messages_.removeLast();
    }
    Q_EMIT changed();
}

void GuiStack::setCountdown(const QString& text) {
    countdown_ = text;
    Q_EMIT changed();
}
