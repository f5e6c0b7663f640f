#include "multisampledframe.h"

#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLPaintDevice>

MultisampledFrame::MultisampledFrame() = default;
MultisampledFrame::~MultisampledFrame() = default;

bool MultisampledFrame::begin(QOpenGLContext& context, QSize pixels, int samples, GLuint window) {
    gl_ = context.extraFunctions();
    window_ = window;
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, window_);
    active_ = samples > 1 && !pixels.isEmpty() && MultisampledBuffer::supported(context) &&
              buffer_.make(*gl_, pixels, samples);
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
    buffer_.copyTo(window_, QRect(QPoint(), buffer_.size()), GL_COLOR_BUFFER_BIT);
}

void MultisampledFrame::release() {
    buffer_.release();
    forget();
}

void MultisampledFrame::forget() {
    buffer_.forget();
    active_ = false;
    device_.reset();
}
