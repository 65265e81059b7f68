#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "records/identifiers.h"

namespace orthomix {
namespace {

OrganismData organismOf(const std::vector<std::string>& identifiers, const std::vector<std::vector<double>>& rows) {
    OrganismData organism;
    organism.sampleNames = {"S1", "S2"};
    organism.identifiers = identifiers;
    for (std::size_t g = 0; g < identifiers.size(); ++g) organism.annotations.push_back("a" + std::to_string(g));
    organism.expression = ExpressionMatrix(0, 2);
    for (const std::vector<double>& row : rows) organism.expression.appendRow(row.data());
    return organism;
}

std::vector<double> rowOf(const OrganismData& organism, std::size_t g) {
    const auto row = organism.expression.rowSpan(g);
    return {row.begin(), row.end()};
}

TEST(RepeatedIdentifiers, CountsRepeatRowsAndNamesTheFirstFewInTheOrderTheyRepeat) {
    const RepeatedIdentifiers none = repeatedIdentifiers({"a", "b", "A"});
    EXPECT_FALSE(none.any()) << "identifiers differ by case";
    const RepeatedIdentifiers some = repeatedIdentifiers({"a", "b", "b", "c", "a", "b", "d", "d", "e", "e"});
    EXPECT_EQ(some.repeatRows, 5u) << "b twice, a, d, e";
    EXPECT_EQ(some.identifiers, 4u);
    EXPECT_EQ(some.examples, (std::vector<std::string>{"b", "a", "d"})) << "at most three";
}

TEST(RepeatedIdentifiers, MergingKeepsTheFirstRowOrTheMeanAtTheFirstRowsPlace) {
    const OrganismData organism =
        organismOf({"g1", "g2", "g1", "g3", "g1"}, {{1, -0.0}, {5, 6}, {2, 10}, {7, 8}, {6, 2}});
    const OrganismData kept = mergeRepeatedRows(organism, RepeatedRows::Keep);
    EXPECT_EQ(kept.identifiers, organism.identifiers);
    EXPECT_EQ(kept.expression.rows(), 5u);

    const OrganismData first = mergeRepeatedRows(organism, RepeatedRows::First);
    EXPECT_EQ(first.identifiers, (std::vector<std::string>{"g1", "g2", "g3"}));
    EXPECT_EQ(first.annotations, (std::vector<std::string>{"a0", "a1", "a3"}));
    EXPECT_EQ(first.sampleNames, organism.sampleNames);
    ASSERT_EQ(first.expression.rows(), 3u);
    EXPECT_EQ(rowOf(first, 0), (std::vector<double>{1, 0}));
    EXPECT_TRUE(std::signbit(first.expression.row(0)[1])) << "a kept row is copied bit for bit";
    EXPECT_EQ(rowOf(first, 2), (std::vector<double>{7, 8}));

    const OrganismData mean = mergeRepeatedRows(organism, RepeatedRows::Mean);
    EXPECT_EQ(mean.identifiers, first.identifiers);
    ASSERT_EQ(mean.expression.rows(), 3u);
    EXPECT_EQ(rowOf(mean, 0), (std::vector<double>{3, 4})) << "(1 + 2 + 6) / 3 and (0 + 10 + 2) / 3";
    EXPECT_EQ(rowOf(mean, 1), (std::vector<double>{5, 6}));
}

}  // namespace
}  // namespace orthomix
