// The expression reader against the plain splitter: the same sample names, the
// same genes with the same values, or a rejection exactly where the splitter
// finds a line with too few values.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "io/expression_reader.h"
#include "io/number_parsing.h"

using namespace orthomix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    GeneStore store;
    std::vector<GeneRecord*> genes;
    std::vector<std::string> names;
    ExpressionReadSummary summary;
    const std::string error = parseExpressionText(text, "input", store, genes, names, summary);

    const auto lines = fuzz::referenceLines(text);
    std::vector<std::string> expectedNames;
    if (!lines.empty() && lines[0].fields.size() > 1) {
        expectedNames.assign(lines[0].fields.begin() + 1, lines[0].fields.end());
    }
    if (expectedNames.empty()) {
        FUZZ_CHECK(error == "No sample columns in the header of input");
        return 0;
    }
    FUZZ_CHECK(names == expectedNames);

    std::size_t geneIndex = 0;
    std::size_t nonNumeric = 0;
    for (std::size_t l = 1; l < lines.size(); ++l) {
        const fuzz::ReferenceLine& line = lines[l];
        bool blank = true;
        for (const std::string& field : line.fields) blank = blank && field.find_first_not_of(' ') == std::string::npos;
        if (line.length <= 1 || blank) continue;
        if (line.fields.size() < names.size() + 1) {
            const std::string prefix = "Line " + std::to_string(l + 1) + " of input has ";
            FUZZ_CHECK(error.compare(0, prefix.size(), prefix) == 0);
            FUZZ_CHECK(genes.size() == geneIndex);
            return 0;
        }
        FUZZ_CHECK(geneIndex < genes.size());
        const GeneRecord& gene = *genes[geneIndex];
        FUZZ_CHECK(gene.name == line.fields[0]);
        FUZZ_CHECK(gene.expression.size() == names.size());
        for (std::size_t v = 0; v < names.size(); ++v) {
            bool isNumber = false;
            const double expected = parseDecimalPrefix(line.fields[v + 1], &isNumber);
            FUZZ_CHECK(gene.expression[v] == expected);
            if (!isNumber) ++nonNumeric;
        }
        FUZZ_CHECK(store[geneIndex].get() == genes[geneIndex]);
        ++geneIndex;
    }
    FUZZ_CHECK(error.empty());
    FUZZ_CHECK(genes.size() == geneIndex);
    FUZZ_CHECK(summary.nonNumericFields == nonNumeric);
    return 0;
}
