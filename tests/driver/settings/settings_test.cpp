// The one table of settings: taking values out of the parameter file, the
// checks before any data file is opened, --help and the run record's echo.
#include "driver/settings/settings.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

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

TEST(Settings, AnOutputFolderNamesEveryOutputWithoutAPathOfItsOwn) {
    const std::string inputs =
        "dataFile_hm = h.txt\ndataFile_ms = m.txt\nannotFile_hm = ha.txt\nannotFile_ms = ma.txt\n"
        "orthologFile = o.txt\nk = 3\nnMaxAlgRun = 2\n";
    EXPECT_EQ(checkMessage(inputs), "The key outputFile_hm is missing or empty in parameter file params.txt");
    EXPECT_EQ(checkMessage(inputs + "outputFolder = res\n"), "") << "the folder stands in for the four files";

    const ParameterSetting settings = settingsOf(inputs + "outputFolder = res/\nreportFile = page.html\n");
    EXPECT_EQ(settings.outputFile_hm, "res/human_clusters.txt") << "one separator between folder and name";
    EXPECT_EQ(settings.gene_pair_result, "res/gene_pairs.txt");
    EXPECT_EQ(settings.pairAssignmentFile, "res/pair_assignments.tsv");
    EXPECT_EQ(settings.runRecordFile, "res/run_record.json");
    EXPECT_EQ(settings.reportFile, "page.html") << "a path of its own is kept";
    // Every output key gets a name of its own.
    std::set<std::string> paths;
    std::size_t outputs = 0;
    for (const SettingDefinition& definition : kSettings) {
        if (definition.kind != SettingKind::OutputPath) continue;
        ++outputs;
        const std::string& path = settings.*std::get<std::string ParameterSetting::*>(definition.field);
        EXPECT_FALSE(path.empty()) << definition.key;
        paths.insert(path);
    }
    EXPECT_EQ(paths.size(), outputs) << "no two outputs share a file";
    EXPECT_TRUE(settingsOf(kCompleteFile).pairAssignmentFile.empty()) << "without a folder nothing is added";
}

TEST(Settings, KValuesReplaceKAndAMalformedListNamesTheKey) {
    std::string withoutK = kCompleteFile;
    withoutK.erase(withoutK.find("k = 3\n"), 6);
    const ParameterSetting sweep = settingsOf(withoutK + "kValues = 8, 4-6\n");
    EXPECT_EQ(sweep.kValues, (std::vector<std::int32_t>{4, 5, 6, 8}));
    EXPECT_EQ(checkMessage(withoutK + "kValues = 8, 4-6\n"), "") << "k is not needed beside kValues";
    EXPECT_EQ(checkMessage(withoutK + "kValues = 4-8\nk = 0\n"), "") << "nor checked";
    EXPECT_EQ(checkMessage(withoutK + "kValues =  \n"), "The key k is missing or empty in parameter file params.txt")
        << "a blank list counts as absent";
    EXPECT_TRUE(settingsOf("kValues = \n").kValues.empty());

    const std::string malformed = std::string(kCompleteFile) + "kValues = 4, x\n";
    EXPECT_EQ(checkMessage(malformed),
              "The key kValues must list whole numbers of at least 1 and ranges such as 5, 8, 10-30:5 in parameter "
              "file params.txt: \"x\" is not a whole number or a range such as 10-30 or 10-30:5");
    EXPECT_TRUE(settingsOf(malformed).kValues.empty()) << "a malformed list gives no values, even before the check";
    EXPECT_EQ(checkMessage(std::string(kCompleteFile) + "kValues = 9-3\n"),
              "The key kValues must list whole numbers of at least 1 and ranges such as 5, 8, 10-30:5 in parameter "
              "file params.txt: \"9-3\" ends below where it starts");

    const SettingDefinition* kValues = nullptr;
    for (const SettingDefinition& definition : kSettings) {
        if (definition.key == "kValues") kValues = &definition;
    }
    ASSERT_NE(kValues, nullptr);
    EXPECT_EQ(settingAsJson(sweep, *kValues), "[4, 5, 6, 8]");
    EXPECT_EQ(settingAsJson(settingsOf(kCompleteFile), *kValues), "[]");
    EXPECT_TRUE(settingsOf("assignmentPosterior = yes\n").assignmentPosterior);
    EXPECT_FALSE(settingsOf("assignmentPosterior = Yes\n").assignmentPosterior);
}

// The warnings for one parameter text, read from params.txt.
std::vector<std::string> warningsOf(const std::string& text) {
    return parameterWarnings(parseParameterText(text), "params.txt");
}

TEST(ParameterFileMistakes, UnknownKeysSuggestTheClosestKnownKey) {
    EXPECT_EQ(closestKey("nMaxAlgRuns"), "nMaxAlgRun");
    EXPECT_EQ(closestKey("K"), "k") << "a different case is distance 0";
    EXPECT_EQ(closestKey("sead"), "seed");
    EXPECT_EQ(closestKey("pseudo_uniform_counts"), "psudo_uniform_counts") << "the English spelling";
    EXPECT_EQ(closestKey("DATAFILE_HM"), "dataFile_hm");
    EXPECT_EQ(closestKey("cvthr_MS"), "CVThr_ms");
    EXPECT_EQ(closestKey("nMaxAglRun"), "nMaxAlgRun") << "two letters swapped";
    EXPECT_EQ(closestKey("x"), "") << "one letter is not taken for k";
    EXPECT_EQ(closestKey("colours"), "");
    EXPECT_EQ(closestKey(""), "");
    EXPECT_EQ(closestKey("Title of my analysis"), "");

    EXPECT_EQ(warningsOf("nMaxAlgRuns = 3\nx = 1\n# k = 3\n"),
              (std::vector<std::string>{
                  "unrecognised key \"# k\" in parameter file params.txt (keys are case-sensitive); there is no "
                  "comment syntax, a line without \"=\" is the way to leave a remark",
                  "unrecognised key \"nMaxAlgRuns\" in parameter file params.txt (keys are case-sensitive); did you "
                  "mean \"nMaxAlgRun\"?",
                  "unrecognised key \"x\" in parameter file params.txt (keys are case-sensitive)"}))
        << "in table order";
    EXPECT_EQ(warningsOf(std::string(5000, 'z') + " = 1\n"),
              (std::vector<std::string>{"unrecognised key \"" + std::string(60, 'z') +
                                        "...\" in parameter file params.txt (keys are case-sensitive)"}))
        << "a key as long as a line of data is cut in the message";
}

TEST(ParameterFileMistakes, LenientValuesKeepTheirMeaningAndWarnWithKeyTextAndValueUsed) {
    const std::string in = " in parameter file params.txt is read as ";
    const std::string switchOff = "off: only \"yes\", in lower case, switches it on";
    const std::string noComment = "; there is no comment syntax, so \"#\" and what follows are part of the value";
    const std::string text =
        "prep = Yes\nverbose = true\nfastDensity = yes   # faster\nCVThr = 0.1abc\nmaxExpr = high\nk = 6.9\n"
        "nMaxAlgRun = 1e3\nseed = abc\nstoppingThr = 1e-4\npsudo_uniform_counts = 10.5\n"
        "dataFile_hm = data.txt # human\nmaxExpr_ms = 2 x\n";
    const std::vector<std::string> expected = {
        // In table order: the path first.
        "the value \"data.txt # human\" of the key dataFile_hm in parameter file params.txt contains \"#\"" +
            noComment,
        "the value \"Yes\" of the key prep" + in + switchOff,
        "the value \"0.1abc\" of the key CVThr" + in + "0.1: the text after the number is ignored",
        "the value \"high\" of the key maxExpr" + in + "0: it does not start with a number",
        "the value \"2 x\" of the key maxExpr_ms" + in + "2: the text after the number is ignored",
        "the value \"6.9\" of the key k" + in + "6: a whole number is expected, so the decimals are cut off",
        "the value \"1e3\" of the key nMaxAlgRun" + in + "1: the text after the number is ignored",
        "the value \"10.5\" of the key psudo_uniform_counts" + in +
            "10.5, used as 10: a whole number is expected, so the decimals are cut off",
        "the value \"abc\" of the key seed" + in + "0: it does not start with a number",
        "the value \"yes   # faster\" of the key fastDensity" + in + switchOff + noComment,
        "the value \"true\" of the key verbose" + in + switchOff,
    };
    EXPECT_EQ(warningsOf(text), expected);

    // The values are still read as before.
    const ParameterSetting p = settingsOf(text);
    EXPECT_FALSE(p.prep);
    EXPECT_FALSE(p.fastDensity);
    EXPECT_EQ(p.CVThr, 0.1);
    EXPECT_EQ(p.k, 6);
    EXPECT_EQ(p.nMaxAlgRun, 1);
    EXPECT_EQ(p.seed, std::optional<std::uint32_t>(0));
    EXPECT_EQ(p.maxExpr_ms, std::optional<double>(2.0));
    EXPECT_EQ(p.dataFile_hm, "data.txt # human");

    EXPECT_TRUE(warningsOf(std::string(kCompleteFile) +
                           "prep = yes\nfastDensity = no\nverbose =\nseed = 4294967295\nseed = -1\nCVThr = -0.5\n"
                           "maxExpr = 1e-4\npsudo_uniform_counts = 10\nstoppingThr = .5\nk = +4\n")
                    .empty())
        << "values read as written, \"no\", and an empty switch give no warning";
}

TEST(ParameterFileMistakes, AnEmptyNumberWarnsLikeAnyOtherTextThatIsNotANumber) {
    const std::string in = " in parameter file params.txt is read as 0: it does not start with a number";
    EXPECT_EQ(warningsOf(std::string(kCompleteFile) + "seed =\nCVThr =\nrunRecordFile =\nthreads =\nkValues =\n"),
              (std::vector<std::string>{"the value \"\" of the key CVThr" + in, "the value \"\" of the key seed" + in}))
        << "an empty path, count list or thread count is absent, not 0";
    EXPECT_EQ(settingsOf("seed =\n").seed, std::optional<std::uint32_t>(0)) << "read as before";
    EXPECT_EQ(warningsOf(std::string(kCompleteFile) + "seed = abc\n"),
              (std::vector<std::string>{"the value \"abc\" of the key seed" + in}));
}

TEST(ParameterFileMistakes, MissingCountsAndNumbersOutsideTheirRangeStopTheRunNamingTheKey) {
    const std::string complete = kCompleteFile;
    const std::string withoutK = complete.substr(0, complete.find("k = 3\n")) + "nMaxAlgRun = 2\n";
    EXPECT_EQ(checkMessage(withoutK), "The key k is missing or empty in parameter file params.txt")
        << "absent, not \"must be at least 1 (it is 0)\"";
    EXPECT_EQ(checkMessage(complete + "nMaxAlgRun =\n"),
              "The key nMaxAlgRun is missing or empty in parameter file params.txt");
    EXPECT_EQ(checkMessage(complete + "k = 99999999999\n"),
              "The key k must be a whole number from 1 to 2147483647 in parameter file params.txt "
              "(it is 99999999999)")
        << "no longer saturates silently";
    EXPECT_EQ(checkMessage(complete + "nMaxAlgRun = -2147483649\n"),
              "The key nMaxAlgRun must be a whole number from 1 to 2147483647 in parameter file params.txt "
              "(it is -2147483649)");
    EXPECT_EQ(checkMessage(complete + "k = 2147483647\nnMaxAlgRun = 2147483647\n"), "");

    const std::string psudo = "The key psudo_uniform_counts must be from -2147483648 to 2147483647 in parameter file "
                              "params.txt (it is ";
    EXPECT_EQ(checkMessage(complete + "psudo_uniform_counts = 2147483648\n"), psudo + "2147483648)");
    EXPECT_EQ(checkMessage(complete + "psudo_uniform_counts = -2147483649\n"), psudo + "-2147483649)");
    EXPECT_EQ(checkMessage(complete + "psudo_uniform_counts = 1e999\n"), psudo + "1e999)");
    EXPECT_EQ(checkMessage(complete + "psudo_uniform_counts = 2147483647.9\n"), "") << "its whole part fits";
    EXPECT_EQ(checkMessage(complete + "psudo_uniform_counts = -2147483648.9\n"), "");

    EXPECT_EQ(checkMessage(complete + "dataFile_ms = m.txt" + '\0' + ".gz\n"),
              "The key dataFile_ms holds a NUL byte in parameter file params.txt: save the file again as plain text "
              "or UTF-8");
    EXPECT_EQ(checkMessage(complete + "CVThr = 0.5" + '\0' + "\n"),
              "The key CVThr holds a NUL byte in parameter file params.txt: save the file again as plain text or "
              "UTF-8");
    EXPECT_TRUE(warningsOf(std::string("prep = Y") + '\0' + "es\n").empty()) << "the check, not a warning, reports it";
}

TEST(ParameterFileMistakes, PerOrganismThresholdsOverrideTheSharedOnes) {
    ParameterSetting shared = settingsOf("CVThr = 0.1\nmaxExpr = 5\n");
    EXPECT_EQ(humanThresholds(shared).cv, 0.1);
    EXPECT_EQ(mouseThresholds(shared).maxExpr, 5.0);
    EXPECT_EQ(mouseThresholds(shared).cvKey, "CVThr");
    EXPECT_EQ(mouseThresholds(shared).maxExprKey, "maxExpr");

    const ParameterSetting split = settingsOf("CVThr = 0.1\nmaxExpr = 5\nCVThr_ms = -1e9\nmaxExpr_ms = -2\n"
                                              "maxExpr_hm = 7\n");
    const PreprocessingThresholds human = humanThresholds(split);
    const PreprocessingThresholds mouse = mouseThresholds(split);
    EXPECT_EQ(human.cv, 0.1) << "no CVThr_hm: the shared key";
    EXPECT_EQ(human.cvKey, "CVThr");
    EXPECT_EQ(human.maxExpr, 7.0);
    EXPECT_EQ(human.maxExprKey, "maxExpr_hm");
    EXPECT_EQ(mouse.cv, -1e9);
    EXPECT_EQ(mouse.cvKey, "CVThr_ms");
    EXPECT_EQ(mouse.maxExpr, -2.0);
    EXPECT_EQ(settingsOf("CVThr_hm =\n").CVThr_hm, std::optional<double>(0.0)) << "an empty value reads as 0";

    const ParameterSetting variance = settingsOf("minSD = 0.5\ntopVariable = 100\ntopVariable_ms = 500\n");
    EXPECT_EQ(humanThresholds(variance).minSD, std::optional<double>(0.5));
    EXPECT_EQ(mouseThresholds(variance).minSD, std::optional<double>(0.5));
    EXPECT_EQ(humanThresholds(variance).topVariable, std::optional<double>(100));
    EXPECT_EQ(humanThresholds(variance).topVariableKey, "topVariable");
    EXPECT_EQ(mouseThresholds(variance).topVariable, std::optional<double>(500));
    EXPECT_EQ(mouseThresholds(variance).topVariableKey, "topVariable_ms");
    EXPECT_FALSE(humanThresholds(shared).minSD) << "no variance filter unless asked for";

    for (const SettingDefinition& definition : kSettings) {
        if (definition.key == "CVThr_ms") {
            EXPECT_EQ(settingAsJson(split, definition), "-1000000000");
        } else if (definition.key == "CVThr_hm") {
            EXPECT_EQ(settingAsJson(split, definition), "null") << "absent";
        }
    }
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
