#include "model/em_attempt.h"

#include <chrono>
#include <cmath>
#include <limits>

#include "model/densities.h"
#include "model/kmeans_start.h"
#include "model/log_domain_estep.h"
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

// The working state of one attempt; nothing of it outlives runAttempt.
class EmAttempt {
public:
    EmAttempt(const Dataset& data, const AttemptSettings& settings, const IterationObserver& observer)
        : data_(data), settings_(settings), observer_(observer) {}

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
    AttemptResult finish();

    const Dataset& data_;
    const AttemptSettings& settings_;
    const IterationObserver& observer_;
    AttemptResult result_;

    OrganismState human_, mouse_;
    PairTableState table_;
    PairWeights weights_;
    MStepWorkspace mStep_;
    ReassignmentWorkspace reassignment_;
    PairedGenes pairedHuman_, pairedMouse_;
    std::vector<DensityForm> humanForms_, mouseForms_;
    LogDensityForms humanLogForms_, mouseLogForms_;
    std::vector<double> logPairTable_;
    std::vector<double> humanDensities_, mouseDensities_, joint_;
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
    humanDensities_.assign(pairedHuman_.genes.size() * kHm, 0.0);
    mouseDensities_.assign(pairedMouse_.genes.size() * kMs, 0.0);
    joint_.assign(kHm * kMs, 0.0);
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

double EmAttempt::exactEStep(double humanScatterDensity, double mouseScatterDensity) {
    const auto kHm = static_cast<std::size_t>(human_.clusterCount());
    const auto kMs = static_cast<std::size_t>(mouse_.clusterCount());
    // The parameters are fixed during the pass, so each gene's densities are
    // evaluated once even when the gene is in several pairs.
    const auto densities = [](const ClusterParameters& parameters, std::vector<DensityForm>& forms,
                              const PairedGenes& paired, const ExpressionMatrix& expression, std::vector<double>& out) {
        prepareDensityForms(parameters, forms);
        const std::size_t k = forms.size();
        for (std::size_t g = 0; g < paired.genes.size(); ++g) {
            const double* x = expression.row(paired.genes[g]);
            for (std::size_t c = 0; c < k; ++c) out[g * k + c] = density(x, forms[c], paired.valuesFinite[g] != 0);
        }
    };
    densities(human_.parameters, humanForms_, pairedHuman_, data_.human.expression, humanDensities_);
    densities(mouse_.parameters, mouseForms_, pairedMouse_, data_.mouse.expression, mouseDensities_);
    const double scatterTerm = (table_.table.scatterProbability * humanScatterDensity) * mouseScatterDensity;
    const std::vector<OrthologPair>& pairs = data_.orthologs.pairs;
    double sum = 0.0;
    PairLabels labels;
    for (std::size_t r = 0; r < pairs.size(); ++r) {
        const double total =
            pairEStep(table_.table, &humanDensities_[pairedHuman_.slotOfPair[r] * kHm],
                      &mouseDensities_[pairedMouse_.slotOfPair[r] * kMs], scatterTerm, weights_.rowSums(r),
                      weights_.columnSums(r), joint_.data(), labels);
        applyLabels(pairs[r], labels);
        sum += std::log(total);
    }
    return sum;
}

double EmAttempt::logDomainEStep(double humanScatterDensity, double mouseScatterDensity) {
    const auto kHm = static_cast<std::size_t>(human_.clusterCount());
    const auto kMs = static_cast<std::size_t>(mouse_.clusterCount());
    prepareLogDensityForms(human_.parameters, humanLogForms_);
    prepareLogDensityForms(mouse_.parameters, mouseLogForms_);
    for (std::size_t g = 0; g < pairedHuman_.genes.size(); ++g) {
        logDensities(data_.human.expression.row(pairedHuman_.genes[g]), humanLogForms_, &humanDensities_[g * kHm]);
    }
    for (std::size_t g = 0; g < pairedMouse_.genes.size(); ++g) {
        logDensities(data_.mouse.expression.row(pairedMouse_.genes[g]), mouseLogForms_, &mouseDensities_[g * kMs]);
    }
    const std::vector<double>& cells = table_.table.cells;
    logPairTable_.resize(cells.size());
    for (std::size_t c = 0; c < cells.size(); ++c) logPairTable_[c] = std::log(cells[c]);
    const double logScatterTerm =
        std::log((table_.table.scatterProbability * humanScatterDensity) * mouseScatterDensity);
    const std::vector<OrthologPair>& pairs = data_.orthologs.pairs;
    double sum = 0.0;
    PairLabels labels;
    for (std::size_t r = 0; r < pairs.size(); ++r) {
        sum += pairLogEStep(logPairTable_.data(), static_cast<int>(kHm), static_cast<int>(kMs),
                            &humanDensities_[pairedHuman_.slotOfPair[r] * kHm],
                            &mouseDensities_[pairedMouse_.slotOfPair[r] * kMs], logScatterTerm, weights_.rowSums(r),
                            weights_.columnSums(r), joint_.data(), labels);
        applyLabels(pairs[r], labels);
    }
    return sum;
}

Result<AttemptResult> EmAttempt::run(const AttemptStart& start) {
    const ExpressionMatrix& humanValues = data_.human.expression;
    const ExpressionMatrix& mouseValues = data_.mouse.expression;
    KMeansStart humanStart = runKMeans(humanValues, start.humanSeeds, settings_.stoppingThr,
                                       settings_.kmeansMaxIterations);
    KMeansStart mouseStart = runKMeans(mouseValues, start.mouseSeeds, settings_.stoppingThr,
                                       settings_.kmeansMaxIterations);
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

    result_.humanSpread = human_.clusters.spread(humanValues, humanValues.rows());
    result_.mouseSpread = mouse_.clusters.spread(mouseValues, mouseValues.rows());
    const double humanScatterDensity = scatterDensity(humanValues);
    const double mouseScatterDensity = scatterDensity(mouseValues);
    const std::size_t pairCount = data_.orthologs.pairs.size();
    EmTimings& timings = result_.timings;

    for (;;) {
        Clock::time_point clock = Clock::now();
        reorderClusters(estimatePairTable(data_.orthologs.pairs, human_.labels, mouse_.labels, human_.clusterCount(),
                                          mouse_.clusterCount(), settings_.pseudoCounts, table_));
        result_.scatterPairs = table_.scatterPairs;
        ORTHOMIX_TRY(smoothPairTable(table_));
        timings.pairTable += secondsSince(clock);
        if (result_.iterations == 0) {
            createPairWeights();
            if (!updateClusterParameters(data_, weights_, human_, mouse_, mStep_)) {
                return reject("a cluster without ortholog weight");
            }
            timings.mStep += secondsSince(clock);
        }
        const double iterationLogLikelihood = settings_.fastDensity
                                                  ? logDomainEStep(humanScatterDensity, mouseScatterDensity)
                                                  : exactEStep(humanScatterDensity, mouseScatterDensity);
        timings.eStep += secondsSince(clock);
        if (!updateClusterParameters(data_, weights_, human_, mouse_, mStep_)) {
            return reject("a cluster without ortholog weight");
        }
        timings.mStep += secondsSince(clock);
        const std::optional<std::size_t> scatterPairs = reassignClusterMembers(data_, human_, mouse_, reassignment_);
        timings.reassignment += secondsSince(clock);
        if (!scatterPairs) return reject("a gene without a nearest mean");
        result_.scatterPairs = *scatterPairs;
        if (*scatterPairs == pairCount) return reject("every ortholog pair in scatter");

        const double oldHumanSpread = result_.humanSpread;
        const double oldMouseSpread = result_.mouseSpread;
        result_.humanSpread = human_.clusters.spread(humanValues, humanValues.rows());
        result_.mouseSpread = mouse_.clusters.spread(mouseValues, mouseValues.rows());
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
                                 const IterationObserver& observer) {
    EmAttempt attempt(data, settings, observer);
    return attempt.run(start);
}

}  // namespace orthomix
