#pragma once

#include "driver/control/run_clock.h"
#include "driver/entry/fit.h"
#include "driver/results/run_record.h"
#include "driver/settings/settings.h"
#include "io/atomic_file.h"
#include "support/error.h"
#include "support/reporter.h"

namespace orthomix {

// Adds every result file the settings name to the set and writes it under
// its temporary name, in this order: the human and the mouse membership
// files, the gene-pair file, the gene-pair cluster file, then the assignment
// tables, the cluster-pair table, the pair-assignment table, the
// model-selection table and the report
// when the settings ask for them. The outcome must have succeeded; the report
// also shows what the run read and since when it runs. Nothing is in place
// before the set is committed.
void writeResults(OutputSet& results, const FitOutcome& outcome, const ParameterSetting& settings,
                  const RunInputs& inputs, const RunClock& clock);

// Test hook, not a setting: with ORTHOMIX_TEST_PAUSE_BEFORE_COMMIT_MS set to a
// number of milliseconds, the run announces on standard error that its
// result set is written and waits that long (or until it is interrupted)
// before committing it, so that a test can send a signal at that point.
inline constexpr const char* kPauseBeforeCommitVariable = "ORTHOMIX_TEST_PAUSE_BEFORE_COMMIT_MS";

// Puts the written result set in place: unless the run has been interrupted,
// all files replace their targets in one short step that signals cannot cut
// in two.
Status commitResults(OutputSet& results, Reporter& reporter);

}  // namespace orthomix
