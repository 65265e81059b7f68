#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "records/identifiers.h"
#include "records/missing_values.h"

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

TEST(SpreadsheetDates, AreToldFromGeneNamesThatMerelyHoldDigitsOrDashes) {
    for (const char* date : {"1-Mar", "01-Dec", "2-Sep", "1-MAR", "3-Mar-2024", "3/1/2024", "12/31/99", "2024-03-01"}) {
        EXPECT_TRUE(looksLikeSpreadsheetDate(date)) << date;
    }
    for (const char* gene : {"MARCH1", "SEPT2", "Mar-1a", "1-Mars", "123-Mar", "H2-K1", "1/2", "2024-03", "1-Mar-1",
                             "A/1/2024", ""}) {
        EXPECT_FALSE(looksLikeSpreadsheetDate(gene)) << gene;
    }
    const DateLikeIdentifiers found = dateLikeIdentifiers({"TP53", "1-Mar", "2-Sep", "EGFR"});
    EXPECT_EQ(found.count, 2u);
    EXPECT_EQ(found.example, "1-Mar");
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

TEST(MissingValues, DropGeneLeavesOutExactlyTheIncompleteRowsAndGeneMeanFillsInTheOthersMean) {
    // Cells (row * 2 + column) 1 and 4, 5: row 0 misses its second value, row 2 both.
    const OrganismData read = organismOf({"g1", "g2", "g3", "g4"}, {{3, 0}, {5, 6}, {0, 0}, {7, 8}});
    const std::vector<std::size_t> missing = {1, 4, 5};

    OrganismData zero = read;
    EXPECT_EQ(settleMissingValues(zero, missing, MissingValues::Zero), 0u);
    EXPECT_EQ(zero.identifiers, read.identifiers);
    EXPECT_EQ(rowOf(zero, 0), (std::vector<double>{3, 0}));

    OrganismData dropped = read;
    EXPECT_EQ(settleMissingValues(dropped, missing, MissingValues::DropGene), 2u);
    EXPECT_EQ(dropped.identifiers, (std::vector<std::string>{"g2", "g4"}));
    EXPECT_EQ(dropped.annotations, (std::vector<std::string>{"a1", "a3"}));
    EXPECT_EQ(dropped.sampleNames, read.sampleNames);
    ASSERT_EQ(dropped.expression.rows(), 2u);
    EXPECT_EQ(rowOf(dropped, 1), (std::vector<double>{7, 8}));

    OrganismData filled = read;
    EXPECT_EQ(settleMissingValues(filled, missing, MissingValues::GeneMean), 0u);
    EXPECT_EQ(rowOf(filled, 0), (std::vector<double>{3, 3})) << "the mean of the one value present";
    EXPECT_EQ(rowOf(filled, 1), (std::vector<double>{5, 6}));
    EXPECT_EQ(rowOf(filled, 2), (std::vector<double>{0, 0})) << "no value present: 0";
}

TEST(MissingValues, GeneMeanAveragesEveryPresentValueOfAWideRow) {
    OrganismData organism;
    organism.sampleNames = {"a", "b", "c", "d"};
    organism.identifiers = {"g"};
    organism.annotations = {""};
    organism.expression = ExpressionMatrix(0, 4);
    const std::vector<double> row = {1, 0, 2, 0};
    organism.expression.appendRow(row.data());
    settleMissingValues(organism, {1, 3}, MissingValues::GeneMean);
    EXPECT_EQ(rowOf(organism, 0), (std::vector<double>{1, 1.5, 2, 1.5}));
}

}  // namespace
}  // namespace orthomix
