#pragma once

#include <GL/gl.h>

#include <QSize>
#include <memory>

#include "multisampledbuffer.h"

class QOpenGLContext;
class QOpenGLExtraFunctions;
class QOpenGLPaintDevice;

// A frame drawn into a multisampled framebuffer of its own and resolved into
// the window's at its end, so that the window keeps one sample a pixel. Under
// a software renderer that makes every frame cheaper: the swap resolves
// nothing, and the room cache, a buffer of the same colour format, is copied
// into the frame as plain memory where a copy into the window's own format is
// converted sample by sample.
class MultisampledFrame {
public:
    MultisampledFrame();
    ~MultisampledFrame();
    MultisampledFrame(const MultisampledFrame&) = delete;
    MultisampledFrame& operator=(const MultisampledFrame&) = delete;

    // Binds the frame's framebuffer with pixels and samples; false, with the
    // window's framebuffer bound instead, when samples is below 2 or the
    // driver refuses such a framebuffer (the frame is then drawn straight
    // into the window, without multisampling).
    bool begin(QOpenGLContext& context, QSize pixels, int samples, GLuint window);
    // What the 2D layer is painted through: a QPainter on the window itself
    // would bind the window's framebuffer and paint past the frame.
    QOpenGLPaintDevice& paintDevice(QSize pixels, qreal devicePixelRatio);
    // Resolves the frame into the window's framebuffer and binds that.
    void end();

    // Drops the GL objects while their context is current; forget() when it
    // is gone with them.
    void release();
    void forget();

private:
    QOpenGLExtraFunctions* gl_ = nullptr;
    MultisampledBuffer buffer_;
    GLuint window_ = 0;
    bool active_ = false;
    std::unique_ptr<QOpenGLPaintDevice> device_;
};
