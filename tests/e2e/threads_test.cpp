// Runs with threads = 1, 2 and 7 print and write the same bytes: console,
// result files, assignment tables and the run record (timings and the
// threads key itself aside).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e/planted_dataset.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

const int kThreadCounts[] = {1, 2, 7};

// Everything one run leaves: its two streams and every file of out/.
struct RunOutput {
    int exitStatus = -1;
    std::string out, err;
    std::map<std::string, std::string> files;
};

// Values that measure time, and the threads key, differ between runs by
// nature: record members holding a time, and the seconds that end a progress line.
std::string withoutTimings(const std::string& text) {
    static const char* const kTimed[] = {"startTime", "endTime", "wallSeconds", "seconds",   "reading",
                                         "annotation", "preprocessing", "repetitions", "writing", "threads"};
    std::string out;
    for (std::string line : splitText(text, '\n')) {
        for (const char* key : kTimed) {
            const std::string member = std::string("\"") + key + "\": ";
            const std::size_t at = line.find(member);
            if (at == std::string::npos) continue;
            const bool comma = !line.empty() && line.back() == ',';
            line = line.substr(0, at + member.size()) + "<masked>" + (comma ? "," : "");
        }
        const std::size_t lastField = line.rfind(", ");
        if (line.size() > 2 && line.compare(line.size() - 2, 2, " s") == 0 && lastField != std::string::npos &&
            line.find_first_not_of("0123456789.", lastField + 2) == line.size() - 2) {
            line = line.substr(0, lastField) + ", <masked> s";
        }
        out += line + "\n";
    }
    return out;
}

RunOutput runWithThreads(const fs::path& source, int threads, const std::string& extraLines) {
    TempDir work;
    for (const auto& entry : fs::directory_iterator(source)) {
        if (entry.is_regular_file()) fs::copy_file(entry.path(), work.path() / entry.path().filename());
    }
    fs::create_directories(work.path() / "out");
    const std::string parameters = work.file("ParameterSetting.txt");
    writeFile(parameters, readFile(parameters) + extraLines + "threads = " + std::to_string(threads) + "\n");
    const CommandResult result = runTool(work.path(), "ParameterSetting.txt");
    RunOutput output{result.exitStatus, result.out, withoutTimings(result.err), {}};
    for (const auto& entry : fs::directory_iterator(work.path() / "out")) {
        output.files[entry.path().filename().string()] = withoutTimings(readFile(entry.path().string()));
    }
    return output;
}

// Runs the folder's parameter file with every thread count and expects the
// same output from each; returns the one-thread run for further checks.
RunOutput expectSameForEveryThreadCount(const fs::path& source, const std::string& extraLines) {
    const RunOutput reference = runWithThreads(source, 1, extraLines);
    EXPECT_EQ(reference.exitStatus, 0) << reference.err;
    for (const int threads : kThreadCounts) {
        if (threads == 1) continue;
        const RunOutput run = runWithThreads(source, threads, extraLines);
        EXPECT_EQ(run.exitStatus, reference.exitStatus) << threads << " threads: " << run.err;
        EXPECT_TRUE(run.out == reference.out) << threads << " threads: standard output differs";
        EXPECT_EQ(run.err, reference.err) << threads << " threads: standard error differs";
        EXPECT_EQ(run.files.size(), reference.files.size()) << threads << " threads";
        for (const auto& [name, content] : reference.files) {
            const auto found = run.files.find(name);
            EXPECT_TRUE(found != run.files.end() && found->second == content)
                << threads << " threads: " << name << " differs";
        }
    }
    return reference;
}

TEST(ThreadCounts, TheWorkedExamplesStayByteIdenticalToTheirExpectedOutput) {
    for (const char* example : {"public1", "public2"}) {
        const fs::path source = fs::path(ORTHOMIX_TEST_DATA) / "golden" / example;
        for (const int threads : kThreadCounts) {
            const RunOutput run = runWithThreads(source, threads, "");
            ASSERT_EQ(run.exitStatus, 0) << example << ", " << threads << " threads: " << run.err;
            EXPECT_TRUE(run.out == readFile((source / "expected" / "console.txt").string()))
                << example << ", " << threads << " threads: console";
            for (const char* name : {"human_clusters.txt", "mouse_clusters.txt", "pair_clusters.txt", "gene_pairs.txt"}) {
                EXPECT_TRUE(run.files.count(name) && run.files.at(name) == readFile((source / "expected" / name).string()))
                    << example << ", " << threads << " threads: " << name;
            }
        }
    }
}

const char* const kEveryOptionalOutput =
    "runRecordFile = out/record.json\nassignmentFile_hm = out/human_assignments.tsv\n"
    "assignmentFile_ms = out/mouse_assignments.tsv\nverbose = yes\n";

TEST(ThreadCounts, APlantedRunWritesTheSameBytesInBothModes) {
    TempDir data;
    PlantedDataset d;
    d.runs = 4;
    ASSERT_NO_FATAL_FAILURE(generateDataset(data.path(), d));
    for (const char* mode : {"", "fastDensity = yes\n"}) {
        const RunOutput run = expectSameForEveryThreadCount(data.path(), std::string(kEveryOptionalOutput) + mode);
        EXPECT_NE(run.out.find("Repetitive times:3\n"), std::string::npos) << mode;
        EXPECT_EQ(run.files.size(), 7u) << "four result files, two tables and the record";
        EXPECT_NE(run.err.find("repetition 3 attempt 1 iteration 1: "), std::string::npos) << run.err;
    }
}

TEST(ThreadCounts, RejectedAttemptsAreJudgedAndReportedAsInASequentialRun) {
    // Ten clusters on data with three planted ones: many starts leave a
    // cluster without weight or without a nearest gene.
    TempDir data;
    PlantedDataset d;
    d.runs = 3;
    ASSERT_NO_FATAL_FAILURE(generateDataset(data.path(), d));
    setParameter(data.file("ParameterSetting.txt"), "k", "10");
    const RunOutput run = expectSameForEveryThreadCount(data.path(), kEveryOptionalOutput);
    ASSERT_EQ(run.files.count("record.json"), 1u);
    const std::string& record = run.files.at("record.json");
    EXPECT_NE(record.find("\"accepted\": false"), std::string::npos) << "the case must include rejected attempts";
    EXPECT_NE(run.err.find(" rejected: "), std::string::npos) << run.err;
    // No line of a rejected attempt comes after the line that judges it.
    for (const std::string& line : splitText(run.err, '\n')) {
        const std::size_t judged = line.find(" rejected: ");
        if (judged == std::string::npos) continue;
        const std::string prefix = line.substr(0, judged) + " iteration";
        const std::size_t judgement = run.err.find(line);
        EXPECT_EQ(run.err.find(prefix, judgement), std::string::npos) << prefix << " reported after its end";
    }
}

}  // namespace
}  // namespace orthomix::testing
