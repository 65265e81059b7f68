#include "driver/fitting/attempt_runner.h"

#include <cstdio>
#include <string>

#include "support/number_format.h"

namespace orthomix {
namespace {

std::string secondsText(double seconds, const char* format) {
    char text[32];
    std::snprintf(text, sizeof text, format, seconds);
    return text;
}

}  // namespace

AttemptSettings attemptSettingsOf(const ParameterSetting& settings) {
    return AttemptSettings{settings.stoppingThr, static_cast<std::int32_t>(settings.psudo_uniform_counts),
                           settings.fastDensity, settings.kmeansMaxIterations};
}

AttemptRunner attemptRunner(const Dataset& data, const ParameterSetting& settings, const RunClock& clock,
                            const StopToken& stop, ThreadPool& pool) {
    AttemptSettings attemptSettings = attemptSettingsOf(settings);
    attemptSettings.stop = &stop.requested();
    attemptSettings.pool = &pool;
    return [&data, attemptSettings, &clock, &stop](const AttemptStart& start,
                                                   const AttemptContext& context) -> Result<AttemptResult> {
        if (const int signal = stop.signal()) return interruptedError(signal);
        AttemptSettings own = attemptSettings;
        own.cancel = &context.cancel;
        own.waitUntilNeeded = &context.waitUntilNeeded;
        IterationObserver observer;
        StepObserver stepObserver;
        if (context.progress.enabled()) {
            AttemptProgress& progress = context.progress;
            observer = [&progress, &clock](const IterationProgress& done) {
                progress.post("iteration " + std::to_string(done.iteration) + ": log-likelihood " +
                              formatNumber(done.logLikelihood) + ", spreads " + formatNumber(done.humanSpread) +
                              " (human) " + formatNumber(done.mouseSpread) + " (mouse), " +
                              std::to_string(done.scatterPairs) + " scatter pairs, " +
                              secondsText(clock.secondsSinceStart(), "%.3f") + " s");
            };
            stepObserver = [&progress](const IterationStep& step) {
                progress.postTransient("iteration " + std::to_string(step.iteration) + " still running: " +
                                       step.step + " " + secondsText(100.0 * step.fractionDone, "%.0f") +
                                       "% done after " + secondsText(step.seconds, "%.1f") + " s");
            };
        }
        Result<AttemptResult> result = runAttempt(data, start, own, observer, stepObserver);
        if (const int signal = stop.signal()) return interruptedError(signal);
        return result;
    };
}

}  // namespace orthomix
