#include "driver/joint_cluster_model.h"

#include <cstdio>
#include <string>

#include "driver/console.h"
#include "driver/fatal.h"
#include "io/annotation_reader.h"
#include "io/expression_reader.h"
#include "io/preprocessing.h"

namespace orthomix {
namespace {

void warnNonNumeric(const ExpressionReadSummary& summary, const std::string& path) {
    if (summary.nonNumericFields == 0) return;
    std::fprintf(stderr, "warning: %zu value fields of %s are not numbers and were read as 0\n",
                 summary.nonNumericFields, path.c_str());
    std::fflush(stderr);
}

void requireGenes(const std::vector<GeneRecord*>& genes, const char* organism, const char* reason) {
    if (genes.empty()) fatalError(std::string("No ") + organism + " genes " + reason);
}

}  // namespace

JointClusterModel::JointClusterModel(std::string path) : parameterFilePath(std::move(path)) {}

void JointClusterModel::run() {
    // Does nothing until the parameters name a run record file.
    const ScopedFailureReporter failedRecord(
        [this](std::string_view message) { writeFailedRunRecord(*this, message); });
    timePhase(runRecord.readingSeconds, [this] {
        readParameters();
        printLine("finish reading params");
        readExpressionData();
        printLine("finish reading data");
    });
    timePhase(runRecord.annotationSeconds, [this] {
        readAnnotation();
        printLine("finish reading annot");
    });
    if (parameters.prep == "yes") {
        timePhase(runRecord.preprocessingSeconds, [this] {
            preprocess();
            printLine("finish preprocess");
        });
    }
    runRecord.humanGenesKept = humanGenes.size();
    runRecord.mouseGenesKept = mouseGenes.size();
    requireGenes(humanGenes, "human", "are left for clustering");
    requireGenes(mouseGenes, "mouse", "are left for clustering");
    timePhase(runRecord.repetitionsSeconds, [this] { runRepetitions(); });
    timePhase(runRecord.writingSeconds, [this] { writeResults(); });
    if (!parameters.runRecordFile.empty()) writeRunRecord(*this);
}

void JointClusterModel::readParameters() {
    const auto table = readParameterTable(parameterFilePath);
    // Taken before the check, so that a failed run's record shows the values it stopped on.
    parameters = parameterSettingFrom(table);
    runRecord.seedFromClock = !parameters.hasSeed;
    runRecord.seed = parameters.hasSeed ? parameters.seed : clockSeed_;
    checkParameters(parameters, table, parameterFilePath);
    random.seed(*runRecord.seed);
}

void JointClusterModel::readExpressionData() {
    warnNonNumeric(readExpressionFile(parameters.dataFile_hm, geneStore, humanGenes, humanSampleNames),
                   parameters.dataFile_hm);
    warnNonNumeric(readExpressionFile(parameters.dataFile_ms, geneStore, mouseGenes, mouseSampleNames),
                   parameters.dataFile_ms);
    runRecord.humanGenesRead = humanGenes.size();
    runRecord.mouseGenesRead = mouseGenes.size();
    pairSampleNames = humanSampleNames;
    pairSampleNames.insert(pairSampleNames.end(), mouseSampleNames.begin(), mouseSampleNames.end());
    requireGenes(humanGenes, "human", ("were read from " + parameters.dataFile_hm).c_str());
    requireGenes(mouseGenes, "mouse", ("were read from " + parameters.dataFile_ms).c_str());
}

void JointClusterModel::readAnnotation() {
    readAnnotationFile(parameters.annotFile_hm, humanGenes);
    printLine("finish human annot");
    readAnnotationFile(parameters.annotFile_ms, mouseGenes);
}

void JointClusterModel::preprocess() {
    const auto filter = [this](std::vector<GeneRecord*>& genes, const char* organism) {
        printLine(std::string("Num of ") + organism + " genes before preprocessing = " + std::to_string(genes.size()));
        GeneFilter geneFilter{genes, parameters.CVThr, parameters.maxExpr};
        geneFilter.run();
        genes = std::move(geneFilter.genes);
        printLine(std::string("Num of ") + organism + " genes after preprocessing = " + std::to_string(genes.size()));
    };
    filter(humanGenes, "human");
    filter(mouseGenes, "mouse");
}

}  // namespace orthomix
