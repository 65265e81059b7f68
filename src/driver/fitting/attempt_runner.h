#pragma once

#include "driver/control/interruption.h"
#include "driver/control/run_clock.h"
#include "driver/fitting/repetitions.h"
#include "driver/settings/settings.h"
#include "model/em_attempt.h"
#include "records/dataset.h"
#include "support/thread_pool.h"

namespace orthomix {

// The settings of one attempt, taken from the run's settings.
AttemptSettings attemptSettingsOf(const ParameterSetting& settings);

// Runs one attempt of the run on the data: it stops when `stop` asks, spreads
// its iterations over the pool, and with verbose progress reports every
// iteration (seconds counted by `clock`). The data, clock and stop token must
// outlive the runner.
AttemptRunner attemptRunner(const Dataset& data, const ParameterSetting& settings, const RunClock& clock,
                            const StopToken& stop, ThreadPool& pool);

}  // namespace orthomix
