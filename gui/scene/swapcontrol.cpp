#include "swapcontrol.h"

#include <qguiapplication_platform.h>
#include <qopenglcontext_platform.h>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QWindow>

#include "glcapabilities.h"

namespace {

// The GLX entry points come from the context, so the scene needs no GLX
// library at link time.
using Drawable = unsigned long;
using QueryExtensionsString = const char* (*)(Display*, int);
using SwapIntervalExt = void (*)(Display*, Drawable, int);
using QueryDrawable = void (*)(Display*, Drawable, int, unsigned int*);
constexpr int kGlxSwapIntervalExt = 0x20F1;

struct Glx {
    Display* display = nullptr;
    SwapIntervalExt swapInterval = nullptr;
    QueryDrawable queryDrawable = nullptr;
};

Glx glx() {
    Glx g;
    QOpenGLContext* context = QOpenGLContext::currentContext();
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (context == nullptr || x11 == nullptr ||
        context->nativeInterface<QNativeInterface::QGLXContext>() == nullptr) {
        return g;
    }
    Display* display = x11->display();
    auto query = reinterpret_cast<QueryExtensionsString>(
        context->getProcAddress("glXQueryExtensionsString"));
    if (display == nullptr || query == nullptr ||
        !GlCapabilities::hasExtension(query(display, 0), "GLX_EXT_swap_control")) {
        return g;
    }
    g.swapInterval =
        reinterpret_cast<SwapIntervalExt>(context->getProcAddress("glXSwapIntervalEXT"));
    g.queryDrawable = reinterpret_cast<QueryDrawable>(context->getProcAddress("glXQueryDrawable"));
    if (g.swapInterval != nullptr) {
        g.display = display;
    }
    return g;
}

}  // namespace

QSurfaceFormat SwapControl::withVSync(QSurfaceFormat format, bool vsync) {
    format.setSwapInterval(vsync ? 1 : 0);
    return format;
}

bool SwapControl::available() {
    return glx().display != nullptr;
}

bool SwapControl::apply(QWindow* window, bool vsync) {
    if (window == nullptr) {
        return false;
    }
    if (window->handle() == nullptr) {
        window->setFormat(withVSync(window->requestedFormat(), vsync));
        return true;
    }
    const Glx g = glx();
    if (g.display == nullptr) {
        return false;
    }
    g.swapInterval(g.display, window->winId(), vsync ? 1 : 0);
    return true;
}

int SwapControl::interval(QWindow* window) {
    const Glx g = glx();
    if (window == nullptr || window->handle() == nullptr || g.queryDrawable == nullptr) {
        return -1;
    }
    unsigned int value = 0;
    g.queryDrawable(g.display, window->winId(), kGlxSwapIntervalExt, &value);
    return int(value);
}
