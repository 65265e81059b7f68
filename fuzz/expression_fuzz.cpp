// The expression reader against the plain splitter: the same sample names, the
// same genes with the same values, or a rejection exactly where the splitter
// finds a line with too few values; and read in pieces on several threads,
// the same file or the same rejection.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "io/expression_reader.h"
#include "io/number_parsing.h"
#include "support/thread_pool.h"

using namespace orthomix;

namespace {

bool sameFile(const Result<ExpressionFile>& a, const Result<ExpressionFile>& b) {
    if (a.ok() != b.ok()) return false;
    if (!a.ok()) return a.error().message == b.error().message;
    const OrganismData& x = a->data;
    const OrganismData& y = b->data;
    const std::size_t valueBytes = x.expression.rows() * x.expression.columns() * sizeof(double);
    return a->headerWithoutCorner == b->headerWithoutCorner && x.sampleNames == y.sampleNames &&
           x.identifiers == y.identifiers && x.annotations == y.annotations &&
           x.expression.rows() == y.expression.rows() && x.expression.columns() == y.expression.columns() &&
           (valueBytes == 0 || std::memcmp(x.expression.row(0), y.expression.row(0), valueBytes) == 0) &&
           a->nonNumericFields == b->nonNumericFields && a->nonNumericCells == b->nonNumericCells &&
           a->firstNonNumericLine == b->firstNonNumericLine &&
           a->firstNonNumericColumn == b->firstNonNumericColumn && a->firstNonNumericText == b->firstNonNumericText;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    const Result<ExpressionFile> parsed = parseExpressionText(text, "input");
    // Started once: threads for every input would halve the inputs tried.
    static ThreadPool pool(3);
    FUZZ_CHECK(sameFile(parseExpressionText(text, "input", Separator::Tab, &pool, 1 + size % 13), parsed));

    const auto lines = fuzz::referenceLines(text);
    const auto isGeneLine = [](const fuzz::ReferenceLine& line) {
        bool blank = true;
        for (const std::string& field : line.fields) blank = blank && field.find_first_not_of(' ') == std::string::npos;
        return line.length > 1 && !blank;
    };
    // Gene lines all one field wider than the header: the header names the samples alone.
    bool samplesOnly = !lines.empty() && !lines[0].fields.empty();
    bool anyGene = false;
    for (std::size_t l = 1; l < lines.size() && samplesOnly; ++l) {
        if (!isGeneLine(lines[l])) continue;
        anyGene = true;
        samplesOnly = lines[l].fields.size() == lines[0].fields.size() + 1;
    }
    samplesOnly = samplesOnly && anyGene;
    FUZZ_CHECK(!parsed.ok() || parsed->headerWithoutCorner == samplesOnly);
    std::vector<std::string> expectedNames;
    if (samplesOnly) {
        expectedNames = lines[0].fields;
    } else if (!lines.empty() && lines[0].fields.size() > 1) {
        expectedNames.assign(lines[0].fields.begin() + 1, lines[0].fields.end());
    }
    if (expectedNames.empty()) {
        FUZZ_CHECK(!parsed.ok());
        FUZZ_CHECK(parsed.error().message == "No sample columns in the header of input");
        return 0;
    }
    const std::size_t samples = expectedNames.size();

    // Walk the reference lines until the first line with too few values.
    std::vector<const fuzz::ReferenceLine*> genes;
    std::size_t nonNumeric = 0;
    for (std::size_t l = 1; l < lines.size(); ++l) {
        const fuzz::ReferenceLine& line = lines[l];
        if (!isGeneLine(line)) continue;
        if (line.fields.size() < samples + 1) {
            FUZZ_CHECK(!parsed.ok());
            const std::string expected = "Line " + std::to_string(l + 1) + " of input has " +
                                         std::to_string(line.fields.size() - 1) + " values, but the header names " +
                                         std::to_string(samples) + " samples";
            FUZZ_CHECK(parsed.error().message == expected);
            return 0;
        }
        genes.push_back(&line);
    }
    FUZZ_CHECK(parsed.ok());

    const OrganismData& organism = parsed->data;
    FUZZ_CHECK(organism.sampleNames == expectedNames);
    FUZZ_CHECK(organism.identifiers.size() == genes.size());
    FUZZ_CHECK(organism.annotations == std::vector<std::string>(genes.size()));
    FUZZ_CHECK(organism.expression.rows() == genes.size());
    FUZZ_CHECK(organism.expression.columns() == samples);
    for (std::size_t g = 0; g < genes.size(); ++g) {
        FUZZ_CHECK(organism.identifiers[g] == genes[g]->fields[0]);
        const double* row = organism.expression.row(g);
        for (std::size_t v = 0; v < samples; ++v) {
            bool isNumber = false;
            double expected = parseDecimalPrefix(genes[g]->fields[v + 1], &isNumber);
            // A number beyond the range of a double counts as no number and reads as 0.
            if (!std::isfinite(expected)) {
                expected = 0.0;
                isNumber = false;
            }
            // Compared as bits: NaN cannot arise, but -0 must stay -0.
            FUZZ_CHECK(std::memcmp(&row[v], &expected, sizeof expected) == 0);
            if (!isNumber && ++nonNumeric == 1) {
                FUZZ_CHECK(parsed->firstNonNumericLine > 0);
                FUZZ_CHECK(parsed->firstNonNumericText == genes[g]->fields[v + 1]);
                FUZZ_CHECK(parsed->firstNonNumericColumn == v + 2);
            }
        }
    }
    FUZZ_CHECK(parsed->nonNumericFields == nonNumeric);
    return 0;
}
