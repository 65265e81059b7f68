// Runs the tool's phases on a parameter file and reports where the time goes:
// each phase, EM iterations per repetition, the mean time per EM iteration
// split into its parts, and the peak resident memory. The tool's own console
// output is discarded.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "driver/joint_cluster_model.h"

namespace {

double timed(const std::function<void()>& phase) {
    const auto start = std::chrono::steady_clock::now();
    phase();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: orthomix_profile PARAMETER_FILE\n");
        return 2;
    }
    if (!std::freopen("/dev/null", "w", stdout)) return 2;
    orthomix::JointClusterModel model(argv[1]);
    model.seedRandomGenerator(1);
    std::fprintf(stderr, "%-28s %10s\n", "phase", "seconds");
    const auto report = [](const char* name, double seconds) { std::fprintf(stderr, "%-28s %10.3f\n", name, seconds); };
    double total = 0.0;
    const auto phase = [&](const char* name, const std::function<void()>& body) {
        const double seconds = timed(body);
        total += seconds;
        report(name, seconds);
    };
    phase("read parameters", [&] { model.readParameters(); });
    phase("read expression data", [&] { model.readExpressionData(); });
    phase("read annotation", [&] { model.readAnnotation(); });
    if (model.parameters.prep == "yes") phase("preprocess", [&] { model.preprocess(); });
    phase("repetitions", [&] { model.runRepetitions(); });
    phase("write results", [&] { model.writeResults(); });
    report("total", total);

    std::fprintf(stderr, "\n%-10s %-9s %10s %10s %16s  %s\n", "repetition", "accepted", "iterations", "seconds",
                 "log-likelihood", "rejected because");
    orthomix::EmTimings sum;
    int iterations = 0;
    for (const orthomix::RepetitionAttempt& attempt : model.attempts) {
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
    return 0;
}
