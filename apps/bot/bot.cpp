#include "bot.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <algorithm>

#include "game/appinfo.h"
#include "game/clock.h"
#include "game/gamedisplay.h"
#include "game/gamegrid.h"
#include "game/gamesimulation.h"
#include "server/tickmonitor.h"

namespace {

constexpr int kPartColumns = GameField::kColumnsPerPlayer;
constexpr int kDrop = 4;

}  // namespace

Bot::Bot(const BotOptions& options, const ClientNetwork& network, QObject* parent)
    : QObject(parent), options_(options), random_(options.seed) {
    Client::Environment env;
    env.directory = directory_.path();
    // The client reads its master server from its own folder: the bot's is
    // the one it was given, or the working directory's, as for --list.
    const QString master =
        options_.masterConfig.isEmpty()
            ? QDir::current().filePath(QLatin1String(Quadrell::kMasterserverFile))
            : options_.masterConfig;
    if (QFile::exists(master)) {
        QFile::copy(master,
                    QDir(env.directory).filePath(QLatin1String(Quadrell::kMasterserverFile)));
    }
    // Without --reconnect the seat goes with the bot's folder.
    env.seatFile = options_.seatFile;
    env.quit = [this](int) {
        // Only the bot's own goodbye ends the program this way.
        finish(0, QString());
    };
    ClientNetwork lossy = network;
    lossy.datagramLossPercent = options_.lossPercent;
    lossy.latency = options_.latency;
    lossy.lossSeed = options_.seed;
    client_ = std::make_unique<Client>(env, lossy);
    ClientSettings::Options named = client_->settings().options;
    named.name1 = options_.name;
    named.predictMoves = options_.predict;
    client_->setOptions(named);
    if (options_.skill != ComputerSkill::Simple) {
        computer_ = std::make_unique<ComputerPlayer>(options_.skill, options_.seed);
    }
    connectScreen();
    connectGame();
    connectField();

    repeatTimer_.setInterval(kRepeatMs);
    connect(&repeatTimer_, &QTimer::timeout, this, &Bot::repeat);
    thinkTimer_.setInterval(kThinkMs);
    connect(&thinkTimer_, &QTimer::timeout, this, &Bot::think);
    catchUpTimer_.setSingleShot(true);
    catchUpTimer_.setInterval(kCatchUpMs);
    connect(&catchUpTimer_, &QTimer::timeout, this, &Bot::reportGame);
}

void Bot::connectScreen() {
    ClientScreen& screen = client_->screen();
    connect(&screen, &ClientScreen::setGuiBaseState, this,
            [this](GuiState state, const QString&) { processBaseState(state); });
    connect(&screen, &ClientScreen::setGuiTopState, this, [this](GuiState state, const QString&) {
        if (state == GuiState::PasswordMenu) {
            finish(1, QStringLiteral("The server asks for a password (--password)."));
        }
    });
    connect(&screen, &ClientScreen::displayReachability, this, [this](const QString& line) {
        if (!line.isEmpty()) {
            Q_EMIT reachability(line);
        }
    });
    connect(&screen, &ClientScreen::displayError, this,
            [this](const QString& message, bool) { processError(message); });
    connect(
        &screen, &ClientScreen::displayChatMessage, this,
        [this](int playerId, const QString& message) {
            if (playerId == ChatSender::kStatsUploaded || playerId == ChatSender::kStatsFailed) {
                Q_EMIT statsNotice(message);
            }
        });
}

void Bot::connectGame() {
    ClientGame& game = client_->game();
    connect(client_.get(), &Client::changedPlayerlist, this,
            [this](const PayloadCodec::PlayerList& list) { processPlayerlist(list.connIds); });
    connect(&game, &ClientGame::startPlayTime, this, &Bot::processGameStart);
    // Game over or restart: not a press more until the next game starts.
    connect(&game, &ClientGame::stopPlayTime, this, [this] {
        playing_ = false;
        repeatTimer_.stop();
        thinkTimer_.stop();
    });
    connect(&game, &ClientGame::gameOver, this, &Bot::processGameOver);
}

void Bot::connectField() {
    // The client's copy has taken each report before the bot hears it.
    ClientGame& game = client_->game();
    connect(&game, &ClientGame::createdNewBlock, this, [this](const BlockRecord& block, int) {
        if (block.id == 0 && reportPending_) {
            reportGame();  // the next game's field: the last one is as complete as it gets
        }
        think();
    });
    connect(&game, &ClientGame::createdField, this, [this] {
        reportGame();
        fromSnapshot_ = true;  // after the game start it announces
        think();
    });
    connect(&game, &ClientGame::moveBlocks, this,
            [this](const QList<GameMovement>&, const QList<int>&, const QList<int>& done) {
                if (!done.isEmpty()) {
                    carriedOut_ = KeyInput::fromList(done);
                }
                think();
            });
    connect(&game, &ClientGame::mergeBlocks, this, [this] {
        linesSeen_ = mirror().lines();
        if (reportPending_ && linesSeen_ >= serverLines_) {
            reportGame();
        }
        think();
    });
}

Bot::~Bot() = default;

void Bot::start() {
    if (!directory_.isValid()) {
        finish(
            1,
            QStringLiteral("No directory for the bot's files: %1").arg(directory_.errorString()));
        return;
    }
    if (!options_.seatFile.isEmpty() && client_->resumeSeat()) {
        return;  // back into the game it was playing
    }
    client_->joinGame(false, options_.address, false, options_.password);
}

void Bot::finish(int exitCode, const QString& error) {
    if (done_) {
        return;
    }
    done_ = true;
    playing_ = false;
    counting_ = false;
    repeatTimer_.stop();
    catchUpTimer_.stop();
    thinkTimer_.stop();
    writeStats();
    Q_EMIT finished(exitCode, error);
}

QString Bot::predictionSummary() const {
    const MovePredictor::Figures& f = predictionFigures();
    std::vector<int> jumps = f.jumps;
    std::sort(jumps.begin(), jumps.end());
    const auto at = [&](double q) {
        return jumps.empty() ? 0 : jumps.at(std::size_t(q * double(jumps.size() - 1) + 0.5));
    };
    return QStringLiteral(
               "prediction: %1 own moves, %2 corrected (%3 per 1,000), jumps in cells: "
               "median %4, p99 %5, most %6")
        .arg(f.moves)
        .arg(f.mispredictions)
        .arg(f.moves > 0 ? 1000.0 * f.mispredictions / f.moves : 0.0, 0, 'f', 1)
        .arg(at(0.5))
        .arg(at(0.99))
        .arg(jumps.empty() ? 0 : jumps.back());
}

void Bot::writeStats() const {
    if (options_.statsFile.isEmpty()) {
        return;
    }
    const MovePredictor::Figures& f = predictionFigures();
    const std::vector<double> jumps(f.jumps.begin(), f.jumps.end());
    const QJsonObject stats{
        {QStringLiteral("games"), gamesPlayed_},
        {QStringLiteral("echoMilliseconds"), TickMonitor::figures(echoMs_).toJson()},
        {QStringLiteral("predictedMoves"), f.moves},
        {QStringLiteral("mispredictions"), f.mispredictions},
        {QStringLiteral("jumpCells"), TickMonitor::figures(jumps).toJson()},
    };
    QSaveFile file(options_.statsFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(stats).toJson()) < 0 ||
        !file.commit()) {
        qWarning("quadrell-bot: cannot write '%s': %s", qPrintable(options_.statsFile),
                 qPrintable(file.errorString()));
    }
}

void Bot::processError(const QString& message) {
    // Errors that leave the client unconnected end the bot; others (a file it
    // could not write) do not matter to it.
    if (client_->state() == GamePlayer::Empty && !leaving_) {
        finish(1, message);
    }
}

void Bot::processBaseState(GuiState state) {
    if (state != GuiState::Lobby || leaving_ || done_) {
        return;
    }
    // Not from inside the client's own handler: it goes on after telling us.
    QTimer::singleShot(0, this, [this] {
        const auto listed = std::count_if(listedConnIds_.begin(), listedConnIds_.end(),
                                          [](int id) { return id >= 0; });
        if (!leaving_ && !done_ && client_->state() == GamePlayer::Waiting &&
            listed >= options_.waitPlayers) {
            client_->lobby().setReady();
        }
    });
}

void Bot::processPlayerlist(const QList<int>& connIds) {
    listedConnIds_ = connIds;
}

void Bot::processGameStart() {
    // Also said to a spectator who came in during a game: that one waits.
    if (client_->state() != GamePlayer::Playing) {
        return;
    }
    // The server deals each player in the list, in order, the next part of
    // the ring.
    int part = 0;
    for (int id : listedConnIds_) {
        if (id == client_->ownConnId()) {
            break;
        }
        part += id >= 0 ? 1 : 0;
    }
    partColumn_ = part * kPartColumns;
    keys_ = {};  // the server starts every game from zero
    carriedOut_ = {};
    linesSeen_ = 0;
    fromSnapshot_ = false;
    presses_ = 0;
    pieceId_ = -1;
    pressPending_ = false;
    playing_ = true;
    counting_ = true;
    repeatTimer_.start();
    if (computer_) {
        computer_->setPart(std::max(kPartColumns, mirror().fieldsizeX()), partColumn_,
                           options_.columns);
        playClock_.start();
        thinkTimer_.start();
    }
    think();
}

void Bot::processGameOver(int score, int lines, const QString& playtime) {
    if (!counting_) {
        return;  // watched, not played
    }
    counting_ = false;
    serverScore_ = score;
    serverLines_ = lines;
    playtime_ = playtime;
    reportPending_ = true;
    if (linesSeen_ >= lines || fromSnapshot_) {
        reportGame();
        return;
    }
    catchUpTimer_.start();
}

void Bot::reportGame() {
    if (!reportPending_) {
        return;
    }
    reportPending_ = false;
    catchUpTimer_.stop();
    ++gamesPlayed_;
    Q_EMIT gameFinished(gamesPlayed_, serverScore_, fromSnapshot_ ? serverLines_ : linesSeen_,
                        playtime_);
    if (gamesPlayed_ >= options_.games) {
        leaving_ = true;
        QTimer::singleShot(0, this, [this] { client_->endProgramm(); });
    }
}

PlacementPolicy::Target Bot::chooseTarget(const GameBlock& block) {
    const int fieldsizeX = mirror().fieldsizeX();
    if (random_.next() % kWhimEvery == 0) {
        // Any place where the whole piece stays inside the columns it fills.
        const auto places =
            PlacementPolicy::placements(fieldsizeX, block.kind(), partColumn_, options_.columns);
        if (!places.empty()) {
            return places.at(random_.next() % places.size());
        }
    }
    const FieldMirror& m = mirror();
    return PlacementPolicy::choose([&m](int c, int r) { return m.landed(c, r); }, fieldsizeX,
                                   block.kind(), partColumn_, options_.columns);
}

void Bot::press(int key, const GameBlock& block, int column) {
    ++keys_[0][std::size_t(key)];
    ++presses_;
    pressPending_ = true;
    pressKey_ = key;
    pressRotation_ = block.rotation();
    pressColumn_ = column;
    pressClock_.start();
    sendKeys();
}

void Bot::sendKeys() {
    client_->inputKeys(keys_);
}

void Bot::think() {
    client_->field().advancePredictions();
    if (!playing_ || client_->state() != GamePlayer::Playing) {
        return;
    }
    const int id = mirror().activeBlockIds().value(0, -1);  // the first local player's
    const GameBlock* block = mirror().block(id);
    if (id <= 0 || block == nullptr || !FieldMirror::onField(*block)) {
        return;
    }
    if (computer_) {
        thinkAsComputer(id);
        return;
    }
    const int fieldsizeX = mirror().fieldsizeX();
    const int column = GameGrid::column(fieldsizeX, block->x());
    if (id != pieceId_) {
        pieceId_ = id;
        target_ = chooseTarget(*block);
        givenUp_ = false;
        pressPending_ = false;
    } else if (pressPending_ && (pressKey_ == kDrop ||
                                 (block->rotation() == pressRotation_ && column == pressColumn_))) {
        // One press at a time: the last one has not shown yet.
        if (pressKey_ == kDrop ||
            carriedOut_[0][std::size_t(pressKey_)] < keys_[0][std::size_t(pressKey_)]) {
            return;
        }
        givenUp_ = true;  // carried out and not shown: refused
        pressPending_ = false;
    } else if (pressPending_ && echoMs_.size() < kMaxEchoSamples) {
        echoMs_.push_back(static_cast<double>(pressClock_.nsecsElapsed()) / 1e6);
    }
    const int key =
        givenUp_ ? kDrop : PlacementPolicy::nextKey(block->rotation(), column, target_, fieldsizeX);
    press(key, *block, column);
}

void Bot::thinkAsComputer(int blockId) {
    // The speed grows by one every minute of play, as the server counts it.
    const qint64 playedMs = playClock_.elapsed();
    const int speed = std::min<qint64>(
        GameSimulation::kMaxSpeed,
        1 + playedMs / (GameSimulation::kTicksPerSpeedStep * ComputerPlayer::kTickMs));
    const ComputerPlayer::Counters counters{keys_[0], carriedOut_[0]};
    const ComputerPlayer::Keys keys =
        computer_->think(mirror(), blockId, speed, playedMs, counters);
    bool pressed = false;
    keys_.add(0, keys);
    for (int k : keys) {
        presses_ += k;
        pressed = pressed || k > 0;
    }
    if (pressed) {
        sendKeys();
    }
}

void Bot::repeat() {
    if (!playing_) {
        return;
    }
    client_->field().advancePredictions();
    if (!computer_ && pressPending_ && pressClock_.elapsed() > kGiveUpMs) {
        givenUp_ = true;
        pressPending_ = pressKey_ == kDrop;  // a drop only shows as the next piece
        think();
    }
    sendKeys();
}
