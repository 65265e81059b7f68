#include "driver/settings.h"

#include <algorithm>

#include "io/number_parsing.h"
#include "support/json_writer.h"

namespace orthomix {

using P = ParameterSetting;
using K = SettingKind;

const std::array<SettingDefinition, 23> kSettings = {{
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
    {"k", K::Count, true, "clusters per organism (at least 1)", &P::k},
    {"nMaxAlgRun", K::Count, true, "repetitions from random starts (at least 1)", &P::nMaxAlgRun},
    {"stoppingThr", K::Real, false, "relative spread change that counts as converged", &P::stoppingThr},
    {"psudo_uniform_counts", K::Real, false, "pseudo count of the scatter probability", &P::psudo_uniform_counts},
    {"seed", K::Seed, false, "fixed random seed, 0 to 4294967295 (default: the clock)", &P::seed},
    {"fastDensity", K::Switch, false, "\"yes\": E-step in the log domain (faster, not bit-identical)",
     &P::fastDensity},
    {"runRecordFile", K::OutputPath, false, "JSON record of the run, also written when it fails", &P::runRecordFile},
    {"assignmentFile_hm", K::OutputPath, false, "table of every kept human gene's cluster", &P::assignmentFile_hm},
    {"assignmentFile_ms", K::OutputPath, false, "table of every kept mouse gene's cluster", &P::assignmentFile_ms},
    {"verbose", K::Switch, false, "\"yes\" reports every EM iteration on standard error", &P::verbose},
    {"threads", K::Threads, false, "threads to work on (default: every hardware thread; same results for all)",
     &P::threads},
}};

namespace {

// The seed's range: every value the clock can give, and negatives modulo 2^32.
constexpr std::int64_t kLargestSeed = 0xffffffffLL;
constexpr std::int64_t kMostNegativeSeed = -0x80000000LL;

std::optional<std::uint32_t> seedFrom(std::string_view text, bool& inRange) {
    const std::int64_t value = parseWholeNumberPrefix(text).value;
    inRange = value >= kMostNegativeSeed && value <= kLargestSeed;
    const std::int64_t clamped = std::clamp(value, kMostNegativeSeed, kLargestSeed);
    return static_cast<std::uint32_t>(clamped);
}

const std::string* lookup(const ParameterTable& table, std::string_view key) {
    const auto found = table.find(std::string(key));
    return found == table.end() ? nullptr : &found->second;
}

void take(ParameterSetting& settings, const SettingDefinition& definition, const std::string& text) {
    std::visit(
        [&](auto member) {
            auto& value = settings.*member;
            using Value = std::remove_reference_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, std::string>) {
                value = text;
            } else if constexpr (std::is_same_v<Value, bool>) {
                value = text == "yes";
            } else if constexpr (std::is_same_v<Value, double>) {
                value = parseDecimalPrefix(text);
            } else if constexpr (std::is_same_v<Value, std::int32_t>) {
                value = parseIntegerPrefix(text);
            } else {
                bool inRange = true;
                value = seedFrom(text, inRange);
            }
        },
        definition.field);
}

}  // namespace

ParameterSetting settingsFromTable(const ParameterTable& table) {
    ParameterSetting settings;
    for (const SettingDefinition& definition : kSettings) {
        if (const std::string* text = lookup(table, definition.key)) take(settings, definition, *text);
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
        if (const auto* member = std::get_if<std::string ParameterSetting::*>(&definition.field)) {
            if (definition.required && (settings.**member).empty()) {
                return Error{"The key " + key + " is missing or empty" + inFile};
            }
        } else if (definition.kind == SettingKind::Count ||
                   (definition.kind == SettingKind::Threads && lookup(table, definition.key))) {
            const std::int32_t value = settings.*std::get<std::int32_t ParameterSetting::*>(definition.field);
            if (value < 1) {
                return Error{"The key " + key + " must be at least 1" + inFile + " (it is " + std::to_string(value) +
                             ")"};
            }
        } else if (definition.kind == SettingKind::Seed) {
            const std::string* text = lookup(table, definition.key);
            bool inRange = true;
            if (text) seedFrom(*text, inRange);
            if (!inRange) {
                return Error{"The key " + key + " must be a whole number from 0 to 4294967295" + inFile + " (it is " +
                             *text + ")"};
            }
        }
    }
    return okStatus();
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
            } else if constexpr (std::is_same_v<Value, std::int32_t>) {
                out = std::to_string(value);
            } else {
                out = value ? std::to_string(*value) : "null";
            }
        },
        definition.field);
    return out;
}

}  // namespace orthomix
