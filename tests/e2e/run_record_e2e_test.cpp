// The run record, the assignment tables and the progress lines, on a worked
// example run as a user would; the record is read with Python's json module.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "e2e/planted_dataset.h"
#include "io/file_checksum.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

namespace fs = std::filesystem;

// Flattens the record into "path<TAB>value" lines in document order: strings
// as their bytes (lone surrogates turned back into the bytes they stand for),
// numbers as Python's shortest round-trip form, lists also as "path.size".
// Fails on invalid UTF-8 and on NaN or Infinity.
constexpr const char* kFlattenScript = R"(import json, sys

def walk(path, value, out):
    if isinstance(value, dict):
        for key, item in value.items():
            walk(path + [key], item, out)
    elif isinstance(value, list):
        out.append((".".join(path + ["size"]), str(len(value)).encode()))
        for index, item in enumerate(value):
            walk(path + [str(index)], item, out)
    elif value is None:
        out.append((".".join(path), b"null"))
    elif isinstance(value, bool):
        out.append((".".join(path), b"true" if value else b"false"))
    elif isinstance(value, str):
        out.append((".".join(path), value.encode("utf-8", "surrogateescape")))
    else:
        out.append((".".join(path), repr(value).encode()))

with open(sys.argv[1], "rb") as f:
    record = json.loads(f.read().decode("utf-8"), parse_constant=lambda name: sys.exit("not JSON: " + name))
lines = []
walk([], record, lines)
for path, text in lines:
    sys.stdout.buffer.write(path.encode() + b"\t" + text + b"\n")
)";

struct Record {
    std::vector<std::pair<std::string, std::string>> entries;  // in document order
    std::map<std::string, std::string> values;

    bool has(const std::string& path) const { return values.count(path) != 0; }
    std::string operator[](const std::string& path) const {
        const auto found = values.find(path);
        return found == values.end() ? "<missing " + path + ">" : found->second;
    }
    double number(const std::string& path) const { return std::strtod((*this)[path].c_str(), nullptr); }
    std::vector<std::string> topLevelKeys() const {
        std::vector<std::string> keys;
        for (const auto& [path, value] : entries) {
            const std::string key = path.substr(0, path.find('.'));
            if (keys.empty() || keys.back() != key) keys.push_back(key);
        }
        return keys;
    }
};

Record readRecord(const TempDir& work, const std::string& recordPath) {
    writeFile(work.file("flatten.py"), kFlattenScript);
    const std::string command = "python3 '" + work.file("flatten.py") + "' '" + recordPath + "' > '" +
                                work.file("flat.txt") + "' 2> '" + work.file("flat.err") + "'";
    Record record;
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << "the record is not JSON as Python reads it: " << readFile(work.file("flat.err"));
    for (const std::string& line : readLines(work.file("flat.txt"))) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        record.entries.emplace_back(line.substr(0, tab), line.substr(tab + 1));
        record.values[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return record;
}

std::string general6(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// Copies the first worked example and adds the given lines to its parameter file.
void prepareExample(const TempDir& work, const std::string& extraParameters) {
    const fs::path source = fs::path(ORTHOMIX_TEST_DATA) / "golden" / "public1";
    for (const auto& entry : fs::directory_iterator(source)) {
        if (entry.is_regular_file()) fs::copy_file(entry.path(), work.path() / entry.path().filename());
    }
    fs::create_directories(work.path() / "out");
    writeFile(work.file("ParameterSetting.txt"), readFile(work.file("ParameterSetting.txt")) + extraParameters);
}

const std::string kAllNewKeys =
    "runRecordFile = out/record.json\nassignmentFile_hm = out/human_assignments.tsv\n"
    "assignmentFile_ms = out/mouse_assignments.tsv\nverbose = yes\n";

// 2024-03-05T14:07:09Z
bool isIsoUtcSecond(const std::string& text) {
    const std::string shape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != shape[i]) return false;
    }
    return true;
}

struct ProgressLine {
    int repetition = -1, attempt = 0, iteration = 0;
    std::string logLikelihood;
    unsigned long scatterPairs = 0;
};

// "repetition R attempt A iteration I: log-likelihood L, spreads H (human) M (mouse), N scatter pairs, S.SSS s"
bool parseProgressLine(const std::string& line, ProgressLine& progress) {
    char likelihood[64], humanSpread[64], mouseSpread[64];
    double seconds = 0.0;
    int consumed = 0;
    const int fields = std::sscanf(line.c_str(),
                                   "repetition %d attempt %d iteration %d: log-likelihood %63[^,], spreads %63s "
                                   "(human) %63s (mouse), %lu scatter pairs, %lf s%n",
                                   &progress.repetition, &progress.attempt, &progress.iteration, likelihood,
                                   humanSpread, mouseSpread, &progress.scatterPairs, &seconds, &consumed);
    progress.logLikelihood = likelihood;
    return fields == 8 && static_cast<std::size_t>(consumed) == line.size();
}

// The first field of every line of a tab-separated file.
std::set<std::string> firstFields(const std::string& path) {
    std::set<std::string> fields;
    for (const std::string& line : readLines(path)) fields.insert(line.substr(0, line.find('\t')));
    return fields;
}

// The lines of the console that follow the given prefix, prefix removed.
std::vector<std::string> consoleValuesAfter(const std::string& console, const std::string& prefix) {
    std::vector<std::string> values;
    const std::vector<std::string> lines = splitText(console, '\n');
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(prefix, 0) != 0) continue;
        if (lines[i].size() > prefix.size()) {
            values.push_back(lines[i].substr(prefix.size()));
        } else if (i + 1 < lines.size()) {
            values.push_back(lines[i + 1]);  // the value stands on the next line
        }
    }
    return values;
}

TEST(RunRecord, AgreesWithTheConsoleAndChangesNeitherConsoleNorResultFiles) {
    TempDir work;
    // k and nMaxAlgRun written in forms that convert to the worked example's 5 and 3.
    prepareExample(work, kAllNewKeys + "k = 5.9\nnMaxAlgRun = 3 runs\n");
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const fs::path expected = fs::path(ORTHOMIX_TEST_DATA) / "golden" / "public1" / "expected";
    EXPECT_EQ(run.out, readFile((expected / "console.txt").string())) << "standard output stays as before";
    for (const char* name : {"human_clusters.txt", "mouse_clusters.txt", "pair_clusters.txt", "gene_pairs.txt"}) {
        EXPECT_TRUE(readFile(work.file(std::string("out/") + name)) == readFile((expected / name).string())) << name;
    }

    const Record record = readRecord(work, work.file("out/record.json"));
    EXPECT_EQ(record.topLevelKeys(),
              (std::vector<std::string>{"tool", "version", "status", "error", "startTime", "endTime", "wallSeconds",
                                        "phaseSeconds", "parameterFile", "parameters", "seed", "genes", "orthologs",
                                          "inputChecksums", "attempts", "best", "correspondence", "resultFiles"}));
    EXPECT_EQ(record["tool"], "orthomix");
    EXPECT_EQ("orthomix " + record["version"] + "\n", runTool(work.path(), "--version").out);
    EXPECT_EQ(record["status"], "completed");
    EXPECT_EQ(record["error"], "null");
    EXPECT_TRUE(isIsoUtcSecond(record["startTime"])) << record["startTime"];
    EXPECT_TRUE(isIsoUtcSecond(record["endTime"])) << record["endTime"];
    EXPECT_LE(record["startTime"], record["endTime"]);
    for (const char* phase : {"reading", "annotation", "preprocessing", "repetitions", "writing"}) {
        const std::string path = std::string("phaseSeconds.") + phase;
        EXPECT_GE(record.number(path), 0.0) << path << " is " << record[path];
    }

    EXPECT_EQ(record["parameterFile"], "ParameterSetting.txt");
    EXPECT_EQ(record["parameters.k"], "5") << "numbers as converted";
    EXPECT_EQ(record["parameters.nMaxAlgRun"], "3");
    EXPECT_EQ(record["parameters.stoppingThr"], "0.0001");
    EXPECT_EQ(record["parameters.orthologFile"], "orthologs.txt");
    EXPECT_EQ(record["seed.value"], "99");
    EXPECT_EQ(record["seed.source"], "seed key");
    // The bytes of each input file, so that a merge can tell that runs read the same data.
    for (const char* key : {"dataFile_hm", "dataFile_ms", "annotFile_hm", "annotFile_ms", "orthologFile"}) {
        char checksum[32];
        std::snprintf(checksum, sizeof checksum, "fnv1a64:%016llx",
                      static_cast<unsigned long long>(fnv1a64(readFile(work.file(record[std::string("parameters.") + key])))));
        EXPECT_EQ(record[std::string("inputChecksums.") + key], checksum) << key;
    }

    EXPECT_EQ(consoleValuesAfter(run.out, "Num of human genes before preprocessing = "),
              std::vector<std::string>{record["genes.human.read"]});
    EXPECT_EQ(consoleValuesAfter(run.out, "Num of human genes after preprocessing = "),
              std::vector<std::string>{record["genes.human.kept"]});
    EXPECT_EQ(consoleValuesAfter(run.out, "Num of mouse genes before preprocessing = "),
              std::vector<std::string>{record["genes.mouse.read"]});
    EXPECT_EQ(consoleValuesAfter(run.out, "Num of mouse genes after preprocessing = "),
              std::vector<std::string>{record["genes.mouse.kept"]});

    // Every attempt of this example is accepted, so each has its console lines.
    const std::vector<std::string> likelihoods = consoleValuesAfter(run.out, "......likelihood=\t");
    const std::vector<std::string> scatterSizes = consoleValuesAfter(run.out, "scatter_gene_pair_cluster's size:\t");
    ASSERT_EQ(record["attempts.size"], std::to_string(likelihoods.size()));
    ASSERT_EQ(scatterSizes.size(), likelihoods.size());
    for (std::size_t i = 0; i < likelihoods.size(); ++i) {
        const std::string attempt = "attempts." + std::to_string(i) + ".";
        EXPECT_EQ(record[attempt + "repetition"], std::to_string(i));
        EXPECT_EQ(record[attempt + "attempt"], "1");
        EXPECT_EQ(record[attempt + "accepted"], "true");
        EXPECT_EQ(record[attempt + "rejectionReason"], "null");
        EXPECT_EQ(general6(record.number(attempt + "logLikelihood")), likelihoods[i]) << attempt;
        EXPECT_EQ(record[attempt + "scatterPairs"], scatterSizes[i]) << attempt;
        EXPECT_GE(record.number(attempt + "iterations"), 1.0);
    }
    EXPECT_EQ(consoleValuesAfter(run.out, "The maximum likelihood:"),
              std::vector<std::string>{general6(record.number("best.maximumLikelihood"))});
    EXPECT_EQ(consoleValuesAfter(run.out, "Final BIC:"), std::vector<std::string>{general6(record.number("best.bic"))});
    EXPECT_EQ(record["best.bicDirection"], "lower is better");
    EXPECT_EQ(record["attempts." + record["best.repetition"] + ".logLikelihood"], record["best.maximumLikelihood"])
        << "the best repetition is the one with the maximum likelihood";

    EXPECT_EQ(record["resultFiles.size"], "6");
    const std::vector<std::string> files = {"out/human_clusters.txt", "out/mouse_clusters.txt", "out/gene_pairs.txt",
                                            "out/pair_clusters.txt",  "out/human_assignments.tsv",
                                            "out/mouse_assignments.tsv"};
    for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(record["resultFiles." + std::to_string(i)], files[i]);

    // Ortholog counts against the file and the kept genes listed by the assignment tables.
    std::set<std::pair<std::string, std::string>> entries;
    for (const std::string& line : readLines(work.file("orthologs.txt"))) {
        const std::vector<std::string> fields = splitText(line, '\t');
        if (fields.size() >= 2) entries.insert({fields[0], fields[1]});
    }
    const std::set<std::string> keptHuman = firstFields(work.file("out/human_assignments.tsv"));
    const std::set<std::string> keptMouse = firstFields(work.file("out/mouse_assignments.tsv"));
    std::size_t present = 0;
    for (const auto& [human, mouse] : entries) present += keptHuman.count(human) != 0 && keptMouse.count(mouse) != 0;
    EXPECT_EQ(record["orthologs.entries"], std::to_string(entries.size()));
    EXPECT_EQ(record["orthologs.pairsWithBothGenesPresent"], std::to_string(present));

    // One progress line per iteration, the last of each attempt with its final log-likelihood.
    // Besides them, the warnings about the leniently read k and nMaxAlgRun.
    std::map<int, ProgressLine> lastLineOfRepetition;
    std::size_t warnings = 0;
    long capped = 0;
    for (const std::string& line : splitText(withoutOrthologReport(run.err), '\n')) {
        if (line.rfind("warning: the value ", 0) == 0) {
            ++warnings;
            continue;
        }
        // A repetition of the example stops at the iteration cap; the record marks as many attempts.
        if (line.rfind("warning: ", 0) == 0 && line.find(" stopped at the cap of 100 EM iterations") != std::string::npos) {
            capped = std::strtol(line.c_str() + 9, nullptr, 10);
            continue;
        }
        ProgressLine progress;
        ASSERT_TRUE(parseProgressLine(line, progress)) << "\"" << line << "\"";
        ProgressLine& last = lastLineOfRepetition[progress.repetition];
        EXPECT_EQ(progress.iteration, last.iteration + 1) << line;
        EXPECT_EQ(progress.attempt, 1) << line;
        last = progress;
    }
    ASSERT_EQ(lastLineOfRepetition.size(), likelihoods.size());
    EXPECT_EQ(warnings, 2u) << run.err;
    const std::string recordText = readFile(work.file("out/record.json"));
    long marked = 0;
    for (std::size_t at = recordText.find("\"reachedIterationCap\": true"); at != std::string::npos;
         at = recordText.find("\"reachedIterationCap\": true", at + 1)) {
        ++marked;
    }
    EXPECT_EQ(marked, capped) << "the attempts the warning counts are marked in the record";
    for (std::size_t i = 0; i < likelihoods.size(); ++i) {
        const ProgressLine& last = lastLineOfRepetition[static_cast<int>(i)];
        const std::string attempt = "attempts." + std::to_string(i) + ".";
        EXPECT_EQ(std::to_string(last.iteration), record[attempt + "iterations"]);
        EXPECT_EQ(last.logLikelihood, likelihoods[i]);
        EXPECT_EQ(std::to_string(last.scatterPairs), record[attempt + "scatterPairs"]);
    }
}

struct AssignmentRow {
    std::string name, annotation, cluster, nearest, distance;
};

std::vector<AssignmentRow> readAssignmentTable(const std::string& path) {
    const std::vector<std::string> lines = readLines(path);
    EXPECT_FALSE(lines.empty()) << path;
    if (lines.empty()) return {};
    EXPECT_EQ(lines[0], "identifier\tannotation\tcluster\tnearest_cluster\tdistance_to_nearest") << path;
    std::vector<AssignmentRow> rows;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> fields = splitText(lines[i], '\t');
        EXPECT_EQ(fields.size(), 5u) << path << " line " << i + 1;
        if (fields.size() == 5) rows.push_back({fields[0], fields[1], fields[2], fields[3], fields[4]});
    }
    return rows;
}

TEST(AssignmentTables, AgreeWithTheMembershipFilesAndListEveryKeptGeneOnce) {
    TempDir work;
    prepareExample(work, kAllNewKeys);
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(run.exitStatus, 0) << run.err;

    struct Organism {
        const char* expression;
        const char* annotation;
        const char* membership;
        const char* table;
    };
    for (const Organism& organism :
         {Organism{"human_expression.txt", "human_annotation.txt", "out/human_clusters.txt",
                   "out/human_assignments.tsv"},
          Organism{"mouse_expression.txt", "mouse_annotation.txt", "out/mouse_clusters.txt",
                   "out/mouse_assignments.tsv"}}) {
        SCOPED_TRACE(organism.table);
        std::map<std::string, std::size_t> clusterOf;
        const MembershipFile membership = readMembershipFile(work.file(organism.membership));
        for (std::size_t c = 0; c < membership.clusters.size(); ++c) {
            for (const MembershipRow& row : membership.clusters[c]) clusterOf[row.name] = c;
        }
        std::map<std::string, std::string> annotationOf;
        for (const std::string& line : readLines(work.file(organism.annotation))) {
            const std::vector<std::string> fields = splitText(line, '\t');
            if (fields.size() >= 2) annotationOf[fields[0]] = fields[1];
        }
        std::map<std::string, std::size_t> filePosition;
        for (const std::string& line : readLines(work.file(organism.expression))) {
            filePosition.emplace(line.substr(0, line.find('\t')), filePosition.size());
        }
        const std::set<std::string> kept =
            genesPassingFilter(readExpression(work.file(organism.expression)), 0.02, 6.0);

        const std::vector<AssignmentRow> rows = readAssignmentTable(work.file(organism.table));
        std::set<std::string> listed;
        std::size_t previousPosition = 0;
        std::size_t clustered = 0;
        for (const AssignmentRow& row : rows) {
            EXPECT_TRUE(listed.insert(row.name).second) << row.name << " is listed twice";
            ASSERT_EQ(filePosition.count(row.name), 1u) << row.name;
            EXPECT_GT(filePosition[row.name], previousPosition) << row.name << ": rows follow the data file";
            previousPosition = filePosition[row.name];
            EXPECT_EQ(row.annotation, annotationOf[row.name]) << row.name;
            const auto found = clusterOf.find(row.name);
            if (found == clusterOf.end()) {
                EXPECT_EQ(row.cluster, "scatter") << row.name << " is in no cluster of the membership file";
            } else {
                EXPECT_EQ(row.cluster, std::to_string(found->second)) << row.name;
                ++clustered;
            }
            const int nearest = std::atoi(row.nearest.c_str());
            EXPECT_TRUE(nearest >= 0 && static_cast<std::size_t>(nearest) < membership.clusters.size()) << row.name;
            EXPECT_GE(std::strtod(row.distance.c_str(), nullptr), 0.0) << row.name;
        }
        EXPECT_EQ(listed, kept) << "exactly the genes kept by preprocessing";
        EXPECT_EQ(clustered, clusterOf.size()) << "every member of the membership file is in the table";
        EXPECT_LT(clustered, rows.size()) << "the example has scatter genes";
    }
}

TEST(RunRecord, AClockSeededRunRepeatsFromItsRecordedSeed) {
    TempDir work;
    prepareExample(work,
                   "runRecordFile = out/record.json\nassignmentFile_hm = out/h.tsv\nassignmentFile_ms = out/m.tsv\n");
    std::string withoutSeed;
    for (const std::string& line : readLines(work.file("ParameterSetting.txt"))) {
        if (line.rfind("seed =", 0) != 0) withoutSeed += line + "\n";
    }
    writeFile(work.file("ParameterSetting.txt"), withoutSeed);
    const std::time_t before = std::time(nullptr);
    const CommandResult first = runTool(work.path(), "ParameterSetting.txt");
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(first.exitStatus, 0) << first.err;
    const Record record = readRecord(work, work.file("out/record.json"));
    ASSERT_EQ(record["seed.source"], "clock");
    EXPECT_EQ(record["parameters.seed"], "null");
    const double seed = record.number("seed.value");
    EXPECT_TRUE(seed >= static_cast<double>(before) && seed <= static_cast<double>(after)) << record["seed.value"];

    const std::vector<std::string> results = {"human_clusters.txt", "mouse_clusters.txt", "gene_pairs.txt",
                                              "pair_clusters.txt", "h.tsv", "m.tsv"};
    fs::rename(work.path() / "out", work.path() / "first");
    fs::create_directories(work.path() / "out");
    writeFile(work.file("ParameterSetting.txt"),
              readFile(work.file("ParameterSetting.txt")) + "seed = " + record["seed.value"] + "\n");
    const CommandResult second = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(second.exitStatus, 0) << second.err;
    EXPECT_EQ(second.out, first.out);
    for (const std::string& name : results) {
        EXPECT_TRUE(readFile(work.file("out/" + name)) == readFile(work.file("first/" + name))) << name << " differs";
    }
    const Record repeated = readRecord(work, work.file("out/record.json"));
    EXPECT_EQ(repeated["seed.source"], "seed key");
    EXPECT_EQ(repeated["seed.value"], record["seed.value"]);
}

TEST(RunRecord, RejectedAttemptsAreRecordedAndReportedWithTheirReason) {
    TempDir work;
    // Too many clusters for the example: attempts fail until one is accepted.
    prepareExample(work, "runRecordFile = out/record.json\nverbose = yes\n");
    setParameter(work.file("ParameterSetting.txt"), "k", "30");
    setParameter(work.file("ParameterSetting.txt"), "nMaxAlgRun", "1");
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const Record record = readRecord(work, work.file("out/record.json"));
    const int attempts = std::atoi(record["attempts.size"].c_str());
    ASSERT_GT(attempts, 1) << "the example needs rejected attempts";

    std::vector<std::string> rejectionLines;
    for (const std::string& line : splitText(run.err, '\n')) {
        ProgressLine progress;
        // Warnings (k x k cells against the pairs, for one) are not attempts.
        if (!parseProgressLine(line, progress) && line.rfind("warning: ", 0) != 0) rejectionLines.push_back(line);
    }
    ASSERT_EQ(rejectionLines.size(), static_cast<std::size_t>(attempts - 1));
    for (int i = 0; i < attempts; ++i) {
        const std::string attempt = "attempts." + std::to_string(i) + ".";
        EXPECT_EQ(record[attempt + "repetition"], "0");
        EXPECT_EQ(record[attempt + "attempt"], std::to_string(i + 1));
        const bool last = i == attempts - 1;
        EXPECT_EQ(record[attempt + "accepted"], last ? "true" : "false") << attempt;
        if (last) break;
        const std::string reason = record[attempt + "rejectionReason"];
        EXPECT_NE(reason, "null") << attempt;
        EXPECT_EQ(rejectionLines[static_cast<std::size_t>(i)],
                  "repetition 0 attempt " + std::to_string(i + 1) + " rejected: " + reason);
    }
    EXPECT_EQ(record["best.repetition"], "0");
}

// Runs the tool, which must stop with exactly this message, and reads the record it leaves.
Record runFailing(const TempDir& work, const std::string& message) {
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(withoutOrthologReport(run.err), message + "\n");
    const Record record = readRecord(work, work.file("out/record.json"));
    EXPECT_EQ(record["status"], "failed");
    EXPECT_EQ(record["error"], message);
    return record;
}

TEST(RunRecord, AFatalErrorLeavesAFailedRecordBehindItsOwnMessage) {
    {
        TempDir work;
        prepareExample(work, "runRecordFile = out/record.json\n");
        setParameter(work.file("ParameterSetting.txt"), "orthologFile", "missing.txt");
        const Record record = runFailing(work, "Cannot open missing.txt");
        EXPECT_EQ(record["genes.human.read"], "600") << "what was done before the error is recorded";
        EXPECT_EQ(record["genes.human.kept"], "null") << "the inputs are read before preprocessing";
        EXPECT_EQ(record["phaseSeconds.repetitions"], "null");
        EXPECT_EQ(record["best"], "null");
        EXPECT_EQ(record["resultFiles.size"], "0");
    }
    {
        TempDir work;
        prepareExample(work, "runRecordFile = out/record.json\nk = 540\n");
        const Record record =
            runFailing(work, "k = 540 is larger than the number of mouse genes that can seed a cluster (519): lower "
                             "k, or keep more genes in preprocessing");
        EXPECT_EQ(record["genes.human.kept"], "562");
        EXPECT_EQ(record["attempts.size"], "0");
        EXPECT_EQ(record["best"], "null");
    }
    {
        TempDir work;
        prepareExample(work, "runRecordFile = out/record.json\nassignmentFile_hm = out/h.tsv\n");
        fs::create_directory(work.path() / "out" / "pair_clusters.txt");  // in the way of the fourth file
        const Record record = runFailing(work, "Cannot open file out/pair_clusters.txt: Is a directory");
        EXPECT_EQ(record["resultFiles.size"], "0") << "no result is written when one cannot be";
        EXPECT_EQ(record["attempts.size"], "0") << "found before any clustering";
        EXPECT_EQ(record["best"], "null");
    }
    {
        TempDir work;
        prepareExample(work, "runRecordFile = records/record.json\n");
        setParameter(work.file("ParameterSetting.txt"), "orthologFile", "missing.txt");
        const CommandResult failing = runTool(work.path(), "ParameterSetting.txt");
        EXPECT_EQ(failing.exitStatus, 1);
        EXPECT_EQ(readRecord(work, work.file("records/record.json"))["error"], "Cannot open missing.txt")
            << "the folder of a failed run's record is made for it";

        writeFile(work.file("blocked"), "a file where the record's folder should be\n");
        setParameter(work.file("ParameterSetting.txt"), "runRecordFile", "blocked/record.json");
        const CommandResult unwritable = runTool(work.path(), "ParameterSetting.txt");
        EXPECT_EQ(unwritable.exitStatus, 1);
        EXPECT_EQ(unwritable.err, "Cannot open missing.txt\n") << "an unwritable record does not hide the error";

        setParameter(work.file("ParameterSetting.txt"), "orthologFile", "orthologs.txt");
        const CommandResult completing = runTool(work.path(), "ParameterSetting.txt");
        EXPECT_EQ(completing.exitStatus, 1);
        EXPECT_EQ(withoutOrthologReport(completing.err),
                  "Cannot open file blocked/record.json: blocked is a file, not a folder\n");
        EXPECT_EQ(completing.out.find("New repetition"), std::string::npos) << "found before any clustering";
    }
}

TEST(RunRecord, PathsThatAreNotUtf8AreRecordedSoThatTheirBytesComeBack) {
    TempDir work;
    const std::string oddName = "out/h\xff\xe9-\xc3\xa9.tsv";  // two stray bytes, then a valid é
    prepareExample(work, "runRecordFile = out/record.json\nassignmentFile_hm = " + oddName + "\n");
    const CommandResult run = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(fs::exists(work.file(oddName)));
    const std::string text = readFile(work.file("out/record.json"));
    EXPECT_NE(text.find("\"out/h\\udcff\\udce9-\xc3\xa9.tsv\""), std::string::npos);
    const Record record = readRecord(work, work.file("out/record.json"));
    EXPECT_EQ(record["resultFiles.4"], oddName);
    EXPECT_EQ(record["parameters.assignmentFile_hm"], oddName);
}

}  // namespace
}  // namespace orthomix::testing
