#include "shell/xrandrdisplaymodes.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>

namespace {

// Releases an Xlib allocation at the end of a scope.
template <typename T, void (*Free)(T*)>
struct XResource {
    T* value;
    ~XResource() {
        if (value) {
            Free(value);
        }
    }
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
        const XResource<XRRScreenConfiguration, XRRFreeScreenConfigInfo> config{
            XRRGetScreenInfo(display_, root_)};
        if (!config.value) {
            return out;
        }
        int sizeCount = 0;
        const XRRScreenSize* sizes = XRRConfigSizes(config.value, &sizeCount);
        for (int i = 0; i < sizeCount; ++i) {
            int rateCount = 0;
            const short* rates = XRRConfigRates(config.value, i, &rateCount);
            for (int r = 0; r < rateCount; ++r) {
                const DisplayMode mode{sizes[i].width, sizes[i].height, bitsPerPixel_, rates[r]};
                if (!out.contains(mode)) {
                    out.append(mode);
                }
            }
            if (rateCount == 0) {
                out.append({sizes[i].width, sizes[i].height, bitsPerPixel_, 0});
            }
        }
        return out;
    }

    DisplayMode currentMode() const override {
        const XResource<XRRScreenConfiguration, XRRFreeScreenConfigInfo> config{
            XRRGetScreenInfo(display_, root_)};
        if (!config.value) {
            return {};
        }
        int sizeCount = 0;
        const XRRScreenSize* sizes = XRRConfigSizes(config.value, &sizeCount);
        Rotation rotation = 0;
        const SizeID current = XRRConfigCurrentConfiguration(config.value, &rotation);
        if (current >= sizeCount) {
            return {};
        }
        return {sizes[current].width, sizes[current].height, bitsPerPixel_,
                XRRConfigCurrentRate(config.value)};
    }

    bool setMode(const DisplayMode& mode) override {
        if (mode.bitsPerPixel != bitsPerPixel_) {
            return false;
        }
        const XResource<XRRScreenConfiguration, XRRFreeScreenConfigInfo> config{
            XRRGetScreenInfo(display_, root_)};
        if (!config.value) {
            return false;
        }
        int sizeCount = 0;
        const XRRScreenSize* sizes = XRRConfigSizes(config.value, &sizeCount);
        for (int i = 0; i < sizeCount; ++i) {
            if (sizes[i].width != mode.width || sizes[i].height != mode.height) {
                continue;
            }
            int rateCount = 0;
            const short* rates = XRRConfigRates(config.value, i, &rateCount);
            // A rate the size does not have is an X error, which ends a
            // program under Xlib's default handler: ask only for listed ones.
            if (rateCount > 0 &&
                std::find(rates, rates + rateCount, mode.refreshRate) == rates + rateCount) {
                return false;
            }
            Rotation rotation = 0;
            XRRConfigCurrentConfiguration(config.value, &rotation);
            const Status status =
                XRRSetScreenConfigAndRate(display_, config.value, root_, i, rotation,
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
