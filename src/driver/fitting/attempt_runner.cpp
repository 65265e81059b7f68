#include "driver/fitting/attempt_runner.h"

#include <cstdio>
#include <string>

#include "model/attempt_observer.h"
#include "support/number_format.h"

namespace orthomix {
namespace {

std::string secondsText(double seconds, const char* format) {
    char text[32];
    std::snprintf(text, sizeof text, format, seconds);
    return text;
}

// An attempt of the repetition loop goes on while the run is not asked to
// stop and the loop wants it (holding back while it runs ahead); its progress
// becomes verbose lines.
class LoopObserver final : public AttemptObserver {
public:
    LoopObserver(const AttemptContext& context, const RunClock& clock, const StopToken& stop)
        : context_(context), clock_(clock), stop_(stop) {}

    IterationPermit mayStartIteration(int iteration) override {
        if (!context_.mayStartIteration(iteration)) return IterationPermit::NoLongerNeeded;
        if (stop_.requested().load(std::memory_order_relaxed)) return IterationPermit::Interrupted;
        return IterationPermit::Granted;
    }
    void iterationCompleted(const IterationProgress& done) override {
        if (!context_.progress.enabled()) return;
        context_.progress.post("iteration " + std::to_string(done.iteration) + ": log-likelihood " +
                               formatNumber(done.logLikelihood) + ", spreads " + formatNumber(done.humanSpread) +
                               " (human) " + formatNumber(done.mouseSpread) + " (mouse), " +
                               std::to_string(done.scatterPairs) + " scatter pairs, " +
                               secondsText(clock_.secondsSinceStart(), "%.3f") + " s");
    }
    bool followsSteps() const override { return context_.progress.enabled(); }
    void stepProgress(const IterationStep& step) override {
        context_.progress.postTransient("iteration " + std::to_string(step.iteration) + " still running: " +
                                        step.step + " " + secondsText(100.0 * step.fractionDone, "%.0f") +
                                        "% done after " + secondsText(step.seconds, "%.1f") + " s");
    }

private:
    const AttemptContext& context_;
    const RunClock& clock_;
    const StopToken& stop_;
};

}  // namespace

AttemptSettings attemptSettingsOf(const ParameterSetting& settings) {
    return AttemptSettings{
        .stoppingThr = settings.stoppingThr,
        .pseudoCounts = static_cast<std::int32_t>(settings.psudo_uniform_counts),
        .kmeansMaxIterations = settings.kmeansMaxIterations,
        .arithmetic = settings.fastDensity ? kFastArithmetic : kExactArithmetic,
    };
}

AttemptRunner attemptRunner(const Dataset& data, const ParameterSetting& settings, const RunClock& clock,
                            const StopToken& stop, ThreadPool& pool) {
    AttemptSettings attemptSettings = attemptSettingsOf(settings);
    attemptSettings.pool = &pool;
    return [&data, attemptSettings, &clock, &stop](const AttemptStart& start,
                                                   const AttemptContext& context) -> Result<AttemptResult> {
        if (const int signal = stop.signal()) return interruptedError(signal);
        LoopObserver observer(context, clock, stop);
        Result<AttemptResult> result = runAttempt(data, start, attemptSettings, observer);
        if (const int signal = stop.signal()) return interruptedError(signal);
        return result;
    };
}

}  // namespace orthomix
