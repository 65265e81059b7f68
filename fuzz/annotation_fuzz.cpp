// The annotation reader against the plain splitter, on genes named after the
// identifiers the input itself holds (and one it does not).
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "io/annotation_reader.h"

using namespace orthomix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    const auto lines = fuzz::referenceLines(text);

    std::map<std::string, std::string> expected;
    GeneStore store;
    store.push_back(std::make_unique<GeneRecord>(std::vector<double>{}, "absent"));
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const auto& fields = lines[l].fields;
        if (!fields.empty()) store.push_back(std::make_unique<GeneRecord>(std::vector<double>{}, fields[0]));
        if (l == 0 || lines[l].length <= 1 || fields.size() < 2) continue;
        expected[fields[0]] = fields[1];
    }
    std::vector<GeneRecord*> genes;
    for (const auto& gene : store) {
        gene->annotation = "stale";
        genes.push_back(gene.get());
    }

    applyAnnotationText(text, genes);
    for (const GeneRecord* gene : genes) {
        const auto found = expected.find(gene->name);
        FUZZ_CHECK(gene->annotation == (found == expected.end() ? std::string() : found->second));
    }
    return 0;
}
