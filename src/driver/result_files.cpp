#include "driver/result_files.h"

#include "driver/assignment_tables.h"
#include "driver/result_assembly.h"
#include "io/result_writers.h"

namespace orthomix {

Status writeResults(const Dataset& data, const AttemptResult& best, const ParameterSetting& settings,
                    std::vector<std::string>& written) {
    const MembershipView human = membershipView(best.human, data.human);
    const MembershipView mouse = membershipView(best.mouse, data.mouse);
    const auto record = [&](const std::string& path, Status status) {
        if (status) written.push_back(path);
        return status;
    };
    ORTHOMIX_TRY(record(settings.outputFile_hm,
                        writeMembershipFile(settings.outputFile_hm, membershipClusters(human, data.human),
                                            data.human.sampleNames)));
    ORTHOMIX_TRY(record(settings.outputFile_ms,
                        writeMembershipFile(settings.outputFile_ms, membershipClusters(mouse, data.mouse),
                                            data.mouse.sampleNames)));
    ORTHOMIX_TRY(record(settings.gene_pair_result,
                        writeGenePairResultFile(settings.gene_pair_result, genePairLines(data, best))));
    std::vector<std::string> pairColumns = data.human.sampleNames;
    pairColumns.insert(pairColumns.end(), data.mouse.sampleNames.begin(), data.mouse.sampleNames.end());
    ORTHOMIX_TRY(record(settings.k_by_k_output_clusters,
                        writeMembershipFile(settings.k_by_k_output_clusters, genePairClusters(data, best),
                                            pairColumns)));
    const bool posteriors = settings.assignmentPosterior;
    if (!settings.assignmentFile_hm.empty()) {
        ORTHOMIX_TRY(record(settings.assignmentFile_hm,
                            writeAssignmentTable(settings.assignmentFile_hm, data.human, human,
                                                 posteriors ? &best.human.posteriors : nullptr)));
    }
    if (!settings.assignmentFile_ms.empty()) {
        ORTHOMIX_TRY(record(settings.assignmentFile_ms,
                            writeAssignmentTable(settings.assignmentFile_ms, data.mouse, mouse,
                                                 posteriors ? &best.mouse.posteriors : nullptr)));
    }
    if (!settings.pairTableFile.empty()) {
        ORTHOMIX_TRY(record(settings.pairTableFile,
                            writePairTableFile(settings.pairTableFile, pairTableRows(data, best))));
    }
    return okStatus();
}

}  // namespace orthomix
