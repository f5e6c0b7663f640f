#include "glwidget.h"

#include <QBitmap>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSurfaceFormat>

#include "client/client.h"
#include "gui/media/soundeffects.h"
#include "gui/overlaypainter.h"
#include "gui/scene/previewpainter.h"
#include "gui/scene/swapcontrol.h"
#include "gui/screenshotfiles.h"

namespace {

QCursor ownCursor() {
    const QString bitmap = QStringLiteral(":/cursors/bitmap");
    const QString mask = QStringLiteral(":/cursors/mask");
    if (QFile::exists(bitmap) && QFile::exists(mask)) {
        return QCursor(QBitmap(bitmap), QBitmap(mask), 0, 0);
    }
    return QCursor(Qt::ArrowCursor);
}

}  // namespace

GLWidget::GLWidget(Client* client, uint resWidth, uint resHeight, QWidget* parent,
                   GuiEnvironment environment)
    : QOpenGLWidget(parent),
      environment_(std::move(environment)),
      timers_(environment_.timers != nullptr ? *environment_.timers : TimerSource::system(),
              [this] { update(); }),
      gui_(std::make_unique<GuiController>(client->settings(), client->highscores(),
                                           QSize(int(resWidth), int(resHeight)), timers_)),
      cursor_(ownCursor()),
      renderer_(environment_.textures ? environment_.textures() : SceneTextures::fromResources()),
      cameraTimer_(timers_.makeTimer(false, [this] { scene_.moveCamera(); })) {
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setSamples(4);
    setFormat(SwapControl::withVSync(format, gui_->options().enableVSync));
    setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);

    GuiController* g = gui_.get();
    connect(g, &GuiController::menuMainHost, this, &GLWidget::menuMainHost);
    connect(g, &GuiController::menuMainJoin, this, &GLWidget::menuMainJoin);
    connect(g, &GuiController::menuMainClose, this, &GLWidget::menuMainClose);
    connect(g, &GuiController::menuGameRestart, this, &GLWidget::menuGameRestart);
    connect(g, &GuiController::menuGameDisconnect, this, &GLWidget::menuGameDisconnect);
    connect(g, &GuiController::menuGameClose, this, &GLWidget::menuGameClose);
    connect(g, &GuiController::setMenuOpen, this, &GLWidget::setMenuOpen);
    connect(g, &GuiController::changedInput, this, &GLWidget::changedInput);
    connect(g, &GuiController::changedReady, this, &GLWidget::changedReady);
    connect(g, &GuiController::changedStart, this, &GLWidget::changedStart);
    connect(g, &GuiController::changedKick, this, &GLWidget::changedKick);
    connect(g, &GuiController::setColors, this, &GLWidget::setColors);
    connect(g, &GuiController::setOptions, this, &GLWidget::setOptions);
    connect(g, &GuiController::setResolution, this, &GLWidget::setResolution);
    connect(g, &GuiController::sendMessage, this, &GLWidget::sendMessage);
    connect(g, &GuiController::abortAction, this, &GLWidget::abortAction);
    connect(g, &GuiController::toggleFullscreen, this, &GLWidget::toggleFullscreen);
    connect(g, &GuiController::getServerlist, this, &GLWidget::getServerlist);
    connect(g, &GuiController::setLastFilter, this, &GLWidget::setLastFilter);
    connect(g, &GuiController::noticedPacketLoss, this, &GLWidget::noticedPacketLoss);
    connect(g, &GuiController::soundRequested, this, &GLWidget::soundRequested);
    sounds_ = std::make_unique<SoundEffects>();
    connect(this, &GLWidget::soundRequested, sounds_.get(), &SoundEffects::play);
    // Turning sounds off also silences what plays and what is queued.
    connect(g, &GuiController::setOptions, this,
            [this] { sounds_->setEnabled(gui_->options().playSounds); });
    connect(g, &GuiController::cursorChanged, this, &GLWidget::updateCursor);
    connect(g, &GuiController::screenshotRequested, this, &GLWidget::saveScreenshot);
    connect(g, &GuiController::vsyncChanged, this, &GLWidget::applyVSync);

    // The field copy's events: sounds through the one place they are asked
    // for, line points as labels, lost movements to the client.
    connect(&scene_, &SceneField::blockLanded, this, [this] { gui_->requestSound(Sound::Land); });
    connect(&scene_, &SceneField::rowCleared, this, [this] { gui_->requestSound(Sound::Point); });
    connect(&scene_, &SceneField::pointsMade, this, &GLWidget::addPointLabel);
    connect(&scene_, &SceneField::noticedPacketLoss, this, &GLWidget::noticedPacketLoss);

    if (environment_.continuousRepaint) {
        // While something moves the next frame is asked for as soon as one is
        // on screen. A still screen is drawn again only when input, a timer or
        // the client changed it, so an idle menu costs next to nothing.
        connect(this, &QOpenGLWidget::frameSwapped, this, [this] {
            if (animating()) {
                update();
            }
        });
    }
    rebuildResolutions();
    updateCursor(gui_->ownCursor(), gui_->mouseTracking());
}

GLWidget::~GLWidget() {
    // GL names go while their context is current.
    makeCurrent();
    renderer_.release();
    doneCurrent();
}

void GLWidget::rebuildResolutions() {
    gui_->resolutions().rebuild(environment_.displayModes ? environment_.displayModes()
                                                          : ResolutionList::screenModes());
}

void GLWidget::updateCursor(bool ownCursor, bool mouseTracking) {
    setCursor(ownCursor ? cursor_ : QCursor(Qt::BlankCursor));
    setMouseTracking(mouseTracking);
}

QString GLWidget::saveScreenshot() {
    return ScreenshotFiles(environment_.screenshotDirectory).save(grabFramebuffer());
}

// ---------------------------------------------------------------------------
// Painting

void GLWidget::initializeGL() {
    renderer_.initialize();
    SwapControl::apply(window()->windowHandle(), gui_->options().enableVSync);
}

void GLWidget::applyVSync(bool on) {
    // The swap-control entry points come from the widget's context.
    makeCurrent();
    SwapControl::apply(window()->windowHandle(), on);
    doneCurrent();
}

void GLWidget::resizeGL(int w, int h) {
    metrics_.resize(w, h);
    gui_->setViewHeight(h);
    gui_->credits().setFont(metrics_.font(GuiMetrics::SmallMenu));
    gui_->hitMap().clear();
}

SceneOptions GLWidget::sceneOptions() const {
    const GuiController::Options& o = gui_->options();
    SceneOptions s;
    s.quality = o.quality;
    s.showPointers = o.showPointers;
    s.ignoreColors = o.ignoreColors;
    s.splitscreen = gui_->splitscreen();
    s.aspect = float(metrics_.aspect());
    for (int local = 0; local < 2; ++local) {
        const PlayerTable::Player* p =
            gui_->players().player(PlayerTable::playerId(gui_->ownConnId(), local));
        s.viewColours[std::size_t(local)] = p != nullptr && p->colour >= 0 ? p->colour : local;
    }
    return s;
}

void GLWidget::paintGL() {
    const GuiState base = gui_->stack().base();
    const bool field = base == GuiState::Lobby || base == GuiState::Game;
    renderer_.beginFrame();
    if (field) {
        renderer_.drawViews(scene_, sceneOptions(), size() * devicePixelRatio());
    }
    renderer_.endFrame();

    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    if (field) {
        PreviewPainter::paint(painter, scene_, gui_->options().showPreview, size(),
                              float(metrics_.scale()), gui_->splitscreen());
    }
    OverlayPainter(*gui_, metrics_).paint(painter);
    gui_->score().countFrame();
}

// ---------------------------------------------------------------------------
// Input

bool GLWidget::animating() const {
    // Over a game the field moves with every message from the server. The
    // intro, the credits and the pulse move on timers, which ask for their
    // frames themselves.
    const GuiState base = gui_->stack().base();
    return base == GuiState::Lobby || base == GuiState::Game;
}

void GLWidget::keyPressEvent(QKeyEvent* event) {
    if (!gui_->keyPress(*event)) {
        QOpenGLWidget::keyPressEvent(event);
    }
    update();
}

void GLWidget::keyReleaseEvent(QKeyEvent* event) {
    gui_->keyRelease(*event);
    update();
}

void GLWidget::mouseMoveEvent(QMouseEvent* event) {
    gui_->mouseMove(event->position().toPoint());
    update();
}

void GLWidget::mousePressEvent(QMouseEvent* event) {
    gui_->mousePress(event->position().toPoint(), event->button());
    update();
}

bool GLWidget::focusNextPrevChild(bool /*next*/) {
    return false;
}

// ---------------------------------------------------------------------------
// Slots the client drives

void GLWidget::setBaseState(GuiState state, QString message) {
    gui_->setBaseState(state, message);
    update();
}

void GLWidget::setTopState(GuiState state, QString message) {
    gui_->setTopState(state, message);
    update();
}

void GLWidget::setLastState() {
    gui_->setLastState();
    update();
}

void GLWidget::setNextGuiState(bool resetCurrentMenuEntry) {
    gui_->setNextGuiState(resetCurrentMenuEntry);
    update();
}

void GLWidget::resetGui(bool resetPlayers, int mPlayers, bool splitscreen, bool host, bool spec,
                        int cId) {
    gui_->resetGui(resetPlayers, mPlayers, splitscreen, host, spec, cId);
    scene_.reset();
    followRotation();
    update();
}

void GLWidget::resetChat() {
    gui_->resetChat();
    update();
}

void GLWidget::displayError(QString message, bool leaveGame) {
    gui_->displayError(message, leaveGame);
    update();
}

void GLWidget::displayMessage(QString message) {
    gui_->displayMessage(message);
    update();
}

void GLWidget::displayCountdown(QString message) {
    gui_->displayCountdown(message);
    update();
}

void GLWidget::displayChatMessage(int playerId, QString message) {
    gui_->displayChatMessage(playerId, message);
    update();
}

void GLWidget::setNextTextMessage() {
    gui_->setNextTextMessage();
    update();
}

void GLWidget::updatePlayerlist(QList<int> connIds, QStringList names, QList<int> colors,
                                QList<GamePlayer::PlayerStatus> status) {
    gui_->updatePlayerlist(connIds, names, colors, status);
    update();
}

void GLWidget::updatePinglist(QList<int> connIds, QList<int> pings) {
    gui_->updatePinglist(connIds, pings);
    update();
}

void GLWidget::removePlayer(int playerId) {
    gui_->removePlayer(playerId);
    update();
}

void GLWidget::startPlayTime() {
    gui_->startPlayTime();
}

void GLWidget::pausePlayTime(bool paused) {
    gui_->pausePlayTime(paused);
}

void GLWidget::stopPlayTime() {
    gui_->stopPlayTime();
}

void GLWidget::setScore(int score, bool add) {
    gui_->setScore(score, add);
    update();
}

void GLWidget::setPlaytime(QString playtime, bool add) {
    gui_->setPlaytime(playtime, add);
    update();
}

void GLWidget::processMasterserverResult(MasterserverResult result) {
    gui_->processMasterserverResult(result);
    update();
}

void GLWidget::addServer(ServerData server) {
    gui_->addServer(server);
    update();
}

void GLWidget::repeatKey(int i) {
    gui_->repeatKey(i);
}

void GLWidget::unlockKeys() {
    gui_->unlockKeys();
}

void GLWidget::setWindowed(bool windowed) {
    gui_->setWindowed(windowed);
    update();
}

void GLWidget::playVideo() {
    gui_->playVideo();
}

void GLWidget::updateFPS() {
    gui_->updateFPS();
}

// ---------------------------------------------------------------------------
// The 3D scene: the field copy takes what arrives.

void GLWidget::setFieldsizeX(int sizeX) {
    // The renderer rebuilds the field's meshes for the new width before the
    // next frame.
    scene_.setFieldsizeX(sizeX);
    gui_->setFieldsizeX(sizeX);
}

void GLWidget::setRotation(bool rotate) {
    scene_.setRotation(rotate);
    followRotation();
}

void GLWidget::followRotation() {
    if (!scene_.rotating()) {
        cameraTimer_->stop();
    } else if (!cameraTimer_->isActive()) {
        cameraTimer_->start(SceneField::kCameraIntervalMs);
    }
}

// ---------------------------------------------------------------------------

void connectWidgetAndClient(GLWidget& w, Client& c) {
    QObject::connect(&w, &GLWidget::menuMainHost, &c, &Client::hostGame);
    QObject::connect(&w, &GLWidget::menuMainJoin, &c, &Client::joinGame);
    QObject::connect(&w, &GLWidget::menuMainClose, &c, &Client::endProgramm);
    QObject::connect(&w, &GLWidget::menuGameRestart, &c, &Client::restartGame);
    QObject::connect(&w, &GLWidget::menuGameDisconnect, &c, &Client::endGame);
    QObject::connect(&w, &GLWidget::menuGameClose, &c, &Client::endProgramm);
    QObject::connect(&w, &GLWidget::setColors, &c, &Client::setColors);
    QObject::connect(&w, &GLWidget::setOptions, &c, &Client::setOptions);
    QObject::connect(&w, &GLWidget::setLastFilter, &c, &Client::setLastFilter);
    QObject::connect(&w, &GLWidget::sendMessage, &c, &Client::sendMessage);
    QObject::connect(&w, &GLWidget::setMenuOpen, &c, &Client::setMenuOpen);
    QObject::connect(&w, &GLWidget::changedInput, &c, &Client::inputKeys);
    QObject::connect(&w, &GLWidget::changedReady, &c, &Client::setReady);
    QObject::connect(&w, &GLWidget::changedStart, &c, &Client::setStart);
    QObject::connect(&w, &GLWidget::changedKick, &c, &Client::kickPlayer);
    QObject::connect(&w, &GLWidget::abortAction, &c, &Client::abortAction);
    QObject::connect(&w, &GLWidget::noticedPacketLoss, &c, &Client::processPacketLoss);
    QObject::connect(&w, &GLWidget::getServerlist, &c, &Client::getServerlist);

    QObject::connect(&c, &Client::setRotation, &w, &GLWidget::setRotation);
    QObject::connect(&c, &Client::resetGui, &w, &GLWidget::resetGui);
    QObject::connect(&c, &Client::resetChat, &w, &GLWidget::resetChat);
    QObject::connect(&c, &Client::changeFieldsizeX, &w, &GLWidget::setFieldsizeX);
    QObject::connect(&c, &Client::changedPlayerlist, &w, &GLWidget::updatePlayerlist);
    QObject::connect(&c, &Client::changedPinglist, &w, &GLWidget::updatePinglist);
    QObject::connect(&c, &Client::removePlayer, &w, &GLWidget::removePlayer);
    QObject::connect(&c, &Client::startPlayTime, &w, &GLWidget::startPlayTime);
    QObject::connect(&c, &Client::pausePlayTime, &w, &GLWidget::pausePlayTime);
    QObject::connect(&c, &Client::stopPlayTime, &w, &GLWidget::stopPlayTime);
    QObject::connect(&c, &Client::setScore, &w, &GLWidget::setScore);
    QObject::connect(&c, &Client::setPlaytime, &w, &GLWidget::setPlaytime);
    QObject::connect(&c, &Client::resultMasterserver, &w, &GLWidget::processMasterserverResult);
    QObject::connect(&c, &Client::newServer, &w, &GLWidget::addServer);
    QObject::connect(&c, &Client::displayMessage, &w, &GLWidget::displayMessage);
    QObject::connect(&c, &Client::displayChatMessage, &w, &GLWidget::displayChatMessage);
    QObject::connect(&c, &Client::displayCountdown, &w, &GLWidget::displayCountdown);
    QObject::connect(&c, &Client::displayError, &w, &GLWidget::displayError);
    QObject::connect(&c, &Client::setGuiBaseState, &w, &GLWidget::setBaseState);
    QObject::connect(&c, &Client::setGuiTopState, &w, &GLWidget::setTopState);
    QObject::connect(&c, &Client::setGuiLastState, &w, &GLWidget::setLastState);
    // The field copy takes the client's block events itself.
    SceneField* scene = &w.scene();
    QObject::connect(&c, &Client::createdNewBlock, scene, &SceneField::processNewBlock);
    QObject::connect(&c, &Client::createdField, scene, &SceneField::processNewField);
    QObject::connect(&c, &Client::moveBlocks, scene, &SceneField::processMoveBlocks);
    QObject::connect(&c, &Client::mergeBlocks, scene, &SceneField::processMergeBlocks);
}
