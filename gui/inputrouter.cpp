#include "gui/inputrouter.h"

#include <QKeyEvent>
#include <utility>

#include "gui/fieldeditor.h"
#include "gui/guisession.h"
#include "gui/menumodel.h"

namespace {

bool isEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool isUp(int key) {
    return key == Qt::Key_Up || key == Qt::Key_W;
}

bool isDown(int key) {
    return key == Qt::Key_Down || key == Qt::Key_S;
}

// Whatever an input did, the view draws it: changed() on every way out.
class ChangedOnExit {
public:
    explicit ChangedOnExit(InputRouter& router) : router_(router) {}
    ~ChangedOnExit() { Q_EMIT router_.changed(); }
    ChangedOnExit(const ChangedOnExit&) = delete;
    ChangedOnExit& operator=(const ChangedOnExit&) = delete;

private:
    InputRouter& router_;
};

}  // namespace

InputRouter::InputRouter(GuiSession& session, MenuModel& menus, FieldEditor& editor,
                         TimerSource& timers, QObject* parent)
    : QObject(parent),
      session_(session),
      menus_(menus),
      editor_(editor),
      keys_(timers),
      unlockTimer_(timers.makeTimer(true, [this] { unlockKeys(); })) {
    connect(&session_, &GuiSession::stateApplied, this, &InputRouter::applied);
    connect(&session_, &GuiSession::gameReset, this, [this] { keys_.reset(); });
}

InputRouter::~InputRouter() = default;

void InputRouter::applied(GuiState state) {
    if (state == GuiState::Lobby) {
        keys_.releaseAll();
        inputLock_ = true;
        unlockTimer_->start(kUnlockMs);
    }
}

void InputRouter::unlockKeys() {
    inputLock_ = false;
}

void InputRouter::repeatKey(int i) {
    keys_.repeatKey(i);
}

// ---------------------------------------------------------------------------
// Keys

bool InputRouter::keyPress(const QKeyEvent& event) {
    const ChangedOnExit notify(*this);
    const int key = event.key();
    const bool repeat = event.isAutoRepeat();
    if (key == Qt::Key_F11) {
        if (!repeat) {
            Q_EMIT screenshotRequested();
        }
        return true;
    }
    if (isEnter(key) && (event.modifiers() & Qt::AltModifier)) {
        if (!repeat) {
            Q_EMIT toggleFullscreen();
        }
        return true;
    }
    const GuiStack& stack = session_.stack();
    const GuiState top = stack.top();
    if (isEditState(top)) {
        return editKey(event);
    }
    if (repeat) {
        return true;
    }
    const GuiState base = stack.base();
    // The chat opens over the game and its menus, but never over an overlay.
    if ((key == Qt::Key_T || key == Qt::Key_U) &&
        (base == GuiState::Lobby || base == GuiState::Game) && top != GuiState::Notice &&
        !(top == GuiState::Lobby && inputLock_)) {
        openChat(key == Qt::Key_U && session_.splitscreen() ? 1 : 0);
        return true;
    }
    switch (top) {
        case GuiState::Intro:
        case GuiState::About:
            if (key == Qt::Key_Escape || isEnter(key)) {
                session_.showMainMenu();
            }
            return true;
        case GuiState::Notice:
            if (key == Qt::Key_Escape) {
                Q_EMIT abortAction();
            }
            return true;
        case GuiState::Lobby:
            lobbyKey(key, event.modifiers());
            return true;
        case GuiState::Game:
            gameKey(key);
            return true;
        case GuiState::ServerList:
            serverListKey(key);
            return true;
        default:
            if (isMenuState(top)) {
                menuKey(key);
                return true;
            }
            return false;
    }
}

void InputRouter::keyRelease(const QKeyEvent& event) {
    const ChangedOnExit notify(*this);
    if (event.isAutoRepeat()) {
        return;
    }
    if (event.key() == Qt::Key_Tab) {
        session_.setTabHeld(false);
        menus_.hitMap().clear();
        return;
    }
    keys_.release(
        KeyCounters::indexFor(event.key(), session_.splitscreen(), menus_.options().invertControl));
}

void InputRouter::padButton(int pad, PadButton button, bool down) {
    const ChangedOnExit notify(*this);
    if (pad < 0 || pad >= kPads) {
        return;
    }
    int& held = padKeys_[std::size_t(pad)][std::size_t(button)];
    if (held != 0) {
        keyRelease(QKeyEvent(QEvent::KeyRelease, std::exchange(held, 0), Qt::NoModifier));
    }
    if (!down) {
        return;
    }
    const int player = session_.splitscreen() ? pad : 0;
    held = padKey(button, player, session_.stack().top());
    if (held != 0) {
        keyPress(QKeyEvent(QEvent::KeyPress, held, Qt::NoModifier));
    }
}

bool InputRouter::editKey(const QKeyEvent& event) {
    const bool chat = session_.stack().top() == GuiState::ChatInput;
    switch (editor_.field().key(event)) {
        case TextField::Result::Confirm:
            if (chat && !chatLine_.isEmpty()) {
                Q_EMIT sendMessage(chatPlayer_, chatLine_);
            }
            editor_.finish();
            break;
        case TextField::Result::Cancel:
            editor_.finish();
            break;
        case TextField::Result::Edited:
        case TextField::Result::Ignored:
            break;
    }
    return true;
}

void InputRouter::openChat(int player) {
    chatPlayer_ = player;
    chatLine_.clear();
    editor_.start(&chatLine_, 100, true, false, GuiState::ChatInput);
}

void InputRouter::lobbyKey(int key, Qt::KeyboardModifiers modifiers) {
    if (inputLock_) {
        return;
    }
    if (key == Qt::Key_C && (modifiers & Qt::ControlModifier)) {
        session_.copyInviteCode();
    } else if (key == Qt::Key_Escape) {
        menus_.openGameMenu();
    } else if (key == Qt::Key_R) {
        Q_EMIT changedReady();
    } else if (key == Qt::Key_S && session_.host()) {
        // The lobby tells the host to press 's' once everybody is ready.
        Q_EMIT changedStart();
    } else if (key == Qt::Key_C && session_.host()) {
        Q_EMIT changedAddComputer();
    } else if (kickKey(key)) {
        return;
    } else if (key == Qt::Key_A || key == Qt::Key_D) {
        menus_.stepColour(0, key == Qt::Key_D);
    } else if (key == Qt::Key_Left || key == Qt::Key_Right) {
        menus_.stepColour(session_.splitscreen() ? 1 : 0, key == Qt::Key_Right);
    }
}

bool InputRouter::kickKey(int key) {
    if (!isUp(key) && !isDown(key) && !isEnter(key)) {
        return false;
    }
    if (!session_.kickingPossible()) {
        return true;
    }
    const QList<int> list = session_.kickList();
    if (list.isEmpty()) {
        return true;
    }
    const int count = int(list.size());
    const int current = menus_.currentEntry();
    if (isEnter(key)) {
        if (current >= 0 && current < count) {
            Q_EMIT changedKick(list[current]);
        }
    } else {
        menus_.setCurrentEntry((current + (isDown(key) ? 1 : count - 1)) % count);
    }
    return true;
}

void InputRouter::gameKey(int key) {
    if (key == Qt::Key_Escape) {
        menus_.openGameMenu();
        return;
    }
    const bool host = session_.host();
    if (key == Qt::Key_Tab) {
        session_.setTabHeld(true);
        if (host) {
            menus_.hitMap().clear();
        }
        return;
    }
    if (key == Qt::Key_R) {
        Q_EMIT changedReady();
        return;
    }
    if (session_.tabHeld() && host) {
        kickKey(key);
        return;
    }
    const int index =
        KeyCounters::indexFor(key, session_.splitscreen(), menus_.options().invertControl);
    if (index >= 0 && session_.score().running() && !session_.spectator()) {
        keys_.press(index);
    }
}

void InputRouter::menuKey(int key) {
    using Action = MenuModel::Action;
    if (isUp(key)) {
        menus_.stepEntry(false);
    } else if (isDown(key)) {
        menus_.stepEntry(true);
    } else if (isEnter(key)) {
        menus_.activate(menus_.currentEntry(), Action::Enter);
    } else if (key == Qt::Key_Right || key == Qt::Key_D) {
        menus_.activate(menus_.currentEntry(), Action::Right);
    } else if (key == Qt::Key_Left || key == Qt::Key_A) {
        menus_.activate(menus_.currentEntry(), Action::Left);
    } else if (key == Qt::Key_Escape) {
        menus_.escape();
    }
}

void InputRouter::serverListKey(int key) {
    using Action = MenuModel::Action;
    if (isUp(key) || isDown(key)) {
        menus_.setCurrentEntry(session_.servers().nextEntry(menus_.currentEntry(), isDown(key)));
    } else if (isEnter(key)) {
        menus_.activate(menus_.currentEntry(), Action::Enter);
    } else if (key == Qt::Key_Left || key == Qt::Key_A) {
        menus_.activate(ServerListModel::PreviousPage, Action::Enter);
    } else if (key == Qt::Key_Right || key == Qt::Key_D) {
        menus_.activate(ServerListModel::NextPage, Action::Enter);
    } else if (key == Qt::Key_Escape) {
        menus_.escape();
    }
}

// ---------------------------------------------------------------------------
// Mouse

void InputRouter::mouseMove(QPoint position) {
    const ChangedOnExit notify(*this);
    const GuiState top = session_.stack().top();
    if (!isMenuState(top) && !session_.kickingPossible()) {
        return;
    }
    const QMap<int, QRect>& hits = menus_.hitMap();
    for (auto it = hits.cbegin(); it != hits.cend(); ++it) {
        if (it.value().contains(position)) {
            menus_.setCurrentEntry(it.key());
            return;
        }
    }
}

void InputRouter::mousePress(QPoint position, Qt::MouseButton button) {
    const ChangedOnExit notify(*this);
    const GuiState top = session_.stack().top();
    if (top == GuiState::Intro || top == GuiState::About) {
        session_.showMainMenu();
        return;
    }
    if (isMenuFieldState(top)) {
        editor_.field().confirm();
        editor_.finish();
        return;
    }
    const bool kick = session_.kickingPossible();
    if (!isMenuState(top) && !kick) {
        return;
    }
    const QMap<int, QRect> hits = menus_.hitMap();
    for (auto it = hits.cbegin(); it != hits.cend(); ++it) {
        if (!it.value().contains(position)) {
            continue;
        }
        menus_.setCurrentEntry(it.key());
        if (kick) {
            kickKey(Qt::Key_Return);
        } else {
            menus_.activate(it.key(), button == Qt::RightButton ? MenuModel::Action::Back
                                                                : MenuModel::Action::Enter);
        }
        return;
    }
}
