// The nearest-mean search of many rows at once against the search of one
// row: the same cluster for every row, where rounding decides it too.
#include "model/nearest_mean.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace orthomix {
namespace {

std::vector<int> oneByOne(NearestMeanSearch& search, const std::vector<double>& rows, std::size_t columns) {
    std::vector<int> nearest;
    for (std::size_t g = 0; g * columns < rows.size(); ++g) nearest.push_back(search.find(rows.data() + g * columns));
    return nearest;
}

std::vector<int> allAtOnce(const NearestMeanSearch& search, const std::vector<double>& rows, std::size_t columns,
                           std::size_t begin = 0, VectorKernel kernel = VectorKernel::Best) {
    const std::size_t count = rows.size() / columns;
    std::vector<int> nearest(count - begin, -2);
    NearestMeanScratch scratch;
    search.findRows(rows.data(), begin, count, nearest.data(), scratch, kernel);
    return nearest;
}

TEST(NearestMeanRows, AgreeWithTheOneRowSearchOnRandomAndOnTiedRows) {
    std::mt19937_64 random(11);
    std::normal_distribution<double> value(0.0, 1.0);
    for (const std::size_t k : {1u, 3u, 5u, 13u, 20u, 33u, 50u}) {
        for (const std::size_t columns : {1u, 6u, 80u}) {
            std::vector<double> means(k * columns);
            for (double& m : means) m = value(random);
            // Two equal means, so that the first of a tie must win.
            if (k > 2) std::copy(means.begin(), means.begin() + columns, means.begin() + 2 * columns);
            std::vector<double> rows;
            for (std::size_t g = 0; g < 103; ++g) {
                for (std::size_t i = 0; i < columns; ++i) {
                    const double m = means[(g % k) * columns + i];
                    switch (g % 4) {
                        case 0: rows.push_back(m); break;                               // a mean itself
                        case 1: rows.push_back(m + 1e-9 * value(random)); break;        // next to one
                        case 2: rows.push_back(1e6 + m); break;                         // far off, large values
                        default: rows.push_back(value(random)); break;
                    }
                }
            }
            // Rows equally far from two means, their midpoint: means taken
            // side by side and means taken one after the other.
            const std::size_t pairs[][2] = {{0, 1}, {0, 4}, {1, 5}, {6, 14}, {2, k - 1}};
            for (const auto& [a, b] : pairs) {
                if (a >= k || b >= k || a == b) continue;
                for (std::size_t i = 0; i < columns; ++i) {
                    rows.push_back(0.5 * (means[a * columns + i] + means[b * columns + i]));
                }
            }
            NearestMeanSearch search;
            search.prepare(means.data(), k, columns);
            const std::vector<int> all = oneByOne(search, rows, columns);
            for (const VectorKernel kernel : {VectorKernel::Best, VectorKernel::FourLanes, VectorKernel::Portable}) {
                EXPECT_EQ(allAtOnce(search, rows, columns, 0, kernel), all)
                    << k << " x " << columns << ", kernel " << static_cast<int>(kernel);
            }
            EXPECT_EQ(allAtOnce(search, rows, columns, 5), std::vector<int>(all.begin() + 5, all.end()));
        }
    }
}

TEST(NearestMeanRows, MeansAHairApartAmongLargeValuesAreToldApartAsInTheOneRowSearch) {
    // Two means a hair apart among values so large that rounding alone
    // orders their expanded distances; rows between them, nearer either. The
    // later mean is four or eight clusters on, so that on four or
    // eight lanes it replaces the earlier one as its lane's nearest.
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    constexpr std::size_t kClusters = 9;
    constexpr std::size_t kColumns = 3;
    for (const std::size_t later : {4u, 8u}) {
        for (int trial = 0; trial < 50; ++trial) {
            std::vector<double> means(kClusters * kColumns);
            for (double& m : means) m = 1e3 * (1.0 + unit(random));
            for (std::size_t i = 0; i < kColumns; ++i) means[later * kColumns + i] = means[i] + 1e-7 * unit(random);
            std::vector<double> rows;
            for (int g = 0; g < 20; ++g) {
                const double t = unit(random);
                for (std::size_t i = 0; i < kColumns; ++i) {
                    rows.push_back(means[i] + t * (means[later * kColumns + i] - means[i]));
                }
            }
            NearestMeanSearch search;
            search.prepare(means.data(), kClusters, kColumns);
            const std::vector<int> expected = oneByOne(search, rows, kColumns);
            for (const VectorKernel kernel : {VectorKernel::Best, VectorKernel::FourLanes, VectorKernel::Portable}) {
                EXPECT_EQ(allAtOnce(search, rows, kColumns, 0, kernel), expected)
                    << "later mean " << later << ", trial " << trial << ", kernel " << static_cast<int>(kernel);
            }
        }
    }
}

TEST(NearestMeanRows, NonFiniteValuesAndMeansFallAsInTheOneRowSearch) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> means = {0.0, 0.0, 1.0, nan, 2.0, 2.0};
    const std::vector<double> rows = {1.9, 2.1, nan, 0.0, inf, 1.0, 0.1, 0.0, 1e200, 1e200};
    NearestMeanSearch search;
    search.prepare(means.data(), 3, 2);
    const std::vector<int> expected = oneByOne(search, rows, 2);
    EXPECT_EQ(expected[0], 2);
    EXPECT_EQ(allAtOnce(search, rows, 2), expected);

    NearestMeanSearch none;
    none.prepare(means.data(), 0, 2);
    EXPECT_EQ(allAtOnce(none, rows, 2), std::vector<int>(5, -1));
}

}  // namespace
}  // namespace orthomix
