#pragma once

#include <GL/gl.h>

#include <QRect>
#include <QSize>

class QOpenGLContext;
class QOpenGLExtraFunctions;

// A framebuffer of multisampled colour, depth and stencil renderbuffers. All
// of them share one colour format, so that a copy from one into another is
// plain memory for a software renderer, not converted sample by sample.
class MultisampledBuffer {
public:
    static constexpr GLenum kColourFormat = GL_RGB8;

    MultisampledBuffer() = default;
    ~MultisampledBuffer() = default;
    MultisampledBuffer(const MultisampledBuffer&) = delete;
    MultisampledBuffer& operator=(const MultisampledBuffer&) = delete;

    // Whether the current context can make one at all: framebuffer objects
    // with multisampled renderbuffers and blits.
    static bool supported(QOpenGLContext& context);

    // Makes the buffer for pixels and samples, or keeps the one made, and
    // binds it; false, with nothing made and the framebuffer bound before
    // still bound, when the driver refuses it or would give another number
    // of samples.
    bool make(QOpenGLExtraFunctions& gl, QSize pixels, int samples);
    GLuint id() const { return framebuffer_; }
    // Copies area of the given buffers into the same place of target (the
    // frame's resolve when target has one sample) and leaves target bound.
    void copyTo(GLuint target, const QRect& area, GLbitfield buffers);
    QSize size() const { return size_; }

    // Drops the GL objects while their context is current; forget() when it
    // is gone with them.
    void release();
    void forget();

private:
    QOpenGLExtraFunctions* gl_ = nullptr;
    GLuint framebuffer_ = 0;
    GLuint colour_ = 0;
    GLuint depthStencil_ = 0;
    QSize size_;
    int samples_ = 0;
};
