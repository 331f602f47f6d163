// The program's random numbers: singles in [0, 1) from a small, fast generator.
#pragma once

#include <cstdint>

namespace runtime {

class Random {
public:
    explicit Random(std::uint64_t seed = 0) { seed_with(seed); }

    void seed_with(std::uint64_t seed) { m_state = seed; }

    // Seeds from the clocks, so every run draws other numbers.
    void randomize();

    // Next number in [0, 1): 24 random bits over 2^24, which a single holds
    // exactly, so the result is never rounded up to 1.0.
    float next() {
        return static_cast<float>(next_bits() >> 40) * (1.0f / 16777216.0f);
    }

private:
    // splitmix64: tiny state, passes BigCrush, any seed is a good seed.
    std::uint64_t next_bits() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    std::uint64_t m_state = 0;
};

} // namespace runtime
