// Data files as real tools and people write them, run through the built tool:
// each is either read truthfully, with a note, or stopped with a message that
// names the file and says what to do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "e2e/planted_dataset.h"
#include "support/test_support.h"

namespace orthomix::testing {
namespace {

const std::vector<std::string> kResultFiles = {"human_clusters.txt", "mouse_clusters.txt", "gene_pairs.txt",
                                               "pair_clusters.txt"};

class RealWorldFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(generateDataset(work.path(), PlantedDataset{})); }

    CommandResult run() { return runTool(work.path(), "ParameterSetting.txt"); }

    // The result files of the last run, by name.
    std::map<std::string, std::string> results() const {
        std::map<std::string, std::string> files;
        for (const std::string& name : kResultFiles) files[name] = readFile(work.file("out/" + name));
        return files;
    }

    // A run that must succeed, and its result files.
    std::map<std::string, std::string> resultsOfRun() {
        const CommandResult done = run();
        EXPECT_EQ(done.exitStatus, 0) << done.err;
        return results();
    }

    std::string text(const std::string& name) const { return readFile(work.file(name)); }
    void write(const std::string& name, const std::string& contents) const { writeFile(work.file(name), contents); }
    // Sets a key of the parameter file, adding it when absent.
    void set(const std::string& key, const std::string& value) const {
        const std::string path = work.file("ParameterSetting.txt");
        const std::string before = readFile(path);
        setParameter(path, key, value);
        if (readFile(path) == before) writeFile(path, before + key + " = " + value + "\n");
    }

    TempDir work;
};

// The text with its first line replaced.
std::string withHeader(const std::string& text, const std::string& header) {
    return header + text.substr(text.find('\n'));
}

TEST_F(RealWorldFiles, AHeaderWithoutItsCornerCellGivesTheResultsOfTheHeaderWithOne) {
    const std::map<std::string, std::string> withCorner = resultsOfRun();
    const std::string expression = text("human_expression.txt");
    const std::string header = expression.substr(0, expression.find('\n'));
    const std::string samples = header.substr(header.find('\t') + 1);

    for (const std::string& form : {samples, "\t" + samples}) {
        write("human_expression.txt", withHeader(expression, form));
        const CommandResult done = run();
        ASSERT_EQ(done.exitStatus, 0) << done.err;
        EXPECT_EQ(withoutOrthologReport(done.err),
                  "the header of human_expression.txt names 8 samples and every gene line holds an identifier and 8 "
                  "values: the header has no cell over the identifiers, so each of its names is read as a sample\n");
        const std::map<std::string, std::string> withoutCorner = results();
        for (const std::string& name : kResultFiles) {
            EXPECT_TRUE(withoutCorner.at(name) == withCorner.at(name)) << name << " with header \"" << form << "\"";
        }
    }
}

// The assignment table's identifier and cluster ("scatter" or a number) of every row, in file order.
std::vector<std::pair<std::string, std::string>> assignmentRows(const std::string& path) {
    std::vector<std::pair<std::string, std::string>> rows;
    const std::vector<std::string> lines = readLines(path);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> fields = splitText(lines[i], '\t');
        if (fields.size() >= 3) rows.emplace_back(fields[0], fields[2]);
    }
    return rows;
}

TEST_F(RealWorldFiles, RowsSharingAnIdentifierAreGenesOfTheirOwnInEveryFile) {
    std::vector<std::string> lines = readLines(work.file("human_expression.txt"));
    const std::string repeated = splitText(lines[1], '\t')[0];
    for (const std::size_t line : {2u, 9u}) lines[line] = repeated + lines[line].substr(lines[line].find('\t'));
    std::string expression;
    for (const std::string& line : lines) expression += line + "\n";
    write("human_expression.txt", expression);
    set("prep", "no");
    set("assignmentFile_hm", "out/human_assignments.txt");
    const CommandResult done = run();
    ASSERT_EQ(done.exitStatus, 0) << done.err;
    EXPECT_NE(done.err.find("warning: 2 rows of human_expression.txt repeat the identifier of an earlier one (1 on "
                            "several, such as \"" + repeated + "\"): each row is clustered as a gene of its own"),
              std::string::npos)
        << done.err;

    // Each row has its own line in the membership file, in the cluster its assignment row names.
    const auto rows = assignmentRows(work.file("out/human_assignments.txt"));
    ASSERT_EQ(rows.size(), lines.size() - 1);
    std::map<std::string, std::multiset<std::string>> fromAssignments;
    std::map<std::string, std::string> clusterOfFirstRow;
    for (const auto& [identifier, cluster] : rows) {
        if (cluster != "scatter") fromAssignments[identifier].insert(cluster);
        clusterOfFirstRow.emplace(identifier, cluster);
    }
    std::map<std::string, std::multiset<std::string>> fromMembership;
    const MembershipFile membership = readMembershipFile(work.file("out/human_clusters.txt"));
    for (std::size_t c = 0; c < membership.clusters.size(); ++c) {
        for (const MembershipRow& row : membership.clusters[c]) fromMembership[row.name].insert(std::to_string(c));
    }
    EXPECT_EQ(fromMembership, fromAssignments);
    EXPECT_EQ(fromMembership[repeated].size() + (clusterOfFirstRow[repeated] == "scatter" ? 1u : 0u), 3u);

    // A pair names the first row of its identifier.
    const std::string k = std::to_string(membership.clusters.size());
    for (const GenePairLine& pair : readGenePairFile(work.file("out/gene_pairs.txt"))) {
        const std::string& first = clusterOfFirstRow.at(pair.human);
        const std::string expected = first == "scatter" ? k : first;
        EXPECT_EQ(std::to_string(pair.humanIndex), expected) << pair.human;
    }

    set("duplicateIds", "first");
    const CommandResult first = run();
    ASSERT_EQ(first.exitStatus, 0) << first.err;
    EXPECT_NE(first.err.find("the first row of each identifier is kept (duplicateIds = first)"), std::string::npos);
    EXPECT_EQ(assignmentRows(work.file("out/human_assignments.txt")).size(), lines.size() - 3);

    set("duplicateIds", "error");
    const CommandResult stopped = run();
    EXPECT_EQ(stopped.exitStatus, 1);
    EXPECT_NE(stopped.err.find("duplicateIds = error stops the run: make the identifiers unique"), std::string::npos)
        << stopped.err;
    set("duplicateIds", "average");
    const CommandResult wrong = run();
    EXPECT_EQ(wrong.exitStatus, 1);
    EXPECT_NE(wrong.err.find("The key duplicateIds must be keep, first, mean or error in parameter file "
                             "ParameterSetting.txt (it is \"average\")"),
              std::string::npos)
        << wrong.err;
}

TEST_F(RealWorldFiles, MissingValuesLeaveTheirGenesOutOrTakeTheMeanOfTheOthers) {
    // Two genes that a plain run clusters get an NA in their second value column.
    set("prep", "no");
    ASSERT_EQ(run().exitStatus, 0);
    std::vector<std::string> lines = readLines(work.file("human_expression.txt"));
    const MembershipFile plain = readMembershipFile(work.file("out/human_clusters.txt"));
    const std::vector<MembershipRow>& clustered = plain.clusters[0];
    ASSERT_GE(clustered.size(), 2u);
    std::vector<std::size_t> chosen;
    for (std::size_t line = 1; line < lines.size(); ++line) {
        const std::string identifier = lines[line].substr(0, lines[line].find('\t'));
        if (identifier == clustered[0].name || identifier == clustered[1].name) chosen.push_back(line);
    }
    ASSERT_EQ(chosen.size(), 2u);
    std::vector<std::string> incomplete;
    std::vector<double> expectedRow;
    for (const std::size_t line : chosen) {
        std::vector<std::string> fields = splitText(lines[line], '\t');
        incomplete.push_back(fields[0]);
        fields[2] = "NA";
        if (line == chosen[0]) {
            double sum = 0.0;
            for (std::size_t f = 1; f < fields.size(); ++f) sum += f == 2 ? 0.0 : std::stod(fields[f]);
            for (std::size_t f = 1; f < fields.size(); ++f) {
                expectedRow.push_back(f == 2 ? sum / static_cast<double>(fields.size() - 2) : std::stod(fields[f]));
            }
        }
        std::string joined;
        for (const std::string& field : fields) joined += (joined.empty() ? "" : "\t") + field;
        lines[line] = joined;
    }
    std::string expression;
    for (const std::string& line : lines) expression += line + "\n";
    write("human_expression.txt", expression);
    set("assignmentFile_hm", "out/human_assignments.txt");

    set("missingValues", "dropGene");
    set("runRecordFile", "out/record.json");
    const CommandResult dropped = run();
    ASSERT_EQ(dropped.exitStatus, 0) << dropped.err;
    EXPECT_NE(dropped.err.find("missingValues = dropGene left out 2 of the 300 genes of human_expression.txt"),
              std::string::npos)
        << dropped.err;
    std::set<std::string> left;
    for (const auto& [identifier, cluster] : assignmentRows(work.file("out/human_assignments.txt"))) {
        left.insert(identifier);
    }
    EXPECT_EQ(left.size(), 298u);
    std::string record = text("out/record.json");
    record.erase(std::remove_if(record.begin(), record.end(), [](char c) { return c == ' ' || c == '\n'; }),
                 record.end());
    EXPECT_NE(record.find("\"droppedForMissingValues\":{\"human\":2,\"mouse\":0}"), std::string::npos) << record;
    for (const std::string& identifier : incomplete) EXPECT_EQ(left.count(identifier), 0u) << identifier;

    set("missingValues", "geneMean");
    const CommandResult filled = run();
    ASSERT_EQ(filled.exitStatus, 0) << filled.err;
    bool found = false;
    for (const auto& cluster : readMembershipFile(work.file("out/human_clusters.txt")).clusters) {
        for (const MembershipRow& row : cluster) {
            if (row.name != incomplete[0]) continue;
            found = true;
            ASSERT_EQ(row.values.size(), expectedRow.size());
            for (std::size_t v = 0; v < expectedRow.size(); ++v) {
                EXPECT_NEAR(std::stod(row.values[v]), expectedRow[v], 1e-4 * std::fabs(expectedRow[v])) << v;
            }
        }
    }
    EXPECT_TRUE(found) << incomplete[0] << " is in a cluster";
}

TEST_F(RealWorldFiles, TopVariableKeepsTheMostVariableGenesThatPassTheOtherTests) {
    const auto genes = readExpression(work.file("mouse_expression.txt"));
    const std::set<std::string> passing = genesPassingFilter(genes, 0.02, 6.0);
    std::vector<std::pair<double, std::string>> byDeviation;
    for (const std::string& name : passing) {
        const std::vector<double>& values = genes.at(name);
        double sum = 0.0, squares = 0.0;
        for (const double x : values) sum += x;
        const double mean = sum / static_cast<double>(values.size());
        for (const double x : values) squares += (x - mean) * (x - mean);
        byDeviation.emplace_back(-std::sqrt(squares / static_cast<double>(values.size())), name);
    }
    std::sort(byDeviation.begin(), byDeviation.end());
    ASSERT_GT(byDeviation.size(), 100u);
    std::set<std::string> expected;
    for (std::size_t i = 0; i < 100; ++i) expected.insert(byDeviation[i].second);

    set("topVariable", "50");  // the shared key, overridden for the mouse
    set("topVariable_ms", "100");
    set("assignmentFile_ms", "out/mouse_assignments.txt");
    const CommandResult done = run();
    ASSERT_EQ(done.exitStatus, 0) << done.err;
    EXPECT_NE(done.out.find("Num of human genes after preprocessing = 50\n"), std::string::npos) << done.out;
    EXPECT_NE(done.out.find("Num of mouse genes after preprocessing = 100\n"), std::string::npos) << done.out;
    EXPECT_NE(done.err.find("passed every test but are not among the topVariable_ms = 100 most variable"),
              std::string::npos)
        << done.err;
    std::set<std::string> kept;
    for (const auto& [identifier, cluster] : assignmentRows(work.file("out/mouse_assignments.txt"))) {
        kept.insert(identifier);
    }
    EXPECT_EQ(kept, expected);

    set("topVariable_ms", "12.5");
    const CommandResult fraction = run();
    EXPECT_EQ(fraction.exitStatus, 1);
    EXPECT_NE(fraction.err.find("The key topVariable_ms must be a whole number of at least 1 in parameter file "
                                "ParameterSetting.txt (it is 12.5)"),
              std::string::npos)
        << fraction.err;
}

TEST_F(RealWorldFiles, DatesAndVersionSuffixesAreNamedAndVersionsCanBeIgnored) {
    const std::map<std::string, std::string> plain = resultsOfRun();
    // Every mouse identifier of the ortholog file gets a version suffix; two human identifiers become dates.
    std::string orthologs;
    for (const std::string& line : readLines(work.file("orthologs.txt"))) {
        const std::vector<std::string> fields = splitText(line, '\t');
        orthologs += fields[0] + "\t" + fields[1] + ".7\n";
    }
    write("orthologs.txt", orthologs);
    const std::string original = text("human_expression.txt");
    std::vector<std::string> lines = readLines(work.file("human_expression.txt"));
    lines[1] = "1-Mar" + lines[1].substr(lines[1].find('\t'));
    lines[2] = "2-Sep" + lines[2].substr(lines[2].find('\t'));
    std::string expression;
    for (const std::string& line : lines) expression += line + "\n";
    write("human_expression.txt", expression);

    const CommandResult stopped = run();
    EXPECT_EQ(stopped.exitStatus, 1);
    EXPECT_NE(stopped.err.find("warning: 2 identifiers of human_expression.txt look like dates (such as \"1-Mar\")"),
              std::string::npos)
        << stopped.err;
    EXPECT_NE(stopped.err.find("would match without a version suffix (such as \"M"), std::string::npos) << stopped.err;
    EXPECT_NE(stopped.err.find("stripIdVersions = yes matches identifiers so"), std::string::npos) << stopped.err;

    // Without the dates, matching without versions recovers every pair: the results of the plain files.
    write("human_expression.txt", original);
    set("stripIdVersions", "yes");
    const CommandResult recovered = run();
    ASSERT_EQ(recovered.exitStatus, 0) << recovered.err;
    EXPECT_EQ(withoutOrthologReport(recovered.err), "");
    const std::map<std::string, std::string> stripped = results();
    for (const std::string& name : kResultFiles) EXPECT_TRUE(stripped.at(name) == plain.at(name)) << name;
}

// The lines of standard error that report how the ortholog pairs matched.
std::vector<std::string> orthologLines(const std::string& err) {
    std::vector<std::string> found;
    for (const std::string& line : splitText(err, '\n')) {
        if (line.find(" ortholog pairs, ") != std::string::npos) found.push_back(line);
    }
    return found;
}

TEST_F(RealWorldFiles, TheOrthologLineCountsEachCauseOfLostPairsWithAnExample) {
    // Thresholds every gene passes: preprocessing leaves out the constant gene alone.
    set("CVThr", "-1e300");
    set("maxExpr", "-1e300");
    const CommandResult plain = run();
    ASSERT_EQ(plain.exitStatus, 0) << plain.err;
    std::vector<std::string> pairs = readLines(work.file("orthologs.txt"));
    const std::size_t entries = std::set<std::string>(pairs.begin(), pairs.end()).size();
    ASSERT_EQ(entries, pairs.size()) << "the planted file repeats no pair";
    EXPECT_EQ(orthologLines(plain.err),
              std::vector<std::string>{"orthologs.txt holds " + std::to_string(entries) + " ortholog pairs, " +
                                       std::to_string(entries) + " with both genes present and kept"})
        << "a run whose pairs all match says so too:\n" << plain.err;

    // Two absent human identifiers, one entry with both absent (it counts for
    // its human one), one absent mouse identifier, a human gene made constant,
    // and a line written twice.
    const auto field = [&](std::size_t line, std::size_t column) { return splitText(pairs[line], '\t')[column]; };
    pairs[0] = "HX2\t" + field(0, 1);
    pairs[1] = "HX1\t" + field(1, 1);
    pairs[2] = "HX3\tMX3";
    pairs[3] = field(3, 0) + "\tMX1";
    const std::string constant = field(4, 0);
    ASSERT_NE(field(3, 0), constant);
    std::size_t dropped = 0;
    for (std::size_t p = 4; p < pairs.size(); ++p) dropped += field(p, 0) == constant ? 1 : 0;
    std::string orthologs;
    for (const std::string& line : pairs) orthologs += line + "\n";
    write("orthologs.txt", orthologs + pairs[5] + "\n");
    std::vector<std::string> expression = readLines(work.file("human_expression.txt"));
    std::string human;
    for (std::string& line : expression) {
        if (line.rfind(constant + "\t", 0) == 0) {
            const std::size_t samples = splitText(line, '\t').size() - 1;
            line = constant;
            for (std::size_t s = 0; s < samples; ++s) line += "\t5";
        }
        human += line + "\n";
    }
    write("human_expression.txt", human);

    const CommandResult lost = run();
    ASSERT_EQ(lost.exitStatus, 0) << lost.err;
    ASSERT_LE((4 + dropped) * 10, entries) << "the causes stay under one pair in ten";
    EXPECT_EQ(orthologLines(lost.err),
              std::vector<std::string>{
                  "orthologs.txt holds " + std::to_string(entries) + " ortholog pairs, " +
                  std::to_string(entries - 4 - dropped) + " with both genes present and kept; the other " +
                  std::to_string(4 + dropped) + ": 3 name a human identifier that human_expression.txt does not have "
                  "(such as \"HX1\"), 1 a mouse identifier that mouse_expression.txt does not have (such as "
                  "\"MX1\"), " +
                  std::to_string(dropped) + " a gene that preprocessing left out (such as human \"" + constant + "\")"})
        << lost.err;
    EXPECT_NE(lost.err.find("warning: 1 line of orthologs.txt repeats the pair of an earlier one (1 on several, such "
                            "as \"" + field(5, 0) + " " + field(5, 1) + "\"): each pair counts once\n"),
              std::string::npos)
        << lost.err;
}

TEST_F(RealWorldFiles, MoreThanOnePairInTenLostMakesTheOrthologLineAWarning) {
    set("CVThr", "-1e300");
    set("maxExpr", "-1e300");
    const std::vector<std::string> pairs = readLines(work.file("orthologs.txt"));
    ASSERT_GE(pairs.size(), 100u);
    // The first 100 pairs, of which `lost` name a human identifier no file has.
    const auto runLosing = [&](std::size_t lost) {
        std::string orthologs;
        for (std::size_t p = 0; p < 100; ++p) {
            orthologs += (p < lost ? "HX" + std::to_string(p) + pairs[p].substr(pairs[p].find('\t')) : pairs[p]) + "\n";
        }
        write("orthologs.txt", orthologs);
        return runTool(work.path(), "--check ParameterSetting.txt");
    };
    const std::string cause = "name a human identifier that human_expression.txt does not have (such as \"HX0\")";

    const CommandResult tenth = runLosing(10);
    ASSERT_EQ(tenth.exitStatus, 0) << tenth.err;
    EXPECT_EQ(orthologLines(tenth.err),
              std::vector<std::string>{"orthologs.txt holds 100 ortholog pairs, 90 with both genes present and kept; "
                                       "the other 10: 10 " + cause})
        << "one in ten exactly is a note:\n" << tenth.err;

    const CommandResult more = runLosing(11);
    ASSERT_EQ(more.exitStatus, 0) << more.err;
    EXPECT_EQ(orthologLines(more.err),
              std::vector<std::string>{"warning: orthologs.txt holds 100 ortholog pairs, only 89 with both genes "
                                       "present and kept (more than one in ten is lost); the other 11: 11 " + cause +
                                       "; check that the ortholog file's identifiers are those of the expression "
                                       "files' first columns"})
        << "one more is a warning, on the one line:\n" << more.err;
}

// Every path under the folder, relative to it.
std::set<std::string> treeOf(const std::filesystem::path& folder) {
    std::set<std::string> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        paths.insert(std::filesystem::relative(entry.path(), folder).string());
    }
    return paths;
}

TEST_F(RealWorldFiles, ACheckReadsEverythingWritesNothingAndStopsWithTheRunsMessage) {
    std::filesystem::remove_all(work.path() / "out");
    const std::set<std::string> before = treeOf(work.path());
    const CommandResult checked = runTool(work.path(), "--check ParameterSetting.txt");
    ASSERT_EQ(checked.exitStatus, 0) << checked.err;
    for (const std::string expected :
         {"check: human: 300 genes read, ", "check: mouse: 260 genes read, ", " kept for clustering, 8 samples\n",
          "check: orthologs: ", "check: a run would write out/human_clusters.txt (outputFile_hm)\n",
          "check: a run would write out/gene_pairs.txt (gene_pair_result)\n"}) {
        EXPECT_NE(checked.out.find(expected), std::string::npos) << expected << " in\n" << checked.out;
    }
    EXPECT_EQ(treeOf(work.path()), before) << "no file or folder created";

    // Each bad case stops the check with the last line a run gives.
    const auto lastLine = [](const std::string& text) {
        const std::vector<std::string> lines = splitText(text, '\n');
        return lines.empty() ? std::string() : lines.back();
    };
    const std::vector<std::function<void()>> mistakes = {
        [&] { set("dataFile_hm", "nowhere.txt"); },
        [&] { write("human_expression.txt", "ID,S1\nH1,1\n"); },
        [&] { set("k", "0"); },
        [&] { set("outputFile_hm", "human_expression.txt/clusters.txt"); },
    };
    for (std::size_t m = 0; m < mistakes.size(); ++m) {
        ASSERT_NO_FATAL_FAILURE(generateDataset(work.path(), PlantedDataset{}));
        std::filesystem::remove_all(work.path() / "out");
        mistakes[m]();
        const std::set<std::string> unchanged = treeOf(work.path());
        const CommandResult check = runTool(work.path(), "--check ParameterSetting.txt");
        EXPECT_EQ(check.exitStatus, 1) << "mistake " << m;
        EXPECT_EQ(treeOf(work.path()), unchanged) << "mistake " << m;
        const CommandResult full = run();
        EXPECT_EQ(full.exitStatus, 1) << "mistake " << m;
        EXPECT_EQ(lastLine(check.err), lastLine(full.err)) << "mistake " << m;
        EXPECT_FALSE(lastLine(check.err).empty()) << "mistake " << m;
    }
}

// The text comma-separated as R writes it: every field quoted, quotes doubled.
std::string asQuotedCsv(const std::string& tabSeparated) {
    std::string csv;
    for (const std::string& line : splitText(tabSeparated, '\n')) {
        std::string joined;
        for (const std::string& field : splitText(line, '\t')) {
            std::string quoted = "\"";
            for (const char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            joined += (joined.empty() ? "" : ",") + quoted + "\"";
        }
        csv += joined + "\n";
    }
    return csv;
}

TEST(CommaSeparatedExample, GivesTheResultsOfTheTabSeparatedExampleByteForByte) {
    TempDir work;
    std::filesystem::copy(ORTHOMIX_EXAMPLES, work.path(), std::filesystem::copy_options::recursive);
    const CommandResult tabs = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(tabs.exitStatus, 0) << tabs.err;
    std::map<std::string, std::string> expected;
    for (const std::string& name : kResultFiles) expected[name] = readFile(work.file("out/" + name));
    std::filesystem::remove_all(work.path() / "out");

    const std::string parameters = work.file("ParameterSetting.txt");
    for (const char* key : {"dataFile_hm", "dataFile_ms", "annotFile_hm", "annotFile_ms", "orthologFile"}) {
        std::string name;
        for (const std::string& line : readLines(parameters)) {
            if (line.rfind(std::string(key) + " = ", 0) == 0) name = line.substr(std::string(key).size() + 3);
        }
        ASSERT_FALSE(name.empty()) << key;
        const std::string csvName = name.substr(0, name.rfind('.')) + ".csv";
        writeFile(work.file(csvName), asQuotedCsv(readFile(work.file(name))));
        std::filesystem::remove(work.path() / name);
        setParameter(parameters, key, csvName);
    }
    const CommandResult csv = runTool(work.path(), "ParameterSetting.txt");
    ASSERT_EQ(csv.exitStatus, 0) << csv.err;
    EXPECT_EQ(csv.out, tabs.out);
    std::string csvErr = csv.err;
    for (std::size_t at = csvErr.find(".csv"); at != std::string::npos; at = csvErr.find(".csv", at)) {
        csvErr.replace(at, 4, ".txt");
    }
    EXPECT_EQ(csvErr, tabs.err) << "the same messages, the files named as they are";
    for (const std::string& name : kResultFiles) {
        EXPECT_TRUE(readFile(work.file("out/" + name)) == expected.at(name)) << name;
    }
}

TEST_F(RealWorldFiles, ACommaSeparatedFileWithoutTheCsvNameStopsSayingHowToReadIt) {
    write("orthologs.txt", asQuotedCsv(text("orthologs.txt")));
    const CommandResult done = run();
    EXPECT_EQ(done.exitStatus, 1);
    EXPECT_NE(done.err.find("orthologs.txt has commas but no tab: it looks comma-separated, and files are read "
                            "tab-separated unless their name ends in .csv (or .csv.gz)"),
              std::string::npos)
        << done.err;
}

}  // namespace
}  // namespace orthomix::testing
