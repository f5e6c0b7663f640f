// Writes the room's textures: box.png (colour of the relief), box_bm.png (its
// normal map) and wall.png (the same tiles with their light baked in, for the
// plain room and for drivers without dot3 bump mapping). One image is one grid
// unit of the room and repeats across walls and floor, so everything here is
// periodic in both directions.
#include <array>
#include <cmath>
#include <vector>

#include "assetio.h"
#include "procedural.h"

namespace {

using namespace Procedural;

constexpr int kSize = 256;
constexpr double kPixel = 1.0 / kSize;

constexpr double kGroutHalfWidth = 3 * kPixel;
constexpr double kBevelWidth = 14 * kPixel;
constexpr double kCornerRadius = 22 * kPixel;
// Normal tilt per unit of height change across one texel.
constexpr double kBumpStrength = 9.0;

struct Colour {
    double r, g, b;
};

struct Texel {
    double height;
    Colour albedo;
};

// Signed distance (units) from the tile's rounded outline; negative inside.
double tileDistance(double u, double v) {
    const double half = 0.5 - kGroutHalfWidth;
    return roundedBoxDistance(u - 0.5, v - 0.5, half, half, kCornerRadius);
}

// Small chips in the stone face: at most one per cell of a periodic grid,
// returned as a depth between 0 and 1.
double pits(double u, double v, std::uint32_t seed) {
    constexpr int kCells = 10;
    const int cx = static_cast<int>(u * kCells);
    const int cy = static_cast<int>(v * kCells);
    double depth = 0.0;
    for (int j = -1; j <= 1; ++j) {
        for (int i = -1; i <= 1; ++i) {
            const auto wx = static_cast<std::uint32_t>((cx + i + kCells) % kCells);
            const auto wy = static_cast<std::uint32_t>((cy + j + kCells) % kCells);
            const std::uint32_t h = hash(wx, wy, seed);
            if (unit(h) < 0.7) {
                continue;
            }
            const double px = (cx + i + unit(hash(h, 1, seed))) / kCells;
            const double py = (cy + j + unit(hash(h, 2, seed))) / kCells;
            const double radius = (3.0 + 4.0 * unit(hash(h, 3, seed))) * kPixel;
            const double d = std::hypot(u - px, v - py) / radius;
            if (d < 1.0) {
                const double k = 1.0 - d * d;
                depth = std::max(depth, k * k);
            }
        }
    }
    return depth;
}

Texel texel(int x, int y, std::uint32_t seed) {
    const double u = (x + 0.5) * kPixel;
    const double v = (y + 0.5) * kPixel;
    const double depth = -tileDistance(u, v);
    // A rounded bevel: steep at the joint, flat on the face.
    const double rise = std::sin(1.5707963267948966 * clamp01(depth / kBevelWidth));
    const double grain = periodicFbm(u, v, 4, 4, 0.55, seed);
    const double mottle = periodicFbm(u, v, 2, 3, 0.5, seed + 7u);
    const double sand = periodicFbm(u, v, 16, 2, 0.5, seed + 13u);
    const double chip = pits(u, v, seed + 29u) * smoothstep(0.5, 1.0, rise);

    Texel t;
    t.height = rise * (1.0 + 0.09 * grain - 0.08 * chip) + (1.0 - rise) * 0.05 * sand;
    const double tone = 1.0 - 0.18 * chip;
    const Colour stone{(136 + 26 * mottle + 14 * grain) * tone,
                       (144 + 24 * mottle + 14 * grain) * tone,
                       (160 + 20 * mottle + 16 * grain) * tone};
    const Colour grout{104 + 10 * sand, 108 + 10 * sand, 116 + 10 * sand};
    const double face = smoothstep(0.0, 0.6, rise);
    // Joints darken the bevel foot a little: the dirt collects there. Kept
    // faint, since one tile repeats on every grid unit of the room and strong
    // joints would read as a grid rather than as stone.
    const double dirt = 0.92 + 0.08 * smoothstep(0.0, 1.0, rise);
    t.albedo = {mix(grout.r, stone.r * dirt, face), mix(grout.g, stone.g * dirt, face),
                mix(grout.b, stone.b * dirt, face)};
    return t;
}

std::uint8_t toByte(double v) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
}

}  // namespace

int main(int argc, char** argv) {
    AssetIo::Options options;
    if (!AssetIo::parseOptions(argc, argv, 20260512u, "wall.png, box.png and box_bm.png",
                               options)) {
        return 2;
    }
    std::vector<Texel> texels;
    texels.reserve(kSize * kSize);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            texels.push_back(texel(x, y, options.seed));
        }
    }
    auto heightAt = [&](int x, int y) {
        return texels[static_cast<std::size_t>(((y + kSize) % kSize) * kSize + (x + kSize) % kSize)]
            .height;
    };

    // Light of the baked version: from the upper left, mostly frontal.
    const double lx = -0.35, ly = 0.45, lz = 0.82;
    const double lLength = std::sqrt(lx * lx + ly * ly + lz * lz);
    const double flatShade = 0.3 + 0.7 * lz / lLength;

    std::vector<std::uint8_t> box, bump, wall;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const Texel& t = texels[static_cast<std::size_t>(y * kSize + x)];
            // Tangent space: x along increasing s (image right), y along
            // increasing t (image up, the way a vertically mirrored upload
            // puts the first row at t = 1), z out of the surface.
            const double dx = (heightAt(x + 1, y) - heightAt(x - 1, y)) * 0.5;
            const double dy = (heightAt(x, y - 1) - heightAt(x, y + 1)) * 0.5;
            double nx = -kBumpStrength * dx, ny = -kBumpStrength * dy, nz = 1.0;
            const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
            nx /= length;
            ny /= length;
            nz /= length;
            const double lambert = std::max(0.0, (nx * lx + ny * ly + nz * lz) / lLength);
            const double shade = (0.3 + 0.7 * lambert) / flatShade;

            box.insert(box.end(),
                       {toByte(t.albedo.r), toByte(t.albedo.g), toByte(t.albedo.b), 255});
            bump.insert(bump.end(), {toByte((nx * 0.5 + 0.5) * 255), toByte((ny * 0.5 + 0.5) * 255),
                                     toByte((nz * 0.5 + 0.5) * 255), 255});
            wall.insert(wall.end(), {toByte(t.albedo.r * shade), toByte(t.albedo.g * shade),
                                     toByte(t.albedo.b * shade), 255});
        }
    }
    const std::string dir = options.outDir + "/";
    const bool ok =
        AssetIo::writeFile(dir + "box.png", AssetIo::encodeRgbaPng(kSize, kSize, box)) &&
        AssetIo::writeFile(dir + "box_bm.png", AssetIo::encodeRgbaPng(kSize, kSize, bump)) &&
        AssetIo::writeFile(dir + "wall.png", AssetIo::encodeRgbaPng(kSize, kSize, wall));
    return ok ? 0 : 1;
}
