#pragma once

#include <GL/gl.h>

#include <QRect>
#include <QSize>
#include <array>

#include "multisampledbuffer.h"

class QOpenGLContext;
class QOpenGLExtraFunctions;

// The room behind the field and the landed stack as last drawn, kept in a
// framebuffer of its own: while the camera stands still and nothing lands they
// are copied from there instead of drawn again. The room's textures and relief
// lighting and the stack's thousands of faces are most of a frame under a
// software renderer. Colours and depth are copied, so the falling blocks are
// drawn into the copy as into the stack itself.
// The cache is as large as the target and each view stands where it stands
// there, so that both are drawn to the same pixel.
class RoomCache {
public:
    // Everything the cached picture depends on.
    struct Key {
        int quality = -1;
        float cameraColumn = 0;
        int fieldsizeX = 0;
        float aspect = 0;
        QRect place;  // the view in the target
        QSize target;
        int samples = 0;
        int stackRevision = -1;  // -1: no field in front of the room
        int stackColour = -1;    // the one colour of all boxes; -1: their own
        bool operator==(const Key&) const = default;
    };

    RoomCache() = default;
    ~RoomCache() = default;
    RoomCache(const RoomCache&) = delete;
    RoomCache& operator=(const RoomCache&) = delete;

    static constexpr int kViews = 2;

    bool holds(int view, const Key& key) const;
    // Binds the cache's framebuffer, made to fit key, with the view's place
    // cleared to clearColour and the viewport on it, to draw the room into;
    // false, with the target still bound, when the driver refuses such a
    // framebuffer.
    bool begin(QOpenGLContext& context, int view, const Key& key, const float (&clearColour)[4]);
    // The room and stack are drawn: back to the target framebuffer.
    void end(GLuint target);
    // Copies the view's room and stack into the target framebuffer, colours
    // and depth; false when the driver refused the copy (both must then be
    // drawn).
    bool copyTo(int view, GLuint target);
    // Every view must be drawn again.
    void invalidate();

    // Drops the GL objects while their context is current; forget() when it
    // is gone with them.
    void release();
    void forget();

private:
    QOpenGLExtraFunctions* gl_ = nullptr;
    MultisampledBuffer buffer_;
    std::array<Key, kViews> keys_;
    std::array<bool, kViews> valid_{};
    int drawing_ = -1;  // the view between begin and end
};
