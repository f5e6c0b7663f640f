// Writes the program icon: a ring of coloured blocks around a dark well, the
// game's field seen from above. PNGs in the usual hicolor sizes and an SVG of
// the same drawing, under OUTDIR/hicolor/.
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "assetio.h"
#include "procedural.h"

namespace {

using Procedural::clamp01;
using Procedural::mix;
using Procedural::roundedBoxDistance;

constexpr double kPi = 3.141592653589793;
constexpr std::array<int, 7> kSizes = {16, 24, 32, 48, 64, 128, 256};

// The players' colours of the game.
constexpr std::array<std::array<int, 3>, 6> kColours = {
    {{255, 0, 0}, {51, 51, 255}, {0, 255, 0}, {255, 255, 0}, {255, 0, 255}, {0, 255, 255}}};

// Geometry in icon units: the icon spans -0.5 .. 0.5, y down.
constexpr double kWellRadius = 0.48;
constexpr double kRingRadius = 0.32;

struct Layout {
    int blocks;
    double half;    // half the block's side
    double corner;  // corner radius
    std::vector<double> cosines;
    std::vector<double> sines;
};

// Small icons get fewer, bigger blocks so that each stays a few pixels wide.
Layout layoutFor(int size) {
    Layout layout = size <= 24 ? Layout{6, 0.115, 0.025, {}, {}} : Layout{12, 0.070, 0.018, {}, {}};
    for (int i = 0; i < layout.blocks; ++i) {
        // The first block sits at the top.
        const double angle = -kPi / 2 + 2 * kPi * i / layout.blocks;
        layout.cosines.push_back(std::cos(angle));
        layout.sines.push_back(std::sin(angle));
    }
    return layout;
}

struct Rgba {
    double r = 0, g = 0, b = 0, a = 0;  // premultiplied
};

void over(Rgba& dst, double r, double g, double b, double a) {
    dst.r = r * a + dst.r * (1 - a);
    dst.g = g * a + dst.g * (1 - a);
    dst.b = b * a + dst.b * (1 - a);
    dst.a = a + dst.a * (1 - a);
}

// Colour at one sample point; `outline` is the width of dark edges in units.
Rgba sample(double x, double y, const Layout& layout, double outline) {
    Rgba c;
    const double radius = std::hypot(x, y);
    if (radius < kWellRadius) {
        // A dark well, a little lighter towards its rim.
        const double t = radius / kWellRadius;
        const double rim = radius > kWellRadius - outline ? 0.55 : 1.0;
        over(c, mix(22, 48, t * t) * rim, mix(26, 54, t * t) * rim, mix(40, 78, t * t) * rim, 1.0);
    }
    for (int i = 0; i < layout.blocks; ++i) {
        const double cosA = layout.cosines[static_cast<std::size_t>(i)];
        const double sinA = layout.sines[static_cast<std::size_t>(i)];
        const double cx = kRingRadius * cosA;
        const double cy = kRingRadius * sinA;
        // Block frame: u along the ring, v outward.
        const double dx = x - cx;
        const double dy = y - cy;
        const double u = -dx * sinA + dy * cosA;
        const double v = dx * cosA + dy * sinA;
        const double d = roundedBoxDistance(u, v, layout.half, layout.half, layout.corner);
        if (d > 0) {
            continue;
        }
        const auto& base = kColours[static_cast<std::size_t>(i) % kColours.size()];
        // A bevel lit from the upper left, like the game's boxes.
        const double bevel = layout.half * 0.3;
        double shade = 0.85 - 0.25 * (y - cy) / layout.half;
        if (-d < bevel) {
            const double ex = std::abs(u) > std::abs(v) ? (u > 0 ? 1.0 : -1.0) : 0.0;
            const double ey = std::abs(u) > std::abs(v) ? 0.0 : (v > 0 ? 1.0 : -1.0);
            // Outward edge direction back in icon coordinates.
            const double gx = -ex * sinA + ey * cosA;
            const double gy = ex * cosA + ey * sinA;
            shade += 0.45 * (-0.6 * gx - 0.8 * gy);
        }
        if (-d < outline) {
            shade *= 0.35;
        }
        over(c, clamp01(base[0] / 255.0 * shade + std::max(0.0, shade - 1.0) * 0.5) * 255,
             clamp01(base[1] / 255.0 * shade + std::max(0.0, shade - 1.0) * 0.5) * 255,
             clamp01(base[2] / 255.0 * shade + std::max(0.0, shade - 1.0) * 0.5) * 255, 1.0);
    }
    return c;
}

std::vector<std::uint8_t> render(int size) {
    constexpr int kSub = 8;  // samples per pixel and axis
    const Layout layout = layoutFor(size);
    const double outline = std::max(0.8 / size, 0.006);
    std::vector<std::uint8_t> rgba;
    rgba.reserve(static_cast<std::size_t>(size * size * 4));
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            Rgba sum;
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    const double x = (px + (sx + 0.5) / kSub) / size - 0.5;
                    const double y = (py + (sy + 0.5) / kSub) / size - 0.5;
                    const Rgba s = sample(x, y, layout, outline);
                    sum.r += s.r;
                    sum.g += s.g;
                    sum.b += s.b;
                    sum.a += s.a;
                }
            }
            const double a = sum.a / (kSub * kSub);
            auto channel = [&](double premultiplied) {
                return static_cast<std::uint8_t>(
                    std::lround(a > 0 ? std::clamp(premultiplied / sum.a, 0.0, 255.0) : 0.0));
            };
            rgba.insert(rgba.end(), {channel(sum.r), channel(sum.g), channel(sum.b),
                                     static_cast<std::uint8_t>(std::lround(a * 255))});
        }
    }
    return rgba;
}

std::string svg() {
    const Layout layout = layoutFor(256);
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
        "viewBox=\"-0.5 -0.5 1 1\">\n"
        "  <defs>\n"
        "    <radialGradient id=\"well\" cx=\"0\" cy=\"0\" r=\"0.48\" "
        "gradientUnits=\"userSpaceOnUse\">\n"
        "      <stop offset=\"0\" stop-color=\"#161a28\"/>\n"
        "      <stop offset=\"1\" stop-color=\"#30364e\"/>\n"
        "    </radialGradient>\n";
    char line[512];
    // One light gradient per block, turned back so that the light always
    // comes from the top of the icon.
    for (int i = 0; i < layout.blocks; ++i) {
        const double degrees = -90.0 + 360.0 * i / layout.blocks;
        std::snprintf(line, sizeof line,
                      "    <linearGradient id=\"light%d\" x1=\"0.5\" y1=\"0\" x2=\"0.5\" "
                      "y2=\"1\" gradientTransform=\"rotate(%.1f 0.5 0.5)\">\n"
                      "      <stop offset=\"0\" stop-color=\"#ffffff\" stop-opacity=\"0.25\"/>\n"
                      "      <stop offset=\"1\" stop-color=\"#000000\" stop-opacity=\"0.3\"/>\n"
                      "    </linearGradient>\n",
                      i, -degrees);
        out += line;
    }
    out +=
        "  </defs>\n"
        "  <circle r=\"0.48\" fill=\"url(#well)\" stroke=\"#10131c\" stroke-width=\"0.008\"/>\n";
    for (int i = 0; i < layout.blocks; ++i) {
        const double degrees = -90.0 + 360.0 * i / layout.blocks;
        const auto& c = kColours[static_cast<std::size_t>(i) % kColours.size()];
        const double side = 2 * layout.half;
        const double cx = kRingRadius * std::cos(degrees * kPi / 180);
        const double cy = kRingRadius * std::sin(degrees * kPi / 180);
        std::snprintf(line, sizeof line,
                      "  <g transform=\"translate(%.4f %.4f) rotate(%.1f)\">\n"
                      "    <rect x=\"%.4f\" y=\"%.4f\" width=\"%.4f\" height=\"%.4f\" "
                      "rx=\"%.4f\" fill=\"#%02x%02x%02x\"/>\n"
                      "    <rect x=\"%.4f\" y=\"%.4f\" width=\"%.4f\" height=\"%.4f\" "
                      "rx=\"%.4f\" fill=\"url(#light%d)\" stroke=\"#1a1a1a\" "
                      "stroke-width=\"0.006\"/>\n"
                      "  </g>\n",
                      cx, cy, degrees, -layout.half, -layout.half, side, side, layout.corner, c[0],
                      c[1], c[2], -layout.half, -layout.half, side, side, layout.corner, i);
        out += line;
    }
    out += "</svg>\n";
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    AssetIo::Options options;
    if (!AssetIo::parseOptions(argc, argv, 0u, "hicolor/<N>x<N>/apps/quadrell.png and the SVG",
                               options)) {
        return 2;
    }
    const std::string dir = options.outDir + "/hicolor/";
    for (int size : kSizes) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        if (!AssetIo::writeFile(dir + name + "/apps/quadrell.png",
                                AssetIo::encodeRgbaPng(size, size, render(size)))) {
            return 1;
        }
    }
    const std::string text = svg();
    return AssetIo::writeFile(dir + "scalable/apps/quadrell.svg",
                              std::vector<std::uint8_t>(text.begin(), text.end()))
               ? 0
               : 1;
}
