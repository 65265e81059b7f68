// The E-step of one ortholog pair at k = 20 with 80 human and 60 mouse
// columns, densities included: the exact kernel and the log-domain kernel.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "model/log_domain_estep.h"
#include "model/pair_estep.h"

namespace {

using namespace orthomix;

constexpr int kClusters = 20;
constexpr int kHumanColumns = 80;
constexpr int kMouseColumns = 60;
constexpr int kPairs = 512;

struct Fixture {
    std::vector<ClusterParameters> humanParams, mouseParams;
    GeneStore genes;
    std::vector<std::vector<double>> margins;
    std::vector<OrthologPairRecord> records;
    PairTable table;
    std::vector<double> logTable;

    Fixture() {
        std::mt19937_64 random(2024);
        std::normal_distribution<double> noise(0.0, 1.0);
        std::uniform_real_distribution<double> variance(0.3, 1.5);
        const auto clusters = [&](int columns) {
            std::vector<ClusterParameters> params(kClusters);
            for (ClusterParameters& p : params) {
                for (int i = 0; i < columns; ++i) {
                    p.mean.push_back(noise(random));
                    p.variance.push_back(variance(random));
                }
            }
            return params;
        };
        humanParams = clusters(kHumanColumns);
        mouseParams = clusters(kMouseColumns);
        const auto geneNear = [&](const ClusterParameters& p) {
            std::vector<double> values;
            for (double m : p.mean) values.push_back(m + 0.5 * noise(random));
            genes.push_back(std::make_unique<GeneRecord>(values, "g"));
            return genes.back().get();
        };
        for (int r = 0; r < kPairs; ++r) {
            GeneRecord* human = geneNear(humanParams[static_cast<std::size_t>(r % kClusters)]);
            GeneRecord* mouse = geneNear(mouseParams[static_cast<std::size_t>((r / 3) % kClusters)]);
            margins.emplace_back(kClusters * 2, 0.0);
            records.push_back({human, mouse, margins.back().data(), margins.back().data() + kClusters});
        }
        table.reset(kClusters, kClusters);
        for (int i = 0; i < kClusters; ++i) {
            for (int j = 0; j < kClusters; ++j) table.at(i, j) = (i == j ? 20.0 : 1.0) / (20.0 * kClusters + 380.0);
        }
        for (double cell : table.cells) logTable.push_back(std::log(cell));
    }
};

void BM_ExactPairEStep(benchmark::State& state) {
    Fixture fixture;
    std::vector<ClusterDensityForm> humanForms, mouseForms;
    prepareDensityForms(fixture.humanParams, humanForms);
    prepareDensityForms(fixture.mouseParams, mouseForms);
    std::vector<double> f(kClusters), g(kClusters), joint(kClusters * kClusters);
    std::size_t r = 0;
    for (auto _ : state) {
        OrthologPairRecord& record = fixture.records[r];
        for (int c = 0; c < kClusters; ++c) {
            f[c] = preparedDensity(record.humanGene->expression.data(), humanForms[c]);
            g[c] = preparedDensity(record.mouseGene->expression.data(), mouseForms[c]);
        }
        benchmark::DoNotOptimize(pairEStep(fixture.table, f.data(), g.data(), 1e-4, record, joint.data()));
        r = (r + 1) % kPairs;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExactPairEStep);

void BM_LogDomainPairEStep(benchmark::State& state) {
    Fixture fixture;
    LogDensityForms humanForms, mouseForms;
    prepareLogDensityForms(fixture.humanParams, humanForms);
    prepareLogDensityForms(fixture.mouseParams, mouseForms);
    std::vector<double> f(kClusters), g(kClusters), scratch(kClusters * kClusters);
    const double logScatterTerm = std::log(1e-4);
    std::size_t r = 0;
    for (auto _ : state) {
        OrthologPairRecord& record = fixture.records[r];
        logDensities(record.humanGene->expression.data(), humanForms, f.data());
        logDensities(record.mouseGene->expression.data(), mouseForms, g.data());
        benchmark::DoNotOptimize(pairLogEStep(fixture.logTable.data(), kClusters, kClusters, f.data(), g.data(),
                                              logScatterTerm, record, scratch.data()));
        r = (r + 1) % kPairs;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogDomainPairEStep);

}  // namespace
