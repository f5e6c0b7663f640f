#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <QByteArrayView>

class QOpenGLContext;

// Paths a caller may forbid, to compare or test the fallbacks.
struct GlAllow {
    bool vertexBuffers = true;
    bool bumpMapping = true;
};

// What the driver offers the scene, found once per context: buffer objects or
// display lists, dot3 bump mapping or plain texturing, and the entry points of
// the extensions behind them. A path whose entry points are missing is off.
struct GlCapabilities {
    using Allow = GlAllow;

    bool vertexBuffers = false;
    bool bumpMapping = false;

    PFNGLGENBUFFERSARBPROC genBuffers = nullptr;
    PFNGLBINDBUFFERARBPROC bindBuffer = nullptr;
    PFNGLBUFFERDATAARBPROC bufferData = nullptr;
    PFNGLDELETEBUFFERSARBPROC deleteBuffers = nullptr;
    PFNGLDRAWRANGEELEMENTSPROC drawRangeElements = nullptr;

    PFNGLCLIENTACTIVETEXTUREARBPROC clientActiveTexture = nullptr;
    PFNGLACTIVETEXTUREARBPROC activeTexture = nullptr;
    PFNGLMULTITEXCOORD2FARBPROC multiTexCoord2f = nullptr;
    PFNGLMULTITEXCOORD3FARBPROC multiTexCoord3f = nullptr;

    // Reads the extension string of the current context and resolves what it
    // offers through the context.
    static GlCapabilities detect(QOpenGLContext& context, Allow allow = {});

    // Whether name is one whole word of the extension string. A name that is
    // empty or holds a space is never there.
    static bool hasExtension(QByteArrayView extensions, QByteArrayView name);
};
