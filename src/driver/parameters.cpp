#include "driver/parameters.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "driver/fatal.h"
#include "io/number_parsing.h"
#include "io/tab_separated_text.h"

namespace orthomix {
namespace {

constexpr std::array<std::string_view, 10> kPathKeys = {
    "dataFile_hm",   "dataFile_ms",   "annotFile_hm",           "annotFile_ms",     "orthologFile",
    "outputFile_hm", "outputFile_ms", "k_by_k_output_clusters", "gene_pair_result", "prep"};

constexpr std::array<std::string_view, 12> kOtherKeys = {
    "CVThr", "maxExpr",     "k",             "nMaxAlgRun",        "stoppingThr",       "psudo_uniform_counts",
    "seed",  "fastDensity", "runRecordFile", "assignmentFile_hm", "assignmentFile_ms", "verbose"};

std::string_view trim(std::string_view text) {
    constexpr std::string_view blanks = " \t\r";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::string lookup(const std::map<std::string, std::string>& table, const std::string& key) {
    const auto found = table.find(key);
    return found == table.end() ? std::string() : found->second;
}

// The atoi prefix rule over the whole unsigned 32-bit range, so that every seed
// the clock can give is accepted back; a negative value counts modulo 2^32, as
// the generator's state does. False (seed saturated) outside -2^31 .. 2^32-1.
bool parseSeed(std::string_view text, std::uint32_t& seed) {
    std::size_t pos = text.find_first_not_of(" \t\n\v\f\r");
    if (pos == std::string_view::npos) pos = text.size();
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    constexpr std::int64_t kLargest = 0xffffffffLL;
    constexpr std::int64_t kMostNegative = 0x80000000LL;
    std::int64_t magnitude = 0;
    bool inRange = true;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        magnitude = magnitude * 10 + (text[pos] - '0');
        if (magnitude > (negative ? kMostNegative : kLargest)) {
            magnitude = negative ? kMostNegative : kLargest;
            inRange = false;
        }
    }
    seed = static_cast<std::uint32_t>(negative ? -magnitude : magnitude);
    return inRange;
}

}  // namespace

std::map<std::string, std::string> parseParameterText(const std::string& text) {
    std::map<std::string, std::string> table;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + start, end - start);
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos) {
            table[std::string(trim(line.substr(0, equals)))] = std::string(trim(line.substr(equals + 1)));
        }
        start = end + 1;
    }
    return table;
}

ParameterSetting parameterSettingFrom(const std::map<std::string, std::string>& table) {
    ParameterSetting p;
    p.dataFile_hm = lookup(table, "dataFile_hm");
    p.dataFile_ms = lookup(table, "dataFile_ms");
    p.annotFile_hm = lookup(table, "annotFile_hm");
    p.annotFile_ms = lookup(table, "annotFile_ms");
    p.orthologFile = lookup(table, "orthologFile");
    p.outputFile_hm = lookup(table, "outputFile_hm");
    p.outputFile_ms = lookup(table, "outputFile_ms");
    p.k_by_k_output_clusters = lookup(table, "k_by_k_output_clusters");
    p.gene_pair_result = lookup(table, "gene_pair_result");
    p.prep = lookup(table, "prep");
    p.CVThr = parseDecimalPrefix(lookup(table, "CVThr"));
    p.maxExpr = parseDecimalPrefix(lookup(table, "maxExpr"));
    p.k = parseIntegerPrefix(lookup(table, "k"));
    p.kmeansMaxIterations = 1;
    p.nMaxAlgRun = parseIntegerPrefix(lookup(table, "nMaxAlgRun"));
    p.stoppingThr = parseDecimalPrefix(lookup(table, "stoppingThr"));
    p.psudo_uniform_counts = parseDecimalPrefix(lookup(table, "psudo_uniform_counts"));
    p.fastDensity = lookup(table, "fastDensity");
    if (table.count("seed") != 0) {
        p.hasSeed = true;
        parseSeed(lookup(table, "seed"), p.seed);
    }
    p.runRecordFile = lookup(table, "runRecordFile");
    p.assignmentFile_hm = lookup(table, "assignmentFile_hm");
    p.assignmentFile_ms = lookup(table, "assignmentFile_ms");
    p.verbose = lookup(table, "verbose");
    return p;
}

std::vector<std::string> unrecognisedKeys(const std::map<std::string, std::string>& table) {
    std::vector<std::string> unknown;
    for (const auto& [key, value] : table) {
        const bool known = std::find(kPathKeys.begin(), kPathKeys.end(), key) != kPathKeys.end() ||
                           std::find(kOtherKeys.begin(), kOtherKeys.end(), key) != kOtherKeys.end();
        if (!known) unknown.push_back(key);
    }
    return unknown;
}

std::map<std::string, std::string> readParameterTable(const std::string& path) {
    // A folder or an unreadable file gives "Cannot open", like every input file.
    return parseParameterText(readInputFile(path));
}

ParameterSetting readParameterFile(const std::string& path) {
    const auto table = readParameterTable(path);
    ParameterSetting parameters = parameterSettingFrom(table);
    checkParameters(parameters, table, path);
    return parameters;
}

void checkParameters(const ParameterSetting& p, const std::map<std::string, std::string>& table,
                     const std::string& path) {
    for (const std::string& key : unrecognisedKeys(table)) {
        std::fprintf(stderr, "warning: unrecognised key \"%s\" in parameter file %s (keys are case-sensitive)\n",
                     key.c_str(), path.c_str());
    }
    std::fflush(stderr);
    const std::pair<const char*, const std::string*> paths[] = {
        {"dataFile_hm", &p.dataFile_hm},     {"dataFile_ms", &p.dataFile_ms},
        {"annotFile_hm", &p.annotFile_hm},   {"annotFile_ms", &p.annotFile_ms},
        {"orthologFile", &p.orthologFile},   {"outputFile_hm", &p.outputFile_hm},
        {"outputFile_ms", &p.outputFile_ms}, {"k_by_k_output_clusters", &p.k_by_k_output_clusters},
        {"gene_pair_result", &p.gene_pair_result}};
    for (const auto& [key, value] : paths) {
        if (value->empty()) fatalError(std::string("The key ") + key + " is missing or empty in parameter file " + path);
    }
    if (p.k < 1) {
        fatalError("The key k must be at least 1 in parameter file " + path + " (it is " + std::to_string(p.k) + ")");
    }
    if (p.nMaxAlgRun < 1) {
        fatalError("The key nMaxAlgRun must be at least 1 in parameter file " + path + " (it is " +
                   std::to_string(p.nMaxAlgRun) + ")");
    }
    std::uint32_t seed = 0;
    if (p.hasSeed && !parseSeed(lookup(table, "seed"), seed)) {
        fatalError("The key seed must be a whole number from 0 to 4294967295 in parameter file " + path +
                   " (it is " + lookup(table, "seed") + ")");
    }
}

}  // namespace orthomix
