#include "roomcache.h"

#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>

#include "multisampledframe.h"

bool RoomCache::supported(QOpenGLContext& context) {
    if (context.isOpenGLES()) {
        return context.format().majorVersion() >= 3;
    }
    return context.format().version() >= qMakePair(3, 0) ||
           context.hasExtension(QByteArrayLiteral("GL_ARB_framebuffer_object"));
}

bool RoomCache::holds(int view, const Key& key) const {
    return view >= 0 && view < kViews && valid_[std::size_t(view)] &&
           keys_[std::size_t(view)] == key;
}

void RoomCache::invalidate() {
    valid_.fill(false);
}

bool RoomCache::make(const Key& key) {
    if (framebuffer_ != 0 && madeSize_ == key.target && madeSamples_ == key.samples) {
        return true;
    }
    release();
    gl_->glGenFramebuffers(1, &framebuffer_);
    gl_->glGenRenderbuffers(1, &colour_);
    gl_->glGenRenderbuffers(1, &depth_);
    const int w = key.target.width();
    const int h = key.target.height();
    gl_->glBindRenderbuffer(GL_RENDERBUFFER, colour_);
    gl_->glRenderbufferStorageMultisample(GL_RENDERBUFFER, key.samples,
                                          MultisampledFrame::kColourFormat, w, h);
    gl_->glBindRenderbuffer(GL_RENDERBUFFER, depth_);
    gl_->glRenderbufferStorageMultisample(GL_RENDERBUFFER, key.samples, GL_DEPTH_COMPONENT24, w, h);
    gl_->glBindRenderbuffer(GL_RENDERBUFFER, 0);
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gl_->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    gl_->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
    GLint samples = -1;
    gl_->glGetIntegerv(GL_SAMPLES, &samples);
    // A copy between multisampled buffers needs the same number of samples.
    if (gl_->glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE ||
        samples != key.samples) {
        release();
        return false;
    }
    madeSize_ = key.target;
    madeSamples_ = key.samples;
    return true;
}

bool RoomCache::begin(QOpenGLContext& context, int view, const Key& key,
                      const float (&clearColour)[4]) {
    if (view < 0 || view >= kViews) {
        return false;
    }
    valid_[std::size_t(view)] = false;
    gl_ = context.extraFunctions();
    const QRect& p = key.place;
    if (p.isEmpty() || !QRect(QPoint(), key.target).contains(p) || !make(key)) {
        return false;
    }
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gl_->glViewport(p.x(), p.y(), p.width(), p.height());
    gl_->glScissor(p.x(), p.y(), p.width(), p.height());
    gl_->glEnable(GL_SCISSOR_TEST);
    gl_->glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
    gl_->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl_->glDisable(GL_SCISSOR_TEST);
    keys_[std::size_t(view)] = key;
    drawing_ = view;
    return true;
}

void RoomCache::end(GLuint target) {
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, target);
    if (drawing_ >= 0) {
        valid_[std::size_t(drawing_)] = true;
    }
    drawing_ = -1;
}

bool RoomCache::copyTo(int view, GLuint target) {
    if (view < 0 || view >= kViews || !valid_[std::size_t(view)]) {
        return false;
    }
    while (gl_->glGetError() != GL_NO_ERROR) {
    }
    const QRect& p = keys_[std::size_t(view)].place;
    gl_->glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    gl_->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
    gl_->glBlitFramebuffer(p.x(), p.y(), p.x() + p.width(), p.y() + p.height(), p.x(), p.y(),
                           p.x() + p.width(), p.y() + p.height(), GL_COLOR_BUFFER_BIT, GL_NEAREST);
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, target);
    if (gl_->glGetError() != GL_NO_ERROR) {
        valid_[std::size_t(view)] = false;
        return false;
    }
    return true;
}

void RoomCache::release() {
    if (gl_ != nullptr) {
        if (framebuffer_ != 0) {
            gl_->glDeleteFramebuffers(1, &framebuffer_);
        }
        const GLuint buffers[] = {colour_, depth_};
        gl_->glDeleteRenderbuffers(2, buffers);
    }
    forget();
}

void RoomCache::forget() {
    framebuffer_ = colour_ = depth_ = 0;
    madeSize_ = QSize();
    madeSamples_ = -1;
    valid_.fill(false);
    drawing_ = -1;
}
