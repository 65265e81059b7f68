// What a run guarantees about files, run as a user would: results never
// replace an input or each other, a result set is in place whole or not at
// all, an interruption leaves the earlier results and no temporary file, and
// running out of memory, disk or file size ends with a message and a record.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e/planted_dataset.h"
#include "e2e/process_support.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kResultNames = {"human_clusters.txt", "mouse_clusters.txt", "gene_pairs.txt",
                                               "pair_clusters.txt"};

std::string recordStatus(const std::string& path) {
    const std::string text = readFile(path);
    const std::string key = "\"status\": \"";
    const std::size_t at = text.find(key);
    if (at == std::string::npos) return "<no record>";
    return text.substr(at + key.size(), text.find('"', at + key.size()) - at - key.size());
}

void addParameter(const TempDir& work, const std::string& line) {
    writeFile(work.file("ParameterSetting.txt"), readFile(work.file("ParameterSetting.txt")) + line + "\n");
}

// A planted dataset with its parameter file; the results go to out/.
class Reliability : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(generateDataset(work.path(), PlantedDataset{})); }

    // Every file of the folder with its contents.
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(work.path())) {
            const std::string name = fs::relative(entry.path(), work.path()).string();
            if (entry.is_regular_file() && name[0] != '.') files[name] = readFile(entry.path());  // not the console
        }
        return files;
    }

    TempDir work;
};

// ---- Paths and collisions ---------------------------------------------------

TEST_F(Reliability, AResultOnAnInputStopsBeforeAnyWorkAndLeavesTheInput) {
    fs::create_symlink("human_expression.txt", work.path() / "linked_input.txt");
    fs::create_hard_link(work.path() / "orthologs.txt", work.path() / "same_orthologs.txt");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"outputFile_hm = human_expression.txt",
         "The keys outputFile_hm and dataFile_hm both name human_expression.txt in parameter file "
         "ParameterSetting.txt: a result must not replace an input"},
        {"outputFile_ms = out/../mouse_annotation.txt",
         "The keys outputFile_ms (out/../mouse_annotation.txt) and annotFile_ms (mouse_annotation.txt) name the same "
         "file in parameter file ParameterSetting.txt: a result must not replace an input"},
        {"k_by_k_output_clusters = linked_input.txt",
         "The keys k_by_k_output_clusters (linked_input.txt) and dataFile_hm (human_expression.txt) name the same file "
         "in parameter file ParameterSetting.txt: a result must not replace an input"},
        {"gene_pair_result = same_orthologs.txt",
         "The keys gene_pair_result (same_orthologs.txt) and orthologFile (orthologs.txt) name the same file in "
         "parameter file ParameterSetting.txt: a result must not replace an input"},
        {"outputFile_hm = ./ParameterSetting.txt",
         "The key outputFile_hm (./ParameterSetting.txt) names the parameter file ParameterSetting.txt itself: a "
         "result must not replace an input"},
        {"assignmentFile_ms = out/nothing/../../mouse_expression.txt",
         "The keys assignmentFile_ms (out/nothing/../../mouse_expression.txt) and dataFile_ms (mouse_expression.txt) "
         "name the same file in parameter file ParameterSetting.txt: a result must not replace an input"},
    };
    const std::string parameters = readFile(work.file("ParameterSetting.txt"));
    for (const auto& [line, message] : cases) {
        writeFile(work.file("ParameterSetting.txt"), parameters + line + "\n");
        const std::map<std::string, std::string> before = snapshot();
        const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
        EXPECT_EQ(run.exitStatus, 1) << line;
        EXPECT_EQ(run.err, message + "\n") << line;
        EXPECT_EQ(run.out, "") << line << ": stopped before the parameter file's progress line";
        EXPECT_TRUE(snapshot() == before) << line << ": a file was changed or added";
    }
}

TEST_F(Reliability, AFailedRunsRecordNeverReplacesAnInput) {
    const std::string parameters = readFile(work.file("ParameterSetting.txt"));
    for (const std::string& target : {std::string("ParameterSetting.txt"), std::string("human_expression.txt")}) {
        // k = 0 fails the run: before, its record replaced the parameter file.
        writeFile(work.file("ParameterSetting.txt"), parameters + "k = 0\nrunRecordFile = " + target + "\n");
        const std::map<std::string, std::string> before = snapshot();
        const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_NE(run.err.find("a result must not replace an input"), std::string::npos) << run.err;
        EXPECT_TRUE(snapshot() == before) << target << " was replaced by the failed run's record";
    }

    // A record on a path of its own is still written when the run fails.
    writeFile(work.file("ParameterSetting.txt"), parameters + "k = 0\nrunRecordFile = records/failed.json\n");
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(recordStatus(work.file("records/failed.json")), "failed") << "its folder is created for it";
}

TEST_F(Reliability, TwoResultsOnOneFileStopBeforeAnyWork) {
    const std::string parameters = readFile(work.file("ParameterSetting.txt"));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"outputFile_ms = out/human_clusters.txt",
         "The keys outputFile_hm and outputFile_ms both name out/human_clusters.txt in parameter file "
         "ParameterSetting.txt: every result needs a file of its own"},
        {"runRecordFile = out/./gene_pairs.txt",
         "The keys gene_pair_result (out/gene_pairs.txt) and runRecordFile (out/./gene_pairs.txt) name the same file "
         "in parameter file ParameterSetting.txt: every result needs a file of its own"},
        {"assignmentFile_hm = new/../out/pair_clusters.txt",
         "The keys k_by_k_output_clusters (out/pair_clusters.txt) and assignmentFile_hm (new/../out/pair_clusters.txt) "
         "name the same file in parameter file ParameterSetting.txt: every result needs a file of its own"},
    };
    for (const auto& [line, message] : cases) {
        writeFile(work.file("ParameterSetting.txt"), parameters + line + "\n");
        const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
        EXPECT_EQ(run.exitStatus, 1) << line;
        EXPECT_EQ(run.err, message + "\n") << line;
        EXPECT_FALSE(fs::exists(work.path() / "out" / "human_clusters.txt")) << line;
        EXPECT_FALSE(fs::exists(work.path() / "new")) << line << ": no folder is made for a run that cannot start";
    }
}

TEST_F(Reliability, MissingOutputFoldersAreCreatedAndBlockedOnesStopTheRunAtOnce) {
    setParameter(work.file("ParameterSetting.txt"), "outputFile_hm", "results/2024/human_clusters.txt");
    addParameter(work, "runRecordFile = records/run.json");
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_GT(fs::file_size(work.path() / "results" / "2024" / "human_clusters.txt"), 0u);
    EXPECT_EQ(recordStatus(work.file("records/run.json")), "completed");

    writeFile(work.file("results/2024/taken"), "a file where a folder should be\n");
    setParameter(work.file("ParameterSetting.txt"), "outputFile_hm", "results/2024/taken/human_clusters.txt");
    const CommandResult blocked = runTool(work.path(), "ParameterSetting.txt");
    EXPECT_EQ(blocked.exitStatus, 1);
    EXPECT_EQ(blocked.err,
              "Cannot open file results/2024/taken/human_clusters.txt: results/2024/taken is a file, not a folder\n");
    EXPECT_EQ(blocked.out.find("finish preprocess"), std::string::npos) << "checked before any clustering";

    setParameter(work.file("ParameterSetting.txt"), "outputFile_hm", "results");
    const CommandResult folder = runTool(work.path(), "ParameterSetting.txt");
    EXPECT_EQ(folder.exitStatus, 1);
    EXPECT_EQ(folder.err, "Cannot open file results: Is a directory\n");
    EXPECT_EQ(folder.out.find("New repetition"), std::string::npos);
}

TEST_F(Reliability, AResultPathThatIsALinkIsWrittenThroughToItsTarget) {
    const CommandResult reference = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(reference.exitStatus, 0) << reference.err;
    const std::string expected = readFile(work.file("out/human_clusters.txt"));
    fs::remove(work.path() / "out" / "human_clusters.txt");
    fs::create_directory(work.path() / "store");
    writeFile(work.file("store/human.txt"), "older results\n");
    fs::create_symlink("../store/human.txt", work.path() / "out" / "human_clusters.txt");

    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(work.path() / "out" / "human_clusters.txt")) << "the link is kept";
    EXPECT_TRUE(readFile(work.file("store/human.txt")) == expected) << "and its target holds the new results";
    EXPECT_EQ(leftoverFiles(work.path()), std::vector<std::string>{});
}

TEST_F(Reliability, AResultFileOrFolderTheUserCannotWriteIsRefusedBeforeAnyWork) {
    // The superuser may write any file, as with any other tool; the case is
    // run as an unprivileged user where that is possible.
    std::string asUser;
    if (::geteuid() == 0) {
        if (runShell(work.path(), "command -v setpriv").exitStatus != 0) {
            GTEST_SKIP() << "running as the superuser without setpriv: write protection cannot be observed";
        }
        asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        fs::permissions(work.path(), fs::perms::all);
    }
    fs::create_directories(work.path() / "out");
    fs::permissions(work.path() / "out", fs::perms::all);
    writeFile(work.file("out/human_clusters.txt"), "protected results\n");
    fs::permissions(work.file("out/human_clusters.txt"),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const CommandResult run = runShell(work.path(), asUser + "\"$ORTHOMIX\" ParameterSetting.txt");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "Cannot open file out/human_clusters.txt: Permission denied\n");
    EXPECT_EQ(run.out.find("New repetition"), std::string::npos) << "refused before any clustering";
    EXPECT_EQ(readFile(work.file("out/human_clusters.txt")), "protected results\n");

    fs::remove(work.path() / "out" / "human_clusters.txt");
    fs::permissions(work.path() / "out", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                             fs::perms::others_read | fs::perms::others_exec);
    if (::geteuid() != 0) fs::permissions(work.path() / "out", fs::perms::owner_read | fs::perms::owner_exec);
    const CommandResult folder = runShell(work.path(), asUser + "\"$ORTHOMIX\" ParameterSetting.txt");
    fs::permissions(work.path() / "out", fs::perms::owner_all);
    EXPECT_EQ(folder.exitStatus, 1);
    EXPECT_EQ(folder.err, "Cannot open file out/human_clusters.txt: Permission denied\n");
}

// ---- Interruption -----------------------------------------------------------

const std::pair<std::string, std::string> kPauseBeforeCommit = {"ORTHOMIX_TEST_PAUSE_BEFORE_COMMIT_MS", "60000"};
const std::string kPauseNote = "test pause: the result files are written";

TEST_F(Reliability, AnInterruptionBeforeTheCommitLeavesTheEarlierResultsAndNoTemporaryFile) {
    addParameter(work, "runRecordFile = out/record.json");
    const CommandResult earlier = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(earlier.exitStatus, 0) << earlier.err;
    const std::map<std::string, std::string> before = snapshot();
    setParameter(work.file("ParameterSetting.txt"), "seed", "4711");  // a run whose results would differ

    for (const int signal : {SIGINT, SIGTERM}) {
        BackgroundRun run(work.path(), {"ParameterSetting.txt"}, {kPauseBeforeCommit});
        ASSERT_TRUE(run.started());
        ASSERT_TRUE(run.waitFor(kPauseNote)) << run.err();
        EXPECT_FALSE(leftoverFiles(work.path()).empty()) << "the set is written under temporary names by now";
        run.signal(signal);
        EXPECT_EQ(run.wait(), 128 + signal);
        const std::string name = signal == SIGINT ? "SIGINT" : "SIGTERM";
        EXPECT_NE(run.err().find("Interrupted by " + name + "; the result files were left as they were\n"),
                  std::string::npos)
            << run.err();
        EXPECT_EQ(leftoverFiles(work.path()), std::vector<std::string>{});
        std::map<std::string, std::string> after = snapshot();
        EXPECT_EQ(recordStatus(work.file("out/record.json")), "interrupted");
        after.erase("out/record.json");
        std::map<std::string, std::string> expected = before;
        expected.erase("out/record.json");
        expected["ParameterSetting.txt"] = after["ParameterSetting.txt"];
        EXPECT_TRUE(after == expected) << "every earlier result file is as it was";
    }

    // Not interrupted, the paused run puts the whole set in place.
    BackgroundRun run(work.path(), {"ParameterSetting.txt"}, {{kPauseBeforeCommit.first, "1"}});
    EXPECT_EQ(run.wait(), 0) << run.err();
    EXPECT_EQ(recordStatus(work.file("out/record.json")), "completed");
    for (const std::string& name : kResultNames) {
        EXPECT_NE(readFile(work.file("out/" + name)), before.at("out/" + name)) << name << " is the new result";
    }
    EXPECT_EQ(leftoverFiles(work.path()), std::vector<std::string>{});
}

TEST_F(Reliability, AnInterruptionDuringTheRepetitionsStopsAtOnceWithItsRecord) {
    setParameter(work.file("ParameterSetting.txt"), "nMaxAlgRun", "1000000");
    addParameter(work, "runRecordFile = out/record.json");
    BackgroundRun run(work.path(), {"ParameterSetting.txt"});
    ASSERT_TRUE(run.waitFor("Repetitive times:1\n")) << run.err();
    run.signal(SIGTERM);
    EXPECT_EQ(run.wait(), 143);
    EXPECT_EQ(withoutOrthologReport(run.err()), "Interrupted by SIGTERM; the result files were left as they were\n");
    for (const std::string& name : kResultNames) EXPECT_FALSE(fs::exists(work.path() / "out" / name)) << name;
    const std::string record = readFile(work.file("out/record.json"));
    EXPECT_EQ(recordStatus(work.file("out/record.json")), "interrupted");
    EXPECT_NE(record.find("\"accepted\": true"), std::string::npos) << "the attempts made so far are recorded";
    EXPECT_NE(record.find("\"resultFiles\": []"), std::string::npos) << record;
    EXPECT_EQ(leftoverFiles(work.path()), std::vector<std::string>{});
}

TEST_F(Reliability, ASecondSignalEndsTheRunAtOnceStillWithoutTemporaryFiles) {
    BackgroundRun run(work.path(), {"ParameterSetting.txt"}, {kPauseBeforeCommit});
    ASSERT_TRUE(run.waitFor(kPauseNote)) << run.err();
    run.signal(SIGINT);
    run.signal(SIGINT);
    EXPECT_EQ(run.wait(), 130);
    EXPECT_EQ(leftoverFiles(work.path()), std::vector<std::string>{});
    for (const std::string& name : kResultNames) EXPECT_FALSE(fs::exists(work.path() / "out" / name)) << name;
}

TEST_F(Reliability, ARenameThatFailsDuringTheCommitTakesTheWholeSetBack) {
    const CommandResult earlier = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(earlier.exitStatus, 0) << earlier.err;
    const std::map<std::string, std::string> before = snapshot();
    setParameter(work.file("ParameterSetting.txt"), "seed", "4711");
    fs::remove(work.path() / "out" / "gene_pairs.txt");

    BackgroundRun run(work.path(), {"ParameterSetting.txt"}, {{kPauseBeforeCommit.first, "3000"}});
    ASSERT_TRUE(run.waitFor(kPauseNote)) << run.err();
    // The third file's name is taken by a folder after the checks, during the pause.
    fs::create_directory(work.path() / "out" / "gene_pairs.txt");
    writeFile(work.file("out/gene_pairs.txt/inside.txt"), "");
    EXPECT_EQ(run.wait(), 1);
    EXPECT_NE(run.err().find("Cannot open file out/gene_pairs.txt: Is a directory\n"), std::string::npos) << run.err();
    for (const char* name : {"human_clusters.txt", "mouse_clusters.txt", "pair_clusters.txt"}) {
        EXPECT_TRUE(readFile(work.file(std::string("out/") + name)) == before.at(std::string("out/") + name))
            << name << " must be the earlier result: the set is in place whole or not at all";
    }
    EXPECT_EQ(leftoverFiles(work.path()), std::vector<std::string>{});
}

// ---- Resource limits --------------------------------------------------------

// The last line of a stream, without its line feed.
std::string lastLine(const std::string& text) {
    const std::string trimmed = text.substr(0, text.empty() || text.back() != '\n' ? text.size() : text.size() - 1);
    const std::size_t start = trimmed.rfind('\n');
    return start == std::string::npos ? trimmed : trimmed.substr(start + 1);
}

// With several threads the allocation that fails may be made on a worker, in
// an attempt or in a split iteration; it must end the run as it does on one.
class OutOfMemory : public Reliability {
protected:
    void expectEveryLimitEndsCleanly(int threads) {
#if defined(__SANITIZE_ADDRESS__)
        GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit that would be tested";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
        GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit that would be tested";
#endif
#endif
        // k = 12: an attempt's weights and densities grow with k, and must
        // outgrow what reading and preprocessing hold, or memory would never
        // run out while the attempts run.
        ASSERT_NO_FATAL_FAILURE(generateDataset(work.path(), PlantedDataset{5, 8000, 6000, 30, 20, 12, 1}));
        addParameter(work, "runRecordFile = out/record.json");
        addParameter(work, "threads = " + std::to_string(threads));
        const std::vector<std::string> phases = {
            "reading the expression data", "reading the annotation and ortholog files", "preprocessing",
            "running the repetitions", "writing the result files"};
        int outOfMemory = 0, completed = 0;
        std::vector<std::string> phasesSeen;
        // From below what the tool needs to start up to a limit at which every
        // thread starts (each reserves its stack) and the run completes: on
        // the way, memory runs out on the workers too. Below 16 MB no second
        // thread starts, and with many threads the limits where memory runs
        // out on them recur every few MB, so coarser steps find them as well.
        const int lowest = threads == 1 ? 6000 : 16000;
        const int step = threads > 2 ? 2000 : 1000;
        for (int kilobytes = lowest; kilobytes <= 200000 && completed == 0; kilobytes += step) {
            fs::remove_all(work.path() / "out");
            const CommandResult run = runShell(
                work.path(), "ulimit -v " + std::to_string(kilobytes) + "; exec \"$ORTHOMIX\" ParameterSetting.txt");
            const std::string limit = std::to_string(threads) + " threads at " + std::to_string(kilobytes) + " kB: ";
            if (run.exitStatus == 127 ||
                (run.exitStatus != 0 && run.err.find("error while loading") != std::string::npos)) {
                continue;  // too little to start the program at all
            }
            if (run.out.empty() && run.err.rfind("terminate called without an active exception\n", 0) == 0) {
                // Too little for the C++ runtime to set aside the memory it
                // throws exceptions from, before the tool's first line.
                continue;
            }
            const bool everyThreadStarted = run.err.find("threads asked for could be started") == std::string::npos;
            if (run.exitStatus == 0) {
                completed += everyThreadStarted;
                for (const std::string& name : kResultNames) {
                    EXPECT_TRUE(fs::exists(work.path() / "out" / name)) << limit;
                }
                continue;
            }
            ++outOfMemory;
            ASSERT_EQ(run.exitStatus, 1) << limit << run.err;
            const std::string prefix = "Out of memory while ";
            const std::string message = lastLine(run.err);
            ASSERT_EQ(message.rfind(prefix, 0), 0u) << limit << run.err;
            const std::string phase = message.substr(prefix.size());
            EXPECT_NE(std::find(phases.begin(), phases.end(), phase), phases.end()) << limit << run.err;
            phasesSeen.push_back(phase);
            EXPECT_EQ(recordStatus(work.file("out/record.json")), "failed") << limit;
            EXPECT_NE(readFile(work.file("out/record.json")).find(message), std::string::npos)
                << limit << "the record holds the message";
            for (const std::string& name : kResultNames) EXPECT_FALSE(fs::exists(work.path() / "out" / name)) << limit;
            EXPECT_EQ(leftoverFiles(work.path()), std::vector<std::string>{}) << limit;
        }
        EXPECT_GT(outOfMemory, 0) << threads << " threads: no limit was low enough to run out of memory";
        EXPECT_EQ(completed, 1) << threads << " threads: no limit was high enough for the run";
        if (threads > 1) {
            EXPECT_NE(std::find(phasesSeen.begin(), phasesSeen.end(), "running the repetitions"), phasesSeen.end())
                << threads << " threads: memory never ran out while the workers ran";
        }
    }
};

TEST_F(OutOfMemory, OnOneThreadEveryLimitEndsWithAMessageARecordAndNoPartialResults) {
    expectEveryLimitEndsCleanly(1);
}

TEST_F(OutOfMemory, OnTwoThreadsEveryLimitEndsWithAMessageARecordAndNoPartialResults) {
    expectEveryLimitEndsCleanly(2);
}

TEST_F(OutOfMemory, OnSevenThreadsEveryLimitEndsWithAMessageARecordAndNoPartialResults) {
    expectEveryLimitEndsCleanly(7);
}

TEST_F(Reliability, AFullDiskNamesTheFileAndTheSystemsReason) {
    fs::create_directories(work.path() / "out");
    addParameter(work, "runRecordFile = record.json");
    // A file system of 16 kB in a mount namespace of the run's own: possible for the superuser only.
    const std::string mount = "unshare -m bash -c \"mount -t tmpfs -o size=16k tmpfs out && ";
    if (runShell(work.path(), mount + "true\"").exitStatus != 0) {
        GTEST_SKIP() << "no private mount of a small file system is allowed here";
    }
    const CommandResult run = runShell(
        work.path(),
        mount +
            "{ \\\"\\$ORTHOMIX\\\" ParameterSetting.txt; status=\\$?; ls -A out > listing.txt; exit \\$status; }\"");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(withoutOrthologReport(run.err).rfind("Cannot open file out/", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(": No space left on device\n"), std::string::npos) << run.err;
    EXPECT_EQ(readFile(work.file("listing.txt")), "") << "neither a partial result nor a temporary file was left";
    EXPECT_EQ(recordStatus(work.file("record.json")), "failed");
}

TEST_F(Reliability, AFileSizeLimitIsReportedLikeAFullDisk) {
    addParameter(work, "runRecordFile = record.json");
    const CommandResult run = runShell(work.path(), "ulimit -f 8; exec \"$ORTHOMIX\" ParameterSetting.txt");
    EXPECT_EQ(run.exitStatus, 1) << "not ended by SIGXFSZ";
    EXPECT_EQ(withoutOrthologReport(run.err).rfind("Cannot open file out/", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(": File too large\n"), std::string::npos) << run.err;
    for (const std::string& name : kResultNames) EXPECT_FALSE(fs::exists(work.path() / "out" / name)) << name;
    EXPECT_EQ(leftoverFiles(work.path()), std::vector<std::string>{});
    EXPECT_EQ(recordStatus(work.file("record.json")), "failed");
}

}  // namespace
}  // namespace orthomix::testing
