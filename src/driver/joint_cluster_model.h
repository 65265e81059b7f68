#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/parameters.h"
#include "driver/run_record.h"
#include "model/em_run.h"
#include "numeric/random_generator.h"
#include "records/gene_cluster.h"
#include "records/gene_record.h"

namespace orthomix {

// One attempt of the repetition loop, accepted or rejected.
struct RepetitionAttempt {
    std::int32_t repetition = 0;  // the number the attempt ran under
    std::int32_t attempt = 1;     // 1 for the first try of that number, 2 for its first retry, ...
    bool accepted = false;
    std::string rejectionReason;
    int iterations = 0;
    double logLikelihood = 0.0;  // of the last completed iteration
    double humanSpread = 0.0;
    double mouseSpread = 0.0;
    std::size_t scatterPairs = 0;
    double seconds = 0.0;
    EmTimings timings;
};

// The whole run: owns every gene record and cluster, and performs the phases
// in their fixed order.
class JointClusterModel {
public:
    explicit JointClusterModel(std::string parameterFilePath);

    // Reads, optionally preprocesses, runs the repetitions and writes the results
    // (and the run record when asked for, also when the run ends in a fatal error).
    void run();

    void readParameters();
    void readExpressionData();
    void readAnnotation();
    void preprocess();
    void initialiseRepetition();
    bool runEm();
    void runRepetitions();
    void writeResults();

    // Seeds the generator from the clock unless the parameter file fixes a seed.
    void seedRandomGenerator(std::uint32_t clockSeed) { clockSeed_ = clockSeed; }

    std::string parameterFilePath;
    ParameterSetting parameters;

    std::vector<GeneRecord*> humanGenes, mouseGenes;
    std::vector<GeneRecord*> humanWorkingGenes, mouseWorkingGenes;
    std::vector<std::string> humanSampleNames, mouseSampleNames, pairSampleNames;
    std::vector<GeneCluster*> humanClusters, mouseClusters;
    std::vector<GeneCluster*> resultHumanClusters, resultMouseClusters;
    std::vector<GeneRecord*> resultHumanGenes, resultMouseGenes;
    std::vector<GenePair> humanToMousePairs;  // ordered by the human gene's position, then insertion
    std::vector<GenePair> mouseToHumanPairs;  // ordered by the mouse gene's position, then insertion
    std::vector<GeneRecord*> resultHumanCenters, resultMouseCenters;
    std::vector<GenePair> resultScatterPairs;
    double resultHumanSpread = 0.0;
    double resultMouseSpread = 0.0;
    double resultLogLikelihood = 0.0;

    // Kept by the repetition loop for the result phase.
    double bestLogLikelihood = 0.0;
    std::int32_t bestRepetition = -1;  // -1 until a repetition becomes the best
    double bic = 0.0;
    std::vector<GeneCluster*> bestHumanClusters, bestMouseClusters;
    std::vector<GenePair> bestHumanToMousePairs;
    std::vector<GeneCluster*> genePairClusters;
    std::vector<RepetitionAttempt> attempts;
    RunRecord runRecord;

    RandomGenerator random;
    GeneStore geneStore;        // every gene record of the run
    ClusterStore clusterStore;  // every cluster of every repetition

private:
    std::uint32_t clockSeed_ = 0;
    bool orthologDiagnosticsDone_ = false;
};

}  // namespace orthomix
