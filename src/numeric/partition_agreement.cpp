#include "numeric/partition_agreement.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace orthomix {
namespace {

// Group numbers 0..g-1 for the labels, in the order of their values. Cluster
// labels span a short range (-1 to k), which a lookup table covers in one
// pass; labels spread wider are sorted.
std::vector<std::size_t> denseGroups(const std::vector<std::int32_t>& labels, std::size_t& groupCount) {
    std::vector<std::size_t> groups(labels.size());
    groupCount = 0;
    if (labels.empty()) return groups;
    const auto [lowest, highest] = std::minmax_element(labels.begin(), labels.end());
    const std::int64_t span = static_cast<std::int64_t>(*highest) - *lowest + 1;
    if (span <= static_cast<std::int64_t>(labels.size())) {
        constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);
        std::vector<std::size_t> groupOf(static_cast<std::size_t>(span), kAbsent);
        for (const std::int32_t label : labels) groupOf[static_cast<std::size_t>(label - *lowest)] = 0;
        for (std::size_t& group : groupOf) {
            if (group != kAbsent) group = groupCount++;
        }
        for (std::size_t i = 0; i < labels.size(); ++i) {
            groups[i] = groupOf[static_cast<std::size_t>(labels[i] - *lowest)];
        }
        return groups;
    }
    std::vector<std::int32_t> distinct = labels;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    groupCount = distinct.size();
    for (std::size_t i = 0; i < labels.size(); ++i) {
        groups[i] = static_cast<std::size_t>(std::lower_bound(distinct.begin(), distinct.end(), labels[i]) -
                                             distinct.begin());
    }
    return groups;
}

std::int64_t pairsOf(std::int64_t n) { return n * (n - 1) / 2; }

}  // namespace

double adjustedRandIndex(const std::vector<std::int32_t>& a, const std::vector<std::int32_t>& b) {
    if (a.size() != b.size()) return std::numeric_limits<double>::quiet_NaN();
    std::size_t rows = 0;
    std::size_t cols = 0;
    const std::vector<std::size_t> rowGroup = denseGroups(a, rows);
    const std::vector<std::size_t> colGroup = denseGroups(b, cols);

    std::vector<std::int64_t> joint(rows * cols, 0);
    std::vector<std::int64_t> rowSizes(rows, 0);
    std::vector<std::int64_t> colSizes(cols, 0);
    for (std::size_t i = 0; i < a.size(); ++i) {
        ++joint[rowGroup[i] * cols + colGroup[i]];
        ++rowSizes[rowGroup[i]];
        ++colSizes[colGroup[i]];
    }
    std::int64_t together = 0;  // item pairs grouped together by both labelings
    for (const std::int64_t n : joint) together += pairsOf(n);
    std::int64_t togetherInA = 0;
    for (const std::int64_t n : rowSizes) togetherInA += pairsOf(n);
    std::int64_t togetherInB = 0;
    for (const std::int64_t n : colSizes) togetherInB += pairsOf(n);
    const std::int64_t allPairs = pairsOf(static_cast<std::int64_t>(a.size()));
    // Both one group, or both only singletons (no pairs at all included):
    // the expected and the largest agreement coincide.
    const bool bothOneGroup = togetherInA == allPairs && togetherInB == allPairs;
    const bool bothSingletons = togetherInA == 0 && togetherInB == 0;
    if (bothOneGroup || bothSingletons) return 1.0;

    const double expected =
        static_cast<double>(togetherInA) * static_cast<double>(togetherInB) / static_cast<double>(allPairs);
    const double maximum = (static_cast<double>(togetherInA) + static_cast<double>(togetherInB)) / 2.0;
    return (static_cast<double>(together) - expected) / (maximum - expected);
}

}  // namespace orthomix
