#pragma once

#include "driver/run_record.h"
#include "driver/settings.h"
#include "io/atomic_file.h"
#include "model/em_attempt.h"
#include "records/dataset.h"
#include "support/error.h"
#include "support/reporter.h"

namespace orthomix {

// Adds the result files of the kept clustering to the set and writes them
// under their temporary names, in this order: the human and the mouse
// membership files, the gene-pair file, the gene-pair cluster file, then the
// assignment tables and the cluster-pair table that the settings ask for.
// Nothing is in place before the set is committed.
void writeResults(OutputSet& results, const Dataset& data, const AttemptResult& best,
                  const ParameterSetting& settings);

// Test hook, not a setting: with ORTHOMIX_TEST_PAUSE_BEFORE_COMMIT_MS set to a
// number of milliseconds, the run announces on standard error that its
// result set is written and waits that long (or until it is interrupted)
// before committing it, so that a test can send a signal at that point.
inline constexpr const char* kPauseBeforeCommitVariable = "ORTHOMIX_TEST_PAUSE_BEFORE_COMMIT_MS";

// Puts the written result set in place, with the run record of the completed
// run (when the settings ask for one) as its last file: unless the run has
// been interrupted, all files replace their targets in one short step that
// signals cannot cut in two.
Status commitResults(OutputSet& results, RunRecord& record, Reporter& reporter);

}  // namespace orthomix
