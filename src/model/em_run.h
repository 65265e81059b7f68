#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "io/annotation_reader.h"
#include "model/cluster_update.h"
#include "model/densities.h"
#include "model/log_domain_estep.h"
#include "model/pair_estep.h"
#include "model/pair_table.h"
#include "records/gene_cluster.h"

namespace orthomix {

// How the ortholog file matched the genes of the run.
struct OrthologMatchSummary {
    std::size_t entries = 0;  // distinct (human, mouse) entries of the file
    std::size_t matched = 0;  // entries whose two genes are both present
    std::string unmatchedHumanExample;
    std::string unmatchedMouseExample;
};

// Wall seconds spent in the parts of the EM iterations.
struct EmTimings {
    double pairTable = 0.0;  // estimating and smoothing the cluster-pair table
    double eStep = 0.0;
    double mStep = 0.0;
    double reassignment = 0.0;
};

// The working state of one EM run of the joint model.
class EmRun {
public:
    static constexpr int kMaxIterations = 100;

    EmRun(std::vector<GeneRecord*> humanGenes, std::vector<GeneRecord*> mouseGenes,
          std::vector<GeneCluster*> humanClusters, std::vector<GeneCluster*> mouseClusters,
          std::string orthologFilePath, double stoppingThr, std::int32_t pseudoCounts, bool logDomainEStep = false);

    // readPairs then iterate.
    bool run();
    // Reads the ortholog file and resolves its entries to present genes.
    void readPairs();
    // The EM iterations; true when they ended normally.
    bool iterate();
    void buildOrthologPairs();

    const OrthologMatchSummary& matchSummary() const { return matchSummary_; }

    std::string orthologFilePath;
    OrthologTable orthologTable;
    PairTableState table;  // pair counts, pair table, scatter probability and pairs
    std::vector<ClusterParameters> humanClusterParams, mouseClusterParams;
    std::vector<GeneRecord*> humanGenes, mouseGenes;
    std::vector<GeneCluster*> humanClusters, mouseClusters;
    std::vector<GenePair> humanToMouse;  // ordered by the human gene's list position, then insertion
    std::vector<GenePair> mouseToHuman;  // ordered by the mouse gene's list position, then insertion
    std::vector<GeneRecord*> unpairedHumanGenes, unpairedMouseGenes;
    double humanSpread = 0.0;
    double mouseSpread = 0.0;
    double stoppingThr;
    std::int32_t pseudoCounts;
    bool logDomainEStep;  // the opt-in fast E-step
    double logLikelihood = 0.0;
    std::vector<OrthologPairRecord> pairRecords;
    int iterations = 0;
    EmTimings timings;
    std::string failureReason;  // why iterate() returned false
    // Called after every completed iteration, when set (progress reports).
    std::function<void(const EmRun&)> onIteration;

private:
    bool fail(const char* reason);
    void createPairRecords();
    double eStepAll(double humanScatterDensity, double mouseScatterDensity);
    double logDomainEStepAll(double humanScatterDensity, double mouseScatterDensity);
    static double spread(const std::vector<GeneCluster*>& clusters, std::size_t geneCount);

    OrthologMatchSummary matchSummary_;
    // Distinct paired genes and, per record, the slot of each of its genes, so
    // that a gene's densities are evaluated once per iteration.
    std::vector<GeneRecord*> pairedHumanGenes_, pairedMouseGenes_;
    std::vector<std::uint32_t> humanSlotOfPair_, mouseSlotOfPair_;
    std::vector<char> humanValuesFinite_, mouseValuesFinite_;
    std::vector<double> posteriorMargins_;
    std::vector<ClusterDensityForm> humanForms_, mouseForms_;
    LogDensityForms humanLogForms_, mouseLogForms_;
    std::vector<double> logPairTable_;
    std::vector<double> humanDensities_, mouseDensities_, jointScratch_;
    ClusterUpdateWorkspace mStepWorkspace_;
    ClusterUpdateWorkspace reassignWorkspaces_[2];
};

}  // namespace orthomix
