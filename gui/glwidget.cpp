#include "glwidget.h"

#include <QBitmap>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
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
      pacer_(environment_.timers != nullptr ? *environment_.timers : TimerSource::system(),
             [this] { update(); }),
      timers_(environment_.timers != nullptr ? *environment_.timers : TimerSource::system(),
              [this] { pacer_.request(); }),
      gui_(std::make_unique<GuiController>(client->settings(), client->highscores(),
                                           QSize(int(resWidth), int(resHeight)), timers_)),
      cursor_(ownCursor()),
      renderer_(environment_.textures ? environment_.textures() : SceneTextures::fromResources()),
      cameraTimer_(timers_.makeTimer(false, [this] { scene_.moveCamera(); })) {
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setSamples(4);
    setFormat(SwapControl::withVSync(format, gui_->menus().options().enableVSync));
    setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);

    pacer_.setFlatOut(!environment_.pacedFrames);
    GuiController* g = gui_.get();
    connect(g, &GuiController::changed, this, [this] { pacer_.request(); });
    connect(&scene_, &SceneField::changed, this, [this] {
        followRotation();
        pacer_.request();
    });
    sounds_ = std::make_unique<SoundEffects>();
    connect(g, &GuiController::soundRequested, sounds_.get(), &SoundEffects::play);
    // Turning sounds off also silences what plays and what is queued.
    connect(&g->menus(), &MenuModel::setOptions, this, [this] {
        sounds_->setEnabled(gui_->menus().options().playSounds);
        scene_.setPrediction(gui_->menus().options().predictMoves);
    });
    scene_.setPrediction(g->menus().options().predictMoves);
    connect(&g->menus(), &MenuModel::vsyncChanged, this, &GLWidget::applyVSync);
    connect(&g->session(), &GuiSession::cursorChanged, this, &GLWidget::updateCursor);
    connect(&g->input(), &InputRouter::screenshotRequested, this, &GLWidget::saveScreenshot);

    // The field copy's events: sounds through the one place they are asked
    // for, line points as labels.
    connect(&scene_, &SceneField::blockLanded, g, [g] { g->requestSound(Sound::Land); });
    connect(&scene_, &SceneField::rowCleared, g, [g] { g->requestSound(Sound::Point); });
    connect(&scene_, &SceneField::pointsMade, &g->session(), &GuiSession::addPointLabel);

    // A frame counts as seen once it is swapped to the screen.
    connect(this, &QOpenGLWidget::frameSwapped, this, [this] {
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
        // idle menu costs next to nothing.
        connect(this, &QOpenGLWidget::frameSwapped, this, [this] {
            if (animating()) {
                pacer_.request();
            }
        });
    }
    rebuildResolutions();
    updateCursor(gui_->session().ownCursor(), gui_->session().mouseTracking());
}

GLWidget::~GLWidget() {
    // GL names go while their context is current.
    makeCurrent();
    renderer_.release();
    doneCurrent();
}

void GLWidget::rebuildResolutions() {
    gui_->menus().resolutions().rebuild(environment_.displayModes ? environment_.displayModes()
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
    if (const QScreen* shown = screen()) {
        pacer_.setRefreshRate(shown->refreshRate());
    }
    SwapControl::apply(window()->windowHandle(), gui_->menus().options().enableVSync);
}

void GLWidget::applyVSync(bool on) {
    // The swap-control entry points come from the widget's context.
    makeCurrent();
    SwapControl::apply(window()->windowHandle(), on);
    doneCurrent();
}

void GLWidget::resizeGL(int w, int h) {
    metrics_.resize(w, h);
    GuiSession& session = gui_->session();
    session.setViewHeight(h);
    session.credits().setFont(metrics_.font(GuiMetrics::SmallMenu));
    gui_->menus().hitMap().clear();
}

SceneOptions GLWidget::sceneOptions() const {
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

void GLWidget::paintGL() {
    pacer_.frameStarted();
    GuiSession& session = gui_->session();
    const GuiState base = session.stack().base();
    const bool field = base == GuiState::Lobby || base == GuiState::Game;
    renderer_.beginFrame();
    if (field) {
        scene_.advancePredictions();
        renderer_.drawViews(scene_, sceneOptions(), size() * devicePixelRatio());
    }
    renderer_.endFrame();
    if (field && lcLatency().isDebugEnabled()) {
        paintedOwn_ = scene_.ownDrawn();
    }

    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    if (field) {
        PreviewPainter::paint(painter, scene_, gui_->menus().options().showPreview, size(),
                              float(metrics_.scale()), session.splitscreen());
    }
    OverlayPainter(*gui_, metrics_).paint(painter);
    session.score().countFrame();
}

// ---------------------------------------------------------------------------
// Input

bool GLWidget::animating() const {
    // Over a game the field moves with every message from the server. The
    // intro, the credits and the pulse move on timers, which ask for their
    // frames themselves.
    const GuiState base = gui_->session().stack().base();
    return base == GuiState::Lobby || base == GuiState::Game;
}

void GLWidget::keyPressEvent(QKeyEvent* event) {
    if (!gui_->input().keyPress(*event)) {
        QOpenGLWidget::keyPressEvent(event);
    }
}

void GLWidget::keyReleaseEvent(QKeyEvent* event) {
    gui_->input().keyRelease(*event);
}

void GLWidget::mouseMoveEvent(QMouseEvent* event) {
    gui_->input().mouseMove(event->position().toPoint());
}

void GLWidget::mousePressEvent(QMouseEvent* event) {
    gui_->input().mousePress(event->position().toPoint(), event->button());
}

bool GLWidget::focusNextPrevChild(bool /*next*/) {
    return false;
}

void GLWidget::followRotation() {
    if (!scene_.rotating()) {
        cameraTimer_->stop();
    } else if (!cameraTimer_->isActive()) {
        cameraTimer_->start(SceneField::kCameraIntervalMs);
    }
}
