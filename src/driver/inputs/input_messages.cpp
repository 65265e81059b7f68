#include "driver/inputs/input_messages.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "support/number_format.h"

namespace orthomix {
namespace {

// Preprocessing that keeps fewer than one gene in this many is worth a warning.
constexpr std::size_t kFewKeptDivisor = 10;
// Bytes of a field quoted in a warning.
constexpr std::size_t kQuotedBytes = 40;

std::string quoted(const std::string& text) {
    return "\"" + (text.size() <= kQuotedBytes ? text : text.substr(0, kQuotedBytes) + "...") + "\"";
}

// " (for example human "a", mouse "b")" for the examples that are set.
std::string examples(const std::string& human, const std::string& mouse) {
    std::string text;
    if (!human.empty()) text += "human " + quoted(human);
    if (!mouse.empty()) text += (text.empty() ? "" : ", ") + std::string("mouse ") + quoted(mouse);
    return " (for example " + text + ")";
}

// Why entries matched no pair of present genes.
std::string unmatchedBreakdown(const OrthologMatchSummary& summary) {
    std::string text;
    if (summary.namingAbsentGene > 0) {
        text += std::to_string(summary.namingAbsentGene) + " name an identifier that its data file does not have" +
                examples(summary.absentHumanExample, summary.absentMouseExample);
    }
    if (summary.namingDroppedGene > 0) {
        text += std::string(text.empty() ? "" : ", ") + std::to_string(summary.namingDroppedGene) +
                " name a gene that preprocessing dropped" +
                examples(summary.droppedHumanExample, summary.droppedMouseExample);
    }
    return text;
}

// The entries that would match without version suffixes, when there are any.
std::string versionHint(const OrthologMatchSummary& summary) {
    if (summary.matchableWithoutVersions == 0) return {};
    return "; " + std::to_string(summary.matchableWithoutVersions) +
           " of them would match without a version suffix (such as " + quoted(summary.versionExample) +
           "): stripIdVersions = yes matches identifiers so";
}

}  // namespace

Error withFolderHint(Error error, const std::string& path, const std::string& parameterPath) {
    namespace fs = std::filesystem;
    std::error_code ignored;
    const fs::path folder = fs::path(parameterPath).parent_path();
    if (path.empty() || fs::path(path).is_absolute() || folder.empty() || fs::exists(path, ignored)) return error;
    const fs::path beside = folder / path;
    if (!fs::is_regular_file(beside, ignored)) return error;
    error.message += " (paths in the parameter file are taken from the current folder, not from the parameter "
                     "file's folder; did you mean " + beside.string() + "?)";
    return error;
}

std::string nonNumericWarning(const ExpressionFile& file, const std::string& path, const std::string& rule) {
    if (file.nonNumericFields == 0) return {};
    const std::string reading = rule == "dropGene"   ? "their genes were left out (missingValues = dropGene)"
                                : rule == "geneMean" ? "were read as the mean of their gene's other values "
                                                       "(missingValues = geneMean)"
                                                     : "were read as 0";
    std::string warning = std::to_string(file.nonNumericFields) + " value fields of " + path +
                          " are not numbers and " + reading + " (the first on line " +
                          std::to_string(file.firstNonNumericLine) + ", column " +
                          std::to_string(file.firstNonNumericColumn) + ": " + quoted(file.firstNonNumericText) + ")";
    if (rule != "dropGene" && rule != "geneMean") {
        warning += "; missingValues = dropGene leaves such genes out, geneMean reads the mean of the gene's other "
                   "values";
    }
    return warning;
}

namespace {

// "3 lines of f.txt repeat an identifier of an earlier line (2 identifiers, such as "a", "b")"
std::string repeatsText(const RepeatedIdentifiers& repeated, const std::string& path, const char* rows,
                        const char* what) {
    std::string text = std::to_string(repeated.repeatRows) + " " + rows + " of " + path + " repeat " + what +
                       " of an earlier one (" + std::to_string(repeated.identifiers) + " on several, such as ";
    for (std::size_t e = 0; e < repeated.examples.size(); ++e) text += (e ? ", " : "") + quoted(repeated.examples[e]);
    return text + ")";
}

}  // namespace

std::string repeatedRowsWarning(const RepeatedIdentifiers& repeated, const std::string& path,
                                const std::string& rule) {
    const std::string text = repeatsText(repeated, path, "rows", "the identifier");
    if (rule == "first") return text + ": the first row of each identifier is kept (duplicateIds = first)";
    if (rule == "mean") return text + ": each identifier is one row, the mean of its rows (duplicateIds = mean)";
    return text + ": each row is clustered as a gene of its own, and an ortholog pair naming the identifier "
                  "refers to its first row (duplicateIds = first, mean or error to treat them otherwise)";
}

Error repeatedRowsError(const RepeatedIdentifiers& repeated, const std::string& path) {
    return Error{repeatsText(repeated, path, "rows", "the identifier") +
                 ", and duplicateIds = error stops the run: make the identifiers unique, or set duplicateIds to "
                 "keep, first or mean"};
}

std::string repeatedAnnotationsWarning(const RepeatedIdentifiers& repeated, const std::string& path) {
    return repeatsText(repeated, path, "lines", "the identifier") + ": the last line of each identifier is used";
}

std::string headerWithoutCornerNote(const ExpressionFile& file, const std::string& path) {
    return "the header of " + path + " names " + std::to_string(file.data.sampleCount()) +
           " samples and every gene line holds an identifier and " + std::to_string(file.data.sampleCount()) +
           " values: the header has no cell over the identifiers, so each of its names is read as a sample";
}

std::string preprocessingWarning(const PreprocessingCounts& counts, const std::string& organism,
                                 const PreprocessingThresholds& thresholds) {
    const bool fewKept = counts.kept * kFewKeptDivisor < counts.read;
    if (!fewKept && counts.notFinite == 0) return {};
    std::string warning = "preprocessing kept " + std::to_string(counts.kept) + " of the " +
                          std::to_string(counts.read) + " " + organism + " genes" + (fewKept ? " (under 10 %)" : "") +
                          ": " + std::to_string(counts.belowVariation) + " have a coefficient of variation below " +
                          std::string(thresholds.cvKey) + " = " + formatNumber(thresholds.cv) + ", " +
                          std::to_string(counts.belowMaximum) + " a largest value below " +
                          std::string(thresholds.maxExprKey) + " = " + formatNumber(thresholds.maxExpr) + ", " +
                          std::to_string(counts.constant) + " are constant";
    if (counts.notFinite > 0) {
        warning += ", " + std::to_string(counts.notFinite) + " have a mean or standard deviation that is not finite";
    }
    if (fewKept) {
        const std::string suffix = organism == "human" ? "_hm" : "_ms";
        warning += " (for data centred on 0 the coefficient of variation is negative or huge; CVThr" + suffix +
                   " and maxExpr" + suffix + " set thresholds for the " + organism + " genes alone)";
    }
    return warning;
}

std::string varianceFilterNote(const PreprocessingCounts& counts, const std::string& organism,
                               const PreprocessingThresholds& thresholds) {
    if (!thresholds.minSD && !thresholds.topVariable) return {};
    std::string note = "preprocessing kept " + std::to_string(counts.kept) + " of the " + std::to_string(counts.read) +
                       " " + organism + " genes";
    if (thresholds.minSD) {
        note += "; " + std::to_string(counts.belowDeviation) + " have a standard deviation below " +
                std::string(thresholds.minSDKey) + " = " + formatNumber(*thresholds.minSD);
    }
    if (thresholds.topVariable) {
        note += "; " + std::to_string(counts.beyondTop) + " passed every test but are not among the " +
                std::string(thresholds.topVariableKey) + " = " +
                std::to_string(static_cast<std::size_t>(*thresholds.topVariable)) +
                " most variable";
    }
    return note;
}

Error noMatchedOrthologsError(const OrthologMatchSummary& summary, const std::string& path) {
    std::string message = "No entry of the ortholog file " + path + " names two genes of the data files: ";
    if (summary.entries == 0) return Error{message + "it has no entries"};
    message += unmatchedBreakdown(summary) + versionHint(summary);
    if (summary.namingAbsentGene > 0) {
        message += "; check that its identifiers are those of the expression files' first columns";
    }
    if (summary.namingDroppedGene > 0) message += "; preprocessing may be too strict for one organism";
    return Error{message};
}

std::string fewMatchedOrthologsWarning(const OrthologMatchSummary& summary, const std::string& path) {
    return "only " + std::to_string(summary.matched) + " of the " + std::to_string(summary.entries) +
           " entries of the ortholog file " + path + " name two present genes: " + unmatchedBreakdown(summary) +
           versionHint(summary);
}

std::string orthologMatchNote(const OrthologMatchSummary& summary, const std::string& path) {
    std::string note = path + ": " + std::to_string(summary.entries) + " ortholog pairs, " +
                       std::to_string(summary.matched) + " with both genes present and kept";
    if (summary.matched < summary.entries) note += "; " + unmatchedBreakdown(summary) + versionHint(summary);
    return note;
}

std::string dateLikeIdentifiersWarning(const DateLikeIdentifiers& found, const std::string& path) {
    return std::to_string(found.count) + " identifiers of " + path + " look like dates (such as " +
           quoted(found.example) + "), which a spreadsheet makes of gene names such as MARCH1 or SEPT2: they match "
           "no other file; export the table again with that column formatted as text";
}

std::string sparsePairTableWarning(std::int32_t k, const Dataset& data) {
    // Most cells of such a table hold no pair, and every iteration costs k * k per pair.
    const std::int64_t cells = std::int64_t{k} * k;
    const std::size_t pairs = data.orthologs.pairs.size();
    const auto genes = static_cast<std::int64_t>(std::min(data.human.geneCount(), data.mouse.geneCount()));
    if (cells <= static_cast<std::int64_t>(pairs) || k > genes) return {};
    return "k = " + std::to_string(k) + " gives " + std::to_string(cells) +
           " cells in the cluster-pair table, more than the " + std::to_string(pairs) +
           " ortholog pairs whose genes are both kept: most cells can hold no pair, and each iteration takes time "
           "in proportion to k x k (a smaller k runs faster)";
}

}  // namespace orthomix
