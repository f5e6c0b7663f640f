// Writes the three sound effects as raw 16-bit signed little-endian mono PCM
// at 44100 Hz without a header: land.raw (a short thud when a block lands),
// point.raw (a bright chime for a cleared row) and user.raw (a two-tone notice
// when a player joins or leaves). Their lengths are fixed: the game expects
// exactly 9856, 27328 and 40960 bytes.
#include <cmath>
#include <vector>

#include "assetio.h"
#include "procedural.h"

namespace {

constexpr double kRate = 44100.0;
constexpr double kTwoPi = 6.283185307179586;
// Peak level after normalising: about -3 dBFS leaves headroom for the mixer.
constexpr double kPeak = 0.7;

using Signal = std::vector<double>;

// Removes any offset, ramps both ends with raised cosines so that playback
// starts and stops at silence without a click, and scales to the peak level.
std::vector<std::uint8_t> toPcm(Signal s, double inSeconds, double outSeconds) {
    double mean = 0.0;
    for (double v : s) {
        mean += v;
    }
    mean /= static_cast<double>(s.size());
    const auto in = static_cast<std::size_t>(inSeconds * kRate);
    const auto out = static_cast<std::size_t>(outSeconds * kRate);
    double peak = 0.0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        double gain = 1.0;
        if (i < in) {
            gain *= 0.5 - 0.5 * std::cos(kTwoPi * 0.5 * static_cast<double>(i) / in);
        }
        const std::size_t fromEnd = s.size() - 1 - i;
        if (fromEnd < out) {
            gain *= 0.5 - 0.5 * std::cos(kTwoPi * 0.5 * static_cast<double>(fromEnd) / out);
        }
        s[i] = (s[i] - mean) * gain;
        peak = std::max(peak, std::abs(s[i]));
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(s.size() * 2);
    for (double v : s) {
        const auto sample = static_cast<std::int16_t>(std::lround(v / peak * kPeak * 32767.0));
        const auto bits = static_cast<std::uint16_t>(sample);
        bytes.push_back(static_cast<std::uint8_t>(bits & 0xff));
        bytes.push_back(static_cast<std::uint8_t>(bits >> 8));
    }
    return bytes;
}

// A falling low tone for the body and a burst of dull noise for the knock.
Signal land(std::uint32_t seed) {
    Signal s(9856 / 2);
    Procedural::Random random(seed);
    double phase = 0.0;
    double noise = 0.0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double frequency = 58.0 + 120.0 * std::exp(-t / 0.022);
        phase += kTwoPi * frequency / kRate;
        // One-pole low pass: the knock of wood, not the hiss of white noise.
        noise += 0.18 * (random.symmetric() - noise);
        const double body = (std::sin(phase) + 0.3 * std::sin(2.0 * phase)) * std::exp(-t / 0.04);
        const double knock = 2.2 * noise * std::exp(-t / 0.008);
        s[i] = body + knock;
    }
    return s;
}

// Bell partials: the ratios of a small struck bar, higher ones dying faster.
double bell(double t, double frequency) {
    if (t < 0.0) {
        return 0.0;
    }
    const double ratios[] = {1.0, 2.0, 2.76, 5.4};
    const double levels[] = {1.0, 0.45, 0.28, 0.12};
    double v = 0.0;
    for (int k = 0; k < 4; ++k) {
        const double decay = 0.16 / (1.0 + 0.8 * k);
        v += levels[k] * std::sin(kTwoPi * frequency * ratios[k] * t) * std::exp(-t / decay);
    }
    // A 2 ms attack keeps the strike bright without a step.
    return v * std::min(1.0, t / 0.002);
}

// Two struck notes a fifth apart, the second just behind the first.
Signal point() {
    Signal s(27328 / 2);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        s[i] = bell(t, 1318.5) + 0.9 * bell(t - 0.065, 1975.5);
    }
    return s;
}

// A soft tone with a few harmonics, shaped by its own attack and release.
double tone(double t, double start, double length, double frequency) {
    const double local = t - start;
    if (local < 0.0 || local > length) {
        return 0.0;
    }
    const double attack = Procedural::smoothstep(0.0, 0.01, local);
    const double release = Procedural::smoothstep(0.0, 0.05, length - local);
    const double w = kTwoPi * frequency * local;
    return (std::sin(w) + 0.25 * std::sin(2.0 * w) + 0.08 * std::sin(3.0 * w)) * attack * release *
           std::exp(-local / 0.35);
}

// Two tones rising a fourth: a notice, not an alarm.
Signal user() {
    Signal s(40960 / 2);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        s[i] = tone(t, 0.0, 0.2, 784.0) + tone(t, 0.215, 0.245, 1046.5);
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    AssetIo::Options options;
    if (!AssetIo::parseOptions(argc, argv, 4409u, "land.raw, point.raw and user.raw", options)) {
        return 2;
    }
    const std::string dir = options.outDir + "/";
    const bool ok =
        AssetIo::writeFile(dir + "land.raw", toPcm(land(options.seed), 0.0015, 0.012)) &&
        AssetIo::writeFile(dir + "point.raw", toPcm(point(), 0.001, 0.04)) &&
        AssetIo::writeFile(dir + "user.raw", toPcm(user(), 0.002, 0.01));
    return ok ? 0 : 1;
}
