#include "display/xrandrdisplaymodes.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>
#include <span>

namespace {

// The screen's sizes and rates as the server reports them now.
class ScreenConfig {
public:
    ScreenConfig(Display* display, Window root) : config_(XRRGetScreenInfo(display, root)) {
        if (config_) {
            sizes_ = XRRConfigSizes(config_, &sizeCount_);
        }
    }
    ~ScreenConfig() {
        if (config_) {
            XRRFreeScreenConfigInfo(config_);
        }
    }
    ScreenConfig(const ScreenConfig&) = delete;
    ScreenConfig& operator=(const ScreenConfig&) = delete;

    XRRScreenConfiguration* get() const { return config_; }
    std::span<const XRRScreenSize> sizes() const {
        return {sizes_, static_cast<std::size_t>(sizeCount_)};
    }
    std::span<const short> rates(int size) const {
        int count = 0;
        const short* rates = XRRConfigRates(config_, size, &count);
        return {rates, static_cast<std::size_t>(count)};
    }

private:
    XRRScreenConfiguration* config_;
    XRRScreenSize* sizes_ = nullptr;
    int sizeCount_ = 0;
};

int rootBitsPerPixel(Display* display) {
    const int depth = DefaultDepth(display, DefaultScreen(display));
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    int bits = depth;
    for (int i = 0; i < count; ++i) {
        if (formats[i].depth == depth) {
            bits = formats[i].bits_per_pixel;
        }
    }
    if (formats) {
        XFree(formats);
    }
    return bits;
}

class XRandrDisplayModes final : public DisplayModeBackend {
public:
    XRandrDisplayModes(Display* display, bool owned)
        : display_(display),
          owned_(owned),
          root_(RootWindow(display, DefaultScreen(display))),
          bitsPerPixel_(rootBitsPerPixel(display)) {}

    ~XRandrDisplayModes() override {
        if (owned_) {
            XCloseDisplay(display_);
        }
    }

    QList<DisplayMode> modes() const override {
        QList<DisplayMode> out;
        const ScreenConfig config(display_, root_);
        for (int i = 0; i < int(config.sizes().size()); ++i) {
            const XRRScreenSize& size = config.sizes()[i];
            for (const short rate : config.rates(i)) {
                const DisplayMode mode{size.width, size.height, bitsPerPixel_, rate};
                if (!out.contains(mode)) {
                    out.append(mode);
                }
            }
            if (config.rates(i).empty()) {
                out.append({size.width, size.height, bitsPerPixel_, 0});
            }
        }
        return out;
    }

    DisplayMode currentMode() const override {
        const ScreenConfig config(display_, root_);
        if (!config.get()) {
            return {};
        }
        Rotation rotation = 0;
        const SizeID current = XRRConfigCurrentConfiguration(config.get(), &rotation);
        if (current >= config.sizes().size()) {
            return {};
        }
        return {config.sizes()[current].width, config.sizes()[current].height, bitsPerPixel_,
                XRRConfigCurrentRate(config.get())};
    }

    bool setMode(const DisplayMode& mode) override {
        if (mode.bitsPerPixel != bitsPerPixel_) {
            return false;
        }
        const ScreenConfig config(display_, root_);
        for (int i = 0; i < int(config.sizes().size()); ++i) {
            if (config.sizes()[i].width != mode.width || config.sizes()[i].height != mode.height) {
                continue;
            }
            // A rate the size does not have is an X error, which ends a
            // program under Xlib's default handler: ask only for listed ones.
            const std::span<const short> rates = config.rates(i);
            if (!rates.empty() &&
                std::find(rates.begin(), rates.end(), mode.refreshRate) == rates.end()) {
                return false;
            }
            Rotation rotation = 0;
            XRRConfigCurrentConfiguration(config.get(), &rotation);
            const Status status =
                XRRSetScreenConfigAndRate(display_, config.get(), root_, i, rotation,
                                          static_cast<short>(mode.refreshRate), CurrentTime);
            XSync(display_, False);
            return status == RRSetConfigSuccess;
        }
        return false;
    }

    QByteArray displayName() const override { return QByteArray(XDisplayString(display_)); }

private:
    Display* display_;
    bool owned_;
    Window root_;
    int bitsPerPixel_;
};

int ignoreError(Display*, XErrorEvent*) {
    return 0;
}

bool hasRandr(Display* display) {
    int eventBase = 0;
    int errorBase = 0;
    return XRRQueryExtension(display, &eventBase, &errorBase) != 0;
}

}  // namespace

std::unique_ptr<DisplayModeBackend> xrandrDisplayModes(_XDisplay* display) {
    if (!display || !hasRandr(display)) {
        return nullptr;
    }
    return std::make_unique<XRandrDisplayModes>(display, false);
}

std::unique_ptr<DisplayModeBackend> openXRandrDisplayModes(const QByteArray& displayName) {
    // Our own connection: a refused request shows in the result, it must not
    // end the program as Xlib's default handler would.
    XSetErrorHandler(ignoreError);
    Display* display = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
    if (!display) {
        return nullptr;
    }
    if (!hasRandr(display)) {
        XCloseDisplay(display);
        return nullptr;
    }
    return std::make_unique<XRandrDisplayModes>(display, true);
}
