#include "display/displaymodebackends.h"

#include <QGuiApplication>
#include <QScreen>

#ifdef QUADRELL_HAVE_XRANDR
#include <QtGui/qguiapplication_platform.h>

#include "display/xrandrdisplaymodes.h"
#endif

namespace {

// Where the program cannot switch modes (Wayland, offscreen, systems without
// RandR): the primary screen as it is is the only mode, and switching to it
// is the only switch that succeeds.
class ScreenDisplayModes final : public DisplayModeBackend {
public:
    QList<DisplayMode> modes() const override {
        const DisplayMode mode = currentMode();
        return mode.isValid() ? QList<DisplayMode>{mode} : QList<DisplayMode>{};
    }

    DisplayMode currentMode() const override {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen != nullptr ? currentModeOf(*screen) : DisplayMode{};
    }

    bool setMode(const DisplayMode& mode) override { return mode == currentMode(); }
};

}  // namespace

std::unique_ptr<DisplayModeBackend> createDisplayModeBackend() {
#ifdef QUADRELL_HAVE_XRANDR
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        if (const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
            if (std::unique_ptr<DisplayModeBackend> backend = xrandrDisplayModes(x11->display())) {
                return backend;
            }
        }
    }
#endif
    return std::make_unique<ScreenDisplayModes>();
}
