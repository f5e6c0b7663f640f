#include "glcapabilities.h"

#include <QOpenGLContext>

namespace {

template <typename Fn>
bool resolve(QOpenGLContext& context, Fn& fn, const char* name, const char* coreName = nullptr) {
    QFunctionPointer p = context.getProcAddress(name);
    if (p == nullptr && coreName != nullptr) {
        p = context.getProcAddress(coreName);
    }
    fn = reinterpret_cast<Fn>(p);
    return fn != nullptr;
}

}  // namespace

bool GlCapabilities::hasExtension(QByteArrayView extensions, QByteArrayView name) {
    if (name.isEmpty() || name.contains(' ')) {
        return false;
    }
    qsizetype from = 0;
    while (true) {
        const qsizetype at = extensions.indexOf(name, from);
        if (at < 0) {
            return false;
        }
        const qsizetype end = at + name.size();
        if ((at == 0 || extensions.at(at - 1) == ' ') &&
            (end == extensions.size() || extensions.at(end) == ' ')) {
            return true;
        }
        from = at + 1;
    }
}

GlCapabilities GlCapabilities::detect(QOpenGLContext& context, Allow allow) {
    GlCapabilities caps;
    const auto* raw = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const QByteArrayView ext = raw != nullptr ? QByteArrayView(raw) : QByteArrayView();

    if (allow.bumpMapping && hasExtension(ext, "GL_ARB_multitexture") &&
        hasExtension(ext, "GL_ARB_texture_cube_map") &&
        hasExtension(ext, "GL_ARB_texture_env_combine") &&
        hasExtension(ext, "GL_ARB_texture_env_dot3")) {
        bool ok = resolve(context, caps.clientActiveTexture, "glClientActiveTextureARB",
                          "glClientActiveTexture");
        ok = resolve(context, caps.activeTexture, "glActiveTextureARB", "glActiveTexture") && ok;
        ok = resolve(context, caps.multiTexCoord2f, "glMultiTexCoord2fARB", "glMultiTexCoord2f") &&
             ok;
        ok = resolve(context, caps.multiTexCoord3f, "glMultiTexCoord3fARB", "glMultiTexCoord3f") &&
             ok;
        caps.bumpMapping = ok;
    }
    if (allow.vertexBuffers && hasExtension(ext, "GL_ARB_vertex_buffer_object")) {
        bool ok = resolve(context, caps.genBuffers, "glGenBuffersARB", "glGenBuffers");
        ok = resolve(context, caps.bindBuffer, "glBindBufferARB", "glBindBuffer") && ok;
        ok = resolve(context, caps.bufferData, "glBufferDataARB", "glBufferData") && ok;
        ok = resolve(context, caps.deleteBuffers, "glDeleteBuffersARB", "glDeleteBuffers") && ok;
        ok = resolve(context, caps.drawRangeElements, "glDrawRangeElements",
                     "glDrawRangeElementsEXT") &&
             ok;
        caps.vertexBuffers = ok;
    }
    return caps;
}
