#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/settings/settings.h"
#include "io/expression_reader.h"
#include "model/preprocessing.h"
#include "records/identifiers.h"
#include "records/orthologs.h"
#include "records/dataset.h"
#include "support/error.h"

namespace orthomix {

// The messages a run gives about its input files and the data they hold.
// Warnings are returned without "warning: "; an empty text means none.

// Adds to the error of an input that could not be read the file of that name
// next to the parameter file, when the path is relative, names nothing from
// the current folder, and does name a file from the parameter file's folder.
Error withFolderHint(Error error, const std::string& path, const std::string& parameterPath);

// How many value fields of an expression file hold no number, the first of
// them, and what the rule (the value of missingValues) made of them.
std::string nonNumericWarning(const ExpressionFile& file, const std::string& path, const std::string& rule = "zero");

// The header named the samples alone, and every sample was read under its own name.
std::string headerWithoutCornerNote(const ExpressionFile& file, const std::string& path);

// Rows of an expression file whose identifier an earlier row has, and what
// the rule (the value of duplicateIds) made of them.
std::string repeatedRowsWarning(const RepeatedIdentifiers& repeated, const std::string& path,
                                const std::string& rule);
Error repeatedRowsError(const RepeatedIdentifiers& repeated, const std::string& path);

// Identifiers of an annotation file on several lines; the last line wins.
std::string repeatedAnnotationsWarning(const RepeatedIdentifiers& repeated, const std::string& path);

// Why preprocessing dropped genes, when it kept fewer than one in ten of an
// organism's genes or dropped genes whose statistics are not finite.
std::string preprocessingWarning(const PreprocessingCounts& counts, const std::string& organism,
                                 const PreprocessingThresholds& thresholds);

// What the variance filters left out of an organism's genes; empty without them.
std::string varianceFilterNote(const PreprocessingCounts& counts, const std::string& organism,
                               const PreprocessingThresholds& thresholds);

// No entry of the ortholog file names two present genes: why, with examples.
Error noMatchedOrthologsError(const OrthologMatchSummary& summary, const ParameterSetting& settings);

// The line on how the entries of the ortholog file matched the genes of the
// run: the counts, each cause of the lost entries with an example, and how
// versioned identifiers match. A warning, with what to check, when more than
// one entry in ten is lost, whatever the cause; a note otherwise.
struct OrthologMatchLine {
    bool warning = false;
    std::string text;
};
OrthologMatchLine orthologMatchLine(const OrthologMatchSummary& summary, const ParameterSetting& settings);

// Lines of the ortholog file that repeat the pair of an earlier line.
std::string repeatedOrthologPairsWarning(const RepeatedIdentifiers& repeated, const std::string& path);

// Identifiers of a file that look like dates a spreadsheet made of gene names.
std::string dateLikeIdentifiersWarning(const DateLikeIdentifiers& found, const std::string& path);

// A cluster-pair table with more cells than ortholog pairs; none when k is
// larger than an organism's genes, which stops the run anyway.
std::string sparsePairTableWarning(std::int32_t k, const Dataset& data);

}  // namespace orthomix
