#include "scenerenderer.h"

#include <QMutexLocker>
#include <QOpenGLContext>
#include <climits>
#include <cmath>

#include "game/gamegrid.h"
#include "scenefield.h"

namespace {

constexpr float kFrustum = 0.475f;
constexpr float kNear = 9.5f;
constexpr float kFar = 15.0f;
constexpr float kGrey = RoomPainter::kGrey;
constexpr float kGlassAlpha = 0.45f;
constexpr float kMarkerAlpha = 127.0f / 255.0f;
constexpr int kMarkerColour = 6;  // the default box colour: its marker stays opaque

void colour(int index, float alpha = 1.0f) {
    const Rgb c = GameBlock::colourRgb(index);
    glColor4f(float(c.red) / 255.0f, float(c.green) / 255.0f, float(c.blue) / 255.0f, alpha);
}

// Calls f(box colour, column, row) for every box of a block standing on the
// field; blocks waiting off the field are only shown in the preview.
template <typename F>
void forEachCell(const GameBlock& b, int fieldsizeX, F&& f) {
    if (!FieldMirror::onField(b)) {
        return;
    }
    const int r = b.rotation();
    for (const GameBox& box : b.boxes()) {
        const qint64 x = qint64(b.x()) + box.x(r);
        const qint64 y = qint64(b.y()) + box.y(r);
        if (x < INT_MIN || x > INT_MAX || y < INT_MIN || y > INT_MAX) {
            continue;
        }
        f(box.colour(), GameGrid::column(fieldsizeX, int(x)), GameGrid::rowFloor(int(y)));
    }
}

}  // namespace

SceneRenderer::SceneRenderer(SceneTextures textures) : room_(std::move(textures)) {}

SceneRenderer::~SceneRenderer() {
    QObject::disconnect(contextGone_);
    release();
}

void SceneRenderer::initialize(GlCapabilities::Allow allow) {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (context == nullptr) {
        return;
    }
    release();
    QObject::disconnect(contextGone_);
    context_ = context;
    contextGone_ = QObject::connect(context, &QOpenGLContext::aboutToBeDestroyed, context,
                                    [this] { release(); });
    caps_ = GlCapabilities::detect(*context, allow);
    roomCaching_ = roomCachingWanted_ && MultisampledBuffer::supported(*context);
    room_.initialize(caps_);
}

void SceneRenderer::release() {
    // GL names belong to their context: without it current they go with it.
    if (context_ != nullptr && QOpenGLContext::currentContext() == context_) {
        QMutexLocker lock(&geometry_.mutex());
        geometry_.release();
        room_.release();
        roomCache_.release();
    } else {
        QMutexLocker lock(&geometry_.mutex());
        geometry_.forget();
        roomCache_.forget();
        room_.forget();
    }
    context_ = nullptr;
}

void SceneRenderer::setRoomCaching(bool on) {
    roomCachingWanted_ = on;
    roomCaching_ = on && context_ != nullptr && MultisampledBuffer::supported(*context_);
    roomCache_.invalidate();
}

void SceneRenderer::prepareGeometry(int fieldsizeX, int quality) {
    QMutexLocker lock(&geometry_.mutex());
    if (context_ != nullptr && !geometry_.matches(fieldsizeX, quality)) {
        geometry_.rebuild(caps_, fieldsizeX, quality);
    }
}

void SceneRenderer::beginFrame() {
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glClearColor(kGrey, kGrey, kGrey, 1.0f);
    glShadeModel(GL_SMOOTH);
    glClearDepth(1.0);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_MULTISAMPLE);
    const GLfloat specular[] = {1, 1, 1, 1};
    const GLfloat ambient[] = {0.4f, 0.4f, 0.4f, 1};
    const GLfloat diffuse[] = {0.4f, 0.4f, 0.4f, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 50);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    const GLfloat lightAmbient[] = {0.1f, 0.1f, 0.1f, 1};
    const GLfloat lightDiffuse[] = {0.8f, 0.8f, 0.8f, 1};
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glLightfv(GL_LIGHT0, GL_AMBIENT, lightAmbient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, lightDiffuse);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    // Cleared by drawViews unless the room's copy covers the frame, else by
    // endFrame.
    clearPending_ = true;
}

void SceneRenderer::endFrame() {
    if (clearPending_) {
        glClear(GL_COLOR_BUFFER_BIT);
        clearPending_ = false;
    }
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_MULTISAMPLE);
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void SceneRenderer::drawViews(const SceneField& field, const SceneOptions& options, QSize pixels) {
    if (context_ == nullptr) {
        return;
    }
    QMutexLocker geometryLock(&geometry_.mutex());
    const int quality = std::clamp(options.quality, 0, 2);
    if (!geometry_.matches(field.fieldsizeX(), quality)) {
        geometry_.rebuild(caps_, field.fieldsizeX(), quality);
    }
    QMutexLocker blockLock(&field.blockMutex());
    const int views = options.splitscreen ? 2 : 1;
    const int width = pixels.width() / views;
    GLint target = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &target);
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    // Mesa lets a colour equal to the current one pass without handing it to
    // the material: the first frame's white room came out at the material's
    // 0.4. Starting from a colour no drawing uses, every colour reaches it.
    glColor4f(0, 0, 0, 1);

    const bool shown = fieldShown(field);
    std::array<RoomCache::Key, RoomCache::kViews> keys;
    for (int view = 0; view < views; ++view) {
        const QRect place(view * width, 0, width, pixels.height());
        keys[std::size_t(view)] = {
            quality,
            field.cameraColumn(view),
            field.fieldsizeX(),
            options.aspect,
            place,
            pixels,
            samples,
            shown ? field.stackRevision() : -1,
            options.ignoreColors ? options.viewColours[std::size_t(view)] : -1};
    }
    // The room and the landed stack come from the cache while the camera
    // stands still and nothing landed; in a frame where either changed they
    // are drawn into the frame, which is cheaper than drawing them into the
    // cache and copying them.
    bool copied = roomCaching_ && views * width == pixels.width();
    for (int view = 0; view < views && copied; ++view) {
        copied = keys[std::size_t(view)] == lastKeys_[std::size_t(view)];
    }
    lastKeys_ = keys;
    if (copied) {
        // Copied first, before anything else touches the frame, so that the
        // software renderer need not store and load the frame's tiles around
        // the copy.
        for (int view = 0; view < views && copied; ++view) {
            copied = cacheRoom(field, options, view, keys[std::size_t(view)], GLuint(target));
        }
        for (int view = 0; view < views && copied; ++view) {
            copied = roomCache_.copyTo(view, GLuint(target));
        }
        if (!copied) {
            roomCaching_ = false;  // the driver refused the cache or the copy
        }
    }
    if (!copied) {
        // The copy brings the stack's depth as well.
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    clearPending_ = false;
    for (int view = 0; view < views; ++view) {
        const QRect& p = keys[std::size_t(view)].place;
        glViewport(p.x(), p.y(), p.width(), p.height());
        placeCamera(field, options, views, view);
        if (!copied) {
            drawStill(field, options, quality, view, shown);
        }
        if (shown) {
            drawFalling(field, options, view);
        }
    }
    glViewport(0, 0, pixels.width(), pixels.height());
}

void SceneRenderer::placeCamera(const SceneField& field, const SceneOptions& options, int views,
                                int view) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const float side = kFrustum * options.aspect / float(views);
    glFrustum(-side, side, -kFrustum, kFrustum, kNear, kFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const GLfloat light[] = {10, 10, 0, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glTranslatef(0, 0, -10);
    glScalef(0.025f, 0.025f, 0.025f);
    glRotatef(25, 1, 0, 0);
    glTranslatef(0, -12.5f, 0);
    glRotatef(cameraAngle(field, view), 0, 1, 0);
}

float SceneRenderer::cameraAngle(const SceneField& field, int view) {
    return -360.0f / float(field.fieldsizeX()) * field.cameraColumn(view);
}

bool SceneRenderer::cacheRoom(const SceneField& field, const SceneOptions& options, int view,
                              const RoomCache::Key& key, GLuint target) {
    if (roomCache_.holds(view, key)) {
        return true;
    }
    static constexpr float kClear[4] = {kGrey, kGrey, kGrey, 1.0f};
    if (!roomCache_.begin(*context_, view, key, kClear)) {
        return false;
    }
    placeCamera(field, options, options.splitscreen ? 2 : 1, view);
    drawStill(field, options, key.quality, view, key.stackRevision >= 0);
    roomCache_.end(target);
    return true;
}

bool SceneRenderer::fieldShown(const SceneField& field) {
    return field.mirror().blockCount() > 0 || field.mirror().hasField();
}

void SceneRenderer::drawStill(const SceneField& field, const SceneOptions& options, int quality,
                              int view, bool shown) {
    drawRoom(field, quality, view);
    if (shown) {
        glColor4f(0.25f, 0.25f, 0.25f, 1);
        geometry_.baseTile().drawOnce();
        drawStack(field, options, view);
    }
}

void SceneRenderer::drawFalling(const SceneField& field, const SceneOptions& options, int view) {
    drawBlocks(field, options, view);
    if (options.showPointers) {
        drawMarkers(field, options, view);
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0, 0, 0, kGlassAlpha);
    geometry_.outerWall().drawOnce();
    geometry_.innerWall().drawOnce();
    glDisable(GL_BLEND);
}

void SceneRenderer::drawRoom(const SceneField& field, int quality, int view) {
    ++roomDraws_;
    room_.draw(quality, field.cameraColumn(view) * 12.0f / float(field.fieldsizeX()),
               cameraAngle(field, view), geometry_.plainRoom());
}

void SceneRenderer::drawStack(const SceneField& field, const SceneOptions& options, int view) {
    const int w = field.fieldsizeX();
    const int own = options.viewColours[std::size_t(view)];
    const FieldMirror& mirror = field.mirror();
    // The landed boxes change only with merges: one mesh, rebuilt then.
    if (geometry_.stackRevision() != field.stackRevision()) {
        std::vector<SceneMeshes::Cell> cells;
        if (const GameBlock* landed = mirror.block(GameField::kFieldBlockId)) {
            cells.reserve(landed->boxes().size());
            forEachCell(*landed, w, [&](int boxColour, int column, int row) {
                cells.push_back({column, row, boxColour});
            });
        }
        geometry_.rebuildStack(caps_, cells, field.stackRevision());
    }
    const GlMesh& stack = geometry_.stack();
    stack.bind();
    for (int p = 0; p < stack.partCount(); ++p) {
        colour(options.ignoreColors ? own : stack.partColour(p));
        stack.drawPart(p);
    }
    stack.unbind();
}

void SceneRenderer::drawBlocks(const SceneField& field, const SceneOptions& options, int view) {
    const int w = field.fieldsizeX();
    const int own = options.viewColours[std::size_t(view)];
    const FieldMirror& mirror = field.mirror();
    const float step = 360.0f / float(w);
    const float out = geometry_.radius() - 0.5f;
    const GlMesh& mesh = geometry_.box();
    mesh.bind();
    mirror.forEachBlock([&](const GameBlock& b) {
        forEachCell(b, w, [&](int boxColour, int column, int row) {
            colour(options.ignoreColors ? own : boxColour);
            glPushMatrix();
            glRotatef(step * float(column), 0, 1, 0);
            glTranslatef(0, float(row), out);
            mesh.draw();
            glPopMatrix();
        });
    });
    mesh.unbind();
}

void SceneRenderer::drawMarkers(const SceneField& field, const SceneOptions& options, int view) {
    const int w = field.fieldsizeX();
    const float step = 360.0f / float(w);
    const float out = geometry_.radius() - 0.5f;
    const int own = options.viewColours[std::size_t(view)];
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const GlMesh& wire = geometry_.wireBox();
    field.mirror().forEachBlock([&](const GameBlock& b) {
        const int rows = field.mirror().dropDistance(b) / GameGrid::kCell;
        if (rows <= 0 || !FieldMirror::onField(b)) {
            return;
        }
        forEachCell(b, w, [&](int boxColour, int column, int row) {
            if (options.ignoreColors) {
                colour(own);
            } else {
                colour(boxColour, boxColour == kMarkerColour ? 1.0f : kMarkerAlpha);
            }
            glPushMatrix();
            glRotatef(step * float(column), 0, 1, 0);
            glTranslatef(0, 0, out);
            glBegin(GL_LINES);
            glVertex3f(0, float(row), 0);
            glVertex3f(0, float(row - rows), 0);
            glEnd();
            glTranslatef(0, float(row - rows), 0);
            wire.drawOnce();
            glPopMatrix();
        });
    });
    glDisable(GL_BLEND);
    glEnable(GL_LIGHTING);
}
