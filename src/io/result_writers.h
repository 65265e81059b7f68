#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/atomic_file.h"

namespace orthomix {

// One line of a membership file: a gene (or a gene pair, whose values are the
// human values followed by the mouse values).
struct MembershipRow {
    std::string_view name;
    std::string_view annotation;
    std::span<const double> values;
    std::span<const double> moreValues;  // empty except for gene pairs
};
using MembershipCluster = std::vector<MembershipRow>;

// Header "probe set", "NAME", the column names; then each cluster's rows
// (name, annotation, values), clusters separated by three "NONE" lines.
void writeMembershipFile(AtomicOutputFile& out, const std::vector<MembershipCluster>& clusters,
                         const std::vector<std::string>& columnNames);

// One ortholog pair with the cluster numbers of its genes.
struct GenePairLine {
    std::string_view human;
    std::string_view mouse;
    std::int32_t humanCluster = 0;
    std::int32_t mouseCluster = 0;
};

// One line per pair: "  <H, M>--->\t[i,j]".
void writeGenePairResultFile(AtomicOutputFile& out, const std::vector<GenePairLine>& pairs);

// One cell of the cluster-pair table, or (both clusters -1) the scatter group.
struct PairTableRow {
    std::int32_t humanCluster = -1;
    std::int32_t mouseCluster = -1;
    std::int64_t pairs = 0;
    double fittedProbability = 0.0;
    double expectedPairs = 0.0;         // NaN: not defined (scatter, or no pairs in the row or column)
    double observedOverExpected = 0.0;  // NaN: not defined
    double pValue = 0.0;                // enrichment p-value of the cell; NaN: not defined
    double qValue = 0.0;                // its q-value over all cells; NaN: not defined
};

// A header, then one tab-separated line per row; the scatter row shows
// "scatter" in both cluster columns, and an undefined number is left empty.
void writePairTableFile(AtomicOutputFile& out, const std::vector<PairTableRow>& rows);

// One ortholog pair whose two genes are kept, with both genes and their
// clusters (-1: in no cluster) and posteriors (NaN: none).
struct PairAssignmentRow {
    std::string_view humanId;
    std::string_view humanAnnotation;
    std::string_view mouseId;
    std::string_view mouseAnnotation;
    std::int32_t humanCluster = -1;
    std::int32_t mouseCluster = -1;
    double humanPosterior = 0.0;
    double mousePosterior = 0.0;
    bool significantPartners = false;  // the pair's cell has q below the partner threshold
};

// A header, then one tab-separated line per pair: a gene in no cluster shows
// "scatter" as its cluster, and the pair's cell is "<human>,<mouse>" or
// "scatter"; a missing posterior is left empty; the last column is "yes" or "no".
void writePairAssignmentFile(AtomicOutputFile& out, const std::vector<PairAssignmentRow>& rows);

// The outcome of one k of a sweep.
struct ModelSelectionRow {
    std::int32_t k = 0;
    bool completed = false;  // false: the k gave no clustering, and only the counts and seconds are known
    std::int32_t repetitionsAccepted = 0;
    std::int32_t attemptsRejected = 0;
    double logLikelihood = 0.0;
    std::int64_t parameters = 0;
    double bic = 0.0;
    int iterations = 0;  // EM iterations of the kept repetition
    double seconds = 0.0;
    bool selected = false;
    double icl = 0.0;  // the BIC penalised for uncertain assignments; lower is better
    // Mean adjusted Rand index between the kept repetition and every other
    // accepted one, per organism; none with a single repetition.
    std::optional<double> humanStability;
    std::optional<double> mouseStability;
};

// A header, then one tab-separated line per k. Likelihood and BIC are written
// with as many digits as read back exactly, seconds to the millisecond.
void writeModelSelectionFile(AtomicOutputFile& out, const std::vector<ModelSelectionRow>& rows);

}  // namespace orthomix
