#include "multisampledframe.h"

#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLPaintDevice>

MultisampledFrame::MultisampledFrame() = default;
MultisampledFrame::~MultisampledFrame() = default;

bool MultisampledFrame::make(QSize pixels, int samples) {
    if (framebuffer_ != 0 && madeSize_ == pixels && madeSamples_ == samples) {
        return true;
    }
    release();
    while (gl_->glGetError() != GL_NO_ERROR) {
    }
    gl_->glGenFramebuffers(1, &framebuffer_);
    gl_->glGenRenderbuffers(1, &colour_);
    gl_->glGenRenderbuffers(1, &depthStencil_);
    gl_->glBindRenderbuffer(GL_RENDERBUFFER, colour_);
    gl_->glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, kColourFormat, pixels.width(),
                                          pixels.height());
    // QPainter fills paths through the stencil; the scene needs depth.
    gl_->glBindRenderbuffer(GL_RENDERBUFFER, depthStencil_);
    gl_->glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH24_STENCIL8,
                                          pixels.width(), pixels.height());
    gl_->glBindRenderbuffer(GL_RENDERBUFFER, 0);
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gl_->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    gl_->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                   depthStencil_);
    gl_->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                   depthStencil_);
    if (gl_->glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE ||
        gl_->glGetError() != GL_NO_ERROR) {
        release();
        return false;
    }
    madeSize_ = pixels;
    madeSamples_ = samples;
    return true;
}

bool MultisampledFrame::begin(QOpenGLContext& context, QSize pixels, int samples, GLuint window) {
    gl_ = context.extraFunctions();
    window_ = window;
    active_ = samples > 1 && !pixels.isEmpty() && !context.isOpenGLES() &&
              (context.format().version() >= qMakePair(3, 0) ||
               context.hasExtension(QByteArrayLiteral("GL_ARB_framebuffer_object"))) &&
              make(pixels, samples);
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, active_ ? framebuffer_ : window_);
    return active_;
}

QOpenGLPaintDevice& MultisampledFrame::paintDevice(QSize pixels, qreal devicePixelRatio) {
    // The device keeps the context it was made in.
    if (!device_ || device_->context() != QOpenGLContext::currentContext()) {
        device_ = std::make_unique<QOpenGLPaintDevice>(pixels);
    }
    device_->setSize(pixels);
    device_->setDevicePixelRatio(devicePixelRatio);
    return *device_;
}

void MultisampledFrame::end() {
    if (!active_) {
        return;
    }
    active_ = false;
    gl_->glDisable(GL_SCISSOR_TEST);
    gl_->glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    gl_->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, window_);
    const int w = madeSize_.width();
    const int h = madeSize_.height();
    gl_->glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, window_);
}

void MultisampledFrame::release() {
    if (gl_ != nullptr) {
        if (framebuffer_ != 0) {
            gl_->glDeleteFramebuffers(1, &framebuffer_);
        }
        const GLuint buffers[] = {colour_, depthStencil_};
        gl_->glDeleteRenderbuffers(2, buffers);
    }
    forget();
}

void MultisampledFrame::forget() {
    framebuffer_ = colour_ = depthStencil_ = 0;
    madeSize_ = QSize();
    madeSamples_ = 0;
    active_ = false;
    device_.reset();
}
