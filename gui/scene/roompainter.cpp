#include "roompainter.h"

#include <array>
#include <vector>

#include "glmesh.h"

namespace {

constexpr int kCubeSize = 32;

// Uploaded upside down: GL's first row is the image's bottom row, so that t
// grows up the surface as the image does.
GLuint uploadTexture(const QImage& image) {
    if (image.isNull()) {
        return 0;
    }
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888).mirrored();
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // The textures repeat every grid unit, which is a few pixels far off:
    // without mipmaps they would shimmer. One level per fragment is enough.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, rgba.width(), rgba.height(), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, rgba.constBits());
    glBindTexture(GL_TEXTURE_2D, 0);
    return id;
}

// Each texel holds the unit direction through it, packed as (v / 2 + 1 / 2).
GLuint makeNormalisationCubeMap() {
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, id);
    const float half = kCubeSize / 2;
    std::vector<unsigned char> texels(std::size_t(kCubeSize * kCubeSize * 3));
    for (int face = 0; face < 6; ++face) {
        unsigned char* out = texels.data();
        for (int t = 0; t < kCubeSize; ++t) {
            for (int s = 0; s < kCubeSize; ++s) {
                const float sc = float(s) - half;
                const float tc = float(t) - half;
                QVector3D d;
                switch (face) {
                    case 0:
                        d = {half, -tc, -sc};
                        break;
                    case 1:
                        d = {-half, -tc, sc};
                        break;
                    case 2:
                        d = {sc, half, tc};
                        break;
                    case 3:
                        d = {sc, -half, -tc};
                        break;
                    case 4:
                        d = {sc, -tc, half};
                        break;
                    default:
                        d = {-sc, -tc, -half};
                        break;
                }
                d.normalize();
                for (int k = 0; k < 3; ++k) {
                    *out++ = static_cast<unsigned char>((d[k] * 0.5f + 0.5f) * 255.0f);
                }
            }
        }
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X_ARB + GLenum(face), 0, GL_RGB8, kCubeSize,
                     kCubeSize, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    }
    glTexParameteri(GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, 0);
    return id;
}

void deleteTexture(GLuint& id) {
    if (id != 0) {
        glDeleteTextures(1, &id);
        id = 0;
    }
}

const float* at(const GameRoom& room, int mesh, int offset) {
    return room.vertices(mesh) + offset;
}

constexpr GLsizei kStride = GameRoom::kStride;

}  // namespace

SceneTextures SceneTextures::fromResources() {
    return {QImage(QStringLiteral(":/textures/wall")), QImage(QStringLiteral(":/textures/box")),
            QImage(QStringLiteral(":/textures/box_bm"))};
}

RoomPainter::RoomPainter(SceneTextures textures) : images_(std::move(textures)) {}

void RoomPainter::initialize(const GlCapabilities& caps) {
    caps_ = caps;
    textureUnits_ = 1;
    if (caps_.bumpMapping) {
        glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &textureUnits_);
    }

    wallTexture_ = uploadTexture(images_.wall);
    bump_ = false;
    if (caps_.bumpMapping && !images_.box.isNull() && !images_.boxBump.isNull()) {
        bumpTexture_ = uploadTexture(images_.boxBump);
        boxTexture_ = uploadTexture(images_.box);
        for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
        }
        cubeMap_ = makeNormalisationCubeMap();
        bump_ = cubeMap_ != 0 && glGetError() == GL_NO_ERROR;
        if (!bump_) {
            deleteTexture(cubeMap_);
            deleteTexture(boxTexture_);
            deleteTexture(bumpTexture_);
        }
    }
}

void RoomPainter::release() {
    deleteTexture(wallTexture_);
    deleteTexture(boxTexture_);
    deleteTexture(bumpTexture_);
    deleteTexture(cubeMap_);
    forget();
}

void RoomPainter::forget() {
    wallTexture_ = boxTexture_ = bumpTexture_ = cubeMap_ = 0;
    bump_ = false;
}

void RoomPainter::draw(int quality, float cameraPlace, float cameraAngle, const GlMesh& plainRoom) {
    if (quality == 2) {
        drawRelief(cameraPlace, GameRoom::lightPosition(cameraAngle));
        return;
    }
    const bool textured = quality == 1 && wallTexture_ != 0;
    if (textured) {
        glColor4f(1, 1, 1, 1);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, wallTexture_);
    } else {
        const float grey = quality == 1 ? 1.0f : kGrey;
        glColor4f(grey, grey, grey, 1);
    }
    // The plain room is a box seen from inside: nothing of it hides another
    // part, and the field is drawn in front of all of it.
    glDisable(GL_DEPTH_TEST);
    plainRoom.drawOnce();
    glEnable(GL_DEPTH_TEST);
    if (textured) {
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
    }
}

void RoomPainter::drawRelief(float cameraPlace, const QVector3D& light) {
    Shown shown{};
    for (int m = 0; m < GameRoom::kMeshes; ++m) {
        shown[std::size_t(m)] = GameRoom::visible(m, cameraPlace);
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glColor4f(1, 1, 1, 1);
    if (!bump_) {
        drawLitRelief(shown);
        return;
    }
    // Unit 0 turns each light vector into a unit colour through the cube map,
    // unit 1 takes its dot product with the bump map's normal; a third unit
    // multiplies by the colour texture in the same pass, else a second pass
    // does by blending.
    const bool onePass = textureUnits_ >= 3;
    bindBumpUnits(onePass);
    drawBumpPass(shown, light, onePass);
    unbindBumpUnits(onePass);
    if (!onePass) {
        drawColourPass(shown);
    }
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glEnable(GL_LIGHTING);
}

void RoomPainter::drawLitRelief(const Shown& shown) {
    glEnableClientState(GL_NORMAL_ARRAY);
    if (wallTexture_ != 0) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, wallTexture_);
    }
    for (int m = 0; m < GameRoom::kMeshes; ++m) {
        if (shown[std::size_t(m)]) {
            glVertexPointer(3, GL_FLOAT, kStride, at(room_, m, GameRoom::Position));
            glNormalPointer(GL_FLOAT, kStride, at(room_, m, GameRoom::ScaledNormal));
            glTexCoordPointer(2, GL_FLOAT, kStride, at(room_, m, GameRoom::Texture));
            glDrawArrays(GL_QUADS, 0, room_.vertexCount(m));
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void RoomPainter::bindBumpUnits(bool onePass) {
    glDisable(GL_LIGHTING);
    caps_.activeTexture(GL_TEXTURE0_ARB);
    glEnable(GL_TEXTURE_CUBE_MAP_ARB);
    glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, cubeMap_);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    caps_.activeTexture(GL_TEXTURE1_ARB);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, bumpTexture_);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_DOT3_RGB_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB_ARB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, GL_PREVIOUS_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB_ARB, GL_SRC_COLOR);
    caps_.clientActiveTexture(GL_TEXTURE1_ARB);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    if (onePass) {
        caps_.activeTexture(GL_TEXTURE2_ARB);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, boxTexture_);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        caps_.clientActiveTexture(GL_TEXTURE2_ARB);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
}

void RoomPainter::drawBumpPass(const Shown& shown, const QVector3D& light, bool onePass) {
    for (int m = 0; m < GameRoom::kMeshes; ++m) {
        if (!shown[std::size_t(m)]) {
            continue;
        }
        room_.updateLight(m, light);
        glVertexPointer(3, GL_FLOAT, kStride, at(room_, m, GameRoom::Position));
        caps_.clientActiveTexture(GL_TEXTURE0_ARB);
        glTexCoordPointer(3, GL_FLOAT, kStride, at(room_, m, GameRoom::Light));
        caps_.clientActiveTexture(GL_TEXTURE1_ARB);
        glTexCoordPointer(2, GL_FLOAT, kStride, at(room_, m, GameRoom::Texture));
        if (onePass) {
            caps_.clientActiveTexture(GL_TEXTURE2_ARB);
            glTexCoordPointer(2, GL_FLOAT, kStride, at(room_, m, GameRoom::Texture));
        }
        glDrawArrays(GL_QUADS, 0, room_.vertexCount(m));
    }
}

// Turns units 1 and 2 off again and leaves unit 0 active with its plain
// texture environment.
void RoomPainter::unbindBumpUnits(bool onePass) {
    if (onePass) {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
        caps_.activeTexture(GL_TEXTURE1_ARB);
        caps_.clientActiveTexture(GL_TEXTURE1_ARB);
    }
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);

    caps_.activeTexture(GL_TEXTURE0_ARB);
    caps_.clientActiveTexture(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, 0);
    glDisable(GL_TEXTURE_CUBE_MAP_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

// The box colours multiplied into the lit relief by blending.
void RoomPainter::drawColourPass(const Shown& shown) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, boxTexture_);
    glEnable(GL_BLEND);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    for (int m = 0; m < GameRoom::kMeshes; ++m) {
        if (shown[std::size_t(m)]) {
            glVertexPointer(3, GL_FLOAT, kStride, at(room_, m, GameRoom::Position));
            glTexCoordPointer(2, GL_FLOAT, kStride, at(room_, m, GameRoom::Texture));
            glDrawArrays(GL_QUADS, 0, room_.vertexCount(m));
        }
    }
    glDisable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
}
