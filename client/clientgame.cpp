#include "clientgame.h"

#include <utility>

#include "client/clienttexts.h"
#include "network/fieldimage.h"

ClientGame::ClientGame(ClientSession& session, ClientChannels& channels,
                       const HighscoreFile& highscores, ClientScreen& screen, QObject* parent)
    : QObject(parent),
      session_(session),
      channels_(channels),
      highscores_(highscores),
      screen_(screen) {
    ClientConnection& stream = channels.stream();
    ClientConnection& datagram = channels.datagram();
    connect(&stream, &ClientConnection::changedCGameRestart, this, &ClientGame::processGameRestart);
    connect(&stream, &ClientConnection::changedCPause, this, &ClientGame::processGamePause);
    connect(&stream, &ClientConnection::changedCGameOver, this, &ClientGame::processGameOver);

    connect(&datagram, &ClientConnection::changedCGameStart, this, &ClientGame::processGameStart);
    connect(&datagram, &ClientConnection::changedCGameState, this, &ClientGame::processGameState);
    connect(&datagram, &ClientConnection::changedCNewBlock, this, &ClientGame::processNewBlock);
    connect(&datagram, &ClientConnection::changedCMoveBlocks, this, &ClientGame::processMoveBlocks);
    connect(&datagram, &ClientConnection::changedCMergeBlocks, this, &ClientGame::mergeBlocks);
    // The keys start from zero with every field the screen is reset for.
    connect(&screen_, &ClientScreen::resetGui, this, [this] { sent_ = {}; });
}

void ClientGame::inputKeys(const KeyInput& keys) {
    if (session_.state != GamePlayer::Empty) {
        channels_.input(keys);
        sent_ = keys;
    }
}

void ClientGame::processMoveBlocks(const QList<GameMovement>& movements,
                                   const QList<int>& activeBlockIds, const QList<int>& keysDone) {
    const QList<int> done =
        keysDone.isEmpty() ? keysDone
                           : PayloadCodec::carriedOut(KeyInput::fromList(keysDone), sent_).toList();
    Q_EMIT moveBlocks(movements, activeBlockIds, done);
}

void ClientGame::processPacketLoss() {
    channels_.datagram().requestResend();
}

void ClientGame::showGame() {
    Q_EMIT screen_.setGuiBaseState(GuiState::Game, session_.state == GamePlayer::Spectating
                                                       ? ClientTexts::spectating()
                                                       : QString());
}

void ClientGame::processGameStart(const PayloadCodec::GameStart& start) {
    const int fieldsizeX = start.fieldsizeX;
    const int countDown = start.countDown;
    ClientSession& s = session_;
    s.fieldsizeX = fieldsizeX;
    if (countDown == 0) {
        s.countdownRunning = false;
        s.lastResult = LastResult::None;
        s.state = GamePlayer::Playing;
        Q_EMIT screen_.displayCountdown(QString());
        Q_EMIT startPlayTime();
        return;
    }
    if (!s.countdownRunning) {
        s.countdownRunning = true;
        s.countdownIsStart = true;
        Q_EMIT changeFieldsizeX(fieldsizeX);
        Q_EMIT screen_.resetGui(s.joined(false, false));
        showGame();
    }
    Q_EMIT screen_.displayCountdown(ClientTexts::startingIn(countDown));
}

void ClientGame::processGamePause(const PayloadCodec::Pause& pause) {
    const int connId = pause.clientId;
    const int countDown = pause.countDown;
    ClientSession& s = session_;
    if (countDown == -1) {
        s.countdownRunning = false;
        if (connId == s.ownConnId) {
            s.state = GamePlayer::Pausing;
        }
        Q_EMIT screen_.setGuiBaseState(GuiState::Game, ClientTexts::paused());
        Q_EMIT pausePlayTime(true);
    } else if (countDown == 0) {
        s.countdownRunning = false;
        if (connId == s.ownConnId) {
            s.state = GamePlayer::Playing;
        }
        Q_EMIT screen_.displayCountdown(QString());
        Q_EMIT pausePlayTime(false);
    } else {
        if (!s.countdownRunning) {
            s.countdownRunning = true;
            s.countdownIsStart = false;
            showGame();
        }
        Q_EMIT screen_.displayCountdown(ClientTexts::resumingIn(countDown));
    }
}

void ClientGame::processGameRestart(int /*connId*/) {
    ClientSession& s = session_;
    s.state = GamePlayer::Waiting;
    Q_EMIT stopPlayTime();
    Q_EMIT setRotation(true);
    Q_EMIT screen_.displayCountdown(QString());
    // A countdown under way: the start was called off, somebody is no longer Ready.
    s.lastResult = s.countdownRunning ? LastResult::StartAborted : LastResult::Restarted;
    s.countdownRunning = false;
    Q_EMIT screen_.setGuiBaseState(GuiState::Lobby, ClientTexts::lobby(s));
}

void ClientGame::processGameOver(const PayloadCodec::GameOver& over) {
    const int score = over.score;
    const QString& playtime = over.playtime;
    ClientSession& s = session_;
    if (s.state != GamePlayer::Spectating) {
        saveHighscore(score, over.lines, playtime);
    }
    s.state = GamePlayer::Waiting;
    s.lastResult = LastResult::Scored;
    s.lastScore = score;
    Q_EMIT stopPlayTime();
    Q_EMIT setRotation(true);
    Q_EMIT setScore(score, false);
    Q_EMIT setPlaytime(playtime, false);
    Q_EMIT screen_.setGuiBaseState(GuiState::Game, ClientTexts::lastResult(s));
    Q_EMIT gameOver(score, over.lines, playtime);
}

void ClientGame::saveHighscore(int score, int lines, const QString& playtime) {
    const QStringList names = session_.players.playing();
    // A line without players could never be read back.
    if (names.isEmpty() || names.size() > HighscoreFile::kMaxPlayers) {
        return;
    }
    if (!highscores_.append(score, lines, playtime, names)) {
        Q_EMIT screen_.displayError(ClientTexts::highscoreNotSaved(), false);
    }
}

void ClientGame::processNewBlock(const BlockRecord& block) {
    Q_EMIT createdNewBlock(block, session_.fieldsizeX);
}

void ClientGame::processGameState(const PayloadCodec::GameState& state) {
    const int fieldsizeX = state.fieldsizeX;
    ClientSession& s = session_;
    s.fieldsizeX = fieldsizeX;
    const bool back = std::exchange(s.rejoining, false);
    if (back) {
        s.state = GamePlayer::Playing;
    }
    Q_EMIT changeFieldsizeX(fieldsizeX);
    Q_EMIT screen_.resetGui(s.joined(false, !back));
    Q_EMIT screen_.setGuiBaseState(GuiState::Game, back ? QString() : ClientTexts::spectating());
    Q_EMIT startPlayTime();
    Q_EMIT setRotation(true);
    Q_EMIT setScore(state.score, true);
    Q_EMIT setPlaytime(state.playtime, true);

    const std::vector<FieldCell> landed = FieldImage::unpack(state.field, fieldsizeX);
    Q_EMIT createdField(fieldsizeX, QList<FieldCell>(landed.begin(), landed.end()));
    for (const BlockRecord& block : state.blocks) {
        Q_EMIT createdNewBlock(block, fieldsizeX);
    }

    if (state.paused) {
        processGamePause({-1, -1});  // -1 is nobody's connection: the own status stays
    }
}
