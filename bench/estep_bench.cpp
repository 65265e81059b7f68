// The E-step of one ortholog pair at k = 20 with 80 human and 60 mouse
// columns, densities included: the exact kernel and the log-domain kernel;
// and the exact densities against their floor of one exp call per cluster and
// column.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "model/densities.h"
#include "model/log_densities.h"
#include "model/log_pair_estep.h"
#include "model/pair_estep.h"

namespace {

using namespace orthomix;

constexpr int kClusters = 20;
constexpr int kHumanColumns = 80;
constexpr int kMouseColumns = 60;
constexpr int kPairs = 512;

struct Fixture {
    ClusterParameters humanParams, mouseParams;
    ExpressionMatrix human{0, kHumanColumns}, mouse{0, kMouseColumns};
    PairTable table;
    std::vector<double> rowSums = std::vector<double>(kClusters), columnSums = std::vector<double>(kClusters);

    Fixture() {
        std::mt19937_64 random(2024);
        std::normal_distribution<double> noise(0.0, 1.0);
        std::uniform_real_distribution<double> variance(0.3, 1.5);
        const auto clusters = [&](ClusterParameters& p, int columns) {
            p.resize(kClusters, static_cast<std::size_t>(columns));
            for (double& m : p.means) m = noise(random);
            for (double& v : p.variances) v = variance(random);
        };
        clusters(humanParams, kHumanColumns);
        clusters(mouseParams, kMouseColumns);
        const auto geneNear = [&](const ClusterParameters& p, std::size_t cluster, ExpressionMatrix& genes) {
            std::vector<double> values;
            for (std::size_t i = 0; i < p.columns; ++i) values.push_back(p.mean(cluster)[i] + 0.5 * noise(random));
            genes.appendRow(values.data());
        };
        for (int r = 0; r < kPairs; ++r) {
            geneNear(humanParams, static_cast<std::size_t>(r % kClusters), human);
            geneNear(mouseParams, static_cast<std::size_t>((r / 3) % kClusters), mouse);
        }
        table.reset(kClusters, kClusters);
        for (int i = 0; i < kClusters; ++i) {
            for (int j = 0; j < kClusters; ++j) table.at(i, j) = (i == j ? 20.0 : 1.0) / (20.0 * kClusters + 380.0);
        }
    }
};

// The exact densities of one gene for every cluster, as the attempt computes
// them: clusters side by side around the exp calls.
void BM_ExactDensitiesSideBySide(benchmark::State& state) {
    Fixture fixture;
    ClusterDensityForms humanForms, mouseForms;
    prepareClusterDensityForms(fixture.humanParams, humanForms);
    prepareClusterDensityForms(fixture.mouseParams, mouseForms);
    std::vector<double> f(kClusters), g(kClusters);
    DensityScratch scratch;
    std::size_t r = 0;
    for (auto _ : state) {
        densitiesOfGene(fixture.human.row(r), true, humanForms, f.data(), scratch);
        densitiesOfGene(fixture.mouse.row(r), true, mouseForms, g.data(), scratch);
        benchmark::DoNotOptimize(f.data());
        benchmark::DoNotOptimize(g.data());
        r = (r + 1) % kPairs;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExactDensitiesSideBySide);

// The same densities one cluster at a time: the reference they must equal bit for bit.
void BM_ExactDensitiesOneByOne(benchmark::State& state) {
    Fixture fixture;
    std::vector<DensityForm> humanForms, mouseForms;
    prepareDensityForms(fixture.humanParams, humanForms);
    prepareDensityForms(fixture.mouseParams, mouseForms);
    std::vector<double> f(kClusters), g(kClusters);
    std::size_t r = 0;
    for (auto _ : state) {
        for (int c = 0; c < kClusters; ++c) {
            f[c] = density(fixture.human.row(r), humanForms[c], true);
            g[c] = density(fixture.mouse.row(r), mouseForms[c], true);
        }
        benchmark::DoNotOptimize(f.data());
        benchmark::DoNotOptimize(g.data());
        r = (r + 1) % kPairs;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExactDensitiesOneByOne);

// One exp call per gene, cluster and column: the floor of the exact densities.
void BM_ExpCallsOfOnePair(benchmark::State& state) {
    std::vector<double> arguments(kClusters * (kHumanColumns + kMouseColumns));
    for (std::size_t i = 0; i < arguments.size(); ++i) arguments[i] = -0.01 * static_cast<double>(i % 300);
    for (auto _ : state) {
        double sum = 0.0;
        for (const double x : arguments) sum += std::exp(x);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExpCallsOfOnePair);

void BM_ExactPairEStep(benchmark::State& state) {
    Fixture fixture;
    ClusterDensityForms humanForms, mouseForms;
    prepareClusterDensityForms(fixture.humanParams, humanForms);
    prepareClusterDensityForms(fixture.mouseParams, mouseForms);
    std::vector<double> f(kClusters), g(kClusters), joint(kClusters * kClusters);
    DensityScratch scratch;
    PairLabels labels;
    std::size_t r = 0;
    for (auto _ : state) {
        densitiesOfGene(fixture.human.row(r), true, humanForms, f.data(), scratch);
        densitiesOfGene(fixture.mouse.row(r), true, mouseForms, g.data(), scratch);
        benchmark::DoNotOptimize(pairEStep(fixture.table, f.data(), g.data(), 1e-4, fixture.rowSums.data(),
                                           fixture.columnSums.data(), joint.data(), labels));
        r = (r + 1) % kPairs;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExactPairEStep);

void BM_LogDomainPairEStep(benchmark::State& state) {
    // The densities come from one matrix product per block of genes, so a
    // block of pairs is timed at once and reported per pair.
    Fixture fixture;
    std::vector<std::uint32_t> rows(kPairs);
    for (int r = 0; r < kPairs; ++r) rows[static_cast<std::size_t>(r)] = static_cast<std::uint32_t>(r);
    GeneFeatures human, mouse;
    human.build(fixture.human, rows);
    mouse.build(fixture.mouse, rows);
    LogDensityForms humanForms, mouseForms;
    prepareLogDensityForms(fixture.humanParams, human, humanForms);
    prepareLogDensityForms(fixture.mouseParams, mouse, mouseForms);
    std::vector<double> f(kPairs * kClusters), g(kPairs * kClusters);
    const ScatterTerm scatter = ScatterTerm::of(1e-4);
    PairLogScratch scratch;
    scratch.prepare(fixture.table);
    PairLabels labels;
    for (auto _ : state) {
        logDensities(human, 0, kPairs, humanForms, f.data());
        logDensities(mouse, 0, kPairs, mouseForms, g.data());
        for (std::size_t r = 0; r < kPairs; ++r) {
            benchmark::DoNotOptimize(pairLogEStep(fixture.table, &f[r * kClusters], &g[r * kClusters], scatter,
                                                  fixture.rowSums.data(), fixture.columnSums.data(), scratch, labels));
        }
    }
    state.SetItemsProcessed(state.iterations() * kPairs);
}
BENCHMARK(BM_LogDomainPairEStep);

// The log densities of 14,000 genes of 80 columns at k = 20 (the human side
// of the standard benchmark): the fused kernels against the library's product.
void BM_LogDensities(benchmark::State& state) {
    const auto kernel = static_cast<VectorKernel>(state.range(0));
    constexpr std::size_t kGenes = 14000;
    Fixture fixture;
    ExpressionMatrix genes(0, kHumanColumns);
    std::vector<std::uint32_t> rows(kGenes);
    for (std::size_t g = 0; g < kGenes; ++g) {
        genes.appendRow(fixture.human.row(g % kPairs));
        rows[g] = static_cast<std::uint32_t>(g);
    }
    GeneFeatures features;
    features.build(genes, rows);
    LogDensityForms forms;
    prepareLogDensityForms(fixture.humanParams, features, forms);
    std::vector<double> out(kGenes * kClusters);
    for (auto _ : state) {
        logDensities(features, 0, kGenes, forms, out.data(), kernel);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kGenes));
    state.SetLabel(kernel == VectorKernel::Best        ? "fused multiply-add, eight lanes where available"
                   : kernel == VectorKernel::FourLanes ? "fused multiply-add, four lanes"
                                                           : "portable");
}
BENCHMARK(BM_LogDensities)
    ->Arg(static_cast<int>(VectorKernel::Best))
    ->Arg(static_cast<int>(VectorKernel::FourLanes))
    ->Arg(static_cast<int>(VectorKernel::Portable))
    ->Unit(benchmark::kMillisecond);

}  // namespace
