#include "driver/inputs/input_choices.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "driver/inputs/input_messages.h"
#include "support/number_format.h"

namespace orthomix {

std::vector<std::string_view> choicesOf(std::string_view key) {
    if (key == "duplicateIds") return {"keep", "first", "mean", "error"};
    if (key == "missingValues") return {"zero", "dropGene", "geneMean"};
    return {};
}

Status checkChoices(const ParameterSetting& settings, const std::string& path) {
    for (const SettingDefinition& definition : kSettings) {
        if (definition.kind != SettingKind::Choice) continue;
        const std::string& value = settings.*std::get<std::string ParameterSetting::*>(definition.field);
        const std::vector<std::string_view> words = choicesOf(definition.key);
        if (value.empty() || std::find(words.begin(), words.end(), value) != words.end()) continue;
        std::string list;
        for (std::size_t w = 0; w < words.size(); ++w) {
            list += std::string(w == 0 ? "" : w + 1 == words.size() ? " or " : ", ") + std::string(words[w]);
        }
        return Error{"The key " + std::string(definition.key) + " must be " + list + " in parameter file " + path +
                     " (it is \"" + value + "\")"};
    }
    return okStatus();
}

OrganismData settleMissingValues(ExpressionFile file, const ParameterSetting& settings, const std::string& path,
                                 Reporter& reporter, std::optional<std::size_t>& genesDropped) {
    const std::string& rule = settings.missingValues;
    if (rule == "dropGene") genesDropped = 0;
    if (file.nonNumericFields == 0) return std::move(file.data);
    reporter.warning(nonNumericWarning(file, path, rule));
    const MissingValues missing = rule == "dropGene"   ? MissingValues::DropGene
                                  : rule == "geneMean" ? MissingValues::GeneMean
                                                       : MissingValues::Zero;
    const std::size_t read = file.data.geneCount();
    const std::size_t dropped = settleMissingValues(file.data, file.nonNumericCells, missing);
    if (missing == MissingValues::DropGene) {
        genesDropped = dropped;
        reporter.note("missingValues = dropGene left out " + std::to_string(dropped) + " of the " +
                      std::to_string(read) + " genes of " + path + ": each holds a value that is not a number");
    }
    return std::move(file.data);
}

Status checkVarianceKeys(const ParameterSetting& settings, const std::string& path) {
    // Beyond 2^53 a double holds whole numbers only, and no file has that many genes.
    constexpr double kLargest = 9007199254740992.0;
    const std::pair<const char*, const std::optional<double>*> keys[] = {
        {"topVariable", &settings.topVariable},
        {"topVariable_hm", &settings.topVariable_hm},
        {"topVariable_ms", &settings.topVariable_ms}};
    for (const auto& [key, value] : keys) {
        if (!*value) continue;
        const double n = **value;
        if (n >= 1.0 && n <= kLargest && n == std::trunc(n)) continue;
        return Error{"The key " + std::string(key) + " must be a whole number of at least 1 in parameter file " + path +
                     " (it is " + formatNumber(n) + ")"};
    }
    return okStatus();
}

VarianceFilter varianceFilterOf(const PreprocessingThresholds& thresholds) {
    VarianceFilter filter;
    filter.minDeviation = thresholds.minSD;
    if (thresholds.topVariable) filter.mostVariable = static_cast<std::size_t>(*thresholds.topVariable);
    return filter;
}

void reportOrthologMatching(const OrthologMatchSummary& summary, const ParameterSetting& settings,
                            Reporter& reporter) {
    const OrthologMatchLine line = orthologMatchLine(summary, settings);
    if (line.warning) {
        reporter.warning(line.text);
    } else {
        reporter.note(line.text);
    }
}

void reportDateLikeIdentifiers(const std::vector<std::string>& identifiers, const std::string& path,
                               Reporter& reporter) {
    const DateLikeIdentifiers found = dateLikeIdentifiers(identifiers);
    if (found.count > 0) reporter.warning(dateLikeIdentifiersWarning(found, path));
}

Result<OrganismData> settleRepeatedRows(OrganismData organism, const ParameterSetting& settings,
                                        const std::string& path, Reporter& reporter) {
    const RepeatedIdentifiers repeated = repeatedIdentifiers(organism.identifiers);
    if (!repeated.any()) return organism;
    const std::string& rule = settings.duplicateIds;
    if (rule == "error") return repeatedRowsError(repeated, path);
    reporter.warning(repeatedRowsWarning(repeated, path, rule));
    if (rule == "first") return mergeRepeatedRows(organism, RepeatedRows::First);
    if (rule == "mean") return mergeRepeatedRows(organism, RepeatedRows::Mean);
    return organism;
}

}  // namespace orthomix
