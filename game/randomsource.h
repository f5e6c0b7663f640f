#pragma once

#include <cstdint>
#include <random>

// Source of the non-negative random numbers that deal pieces. Each thread has its
// own generator (the server thread seeds its one); tests inject their own.
class RandomSource {
public:
    explicit RandomSource(std::uint32_t seed = 1) : engine_(seed) {}
    virtual ~RandomSource() = default;

    void seed(std::uint32_t seed) { engine_.seed(seed); }
    // A value in 0 .. 2^31 - 1.
    virtual int next() { return static_cast<int>(engine_() >> 1); }

    // The generator of the calling thread.
    static RandomSource& forThisThread();
    // Seconds from midnight to the current local time of day, the seed the
    // program and the server thread use.
    static std::uint32_t secondsSinceMidnight();

private:
    std::mt19937 engine_;
};
