#include "driver/results/result_files.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "driver/control/interruption.h"
#include "driver/results/assignment_tables.h"
#include "driver/results/report.h"
#include "driver/results/result_assembly.h"
#include "io/result_writers.h"
#include "support/thread_pool.h"

namespace orthomix {
namespace {

// What every result file is made from.
struct ResultSource {
    const FitOutcome& outcome;
    const ParameterSetting& settings;
    const RunInputs& inputs;
    const RunClock& clock;
    const Dataset& data = outcome.data;
    const AttemptResult& best = outcome.kept().best;
    MembershipView human = membershipView(best.human, data.human);
    MembershipView mouse = membershipView(best.mouse, data.mouse);
};

void writeHumanMembership(AtomicOutputFile& out, const ResultSource& source) {
    writeMembershipFile(out, membershipClusters(source.human, source.data.human), source.data.human.sampleNames);
}

void writeMouseMembership(AtomicOutputFile& out, const ResultSource& source) {
    writeMembershipFile(out, membershipClusters(source.mouse, source.data.mouse), source.data.mouse.sampleNames);
}

void writeGenePairs(AtomicOutputFile& out, const ResultSource& source) {
    writeGenePairResultFile(out, genePairLines(source.data, source.best));
}

void writeGenePairClusters(AtomicOutputFile& out, const ResultSource& source) {
    std::vector<std::string> columns = source.data.human.sampleNames;
    columns.insert(columns.end(), source.data.mouse.sampleNames.begin(), source.data.mouse.sampleNames.end());
    writeMembershipFile(out, genePairClusters(source.data, source.best), columns);
}

void writeHumanAssignments(AtomicOutputFile& out, const ResultSource& source) {
    writeAssignmentTable(out, source.data.human, source.human,
                         source.settings.assignmentPosterior ? &source.best.human.posteriors : nullptr);
}

void writeMouseAssignments(AtomicOutputFile& out, const ResultSource& source) {
    writeAssignmentTable(out, source.data.mouse, source.mouse,
                         source.settings.assignmentPosterior ? &source.best.mouse.posteriors : nullptr);
}

void writePairTable(AtomicOutputFile& out, const ResultSource& source) {
    writePairTableFile(out, pairTableRows(source.data, source.best));
}

void writePairAssignments(AtomicOutputFile& out, const ResultSource& source) {
    writePairAssignmentFile(
        out, pairAssignmentRows(source.data, source.best, pairSignificance(source.data, source.best)));
}

void writeModelSelection(AtomicOutputFile& out, const ResultSource& source) {
    writeModelSelectionFile(out, source.outcome.modelSelection);
}

void writeReportPage(AtomicOutputFile& out, const ResultSource& source) {
    writeReport(out, ReportInput{source.inputs, source.clock, source.outcome});
}

// One result file: the key that names it (an empty value asks for none) and
// what writes it. Written in this order.
struct ResultFile {
    std::string ParameterSetting::*path;
    void (*write)(AtomicOutputFile& out, const ResultSource& source);
};

constexpr ResultFile kResultFiles[] = {
    {&ParameterSetting::outputFile_hm, writeHumanMembership},
    {&ParameterSetting::outputFile_ms, writeMouseMembership},
    {&ParameterSetting::gene_pair_result, writeGenePairs},
    {&ParameterSetting::k_by_k_output_clusters, writeGenePairClusters},
    {&ParameterSetting::assignmentFile_hm, writeHumanAssignments},
    {&ParameterSetting::assignmentFile_ms, writeMouseAssignments},
    {&ParameterSetting::pairTableFile, writePairTable},
    {&ParameterSetting::pairAssignmentFile, writePairAssignments},
    {&ParameterSetting::modelSelectionFile, writeModelSelection},
    {&ParameterSetting::reportFile, writeReportPage},
};

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

void writeResults(OutputSet& results, const FitOutcome& outcome, const ParameterSetting& settings,
                  const RunInputs& inputs, const RunClock& clock) {
    const ResultSource source{outcome, settings, inputs, clock};
    struct Writing {
        AtomicOutputFile* out;
        const ResultFile* file;
    };
    // Each file is its own text, written on its own thread; the set keeps the
    // order above. The gene-pair cluster file, usually the largest, starts first.
    std::vector<Writing> writings;
    for (const ResultFile& file : kResultFiles) {
        const std::string& path = settings.*file.path;
        if (path.empty()) continue;
        Writing writing{&results.add(path), &file};
        if (file.write == writeGenePairClusters) {
            writings.insert(writings.begin(), writing);
        } else {
            writings.push_back(writing);
        }
    }
    ThreadPool pool(static_cast<unsigned>(settings.threads));
    pool.parallelFor(
        writings.size(),
        [&](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i) writings[i].file->write(*writings[i].out, source);
        },
        writings.size());
}

Status commitResults(OutputSet& results, Reporter& reporter) {
    pauseBeforeCommit(reporter);
    if (const int signal = interruptionSignal()) return interruptedError(signal);
    const SignalsHeldBack held;
    return results.commit();
}

}  // namespace orthomix
