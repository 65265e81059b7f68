#include "driver/usage.h"

namespace orthomix {

std::string usageText() {
    return "Usage: orthomix [PARAMETER_FILE]\n"
           "\n"
           "Clusters human and mouse gene-expression profiles jointly, tied together by\n"
           "ortholog pairs. PARAMETER_FILE (default ./ParameterSetting.txt) holds\n"
           "key = value lines:\n"
           "\n"
           "  dataFile_hm, dataFile_ms        expression data files (human, mouse)\n"
           "  annotFile_hm, annotFile_ms      annotation files\n"
           "  orthologFile                    ortholog pairs (human id, mouse id)\n"
           "  outputFile_hm, outputFile_ms    cluster membership files written\n"
           "  k_by_k_output_clusters          gene-pair cluster membership file written\n"
           "  gene_pair_result                ortholog pairs with their clusters, written\n"
           "  prep                            \"yes\" filters and standardises the genes\n"
           "  CVThr, maxExpr                  preprocessing thresholds\n"
           "  k                               clusters per organism (at least 1)\n"
           "  nMaxAlgRun                      repetitions from random starts (at least 1)\n"
           "  stoppingThr                     relative-change threshold of convergence\n"
           "  psudo_uniform_counts            pseudo count of the scatter probability\n"
           "  seed                            optional fixed random seed, 0 to 4294967295\n"
           "                                  (default: the clock)\n"
           "  fastDensity                     \"yes\" computes the E-step in the log domain (faster,\n"
           "                                  not bit-identical to the default)\n"
           "  runRecordFile                   optional JSON record of the run, also written\n"
           "                                  when the run fails\n"
           "  assignmentFile_hm, _ms          optional tables of every kept gene's cluster\n"
           "  verbose                         \"yes\" reports every EM iteration on standard error\n"
           "\n"
           "Options:\n"
           "  -h, --help     show this text\n"
           "  --version      show the version\n";
}

}  // namespace orthomix
