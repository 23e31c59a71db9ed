#pragma once
// A small, fast pseudo-random generator (xoshiro256**, seeded through splitmix64) whose sequence depends only
// on the seed, on every platform and standard library, so that a seed always gives the same capture.

#include <cmath>
#include <cstdint>

namespace korvo::tools::synth {

class Random {
public:
    explicit Random(std::uint64_t seed) {
        for (auto& word : state_) {
            seed += 0x9E3779B97F4A7C15ULL;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            word = z ^ (z >> 31);
        }
    }

    std::uint64_t next() {
        const std::uint64_t result = rotate(state_[1] * 5, 7) * 9;
        const std::uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = rotate(state_[3], 45);
        return result;
    }

    std::uint32_t next32() { return static_cast<std::uint32_t>(next() >> 32); }

    // Uniform in [0, bound); bound must not be zero. The multiply-shift keeps the bias far below what any
    // capture could show.
    std::uint64_t below(std::uint64_t bound) {
        __extension__ using Wide = unsigned __int128;
        return static_cast<std::uint64_t>((static_cast<Wide>(next()) * bound) >> 64);
    }

    // Uniform in [low, high].
    std::uint64_t between(std::uint64_t low, std::uint64_t high) { return low + below(high - low + 1); }

    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

    bool chance(double probability) { return unit() < probability; }

    // Spread evenly over the orders of magnitude between low and high (both at least 1): many small values,
    // a few large ones, as transfer sizes are.
    std::uint64_t logUniform(std::uint64_t low, std::uint64_t high) {
        const double logLow = std::log(static_cast<double>(low));
        const double logHigh = std::log(static_cast<double>(high));
        const auto value = static_cast<std::uint64_t>(std::exp(logLow + unit() * (logHigh - logLow)));
        return value < low ? low : value > high ? high : value;
    }

private:
    static std::uint64_t rotate(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    std::uint64_t state_[4];
};

}  // namespace korvo::tools::synth
