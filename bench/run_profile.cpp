// Runs the tool on a parameter file and reports where the time goes: each
// phase, EM iterations per attempt, the mean time per EM iteration split into
// its parts and set against the exact mode's floor (one exp per gene, cluster
// and column), and the peak resident memory. The tool's console report is
// discarded; its warnings and errors are shown. The last line, on standard
// output, sums it up for bench/run_benchmark.sh.
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "driver/run.h"

namespace {

class QuietReporter final : public orthomix::Reporter {
public:
    void line(std::string_view) override {}
    void warning(std::string_view text) override { std::fprintf(stderr, "warning: %.*s\n", size(text), text.data()); }
    void note(std::string_view) override {}
    void error(std::string_view text) override { std::fprintf(stderr, "%.*s\n", size(text), text.data()); }

private:
    static int size(std::string_view text) { return static_cast<int>(text.size()); }
};

void report(const char* name, const std::optional<double>& seconds) {
    if (seconds) std::fprintf(stderr, "%-28s %10.3f\n", name, *seconds);
}

// Sample columns of an expression file: the fields of its header but the first.
std::size_t sampleColumns(const std::string& path) {
    std::ifstream in(path);
    std::string header;
    std::getline(in, header);
    std::size_t fields = 0;
    bool inField = false;
    for (const char c : header) {
        const bool separator = c == '\t' || c == '\r';
        if (!separator && !inField) ++fields;
        inField = !separator;
    }
    return fields > 0 ? fields - 1 : 0;
}

// Seconds of one exp call on arguments like the densities', the best of a few rounds.
double secondsPerExp() {
    std::vector<double> arguments(1 << 16);
    for (std::size_t i = 0; i < arguments.size(); ++i) arguments[i] = -0.0003 * static_cast<double>(i % 40000);
    double best = 1.0;
    volatile double sink = 0.0;
    for (int round = 0; round < 20; ++round) {
        const auto start = std::chrono::steady_clock::now();
        double sum = 0.0;
        for (const double x : arguments) sum += std::exp(x);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        sink = sink + sum;
        best = std::min(best, seconds / static_cast<double>(arguments.size()));
    }
    return best;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: orthomix_profile PARAMETER_FILE\n");
        return 2;
    }
    QuietReporter reporter;
    orthomix::RunRecordBuilder builder(argv[1], orthomix::RunClock{});
    const orthomix::Status status = orthomix::runOrthomix(argv[1], 1, reporter, builder);
    if (!status) reporter.error(status.error().message);
    const orthomix::RunRecord& record = builder.record();
    const double runSeconds = record.clock.secondsSinceStart();
    const double cpu = cpuSeconds();

    std::fprintf(stderr, "%-28s %10s\n", "phase", "seconds");
    report("read data", record.readingSeconds);
    report("read annotation, orthologs", record.annotationSeconds);
    report("preprocess", record.preprocessingSeconds);
    report("repetitions", record.repetitionsSeconds);
    report("write results", record.writingSeconds);
    std::fprintf(stderr, "%-28s %10.3f (processor time %.3f)\n", "total", runSeconds, cpu);

    std::fprintf(stderr, "\n%-10s %-9s %10s %10s %16s  %s\n", "repetition", "accepted", "iterations", "seconds",
                 "log-likelihood", "rejected because");
    orthomix::EmTimings sum;
    int iterations = 0;
    int accepted = 0;
    for (const orthomix::AttemptRecord& attempt : record.attempts) {
        std::fprintf(stderr, "%-10d %-9s %10d %10.3f %16.6g  %s\n", attempt.repetition, attempt.accepted ? "yes" : "no",
                     attempt.iterations, attempt.seconds, attempt.logLikelihood, attempt.rejectionReason.c_str());
        sum.pairTable += attempt.timings.pairTable;
        sum.eStep += attempt.timings.eStep;
        sum.mStep += attempt.timings.mStep;
        sum.reassignment += attempt.timings.reassignment;
        iterations += attempt.iterations;
        accepted += attempt.accepted ? 1 : 0;
    }
    const double perIteration =
        iterations > 0 ? (sum.pairTable + sum.eStep + sum.mStep + sum.reassignment) / iterations : 0.0;
    // The floor of the exact densities: one exp per kept gene, cluster and column.
    double floorSeconds = 0.0;
    const orthomix::RunInputs& inputs = record.inputs;
    if (inputs.parameters && inputs.humanGenesKept && inputs.mouseGenesKept) {
        const orthomix::ParameterSetting& p = *inputs.parameters;
        const double exps = static_cast<double>(p.k) *
                            (static_cast<double>(*inputs.humanGenesKept * sampleColumns(p.dataFile_hm)) +
                             static_cast<double>(*inputs.mouseGenesKept * sampleColumns(p.dataFile_ms)));
        floorSeconds = exps * secondsPerExp();
    }
    const auto perIterationOf = [&](double seconds) { return iterations > 0 ? seconds / iterations : 0.0; };
    if (iterations > 0) {
        std::fprintf(stderr, "\nmean per EM iteration (%d iterations): %.4f s, summed over attempts running at once\n",
                     iterations, perIteration);
        const auto phase = [&](const char* name, double seconds) {
            const double mean = perIterationOf(seconds);
            std::fprintf(stderr, "  %-14s %.4f s  = %5.2f x the floor of one exp per gene, cluster and column\n", name,
                         mean, floorSeconds > 0.0 ? mean / floorSeconds : 0.0);
        };
        phase("pair table", sum.pairTable);
        phase("E-step", sum.eStep);
        phase("M-step", sum.mStep);
        phase("reassignment", sum.reassignment);
        std::fprintf(stderr, "  (floor: %.4f s per iteration)\n", floorSeconds);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    std::fprintf(stderr, "peak resident memory: %.1f MB\n", peakMegabytes);
    std::printf(
        "summary run=%.3f fitting=%.3f cpu=%.3f attempts=%zu accepted=%d iterations=%d perIteration=%.5f "
        "pairTable=%.5f eStep=%.5f mStep=%.5f reassignment=%.5f floor=%.5f peakMB=%.1f\n",
        runSeconds, record.repetitionsSeconds.value_or(0.0), cpu, record.attempts.size(), accepted, iterations,
        perIteration, perIterationOf(sum.pairTable), perIterationOf(sum.eStep), perIterationOf(sum.mStep),
        perIterationOf(sum.reassignment), floorSeconds, peakMegabytes);
    return status ? 0 : 1;
}
