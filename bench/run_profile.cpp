// Runs the tool on a parameter file and reports where the time goes: each
// phase, EM iterations per attempt, the mean time per EM iteration split into
// its parts and set against the exact mode's floor (one exp per gene, cluster
// and column) and against each phase's floor in the fast mode (the dense
// products of its shape, timed after the run), and the peak resident memory
// of the run. The tool's console report is discarded; its warnings and
// errors are shown. The last line, on standard output, sums it up for
// bench/run_benchmark.sh.
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "driver/run.h"
#include "product_floors.h"

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

// The shapes the fit worked on, taken from the data it prepared; unknown
// when it did not get as far as the ortholog pairs or released the data.
struct FittedShape {
    orthomix::bench::OrganismShape human, mouse;  // without the number of clusters
    std::size_t pairs = 0;
    bool known = false;
};

FittedShape shapeOf(const orthomix::Dataset& data) {
    std::set<std::uint32_t> human, mouse;
    for (const orthomix::OrthologPair& pair : data.orthologs.pairs) {
        human.insert(pair.human);
        mouse.insert(pair.mouse);
    }
    FittedShape shape;
    shape.human = {human.size(), data.human.geneCount(), data.human.expression.columns(), 0};
    shape.mouse = {mouse.size(), data.mouse.geneCount(), data.mouse.expression.columns(), 0};
    shape.pairs = data.orthologs.pairs.size();
    shape.known = shape.pairs > 0;
    return shape;
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

double peakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The steps of the accepted attempts, which end with whole iterations (a
// rejected one may stop inside an iteration, after steps no iteration
// counts). An accepted attempt makes one M-step before its first iteration,
// so one M-step more than iterations.
struct StepTimes {
    orthomix::EmTimings sum;
    int iterations = 0;
    int mSteps = 0;
    double perIteration(double seconds) const { return iterations > 0 ? seconds / iterations : 0.0; }
    double perMStep() const { return mSteps > 0 ? sum.mStep / mSteps : 0.0; }
    // One iteration as the sum of its steps, without the M-step before the first.
    double ofSteps() const { return perIteration(sum.pairTable + sum.eStep + sum.reassignment) + perMStep(); }
};

struct AttemptTotals {
    double phaseSeconds = 0.0;  // the four phases of every attempt
    int iterations = 0;         // of every attempt
    int accepted = 0;
    StepTimes steps;
    double perIteration() const { return iterations > 0 ? phaseSeconds / iterations : 0.0; }
};

AttemptTotals reportAttempts(const std::vector<orthomix::AttemptRecord>& attempts) {
    std::fprintf(stderr, "\n%-10s %-9s %10s %10s %16s  %s\n", "repetition", "accepted", "iterations", "seconds",
                 "log-likelihood", "rejected because");
    AttemptTotals out;
    for (const orthomix::AttemptRecord& attempt : attempts) {
        std::fprintf(stderr, "%-10d %-9s %10d %10.3f %16.6g  %s\n", attempt.repetition, attempt.accepted ? "yes" : "no",
                     attempt.iterations, attempt.seconds, attempt.logLikelihood, attempt.rejectionReason.c_str());
        const orthomix::EmTimings& t = attempt.timings;
        out.phaseSeconds += t.pairTable + t.eStep + t.mStep + t.reassignment;
        out.iterations += attempt.iterations;
        if (!attempt.accepted) continue;
        ++out.accepted;
        out.steps.sum.pairTable += t.pairTable;
        out.steps.sum.eStep += t.eStep;
        out.steps.sum.mStep += t.mStep;
        out.steps.sum.reassignment += t.reassignment;
        out.steps.iterations += attempt.iterations;
        out.steps.mSteps += attempt.iterations + 1;
    }
    return out;
}

// The fast mode's shapes of a single-k run; none when the run did not get as
// far as the fit's data or sweeps several k.
std::optional<orthomix::bench::RunShape> runShapeOf(const orthomix::RunInputs& inputs, const FittedShape& fitted) {
    if (!fitted.known || !inputs.parameters || !inputs.parameters->kValues.empty()) return std::nullopt;
    const auto k = static_cast<std::size_t>(inputs.parameters->k);
    orthomix::bench::RunShape shape{fitted.human, fitted.mouse, fitted.pairs};
    shape.human.clusters = k;
    shape.mouse.clusters = k;
    return shape;
}

double ratioOf(double seconds, double floor) { return floor > 0.0 ? seconds / floor : 0.0; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: orthomix_profile PARAMETER_FILE\n");
        return 2;
    }
    QuietReporter reporter;
    orthomix::RunRecordBuilder builder(argv[1], orthomix::RunClock{});
    FittedShape fitted;
    const orthomix::Fitter fitAndKeepShape = [&](const orthomix::ParameterSetting& settings,
                                                 orthomix::FitInputs inputs, std::uint32_t seedWhenUnset,
                                                 const orthomix::FitObserver& observer) {
        orthomix::FitOutcome outcome = orthomix::fitClusters(settings, std::move(inputs), seedWhenUnset, observer);
        fitted = shapeOf(outcome.data);
        return outcome;
    };
    const orthomix::Status status = orthomix::runOrthomixWith(argv[1], 1, reporter, builder, fitAndKeepShape);
    if (!status) reporter.error(status.error().message);
    const orthomix::RunRecord& record = builder.record();
    const double runSeconds = record.clock.secondsSinceStart();
    const double cpu = cpuSeconds();
    // Before the floors below allocate their own matrices.
    const double peakMegabytes = peakResidentMegabytes();

    std::fprintf(stderr, "%-28s %10s\n", "phase", "seconds");
    report("read data", record.readingSeconds);
    report("read annotation, orthologs", record.annotationSeconds);
    report("preprocess", record.preprocessingSeconds);
    report("repetitions", record.repetitionsSeconds);
    report("write results", record.writingSeconds);
    std::fprintf(stderr, "%-28s %10.3f (processor time %.3f)\n", "total", runSeconds, cpu);

    const AttemptTotals attempts = reportAttempts(record.attempts);
    const StepTimes& steps = attempts.steps;
    const orthomix::EmTimings& sum = steps.sum;
    const double perIteration = attempts.perIteration();
    const orthomix::RunInputs& inputs = record.inputs;
    const std::optional<orthomix::bench::RunShape> shape = runShapeOf(inputs, fitted);
    // The floor of the exact densities: one exp per kept gene, cluster and column.
    double expFloor = 0.0;
    if (shape) {
        const double exps = static_cast<double>(shape->human.clusters) *
                            (static_cast<double>(shape->human.keptGenes * shape->human.columns) +
                             static_cast<double>(shape->mouse.keptGenes * shape->mouse.columns));
        expFloor = exps * secondsPerExp();
    }
    const orthomix::bench::PhaseFloors floors =
        shape ? orthomix::bench::measurePhaseFloors(*shape) : orthomix::bench::PhaseFloors{};
    const std::int32_t threadsAsked = inputs.parameters ? inputs.parameters->threads : 0;
    const unsigned threads = threadsAsked > 0 ? static_cast<unsigned>(threadsAsked)
                                              : std::max(1U, std::thread::hardware_concurrency());
    if (attempts.iterations > 0) {
        std::fprintf(stderr, "\nmean per EM iteration (%d iterations): %.4f s, summed over attempts running at once\n",
                     attempts.iterations, perIteration);
        const auto phase = [&](const char* name, double mean, double floor) {
            std::fprintf(stderr, "  %-14s %.4f s  = %5.2f x the exp floor", name, mean, ratioOf(mean, expFloor));
            if (floor > 0.0) std::fprintf(stderr, "  %8.4f s fast-mode floor  %5.2f x", floor, ratioOf(mean, floor));
            std::fprintf(stderr, "\n");
        };
        std::fprintf(stderr, "  the steps of the %d accepted attempts, %d iterations:\n", attempts.accepted,
                     steps.iterations);
        phase("pair table", steps.perIteration(sum.pairTable), 0.0);
        phase("E-step", steps.perIteration(sum.eStep), floors.eStep());
        phase("M-step", steps.perMStep(), floors.mStep);
        phase("reassignment", steps.perIteration(sum.reassignment), floors.reassignment);
        std::fprintf(stderr, "  %-14s %.4f s  %29s %8.4f s fast-mode floor  %5.2f x\n", "steps summed",
                     steps.ofSteps(), "", floors.iteration(), ratioOf(steps.ofSteps(), floors.iteration()));
        std::fprintf(stderr,
                     "  (the M-step per M-step, %d of them: an attempt makes one before its first iteration;\n"
                     "   steps summed: one iteration without that first M-step)\n",
                     steps.mSteps);
        std::fprintf(stderr,
                     "  (exp floor: one exp per kept gene, cluster and column, %.4f s per iteration)\n"
                     "  (fast-mode floors, both organisms, Eigen on one thread, best of a few rounds:\n"
                     "   E-step %.4f s = densities, (paired genes x 2d) times (2d x k), %.4f s\n"
                     "                 + pairs, k_hm + k_ms exp calls and k_hm x k_ms multiply-adds each, "
                     "a plain loop, %.4f s;\n"
                     "   M-step, (k x pairs) times (pairs x 2d), %.4f s;\n"
                     "   reassignment, (kept genes x d) times (d x k), %.4f s)\n",
                     expFloor, floors.eStep(), floors.densities, floors.pairs, floors.mStep, floors.reassignment);
        if (shape) {
            std::fprintf(stderr,
                         "  (shapes: human %zu paired of %zu kept genes x %zu columns, mouse %zu paired of %zu kept "
                         "genes x %zu columns, %zu pairs, k = %zu)\n",
                         shape->human.pairedGenes, shape->human.keptGenes, shape->human.columns,
                         shape->mouse.pairedGenes, shape->mouse.keptGenes, shape->mouse.columns, shape->pairs,
                         shape->human.clusters);
        }
        std::fprintf(stderr,
                     "  (this run: threads = %u. Phase times are summed over attempts running at once, so the ratios\n"
                     "   to the one-thread floors are meaningful for threads = 1 only)\n",
                     threads);
    }
    double matrixMegabytes = 0.0;
    if (inputs.humanGenesRead && inputs.mouseGenesRead && fitted.known) {
        matrixMegabytes = static_cast<double>(*inputs.humanGenesRead * fitted.human.columns +
                                              *inputs.mouseGenesRead * fitted.mouse.columns) *
                          sizeof(double) / (1024.0 * 1024.0);
    }
    std::fprintf(stderr, "peak resident memory of the run: %.1f MB (%.2f x the two expression matrices as doubles, %.1f MB)\n",
                 peakMegabytes, ratioOf(peakMegabytes, matrixMegabytes), matrixMegabytes);
    const auto perIterationOf = [&](double seconds) { return steps.perIteration(seconds); };
    std::printf(
        "summary run=%.3f fitting=%.3f cpu=%.3f attempts=%zu accepted=%d iterations=%d perIteration=%.5f "
        "pairTable=%.5f eStep=%.5f mStep=%.5f reassignment=%.5f floor=%.5f peakMB=%.1f threads=%u "
        "acceptedIterations=%d mSteps=%d "
        "floorDensities=%.5f floorPairs=%.5f floorEStep=%.5f floorMStep=%.5f floorReassignment=%.5f "
        "floorIteration=%.5f iterationOfSteps=%.5f eStepRatio=%.2f mStepRatio=%.2f reassignmentRatio=%.2f "
        "iterationRatio=%.2f matrixMB=%.1f\n",
        runSeconds, record.repetitionsSeconds.value_or(0.0), cpu, record.attempts.size(), attempts.accepted,
        attempts.iterations, perIteration, perIterationOf(sum.pairTable), perIterationOf(sum.eStep), steps.perMStep(),
        perIterationOf(sum.reassignment), expFloor, peakMegabytes, threads, steps.iterations, steps.mSteps,
        floors.densities, floors.pairs, floors.eStep(), floors.mStep, floors.reassignment, floors.iteration(), steps.ofSteps(),
        ratioOf(perIterationOf(sum.eStep), floors.eStep()), ratioOf(steps.perMStep(), floors.mStep),
        ratioOf(perIterationOf(sum.reassignment), floors.reassignment), ratioOf(steps.ofSteps(), floors.iteration()),
        matrixMegabytes);
    return status ? 0 : 1;
}
