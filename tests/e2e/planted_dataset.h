#pragma once

// Planted datasets made by the example generator, and readers of the tool's
// result files that check their layout while reading them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/partition_metrics.h"
#include "support/test_support.h"

namespace orthomix::testing {

// A small dataset: k planted clusters, a few hundred genes per organism.
struct PlantedDataset {
    long seed = 17;
    long humanGenes = 300;
    long mouseGenes = 260;
    long humanSamples = 8;
    long mouseSamples = 6;
    long k = 3;
    long runs = 1;
};

// Writes the dataset and its ParameterSetting.txt (results under out/) into folder.
inline void generateDataset(const std::filesystem::path& folder, const PlantedDataset& d) {
    const std::string command = std::string("'") + ORTHOMIX_GENERATOR + "' --out '" + folder.string() +
                                "' --parameter-file --seed " + std::to_string(d.seed) + " --human-genes " +
                                std::to_string(d.humanGenes) + " --mouse-genes " + std::to_string(d.mouseGenes) +
                                " --human-samples " + std::to_string(d.humanSamples) + " --mouse-samples " +
                                std::to_string(d.mouseSamples) + " --k " + std::to_string(d.k) + " --runs " +
                                std::to_string(d.runs) + " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

inline std::vector<std::string> splitText(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    return parts;
}

inline std::vector<std::string> readLines(const std::string& path) {
    return splitText(readFile(path), '\n');
}

// The example dataset copied into folder/ (with an empty out/), the k line of
// its parameter file replaced by `kLine` and the lines `extra` added.
inline void prepareExampleFolder(const std::filesystem::path& folder, const std::string& kLine,
                                 const std::string& extra) {
    std::filesystem::create_directories(folder / "out");
    for (const auto& entry : std::filesystem::directory_iterator(ORTHOMIX_EXAMPLES)) {
        if (entry.is_regular_file()) std::filesystem::copy_file(entry.path(), folder / entry.path().filename());
    }
    std::string text;
    for (const std::string& line : readLines((folder / "ParameterSetting.txt").string())) {
        text += (line.rfind("k =", 0) == 0 ? kLine : line) + "\n";
    }
    writeFile((folder / "ParameterSetting.txt").string(), text + extra);
}

// Replaces the value of one key of a parameter file.
inline void setParameter(const std::string& path, const std::string& key, const std::string& value) {
    std::string text;
    for (const std::string& line : readLines(path)) {
        text += line.rfind(key + " =", 0) == 0 ? key + " = " + value : line;
        text += '\n';
    }
    writeFile(path, text);
}

struct MembershipRow {
    std::string name, annotation;
    std::vector<std::string> values;
};

struct MembershipFile {
    std::vector<std::string> columns;                  // after "probe set" and "NAME"
    std::vector<std::vector<MembershipRow>> clusters;  // empty clusters included
};

// Reads a membership file, checking the header, the field count of every row
// and that separators come in runs of three "NONE" lines.
inline MembershipFile readMembershipFile(const std::string& path) {
    MembershipFile file;
    const std::vector<std::string> lines = readLines(path);
    EXPECT_FALSE(lines.empty()) << path << " has no header";
    if (lines.empty()) return file;
    const std::vector<std::string> header = splitText(lines[0], '\t');
    EXPECT_GE(header.size(), 2u) << path;
    if (header.size() < 2) return file;
    EXPECT_EQ(header[0], "probe set") << path;
    EXPECT_EQ(header[1], "NAME") << path;
    file.columns.assign(header.begin() + 2, header.end());
    file.clusters.emplace_back();
    int noneRun = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i] == "NONE") {
            if (++noneRun == 3) {
                file.clusters.emplace_back();
                noneRun = 0;
            }
            continue;
        }
        EXPECT_EQ(noneRun, 0) << path << " line " << i + 1 << ": separators come in threes";
        std::vector<std::string> fields = splitText(lines[i], '\t');
        EXPECT_EQ(fields.size(), header.size()) << path << " line " << i + 1 << ": " << lines[i];
        if (fields.size() < 2) continue;
        MembershipRow row{fields[0], fields[1], {fields.begin() + 2, fields.end()}};
        for (const std::string& value : row.values) {
            char* end = nullptr;
            std::strtod(value.c_str(), &end);
            EXPECT_TRUE(!value.empty() && *end == '\0') << path << " line " << i + 1 << ": \"" << value << "\"";
        }
        file.clusters.back().push_back(std::move(row));
    }
    EXPECT_EQ(noneRun, 0) << path << " ends inside a separator";
    return file;
}

struct GenePairLine {
    std::string human, mouse;
    int humanIndex = 0, mouseIndex = 0;
};

// Parses "  <H, M>--->\t[i,j]"; false when the line does not have that form.
inline bool parseGenePairLine(const std::string& line, GenePairLine& out) {
    const std::string open = "  <", arrow = ">--->\t[";
    if (line.rfind(open, 0) != 0 || line.empty() || line.back() != ']') return false;
    const std::size_t comma = line.find(", ", open.size());
    const std::size_t arrowAt = line.find(arrow, open.size());
    if (comma == std::string::npos || arrowAt == std::string::npos || comma > arrowAt) return false;
    out.human = line.substr(open.size(), comma - open.size());
    out.mouse = line.substr(comma + 2, arrowAt - comma - 2);
    const std::string indices = line.substr(arrowAt + arrow.size(), line.size() - arrowAt - arrow.size() - 1);
    const std::size_t separator = indices.find(',');
    if (out.human.empty() || out.mouse.empty() || separator == std::string::npos) return false;
    const auto isInteger = [](const std::string& text) {
        const std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
        return text.size() > start && text.find_first_not_of("0123456789", start) == std::string::npos;
    };
    const std::string first = indices.substr(0, separator), second = indices.substr(separator + 1);
    if (!isInteger(first) || !isInteger(second)) return false;
    out.humanIndex = std::stoi(first);
    out.mouseIndex = std::stoi(second);
    return true;
}

inline std::vector<GenePairLine> readGenePairFile(const std::string& path) {
    std::vector<GenePairLine> pairs;
    for (const std::string& line : readLines(path)) {
        GenePairLine pair;
        if (!parseGenePairLine(line, pair)) {
            ADD_FAILURE() << path << ": \"" << line << "\"";
            continue;
        }
        pairs.push_back(pair);
    }
    return pairs;
}

// Gene -> planted cluster, -1 for genes planted outside every cluster.
inline std::map<std::string, int> readTruth(const std::string& path) {
    std::map<std::string, int> truth;
    const std::vector<std::string> lines = readLines(path);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> fields = splitText(lines[i], '\t');
        if (fields.size() == 2) truth[fields[0]] = std::stoi(fields[1]);
    }
    return truth;
}

// Gene -> values of an expression data file, in file order of the columns.
inline std::map<std::string, std::vector<double>> readExpression(const std::string& path) {
    std::map<std::string, std::vector<double>> genes;
    const std::vector<std::string> lines = readLines(path);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> fields = splitText(lines[i], '\t');
        std::vector<double>& values = genes[fields[0]];
        for (std::size_t f = 1; f < fields.size(); ++f) values.push_back(std::strtod(fields[f].c_str(), nullptr));
    }
    return genes;
}

// The genes that the filter keeps: coefficient of variation (population
// standard deviation over the mean) and largest value at least the thresholds.
inline std::set<std::string> genesPassingFilter(const std::map<std::string, std::vector<double>>& genes,
                                                double cvThreshold, double exprThreshold) {
    std::set<std::string> kept;
    for (const auto& [name, values] : genes) {
        double sum = 0.0, squares = 0.0, maximum = values.front();
        for (const double x : values) sum += x;
        const double mean = sum / static_cast<double>(values.size());
        for (const double x : values) {
            squares += (x - mean) * (x - mean);
            maximum = std::max(maximum, x);
        }
        const double deviation = std::sqrt(squares / static_cast<double>(values.size()));
        if (deviation > 0.0 && deviation / mean >= cvThreshold && maximum >= exprThreshold) kept.insert(name);
    }
    return kept;
}

}  // namespace orthomix::testing
