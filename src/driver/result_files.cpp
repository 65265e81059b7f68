#include "driver/result_files.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "driver/assignment_tables.h"
#include "driver/interruption.h"
#include "driver/result_assembly.h"
#include "io/result_writers.h"

namespace orthomix {
namespace {

void pauseBeforeCommit(Reporter& reporter) {
    const char* value = std::getenv(kPauseBeforeCommitVariable);
    if (!value) return;
    const long milliseconds = std::strtol(value, nullptr, 10);
    reporter.note("test pause: the result files are written; committing them in " + std::to_string(milliseconds) +
                  " ms");
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until && interruptionSignal() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

void writeResults(OutputSet& results, const Dataset& data, const AttemptResult& best,
                  const ParameterSetting& settings) {
    const MembershipView human = membershipView(best.human, data.human);
    const MembershipView mouse = membershipView(best.mouse, data.mouse);
    writeMembershipFile(results.add(settings.outputFile_hm), membershipClusters(human, data.human),
                        data.human.sampleNames);
    writeMembershipFile(results.add(settings.outputFile_ms), membershipClusters(mouse, data.mouse),
                        data.mouse.sampleNames);
    writeGenePairResultFile(results.add(settings.gene_pair_result), genePairLines(data, best));
    std::vector<std::string> pairColumns = data.human.sampleNames;
    pairColumns.insert(pairColumns.end(), data.mouse.sampleNames.begin(), data.mouse.sampleNames.end());
    writeMembershipFile(results.add(settings.k_by_k_output_clusters), genePairClusters(data, best), pairColumns);
    const bool posteriors = settings.assignmentPosterior;
    if (!settings.assignmentFile_hm.empty()) {
        writeAssignmentTable(results.add(settings.assignmentFile_hm), data.human, human,
                             posteriors ? &best.human.posteriors : nullptr);
    }
    if (!settings.assignmentFile_ms.empty()) {
        writeAssignmentTable(results.add(settings.assignmentFile_ms), data.mouse, mouse,
                             posteriors ? &best.mouse.posteriors : nullptr);
    }
    if (!settings.pairTableFile.empty()) {
        writePairTableFile(results.add(settings.pairTableFile), pairTableRows(data, best));
    }
}

Status commitResults(OutputSet& results, RunRecord& record, Reporter& reporter) {
    const std::vector<std::string> resultFiles = results.paths();
    if (!record.path().empty()) {
        record.resultFiles = resultFiles;
        results.add(record.path()).write(renderRunRecord(record, std::nullopt));
        record.resultFiles.clear();  // a record written after a failure below lists none
    }
    pauseBeforeCommit(reporter);
    if (const int signal = interruptionSignal()) return interruptedError(signal);
    const SignalsHeldBack held;
    ORTHOMIX_TRY(results.commit());
    record.resultFiles = resultFiles;
    return okStatus();
}

}  // namespace orthomix
