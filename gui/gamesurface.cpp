#include "gamesurface.h"

#include <QBitmap>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLPaintDevice>
#include <QPainter>
#include <QPlatformSurfaceEvent>
#include <QScreen>
#include <QSurfaceFormat>

#include "client/client.h"
#include "gui/media/soundeffects.h"
#include "gui/overlaypainter.h"
#include "gui/scene/previewpainter.h"
#include "gui/scene/swapcontrol.h"
#include "gui/screenshotfiles.h"

namespace {

constexpr int kFrameSamples = 4;

QCursor ownCursor() {
    const QString bitmap = QStringLiteral(":/cursors/bitmap");
    const QString mask = QStringLiteral(":/cursors/mask");
    if (QFile::exists(bitmap) && QFile::exists(mask)) {
        return QCursor(QBitmap(bitmap), QBitmap(mask), 0, 0);
    }
    return QCursor(Qt::ArrowCursor);
}

}  // namespace

GameSurface::GameSurface(Client* client, uint resWidth, uint resHeight, GuiEnvironment environment)
    : environment_(std::move(environment)),
      pacer_(environment_.timers != nullptr ? *environment_.timers : TimerSource::system(),
             [this] { update(); }),
      timers_(environment_.timers != nullptr ? *environment_.timers : TimerSource::system(),
              [this] { pacer_.request(); }),
      gui_(std::make_unique<GuiController>(client->settings(), client->highscores(),
                                           QSize(int(resWidth), int(resHeight)), timers_)),
      cursor_(ownCursor()),
      scene_(client->field()),
      renderer_(environment_.textures ? environment_.textures() : SceneTextures::fromResources()),
      cameraTimer_(timers_.makeTimer(false, [this] { scene_.moveCamera(); })) {
    measureAtMainMenu_ =
        environment_.measureQualityAtFirstStart && !client->settings().qualitySaved();
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    // The samples are the frame's (MultisampledFrame); the window itself
    // needs depth and stencil only where the frame cannot be made.
    format.setSamples(0);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    setFormat(SwapControl::withVSync(format, gui_->menus().options().enableVSync));

    pacer_.setFlatOut(!environment_.pacedFrames);
    GuiController* g = gui_.get();
    connect(g, &GuiController::changed, this, [this] { pacer_.request(); });
    connect(&scene_, &SceneField::changed, this, [this] {
        followRotation();
        // Most movements of a falling block leave the picture as it is.
        if (paintedKey_ == 0 || scene_.pictureKey() != paintedKey_) {
            pacer_.request();
        }
    });
    sounds_ = std::make_unique<SoundEffects>();
    connect(g, &GuiController::soundRequested, sounds_.get(), &SoundEffects::play);
    // Turning sounds off also silences what plays and what is queued.
    connect(&g->menus(), &MenuModel::setOptions, this,
            [this] { sounds_->setEnabled(gui_->menus().options().playSounds); });
    connect(&g->menus(), &MenuModel::vsyncChanged, this, &GameSurface::applyVSync);
    connect(&g->session(), &GuiSession::cursorChanged, this, &GameSurface::updateCursor);
    connect(&g->input(), &InputRouter::screenshotRequested, this, &GameSurface::saveScreenshot);
    connect(&g->menus(), &MenuModel::measureQuality, this, &GameSurface::startMeasuring);
    // Measuring draws frame after frame, as fast as they come.
    connect(this, &QOpenGLWindow::frameSwapped, this, [this] {
        if (probe_) {
            pacer_.request();
        }
    });
    QualityProbe::showcase(showcase_);
    measuredTimer_ = timers_.makeTimer(true, [this] { measured_.clear(); });

    // The field copy's events: sounds through the one place they are asked
    // for, line points as labels.
    ClientField* field = &scene_.field();
    connect(field, &ClientField::blockLanded, g, [g] { g->requestSound(Sound::Land); });
    connect(field, &ClientField::rowCleared, g, [g] { g->requestSound(Sound::Point); });
    connect(field, &ClientField::pointsMade, &g->session(), &GuiSession::addPointLabel);

    // A frame counts as seen once it is swapped to the screen.
    connect(this, &QOpenGLWindow::frameSwapped, this, [this] {
        if (lcLatency().isDebugEnabled() && paintedOwn_.x() >= 0) {
            qCDebug(lcLatency).noquote() << QStringLiteral("frame %1 col %2 rot %3")
                                                .arg(latencyClockUs())
                                                .arg(paintedOwn_.x())
                                                .arg(paintedOwn_.y());
        }
    });
    if (environment_.continuousRepaint) {
        // While something moves the next frame is asked for as soon as one is
        // on screen, and drawn at the screen's next refresh. A still screen is
        // drawn again only when input, a timer or the client changed it, so an
        // idle menu, and a game whose blocks fall inside their rows, cost next
        // to nothing.
        connect(this, &QOpenGLWindow::frameSwapped, this, [this] {
            if (animating() && stillMoving()) {
                pacer_.request();
            }
        });
    }
    rebuildResolutions();
    updateCursor(gui_->session().ownCursor(), gui_->session().mouseTracking());
}

GameSurface::~GameSurface() {
    releaseGl();
}

void GameSurface::releaseGl() {
    if (isValid()) {
        makeCurrent();
        renderer_.release();
        frame_.release();
        doneCurrent();
    }
}

bool GameSurface::event(QEvent* event) {
    // The container destroys the native window before the surface, and the
    // context goes with it.
    if (event->type() == QEvent::PlatformSurface &&
        static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
            QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed) {
        releaseGl();
    }
    return QOpenGLWindow::event(event);
}

void GameSurface::rebuildResolutions() {
    gui_->menus().resolutions().rebuild(environment_.displayModes ? environment_.displayModes()
                                                                  : ResolutionList::screenModes());
}

void GameSurface::updateCursor(bool ownCursor, bool mouseTracking) {
    setCursor(ownCursor ? cursor_ : QCursor(Qt::BlankCursor));
    mouseTracking_ = mouseTracking;
}

QImage GameSurface::grabFrame() {
    if (!isValid()) {
        return {};
    }
    // The back buffer holds nothing defined after a swap: the frame is drawn
    // again and read before it would be shown.
    makeCurrent();
    paintGL();
    return grabFramebuffer();
}

QString GameSurface::saveScreenshot() {
    return ScreenshotFiles(environment_.screenshotDirectory).save(grabFrame());
}

// ---------------------------------------------------------------------------
// Painting

void GameSurface::initializeGL() {
    renderer_.initialize();
    if (const QScreen* shown = screen()) {
        pacer_.setRefreshRate(shown->refreshRate());
    }
    SwapControl::apply(this, gui_->menus().options().enableVSync);
}

void GameSurface::applyVSync(bool on) {
    // The swap-control entry points come from the surface's context; before
    // it exists the format carries the choice.
    if (!isValid()) {
        SwapControl::apply(this, on);
        return;
    }
    makeCurrent();
    SwapControl::apply(this, on);
    doneCurrent();
}

void GameSurface::resizeGL(int w, int h) {
    metrics_.resize(w, h);
    GuiSession& session = gui_->session();
    session.setViewHeight(h);
    session.credits().setFont(metrics_.font(GuiMetrics::SmallMenu));
    gui_->menus().hitMap().clear();
}

SceneOptions GameSurface::sceneOptions() const {
    const ClientSettings::Options& o = gui_->menus().options();
    const GuiSession& session = gui_->session();
    SceneOptions s;
    s.quality = o.quality;
    s.showPointers = o.showPointer;
    s.ignoreColors = o.ignoreColors;
    s.splitscreen = session.splitscreen();
    s.aspect = float(metrics_.aspect());
    for (int local = 0; local < 2; ++local) {
        const PlayerTable::Player* p =
            session.players().player(PlayerTable::playerId(session.ownConnId(), local));
        s.viewColours[std::size_t(local)] = p != nullptr && p->colour >= 0 ? p->colour : local;
    }
    return s;
}

void GameSurface::paintGL() {
    pacer_.frameStarted();
    GuiSession& session = gui_->session();
    if (measureAtMainMenu_ && session.stack().top() == GuiState::MainMenu) {
        measureAtMainMenu_ = false;
        startMeasuring();
    }
    const bool measuring = measureFrame();
    gui_->menus().setMeasuringLine(measuringLine());
    const GuiState base = session.stack().base();
    const bool field = base == GuiState::Lobby || base == GuiState::Game;
    const QSize pixels = size() * devicePixelRatio();
    frame_.begin(*context(), pixels, kFrameSamples, defaultFramebufferObject());
    renderer_.beginFrame();
    if (measuring) {
        SceneOptions s = sceneOptions();
        s.quality = probe_->quality();
        s.splitscreen = false;
        showcase_.moveCamera();
        renderer_.drawViews(showcase_, s, pixels);
    } else if (field) {
        scene_.advancePredictions();
        renderer_.drawViews(scene_, sceneOptions(), pixels);
    }
    paintedKey_ = field && !measuring ? scene_.pictureKey() : 0;
    renderer_.endFrame();
    if (field && lcLatency().isDebugEnabled()) {
        paintedOwn_ = scene_.ownDrawn();
    }

    {
        QPainter painter(&frame_.paintDevice(pixels, devicePixelRatio()));
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        if (field) {
            PreviewPainter::paint(painter, scene_, gui_->menus().options().showPreview, size(),
                                  float(metrics_.scale()), session.splitscreen());
        }
        OverlayPainter(*gui_, metrics_).paint(painter);
        // The options screen says it under its title.
        const QString line = measuringLine();
        if (!line.isEmpty() && session.stack().top() != GuiState::OptionsMenu) {
            paintMeasuring(painter, line);
        }
    }
    frame_.end();
    session.score().countFrame();
}

// ---------------------------------------------------------------------------
// Measuring the best quality

void GameSurface::startMeasuring() {
    if (probe_) {
        return;
    }
    probe_.emplace();
    probeState_ = gui_->session().stack().top();
    probeFrame_.invalidate();
    pacer_.setFlatOut(true);
    pacer_.request();
}

bool GameSurface::measureFrame() {
    if (!probe_) {
        return false;
    }
    GuiSession& session = gui_->session();
    if (session.stack().top() != probeState_) {
        // Called off; on the first start it begins again on the main menu.
        measureAtMainMenu_ = measureAtMainMenu_ || probeState_ == GuiState::MainMenu;
        probe_.reset();
        pacer_.setFlatOut(!environment_.pacedFrames);
        return false;
    }
    if (probeFrame_.isValid()) {
        probe_->frameTook(double(probeFrame_.nsecsElapsed()) / 1e6);
    }
    probeFrame_.start();
    if (!probe_->done()) {
        return true;
    }
    const QString quality = MenuModel::qualityName(probe_->quality());
    const QString fps = QString::number(qRound(probe_->fps()));
    const QString size = QStringLiteral("%1x%2").arg(width()).arg(height());
    measured_ =
        probe_->holdsGoal()
            ? tr("Visual quality: %1 (%2 frames a second at %3)").arg(quality, fps, size)
            : tr("Visual quality: %1 (only %2 frames a second at %3)").arg(quality, fps, size);
    measuredTimer_->start(GuiStack::kOverlayMs);
    const int chosen = probe_->quality();
    probe_.reset();
    pacer_.setFlatOut(!environment_.pacedFrames);
    gui_->menus().takeMeasuredQuality(chosen);
    return false;
}

QString GameSurface::measuringLine() const {
    if (probe_) {
        return tr("Finding the best visual quality: %1")
            .arg(MenuModel::qualityName(probe_->quality()));
    }
    // Said over the screen it was measured on, not over a game started since.
    return gui_->session().stack().top() == probeState_ ? measured_ : QString();
}

void GameSurface::paintMeasuring(QPainter& painter, const QString& line) {
    painter.setFont(metrics_.font(GuiMetrics::SmallMenu));
    painter.setPen(Qt::white);
    const int lineHeight = int(40 * metrics_.scale());
    painter.drawText(QRect(0, height() - int(60 * metrics_.scale()), width(), lineHeight),
                     Qt::AlignCenter, line);
}

// ---------------------------------------------------------------------------
// Input

bool GameSurface::animating() const {
    // Over a game the field moves with every message from the server. The
    // intro, the credits and the pulse move on timers, which ask for their
    // frames themselves.
    const GuiState base = gui_->session().stack().base();
    return base == GuiState::Lobby || base == GuiState::Game;
}

bool GameSurface::stillMoving() const {
    // Point labels rise and fade with the clock; the frame counter and
    // --flat-out want every frame there can be.
    const GuiSession& session = gui_->session();
    return !environment_.pacedFrames || gui_->menus().options().showFPS || scene_.field().settling() ||
           !session.labels().labels().empty() || scene_.pictureKey() != paintedKey_;
}

void GameSurface::keyPressEvent(QKeyEvent* event) {
    if (!gui_->input().keyPress(*event)) {
        event->ignore();
    }
}

void GameSurface::keyReleaseEvent(QKeyEvent* event) {
    gui_->input().keyRelease(*event);
}

void GameSurface::mouseMoveEvent(QMouseEvent* event) {
    // A window hears every move; without tracking only those with a button
    // held count, as for a widget.
    if (!mouseTracking_ && event->buttons() == Qt::NoButton) {
        return;
    }
    gui_->input().mouseMove(event->position().toPoint());
}

void GameSurface::mousePressEvent(QMouseEvent* event) {
    gui_->input().mousePress(event->position().toPoint(), event->button());
}

void GameSurface::followRotation() {
    if (!scene_.rotating()) {
        cameraTimer_->stop();
    } else if (!cameraTimer_->isActive()) {
        cameraTimer_->start(SceneField::kCameraIntervalMs);
    }
}
