#include "driver/repetitions.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "driver/console.h"
#include "driver/fatal.h"
#include "driver/joint_cluster_model.h"
#include "driver/result_assembly.h"
#include "model/em_run.h"
#include "model/kmeans.h"

namespace orthomix {
namespace {

// The generator draws positions 0..32767 only, so no more seeds can be found.
constexpr std::int64_t kDrawablePositions = static_cast<std::int64_t>(RandomGenerator::kMaxValue) + 1;

void requireSeedableGenes(std::int32_t k, std::size_t geneCount, const char* organism) {
    const std::int64_t drawable = std::min<std::int64_t>(static_cast<std::int64_t>(geneCount), kDrawablePositions);
    if (k > drawable) {
        fatalError("k = " + std::to_string(k) + " is larger than the number of " + organism +
                   " genes that can seed a cluster (" + std::to_string(drawable) +
                   "): lower k, or keep more genes in preprocessing");
    }
}

void initialiseOrganism(const std::vector<GeneRecord*>& genes, const ParameterSetting& parameters,
                        RandomGenerator& random, ClusterStore& store, std::vector<GeneCluster*>& clusters,
                        std::vector<GeneRecord*>& workingGenes) {
    // Any objective below infinity is accepted; only a NaN objective leaves the organism without clusters.
    const double bestObjective = std::numeric_limits<double>::infinity();
    clusters.clear();
    KMeansRun kmeans;
    kmeans.genes = genes;
    kmeans.k = parameters.k;
    kmeans.maxIterations = static_cast<std::int32_t>(static_cast<double>(parameters.kmeansMaxIterations));
    kmeans.tolerance = parameters.stoppingThr;
    kmeans.meanDistance = 0.0;
    kmeans.run(random, store);
    if (kmeans.meanDistance < bestObjective) {
        clusters = kmeans.clusters;
        workingGenes = std::move(kmeans.genes);
    }
    for (const GeneCluster* cluster : clusters) cluster->propagateIndex();
}

void warnAboutOrthologMatches(const OrthologMatchSummary& summary, const std::string& path) {
    if (summary.matched == 0) {
        fatalError("No entry of the ortholog file " + path +
                   " names two genes of the data files: check that its identifiers are those of the "
                   "expression files' first columns (and that preprocessing kept the genes)");
    }
    if (summary.matched * 2 >= summary.entries) return;
    std::fprintf(stderr,
                 "warning: only %zu of the %zu entries of the ortholog file %s name two present genes "
                 "(for example human \"%s\", mouse \"%s\" match no gene)\n",
                 summary.matched, summary.entries, path.c_str(), summary.unmatchedHumanExample.c_str(),
                 summary.unmatchedMouseExample.c_str());
    std::fflush(stderr);
}

}  // namespace

double computeBic(double logLikelihood, std::int32_t k, std::int32_t humanColumns, std::int32_t mouseColumns,
                  std::int32_t geneCount) {
    const std::int32_t freeParameters = 2 * k * (humanColumns + mouseColumns + 1);
    return std::log(static_cast<double>(geneCount)) * freeParameters - 2 * logLikelihood;
}

void JointClusterModel::initialiseRepetition() {
    initialiseOrganism(humanGenes, parameters, random, clusterStore, humanClusters, humanWorkingGenes);
    initialiseOrganism(mouseGenes, parameters, random, clusterStore, mouseClusters, mouseWorkingGenes);
}

bool JointClusterModel::runEm() {
    resultHumanClusters.clear();
    resultMouseClusters.clear();
    resultHumanCenters.clear();
    resultMouseCenters.clear();
    resultScatterPairs.clear();
    RepetitionAttempt& attempt = attempts.back();
    if (humanClusters.empty() || mouseClusters.empty()) {
        attempt.rejectionReason = "no clusters from the k-means start";
        return false;
    }

    EmRun em(humanWorkingGenes, mouseWorkingGenes, humanClusters, mouseClusters, parameters.orthologFile,
             parameters.stoppingThr, static_cast<std::int32_t>(parameters.psudo_uniform_counts),
             parameters.fastDensity == "yes");
    em.readPairs();
    if (!orthologDiagnosticsDone_) {
        orthologDiagnosticsDone_ = true;
        runRecord.orthologEntries = em.matchSummary().entries;
        runRecord.orthologPairsPresent = em.matchSummary().matched;
        warnAboutOrthologMatches(em.matchSummary(), parameters.orthologFile);
    }
    if (parameters.verbose == "yes") {
        em.onIteration = [this, &attempt](const EmRun& run) {
            std::fprintf(stderr,
                         "repetition %d attempt %d iteration %d: log-likelihood %s, spreads %s (human) %s (mouse), "
                         "%zu scatter pairs, %.3f s\n",
                         attempt.repetition, attempt.attempt, run.iterations, formatNumber(run.logLikelihood).c_str(),
                         formatNumber(run.humanSpread).c_str(), formatNumber(run.mouseSpread).c_str(),
                         run.table.scatterPairs.size(), runRecord.secondsSinceStart());
            std::fflush(stderr);
        };
    }
    const bool ok = em.iterate();
    attempt.iterations = em.iterations;
    attempt.logLikelihood = em.logLikelihood;
    attempt.humanSpread = em.humanSpread;
    attempt.mouseSpread = em.mouseSpread;
    attempt.scatterPairs = em.table.scatterPairs.size();
    attempt.timings = em.timings;
    if (!ok) {
        attempt.rejectionReason = em.failureReason;
        return false;
    }

    resultHumanClusters = em.humanClusters;
    resultMouseClusters = em.mouseClusters;
    const auto hasEmptyCluster = [](const std::vector<GeneCluster*>& clusters) {
        return std::any_of(clusters.begin(), clusters.end(),
                           [](const GeneCluster* cluster) { return cluster->memberCount() == 0; });
    };
    if (hasEmptyCluster(resultHumanClusters) || hasEmptyCluster(resultMouseClusters)) {
        attempt.rejectionReason = "a cluster left without members";
        return false;
    }
    resultHumanSpread = em.humanSpread;
    resultMouseSpread = em.mouseSpread;
    resultHumanGenes = em.humanGenes;
    resultMouseGenes = em.mouseGenes;
    resultScatterPairs = em.table.scatterPairs;
    resultLogLikelihood = em.logLikelihood;
    for (const GeneCluster* cluster : resultHumanClusters) resultHumanCenters.push_back(cluster->center.get());
    for (const GeneCluster* cluster : resultMouseClusters) resultMouseCenters.push_back(cluster->center.get());
    humanToMousePairs = em.humanToMouse;
    mouseToHumanPairs = em.mouseToHuman;
    return true;
}

void JointClusterModel::runRepetitions() {
    requireSeedableGenes(parameters.k, humanGenes.size(), "human");
    requireSeedableGenes(parameters.k, mouseGenes.size(), "mouse");

    std::int32_t repetition = 0;
    int rejectedInARow = 0;
    bestLogLikelihood = -std::numeric_limits<double>::infinity();
    bestHumanClusters.clear();
    bestMouseClusters.clear();
    bestHumanToMousePairs.clear();
    bestRepetition = -1;
    bool haveBest = false;

    while (repetition != parameters.nMaxAlgRun) {
        const auto started = std::chrono::steady_clock::now();
        attempts.push_back(RepetitionAttempt{});
        attempts.back().repetition = repetition;
        attempts.back().attempt = rejectedInARow + 1;
        initialiseRepetition();
        const bool ok = runEm();
        const bool accepted = ok && !resultHumanClusters.empty() && !resultMouseClusters.empty() &&
                              resultScatterPairs.size() != humanGenes.size() &&
                              resultScatterPairs.size() != mouseGenes.size();
        RepetitionAttempt& attempt = attempts.back();
        attempt.accepted = accepted;
        attempt.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (ok && !accepted) attempt.rejectionReason = "every gene of an organism in scatter";
        if (!accepted) {
            if (parameters.verbose == "yes") {
                std::fprintf(stderr, "repetition %d attempt %d rejected: %s\n", attempt.repetition, attempt.attempt,
                             attempt.rejectionReason.c_str());
                std::fflush(stderr);
            }
            if (++rejectedInARow >= kMaxRejectedAttempts) {
                fatalError("Repetition " + std::to_string(repetition) + " was rejected " +
                           std::to_string(rejectedInARow) +
                           " times in a row: every attempt ended with an empty cluster, a cluster without "
                           "ortholog weight, every pair in scatter or parameters that are not numbers. Usual "
                           "causes: k too large for the data, too few ortholog pairs, or constant expression "
                           "columns.");
            }
            continue;
        }
        rejectedInARow = 0;
        printLine("Repetitive times:" + std::to_string(repetition));
        for (GeneCluster* cluster : resultHumanClusters) snapshotCluster(*cluster);
        for (GeneCluster* cluster : resultMouseClusters) snapshotCluster(*cluster);
        // Strictly greater: an equal or NaN likelihood keeps the earlier best.
        if (resultLogLikelihood > bestLogLikelihood) {
            bestLogLikelihood = resultLogLikelihood;
            bestHumanClusters = resultHumanClusters;
            bestMouseClusters = resultMouseClusters;
            bestHumanToMousePairs = humanToMousePairs;
            bestRepetition = repetition;
            haveBest = true;
        }
        printLine("......likelihood=\t" + formatNumber(resultLogLikelihood));
        ++repetition;
    }
    if (!haveBest) {
        fatalError("No repetition reached a log-likelihood that is a number; no result file was written");
    }

    bic = computeBic(bestLogLikelihood, parameters.k, static_cast<std::int32_t>(humanGenes.front()->expression.size()),
                     static_cast<std::int32_t>(mouseGenes.front()->expression.size()),
                     static_cast<std::int32_t>(resultHumanGenes.size() + resultMouseGenes.size()));
    printLine(".......\n\n");
    printLine("The maximum likelihood:\n" + formatNumber(bestLogLikelihood));
    printLine("Final BIC:\n" + formatNumber(bic));
}

}  // namespace orthomix
