#include <benchmark/benchmark.h>

#include <random>

#include "model/pair_table.h"
#include "numeric/svd.h"

namespace orthomix {
namespace {

// A counted-looking k-by-k table: heavier diagonal, cells and scatter summing to 1.
PairTableState makeTable(int k) {
    std::mt19937 engine(99u);
    std::uniform_real_distribution<double> noise(1.0, 2.0);
    PairTableState state;
    state.table.reset(k, k);
    double total = 0.0;
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < k; ++j) {
            state.table.at(i, j) = noise(engine) * (i == j ? 10.0 : 1.0);
            total += state.table.at(i, j);
        }
    total /= 0.95;
    for (double& cell : state.table.cells) cell /= total;
    state.table.scatterProbability = 0.05;
    return state;
}

// One EM iteration's smoothing of a 50x50 table: a 2500x100 design matrix.
void BM_SmoothPairTable(benchmark::State& bench) {
    const int k = static_cast<int>(bench.range(0));
    const PairTableState counted = makeTable(k);
    PairTableState state = counted;
    for (auto _ : bench) {
        state.table = counted.table;
        if (!smoothPairTable(state)) bench.SkipWithError("the decomposition did not converge");
        benchmark::DoNotOptimize(state.table.cells.data());
    }
}
BENCHMARK(BM_SmoothPairTable)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);

// The decomposition alone on a random 2500x100 matrix.
void BM_SvdDecompose(benchmark::State& bench) {
    std::mt19937 engine(5u);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    Matrix input(2500, 100);
    for (std::size_t i = 0; i < input.rows(); ++i)
        for (std::size_t j = 0; j < input.cols(); ++j) input[i][j] = value(engine);
    Matrix a;
    Matrix v;
    std::vector<double> w;
    SvdWorkspace workspace;
    for (auto _ : bench) {
        a = input;
        if (!svdDecompose(a, w, v, workspace)) bench.SkipWithError("the decomposition did not converge");
        benchmark::DoNotOptimize(w.data());
    }
}
BENCHMARK(BM_SvdDecompose)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orthomix
