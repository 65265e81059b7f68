// The one table of settings: taking values out of the parameter file, the
// checks before any data file is opened, --help and the run record's echo.
#include "driver/settings.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "driver/usage.h"

namespace orthomix {
namespace {

const char* kCompleteFile =
    "dataFile_hm = h.txt\ndataFile_ms = m.txt\nannotFile_hm = ha.txt\nannotFile_ms = ma.txt\n"
    "orthologFile = o.txt\noutputFile_hm = oh.txt\noutputFile_ms = om.txt\n"
    "k_by_k_output_clusters = kk.txt\ngene_pair_result = gp.txt\nk = 3\nnMaxAlgRun = 2\n";

ParameterSetting settingsOf(const std::string& text) { return settingsFromTable(parseParameterText(text)); }

// The message of the check, "" when it passes.
std::string checkMessage(const std::string& text) {
    const ParameterTable table = parseParameterText(text);
    const Status status = checkSettings(settingsFromTable(table), table, "params.txt");
    return status ? "" : status.error().message;
}

TEST(Settings, TrimsBlanksTabsAndCarriageReturnsAndKeepsLaterEquals) {
    const ParameterTable table = parseParameterText(
        "   prep\t=\tyes\r\noutputFile_hm = a=b.txt\nno equals sign here\nk =\nk = 5\nk = 7\n"
        "nMaxAlgRun=  8 repetitions\r\nstoppingThr = 1e-4\nK = 3\n  empty =   \t\r\nlast=line");
    const ParameterSetting p = settingsFromTable(table);
    EXPECT_TRUE(p.prep);
    EXPECT_EQ(p.outputFile_hm, "a=b.txt") << "only the first = separates key and value";
    EXPECT_EQ(p.k, 7) << "the last line of a key wins";
    EXPECT_EQ(p.nMaxAlgRun, 8) << "a number followed by a word";
    EXPECT_EQ(p.stoppingThr, 1e-4);
    EXPECT_EQ(p.kmeansMaxIterations, 1);
    EXPECT_EQ(table.at("empty"), "");
    EXPECT_EQ(table.at("last"), "line") << "a last line without line feed counts";
    EXPECT_EQ(unrecognisedKeys(table), (std::vector<std::string>{"K", "empty", "last"}));
}

TEST(Settings, NumbersAndSwitchesFollowThePrefixRules) {
    const ParameterSetting p = settingsOf(
        "k = 10.7\nnMaxAlgRun = 1e3\nCVThr = inf\nmaxExpr = nan\nstoppingThr = 0x10\npsudo_uniform_counts = -2.5e1x\n"
        "prep = Yes\nfastDensity = yes\nverbose = true\n");
    EXPECT_EQ(p.k, 10);
    EXPECT_EQ(p.nMaxAlgRun, 1);
    EXPECT_EQ(p.CVThr, 0.0) << "inf is not a decimal number";
    EXPECT_EQ(p.maxExpr, 0.0) << "nan is not a decimal number";
    EXPECT_EQ(p.stoppingThr, 0.0) << "hexadecimal is read up to the x";
    EXPECT_EQ(p.psudo_uniform_counts, -25.0);
    EXPECT_FALSE(p.prep) << "only exactly \"yes\" switches on";
    EXPECT_TRUE(p.fastDensity);
    EXPECT_FALSE(p.verbose);
    EXPECT_FALSE(p.seed.has_value());
    EXPECT_EQ(settingsOf("k = 99999999999\n").k, 2147483647) << "beyond 32 bits saturates";
    EXPECT_EQ(settingsOf("k = -99999999999\n").k, -2147483647 - 1);
}

TEST(Settings, EmptyTextGivesEmptyPathsAndZeros) {
    const ParameterSetting p = settingsOf("");
    EXPECT_EQ(p.dataFile_hm, "");
    EXPECT_EQ(p.k, 0);
    EXPECT_EQ(p.CVThr, 0.0);
    EXPECT_FALSE(p.prep);
    EXPECT_EQ(settingsOf("seed = 42\n").seed, std::optional<std::uint32_t>(42));
}

TEST(Settings, TheWholeUnsignedSeedRangeIsAcceptedBack) {
    const auto seedOf = [](const std::string& value) { return settingsOf("seed = " + value + "\n").seed.value(); };
    EXPECT_EQ(seedOf("4294967295"), 4294967295u) << "a clock seed above 2^31 - 1 survives";
    EXPECT_EQ(seedOf("2147483648"), 2147483648u);
    EXPECT_EQ(seedOf("99 apples"), 99u) << "the atoi prefix rule";
    EXPECT_EQ(seedOf("-1"), 4294967295u) << "a negative seed counts modulo 2^32";
    EXPECT_EQ(seedOf("-2147483648"), 2147483648u);
    EXPECT_EQ(seedOf(""), 0u);
}

TEST(Settings, ChecksNameTheKeyAndTheFile) {
    EXPECT_EQ(checkMessage(kCompleteFile), "");
    EXPECT_EQ(checkMessage(std::string(kCompleteFile) + "orthologFile =\n"),
              "The key orthologFile is missing or empty in parameter file params.txt");
    EXPECT_EQ(checkMessage("k = 3\nnMaxAlgRun = 2\n"),
              "The key dataFile_hm is missing or empty in parameter file params.txt")
        << "the first missing path in table order";
    EXPECT_EQ(checkMessage(std::string(kCompleteFile) + "k = 0\n"),
              "The key k must be at least 1 in parameter file params.txt (it is 0)");
    EXPECT_EQ(checkMessage(std::string(kCompleteFile) + "nMaxAlgRun = -3\n"),
              "The key nMaxAlgRun must be at least 1 in parameter file params.txt (it is -3)");
    EXPECT_EQ(checkMessage(std::string(kCompleteFile) + "seed = 4294967296\n"),
              "The key seed must be a whole number from 0 to 4294967295 in parameter file params.txt "
              "(it is 4294967296)");
    EXPECT_EQ(checkMessage(std::string(kCompleteFile) + "seed = -2147483649\n"),
              "The key seed must be a whole number from 0 to 4294967295 in parameter file params.txt "
              "(it is -2147483649)");
    EXPECT_EQ(checkMessage(std::string(kCompleteFile) + "seed = 4294967295\nrunRecordFile =\n"), "")
        << "optional paths may stay empty";
    EXPECT_EQ(checkMessage(std::string(kCompleteFile) + "threads = 0\n"),
              "The key threads must be at least 1 in parameter file params.txt (it is 0)")
        << "a threads key that is given must name at least one thread";
    EXPECT_EQ(checkMessage(std::string(kCompleteFile) + "threads = 3\n"), "");
    EXPECT_EQ(settingsOf(kCompleteFile).threads, 0) << "no key: every hardware thread";
    EXPECT_EQ(settingsOf(std::string(kCompleteFile) + "threads = 2.9\n").threads, 2);
}

TEST(Settings, EveryKeyIsListedOnceAndShownByHelpAndTheRecord) {
    std::set<std::string_view> keys;
    const std::string help = usageText();
    ParameterSetting settings = settingsOf(std::string(kCompleteFile) + "seed = 7\nprep = yes\nCVThr = 0.5\n");
    for (const SettingDefinition& definition : kSettings) {
        EXPECT_TRUE(keys.insert(definition.key).second) << definition.key << " twice";
        EXPECT_NE(help.find("  " + std::string(definition.key) + " "), std::string::npos) << definition.key;
        EXPECT_FALSE(definition.help.empty()) << definition.key;
    }
    const auto json = [&](std::string_view key) {
        for (const SettingDefinition& definition : kSettings) {
            if (definition.key == key) return settingAsJson(settings, definition);
        }
        return std::string("<no such key>");
    };
    EXPECT_EQ(json("dataFile_hm"), "\"h.txt\"");
    EXPECT_EQ(json("k"), "3");
    EXPECT_EQ(json("CVThr"), "0.5");
    EXPECT_EQ(json("prep"), "true");
    EXPECT_EQ(json("seed"), "7");
    settings.seed.reset();
    EXPECT_EQ(json("seed"), "null") << "a clock-seeded run shows no seed key";
}

}  // namespace
}  // namespace orthomix
