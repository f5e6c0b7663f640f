#include "display/displaycheck.h"

#include <cstring>

#ifdef QUADRELL_HAVE_XRANDR
#include <X11/Xlib.h>
#endif

namespace {

// The platform named with -platform or QT_QPA_PLATFORM; empty for Qt's own
// choice.
QByteArray chosenPlatform(int argc, char* argv[]) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0) {
            return QByteArray(argv[i + 1]);
        }
    }
    return qgetenv("QT_QPA_PLATFORM");
}

}  // namespace

QString displayProblem(int argc, char* argv[]) {
    const QByteArray platform = chosenPlatform(argc, argv);
    if (!platform.isEmpty() && !platform.startsWith("xcb")) {
        return {};  // wayland, offscreen, ...: Qt reports its own failures
    }
    if (platform.isEmpty() && !qgetenv("WAYLAND_DISPLAY").isEmpty()) {
        return {};
    }
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) {
        return QStringLiteral("no display to open a window on (DISPLAY is not set)");
    }
#ifdef QUADRELL_HAVE_XRANDR
    Display* x = XOpenDisplay(display.constData());
    if (x == nullptr) {
        return QStringLiteral("cannot open the display '%1'").arg(QString::fromLocal8Bit(display));
    }
    XCloseDisplay(x);
#endif
    return {};
}
