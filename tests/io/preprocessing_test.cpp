#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "io/preprocessing.h"
#include "numeric/random_generator.h"

namespace orthomix {
namespace {

class Preprocessing : public ::testing::Test {
protected:
    GeneRecord* addGene(const std::string& name, std::vector<double> values) {
        store_.push_back(std::make_unique<GeneRecord>(std::move(values), name));
        return store_.back().get();
    }
    std::vector<std::string> keptNames(std::vector<GeneRecord*> genes, double cvThreshold, double exprThreshold) {
        GeneFilter filter{std::move(genes), cvThreshold, exprThreshold};
        filter.filterByThresholds();
        std::vector<std::string> names;
        for (const GeneRecord* gene : filter.genes) names.push_back(gene->name);
        return names;
    }

    GeneStore store_;
};

TEST_F(Preprocessing, ThresholdsAreInclusiveOnTheValuesAsRead) {
    GeneRecord* gene = addGene("g", {1, 2, 3, 4});
    const GeneStatistics statistics = geneStatistics(gene->expression);
    EXPECT_EQ(statistics.mean, 2.5);
    EXPECT_DOUBLE_EQ(statistics.standardDeviation, std::sqrt(1.25)) << "population form, divided by n";
    // CV = 1/sqrt(5), a little under 0.45.
    EXPECT_EQ(keptNames({gene}, 0.4, 4.0), std::vector<std::string>{"g"}) << "a maximum equal to maxExpr passes";
    EXPECT_TRUE(keptNames({gene}, 0.4, std::nextafter(4.0, 5.0)).empty());
    EXPECT_TRUE(keptNames({gene}, 0.45, 0.0).empty());
    EXPECT_EQ(keptNames({gene}, 1.0 / std::sqrt(5.0) - 1e-12, 0.0), std::vector<std::string>{"g"});
}

TEST_F(Preprocessing, DropsGenesThatCannotBeStandardisedOrFailTheSignedCv) {
    const std::vector<GeneRecord*> genes = {
        addGene("constant", {3, 3, 3}),       // CV 0, would standardise to 0/0
        addGene("zeros", {0, 0, 0}),          // CV 0/0
        addGene("empty", {}),                 // no values at all
        addGene("negative", {-1, -2, -3}),    // negative mean, negative CV
        addGene("zeroMean", {-1, 1}),         // CV +inf
        addGene("plain", {1, 2, 3, 4}),
        addGene("overflow", {std::numeric_limits<double>::infinity(), 1.0}),  // CV NaN
    };
    EXPECT_EQ(keptNames(genes, 0.0, -10.0), (std::vector<std::string>{"zeroMean", "plain"}))
        << "the survivors keep their order";
    EXPECT_EQ(keptNames(genes, -1e300, -10.0), (std::vector<std::string>{"negative", "zeroMean", "plain"}));
    EXPECT_EQ(keptNames(genes, 1e300, 1.0), (std::vector<std::string>{"zeroMean"}));
}

TEST_F(Preprocessing, StandardisesKeptGenesToMeanZeroAndUnitSpread) {
    GeneRecord* example = addGene("example", {1, 2, 3, 4});
    std::vector<GeneRecord*> genes = {example};
    RandomGenerator random(99);
    for (int g = 0; g < 20; ++g) {
        std::vector<double> values;
        for (int s = 0; s < 37; ++s) values.push_back(random.draw() / 100.0 + 5.0);
        genes.push_back(addGene("random" + std::to_string(g), std::move(values)));
    }
    GeneFilter filter{genes, 0.0, 0.0};
    filter.run();
    ASSERT_EQ(filter.genes.size(), genes.size());
    const double root5 = std::sqrt(5.0);
    const std::vector<double> expected = {-3 / root5, -1 / root5, 1 / root5, 3 / root5};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_DOUBLE_EQ(example->expression[i], expected[i]) << "value " << i;
    }
    for (const GeneRecord* gene : filter.genes) {
        const GeneStatistics statistics = geneStatistics(gene->expression);
        EXPECT_NEAR(statistics.mean, 0.0, 1e-12) << gene->name;
        EXPECT_NEAR(statistics.standardDeviation, 1.0, 1e-12) << gene->name;
    }
}

}  // namespace
}  // namespace orthomix
