#include "driver/settings/settings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "io/k_value_list.h"
#include "io/number_parsing.h"
#include "support/json_writer.h"
#include "support/message_text.h"

namespace orthomix {

using P = ParameterSetting;
using K = SettingKind;

namespace {

constexpr SettingDefinition kSettingTable[] = {
    {"dataFile_hm", K::InputPath, true, "human expression data file", &P::dataFile_hm},
    {"dataFile_ms", K::InputPath, true, "mouse expression data file", &P::dataFile_ms},
    {"annotFile_hm", K::InputPath, true, "human annotation file", &P::annotFile_hm},
    {"annotFile_ms", K::InputPath, true, "mouse annotation file", &P::annotFile_ms},
    {"orthologFile", K::InputPath, true, "ortholog pairs (human id, mouse id)", &P::orthologFile},
    {"outputFile_hm", K::OutputPath, true, "human cluster membership file, written", &P::outputFile_hm},
    {"outputFile_ms", K::OutputPath, true, "mouse cluster membership file, written", &P::outputFile_ms},
    {"k_by_k_output_clusters", K::OutputPath, true, "gene-pair cluster membership file, written",
     &P::k_by_k_output_clusters},
    {"gene_pair_result", K::OutputPath, true, "ortholog pairs with their clusters, written", &P::gene_pair_result},
    {"prep", K::Switch, false, "\"yes\" filters and standardises the genes", &P::prep},
    {"CVThr", K::Real, false, "preprocessing: smallest coefficient of variation kept", &P::CVThr},
    {"maxExpr", K::Real, false, "preprocessing: value a gene's largest value must reach", &P::maxExpr},
    {"CVThr_hm", K::Real, false, "CVThr for the human genes only", &P::CVThr_hm},
    {"CVThr_ms", K::Real, false, "CVThr for the mouse genes only", &P::CVThr_ms},
    {"maxExpr_hm", K::Real, false, "maxExpr for the human genes only", &P::maxExpr_hm},
    {"maxExpr_ms", K::Real, false, "maxExpr for the mouse genes only", &P::maxExpr_ms},
    {"k", K::Count, true, "clusters per organism (at least 1)", &P::k},
    {"nMaxAlgRun", K::Count, true, "repetitions from random starts (at least 1)", &P::nMaxAlgRun},
    {"stoppingThr", K::Real, false, "relative spread change that counts as converged", &P::stoppingThr},
    {"psudo_uniform_counts", K::WholeReal, false, "pseudo count of the scatter probability", &P::psudo_uniform_counts},
    {"seed", K::Seed, false, "fixed random seed, 0 to 4294967295 (default: the clock)", &P::seed},
    {"fastDensity", K::Switch, false, "\"yes\": E-step in the log domain (faster, not bit-identical)",
     &P::fastDensity},
    {"runRecordFile", K::OutputPath, false, "JSON record of the run, also written when it fails", &P::runRecordFile},
    {"assignmentFile_hm", K::OutputPath, false, "table of every kept human gene's cluster", &P::assignmentFile_hm},
    {"assignmentFile_ms", K::OutputPath, false, "table of every kept mouse gene's cluster", &P::assignmentFile_ms},
    {"verbose", K::Switch, false, "\"yes\" reports every EM iteration on standard error", &P::verbose},
    {"kValues", K::KList, false, "several k, such as 5, 8, 10-30:5, in place of k; the lowest BIC is kept",
     &P::kValues},
    {"modelSelectionFile", K::OutputPath, false, "table of the likelihood and BIC of every k run",
     &P::modelSelectionFile},
    {"pairTableFile", K::OutputPath, false, "table of the pairs in every cell of the cluster-pair table",
     &P::pairTableFile},
    {"reportFile", K::OutputPath, false, "HTML report with charts, opens offline in a browser", &P::reportFile},
    {"assignmentPosterior", K::Switch, false, "\"yes\" adds each gene's posterior to the assignment tables",
     &P::assignmentPosterior},
    {"pairAssignmentFile", K::OutputPath, false, "table of every ortholog pair with its genes' clusters",
     &P::pairAssignmentFile},
    {"outputFolder", K::OutputFolder, false, "folder for every output without a path of its own",
     &P::outputFolder},
    {"threads", K::Threads, false, "threads to work on (default: every hardware thread; same results for all)",
     &P::threads},
    {"duplicateIds", K::Choice, false,
     "rows sharing an identifier: keep (each its own gene), first, mean (one row each) or error", &P::duplicateIds},
    {"missingValues", K::Choice, false,
     "a value that is not a number: zero, dropGene (leave its gene out) or geneMean (its gene's mean)",
     &P::missingValues},
    {"minSD", K::Real, false, "preprocessing: smallest standard deviation of a gene's values as read", &P::minSD},
    {"minSD_hm", K::Real, false, "minSD for the human genes only", &P::minSD_hm},
    {"minSD_ms", K::Real, false, "minSD for the mouse genes only", &P::minSD_ms},
    {"topVariable", K::Real, false, "preprocessing: keep the N genes of largest standard deviation that pass",
     &P::topVariable},
    {"topVariable_hm", K::Real, false, "topVariable for the human genes only", &P::topVariable_hm},
    {"topVariable_ms", K::Real, false, "topVariable for the mouse genes only", &P::topVariable_ms},
    {"stripIdVersions", K::Switch, false, "\"yes\" matches identifiers without version suffixes such as .12",
     &P::stripIdVersions},
};

// The seed's range: every value the clock can give, and negatives modulo 2^32.
constexpr std::int64_t kLargestSeed = 0xffffffffLL;
constexpr std::int64_t kMostNegativeSeed = -0x80000000LL;

std::optional<std::uint32_t> seedFrom(std::string_view text, bool& inRange) {
    const std::int64_t value = parseWholeNumberPrefix(text).value;
    inRange = value >= kMostNegativeSeed && value <= kLargestSeed;
    const std::int64_t clamped = std::clamp(value, kMostNegativeSeed, kLargestSeed);
    return static_cast<std::uint32_t>(clamped);
}

// The most letters an unrecognised key may be off from the key it is taken for.
constexpr std::size_t kMostToleratedSlips = 3;
// Bytes of a key or value quoted in a warning.
constexpr std::size_t kQuotedBytes = 60;

std::string quoted(std::string_view text) {
    if (text.size() <= kQuotedBytes) return "\"" + std::string(text) + "\"";
    return "\"" + std::string(text.substr(0, kQuotedBytes)) + "...\"";
}

constexpr std::int64_t kInt32Lowest = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Highest = std::numeric_limits<std::int32_t>::max();

// Levenshtein distance over ASCII letters folded to lower case, so that a key
// written with other capitals is at distance 0; any distance beyond the most
// tolerated slips may come back as a smaller one that is still beyond them.
// `known` is a key of the table, short enough for the rows to live on the stack.
std::size_t editDistanceIgnoringCase(std::string_view text, std::string_view known) {
    constexpr std::size_t kRow = 64;
    if (known.size() >= kRow) return std::numeric_limits<std::size_t>::max();
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    std::array<std::size_t, kRow> previous{};
    std::array<std::size_t, kRow> current{};
    for (std::size_t j = 0; j <= known.size(); ++j) previous[j] = j;
    for (std::size_t i = 1; i <= text.size(); ++i) {
        current[0] = i;
        std::size_t rowLeast = i;
        for (std::size_t j = 1; j <= known.size(); ++j) {
            const std::size_t substitution = previous[j - 1] + (fold(text[i - 1]) == fold(known[j - 1]) ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
            rowLeast = std::min(rowLeast, current[j]);
        }
        // No later row is below this one's least entry: far keys are given up early.
        if (rowLeast > kMostToleratedSlips) return rowLeast;
        previous = current;
    }
    return previous[known.size()];
}

// The shortest text that reads back as the same double.
std::string shortestText(double value) {
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, written.ptr);
}

// A whole-number value with something after its digits: decimals are cut
// off, anything else is ignored.
std::string wholeNumberReading(std::string_view text, const std::string& used) {
    const WholeNumberPrefix number = parseWholeNumberPrefix(text);
    if (!number.hasDigits) return used + ": it does not start with a number";
    if (number.end == text.size()) return {};
    if (text[number.end] == '.') return used + ": a whole number is expected, so the decimals are cut off";
    return used + ": the text after the number is ignored";
}

// How a value that is not what its key expects is read, as "<value used>:
// <why>"; empty for a value read as written.
std::string lenientReading(const SettingDefinition& definition, const std::string& text) {
    switch (definition.kind) {
        case SettingKind::Switch:
            // "no" is as exact as "yes"; everything else that is not "yes" is a likely slip.
            if (text == "yes" || text == "no") return {};
            return "off: only \"yes\", in lower case, switches it on";
        case SettingKind::Real:
        case SettingKind::WholeReal: {
            const std::size_t end = decimalPrefixLength(text);
            const double value = parseDecimalPrefix(text);
            if (end == 0) return "0: it does not start with a number";
            if (end < text.size()) return shortestText(value) + ": the text after the number is ignored";
            if (definition.kind == SettingKind::WholeReal && std::isfinite(value) && value != std::trunc(value)) {
                return shortestText(value) + ", used as " + shortestText(std::trunc(value)) +
                       ": a whole number is expected, so the decimals are cut off";
            }
            return {};
        }
        case SettingKind::Count:
        case SettingKind::Threads:
            return wholeNumberReading(text, std::to_string(parseIntegerPrefix(text)));
        case SettingKind::Seed: {
            bool inRange = true;
            const std::optional<std::uint32_t> seed = seedFrom(text, inRange);
            return wholeNumberReading(text, std::to_string(*seed));
        }
        default:
            return {};
    }
}

const std::string* lookup(const ParameterTable& table, std::string_view key) {
    const auto found = table.find(std::string(key));
    return found == table.end() ? nullptr : &found->second;
}

// A blank list counts as absent, as a blank optional path does.
bool isBlank(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

void take(ParameterSetting& settings, const SettingDefinition& definition, const std::string& text) {
    std::visit(
        [&](auto member) {
            auto& value = settings.*member;
            using Value = std::remove_reference_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, std::string>) {
                value = text;
            } else if constexpr (std::is_same_v<Value, bool>) {
                value = text == "yes";
            } else if constexpr (std::is_same_v<Value, double> || std::is_same_v<Value, std::optional<double>>) {
                value = parseDecimalPrefix(text);
            } else if constexpr (std::is_same_v<Value, std::int32_t>) {
                value = parseIntegerPrefix(text);
            } else if constexpr (std::is_same_v<Value, std::vector<std::int32_t>>) {
                // A malformed list stays empty here; checkSettings reports it.
                Result<std::vector<std::int32_t>> list = parseKValueList(text);
                value = list ? std::move(*list) : std::vector<std::int32_t>{};
            } else {
                bool inRange = true;
                value = seedFrom(text, inRange);
            }
        },
        definition.field);
}

}  // namespace

const std::span<const SettingDefinition> kSettings(kSettingTable);

std::vector<std::int32_t> clusterCounts(const ParameterSetting& settings) {
    return isKSweep(settings) ? settings.kValues : std::vector<std::int32_t>{settings.k};
}

bool isKSweep(const ParameterSetting& settings) { return !settings.kValues.empty(); }

ParameterSetting settingsFromTable(const ParameterTable& table) {
    ParameterSetting settings;
    for (const SettingDefinition& definition : kSettings) {
        if (const std::string* text = lookup(table, definition.key)) take(settings, definition, *text);
    }
    return outputsInFolder(std::move(settings));
}

ParameterSetting outputsInFolder(ParameterSetting settings) {
    if (settings.outputFolder.empty()) return settings;
    struct StandardName {
        std::string P::*path;
        const char* name;
    };
    static constexpr StandardName kStandardNames[] = {
        {&P::outputFile_hm, "human_clusters.txt"},
        {&P::outputFile_ms, "mouse_clusters.txt"},
        {&P::k_by_k_output_clusters, "pair_clusters.txt"},
        {&P::gene_pair_result, "gene_pairs.txt"},
        {&P::assignmentFile_hm, "human_assignments.tsv"},
        {&P::assignmentFile_ms, "mouse_assignments.tsv"},
        {&P::pairTableFile, "pair_table.tsv"},
        {&P::pairAssignmentFile, "pair_assignments.tsv"},
        {&P::modelSelectionFile, "model_selection.tsv"},
        {&P::runRecordFile, "run_record.json"},
        {&P::reportFile, "report.html"},
    };
    const std::string folder =
        settings.outputFolder.back() == '/' ? settings.outputFolder : settings.outputFolder + '/';
    for (const StandardName& standard : kStandardNames) {
        std::string& path = settings.*standard.path;
        if (path.empty()) path = folder + standard.name;
    }
    return settings;
}

std::vector<std::string> unrecognisedKeys(const ParameterTable& table) {
    std::vector<std::string> unknown;
    for (const auto& entry : table) {
        const std::string& key = entry.first;
        const bool known = std::any_of(kSettings.begin(), kSettings.end(),
                                       [&](const SettingDefinition& definition) { return definition.key == key; });
        if (!known) unknown.push_back(key);
    }
    return unknown;
}

Status checkSettings(const ParameterSetting& settings, const ParameterTable& table, const std::string& path) {
    const std::string inFile = " in parameter file " + path;
    for (const SettingDefinition& definition : kSettings) {
        const std::string key(definition.key);
        const std::string* text = lookup(table, definition.key);
        // fopen and the number readers would stop at the NUL and use what stands before it.
        if (text && text->find('\0') != std::string::npos) {
            return Error{"The key " + key + " holds a NUL byte" + inFile +
                         ": save the file again as plain text or UTF-8"};
        }
        const bool given = text && !text->empty();
        if (const auto* member = std::get_if<std::string ParameterSetting::*>(&definition.field)) {
            if (definition.required && (settings.**member).empty()) {
                return Error{"The key " + key + " is missing or empty" + inFile};
            }
        } else if (definition.kind == SettingKind::Count ||
                   (definition.kind == SettingKind::Threads && given)) {
            // With a kValues list, k is not used; a malformed list is reported below, not a missing k.
            const std::string* kValues = lookup(table, "kValues");
            if (definition.field == SettingField(&P::k) && kValues && !isBlank(*kValues)) continue;
            if (!given) return Error{"The key " + key + " is missing or empty" + inFile};
            const std::int64_t written = parseWholeNumberPrefix(*text).value;
            if (written < kInt32Lowest || written > kInt32Highest) {
                return Error{"The key " + key + " must be a whole number from 1 to 2147483647" + inFile + " (it is " +
                             excerpt(*text) + ")"};
            }
            const std::int32_t value = settings.*std::get<std::int32_t ParameterSetting::*>(definition.field);
            if (value < 1) {
                return Error{"The key " + key + " must be at least 1" + inFile + " (it is " + std::to_string(value) +
                             ")"};
            }
        } else if (definition.kind == SettingKind::WholeReal) {
            const double value = settings.*std::get<double ParameterSetting::*>(definition.field);
            // The whole part is taken where the value is used; beyond 32 bits it has no value.
            if (!(value > kInt32Lowest - 1.0 && value < kInt32Highest + 1.0)) {
                return Error{"The key " + key + " must be from -2147483648 to 2147483647" + inFile + " (it is " +
                             excerpt(*text) + ")"};
            }
        } else if (definition.kind == SettingKind::Seed) {
            bool inRange = true;
            if (text) seedFrom(*text, inRange);
            if (!inRange) {
                return Error{"The key " + key + " must be a whole number from 0 to 4294967295" + inFile + " (it is " +
                             excerpt(*text) + ")"};
            }
        } else if (definition.kind == SettingKind::KList) {
            // settingsFromTable left a malformed list empty; only then is it read again, for the message.
            if (!text || isBlank(*text) || !settings.kValues.empty()) continue;
            if (Result<std::vector<std::int32_t>> list = parseKValueList(*text); !list) {
                return Error{"The key " + key + " must list whole numbers of at least 1 and ranges such as 5, 8, " +
                             "10-30:5" + inFile + ": " + list.error().message};
            }
        }
    }
    return okStatus();
}

std::string_view closestKey(std::string_view unknown) {
    std::string_view best;
    std::size_t bestDistance = std::numeric_limits<std::size_t>::max();
    for (const SettingDefinition& definition : kSettings) {
        // The lengths alone put such a key beyond every tolerance, however long the line.
        const std::size_t longer = std::max(unknown.size(), definition.key.size());
        if (longer - std::min(unknown.size(), definition.key.size()) > kMostToleratedSlips) continue;
        const std::size_t distance = editDistanceIgnoringCase(unknown, definition.key);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = definition.key;
        }
    }
    // Short keys tolerate fewer slips, so that "x" is not taken for "k".
    const std::size_t tolerated =
        best.size() <= 2 ? 0 : best.size() <= 5 ? 1 : best.size() <= 12 ? 2 : kMostToleratedSlips;
    return bestDistance <= tolerated ? best : std::string_view();
}

std::vector<std::string> parameterWarnings(const ParameterTable& table, const std::string& path) {
    std::vector<std::string> warnings;
    const std::string inFile = " in parameter file " + path;
    for (const std::string& key : unrecognisedKeys(table)) {
        std::string warning = "unrecognised key " + quoted(key) + inFile + " (keys are case-sensitive)";
        const std::string_view suggestion = closestKey(key);
        if (!suggestion.empty()) {
            warning += "; did you mean \"" + std::string(suggestion) + "\"?";
        } else if (key.find('#') != std::string::npos) {
            warning += "; there is no comment syntax, a line without \"=\" is the way to leave a remark";
        }
        warnings.push_back(std::move(warning));
    }
    for (const SettingDefinition& definition : kSettings) {
        const std::string* text = lookup(table, definition.key);
        if (!text || text->find('\0') != std::string::npos) continue;
        // An empty number is read as 0, which deserves the word any other non-number gets;
        // other empty values count as absent, or are reported missing by the check.
        const bool readAsZero = definition.kind == SettingKind::Real || definition.kind == SettingKind::WholeReal ||
                                definition.kind == SettingKind::Seed;
        if (text->empty() && !readAsZero) continue;
        std::string warning = lenientReading(definition, *text);
        const bool hasHash = text->find('#') != std::string::npos;
        if (warning.empty() && !hasHash) continue;
        const std::string value = "the value " + quoted(*text) + " of the key " + std::string(definition.key) + inFile;
        if (warning.empty()) {
            warning = value + " contains \"#\"";
        } else {
            warning = value + " is read as " + warning;
        }
        if (hasHash) warning += "; there is no comment syntax, so \"#\" and what follows are part of the value";
        warnings.push_back(std::move(warning));
    }
    return warnings;
}

PreprocessingThresholds humanThresholds(const ParameterSetting& settings) {
    return {settings.CVThr_hm.value_or(settings.CVThr),
            settings.maxExpr_hm.value_or(settings.maxExpr),
            settings.CVThr_hm ? "CVThr_hm" : "CVThr",
            settings.maxExpr_hm ? "maxExpr_hm" : "maxExpr",
            settings.minSD_hm ? settings.minSD_hm : settings.minSD,
            settings.topVariable_hm ? settings.topVariable_hm : settings.topVariable,
            settings.minSD_hm ? "minSD_hm" : "minSD",
            settings.topVariable_hm ? "topVariable_hm" : "topVariable"};
}

PreprocessingThresholds mouseThresholds(const ParameterSetting& settings) {
    return {settings.CVThr_ms.value_or(settings.CVThr),
            settings.maxExpr_ms.value_or(settings.maxExpr),
            settings.CVThr_ms ? "CVThr_ms" : "CVThr",
            settings.maxExpr_ms ? "maxExpr_ms" : "maxExpr",
            settings.minSD_ms ? settings.minSD_ms : settings.minSD,
            settings.topVariable_ms ? settings.topVariable_ms : settings.topVariable,
            settings.minSD_ms ? "minSD_ms" : "minSD",
            settings.topVariable_ms ? "topVariable_ms" : "topVariable"};
}

std::string settingsHelp() {
    std::string text;
    for (const SettingDefinition& definition : kSettings) {
        std::string line = "  " + std::string(definition.key);
        line.resize(std::max<std::size_t>(line.size() + 2, 26), ' ');
        text += line + std::string(definition.help) + (definition.required ? "" : " (optional)") + "\n";
    }
    return text;
}

std::string settingAsJson(const ParameterSetting& settings, const SettingDefinition& definition) {
    std::string out;
    std::visit(
        [&](auto member) {
            const auto& value = settings.*member;
            using Value = std::remove_cv_t<std::remove_reference_t<decltype(value)>>;
            if constexpr (std::is_same_v<Value, std::string>) {
                appendJsonString(out, value);
            } else if constexpr (std::is_same_v<Value, bool>) {
                out = value ? "true" : "false";
            } else if constexpr (std::is_same_v<Value, double>) {
                appendJsonNumber(out, value);
            } else if constexpr (std::is_same_v<Value, std::optional<double>>) {
                if (value) {
                    appendJsonNumber(out, *value);
                } else {
                    out = "null";
                }
            } else if constexpr (std::is_same_v<Value, std::int32_t>) {
                out = std::to_string(value);
            } else if constexpr (std::is_same_v<Value, std::vector<std::int32_t>>) {
                out = "[";
                for (std::size_t i = 0; i < value.size(); ++i) out += (i ? ", " : "") + std::to_string(value[i]);
                out += "]";
            } else {
                out = value ? std::to_string(*value) : "null";
            }
        },
        definition.field);
    return out;
}

}  // namespace orthomix
