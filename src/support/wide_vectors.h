#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace orthomix {

// Doubles in a 512-bit vector.
inline constexpr std::size_t kWideLanes = 8;

// The mask (an __mmask8) of the first `lanes` of eight lanes, for `lanes`
// from 0 to 8: doubles in a 512-bit vector, or 32-bit integers in a 256-bit one.
constexpr std::uint8_t firstLanesMask(std::size_t lanes) { return static_cast<std::uint8_t>((1u << lanes) - 1u); }

// `values` doubles (at least one) taken eight to a vector, at most
// `maxVectors` vectors: how many, and the mask of the lanes the last one holds.
struct WideVectors {
    std::size_t vectors = 0;
    std::uint8_t lastMask = 0;
};

constexpr WideVectors wideVectorsOf(std::size_t values, std::size_t maxVectors) {
    const std::size_t vectors = std::min(maxVectors, (values + kWideLanes - 1) / kWideLanes);
    return {vectors, firstLanesMask(std::min(kWideLanes, values - (vectors - 1) * kWideLanes))};
}

}  // namespace orthomix
