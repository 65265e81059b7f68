#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/attempt_observer.h"
#include "model/cluster_parameters.h"
#include "model/density_strategy.h"
#include "model/m_step.h"
#include "model/nearest_mean.h"
#include "model/organism_clusters.h"
#include "model/pair_table.h"
#include "numeric/random_generator.h"
#include "records/dataset.h"
#include "support/error.h"
#include "support/thread_pool.h"

namespace orthomix {

// The EM iterations stop after this many in any case.
inline constexpr int kMaxEmIterations = 100;

// How an attempt's iterations compute: the domain of the E-step's densities
// and how the cluster-pair table is fitted.
struct EmArithmetic {
    DensityDomain densities = DensityDomain::Exact;
    PairTableFit pairTableFit = PairTableFit::Decomposition;
    NearestMeanMethod nearestMeans = NearestMeanMethod::RowByRow;  // same answers either way
    MStepWeights mStepWeights = MStepWeights::AllButZero;
};

// The reference arithmetic.
inline constexpr EmArithmetic kExactArithmetic{};
// The fast mode: log densities, and the table fitted through the structure
// of its design instead of a decomposition of the whole design.
inline constexpr EmArithmetic kFastArithmetic{.densities = DensityDomain::Log,
                                              .pairTableFit = PairTableFit::Structured,
                                              .nearestMeans = NearestMeanMethod::Expanded,
                                              .mStepWeights = MStepWeights::AboveRounding};

// What an attempt needs beyond the data and its start. Build it by naming
// the members you set.
struct AttemptSettings {
    double stoppingThr = 0.0;       // relative spread change that counts as converged
    std::int32_t pseudoCounts = 0;  // added to the scatter pairs when the scatter probability is estimated
    std::int32_t kmeansMaxIterations = 1;
    EmArithmetic arithmetic = kExactArithmetic;
    ThreadPool* pool = nullptr;         // shares out the work of an iteration; none: the calling thread
    double slowIterationSeconds = 5.0;  // an iteration this long reports its steps, then at most this often
};

// The random part of an attempt: the seed genes of both organisms' k-means starts.
struct AttemptStart {
    std::vector<std::uint32_t> humanSeeds;
    std::vector<std::uint32_t> mouseSeeds;
};

// Draws an attempt's start, human seeds before mouse seeds.
AttemptStart drawAttemptStart(RandomGenerator& random, std::int32_t k, const Dataset& data);

// Wall seconds spent in the parts of the EM iterations.
struct EmTimings {
    double pairTable = 0.0;  // estimating and smoothing the cluster-pair table
    double eStep = 0.0;
    double mStep = 0.0;
    double reassignment = 0.0;
};

// One organism's clustering at the end of an attempt.
struct OrganismClustering {
    OrganismClusters clusters;         // members as the last reassignment appended them, and centres
    ClusterParameters parameters;      // the Gaussians, in cluster order
    std::vector<std::int32_t> labels;  // per gene: the cluster holding it, the cluster count when none does
    // Per gene: the largest marginal posterior, over the gene's ortholog pairs
    // in the last E-step, of its cluster in `labels` (of scatter for a gene in
    // none); NaN for a gene without a pair.
    std::vector<double> posteriors;
};

// How one organism's k-means start ended.
struct StartClusters {
    std::int32_t seeded = 0;          // k
    std::int32_t kept = 0;            // clusters that were not left empty
    std::int32_t identicalSeeds = 0;  // seed genes with the values of another seed (see KMeansStart)
};

// The outcome of one attempt: a clustering, or the reason there is none.
struct AttemptResult {
    std::string rejectionReason;  // empty for a clustering the attempt itself accepts
    bool emCompleted = false;     // the EM iterations ended normally (even if a cluster then is empty)
    bool converged = false;       // they ended because both spreads converged, not at kMaxEmIterations
    int iterations = 0;           // completed EM iterations
    double logLikelihood = 0.0;   // of the last completed iteration
    std::vector<double> logLikelihoodByIteration;
    double humanSpread = 0.0;
    double mouseSpread = 0.0;
    std::size_t scatterPairs = 0;  // pairs left in scatter
    OrganismClustering human;
    OrganismClustering mouse;
    PairTable pairTable;  // the smoothed table of the last iteration, in cluster order
    EmTimings timings;
    StartClusters humanStart;
    StartClusters mouseStart;

    bool usable() const { return rejectionReason.empty(); }
};

// Runs the k-means starts from `start`, then the EM iterations until both
// spreads converge or kMaxEmIterations. A clustering that cannot go on is a
// result with a rejection reason; only a numerical failure of the pair-table
// fit is an error. `observer` is asked before every iteration whether it may
// start and told of every completed one.
Result<AttemptResult> runAttempt(const Dataset& data, const AttemptStart& start, const AttemptSettings& settings,
                                 AttemptObserver& observer);
// The same, followed by nobody: every iteration starts.
Result<AttemptResult> runAttempt(const Dataset& data, const AttemptStart& start, const AttemptSettings& settings);

}  // namespace orthomix
