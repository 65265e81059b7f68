#include "model/preprocessing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model_test_data.h"
#include "numeric/random_generator.h"

namespace orthomix {
namespace {

using testing::organismOf;
using Names = std::vector<std::string>;

Names keptNames(const OrganismData& organism, double cvThreshold, double exprThreshold) {
    return preprocessOrganism(organism, cvThreshold, exprThreshold).data.identifiers;
}

TEST(Preprocessing, VarianceFiltersKeepTheMostVariableOfThePassingGenesInTheirOrder) {
    // Standard deviations: a 1, b 2, c 0.5, d 2, e 3 (population form); f fails maxExpr.
    const OrganismData organism = organismOf({"a", "b", "c", "d", "e", "f"},
                                             {{9, 11}, {8, 12}, {9.5, 10.5}, {8, 12}, {7, 13}, {-5, 1}});
    const auto kept = [&](VarianceFilter filter) {
        return preprocessOrganism(organism, -1e300, 2.0, filter).data.identifiers;
    };
    EXPECT_EQ(kept({}), (Names{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(kept({1.0, std::nullopt}), (Names{"a", "b", "d", "e"})) << "a deviation equal to the minimum passes";
    EXPECT_EQ(kept({std::nullopt, 2}), (Names{"b", "e"})) << "of the tied b and d, the earlier stays";
    EXPECT_EQ(kept({std::nullopt, 3}), (Names{"b", "d", "e"})) << "in file order, not by deviation";
    EXPECT_EQ(kept({std::nullopt, 10}), (Names{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(kept({2.5, 1}), (Names{"e"}));

    const PreprocessedOrganism counted = preprocessOrganism(organism, -1e300, 2.0, {1.5, 1});
    EXPECT_EQ(counted.counts.belowDeviation, 2u) << "a and c";
    EXPECT_EQ(counted.counts.beyondTop, 2u) << "b and d passed but only e stays";
    EXPECT_EQ(counted.counts.belowMaximum, 1u);
    const OrganismData& standardised = counted.data;
    EXPECT_EQ(std::vector<double>(standardised.expression.row(0), standardised.expression.row(0) + 2),
              (std::vector<double>{-1, 1})) << "a kept gene is standardised as ever";
}

TEST(Preprocessing, ThresholdsAreInclusiveOnTheValuesAsRead) {
    const OrganismData organism = organismOf({"g"}, {{1, 2, 3, 4}});
    const GeneStatistics statistics = geneStatistics(organism.expression.row(0), 4);
    EXPECT_EQ(statistics.mean, 2.5);
    EXPECT_DOUBLE_EQ(statistics.standardDeviation, std::sqrt(1.25)) << "population form, divided by n";
    // CV = 1/sqrt(5), a little under 0.45.
    EXPECT_EQ(keptNames(organism, 0.4, 4.0), Names{"g"}) << "a maximum equal to the expression threshold passes";
    EXPECT_TRUE(keptNames(organism, 0.4, std::nextafter(4.0, 5.0)).empty());
    EXPECT_TRUE(keptNames(organism, 0.45, 0.0).empty());
    EXPECT_EQ(keptNames(organism, 1.0 / std::sqrt(5.0) - 1e-12, 0.0), Names{"g"});

    const GeneStatistics none = geneStatistics(nullptr, 0);
    EXPECT_EQ(none.mean, 0.0) << "no values";
    EXPECT_EQ(none.standardDeviation, 0.0);
}

TEST(Preprocessing, DropsGenesThatCannotBeStandardisedOrFailTheSignedCv) {
    const OrganismData organism = organismOf(
        {"constant", "zeros", "negative", "zeroMean", "plain", "overflow"},
        {
            {3, 3, 3, 3},      // CV 0, would standardise to 0/0
            {0, 0, 0, 0},      // CV 0/0
            {-1, -2, -3, -4},  // negative mean, negative CV
            {-1, 1, -1, 1},    // CV +inf
            {1, 2, 3, 4},
            {std::numeric_limits<double>::infinity(), 1.0, 1.0, 1.0},  // CV NaN
        });
    EXPECT_EQ(keptNames(organism, 0.0, -10.0), (Names{"zeroMean", "plain"})) << "the survivors keep their order";
    EXPECT_EQ(keptNames(organism, -1e300, -10.0), (Names{"negative", "zeroMean", "plain"}));
    EXPECT_EQ(keptNames(organism, 1e300, 1.0), (Names{"zeroMean"}));

    // Without samples no gene has values to judge.
    const OrganismData noSamples = organismOf({"a", "b"}, {{}, {}}, 0);
    const OrganismData kept = preprocessOrganism(noSamples, -1e300, -1e300).data;
    EXPECT_TRUE(kept.identifiers.empty());
    EXPECT_EQ(kept.expression.rows(), 0u);
}

TEST(Preprocessing, CountsWhyGenesWereLeftOut) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const OrganismData organism = organismOf(
        {"keep", "lowCv", "lowMax", "both", "constant", "zeros", "negative", "infinite", "nan"},
        {
            {1, 2, 3, 4},              // CV 0.447, maximum 4
            {10, 11, 10, 11},          // CV 0.048
            {0.1, 0.2, 0.3, 0.4},      // maximum 0.4
            {0.5, 0.51, 0.5, 0.51},    // both below
            {3, 3, 3, 3},              // constant only, though its CV of 0 is below too
            {0, 0, 0, 0},
            {-1, -2, -3, -4},          // negative CV and maximum
            {kInf, 1, 1, 1},           // statistics not finite
            {std::nan(""), 1, 1, 1},
        });
    const PreprocessedOrganism result = preprocessOrganism(organism, 0.2, 2.0);
    EXPECT_EQ(result.data.identifiers, Names{"keep"});
    const PreprocessingCounts& counts = result.counts;
    EXPECT_EQ(counts.read, 9u);
    EXPECT_EQ(counts.kept, 1u);
    EXPECT_EQ(counts.belowVariation, 3u) << "lowCv, both, negative";
    EXPECT_EQ(counts.belowMaximum, 3u) << "lowMax, both, negative";
    EXPECT_EQ(counts.constant, 2u) << "constant and zeros, counted there only";
    EXPECT_EQ(counts.notFinite, 2u) << "the infinite and the NaN value";
}

TEST(Preprocessing, HugeAndTinyValuesGetFiniteStatisticsAndStandardise) {
    const double big = 1e308;
    const GeneStatistics alternating = geneStatistics(std::vector<double>{big, -big, big, -big}.data(), 4);
    EXPECT_EQ(alternating.mean, 0.0);
    EXPECT_EQ(alternating.standardDeviation, big) << "the squares alone would overflow";

    const OrganismData organism = organismOf(
        {"alternating", "high", "flatHigh", "tiny", "plain"},
        {
            {big, -big, big, -big},
            {1.5e308, 1.5e308, 1.7e308, 1.7e308},  // the sum alone would overflow
            {big, big, big, big},                  // constant, however large
            {1e-200, 2e-200, 3e-200, 4e-200},      // the squares alone would vanish
            {1, 2, 3, 4},
        });
    const PreprocessedOrganism result = preprocessOrganism(organism, -1e300, -1e300);
    ASSERT_EQ(result.data.identifiers, (Names{"alternating", "high", "tiny", "plain"}));
    EXPECT_EQ(result.counts.constant, 1u);
    EXPECT_EQ(result.counts.notFinite, 0u);
    const auto row = [&](std::size_t g) {
        const double* values = result.data.expression.row(g);
        return std::vector<double>(values, values + 4);
    };
    EXPECT_EQ(row(0), (std::vector<double>{1, -1, 1, -1})) << "not flat profiles of 0 and -0";
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(row(1)[i], i < 2 ? -1.0 : 1.0, 1e-12) << i;
        EXPECT_NEAR(row(2)[i], row(3)[i], 1e-12) << "tiny values standardise like 1, 2, 3, 4: " << i;
    }

    // Ordinary values take the plain two-pass form, to the last bit.
    const std::vector<double> values = {7.25, 3.5, 9.125, 4.0, 6.75};
    const GeneStatistics statistics = geneStatistics(values.data(), values.size());
    double sum = 0.0;
    for (const double v : values) sum += v;
    const double mean = sum / 5.0;
    double squares = 0.0;
    for (const double v : values) squares += (v - mean) * (v - mean);
    EXPECT_EQ(statistics.scale, 1.0);
    EXPECT_EQ(statistics.mean, mean);
    EXPECT_EQ(statistics.standardDeviation, std::sqrt(squares / 5.0));
}

TEST(Preprocessing, KeptGenesCarryTheirIdentifierAnnotationAndStandardisedRow) {
    OrganismData organism = organismOf({"drop", "keep1", "keep2"}, {{5, 5, 5}, {1, 2, 3}, {10, 0, 20}});
    organism.annotations = {"first", "", "third"};
    organism.sampleNames = {"x", "y", "z"};
    const OrganismData kept = preprocessOrganism(organism, 0.0, 0.0).data;
    EXPECT_EQ(kept.identifiers, (Names{"keep1", "keep2"}));
    EXPECT_EQ(kept.annotations, (Names{"", "third"})) << "annotations stay with their genes";
    EXPECT_EQ(kept.sampleNames, organism.sampleNames);
    ASSERT_EQ(kept.expression.rows(), 2u);
    ASSERT_EQ(kept.expression.columns(), 3u);
    const double sd = std::sqrt(2.0 / 3.0);
    EXPECT_EQ(kept.expression.row(0)[0], (1.0 - 2.0) / sd);
    EXPECT_EQ(kept.expression.row(0)[1], 0.0);
    EXPECT_EQ(kept.expression.row(1)[1], (0.0 - 10.0) / std::sqrt(200.0 / 3.0)) << "the row of the right gene";
}

TEST(Preprocessing, StandardisesKeptGenesToMeanZeroAndUnitSpread) {
    const OrganismData example = preprocessOrganism(organismOf({"example"}, {{1, 2, 3, 4}}), 0.0, 0.0).data;
    ASSERT_EQ(example.geneCount(), 1u);
    const double root5 = std::sqrt(5.0);
    const std::vector<double> expected = {-3 / root5, -1 / root5, 1 / root5, 3 / root5};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_DOUBLE_EQ(example.expression.row(0)[i], expected[i]) << "value " << i;
    }

    Names names;
    std::vector<std::vector<double>> rows;
    RandomGenerator random(99);
    for (int g = 0; g < 20; ++g) {
        std::vector<double> values;
        for (int s = 0; s < 37; ++s) values.push_back(random.draw() / 100.0 + 5.0);
        names.push_back("random" + std::to_string(g));
        rows.push_back(values);
    }
    const OrganismData kept = preprocessOrganism(organismOf(names, rows), 0.0, 0.0).data;
    ASSERT_EQ(kept.identifiers, names);
    for (std::size_t g = 0; g < kept.geneCount(); ++g) {
        const GeneStatistics statistics = geneStatistics(kept.expression.row(g), kept.expression.columns());
        EXPECT_NEAR(statistics.mean, 0.0, 1e-12) << kept.identifiers[g];
        EXPECT_NEAR(statistics.standardDeviation, 1.0, 1e-12) << kept.identifiers[g];
    }
}

}  // namespace
}  // namespace orthomix
