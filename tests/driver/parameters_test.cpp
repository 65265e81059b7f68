#include "driver/parameters.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace orthomix {
namespace {

const char* kCompleteFile =
    "dataFile_hm = h.txt\ndataFile_ms = m.txt\nannotFile_hm = ha.txt\nannotFile_ms = ma.txt\n"
    "orthologFile = o.txt\noutputFile_hm = oh.txt\noutputFile_ms = om.txt\n"
    "k_by_k_output_clusters = kk.txt\ngene_pair_result = gp.txt\nk = 3\nnMaxAlgRun = 2\n";

TEST(ParameterFile, TrimsBlanksTabsAndCarriageReturnsAndKeepsLaterEquals) {
    const auto table = parseParameterText(
        "   prep\t=\tyes\r\noutputFile_hm = a=b.txt\nno equals sign here\nk =\nk = 5\nk = 7\n"
        "nMaxAlgRun=  8 repetitions\r\nstoppingThr = 1e-4\nK = 3\n  empty =   \t\r\nlast=line");
    const ParameterSetting p = parameterSettingFrom(table);
    EXPECT_EQ(p.prep, "yes");
    EXPECT_EQ(p.outputFile_hm, "a=b.txt") << "only the first = separates key and value";
    EXPECT_EQ(p.k, 7) << "the last line of a key wins";
    EXPECT_EQ(p.nMaxAlgRun, 8) << "a number followed by a word";
    EXPECT_EQ(p.stoppingThr, 1e-4);
    EXPECT_EQ(p.kmeansMaxIterations, 1);
    EXPECT_EQ(table.at("empty"), "");
    EXPECT_EQ(table.at("last"), "line") << "a last line without line feed counts";
    EXPECT_EQ(unrecognisedKeys(table), (std::vector<std::string>{"K", "empty", "last"}));
}

TEST(ParameterFile, NumbersFollowThePrefixRules) {
    const ParameterSetting p = parameterSettingFrom(parseParameterText(
        "k = 10.7\nnMaxAlgRun = 1e3\nCVThr = inf\nmaxExpr = nan\nstoppingThr = 0x10\npsudo_uniform_counts = -2.5e1x\n"));
    EXPECT_EQ(p.k, 10);
    EXPECT_EQ(p.nMaxAlgRun, 1);
    EXPECT_EQ(p.CVThr, 0.0) << "inf is not a decimal number";
    EXPECT_EQ(p.maxExpr, 0.0) << "nan is not a decimal number";
    EXPECT_EQ(p.stoppingThr, 0.0) << "hexadecimal is read up to the x";
    EXPECT_EQ(p.psudo_uniform_counts, -25.0);
    EXPECT_FALSE(p.hasSeed);
}

TEST(ParameterFile, EmptyTextGivesEmptyPathsAndZeros) {
    const ParameterSetting p = parameterSettingFrom(parseParameterText(""));
    EXPECT_EQ(p.dataFile_hm, "");
    EXPECT_EQ(p.k, 0);
    EXPECT_EQ(p.CVThr, 0.0);
    const ParameterSetting seeded = parameterSettingFrom(parseParameterText("seed = 42\n"));
    EXPECT_TRUE(seeded.hasSeed);
    EXPECT_EQ(seeded.seed, 42);
}

TEST(ParameterFileDeathTest, MissingKeysAndBadCountsStopBeforeAnyDataIsRead) {
    const auto check = [](const std::string& text) {
        const auto table = parseParameterText(text);
        checkParameters(parameterSettingFrom(table), table, "params.txt");
    };
    EXPECT_EXIT(check(std::string(kCompleteFile) + "orthologFile =\n"), ::testing::ExitedWithCode(1),
                "orthologFile .*params.txt");
    EXPECT_EXIT(check(std::string(kCompleteFile) + "k = 0\n"), ::testing::ExitedWithCode(1), "k must be at least 1");
    EXPECT_EXIT(check(std::string(kCompleteFile) + "nMaxAlgRun = -3\n"), ::testing::ExitedWithCode(1),
                "nMaxAlgRun must be at least 1");
    EXPECT_EXIT(
        {
            check(std::string(kCompleteFile) + "K = 4\n");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "warning: unrecognised key \"K\"");
}

TEST(ParameterFileDeathTest, UnreadableFileGivesCannotOpen) {
    EXPECT_EXIT(readParameterFile("no/such/params.txt"), ::testing::ExitedWithCode(1), "^Cannot open no/such/params.txt\n$");
}

}  // namespace
}  // namespace orthomix
