#include "driver/inputs/input_messages.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "support/number_format.h"

namespace orthomix {
namespace {

// Preprocessing that keeps fewer than one gene in this many is worth a warning.
constexpr std::size_t kFewKeptDivisor = 10;
// Losing more than one ortholog pair in this many is worth a warning, and a
// cause that loses so many alone is worth a word on what to check.
constexpr std::size_t kLostPairsDivisor = 10;
// Bytes of a field quoted in a warning.
constexpr std::size_t kQuotedBytes = 40;

std::string quoted(const std::string& text) {
    return "\"" + (text.size() <= kQuotedBytes ? text : text.substr(0, kQuotedBytes) + "...") + "\"";
}

// Why the entries that are lost matched no pair of present genes: the count
// of each cause that occurs, with an example of it.
std::string unmatchedBreakdown(const OrthologMatchSummary& summary, const ParameterSetting& settings) {
    std::vector<std::string> causes;
    const auto add = [&](std::size_t count, const std::string& cause, const std::string& example) {
        if (count == 0) return;
        causes.push_back(std::to_string(count) + (causes.empty() ? " name " : " ") + cause + " (such as " + example +
                         ")");
    };
    add(summary.namingAbsentHuman, "a human identifier that " + settings.dataFile_hm + " does not have",
        quoted(summary.absentHumanExample));
    add(summary.namingAbsentMouse, "a mouse identifier that " + settings.dataFile_ms + " does not have",
        quoted(summary.absentMouseExample));
    add(summary.namingDroppedGene, "a gene that preprocessing left out",
        summary.droppedHumanExample.empty() ? "mouse " + quoted(summary.droppedMouseExample)
                                            : "human " + quoted(summary.droppedHumanExample));
    std::string text;
    for (std::size_t c = 0; c < causes.size(); ++c) text += (c == 0 ? "" : ", ") + causes[c];
    return text;
}

// The entries that would match without version suffixes, when there are any.
std::string versionHint(const OrthologMatchSummary& summary) {
    if (summary.matchableWithoutVersions == 0) return {};
    return "; " + std::to_string(summary.matchableWithoutVersions) +
           " of them would match without a version suffix (such as " + quoted(summary.versionExample) +
           "): stripIdVersions = yes matches identifiers so";
}

// More than one entry in ten.
bool manyOf(std::size_t count, std::size_t entries) { return count * kLostPairsDivisor > entries; }

// What to look at for each cause that alone loses more than one entry in ten.
std::string orthologAdvice(const OrthologMatchSummary& summary) {
    std::string advice;
    if (manyOf(summary.namingAbsentGene(), summary.entries)) {
        advice += "; check that the ortholog file's identifiers are those of the expression files' first columns";
    }
    if (manyOf(summary.namingDroppedGene, summary.entries)) {
        advice += "; preprocessing may be too strict for one organism";
    }
    return advice;
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

// "3 lines of f.txt repeat the identifier of an earlier one (2 on several, such as "a", "b")";
// `row` is the singular noun, "1 line of f.txt repeats ..." for one.
std::string repeatsText(const RepeatedIdentifiers& repeated, const std::string& path, const char* row,
                        const char* what) {
    const bool one = repeated.repeatRows == 1;
    std::string text = std::to_string(repeated.repeatRows) + " " + row + (one ? "" : "s") + " of " + path +
                       (one ? " repeats " : " repeat ") + what + " of an earlier one (" +
                       std::to_string(repeated.identifiers) + " on several, such as ";
    for (std::size_t e = 0; e < repeated.examples.size(); ++e) text += (e ? ", " : "") + quoted(repeated.examples[e]);
    return text + ")";
}

}  // namespace

std::string repeatedRowsWarning(const RepeatedIdentifiers& repeated, const std::string& path,
                                const std::string& rule) {
    const std::string text = repeatsText(repeated, path, "row", "the identifier");
    if (rule == "first") return text + ": the first row of each identifier is kept (duplicateIds = first)";
    if (rule == "mean") return text + ": each identifier is one row, the mean of its rows (duplicateIds = mean)";
    return text + ": each row is clustered as a gene of its own, and an ortholog pair naming the identifier "
                  "refers to its first row (duplicateIds = first, mean or error to treat them otherwise)";
}

Error repeatedRowsError(const RepeatedIdentifiers& repeated, const std::string& path) {
    return Error{repeatsText(repeated, path, "row", "the identifier") +
                 ", and duplicateIds = error stops the run: make the identifiers unique, or set duplicateIds to "
                 "keep, first or mean"};
}

std::string repeatedAnnotationsWarning(const RepeatedIdentifiers& repeated, const std::string& path) {
    return repeatsText(repeated, path, "line", "the identifier") + ": the last line of each identifier is used";
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

Error noMatchedOrthologsError(const OrthologMatchSummary& summary, const ParameterSetting& settings) {
    const std::string message =
        "No entry of the ortholog file " + settings.orthologFile + " names two genes of the data files: ";
    if (summary.entries == 0) return Error{message + "it has no entries"};
    return Error{message + unmatchedBreakdown(summary, settings) + versionHint(summary) + orthologAdvice(summary)};
}

OrthologMatchLine orthologMatchLine(const OrthologMatchSummary& summary, const ParameterSetting& settings) {
    OrthologMatchLine line;
    line.warning = manyOf(summary.lost(), summary.entries);
    line.text = settings.orthologFile + " holds " + std::to_string(summary.entries) + " ortholog pairs, " +
                (line.warning ? "only " : "") + std::to_string(summary.matched) +
                " with both genes present and kept";
    if (line.warning) line.text += " (more than one in ten is lost)";
    if (summary.lost() == 0) return line;
    line.text += "; the other " + std::to_string(summary.lost()) + ": " + unmatchedBreakdown(summary, settings) +
                 versionHint(summary);
    if (line.warning) line.text += orthologAdvice(summary);
    return line;
}

std::string repeatedOrthologPairsWarning(const RepeatedIdentifiers& repeated, const std::string& path) {
    return repeatsText(repeated, path, "line", "the pair") + ": each pair counts once";
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
