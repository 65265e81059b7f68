#include "model/em_attempt.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>

#include "model/kmeans_start.h"
#include "model/m_step.h"
#include "model/organism_side.h"
#include "model/pair_estep.h"
#include "model/reassignment.h"
#include "support/huge_pages.h"

namespace orthomix {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point& start) {
    const Clock::time_point now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - start).count();
    start = now;
    return seconds;
}

// A spread change within the threshold, in both directions; a NaN ratio (0/0)
// counts as converged.
bool converged(double oldValue, double newValue, double threshold) {
    return !(relativeChange(oldValue, newValue) > threshold);
}

// Tells the observer where an iteration stands once it has run for a while,
// then at most that often. Checked from any thread.
class SlowIterationWatch {
public:
    SlowIterationWatch(AttemptObserver& observer, double seconds)
        : observer_(observer), active_(observer.followsSteps()), seconds_(seconds) {}

    bool active() const { return active_; }
    void begin(int iteration) {
        iteration_ = iteration;
        started_ = Clock::now();
        lastReport_ = started_;
    }
    void check(const char* step, double fractionDone) {
        if (!active_) return;
        std::lock_guard<std::mutex> lock(mutex_);
        const Clock::time_point now = Clock::now();
        if (std::chrono::duration<double>(now - lastReport_).count() < seconds_) return;
        lastReport_ = now;
        observer_.stepProgress(
            IterationStep{iteration_, step, fractionDone, std::chrono::duration<double>(now - started_).count()});
    }

private:
    AttemptObserver& observer_;
    const bool active_;
    const double seconds_;
    std::mutex mutex_;
    int iteration_ = 0;
    Clock::time_point started_, lastReport_;
};

const char* rejectionOf(IterationPermit permit) {
    return permit == IterationPermit::Interrupted ? "interrupted" : "no longer needed";
}

// The working state of one attempt; nothing of it outlives runAttempt.
class EmAttempt {
public:
    EmAttempt(const Dataset& data, const AttemptSettings& settings, AttemptObserver& observer)
        : data_(data),
          settings_(settings),
          observer_(observer),
          watch_(observer, settings.slowIterationSeconds),
          densities_(densityStrategy(settings.arithmetic.densities)),
          human_(data.human.expression),
          mouse_(data.mouse.expression) {}

    Result<AttemptResult> run(const AttemptStart& start);

private:
    AttemptResult reject(const char* reason) {
        result_.rejectionReason = reason;
        return std::move(result_);
    }
    bool startFromKMeans(const AttemptStart& start);
    void createPairWeights();
    double eStep(double scatterTerm);
    void applyLabels(const OrthologPair& pair, const PairLabels& labels);
    double applyPairResults();
    bool updateParameters() {
        return updateClusterParameters(data_, weights_, human_.state, mouse_.state, mStep_, settings_.pool,
                                       settings_.arithmetic.mStepWeights);
    }
    void measureSpreads() {
        result_.humanSpread = human_.spread(settings_.pool);
        result_.mouseSpread = mouse_.spread(settings_.pool);
    }
    void keepGenePosteriors();
    AttemptResult finish();
    // body(begin, end) over ranges of [0, count) on the pool, reporting the
    // step's progress when the iteration runs long.
    template <typename Body>
    void split(const char* step, std::size_t count, Body body);

    const Dataset& data_;
    const AttemptSettings& settings_;
    AttemptObserver& observer_;
    SlowIterationWatch watch_;
    const std::unique_ptr<DensityStrategy> densities_;
    AttemptResult result_;
    OrganismSide human_, mouse_;
    PairTableState table_;
    PairWeights weights_;
    // Per pair, written side by side and then taken in pair order: the
    // logarithm of its total density and where its genes go.
    std::vector<double> pairLogTotals_;
    std::vector<PairLabels> pairLabels_;
    MStepWorkspace mStep_;
    ReassignmentWorkspace reassignment_;
};

void EmAttempt::createPairWeights() {
    const std::vector<OrthologPair>& pairs = data_.orthologs.pairs;
    const auto kHm = human_.clusterCount();
    const auto kMs = mouse_.clusterCount();
    weights_.reset(pairs.size(), kHm, kMs);
    for (std::size_t r = 0; r < pairs.size(); ++r) {
        // The indicator of the pair's current cell.
        const auto row = static_cast<std::size_t>(human_.state.labels[pairs[r].human]);
        const auto column = static_cast<std::size_t>(mouse_.state.labels[pairs[r].mouse]);
        if (row < kHm && column < kMs) {
            weights_.rowSums(r)[row] = 1.0;
            weights_.columnSums(r)[column] = 1.0;
        }
    }
    human_.paired.build(pairs, human_.expression, &OrthologPair::human);
    mouse_.paired.build(pairs, mouse_.expression, &OrthologPair::mouse);
    for (OrganismSide* side : {&human_, &mouse_}) {
        densities_->prepareGenes(*side);
        side->densities.assign(side->paired.genes.size() * side->clusterCount(), 0.0);
    }
}

void EmAttempt::applyLabels(const OrthologPair& pair, const PairLabels& labels) {
    switch (labels.kind) {
        case PairLabels::Kind::Cell:
            human_.state.labels[pair.human] = labels.row;
            mouse_.state.labels[pair.mouse] = labels.column;
            break;
        case PairLabels::Kind::Scatter:
            human_.state.labels[pair.human] = human_.state.clusterCount();
            mouse_.state.labels[pair.mouse] = mouse_.state.clusterCount();
            break;
        case PairLabels::Kind::Unchanged:
            break;
    }
}

template <typename Body>
void EmAttempt::split(const char* step, std::size_t count, Body body) {
    if (!watch_.active()) {
        forRanges(settings_.pool, count, body);
        return;
    }
    std::atomic<std::size_t> done{0};
    forRanges(settings_.pool, count, [&](std::size_t begin, std::size_t end) {
        body(begin, end);
        const std::size_t finished = done.fetch_add(end - begin) + (end - begin);
        watch_.check(step, static_cast<double>(finished) / static_cast<double>(count));
    });
}

// The pairs' labels in pair order (a gene in several pairs keeps the label
// of its last one) and the log-likelihood summed in pair order.
double EmAttempt::applyPairResults() {
    const std::vector<OrthologPair>& pairs = data_.orthologs.pairs;
    double sum = 0.0;
    for (std::size_t r = 0; r < pairs.size(); ++r) {
        applyLabels(pairs[r], pairLabels_[r]);
        sum += pairLogTotals_[r];
    }
    return sum;
}

// The parameters are fixed during the pass, so each gene's densities are
// evaluated once even when the gene is in several pairs.
double EmAttempt::eStep(double scatterTerm) {
    for (OrganismSide* side : {&human_, &mouse_}) {
        densities_->prepareForms(*side);
        split("E-step densities", side->paired.genes.size(), [&](std::size_t begin, std::size_t end) {
            densities_->evaluateDensities(*side, begin, end);
        });
    }
    const std::size_t pairCount = data_.orthologs.pairs.size();
    pairLogTotals_.resize(pairCount);
    pairLabels_.resize(pairCount);
    split("E-step pairs", pairCount, [&](std::size_t begin, std::size_t end) {
        densities_->pairs(table_.table, scatterTerm, human_, mouse_, begin, end, weights_, pairLogTotals_.data(),
                          pairLabels_.data());
    });
    return applyPairResults();
}

// False when an organism is left without clusters, which only a NaN
// objective does.
bool EmAttempt::startFromKMeans(const AttemptStart& start) {
    ThreadPool* pool = settings_.pool;
    const NearestMeanMethod method = settings_.arithmetic.nearestMeans;
    KMeansStart humanStart = runKMeans(human_.expression, start.humanSeeds, settings_.stoppingThr,
                                       settings_.kmeansMaxIterations, pool, method);
    KMeansStart mouseStart = runKMeans(mouse_.expression, start.mouseSeeds, settings_.stoppingThr,
                                       settings_.kmeansMaxIterations, pool, method);
    const auto summary = [](const std::vector<std::uint32_t>& seeds, const KMeansStart& kmeans) {
        return StartClusters{static_cast<std::int32_t>(seeds.size()),
                             static_cast<std::int32_t>(kmeans.clusters.count()), kmeans.identicalSeeds};
    };
    result_.humanStart = summary(start.humanSeeds, humanStart);
    result_.mouseStart = summary(start.mouseSeeds, mouseStart);
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    if (!(humanStart.meanDistance < kInfinity) || !(mouseStart.meanDistance < kInfinity)) return false;
    human_.state.clusters = std::move(humanStart.clusters);
    human_.state.labels = std::move(humanStart.labels);
    mouse_.state.clusters = std::move(mouseStart.clusters);
    mouse_.state.labels = std::move(mouseStart.labels);
    return true;
}

Result<AttemptResult> EmAttempt::run(const AttemptStart& start) {
    if (!startFromKMeans(start)) return reject("no clusters from the k-means start");
    measureSpreads();
    const double humanScatterDensity = scatterDensity(human_.expression);
    const double mouseScatterDensity = scatterDensity(mouse_.expression);
    const std::size_t pairCount = data_.orthologs.pairs.size();
    EmTimings& timings = result_.timings;

    for (;;) {
        const IterationPermit permit = observer_.mayStartIteration(result_.iterations + 1);
        if (permit != IterationPermit::Granted) return reject(rejectionOf(permit));
        watch_.begin(result_.iterations + 1);
        Clock::time_point clock = Clock::now();
        const ClusterOrders orders =
            estimatePairTable(data_.orthologs.pairs, human_.state.labels, mouse_.state.labels,
                              human_.state.clusterCount(), mouse_.state.clusterCount(), settings_.pseudoCounts, table_);
        human_.reorderClusters(orders.human);
        mouse_.reorderClusters(orders.mouse);
        result_.scatterPairs = table_.scatterPairs;
        ORTHOMIX_TRY(smoothPairTable(table_, settings_.arithmetic.pairTableFit));
        timings.pairTable += secondsSince(clock);
        watch_.check("pair table", 1.0);
        if (result_.iterations == 0) {
            createPairWeights();
            if (!updateParameters()) return reject("a cluster without ortholog weight");
            timings.mStep += secondsSince(clock);
        }
        const double iterationLogLikelihood =
            eStep((table_.table.scatterProbability * humanScatterDensity) * mouseScatterDensity);
        timings.eStep += secondsSince(clock);
        watch_.check("E-step", 1.0);
        if (!updateParameters()) return reject("a cluster without ortholog weight");
        timings.mStep += secondsSince(clock);
        watch_.check("M-step", 1.0);
        const std::optional<std::size_t> scatterPairs =
            reassignClusterMembers(data_, human_.state, mouse_.state, reassignment_, settings_.pool,
                                   settings_.arithmetic.nearestMeans);
        timings.reassignment += secondsSince(clock);
        if (!scatterPairs) return reject("a gene without a nearest mean");
        result_.scatterPairs = *scatterPairs;
        if (*scatterPairs == pairCount) return reject("every ortholog pair in scatter");

        const double oldHumanSpread = result_.humanSpread;
        const double oldMouseSpread = result_.mouseSpread;
        measureSpreads();
        result_.logLikelihood = iterationLogLikelihood;
        result_.logLikelihoodByIteration.push_back(iterationLogLikelihood);
        ++result_.iterations;
        observer_.iterationCompleted(IterationProgress{result_.iterations, result_.logLikelihood,
                                                       result_.humanSpread, result_.mouseSpread,
                                                       result_.scatterPairs});
        const bool done = converged(oldHumanSpread, result_.humanSpread, settings_.stoppingThr) &&
                          converged(oldMouseSpread, result_.mouseSpread, settings_.stoppingThr);
        result_.converged = done;
        if (done || result_.iterations >= kMaxEmIterations) break;
    }
    result_.emCompleted = true;
    return finish();
}

AttemptResult EmAttempt::finish() {
    const auto hasEmptyCluster = [](const OrganismClusters& clusters) {
        for (const auto& members : clusters.members) {
            if (members.empty()) return true;
        }
        return false;
    };
    if (hasEmptyCluster(human_.state.clusters) || hasEmptyCluster(mouse_.state.clusters)) {
        return reject("a cluster left without members");
    }
    const auto clustering = [](OrganismState& state, std::size_t geneCount) {
        OrganismClustering out;
        // A gene's number is the cluster whose members hold it; scatter otherwise.
        out.labels.assign(geneCount, state.clusterCount());
        for (std::size_t c = 0; c < state.clusters.count(); ++c) {
            for (const std::uint32_t gene : state.clusters.members[c]) out.labels[gene] = static_cast<std::int32_t>(c);
        }
        out.clusters = std::move(state.clusters);
        out.parameters = std::move(state.parameters);
        return out;
    };
    result_.human = clustering(human_.state, data_.human.geneCount());
    result_.mouse = clustering(mouse_.state, data_.mouse.geneCount());
    keepGenePosteriors();
    result_.pairTable = std::move(table_.table);
    return std::move(result_);
}

// The share of `label` among a pair's posterior shares in one organism: the
// cluster sums of its side (row or column sums), `label` == clusters for
// scatter. The shares sum to 1 but for rounding, unless the scatter term
// was negative (a negative pseudo count), when scatter's share is below 0
// and the clusters' add up to more than 1, or no component had any weight,
// when the sums are the joint densities themselves. As a probability, a
// negative scatter share counts as 0 and the shares are divided by their sum
// where it exceeds 1, so that every one lies in [0, 1]; where the sum
// exceeds 1 by rounding alone, that changes the last bits only.
double posteriorShare(const double* sums, std::size_t clusters, double scatterPosterior, std::size_t label) {
    const double scatter = scatterPosterior < 0.0 ? 0.0 : scatterPosterior;  // NaN passes on
    double total = scatter;
    for (std::size_t c = 0; c < clusters; ++c) total += sums[c];
    const double share = label < clusters ? sums[label] : scatter;
    return total > 1.0 ? share / total : share;
}

// The weights still hold the last E-step's posteriors, in the final cluster
// order: a pair's marginal posterior of a human cluster is its row sum, of a
// mouse cluster its column sum, and of scatter the one the E-step weighed.
void EmAttempt::keepGenePosteriors() {
    const auto keep = [](OrganismClustering& organism, std::uint32_t gene, const double* sums, std::size_t clusters,
                         double scatterPosterior) {
        const auto label = static_cast<std::size_t>(organism.labels[gene]);
        const double posterior = posteriorShare(sums, clusters, scatterPosterior, label);
        double& kept = organism.posteriors[gene];
        if (std::isnan(kept) || posterior > kept) kept = posterior;
    };
    constexpr double kNoPair = std::numeric_limits<double>::quiet_NaN();
    result_.human.posteriors.assign(data_.human.geneCount(), kNoPair);
    result_.mouse.posteriors.assign(data_.mouse.geneCount(), kNoPair);
    const std::vector<OrthologPair>& pairs = data_.orthologs.pairs;
    for (std::size_t r = 0; r < pairs.size(); ++r) {
        const double scatterPosterior = pairLabels_[r].scatterPosterior;
        keep(result_.human, pairs[r].human, weights_.rowSums(r), weights_.humanClusters(), scatterPosterior);
        keep(result_.mouse, pairs[r].mouse, weights_.columnSums(r), weights_.mouseClusters(), scatterPosterior);
    }
}

}  // namespace

AttemptStart drawAttemptStart(RandomGenerator& random, std::int32_t k, const Dataset& data) {
    AttemptStart start;
    start.humanSeeds = drawSeedPositions(random, k, data.human.geneCount());
    start.mouseSeeds = drawSeedPositions(random, k, data.mouse.geneCount());
    return start;
}

Result<AttemptResult> runAttempt(const Dataset& data, const AttemptStart& start, const AttemptSettings& settings,
                                 AttemptObserver& observer) {
    EmAttempt attempt(data, settings, observer);
    return attempt.run(start);
}

Result<AttemptResult> runAttempt(const Dataset& data, const AttemptStart& start, const AttemptSettings& settings) {
    AttemptObserver nobody;
    return runAttempt(data, start, settings, nobody);
}

}  // namespace orthomix
