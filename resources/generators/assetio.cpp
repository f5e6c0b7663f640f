#include "assetio.h"

#include <QByteArray>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace AssetIo {

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc = table[(crc ^ data[i]) & 0xff] ^ (crc >> 8);
    }
    return ~crc;
}

void putBigEndian(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

void putChunk(Bytes& out, const char type[4], const Bytes& data) {
    putBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian(out, crc32(out.data() + start, out.size() - start));
}

int paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) {
        return a;
    }
    return pb <= pc ? b : c;
}

// Per row the filter with the smallest sum of absolute residuals, the usual
// heuristic; it keeps noisy textures a good deal smaller than no filtering.
Bytes filterRows(const Bytes& raw, std::size_t stride, int height, int bpp) {
    Bytes out;
    out.reserve((stride + 1) * static_cast<std::size_t>(height));
    Bytes zero(stride, 0);
    Bytes candidate(stride);
    Bytes best(stride);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = raw.data() + stride * static_cast<std::size_t>(y);
        const std::uint8_t* up = y > 0 ? row - stride : zero.data();
        long bestScore = -1;
        std::uint8_t bestType = 0;
        for (std::uint8_t type = 0; type < 5; ++type) {
            long score = 0;
            for (std::size_t i = 0; i < stride; ++i) {
                const int a = i >= static_cast<std::size_t>(bpp) ? row[i - bpp] : 0;
                const int b = up[i];
                const int c = i >= static_cast<std::size_t>(bpp) ? up[i - bpp] : 0;
                int predicted = 0;
                switch (type) {
                    case 1:
                        predicted = a;
                        break;
                    case 2:
                        predicted = b;
                        break;
                    case 3:
                        predicted = (a + b) / 2;
                        break;
                    case 4:
                        predicted = paeth(a, b, c);
                        break;
                    default:
                        break;
                }
                candidate[i] = static_cast<std::uint8_t>(row[i] - predicted);
                score += std::abs(static_cast<std::int8_t>(candidate[i]));
            }
            if (bestScore < 0 || score < bestScore) {
                bestScore = score;
                bestType = type;
                best = candidate;
            }
        }
        out.push_back(bestType);
        out.insert(out.end(), best.begin(), best.end());
    }
    return out;
}

Bytes encodePng(int width, int height, std::uint8_t bitDepth, std::uint8_t colourType,
                const Bytes& filtered) {
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Bytes header;
    putBigEndian(header, static_cast<std::uint32_t>(width));
    putBigEndian(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {bitDepth, colourType, 0, 0, 0});
    putChunk(png, "IHDR", header);
    // qCompress gives a zlib stream behind a 4-byte length of its own.
    const QByteArray packed = qCompress(reinterpret_cast<const uchar*>(filtered.data()),
                                        static_cast<qsizetype>(filtered.size()), 9)
                                  .mid(4);
    putChunk(png, "IDAT", Bytes(packed.begin(), packed.end()));
    putChunk(png, "IEND", {});
    return png;
}

}  // namespace

bool parseOptions(int argc, char** argv, std::uint32_t defaultSeed, const char* what,
                  Options& options) {
    options.seed = defaultSeed;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seed" && i + 1 < argc) {
            char* end = nullptr;
            const unsigned long value = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || value > 0xffffffffUL) {
                options.outDir.clear();
                break;
            }
            options.seed = static_cast<std::uint32_t>(value);
        } else if (options.outDir.empty() && !arg.empty() && arg[0] != '-') {
            options.outDir = arg;
        } else {
            options.outDir.clear();
            break;
        }
    }
    if (options.outDir.empty()) {
        std::fprintf(stderr, "usage: %s [--seed N] OUTDIR\nWrites %s (default seed %u).\n", argv[0],
                     what, static_cast<unsigned>(defaultSeed));
        return false;
    }
    return true;
}

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::error_code error;
    const std::filesystem::path target(path);
    if (target.has_parent_path()) {
        std::filesystem::create_directories(target.parent_path(), error);
    }
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

Bytes encodeRgbaPng(int width, int height, const Bytes& rgba) {
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    return encodePng(width, height, 8, 6, filterRows(rgba, stride, height, 4));
}

Bytes encodeMonoPng(int width, int height, const Bytes& pixels) {
    const std::size_t stride = (static_cast<std::size_t>(width) + 7) / 8;
    Bytes packed(stride * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (pixels[static_cast<std::size_t>(y * width + x)] != 0) {
                packed[stride * static_cast<std::size_t>(y) + static_cast<std::size_t>(x / 8)] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    // Rows of 1-bit pixels gain nothing from prediction: filter type 0.
    Bytes filtered;
    for (int y = 0; y < height; ++y) {
        filtered.push_back(0);
        const auto row =
            packed.begin() + static_cast<std::ptrdiff_t>(stride * static_cast<std::size_t>(y));
        filtered.insert(filtered.end(), row, row + static_cast<std::ptrdiff_t>(stride));
    }
    return encodePng(width, height, 1, 0, filtered);
}

}  // namespace AssetIo
