// The expression reader against the plain splitter: the same sample names, the
// same genes with the same values, or a rejection exactly where the splitter
// finds a line with too few values.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "io/expression_reader.h"
#include "io/number_parsing.h"

using namespace orthomix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    const Result<ExpressionFile> parsed = parseExpressionText(text, "input");

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
