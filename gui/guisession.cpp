#include "gui/guisession.h"

#include <QClipboard>
#include <QGuiApplication>
#include <utility>

#include "game/gamedisplay.h"
#include "gui/media/soundeffects.h"

GuiSession::GuiSession(TimerSource& timers, bool showIntro, int viewHeight, QObject* parent)
    : QObject(parent),
      timers_(timers),
      stack_(timers),
      chat_(timers.clock()),
      labels_(timers.clock()),
      score_(timers.clock()),
      fpsTimer_(timers.makeTimer(false, [this] { updateFPS(); })),
      pulseTimer_(timers.makeTimer(false, [this] { blink(); })),
      viewHeight_(viewHeight),
      introTimer_(timers.makeTimer(false, [this] { playVideo(); })) {
    connect(&intro_, &IntroSequence::soundRequested, this, &GuiSession::soundRequested);
    connect(&intro_, &IntroSequence::finished, this, &GuiSession::showMainMenu);
    connect(&credits_, &CreditsRoll::finished, this, &GuiSession::showMainMenu);
    connect(&stack_, &GuiStack::applied, this, &GuiSession::applied);
    connect(&stack_, &GuiStack::changed, this, &GuiSession::changed);
    if (showIntro) {
        stack_.setBaseState(GuiState::Intro, QString());
        startVideo();
    } else {
        stack_.setBaseState(GuiState::MainMenu, QString());
    }
}

GuiSession::~GuiSession() = default;

// ---------------------------------------------------------------------------
// States

void GuiSession::applied(GuiState state, bool reset) {
    applyCursor();
    // Frame rate and play time are shown only over a game; in the menus the
    // second tick would only wake the view.
    const bool inGame = stack_.base() == GuiState::Lobby || stack_.base() == GuiState::Game;
    if (!inGame) {
        fpsTimer_->stop();
    } else if (!fpsTimer_->isActive()) {
        fpsTimer_->start(kFpsMs);
    }
    Q_EMIT stateApplied(state, reset);
}

void GuiSession::applyCursor() {
    Q_EMIT cursorChanged(ownCursor(), mouseTracking());
}

bool GuiSession::mouseTracking() const {
    const GuiState top = stack_.top();
    return isMenuState(top) || isMenuFieldState(top) || (top == GuiState::Lobby && joined_.host) ||
           (top == GuiState::Game && joined_.host && tab_);
}

GuiState GuiSession::menuState() const {
    GuiState s = stack_.top();
    if (isEditState(s)) {
        s = stack_.belowTop();
    }
    return isMenuState(s) ? s : GuiState::NoState;
}

void GuiSession::setTabHeld(bool held) {
    tab_ = held;
    applyCursor();
}

void GuiSession::resetGui(const JoinedGame& game) {
    if (game.newPlayers) {
        players_.clear();
        stack_.popAboveBase();
    }
    joined_ = game;
    score_.reset();
    labels_.clear();
    applyCursor();
    Q_EMIT gameReset();
    Q_EMIT changed();
}

void GuiSession::setWindowed(bool windowed) {
    windowed_ = windowed;
    applyCursor();
    Q_EMIT changed();
}

void GuiSession::setGamepads(QStringList names) {
    gamepads_ = std::move(names);
    Q_EMIT changed();
}

void GuiSession::setReachability(QString line) {
    reachability_ = std::move(line);
    Q_EMIT changed();
}

void GuiSession::setInviteCode(QString code) {
    inviteCode_ = std::move(code);
}

void GuiSession::copyInviteCode() {
    if (inviteCode_.isEmpty()) {
        return;
    }
    QGuiApplication::clipboard()->setText(inviteCode_);
    stack_.displayMessage(tr("Invite code %1 copied to the clipboard.").arg(inviteCode_));
}

// ---------------------------------------------------------------------------
// Intro, credits and pulse

void GuiSession::showMainMenu() {
    introTimer_->stop();
    stack_.setBaseState(GuiState::MainMenu, QString());
}

void GuiSession::showCredits() {
    stack_.setBaseState(GuiState::About, QString());
    credits_.restart();
    startVideo();
}

void GuiSession::startVideo() {
    videoStartMs_ = timers_.clock().nowMs();
    videoTicks_ = 0;
    introTimer_->start(kIntroMs);
}

void GuiSession::playVideo() {
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

void GuiSession::blink() {
    pulse_ = pulse_ >= 100 ? 0 : pulse_ + 1;
}

void GuiSession::startPulse() {
    if (!pulseTimer_->isActive()) {
        pulseTimer_->start(kPulseMs);
    }
}

void GuiSession::stopPulse() {
    pulseTimer_->stop();
}

// ---------------------------------------------------------------------------
// Players, chat, score

bool GuiSession::kickingPossible() const {
    const GuiState top = stack_.top();
    return joined_.host && (top == GuiState::Lobby || (top == GuiState::Game && tab_)) &&
           (joined_.maxPlayers > 2 || (joined_.maxPlayers == 2 && !joined_.splitscreen));
}

int GuiSession::ownPosition(int local) const {
    int found = 0;
    for (int i = 0; i < players_.positions(); ++i) {
        const PlayerTable::Player* p = players_.atPosition(i);
        if (p != nullptr && p->connId == joined_.ownConnId && found++ == local) {
            return i;
        }
    }
    return -1;
}

void GuiSession::updatePlayerlist(const PayloadCodec::PlayerList& list) {
    players_.update(list);
    Q_EMIT playersChanged();
    Q_EMIT changed();
}

void GuiSession::updatePinglist(const PayloadCodec::PingList& list) {
    players_.updatePings(list);
    Q_EMIT changed();
}

void GuiSession::removePlayer(int connId) {
    players_.removeConnection(connId);
    Q_EMIT playersChanged();
    Q_EMIT changed();
}

void GuiSession::displayChatMessage(int playerId, QString message) {
    if (playerId >= 0) {
        const PlayerTable::Player* p = players_.atPosition(playerId);
        chat_.add(QLatin1Char('[') + (p != nullptr ? p->name : QStringLiteral("?")) +
                  QStringLiteral("] ") + message);
    } else if (playerId == ChatSender::kStatsUploaded || playerId == ChatSender::kPlayerJoined ||
               playerId == ChatSender::kPlayerLeft) {
        chat_.add(tr("Notice") + QStringLiteral(": ") + message);
        if (playerId != ChatSender::kStatsUploaded) {
            Q_EMIT soundRequested(Sound::User);
        }
    } else if (playerId == ChatSender::kStatsFailed) {
        chat_.add(tr("Error") + QStringLiteral(": ") + message);
    }
    Q_EMIT changed();
}

void GuiSession::resetChat() {
    chat_.clear();
    Q_EMIT changed();
}

void GuiSession::startPlayTime() {
    score_.start();
}

void GuiSession::pausePlayTime(bool paused) {
    score_.pause(paused);
}

void GuiSession::stopPlayTime() {
    score_.stop();
}

void GuiSession::setScore(int score, bool add) {
    score_.setScore(score, add);
    Q_EMIT changed();
}

void GuiSession::setPlaytime(QString playtime, bool add) {
    score_.setPlaytime(playtime, add);
    Q_EMIT changed();
}

void GuiSession::updateFPS() {
    score_.secondTick();
}

void GuiSession::addPointLabel(int points, int row) {
    score_.addLinePoints(points);
    labels_.add(points, row);
}

void GuiSession::setFieldsizeX(int columns) {
    fieldsizeX_ = columns;
}

// ---------------------------------------------------------------------------
// Server list

void GuiSession::setRetrieving(bool on) {
    retrieving_ = on;
    if (on) {
        startPulse();
    } else {
        stopPulse();
    }
}

void GuiSession::processMasterserverResult(MasterserverResult result) {
    servers_.setResult(result);
    if (result == MasterserverResult::ResultNone ||
        result == MasterserverResult::MasterListReceived) {
        if (!retrieving_) {
            setRetrieving(true);
        }
    } else {
        setRetrieving(false);
    }
    Q_EMIT serversChanged();
    Q_EMIT changed();
}

void GuiSession::addServer(ServerData server) {
    servers_.add(std::move(server));
    Q_EMIT serversChanged();
    Q_EMIT changed();
}

void GuiSession::beginLanRound() {
    if (servers_.beginLanRound()) {
        Q_EMIT serversChanged();
        Q_EMIT changed();
    }
}
