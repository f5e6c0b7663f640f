// Writes the mouse pointer: bitmap.png (1 where the pointer is black) and
// mask.png (1 where it is drawn at all), 32 x 32, pointing at pixel 0,0. In
// both files a black pixel is a set bit, the way QBitmap reads them.
#include <cmath>
#include <vector>

#include "assetio.h"

namespace {

constexpr int kSize = 32;

struct Point {
    double x, y;
};

// A slim arrow with a tail, y down. Its tip sits just inside pixel 1,1 so
// that the outline around it covers the hot spot 0,0.
const std::vector<Point> kArrow = {{0.8, 0.5},   {0.8, 21.5}, {5.8, 17.0}, {9.6, 25.2},
                                   {13.0, 23.6}, {9.4, 15.8}, {15.8, 15.5}};

bool inside(const std::vector<Point>& polygon, double x, double y) {
    bool in = false;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Point& a = polygon[i];
        const Point& b = polygon[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) {
            in = !in;
        }
    }
    return in;
}

}  // namespace

int main(int argc, char** argv) {
    AssetIo::Options options;
    // Nothing random in the pointer; the seed is accepted like everywhere else.
    if (!AssetIo::parseOptions(argc, argv, 0u, "bitmap.png and mask.png", options)) {
        return 2;
    }
    std::vector<std::uint8_t> fill(kSize * kSize, 0);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            fill[static_cast<std::size_t>(y * kSize + x)] =
                inside(kArrow, x + 0.5, y + 0.5) ? 1 : 0;
        }
    }
    // The mask is the white body grown by one pixel; the growth is the black
    // outline, so the pointer reads on light and dark ground alike.
    std::vector<std::uint8_t> bitmap(kSize * kSize, 255);
    std::vector<std::uint8_t> mask(kSize * kSize, 255);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            bool near = false;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx;
                    const int ny = y + dy;
                    near = near || (nx >= 0 && ny >= 0 && nx < kSize && ny < kSize &&
                                    fill[static_cast<std::size_t>(ny * kSize + nx)]);
                }
            }
            const auto i = static_cast<std::size_t>(y * kSize + x);
            if (near) {
                mask[i] = 0;
                bitmap[i] = fill[i] ? 255 : 0;
            }
        }
    }
    const std::string dir = options.outDir + "/";
    const bool ok =
        AssetIo::writeFile(dir + "bitmap.png", AssetIo::encodeMonoPng(kSize, kSize, bitmap)) &&
        AssetIo::writeFile(dir + "mask.png", AssetIo::encodeMonoPng(kSize, kSize, mask));
    return ok ? 0 : 1;
}
