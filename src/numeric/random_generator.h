#pragma once

#include <cstdint>

namespace orthomix {

// The linear congruential generator the seeding of every repetition draws
// from: state := state * 214013 + 2531011 (mod 2^32), each draw returning bits
// 16 to 30 of the new state, so values lie in 0..32767. Written out here
// because the platform's own generator differs between C libraries.
class RandomGenerator {
public:
    static constexpr int kMaxValue = 32767;

    explicit RandomGenerator(std::uint32_t seed = 1) : state_(seed) {}

    void seed(std::uint32_t seed) { state_ = seed; }

    int draw() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7fffu);
    }

private:
    std::uint32_t state_;
};

}  // namespace orthomix
