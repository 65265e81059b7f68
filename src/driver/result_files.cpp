#include "driver/assignment_tables.h"
#include "driver/joint_cluster_model.h"
#include "driver/result_assembly.h"
#include "io/result_writers.h"

namespace orthomix {

void JointClusterModel::writeResults() {
    writeMembershipFile(parameters.outputFile_hm, bestHumanClusters, humanSampleNames);
    runRecord.resultFiles.push_back(parameters.outputFile_hm);
    writeMembershipFile(parameters.outputFile_ms, bestMouseClusters, mouseSampleNames);
    runRecord.resultFiles.push_back(parameters.outputFile_ms);
    writeGenePairResultFile(parameters.gene_pair_result, bestHumanToMousePairs);
    runRecord.resultFiles.push_back(parameters.gene_pair_result);
    // The pair clusters read the genes' indices and pairs as the last accepted repetition left them.
    buildGenePairClusters(bestHumanClusters, bestMouseClusters, humanToMousePairs, genePairClusters, clusterStore,
                          geneStore);
    writeMembershipFile(parameters.k_by_k_output_clusters, genePairClusters, pairSampleNames);
    runRecord.resultFiles.push_back(parameters.k_by_k_output_clusters);

    // Optional, after the four result files, so that those come out as they always have.
    if (!parameters.assignmentFile_hm.empty()) {
        writeAssignmentTable(parameters.assignmentFile_hm, humanGenes, bestHumanClusters);
        runRecord.resultFiles.push_back(parameters.assignmentFile_hm);
    }
    if (!parameters.assignmentFile_ms.empty()) {
        writeAssignmentTable(parameters.assignmentFile_ms, mouseGenes, bestMouseClusters);
        runRecord.resultFiles.push_back(parameters.assignmentFile_ms);
    }
}

}  // namespace orthomix
