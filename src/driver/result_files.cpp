#include "driver/joint_cluster_model.h"
#include "driver/result_assembly.h"
#include "io/result_writers.h"

namespace orthomix {

void JointClusterModel::writeResults() {
    writeMembershipFile(parameters.outputFile_hm, bestHumanClusters, humanSampleNames);
    writeMembershipFile(parameters.outputFile_ms, bestMouseClusters, mouseSampleNames);
    writeGenePairResultFile(parameters.gene_pair_result, bestHumanToMousePairs);
    // The pair clusters read the genes' indices and pairs as the last accepted repetition left them.
    buildGenePairClusters(bestHumanClusters, bestMouseClusters, humanToMousePairs, genePairClusters, clusterStore,
                          geneStore);
    writeMembershipFile(parameters.k_by_k_output_clusters, genePairClusters, pairSampleNames);
}

}  // namespace orthomix
