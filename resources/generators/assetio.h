#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Small helpers the asset generators share. Everything here is deterministic:
// the same inputs give the same bytes on every run.
namespace AssetIo {

// Command line of every generator: [--seed N] OUTDIR. Prints usage and returns
// false on anything else.
struct Options {
    std::uint32_t seed = 0;
    std::string outDir;
};
bool parseOptions(int argc, char** argv, std::uint32_t defaultSeed, const char* what,
                  Options& options);

// Creates the directories of `path` as needed and writes the bytes; reports
// failures on stderr.
bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// 8-bit RGBA pixels, row by row from the top.
std::vector<std::uint8_t> encodeRgbaPng(int width, int height,
                                        const std::vector<std::uint8_t>& rgba);
// One byte per pixel, 0 black and anything else white; written as a 1-bit
// greyscale PNG.
std::vector<std::uint8_t> encodeMonoPng(int width, int height,
                                        const std::vector<std::uint8_t>& pixels);

}  // namespace AssetIo
