#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/cluster_parameters.h"
#include "model/organism_clusters.h"
#include "model/pair_table.h"
#include "numeric/random_generator.h"
#include "records/dataset.h"
#include "support/error.h"
#include "support/thread_pool.h"

namespace orthomix {

// The EM iterations stop after this many in any case.
inline constexpr int kMaxEmIterations = 100;

// What an attempt needs beyond the data and its start.
struct AttemptSettings {
    double stoppingThr = 0.0;         // relative spread change that counts as converged
    std::int32_t pseudoCounts = 0;    // added to the scatter pairs when the scatter probability is estimated
    bool fastDensity = false;         // the log-domain E-step
    std::int32_t kmeansMaxIterations = 1;
    // When it turns true, the attempt ends after the iteration under way,
    // rejected as "interrupted": a run that is asked to stop does not wait
    // for the remaining iterations.
    const std::atomic<bool>* stop = nullptr;
    ThreadPool* pool = nullptr;               // shares out the work of an iteration; none: the calling thread
    double slowIterationSeconds = 5.0;        // an iteration this long reports its steps, then at most this often
    const std::atomic<bool>* cancel = nullptr;  // once set, the attempt ends before its next iteration, rejected
    // Called before every iteration from iteration kIterationsAhead + 1 on.
    // An attempt that runs ahead of the one its caller waits for holds back
    // there until it is needed (or cancelled), so that the attempt waited for
    // gets the threads; most rejected attempts have ended by then.
    const std::function<void()>* waitUntilNeeded = nullptr;
};

// The iterations an attempt may run ahead before it waits to be needed.
// Attempts whose densities leave the range of numbers are rejected within
// their first three iterations; one that gets past them is usually accepted,
// and an attempt behind it would then be work thrown away.
inline constexpr std::int32_t kIterationsAhead = 3;

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

// Where an attempt stands after a completed iteration.
struct IterationProgress {
    int iteration = 0;  // completed iterations, from 1
    double logLikelihood = 0.0;
    double humanSpread = 0.0;
    double mouseSpread = 0.0;
    std::size_t scatterPairs = 0;
};
using IterationObserver = std::function<void(const IterationProgress&)>;

// Where an iteration that runs long stands; reported every few seconds once
// an iteration has taken that long, possibly from several threads at once.
struct IterationStep {
    int iteration = 0;         // the iteration in progress, from 1
    const char* step = "";     // "pair table", "E-step", "M-step", "reassignment"
    double fractionDone = 0.0;  // of that step
    double seconds = 0.0;       // since the iteration began
};
using StepObserver = std::function<void(const IterationStep&)>;



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
// fit is an error.
Result<AttemptResult> runAttempt(const Dataset& data, const AttemptStart& start, const AttemptSettings& settings,
                                 const IterationObserver& observer = {}, const StepObserver& stepObserver = {});

}  // namespace orthomix
