#include "multisampledbuffer.h"

#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>

bool MultisampledBuffer::supported(QOpenGLContext& context) {
    if (context.isOpenGLES()) {
        return context.format().majorVersion() >= 3;
    }
    return context.format().version() >= qMakePair(3, 0) ||
           context.hasExtension(QByteArrayLiteral("GL_ARB_framebuffer_object"));
}

bool MultisampledBuffer::make(QOpenGLExtraFunctions& gl, QSize pixels, int samples) {
    if (framebuffer_ != 0 && gl_ == &gl && size_ == pixels && samples_ == samples) {
        gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        return true;
    }
    release();
    gl_ = &gl;
    GLint before = 0;
    gl.glGetIntegerv(GL_FRAMEBUFFER_BINDING, &before);
    while (gl.glGetError() != GL_NO_ERROR) {
    }
    gl.glGenFramebuffers(1, &framebuffer_);
    gl.glGenRenderbuffers(1, &colour_);
    gl.glGenRenderbuffers(1, &depthStencil_);
    gl.glBindRenderbuffer(GL_RENDERBUFFER, colour_);
    gl.glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, kColourFormat, pixels.width(),
                                        pixels.height());
    // QPainter fills paths through the stencil; the scene needs depth.
    gl.glBindRenderbuffer(GL_RENDERBUFFER, depthStencil_);
    gl.glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH24_STENCIL8,
                                        pixels.width(), pixels.height());
    gl.glBindRenderbuffer(GL_RENDERBUFFER, 0);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                 depthStencil_);
    gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                 depthStencil_);
    GLint made = -1;
    gl.glGetIntegerv(GL_SAMPLES, &made);
    // Copies between multisampled buffers need the same number of samples.
    if (gl.glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE ||
        gl.glGetError() != GL_NO_ERROR || made != samples) {
        release();
        gl.glBindFramebuffer(GL_FRAMEBUFFER, GLuint(before));
        return false;
    }
    size_ = pixels;
    samples_ = samples;
    return true;
}

void MultisampledBuffer::copyTo(GLuint target, const QRect& area, GLbitfield buffers) {
    const int x1 = area.x() + area.width();
    const int y1 = area.y() + area.height();
    gl_->glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    gl_->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
    gl_->glBlitFramebuffer(area.x(), area.y(), x1, y1, area.x(), area.y(), x1, y1, buffers,
                           GL_NEAREST);
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, target);
}

void MultisampledBuffer::release() {
    if (gl_ != nullptr) {
        if (framebuffer_ != 0) {
            gl_->glDeleteFramebuffers(1, &framebuffer_);
        }
        const GLuint buffers[] = {colour_, depthStencil_};
        gl_->glDeleteRenderbuffers(2, buffers);
    }
    forget();
}

void MultisampledBuffer::forget() {
    framebuffer_ = colour_ = depthStencil_ = 0;
    size_ = QSize();
    samples_ = 0;
}
