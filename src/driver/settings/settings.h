#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "io/parameter_file.h"
#include "support/error.h"

namespace orthomix {

// The settings of one run, typed. Each member is set by the parameter-file
// key of the same name (see kSettings).
struct ParameterSetting {
    std::string dataFile_hm;
    std::string dataFile_ms;
    std::string annotFile_hm;
    std::string annotFile_ms;
    std::string orthologFile;
    std::string outputFile_hm;
    std::string outputFile_ms;
    std::string k_by_k_output_clusters;
    std::string gene_pair_result;
    bool prep = false;
    double CVThr = 0.0;
    double maxExpr = 0.0;
    // Per organism; absent: CVThr and maxExpr hold for that organism too.
    std::optional<double> CVThr_hm;
    std::optional<double> CVThr_ms;
    std::optional<double> maxExpr_hm;
    std::optional<double> maxExpr_ms;
    std::int32_t k = 0;
    std::int32_t nMaxAlgRun = 0;
    double stoppingThr = 0.0;
    double psudo_uniform_counts = 0.0;
    std::optional<std::uint32_t> seed;  // absent: the clock seeds the run
    bool fastDensity = false;
    std::string runRecordFile;
    std::string assignmentFile_hm;
    std::string assignmentFile_ms;
    bool verbose = false;
    std::vector<std::int32_t> kValues;  // several k, ascending; when given, k is not used
    std::string modelSelectionFile;
    std::string pairTableFile;
    std::string reportFile;
    bool assignmentPosterior = false;
    std::string pairAssignmentFile;
    // Every output without a path of its own is written here under its
    // standard name (see outputsInFolder); the four membership and pair files
    // are then no longer required.
    std::string outputFolder;
    std::int32_t threads = 0;  // 0: every hardware thread
    std::string duplicateIds = "keep";  // keep, first, mean or error (see input_choices.h)
    std::string missingValues = "zero";  // zero, dropGene or geneMean
    // Variance filters of preprocessing, shared and per organism like CVThr.
    std::optional<double> minSD;
    std::optional<double> minSD_hm;
    std::optional<double> minSD_ms;
    std::optional<double> topVariable;  // a whole number of at least 1 (see input_choices.h)
    std::optional<double> topVariable_hm;
    std::optional<double> topVariable_ms;
    bool stripIdVersions = false;  // match identifiers without version suffixes such as ".12"

    // Not a key: the k-means start makes two passes.
    std::int32_t kmeansMaxIterations = 1;
};

enum class SettingKind {
    InputPath,   // a file the run reads
    OutputPath,  // a file the run writes
    OutputFolder,  // a folder the run writes into
    Switch,      // exactly "yes" turns it on
    Real,        // the longest leading decimal number, 0 without one
    WholeReal,   // read as Real, used without its decimals: from -2147483648 to 2147483647
    Count,       // the leading whole number; from 1 to 2147483647
    Seed,        // a whole number from 0 to 4294967295 (a negative one counts modulo 2^32)
    KList,       // cluster counts and ranges, such as 5, 8, 10-30:5
    Threads,     // the leading whole number, at least 1 when given
    Choice,      // one of a few words (see input_choices.h)
};

using SettingField =
    std::variant<std::string ParameterSetting::*, bool ParameterSetting::*, double ParameterSetting::*,
                 std::optional<double> ParameterSetting::*, std::int32_t ParameterSetting::*,
                 std::optional<std::uint32_t> ParameterSetting::*, std::vector<std::int32_t> ParameterSetting::*>;

// One key of the parameter file: its spelling, what it holds, whether a run
// needs it, the line --help shows for it, and the member it sets.
struct SettingDefinition {
    std::string_view key;
    SettingKind kind;
    bool required;
    std::string_view help;
    SettingField field;
};

// Every key, in the order they are taken out of the file and checked.
extern const std::span<const SettingDefinition> kSettings;

// The cluster counts a run fits, in order: those of kValues, or k alone.
std::vector<std::int32_t> clusterCounts(const ParameterSetting& settings);

// A run given kValues is a sweep, even of one k: it shows each k as it ends,
// keeps the k with the lowest BIC, and its record and report list every k.
bool isKSweep(const ParameterSetting& settings);

// Takes every known key out of the table; a missing key leaves the default.
// Never fails, so that a failed run can still show what it read.
ParameterSetting settingsFromTable(const ParameterTable& table);

// Every output key left empty given its standard name within outputFolder
// (human_clusters.txt, mouse_clusters.txt, pair_clusters.txt, gene_pairs.txt,
// human_assignments.tsv, mouse_assignments.tsv, pair_table.tsv,
// pair_assignments.tsv, model_selection.tsv, run_record.json, report.html);
// the settings unchanged without an outputFolder.
ParameterSetting outputsInFolder(ParameterSetting settings);

// Keys of the table that are not settings, in table order.
std::vector<std::string> unrecognisedKeys(const ParameterTable& table);

// The known key an unrecognised one most likely meant (a different case, a
// letter or two off); empty when none is that close.
std::string_view closestKey(std::string_view unknown);

// The warnings a parameter file deserves, without "warning: ": every
// unrecognised key (with the closest known key), then, in table order, every
// value read leniently (the key, the text and the value used) and every value
// holding a "#", which is no comment sign.
std::vector<std::string> parameterWarnings(const ParameterTable& table, const std::string& path);

// What a run needs before any data file is opened: no NUL byte in a value,
// every required path given, k (unless kValues is given) and nMaxAlgRun
// present and from 1 to 2147483647, psudo_uniform_counts within 32 bits, a
// seed that fits 32 bits, a well-formed kValues. The message names the key
// and the parameter file.
Status checkSettings(const ParameterSetting& settings, const ParameterTable& table, const std::string& path);

// The preprocessing thresholds of one organism and the keys they came from.
struct PreprocessingThresholds {
    double cv = 0.0;
    double maxExpr = 0.0;
    std::string_view cvKey;
    std::string_view maxExprKey;
    std::optional<double> minSD;
    std::optional<double> topVariable;
    std::string_view minSDKey;
    std::string_view topVariableKey;
};
PreprocessingThresholds humanThresholds(const ParameterSetting& settings);
PreprocessingThresholds mouseThresholds(const ParameterSetting& settings);

// The key lines of --help.
std::string settingsHelp();

// The value of one setting as a JSON value (strings quoted, an absent seed null).
std::string settingAsJson(const ParameterSetting& settings, const SettingDefinition& definition);

}  // namespace orthomix
