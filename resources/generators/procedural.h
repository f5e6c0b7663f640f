#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

// Seeded building blocks of the generators. Only integer hashing and plain
// double arithmetic: no library distributions, whose output differs between
// standard libraries.
namespace Procedural {

inline std::uint32_t hash(std::uint32_t a, std::uint32_t b, std::uint32_t seed) {
    std::uint32_t h = seed ^ 0x9e3779b9u;
    for (std::uint32_t v : {a, b}) {
        h ^= v + 0x7f4a7c15u + (h << 6) + (h >> 2);
        h *= 0x85ebca6bu;
        h ^= h >> 13;
        h *= 0xc2b2ae35u;
        h ^= h >> 16;
    }
    return h;
}

// 0 <= value < 1.
inline double unit(std::uint32_t h) {
    return static_cast<double>(h >> 8) / 16777216.0;
}

// A small generator for noise in sound synthesis.
class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed * 2654435761u + 1u) {}
    // -1 <= value < 1.
    double symmetric() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return unit(state_) * 2.0 - 1.0;
    }

private:
    std::uint32_t state_;
};

inline double clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}

inline double smoothstep(double edge0, double edge1, double v) {
    const double t = clamp01((v - edge0) / (edge1 - edge0));
    return t * t * (3.0 - 2.0 * t);
}

inline double mix(double a, double b, double t) {
    return a + (b - a) * t;
}

// Signed distance from a point (relative to the centre) to a rectangle of the
// given half sizes with rounded corners; negative inside.
inline double roundedBoxDistance(double dx, double dy, double halfWidth, double halfHeight,
                                 double radius) {
    const double qx = std::abs(dx) - (halfWidth - radius);
    const double qy = std::abs(dy) - (halfHeight - radius);
    return std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) -
           radius;
}

// Gradient noise on a lattice of `period` cells per unit that repeats after one
// unit, so a texture built from it tiles without seams. u and v in units;
// the result lies roughly in -0.7 .. 0.7.
inline double periodicNoise(double u, double v, int period, std::uint32_t seed) {
    const double x = u * period;
    const double y = v * period;
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const int ix = static_cast<int>(fx);
    const int iy = static_cast<int>(fy);
    const double tx = x - fx;
    const double ty = y - fy;
    auto corner = [&](int cx, int cy) {
        const int wx = ((ix + cx) % period + period) % period;
        const int wy = ((iy + cy) % period + period) % period;
        const double angle =
            unit(hash(static_cast<std::uint32_t>(wx), static_cast<std::uint32_t>(wy), seed)) *
            6.283185307179586;
        return std::cos(angle) * (tx - cx) + std::sin(angle) * (ty - cy);
    };
    auto fade = [](double t) { return t * t * t * (t * (t * 6.0 - 15.0) + 10.0); };
    const double sx = fade(tx);
    const double sy = fade(ty);
    return mix(mix(corner(0, 0), corner(1, 0), sx), mix(corner(0, 1), corner(1, 1), sx), sy);
}

// Octaves of periodic noise, each twice the frequency and `gain` times the
// amplitude of the one before.
inline double periodicFbm(double u, double v, int period, int octaves, double gain,
                          std::uint32_t seed) {
    double sum = 0.0;
    double amplitude = 1.0;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude *
               periodicNoise(u, v, period << i, seed + static_cast<std::uint32_t>(i) * 101u);
        amplitude *= gain;
    }
    return sum;
}

}  // namespace Procedural
