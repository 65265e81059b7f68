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
    readParameters();
    printLine("finish reading params");
    readExpressionData();
    printLine("finish reading data");
    readAnnotation();
    printLine("finish reading annot");
    if (parameters.prep == "yes") {
        preprocess();
        printLine("finish preprocess");
    }
    requireGenes(humanGenes, "human", "are left for clustering");
    requireGenes(mouseGenes, "mouse", "are left for clustering");
    runRepetitions();
    writeResults();
}

void JointClusterModel::readParameters() {
    parameters = readParameterFile(parameterFilePath);
    random.seed(parameters.hasSeed ? static_cast<std::uint32_t>(parameters.seed) : clockSeed_);
}

void JointClusterModel::readExpressionData() {
    warnNonNumeric(readExpressionFile(parameters.dataFile_hm, geneStore, humanGenes, humanSampleNames),
                   parameters.dataFile_hm);
    warnNonNumeric(readExpressionFile(parameters.dataFile_ms, geneStore, mouseGenes, mouseSampleNames),
                   parameters.dataFile_ms);
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
