// The whole run in memory on a small dataset and settings made from the
// input bytes: preprocessing, the ortholog pairs, one repetition (with its
// rejected attempts) at k up to 4, the result files' rows, the assignment
// tables and the run record. Any undefined behaviour stops it through the
// sanitizers; the checks hold the result to its own shape.
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "driver/assignment_tables.h"
#include "driver/repetitions.h"
#include "driver/result_assembly.h"
#include "driver/run_record.h"
#include "fuzz_support.h"
#include "model/preprocessing.h"
#include "support/thread_pool.h"

using namespace orthomix;

namespace {

// The input bytes, read front to back; zeros once they run out.
class ByteSource {
public:
    ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t next() { return position_ < size_ ? data_[position_++] : 0; }
    template <std::size_t N>
    double pick(const std::array<double, N>& values) {
        return values[next() % N];
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

constexpr double kLargest = std::numeric_limits<double>::max();
constexpr double kSmallest = std::numeric_limits<double>::denorm_min();

// Mostly ordinary expression values; now and then one at the edge of the
// double range, where sums, squares and densities overflow or underflow.
double expressionValue(ByteSource& bytes) {
    const std::uint8_t b = bytes.next();
    if (b < 200) return (static_cast<int>(b) - 100) / 8.0;
    static constexpr std::array<double, 12> kEdges = {0.0,   -0.0,   kSmallest, 1e-300,    1e150, -1e150,
                                                      1e300, -1e300, kLargest,  -kLargest, 3.0,   3.0000000000000004};
    return kEdges[b % kEdges.size()];
}

OrganismData organism(ByteSource& bytes, char prefix) {
    OrganismData data;
    const std::size_t genes = 1 + bytes.next() % 12;
    const std::size_t samples = 1 + bytes.next() % 4;
    for (std::size_t s = 0; s < samples; ++s) data.sampleNames.push_back("S" + std::to_string(s));
    data.expression = ExpressionMatrix(0, samples);
    std::vector<double> row(samples);
    for (std::size_t g = 0; g < genes; ++g) {
        data.identifiers.push_back(prefix + std::to_string(bytes.next() % 16));  // names may repeat
        data.annotations.push_back(bytes.next() % 2 ? "" : "annotated");
        for (double& value : row) value = expressionValue(bytes);
        data.expression.appendRow(row.data());
    }
    return data;
}

class SilentReporter final : public Reporter {
public:
    void line(std::string_view) override {}
    void warning(std::string_view) override {}
    void note(std::string_view) override {}
    void error(std::string_view) override {}
};

void checkClustering(const OrganismClustering& clustering, const OrganismData& organism) {
    const std::size_t clusters = clustering.clusters.count();
    FUZZ_CHECK(clusters >= 1 && clusters <= 4);
    FUZZ_CHECK(clustering.labels.size() == organism.geneCount());
    for (const std::int32_t label : clustering.labels) {
        FUZZ_CHECK(label >= 0 && static_cast<std::size_t>(label) <= clusters);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteSource bytes(data, size);
    ParameterSetting settings;
    settings.k = 1 + bytes.next() % 4;
    settings.nMaxAlgRun = 1;
    settings.prep = bytes.next() % 2 == 1;
    settings.CVThr = bytes.pick(std::array<double, 6>{0.0, 0.01, 0.1, -1.0, 1e300, -1e300});
    settings.maxExpr = bytes.pick(std::array<double, 6>{0.0, 1.0, 5.0, -5.0, 1e300, -1e300});
    settings.stoppingThr = bytes.pick(std::array<double, 5>{0.0, 1e-4, 0.5, -1.0, 1e300});
    settings.psudo_uniform_counts = bytes.next() % 21;
    settings.fastDensity = bytes.next() % 2 == 1;
    std::uint32_t seed = 0;
    for (int i = 0; i < 4; ++i) seed = seed << 8 | bytes.next();
    settings.seed = seed;

    const OrganismData human = organism(bytes, 'h');
    const OrganismData mouse = organism(bytes, 'm');
    OrthologTable table;
    const int entries = bytes.next() % 24;
    for (int e = 0; e < entries; ++e) {
        std::string h = "h" + std::to_string(bytes.next() % 16);
        table.emplace(std::move(h), "m" + std::to_string(bytes.next() % 16));
    }

    const auto prepared = [&](const OrganismData& organism) {
        if (!settings.prep) return organism;
        PreprocessedOrganism kept = preprocessOrganism(organism, settings.CVThr, settings.maxExpr);
        FUZZ_CHECK(kept.counts.read == organism.geneCount() && kept.counts.kept == kept.data.geneCount());
        FUZZ_CHECK(kept.data.geneCount() <= organism.geneCount());
        for (std::size_t g = 0; g < kept.data.geneCount(); ++g) {
            for (const double value : kept.data.expression.rowSpan(g)) FUZZ_CHECK(std::isfinite(value));
        }
        return std::move(kept.data);
    };
    Dataset dataset;
    dataset.human = prepared(human);
    dataset.mouse = prepared(mouse);
    // The run stops with a message before any repetition in these cases.
    if (dataset.human.geneCount() == 0 || dataset.mouse.geneCount() == 0) return 0;
    dataset.orthologs = resolveOrthologs(table, dataset.human, dataset.mouse);
    FUZZ_CHECK(dataset.orthologs.summary.matched == dataset.orthologs.pairs.size());
    if (dataset.orthologs.summary.matched == 0) return 0;

    RandomGenerator random(seed);
    const AttemptSettings attemptSettings{
        .stoppingThr = settings.stoppingThr,
        .pseudoCounts = static_cast<std::int32_t>(settings.psudo_uniform_counts),
        .kmeansMaxIterations = settings.kmeansMaxIterations,
        .arithmetic = settings.fastDensity ? kFastArithmetic : kExactArithmetic,
    };
    const AttemptRunner runner = [&](const AttemptStart& start, const AttemptContext&) {
        return runAttempt(dataset, start, attemptSettings);
    };
    SilentReporter reporter;
    RunRecord record;
    record.parameters = settings;
    ThreadPool pool(1);
    Result<RepetitionOutcome> outcome = runRepetitions(dataset, RepetitionSettings{settings.k, 1, false}, random, runner,
                                                       reporter, record.attempts, pool);
    if (!outcome) {
        FUZZ_CHECK(!outcome.error().message.empty());
        FUZZ_CHECK(!renderRunRecord(record, outcome.error().message).empty());
        return 0;
    }
    FUZZ_CHECK(!record.attempts.empty() && record.attempts.back().accepted);
    const AttemptResult& best = outcome->best;
    checkClustering(best.human, dataset.human);
    checkClustering(best.mouse, dataset.mouse);

    const MembershipView humanView = membershipView(best.human, dataset.human);
    const MembershipView mouseView = membershipView(best.mouse, dataset.mouse);
    const std::vector<MembershipCluster> humanClusters = membershipClusters(humanView, dataset.human);
    FUZZ_CHECK(humanClusters.size() == best.human.clusters.count());
    FUZZ_CHECK(membershipClusters(mouseView, dataset.mouse).size() == best.mouse.clusters.count());
    const std::vector<GenePairLine> lines = genePairLines(dataset, best);
    FUZZ_CHECK(lines.size() == dataset.orthologs.pairs.size());
    for (const GenePairLine& line : lines) {
        FUZZ_CHECK(line.humanCluster >= 0 &&
                   static_cast<std::size_t>(line.humanCluster) <= best.human.clusters.count());
        FUZZ_CHECK(line.mouseCluster >= 0 &&
                   static_cast<std::size_t>(line.mouseCluster) <= best.mouse.clusters.count());
    }
    FUZZ_CHECK(genePairClusters(dataset, best).size() == best.human.clusters.count() * best.mouse.clusters.count());
    for (const GeneAssignment& assignment : assignGenes(dataset.human, humanView)) {
        FUZZ_CHECK(assignment.cluster < static_cast<std::int32_t>(best.human.clusters.count()));
        FUZZ_CHECK(assignment.nearestCluster < static_cast<std::int32_t>(best.human.clusters.count()));
    }
    record.best = RunRecord::Best{outcome->bestRepetition, outcome->bestLogLikelihood, outcome->bic};
    FUZZ_CHECK(!renderRunRecord(record, std::nullopt).empty());
    return 0;
}
