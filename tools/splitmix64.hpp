#pragma once

#include <cstdint>

// A tiny deterministic generator: the same seed gives the same numbers on every
// compiler and standard library, which std::*_distribution does not promise.
class SplitMix64 {
  public:
    explicit SplitMix64(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

    // Roughly standard normal: the sum of four 16-bit uniforms, centred and
    // scaled to unit variance. Only integer and exact float steps, so no libm
    // differences can creep in.
    double normal() {
        const uint64_t bits = next();
        const uint64_t sum =
            (bits & 0xFFFF) + ((bits >> 16) & 0xFFFF) + ((bits >> 32) & 0xFFFF) + (bits >> 48);
        // Four uniforms on [0, 65535] have mean 131070 and variance 4 * (65536^2 - 1) / 12.
        return (static_cast<double>(sum) - 131070.0) / 37837.2;
    }

  private:
    uint64_t state_;
};

// Mixes several integers into one seed, so every frame and lattice point gets
// its own independent stream.
inline uint64_t mixSeed(uint64_t a, uint64_t b, uint64_t c = 0) {
    SplitMix64 mixer(a ^ (b * 0xD1B54A32D192ED03ull) ^ (c * 0x8CB92BA72F3D8DD7ull));
    return mixer.next();
}
