#include "roomcache.h"

#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>

bool RoomCache::holds(int view, const Key& key) const {
    return view >= 0 && view < kViews && valid_[std::size_t(view)] &&
           keys_[std::size_t(view)] == key;
}

void RoomCache::invalidate() {
    valid_.fill(false);
}

bool RoomCache::begin(QOpenGLContext& context, int view, const Key& key,
                      const float (&clearColour)[4]) {
    if (view < 0 || view >= kViews) {
        return false;
    }
    valid_[std::size_t(view)] = false;
    gl_ = context.extraFunctions();
    const QRect& p = key.place;
    if (p.isEmpty() || !QRect(QPoint(), key.target).contains(p) ||
        !buffer_.make(*gl_, key.target, key.samples)) {
        return false;
    }
    gl_->glViewport(p.x(), p.y(), p.width(), p.height());
    gl_->glScissor(p.x(), p.y(), p.width(), p.height());
    gl_->glEnable(GL_SCISSOR_TEST);
    gl_->glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
    gl_->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
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
    buffer_.copyTo(target, keys_[std::size_t(view)].place,
                   GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    if (gl_->glGetError() != GL_NO_ERROR) {
        valid_[std::size_t(view)] = false;
        return false;
    }
    return true;
}

void RoomCache::release() {
    buffer_.release();
    forget();
}

void RoomCache::forget() {
    buffer_.forget();
    valid_.fill(false);
    drawing_ = -1;
}
