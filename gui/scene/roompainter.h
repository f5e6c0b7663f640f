#pragma once

#include <GL/gl.h>

#include <QImage>
#include <array>

#include "gameroom.h"
#include "glcapabilities.h"

class GlMesh;

// The images the scene is textured with; a missing one means plain drawing.
struct SceneTextures {
    QImage wall;
    QImage box;
    QImage boxBump;
    // ":/textures/wall", ":/textures/box" and ":/textures/box_bm".
    static SceneTextures fromResources();
};

// The room around the field at each quality: Low's grey box, Normal's
// textured one and High's relief, lit by bump mapping where the driver can.
// Owns the room's textures; every call needs their context current.
class RoomPainter {
public:
    // Low's room, and the clear colour behind every room.
    static constexpr float kGrey = 127.0f / 255.0f;

    explicit RoomPainter(SceneTextures textures);
    ~RoomPainter() = default;
    RoomPainter(const RoomPainter&) = delete;
    RoomPainter& operator=(const RoomPainter&) = delete;

    // Loads the textures; once per context, after release() or forget().
    void initialize(const GlCapabilities& caps);
    // Dot3 bump mapping works: extensions, cube map and both room textures.
    bool bumpMapping() const { return bump_; }
    // cameraPlace in the room's twelve columns, cameraAngle in degrees;
    // plainRoom is Low's and Normal's box.
    void draw(int quality, float cameraPlace, float cameraAngle, const GlMesh& plainRoom);

    // Drops the textures while their context is current; forget() when it is
    // gone with them.
    void release();
    void forget();

private:
    using Shown = std::array<bool, GameRoom::kMeshes>;  // the meshes in view
    void drawRelief(float cameraPlace, const QVector3D& light);
    // Without bump mapping: the wall texture under the fixed lights.
    void drawLitRelief(const Shown& shown);
    // The texture units of the bump pass, and the pass itself.
    void bindBumpUnits(bool onePass);
    void drawBumpPass(const Shown& shown, const QVector3D& light, bool onePass);
    void unbindBumpUnits(bool onePass);
    void drawColourPass(const Shown& shown);

    SceneTextures images_;
    GlCapabilities caps_;
    GameRoom room_;
    GLuint wallTexture_ = 0;
    GLuint boxTexture_ = 0;
    GLuint bumpTexture_ = 0;
    GLuint cubeMap_ = 0;
    bool bump_ = false;
    GLint textureUnits_ = 1;
};
