#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/settings/settings.h"
#include "io/expression_reader.h"
#include "model/preprocessing.h"
#include "records/identifiers.h"
#include "records/missing_values.h"
#include "records/orthologs.h"
#include "support/error.h"
#include "support/reporter.h"

namespace orthomix {

// The words a key of kind Choice accepts, the default first; empty for any other key.
std::vector<std::string_view> choicesOf(std::string_view key);

// Every Choice key holds one of its words (an empty value counts as the
// default); the message names the key, the words and the parameter file.
Status checkChoices(const ParameterSetting& settings, const std::string& path);

// Each topVariable key that is given holds a whole number of at least 1.
Status checkVarianceKeys(const ParameterSetting& settings, const std::string& path);

// The variance filter of one organism's preprocessing.
VarianceFilter varianceFilterOf(const PreprocessingThresholds& thresholds);

// The expression data read from `path` with missingValues applied to its
// fields that hold no number, with a warning about them; genesDropped is set
// (0 when none) whenever the rule is dropGene.
OrganismData settleMissingValues(ExpressionFile file, const ParameterSetting& settings, const std::string& path,
                                 Reporter& reporter, std::optional<std::size_t>& genesDropped);

// How the ortholog pairs matched, on every run that resolves them: one line,
// a warning when more than one pair in ten is lost, a note otherwise.
void reportOrthologMatching(const OrthologMatchSummary& summary, const ParameterSetting& settings,
                            Reporter& reporter);

// A warning when identifiers of the file look like spreadsheet dates.
void reportDateLikeIdentifiers(const std::vector<std::string>& identifiers, const std::string& path,
                               Reporter& reporter);

// The expression data read from `path` with duplicateIds applied to its
// repeated identifiers, with a warning about them; duplicateIds = error stops.
Result<OrganismData> settleRepeatedRows(OrganismData organism, const ParameterSetting& settings,
                                        const std::string& path, Reporter& reporter);

}  // namespace orthomix
