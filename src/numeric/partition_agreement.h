#pragma once

#include <cstdint>
#include <vector>

namespace orthomix {

// Adjusted Rand index of two labelings of the same items: 1 for the same
// partition whatever the label numbers, about 0 for unrelated ones, negative
// for less agreement than chance. Every distinct label is a group of its own,
// including a label that means "in no cluster" (the scatter value, -1): two
// labelings agree about such genes when they leave out the same ones. Items
// are counted exactly in integers. 1 when both labelings are trivial in the
// same way (fewer than two items, one group each, or only singletons), where
// the usual ratio is 0 / 0. NaN when the sizes differ.
double adjustedRandIndex(const std::vector<std::int32_t>& a, const std::vector<std::int32_t>& b);

}  // namespace orthomix
