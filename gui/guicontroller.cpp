#include "guicontroller.h"

#include "gui/media/soundeffects.h"

#include <QKeyEvent>
#include <algorithm>

namespace {

bool isMenuState(GuiState s) {
    return s >= GuiState::MainMenu && s <= GuiState::OptionsMenu;
}

bool isEditState(GuiState s) {
    return s >= GuiState::EditServerName && s <= GuiState::ChatInput;
}

bool isEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool isUp(int key) {
    return key == Qt::Key_Up || key == Qt::Key_W;
}

bool isDown(int key) {
    return key == Qt::Key_Down || key == Qt::Key_S;
}

}  // namespace

GuiController::GuiController(const ClientSettings& settings, const HighscoreFile& highscores,
                             QSize fullscreen, TimerSource& timers, QObject* parent)
    : QObject(parent),
      timers_(timers),
      highscoreFile_(highscores),
      stack_(timers),
      keys_(timers),
      chat_(timers.clock()),
      labels_(timers.clock()),
      score_(timers.clock()),
      unlockTimer_(timers.makeTimer(true, [this] { unlockKeys(); })),
      pulseTimer_(timers.makeTimer(false, [this] { blink(); })),
      introTimer_(timers.makeTimer(false, [this] { playVideo(); })),
      fpsTimer_(timers.makeTimer(false, [this] { updateFPS(); })) {
    const ClientSettings::Options& o = settings.options;
    options_.name1 = o.name1;
    options_.name2 = o.name2;
    options_.invertControls = o.invertControl;
    options_.showPreview = o.showPreview;
    options_.showPointers = o.showPointer;
    options_.showFPS = o.showFPS;
    options_.ignoreColors = o.ignoreColors;
    options_.quality = o.quality;
    options_.enableVSync = o.enableVSync;
    options_.playSounds = o.playSounds;
    options_.rankedLocal = o.enableStatsSP;
    options_.showIntro = o.showIntro;
    resWidth_ = uint(std::max(o.resWidth, 0));
    resHeight_ = uint(std::max(o.resHeight, 0));
    options_.resolution = resWidth_ > 0 && resHeight_ > 0
                              ? ResolutionList::key(int(resWidth_), int(resHeight_))
                              : ResolutionList::key(fullscreen.width(), fullscreen.height());
    colour1_ = o.color1;
    colour2_ = o.color2;

    const ClientSettings::Hosting& h = settings.hosting;
    hosting_ = {h.name, h.ranked, h.usePassword, h.password, h.maxPlayers, QString::number(h.port)};
    address_ = settings.cache.ip;
    servers_.setFilters(ServerListModel::fromMask(settings.cache.filter));

    viewHeight_ = fullscreen.height();
    connect(&intro_, &IntroSequence::soundRequested, this, &GuiController::requestSound);
    connect(&intro_, &IntroSequence::finished, this, &GuiController::showMainMenu);
    connect(&credits_, &CreditsRoll::finished, this, &GuiController::showMainMenu);
    connect(&stack_, &GuiStack::applied, this, &GuiController::applied);
    connect(&keys_, &KeyCounters::changedInput, this, &GuiController::changedInput);
    if (options_.showIntro) {
        stack_.setBaseState(GuiState::Intro, QString());
        startVideo();
    } else {
        stack_.setBaseState(GuiState::MainMenu, QString());
    }
}

GuiController::~GuiController() = default;

// ---------------------------------------------------------------------------
// States

void GuiController::applied(GuiState state, bool reset) {
    applyCursor();
    if (reset) {
        currentEntry_ = state == GuiState::ServerList ? int(ServerListModel::FirstHeader) : 0;
    }
    if (state == GuiState::Lobby) {
        keys_.releaseAll();
        inputLock_ = true;
        unlockTimer_->start(kUnlockMs);
    }
    // Frame rate and play time are shown only over a game; in the menus the
    // second tick would only wake the widget.
    const bool inGame = stack_.base() == GuiState::Lobby || stack_.base() == GuiState::Game;
    if (!inGame) {
        fpsTimer_->stop();
    } else if (!fpsTimer_->isActive()) {
        fpsTimer_->start(kFpsMs);
    }
    hitMap_.clear();
}

void GuiController::applyCursor() {
    const GuiState top = stack_.top();
    const bool menu =
        isMenuState(top) || (top >= GuiState::EditServerName && top <= GuiState::EditPlayerName2);
    mouseTracking_ =
        menu || (top == GuiState::Lobby && host_) || (top == GuiState::Game && host_ && tab_);
    ownCursor_ = mouseTracking_ || windowed_;
    Q_EMIT cursorChanged(ownCursor_, mouseTracking_);
}

GuiState GuiController::menuState() const {
    GuiState s = stack_.top();
    if (isEditState(s)) {
        s = stack_.belowTop();
    }
    return isMenuState(s) ? s : GuiState::NoState;
}

void GuiController::setBaseState(GuiState state, QString message) {
    stack_.setBaseState(state, message);
}

void GuiController::setTopState(GuiState state, QString message) {
    stack_.setTopState(state, message);
}

void GuiController::setLastState() {
    stack_.setNextGuiState(false);
}

void GuiController::setNextGuiState(bool resetCurrentMenuEntry) {
    stack_.setNextGuiState(resetCurrentMenuEntry);
}

void GuiController::displayError(QString message, bool leaveGame) {
    stack_.displayError(message, leaveGame);
}

void GuiController::displayMessage(QString message) {
    stack_.displayMessage(message);
}

void GuiController::displayCountdown(QString message) {
    stack_.setCountdown(message);
}

void GuiController::setNextTextMessage() {
    stack_.setNextTextMessage();
}

void GuiController::resetGui(bool resetPlayers, int mPlayers, bool splitscreen, bool host,
                             bool spec, int cId) {
    if (resetPlayers) {
        players_.clear();
        stack_.popAboveBase();
    }
    maxPlayers_ = mPlayers;
    splitscreen_ = splitscreen;
    host_ = host;
    spectator_ = spec;
    ownConnId_ = cId;
    score_.reset();
    keys_.reset();
    labels_.clear();
    applyCursor();
}

void GuiController::showMainMenu() {
    introTimer_->stop();
    stack_.setBaseState(GuiState::MainMenu, QString());
}

void GuiController::startVideo() {
    videoStartMs_ = timers_.clock().nowMs();
    videoTicks_ = 0;
    introTimer_->start(kIntroMs);
}

void GuiController::playVideo() {
    // Ticks that a slow frame held back are made up, so the intro and the
    // credits keep their pace however fast frames are drawn.
    const qint64 due = (timers_.clock().nowMs() - videoStartMs_) / kIntroMs;
    for (; videoTicks_ < due && introTimer_->isActive(); ++videoTicks_) {
        if (stack_.base() == GuiState::Intro) {
            intro_.tick(viewHeight_);
        } else {
            credits_.tick(viewHeight_);
        }
    }
}

void GuiController::blink() {
    pulse_ = pulse_ >= 100 ? 0 : pulse_ + 1;
}

void GuiController::startPulse() {
    if (!pulseTimer_->isActive()) {
        pulseTimer_->start(kPulseMs);
    }
}

void GuiController::stopPulse() {
    pulseTimer_->stop();
}

void GuiController::unlockKeys() {
    inputLock_ = false;
}

void GuiController::setWindowed(bool windowed) {
    windowed_ = windowed;
    applyCursor();
}

void GuiController::requestSound(int sound) {
    if (options_.playSounds) {
        Q_EMIT soundRequested(sound);
    }
}

// ---------------------------------------------------------------------------
// Players, chat, score

bool GuiController::kickingPossible() const {
    const GuiState top = stack_.top();
    return host_ && (top == GuiState::Lobby || (top == GuiState::Game && tab_)) &&
           (maxPlayers_ > 2 || (maxPlayers_ == 2 && !splitscreen_));
}

int GuiController::ownPosition(int local) const {
    int found = 0;
    for (int i = 0; i < players_.positions(); ++i) {
        const PlayerTable::Player* p = players_.atPosition(i);
        if (p != nullptr && p->connId == ownConnId_ && found++ == local) {
            return i;
        }
    }
    return -1;
}

void GuiController::playersChanged() {
    if (kickingPossible()) {
        const int count = int(kickList().size());
        currentEntry_ = std::clamp(currentEntry_, 0, std::max(0, count - 1));
        hitMap_.clear();
    }
}

void GuiController::updatePlayerlist(QList<int> connIds, QStringList names, QList<int> colors,
                                     QList<GamePlayer::PlayerStatus> status) {
    players_.update(connIds, names, colors, status);
    playersChanged();
}

void GuiController::updatePinglist(QList<int> connIds, QList<int> pings) {
    players_.updatePings(connIds, pings);
}

void GuiController::removePlayer(int connId) {
    players_.removeConnection(connId);
    playersChanged();
}

void GuiController::displayChatMessage(int playerId, QString message) {
    if (playerId >= 0) {
        const PlayerTable::Player* p = players_.atPosition(playerId);
        chat_.add(QLatin1Char('[') + (p != nullptr ? p->name : QStringLiteral("?")) +
                  QStringLiteral("] ") + message);
    } else if (playerId == -1 || playerId == -3 || playerId == -4) {
        chat_.add(tr("Notice") + QStringLiteral(": ") + message);
        if (playerId != -1) {
            requestSound(Sound::User);
        }
    } else if (playerId == -2) {
        chat_.add(tr("Error") + QStringLiteral(": ") + message);
    }
}

void GuiController::resetChat() {
    chat_.clear();
}

void GuiController::startPlayTime() {
    score_.start();
}

void GuiController::pausePlayTime(bool paused) {
    score_.pause(paused);
}

void GuiController::stopPlayTime() {
    score_.stop();
}

void GuiController::setScore(int score, bool add) {
    score_.setScore(score, add);
}

void GuiController::setPlaytime(QString playtime, bool add) {
    score_.setPlaytime(playtime, add);
}

void GuiController::updateFPS() {
    score_.secondTick();
}

void GuiController::addPointLabel(int points, int row) {
    score_.addLinePoints(points);
    labels_.add(points, row);
}

// ---------------------------------------------------------------------------
// Server list

void GuiController::processMasterserverResult(MasterserverResult result) {
    servers_.setResult(result);
    if (result == MasterserverResult::ResultNone ||
        result == MasterserverResult::MasterListReceived) {
        if (!retrieving_) {
            retrieving_ = true;
            startPulse();
        }
    } else {
        retrieving_ = false;
        stopPulse();
    }
    clampServerEntry();
}

void GuiController::addServer(ServerData server) {
    servers_.add(std::move(server));
    clampServerEntry();
}

void GuiController::clampServerEntry() {
    if (stack_.top() == GuiState::ServerList) {
        currentEntry_ = std::min(currentEntry_, servers_.lastEntry());
        hitMap_.clear();
    }
}

// ---------------------------------------------------------------------------
// Keys

bool GuiController::keyPress(const QKeyEvent& event) {
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
    const GuiState top = stack_.top();
    if (isEditState(top)) {
        return editKey(event);
    }
    if (repeat) {
        return true;
    }
    const GuiState base = stack_.base();
    // The chat opens over the game and its menus, but never over an overlay.
    if ((key == Qt::Key_T || key == Qt::Key_U) &&
        (base == GuiState::Lobby || base == GuiState::Game) && top != GuiState::Notice &&
        !(top == GuiState::Lobby && inputLock_)) {
        openChat(key == Qt::Key_U && splitscreen_ ? 1 : 0);
        return true;
    }
    switch (top) {
        case GuiState::Intro:
        case GuiState::About:
            if (key == Qt::Key_Escape || isEnter(key)) {
                showMainMenu();
            }
            return true;
        case GuiState::Notice:
            if (key == Qt::Key_Escape) {
                Q_EMIT abortAction();
            }
            return true;
        case GuiState::Lobby:
            lobbyKey(key);
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

void GuiController::keyRelease(const QKeyEvent& event) {
    if (event.isAutoRepeat()) {
        return;
    }
    if (event.key() == Qt::Key_Tab) {
        tab_ = false;
        hitMap_.clear();
        applyCursor();
        return;
    }
    keys_.release(KeyCounters::indexFor(event.key(), splitscreen_, options_.invertControls));
}

bool GuiController::editKey(const QKeyEvent& event) {
    const bool chat = stack_.top() == GuiState::ChatInput;
    switch (field_.key(event)) {
        case TextField::Result::Confirm:
            if (chat && !chatLine_.isEmpty()) {
                Q_EMIT sendMessage(chatPlayer_, chatLine_);
            }
            finishEdit();
            break;
        case TextField::Result::Cancel:
            finishEdit();
            break;
        case TextField::Result::Edited:
        case TextField::Result::Ignored:
            break;
    }
    return true;
}

void GuiController::finishEdit() {
    field_.end();
    stack_.setNextGuiState(false);
    if (stack_.base() != GuiState::Game) {
        stopPulse();
    }
}

void GuiController::startEdit(QString* target, int maxLength, bool spaces, bool digitsOnly,
                              GuiState state) {
    startPulse();
    field_.begin(target, maxLength, spaces, digitsOnly);
    stack_.push(state, false);
}

void GuiController::openChat(int player) {
    chatPlayer_ = player;
    chatLine_.clear();
    startEdit(&chatLine_, 100, true, false, GuiState::ChatInput);
}

void GuiController::openGameMenu() {
    Q_EMIT setMenuOpen(true);
    startPulse();
    push(GuiState::GameMenu);
}

void GuiController::lobbyKey(int key) {
    if (inputLock_) {
        return;
    }
    if (key == Qt::Key_Escape) {
        openGameMenu();
    } else if (key == Qt::Key_R) {
        Q_EMIT changedReady();
    } else if (key == Qt::Key_S && host_) {
        // The lobby tells the host to press 's' once everybody is ready.
        Q_EMIT changedStart();
    } else if (kickKey(key)) {
        return;
    } else if (key == Qt::Key_A || key == Qt::Key_D) {
        stepColour(0, key == Qt::Key_D);
    } else if (key == Qt::Key_Left || key == Qt::Key_Right) {
        stepColour(splitscreen_ ? 1 : 0, key == Qt::Key_Right);
    }
}

bool GuiController::kickKey(int key) {
    if (!isUp(key) && !isDown(key) && !isEnter(key)) {
        return false;
    }
    if (!kickingPossible()) {
        return true;
    }
    const QList<int> list = kickList();
    if (list.isEmpty()) {
        return true;
    }
    const int count = int(list.size());
    if (isEnter(key)) {
        if (currentEntry_ >= 0 && currentEntry_ < count) {
            Q_EMIT changedKick(list[currentEntry_]);
        }
    } else {
        currentEntry_ = (currentEntry_ + (isDown(key) ? 1 : count - 1)) % count;
    }
    return true;
}

void GuiController::stepColour(int local, bool up) {
    const PlayerTable::Player* p = players_.player(PlayerTable::playerId(ownConnId_, local));
    if (p == nullptr || p->status != GamePlayer::Waiting) {
        return;
    }
    int& colour = local == 0 ? colour1_ : colour2_;
    colour = up ? (colour >= 5 ? -1 : colour + 1) : (colour <= -1 ? 5 : colour - 1);
    Q_EMIT setColors(colour1_, colour2_);
}

void GuiController::gameKey(int key) {
    if (key == Qt::Key_Escape) {
        openGameMenu();
        return;
    }
    if (key == Qt::Key_Tab) {
        tab_ = true;
        if (host_) {
            hitMap_.clear();
            applyCursor();
        }
        return;
    }
    if (key == Qt::Key_R) {
        Q_EMIT changedReady();
        return;
    }
    if (tab_ && host_) {
        kickKey(key);
        return;
    }
    const int index = KeyCounters::indexFor(key, splitscreen_, options_.invertControls);
    if (index >= 0 && score_.running() && !spectator_) {
        keys_.press(index);
    }
}

void GuiController::repeatKey(int i) {
    keys_.repeatKey(i);
}

void GuiController::menuKey(int key) {
    if (isUp(key)) {
        stepEntry(false);
    } else if (isDown(key)) {
        stepEntry(true);
    } else if (isEnter(key)) {
        activate(currentEntry_, Action::Enter);
    } else if (key == Qt::Key_Right || key == Qt::Key_D) {
        activate(currentEntry_, Action::Right);
    } else if (key == Qt::Key_Left || key == Qt::Key_A) {
        activate(currentEntry_, Action::Left);
    } else if (key == Qt::Key_Escape) {
        escape();
    }
}

void GuiController::stepEntry(bool down) {
    const QList<MenuEntry> entries = menu(stack_.top()).entries;
    const int count = int(entries.size());
    if (count == 0) {
        return;
    }
    int position = 0;
    for (int i = 0; i < count; ++i) {
        if (entries[i].index == currentEntry_) {
            position = i;
        }
    }
    for (int step = 0; step < count; ++step) {
        position = (position + (down ? 1 : count - 1)) % count;
        if (entries[position].enabled) {
            currentEntry_ = entries[position].index;
            return;
        }
    }
}

void GuiController::serverListKey(int key) {
    if (isUp(key) || isDown(key)) {
        currentEntry_ = servers_.nextEntry(currentEntry_, isDown(key));
    } else if (isEnter(key)) {
        activate(currentEntry_, Action::Enter);
    } else if (key == Qt::Key_Left || key == Qt::Key_A) {
        activateServerList(ServerListModel::PreviousPage, Action::Enter);
    } else if (key == Qt::Key_Right || key == Qt::Key_D) {
        activateServerList(ServerListModel::NextPage, Action::Enter);
    } else if (key == Qt::Key_Escape) {
        pop();
    }
}

// ---------------------------------------------------------------------------
// Mouse

void GuiController::mouseMove(QPoint position) {
    const GuiState top = stack_.top();
    if (!isMenuState(top) && !kickingPossible()) {
        return;
    }
    for (auto it = hitMap_.cbegin(); it != hitMap_.cend(); ++it) {
        if (it.value().contains(position)) {
            currentEntry_ = it.key();
            return;
        }
    }
}

void GuiController::mousePress(QPoint position, Qt::MouseButton button) {
    const GuiState top = stack_.top();
    if (top == GuiState::Intro || top == GuiState::About) {
        showMainMenu();
        return;
    }
    if (top >= GuiState::EditServerName && top <= GuiState::EditPlayerName2) {
        field_.confirm();
        finishEdit();
        return;
    }
    const bool kick = kickingPossible();
    if (!isMenuState(top) && !kick) {
        return;
    }
    for (auto it = hitMap_.cbegin(); it != hitMap_.cend(); ++it) {
        if (!it.value().contains(position)) {
            continue;
        }
        currentEntry_ = it.key();
        if (kick) {
            kickKey(Qt::Key_Return);
        } else {
            activate(currentEntry_, button == Qt::RightButton ? Action::Back : Action::Enter);
        }
        return;
    }
}
