#include "model/em_attempt.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>

#include "model/densities.h"
#include "model/kmeans_start.h"
#include "model/log_densities.h"
#include "model/log_pair_estep.h"
#include "model/m_step.h"
#include "model/organism_state.h"
#include "model/pair_estep.h"
#include "model/reassignment.h"

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

// The distinct genes of one organism that have a pair, and for every pair the
// slot of its gene among them, so that a gene's densities are evaluated once
// per iteration however many pairs it is in.
struct PairedGenes {
    std::vector<std::uint32_t> genes;
    std::vector<std::uint32_t> slotOfPair;
    std::vector<char> valuesFinite;  // per slot: every expression value is finite

    template <typename GeneOf>
    void build(const std::vector<OrthologPair>& pairs, const ExpressionMatrix& expression, GeneOf geneOf) {
        constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
        std::vector<std::uint32_t> slotOfGene(expression.rows(), kNone);
        slotOfPair.reserve(pairs.size());
        for (const OrthologPair& pair : pairs) {
            const std::uint32_t gene = geneOf(pair);
            if (slotOfGene[gene] == kNone) {
                slotOfGene[gene] = static_cast<std::uint32_t>(genes.size());
                genes.push_back(gene);
            }
            slotOfPair.push_back(slotOfGene[gene]);
        }
        for (const std::uint32_t gene : genes) {
            const double* values = expression.row(gene);
            bool finite = true;
            for (std::size_t i = 0; i < expression.columns(); ++i) finite = finite && std::isfinite(values[i]);
            valuesFinite.push_back(finite ? 1 : 0);
        }
    }
};

// Tells the step observer where an iteration stands once it has run for a
// while, then at most that often. Checked from any thread.
class SlowIterationWatch {
public:
    SlowIterationWatch(const StepObserver& observer, double seconds) : observer_(observer), seconds_(seconds) {}

    bool active() const { return static_cast<bool>(observer_); }
    void begin(int iteration) {
        iteration_ = iteration;
        started_ = Clock::now();
        lastReport_ = started_;
    }
    void check(const char* step, double fractionDone) {
        if (!observer_) return;
        std::lock_guard<std::mutex> lock(mutex_);
        const Clock::time_point now = Clock::now();
        if (std::chrono::duration<double>(now - lastReport_).count() < seconds_) return;
        lastReport_ = now;
        observer_(IterationStep{iteration_, step, fractionDone, std::chrono::duration<double>(now - started_).count()});
    }

private:
    const StepObserver& observer_;
    const double seconds_;
    std::mutex mutex_;
    int iteration_ = 0;
    Clock::time_point started_, lastReport_;
};

// The working state of one attempt; nothing of it outlives runAttempt.
class EmAttempt {
public:
    EmAttempt(const Dataset& data, const AttemptSettings& settings, const IterationObserver& observer,
              const StepObserver& stepObserver)
        : data_(data), settings_(settings), observer_(observer), watch_(stepObserver, settings.slowIterationSeconds) {}

    Result<AttemptResult> run(const AttemptStart& start);

private:
    AttemptResult reject(const char* reason) {
        result_.rejectionReason = reason;
        return std::move(result_);
    }
    void reorderClusters(const ClusterOrders& orders);
    void createPairWeights();
    double exactEStep(double humanScatterDensity, double mouseScatterDensity);
    double logDomainEStep(double humanScatterDensity, double mouseScatterDensity);
    void applyLabels(const OrthologPair& pair, const PairLabels& labels);
    void keepGenePosteriors();
    double applyPairResults();
    AttemptResult finish();
    // body(begin, end) over ranges of [0, count) on the pool, reporting the
    // step's progress when the iteration runs long.
    template <typename Body>
    void split(const char* step, std::size_t count, Body body);

    const Dataset& data_;
    const AttemptSettings& settings_;
    const IterationObserver& observer_;
    SlowIterationWatch watch_;
    AttemptResult result_;
    // Per pair, written side by side and then taken in pair order: the
    // logarithm of its total density and where its genes go.
    std::vector<double> pairLogTotals_;
    std::vector<PairLabels> pairLabels_;

    OrganismState human_, mouse_;
    PairTableState table_;
    PairWeights weights_;
    MStepWorkspace mStep_;
    ReassignmentWorkspace reassignment_;
    PairedGenes pairedHuman_, pairedMouse_;
    ClusterDensityForms humanForms_, mouseForms_;
    LogDensityForms humanLogForms_, mouseLogForms_;
    GeneFeatures humanFeatures_, mouseFeatures_;
    std::vector<double> humanDensities_, mouseDensities_;
};

void EmAttempt::reorderClusters(const ClusterOrders& orders) {
    const auto reorder = [](const std::vector<int>& order, OrganismState& state) {
        bool moved = false;
        for (std::size_t p = 0; p < order.size(); ++p) moved = moved || order[p] != static_cast<int>(p);
        if (!moved) return;
        OrganismClusters& clusters = state.clusters;
        const std::size_t columns = clusters.columns;
        std::vector<std::vector<std::uint32_t>> members(order.size());
        const std::vector<double> centres = clusters.centres;
        for (std::size_t p = 0; p < order.size(); ++p) {
            const auto from = static_cast<std::size_t>(order[p]);
            members[p] = std::move(clusters.members[from]);
            std::copy(centres.begin() + static_cast<std::ptrdiff_t>(from * columns),
                      centres.begin() + static_cast<std::ptrdiff_t>((from + 1) * columns),
                      clusters.centres.begin() + static_cast<std::ptrdiff_t>(p * columns));
        }
        clusters.members = std::move(members);
        // Only the clusters that moved relabel their members.
        for (std::size_t p = 0; p < order.size(); ++p) {
            if (order[p] != static_cast<int>(p)) state.labelMembers(p);
        }
    };
    reorder(orders.human, human_);
    reorder(orders.mouse, mouse_);
}

void EmAttempt::createPairWeights() {
    const std::vector<OrthologPair>& pairs = data_.orthologs.pairs;
    const auto kHm = static_cast<std::size_t>(human_.clusterCount());
    const auto kMs = static_cast<std::size_t>(mouse_.clusterCount());
    weights_.reset(pairs.size(), kHm, kMs);
    for (std::size_t r = 0; r < pairs.size(); ++r) {
        // The indicator of the pair's current cell.
        const auto row = static_cast<std::size_t>(human_.labels[pairs[r].human]);
        const auto column = static_cast<std::size_t>(mouse_.labels[pairs[r].mouse]);
        if (row < kHm && column < kMs) {
            weights_.rowSums(r)[row] = 1.0;
            weights_.columnSums(r)[column] = 1.0;
        }
    }
    pairedHuman_.build(pairs, data_.human.expression, [](const OrthologPair& p) { return p.human; });
    pairedMouse_.build(pairs, data_.mouse.expression, [](const OrthologPair& p) { return p.mouse; });
    if (settings_.fastDensity) {
        humanFeatures_.build(data_.human.expression, pairedHuman_.genes);
        mouseFeatures_.build(data_.mouse.expression, pairedMouse_.genes);
    }
    humanDensities_.assign(pairedHuman_.genes.size() * kHm, 0.0);
    mouseDensities_.assign(pairedMouse_.genes.size() * kMs, 0.0);
}

void EmAttempt::applyLabels(const OrthologPair& pair, const PairLabels& labels) {
    switch (labels.kind) {
        case PairLabels::Kind::Cell:
            human_.labels[pair.human] = labels.row;
            mouse_.labels[pair.mouse] = labels.column;
            break;
        case PairLabels::Kind::Scatter:
            human_.labels[pair.human] = human_.clusterCount();
            mouse_.labels[pair.mouse] = mouse_.clusterCount();
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

double EmAttempt::exactEStep(double humanScatterDensity, double mouseScatterDensity) {
    const auto kHm = static_cast<std::size_t>(human_.clusterCount());
    const auto kMs = static_cast<std::size_t>(mouse_.clusterCount());
    // The parameters are fixed during the pass, so each gene's densities are
    // evaluated once even when the gene is in several pairs.
    const auto densities = [this](const ClusterParameters& parameters, ClusterDensityForms& forms,
                                  const PairedGenes& paired, const ExpressionMatrix& expression,
                                  std::vector<double>& out) {
        prepareClusterDensityForms(parameters, forms);
        const std::size_t k = forms.clusterCount;
        split("E-step densities", paired.genes.size(), [&](std::size_t begin, std::size_t end) {
            DensityScratch scratch;
            for (std::size_t g = begin; g < end; ++g) {
                densitiesOfGene(expression.row(paired.genes[g]), paired.valuesFinite[g] != 0, forms, &out[g * k],
                                scratch);
            }
        });
    };
    densities(human_.parameters, humanForms_, pairedHuman_, data_.human.expression, humanDensities_);
    densities(mouse_.parameters, mouseForms_, pairedMouse_, data_.mouse.expression, mouseDensities_);
    const double scatterTerm = (table_.table.scatterProbability * humanScatterDensity) * mouseScatterDensity;
    const std::size_t pairCount = data_.orthologs.pairs.size();
    pairLogTotals_.resize(pairCount);
    pairLabels_.resize(pairCount);
    split("E-step pairs", pairCount, [&](std::size_t begin, std::size_t end) {
        std::vector<double> joint(kHm * kMs);
        for (std::size_t r = begin; r < end; ++r) {
            const double total =
                pairEStep(table_.table, &humanDensities_[pairedHuman_.slotOfPair[r] * kHm],
                          &mouseDensities_[pairedMouse_.slotOfPair[r] * kMs], scatterTerm, weights_.rowSums(r),
                          weights_.columnSums(r), joint.data(), pairLabels_[r]);
            pairLogTotals_[r] = std::log(total);
        }
    });
    return applyPairResults();
}

double EmAttempt::logDomainEStep(double humanScatterDensity, double mouseScatterDensity) {
    const auto kHm = static_cast<std::size_t>(human_.clusterCount());
    const auto kMs = static_cast<std::size_t>(mouse_.clusterCount());
    prepareLogDensityForms(human_.parameters, humanFeatures_, humanLogForms_);
    prepareLogDensityForms(mouse_.parameters, mouseFeatures_, mouseLogForms_);
    // Blocks of genes, one matrix product each; the blocks do not depend on
    // the number of threads, so neither do the products' roundings.
    split("E-step densities", humanFeatures_.rows, [&](std::size_t begin, std::size_t end) {
        logDensities(humanFeatures_, begin, end, humanLogForms_, &humanDensities_[begin * kHm]);
    });
    split("E-step densities", mouseFeatures_.rows, [&](std::size_t begin, std::size_t end) {
        logDensities(mouseFeatures_, begin, end, mouseLogForms_, &mouseDensities_[begin * kMs]);
    });
    const ScatterTerm scatter =
        ScatterTerm::of((table_.table.scatterProbability * humanScatterDensity) * mouseScatterDensity);
    const std::size_t pairCount = data_.orthologs.pairs.size();
    pairLogTotals_.resize(pairCount);
    pairLabels_.resize(pairCount);
    split("E-step pairs", pairCount, [&](std::size_t begin, std::size_t end) {
        PairLogScratch scratch;
        scratch.prepare(table_.table);
        for (std::size_t r = begin; r < end; ++r) {
            pairLogTotals_[r] = pairLogEStep(table_.table, &humanDensities_[pairedHuman_.slotOfPair[r] * kHm],
                                             &mouseDensities_[pairedMouse_.slotOfPair[r] * kMs], scatter,
                                             weights_.rowSums(r), weights_.columnSums(r), scratch, pairLabels_[r]);
        }
    });
    return applyPairResults();
}

Result<AttemptResult> EmAttempt::run(const AttemptStart& start) {
    const ExpressionMatrix& humanValues = data_.human.expression;
    const ExpressionMatrix& mouseValues = data_.mouse.expression;
    ThreadPool* pool = settings_.pool;
    KMeansStart humanStart = runKMeans(humanValues, start.humanSeeds, settings_.stoppingThr,
                                       settings_.kmeansMaxIterations, pool);
    KMeansStart mouseStart = runKMeans(mouseValues, start.mouseSeeds, settings_.stoppingThr,
                                       settings_.kmeansMaxIterations, pool);
    const auto summary = [](const std::vector<std::uint32_t>& seeds, const KMeansStart& kmeans) {
        return StartClusters{static_cast<std::int32_t>(seeds.size()),
                             static_cast<std::int32_t>(kmeans.clusters.count()), kmeans.identicalSeeds};
    };
    result_.humanStart = summary(start.humanSeeds, humanStart);
    result_.mouseStart = summary(start.mouseSeeds, mouseStart);
    // Only a NaN objective leaves an organism without clusters.
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    if (!(humanStart.meanDistance < kInfinity) || !(mouseStart.meanDistance < kInfinity)) {
        return reject("no clusters from the k-means start");
    }
    human_.clusters = std::move(humanStart.clusters);
    human_.labels = std::move(humanStart.labels);
    mouse_.clusters = std::move(mouseStart.clusters);
    mouse_.labels = std::move(mouseStart.labels);

    result_.humanSpread = human_.clusters.spread(humanValues, humanValues.rows(), pool);
    result_.mouseSpread = mouse_.clusters.spread(mouseValues, mouseValues.rows(), pool);
    const double humanScatterDensity = scatterDensity(humanValues);
    const double mouseScatterDensity = scatterDensity(mouseValues);
    const std::size_t pairCount = data_.orthologs.pairs.size();
    EmTimings& timings = result_.timings;

    for (;;) {
        if (settings_.waitUntilNeeded && result_.iterations >= kIterationsAhead) (*settings_.waitUntilNeeded)();
        if (settings_.cancel && settings_.cancel->load()) return reject("no longer needed");
        watch_.begin(result_.iterations + 1);
        Clock::time_point clock = Clock::now();
        reorderClusters(estimatePairTable(data_.orthologs.pairs, human_.labels, mouse_.labels, human_.clusterCount(),
                                          mouse_.clusterCount(), settings_.pseudoCounts, table_));
        result_.scatterPairs = table_.scatterPairs;
        ORTHOMIX_TRY(smoothPairTable(
            table_, settings_.fastDensity ? PairTableFit::Structured : PairTableFit::Decomposition));
        timings.pairTable += secondsSince(clock);
        watch_.check("pair table", 1.0);
        if (result_.iterations == 0) {
            createPairWeights();
            if (!updateClusterParameters(data_, weights_, human_, mouse_, mStep_, pool)) {
                return reject("a cluster without ortholog weight");
            }
            timings.mStep += secondsSince(clock);
        }
        const double iterationLogLikelihood = settings_.fastDensity
                                                  ? logDomainEStep(humanScatterDensity, mouseScatterDensity)
                                                  : exactEStep(humanScatterDensity, mouseScatterDensity);
        timings.eStep += secondsSince(clock);
        watch_.check("E-step", 1.0);
        if (!updateClusterParameters(data_, weights_, human_, mouse_, mStep_, pool)) {
            return reject("a cluster without ortholog weight");
        }
        timings.mStep += secondsSince(clock);
        watch_.check("M-step", 1.0);
        const std::optional<std::size_t> scatterPairs =
            reassignClusterMembers(data_, human_, mouse_, reassignment_, pool);
        timings.reassignment += secondsSince(clock);
        if (!scatterPairs) return reject("a gene without a nearest mean");
        result_.scatterPairs = *scatterPairs;
        if (*scatterPairs == pairCount) return reject("every ortholog pair in scatter");

        const double oldHumanSpread = result_.humanSpread;
        const double oldMouseSpread = result_.mouseSpread;
        result_.humanSpread = human_.clusters.spread(humanValues, humanValues.rows(), pool);
        result_.mouseSpread = mouse_.clusters.spread(mouseValues, mouseValues.rows(), pool);
        result_.logLikelihood = iterationLogLikelihood;
        result_.logLikelihoodByIteration.push_back(iterationLogLikelihood);
        ++result_.iterations;
        if (observer_) {
            observer_(IterationProgress{result_.iterations, result_.logLikelihood, result_.humanSpread,
                                        result_.mouseSpread, result_.scatterPairs});
        }
        if (settings_.stop && settings_.stop->load(std::memory_order_relaxed)) return reject("interrupted");
        const bool done = converged(oldHumanSpread, result_.humanSpread, settings_.stoppingThr) &&
                          converged(oldMouseSpread, result_.mouseSpread, settings_.stoppingThr);
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
    if (hasEmptyCluster(human_.clusters) || hasEmptyCluster(mouse_.clusters)) {
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
    result_.human = clustering(human_, data_.human.geneCount());
    result_.mouse = clustering(mouse_, data_.mouse.geneCount());
    keepGenePosteriors();
    result_.pairTable = std::move(table_.table);
    return std::move(result_);
}

// The weights still hold the last E-step's posteriors, in the final cluster
// order: a pair's marginal posterior of a human cluster is its row sum, of a
// mouse cluster its column sum, and of scatter what the cells leave over.
void EmAttempt::keepGenePosteriors() {
    const auto keep = [](OrganismClustering& organism, std::uint32_t gene, const double* sums, std::size_t clusters) {
        const auto label = static_cast<std::size_t>(organism.labels[gene]);
        double posterior = 1.0;
        if (label < clusters) {
            posterior = sums[label];
        } else {
            for (std::size_t c = 0; c < clusters; ++c) posterior -= sums[c];
        }
        double& kept = organism.posteriors[gene];
        if (std::isnan(kept) || posterior > kept) kept = posterior;
    };
    constexpr double kNoPair = std::numeric_limits<double>::quiet_NaN();
    result_.human.posteriors.assign(data_.human.geneCount(), kNoPair);
    result_.mouse.posteriors.assign(data_.mouse.geneCount(), kNoPair);
    const std::vector<OrthologPair>& pairs = data_.orthologs.pairs;
    for (std::size_t r = 0; r < pairs.size(); ++r) {
        keep(result_.human, pairs[r].human, weights_.rowSums(r), weights_.humanClusters());
        keep(result_.mouse, pairs[r].mouse, weights_.columnSums(r), weights_.mouseClusters());
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
                                 const IterationObserver& observer, const StepObserver& stepObserver) {
    EmAttempt attempt(data, settings, observer, stepObserver);
    return attempt.run(start);
}

}  // namespace orthomix
