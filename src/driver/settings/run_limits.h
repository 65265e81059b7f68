#pragma once

#include <string>

#include "driver/settings/settings.h"
#include "support/error.h"
#include "support/reporter.h"
#include "support/thread_pool.h"

namespace orthomix {

// The most threads a run may ask for: four per hardware thread, at most
// 1,024 (and 1,024 where the number of hardware threads is unknown). More
// only cost memory and start-up time, since every count gives the same results.
unsigned threadBound(unsigned hardwareThreads);

// Before any work, the limits of the system that the settings could pass:
// `threads` above threadBound of this machine, and a path longer than the
// system accepts, are refused with a message that names the key and the limit.
Status checkRunLimits(const ParameterSetting& settings, const std::string& parameterPath);

// A warning when the system started fewer threads than the run asked for.
void reportThreadShortfall(const ThreadPool& pool, Reporter& reporter);

}  // namespace orthomix
