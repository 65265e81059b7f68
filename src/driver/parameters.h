#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orthomix {

// The settings of one run, as read from the parameter file.
struct ParameterSetting {
    std::string prep;
    std::string dataFile_hm;
    std::string dataFile_ms;
    std::string annotFile_hm;
    std::string annotFile_ms;
    std::string orthologFile;
    std::string outputFile_hm;
    std::string outputFile_ms;
    std::string k_by_k_output_clusters;
    std::string gene_pair_result;
    double CVThr = 0.0;
    double maxExpr = 0.0;
    std::int32_t k = 0;
    std::int32_t kmeansMaxIterations = 1;  // fixed: the k-means makes two passes
    std::int32_t nMaxAlgRun = 0;
    double stoppingThr = 0.0;
    double psudo_uniform_counts = 0.0;

    // Optional: "yes" runs the E-step in the log domain (faster, not bit-identical).
    std::string fastDensity;

    // Optional: a fixed seed for the random generator instead of the clock,
    // 0 to 4294967295 (a negative value counts modulo 2^32).
    bool hasSeed = false;
    std::uint32_t seed = 0;

    // Optional: the JSON run record, written at the end and on a fatal error.
    std::string runRecordFile;
    // Optional: one line per kept gene with its cluster and nearest cluster.
    std::string assignmentFile_hm;
    std::string assignmentFile_ms;
    // Optional: "yes" writes one progress line per EM iteration to standard error.
    std::string verbose;
};

// Key = value lines: the first "=" separates, blanks, tabs and carriage
// returns around key and value are dropped, the last line of a key wins.
std::map<std::string, std::string> parseParameterText(const std::string& text);

// Takes the known keys out of a parsed table (missing keys: empty text, 0).
ParameterSetting parameterSettingFrom(const std::map<std::string, std::string>& table);

// Keys of the table that the tool does not know, in table order.
std::vector<std::string> unrecognisedKeys(const std::map<std::string, std::string>& table);

// Reads and parses the parameter file; "Cannot open <path>" and exit status 1 when it cannot be read.
std::map<std::string, std::string> readParameterTable(const std::string& path);

// readParameterTable, parameterSettingFrom and checkParameters in one.
ParameterSetting readParameterFile(const std::string& path);

// Checks the values a run needs before any data file is opened: the nine
// paths present, k and nMaxAlgRun at least 1, a seed that fits 32 bits. Fatal
// with a message naming the key and the file; unrecognised keys give warnings
// on standard error.
void checkParameters(const ParameterSetting& parameters,
                     const std::map<std::string, std::string>& table, const std::string& path);

}  // namespace orthomix
