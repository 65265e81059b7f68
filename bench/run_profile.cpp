// Runs the tool on a parameter file and reports where the time goes: each
// phase, EM iterations per attempt, the mean time per EM iteration split into
// its parts, and the peak resident memory. The tool's console report is
// discarded; its warnings and errors are shown.
#include <sys/resource.h>

#include <cstdio>
#include <string>

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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: orthomix_profile PARAMETER_FILE\n");
        return 2;
    }
    QuietReporter reporter;
    orthomix::RunRecord record;
    const orthomix::Status status = orthomix::runOrthomix(argv[1], 1, reporter, record);
    if (!status) reporter.error(status.error().message);

    std::fprintf(stderr, "%-28s %10s\n", "phase", "seconds");
    report("read data", record.readingSeconds);
    report("read annotation, orthologs", record.annotationSeconds);
    report("preprocess", record.preprocessingSeconds);
    report("repetitions", record.repetitionsSeconds);
    report("write results", record.writingSeconds);
    std::fprintf(stderr, "%-28s %10.3f\n", "total", record.secondsSinceStart());

    std::fprintf(stderr, "\n%-10s %-9s %10s %10s %16s  %s\n", "repetition", "accepted", "iterations", "seconds",
                 "log-likelihood", "rejected because");
    orthomix::EmTimings sum;
    int iterations = 0;
    for (const orthomix::AttemptRecord& attempt : record.attempts) {
        std::fprintf(stderr, "%-10d %-9s %10d %10.3f %16.6g  %s\n", attempt.repetition, attempt.accepted ? "yes" : "no",
                     attempt.iterations, attempt.seconds, attempt.logLikelihood, attempt.rejectionReason.c_str());
        sum.pairTable += attempt.timings.pairTable;
        sum.eStep += attempt.timings.eStep;
        sum.mStep += attempt.timings.mStep;
        sum.reassignment += attempt.timings.reassignment;
        iterations += attempt.iterations;
    }
    if (iterations > 0) {
        const double perIteration = (sum.pairTable + sum.eStep + sum.mStep + sum.reassignment) / iterations;
        std::fprintf(stderr, "\nmean per EM iteration (%d iterations): %.4f s\n", iterations, perIteration);
        std::fprintf(stderr, "  pair table     %.4f s\n", sum.pairTable / iterations);
        std::fprintf(stderr, "  E-step         %.4f s\n", sum.eStep / iterations);
        std::fprintf(stderr, "  M-step         %.4f s\n", sum.mStep / iterations);
        std::fprintf(stderr, "  reassignment   %.4f s\n", sum.reassignment / iterations);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::fprintf(stderr, "peak resident memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
    return status ? 0 : 1;
}
