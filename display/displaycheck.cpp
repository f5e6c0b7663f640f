#include "display/displaycheck.h"

#include <cstring>

#ifdef QUADRELL_HAVE_XRANDR
#include <X11/Xlib.h>
#endif

namespace {

// The value of Qt's option `name` (-name VALUE or --name VALUE), else the
// environment variable's.
QByteArray chosen(int argc, char* argv[], const char* name, const char* variable) {
    for (int i = 1; i + 1 < argc; ++i) {
        const char* argument = argv[i];
        if (argument[0] != '-') {
            continue;
        }
        if (std::strcmp(argument[1] == '-' ? argument + 2 : argument + 1, name) == 0) {
            return QByteArray(argv[i + 1]);
        }
    }
    return qgetenv(variable);
}

}  // namespace

QString displayProblem(int argc, char* argv[]) {
    const QByteArray platform = chosen(argc, argv, "platform", "QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb")) {
        return {};  // wayland, offscreen, ...: Qt reports its own failures
    }
    if (platform.isEmpty() && !qgetenv("WAYLAND_DISPLAY").isEmpty()) {
        return {};
    }
    const QByteArray display = chosen(argc, argv, "display", "DISPLAY");
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
