// A kValues sweep split into runs of one k each and put together again with
// orthomix merge: every file the sweep writes comes out the same, timings
// aside; records that do not belong to the sweep are refused by name.
#include <algorithm>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "e2e/planted_dataset.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

const char* const kOutputKeys =
    "modelSelectionFile = out/model_selection.tsv\n"
    "pairTableFile = out/pair_table.tsv\n"
    "assignmentFile_hm = out/human_assignments.tsv\n"
    "assignmentFile_ms = out/mouse_assignments.tsv\n"
    "reportFile = out/report.html\n"
    "runRecordFile = out/record.json\n";

// The example in `folder`, its k line replaced by `kLine`, every output asked for.
void prepareExample(const fs::path& folder, const std::string& kLine, const std::string& extra = "") {
    prepareExampleFolder(folder, kLine, kOutputKeys + extra);
}

// The value after each "name": (a number, null or a string) replaced by #,
// for every name that holds a time.
std::string maskTimings(std::string text) {
    static const char* const kTimeKeys[] = {"startTime", "endTime",       "wallSeconds", "seconds", "reading",
                                            "annotation", "preprocessing", "repetitions", "writing"};
    for (const char* key : kTimeKeys) {
        const std::string pattern = std::string("\"") + key + "\":";
        for (std::size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at + 1)) {
            std::size_t start = at + pattern.size();
            while (start < text.size() && text[start] == ' ') ++start;
            if (start >= text.size() || text[start] == '[' || text[start] == '{') continue;
            std::size_t end = start + 1;
            if (text[start] == '"') {
                end = text.find('"', start + 1) + 1;
            } else {
                end = text.find_first_of(",}]\n", start);
            }
            text.replace(start, end - start, "#");
        }
    }
    return text;
}

// The model-selection table with its seconds column masked.
std::string maskSecondsColumn(const std::string& table) {
    std::string out;
    std::size_t column = std::string::npos;  // found in the header
    for (const std::string& line : readLines(table)) {
        std::vector<std::string> fields = splitText(line, '\t');
        if (column == std::string::npos) {
            column = static_cast<std::size_t>(std::find(fields.begin(), fields.end(), "seconds") - fields.begin());
        } else if (column < fields.size()) {
            fields[column] = "#";
        }
        for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "\t" : "") + fields[i];
        out += "\n";
    }
    return out;
}

class MergeRun : public ::testing::Test {
protected:
    // The sweep and the single-k runs are made once for every test here.
    static void SetUpTestSuite() {
        work_ = new TempDir;
        prepareExample(path("sweep"), "kValues = 4-8");
        const CommandResult sweep = runTool(path("sweep"), "ParameterSetting.txt");
        ASSERT_EQ(sweep.exitStatus, 0) << sweep.err;
        for (int k = 4; k <= 8; ++k) {
            const std::string name = "k" + std::to_string(k);
            prepareExample(path(name), "k = " + std::to_string(k));
            const CommandResult single = runTool(path(name), "ParameterSetting.txt");
            ASSERT_EQ(single.exitStatus, 0) << single.err;
        }
    }
    static void TearDownTestSuite() {
        delete work_;
        work_ = nullptr;
    }

    static fs::path path(const std::string& name) { return work_->path() / name; }
    static std::string records(int first = 4, int last = 8) {
        std::string list;
        for (int k = first; k <= last; ++k) list += " ../k" + std::to_string(k) + "/out/record.json";
        return list;
    }

    static TempDir* work_;
};

TempDir* MergeRun::work_ = nullptr;

TEST_F(MergeRun, WritesEveryFileOfTheSweepByteForByteTimingsAside) {
    prepareExample(path("merged"), "kValues = 4-8");
    const CommandResult merge = runTool(path("merged"), "merge ParameterSetting.txt" + records());
    ASSERT_EQ(merge.exitStatus, 0) << merge.err;
    std::size_t compared = 0;
    for (const auto& entry : fs::directory_iterator(path("sweep") / "out")) {
        const std::string name = entry.path().filename().string();
        const fs::path merged = path("merged") / "out" / name;
        ASSERT_TRUE(fs::exists(merged)) << name << " is missing from the merge";
        std::string expected = readFile(entry.path().string());
        std::string actual = readFile(merged.string());
        if (name == "model_selection.tsv") {
            expected = maskSecondsColumn(entry.path().string());
            actual = maskSecondsColumn(merged.string());
        } else if (name == "record.json" || name == "report.html") {
            expected = maskTimings(expected);
            actual = maskTimings(actual);
        }
        EXPECT_TRUE(expected == actual) << name << " differs from the sweep's";
        ++compared;
    }
    EXPECT_EQ(compared, 10u) << "four result files, two assignment tables, three tables and the record";
    const std::string record = readFile((path("merged") / "out" / "record.json").string());
    EXPECT_NE(record.find("\"inputChecksums\": {\n    \"dataFile_hm\": \"fnv1a64:"), std::string::npos) << record;
}

TEST_F(MergeRun, RefusesRecordsThatDoNotMakeTheSweepNamingTheFile) {
    prepareExample(path("refused"), "kValues = 4-8");
    struct Case {
        std::string arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {records(4, 7), "No run record for k = 8 of the kValues of ParameterSetting.txt"},
        {records() + " ../k5/out/record.json", "../k5/out/record.json: k = 5 is given twice (also by ../k5/out/record.json)"},
        {records(5, 8) + " ../sweep/out/record.json", "../sweep/out/record.json: the record of a kValues run"},
        {records() + " ParameterSetting.txt", "ParameterSetting.txt: not a run record of orthomix"},
    };
    for (const Case& c : cases) {
        const CommandResult merge = runTool(path("refused"), "merge ParameterSetting.txt" + c.arguments);
        EXPECT_EQ(merge.exitStatus, 1) << c.arguments;
        EXPECT_NE(merge.err.find(c.message), std::string::npos) << merge.err;
        EXPECT_FALSE(fs::exists(path("refused") / "out" / "human_clusters.txt")) << c.arguments;
    }

    // Another seed, other data, another setting.
    prepareExample(path("seed"), "kValues = 4-8", "seed = 7\n");
    const CommandResult seed = runTool(path("seed"), "merge ParameterSetting.txt" + records());
    EXPECT_EQ(seed.exitStatus, 1);
    EXPECT_NE(seed.err.find("../k4/out/record.json ran with seed 2024, but ParameterSetting.txt gives seed 7"),
              std::string::npos)
        << seed.err;

    prepareExample(path("data"), "kValues = 4-8");
    std::string orthologs = readFile((path("data") / "orthologs.txt").string());
    writeFile((path("data") / "orthologs.txt").string(), orthologs.substr(0, orthologs.rfind('\n', orthologs.size() - 2) + 1));
    const CommandResult data = runTool(path("data"), "merge ParameterSetting.txt" + records());
    EXPECT_EQ(data.exitStatus, 1);
    EXPECT_NE(data.err.find("../k4/out/record.json was run on another orthologFile"), std::string::npos) << data.err;

    prepareExample(path("setting"), "kValues = 4-8", "CVThr_hm = 0.5\n");
    const CommandResult setting = runTool(path("setting"), "merge ParameterSetting.txt" + records());
    EXPECT_EQ(setting.exitStatus, 1);
    EXPECT_NE(setting.err.find("../k4/out/record.json ran with CVThr_hm = null, but ParameterSetting.txt gives 0.5"),
              std::string::npos)
        << setting.err;
}

TEST_F(MergeRun, AParameterFileNamedMergeIsReachedAsDotSlashMerge) {
    prepareExample(path("named"), "k = 4");
    fs::rename(path("named") / "ParameterSetting.txt", path("named") / "merge");
    const CommandResult run = runTool(path("named"), "./merge");
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(fs::exists(path("named") / "out" / "human_clusters.txt"));
    const CommandResult bare = runTool(path("named"), "merge");
    EXPECT_EQ(bare.exitStatus, 2) << "a lone merge is the subcommand without its arguments";
}

}  // namespace
}  // namespace orthomix::testing
