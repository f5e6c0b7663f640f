#pragma once

#include <QImage>
#include <QMetaObject>
#include <QSize>
#include <array>

#include "glcapabilities.h"
#include "roomcache.h"
#include "roompainter.h"
#include "scenegeometry.h"

class QOpenGLContext;
class SceneField;

struct SceneOptions {
    int quality = 1;  // 0 Low, 1 Normal, 2 High
    bool showPointers = true;
    bool ignoreColors = false;
    bool splitscreen = false;
    float aspect = 4.0f / 3.0f;
    // Colour index of each view's local player: all blocks take it when
    // colours are ignored.
    std::array<int, 2> viewColours{0, 1};
};

// Draws the 3D field with the fixed-function pipeline: per-frame state, one
// view or two side by side, the room, the blocks with their target markers
// and the glass walls of the cylinder. Every call needs the widget's context
// current; 2D painting may follow endFrame.
class SceneRenderer {
public:
    explicit SceneRenderer(SceneTextures textures = SceneTextures::fromResources());
    ~SceneRenderer();
    SceneRenderer(const SceneRenderer&) = delete;
    SceneRenderer& operator=(const SceneRenderer&) = delete;

    // Finds what the driver offers and loads the textures; once per context.
    void initialize(GlCapabilities::Allow allow = {});
    const GlCapabilities& capabilities() const { return caps_; }
    // Dot3 bump mapping works: extensions, cube map and both room textures.
    bool bumpMapping() const { return room_.bumpMapping(); }

    // The state every frame starts with, and the grey clear.
    void beginFrame();
    void drawViews(const SceneField& field, const SceneOptions& options, QSize pixels);
    // Leaves the context as 2D painting expects it.
    void endFrame();

    // Whether an unchanged room is copied rather than drawn again (on where
    // the driver allows it); off draws it every frame, to compare.
    void setRoomCaching(bool on);
    // How often the room was really drawn, into the frame or its cache.
    int roomDraws() const { return roomDraws_; }

    // Rebuilds the fixed meshes if width or quality changed (drawViews does
    // this by itself).
    void prepareGeometry(int fieldsizeX, int quality);
    // Drops the GL objects; deleted only while their context is current.
    void release();

private:
    // The projection and the view's camera (and the light with it).
    void placeCamera(const SceneField& field, const SceneOptions& options, int views, int view);
    // The view's turn about the field's axis, in degrees.
    static float cameraAngle(const SceneField& field, int view);
    // Makes sure the cache holds the view's room and landed stack (key.place
    // in a frame bound as target); false if the driver refused.
    bool cacheRoom(const SceneField& field, const SceneOptions& options, int view,
                   const RoomCache::Key& key, GLuint target);
    void drawRoom(const SceneField& field, int quality, int view);
    // Whether there is a field to draw in front of the room.
    static bool fieldShown(const SceneField& field);
    // What the cache keeps: the room and, when shown, what changes only when
    // blocks land (the field's base and the stack).
    void drawStill(const SceneField& field, const SceneOptions& options, int quality, int view,
                   bool shown);
    // The falling blocks, their markers and the glass over everything.
    void drawFalling(const SceneField& field, const SceneOptions& options, int view);
    void drawStack(const SceneField& field, const SceneOptions& options, int view);
    void drawBlocks(const SceneField& field, const SceneOptions& options, int view);
    void drawMarkers(const SceneField& field, const SceneOptions& options, int view);

    GlCapabilities caps_;
    SceneGeometry geometry_;
    RoomPainter room_;
    QOpenGLContext* context_ = nullptr;
    QMetaObject::Connection contextGone_;
    RoomCache roomCache_;
    std::array<RoomCache::Key, RoomCache::kViews> lastKeys_;  // of the frame before
    bool clearPending_ = false;
    bool roomCachingWanted_ = true;
    bool roomCaching_ = false;  // wanted, and the context can
    int roomDraws_ = 0;
};
