#include "model/em_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <string_view>
#include <unordered_map>

#include "driver/console.h"
#include "model/cluster_update.h"

namespace orthomix {
namespace {

std::unordered_map<std::string_view, std::uint32_t> firstPositionByName(const std::vector<GeneRecord*>& genes) {
    std::unordered_map<std::string_view, std::uint32_t> positions;
    positions.reserve(genes.size());
    for (std::uint32_t p = 0; p < genes.size(); ++p) positions.emplace(genes[p]->name, p);  // keeps the first
    return positions;
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point& start) {
    const Clock::time_point now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - start).count();
    start = now;
    return seconds;
}

// Relative change of a spread; a NaN ratio (0/0) counts as converged.
bool withinThreshold(double oldValue, double newValue, double threshold) {
    const double change = (oldValue - newValue) / oldValue;
    return !(std::fabs(change) > threshold);
}

}  // namespace

EmRun::EmRun(std::vector<GeneRecord*> humanGeneList, std::vector<GeneRecord*> mouseGeneList,
             std::vector<GeneCluster*> humanClusterList, std::vector<GeneCluster*> mouseClusterList,
             std::string orthologPath, double threshold, std::int32_t pseudoCountSetting, bool logDomain)
    : orthologFilePath(std::move(orthologPath)),
      humanGenes(std::move(humanGeneList)),
      mouseGenes(std::move(mouseGeneList)),
      humanClusters(std::move(humanClusterList)),
      mouseClusters(std::move(mouseClusterList)),
      stoppingThr(threshold),
      pseudoCounts(pseudoCountSetting),
      logDomainEStep(logDomain) {}

bool EmRun::run() {
    readPairs();
    return iterate();
}

void EmRun::readPairs() {
    readOrthologFile(orthologFilePath, orthologTable);
    buildOrthologPairs();
}

void EmRun::buildOrthologPairs() {
    humanToMouse.clear();
    mouseToHuman.clear();
    unpairedHumanGenes.clear();
    unpairedMouseGenes.clear();
    matchSummary_ = OrthologMatchSummary{};
    matchSummary_.entries = orthologTable.size();

    const auto humanPositions = firstPositionByName(humanGenes);
    const auto mousePositions = firstPositionByName(mouseGenes);
    struct Match {
        std::uint32_t human, mouse;
    };
    std::vector<Match> matches;
    for (const auto& [key, value] : orthologTable) {
        const auto human = humanPositions.find(key.first);
        const auto mouse = mousePositions.find(key.second);
        if (human == humanPositions.end() && matchSummary_.unmatchedHumanExample.empty()) {
            matchSummary_.unmatchedHumanExample = key.first;
        }
        if (mouse == mousePositions.end() && matchSummary_.unmatchedMouseExample.empty()) {
            matchSummary_.unmatchedMouseExample = key.second;
        }
        if (human == humanPositions.end() || mouse == mousePositions.end()) continue;
        matches.push_back({human->second, mouse->second});
    }
    matchSummary_.matched = matches.size();

    // Ordered by the key gene's position in its list; one key keeps insertion order.
    std::vector<Match> byHuman = matches;
    std::stable_sort(byHuman.begin(), byHuman.end(), [](const Match& a, const Match& b) { return a.human < b.human; });
    std::stable_sort(matches.begin(), matches.end(), [](const Match& a, const Match& b) { return a.mouse < b.mouse; });
    humanToMouse.reserve(byHuman.size());
    mouseToHuman.reserve(matches.size());
    for (const Match& m : byHuman) {
        GeneRecord* human = humanGenes[m.human];
        GeneRecord* mouse = mouseGenes[m.mouse];
        human->hasOrtholog = true;
        mouse->hasOrtholog = true;
        humanToMouse.push_back({human, mouse});
    }
    for (const Match& m : matches) mouseToHuman.push_back({humanGenes[m.human], mouseGenes[m.mouse]});

    for (GeneRecord* gene : humanGenes) {
        if (!gene->hasOrtholog) unpairedHumanGenes.push_back(gene);
    }
    for (GeneRecord* gene : mouseGenes) {
        if (!gene->hasOrtholog) unpairedMouseGenes.push_back(gene);
    }
}

double EmRun::spread(const std::vector<GeneCluster*>& clusters, std::size_t geneCount) {
    double sum = 0.0;
    for (const GeneCluster* cluster : clusters) {
        sum += cluster->meanDistanceToCenter() * cluster->memberCount() / static_cast<double>(geneCount);
    }
    return sum;
}

void EmRun::createPairRecords() {
    const std::size_t kHm = humanClusters.size();
    const std::size_t kMs = mouseClusters.size();
    const std::size_t stride = kHm + kMs;
    posteriorMargins_.assign(humanToMouse.size() * stride, 0.0);
    pairRecords.clear();
    pairRecords.reserve(humanToMouse.size());

    std::unordered_map<const GeneRecord*, std::uint32_t> humanSlots, mouseSlots;
    pairedHumanGenes_.clear();
    pairedMouseGenes_.clear();
    humanSlotOfPair_.clear();
    mouseSlotOfPair_.clear();
    for (std::size_t r = 0; r < humanToMouse.size(); ++r) {
        const GenePair& pair = humanToMouse[r];
        OrthologPairRecord record;
        record.humanGene = pair.human;
        record.mouseGene = pair.mouse;
        record.posteriorRowSums = posteriorMargins_.data() + r * stride;
        record.posteriorColumnSums = record.posteriorRowSums + kHm;
        // The indicator of the pair's current cell.
        const auto row = static_cast<std::size_t>(pair.human->clusterIndex);
        const auto column = static_cast<std::size_t>(pair.mouse->clusterIndex);
        if (row < kHm && column < kMs) {
            record.posteriorRowSums[row] = 1.0;
            record.posteriorColumnSums[column] = 1.0;
        }
        pairRecords.push_back(record);

        const auto humanSlot = humanSlots.emplace(pair.human, static_cast<std::uint32_t>(pairedHumanGenes_.size()));
        if (humanSlot.second) pairedHumanGenes_.push_back(pair.human);
        humanSlotOfPair_.push_back(humanSlot.first->second);
        const auto mouseSlot = mouseSlots.emplace(pair.mouse, static_cast<std::uint32_t>(pairedMouseGenes_.size()));
        if (mouseSlot.second) pairedMouseGenes_.push_back(pair.mouse);
        mouseSlotOfPair_.push_back(mouseSlot.first->second);
    }
    const auto allFinite = [](const GeneRecord* gene) {
        return static_cast<char>(std::all_of(gene->expression.begin(), gene->expression.end(),
                                             [](double v) { return std::isfinite(v); }));
    };
    humanValuesFinite_.clear();
    mouseValuesFinite_.clear();
    for (const GeneRecord* gene : pairedHumanGenes_) humanValuesFinite_.push_back(allFinite(gene));
    for (const GeneRecord* gene : pairedMouseGenes_) mouseValuesFinite_.push_back(allFinite(gene));
    humanDensities_.assign(pairedHumanGenes_.size() * kHm, 0.0);
    mouseDensities_.assign(pairedMouseGenes_.size() * kMs, 0.0);
    jointScratch_.assign(kHm * kMs, 0.0);
}

double EmRun::eStepAll(double humanScatterDensity, double mouseScatterDensity) {
    const std::size_t kHm = humanClusters.size();
    const std::size_t kMs = mouseClusters.size();
    // The parameters are fixed during the pass, so each gene's densities are
    // evaluated once even when the gene is in several pairs.
    const auto densities = [](const std::vector<ClusterParameters>& params, std::vector<ClusterDensityForm>& forms,
                              const std::vector<GeneRecord*>& genes, const std::vector<char>& valuesFinite,
                              std::vector<double>& out) {
        prepareDensityForms(params, forms);
        const std::size_t k = forms.size();
        for (std::size_t g = 0; g < genes.size(); ++g) {
            const double* x = genes[g]->expression.data();
            for (std::size_t c = 0; c < k; ++c) out[g * k + c] = preparedDensity(x, forms[c], valuesFinite[g] != 0);
        }
    };
    densities(humanClusterParams, humanForms_, pairedHumanGenes_, humanValuesFinite_, humanDensities_);
    densities(mouseClusterParams, mouseForms_, pairedMouseGenes_, mouseValuesFinite_, mouseDensities_);
    const double scatterTerm = (table.scatterProbability * humanScatterDensity) * mouseScatterDensity;
    double sum = 0.0;
    for (std::size_t r = 0; r < pairRecords.size(); ++r) {
        const double total = pairEStep(table.pairTable, &humanDensities_[humanSlotOfPair_[r] * kHm],
                                       &mouseDensities_[mouseSlotOfPair_[r] * kMs], scatterTerm, pairRecords[r],
                                       jointScratch_.data());
        sum += std::log(total);
    }
    return sum;
}

double EmRun::logDomainEStepAll(double humanScatterDensity, double mouseScatterDensity) {
    const std::size_t kHm = humanClusters.size();
    const std::size_t kMs = mouseClusters.size();
    prepareLogDensityForms(humanClusterParams, humanLogForms_);
    prepareLogDensityForms(mouseClusterParams, mouseLogForms_);
    for (std::size_t g = 0; g < pairedHumanGenes_.size(); ++g) {
        logDensities(pairedHumanGenes_[g]->expression.data(), humanLogForms_, &humanDensities_[g * kHm]);
    }
    for (std::size_t g = 0; g < pairedMouseGenes_.size(); ++g) {
        logDensities(pairedMouseGenes_[g]->expression.data(), mouseLogForms_, &mouseDensities_[g * kMs]);
    }
    logPairTable_.resize(table.pairTable.cells.size());
    for (std::size_t c = 0; c < logPairTable_.size(); ++c) logPairTable_[c] = std::log(table.pairTable.cells[c]);
    const double logScatterTerm =
        std::log((table.scatterProbability * humanScatterDensity) * mouseScatterDensity);
    double sum = 0.0;
    for (std::size_t r = 0; r < pairRecords.size(); ++r) {
        sum += pairLogEStep(logPairTable_.data(), static_cast<int>(kHm), static_cast<int>(kMs),
                            &humanDensities_[humanSlotOfPair_[r] * kHm], &mouseDensities_[mouseSlotOfPair_[r] * kMs],
                            logScatterTerm, pairRecords[r], jointScratch_.data());
    }
    return sum;
}

bool EmRun::fail(const char* reason) {
    failureReason = reason;
    return false;
}

bool EmRun::iterate() {
    iterations = 0;
    failureReason.clear();
    humanSpread = spread(humanClusters, humanGenes.size());
    mouseSpread = spread(mouseClusters, mouseGenes.size());
    const auto [humanScatterDensity, mouseScatterDensity] = scatterDensities(humanGenes, mouseGenes);

    for (;;) {
        Clock::time_point clock = Clock::now();
        estimatePairTable(humanClusters, mouseClusters, humanToMouse, pseudoCounts, table);
        smoothPairTable(table);
        timings.pairTable += secondsSince(clock);
        if (iterations == 0) {
            createPairRecords();
            if (updateClusterParameters(humanClusters, mouseClusters, humanClusterParams, mouseClusterParams,
                                        pairRecords, &mStepWorkspace_) == -1) {
                return fail("a cluster without ortholog weight");
            }
            timings.mStep += secondsSince(clock);
        }
        const double iterationLogLikelihood = logDomainEStep
                                                  ? logDomainEStepAll(humanScatterDensity, mouseScatterDensity)
                                                  : eStepAll(humanScatterDensity, mouseScatterDensity);
        timings.eStep += secondsSince(clock);
        if (updateClusterParameters(humanClusters, mouseClusters, humanClusterParams, mouseClusterParams,
                                    pairRecords, &mStepWorkspace_) == -1) {
            return fail("a cluster without ortholog weight");
        }
        timings.mStep += secondsSince(clock);
        if (reassignClusterMembers(humanClusterParams, mouseClusterParams, humanClusters, mouseClusters, humanToMouse,
                                   unpairedHumanGenes, unpairedMouseGenes, table.scatterPairs, reassignWorkspaces_) == -1) {
            return fail("a gene without a nearest mean");
        }
        timings.reassignment += secondsSince(clock);
        if (table.scatterPairs.size() == humanToMouse.size()) return fail("every ortholog pair in scatter");

        const double oldHumanSpread = humanSpread;
        const double oldMouseSpread = mouseSpread;
        humanSpread = spread(humanClusters, humanGenes.size());
        mouseSpread = spread(mouseClusters, mouseGenes.size());
        logLikelihood = iterationLogLikelihood;
        ++iterations;
        if (onIteration) onIteration(*this);
        const bool converged = withinThreshold(oldHumanSpread, humanSpread, stoppingThr) &&
                               withinThreshold(oldMouseSpread, mouseSpread, stoppingThr);
        if (converged || iterations >= kMaxIterations) break;
    }

    printLine("\n\n");
    printLine("......New repetition....");
    printLine("scatter_gene_pair_cluster's size:\t" + std::to_string(table.scatterPairs.size()));
    pairRecords.clear();
    return true;
}

}  // namespace orthomix
