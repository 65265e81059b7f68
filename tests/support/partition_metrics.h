#pragma once

#include <map>
#include <utility>
#include <vector>

namespace orthomix::testing {

// Adjusted Rand index of two labelings of the same items: 1 for identical
// partitions whatever the label names, about 0 for unrelated ones.
inline double adjustedRandIndex(const std::vector<int>& a, const std::vector<int>& b) {
    std::map<std::pair<int, int>, double> joint;
    std::map<int, double> rows, columns;
    for (std::size_t i = 0; i < a.size(); ++i) {
        joint[{a[i], b[i]}] += 1.0;
        rows[a[i]] += 1.0;
        columns[b[i]] += 1.0;
    }
    const auto pairs = [](double n) { return n * (n - 1.0) / 2.0; };
    double index = 0.0, rowSum = 0.0, columnSum = 0.0;
    for (const auto& [cell, n] : joint) index += pairs(n);
    for (const auto& [label, n] : rows) rowSum += pairs(n);
    for (const auto& [label, n] : columns) columnSum += pairs(n);
    const double expected = rowSum * columnSum / pairs(static_cast<double>(a.size()));
    const double maximum = (rowSum + columnSum) / 2.0;
    return (index - expected) / (maximum - expected);
}

}  // namespace orthomix::testing
