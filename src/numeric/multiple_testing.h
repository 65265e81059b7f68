#pragma once

#include <vector>

namespace orthomix {

// Benjamini-Hochberg q-values of a family of p-values, in the order of the
// input: q of the p-value of rank r (1 = smallest) among m is the smallest
// p * m / s over the ranks s >= r, capped at 1. Tied p-values get the same
// q-value. A NaN p-value gets a NaN q-value and does not count in m.
std::vector<double> benjaminiHochbergQValues(const std::vector<double>& pValues);

}  // namespace orthomix
