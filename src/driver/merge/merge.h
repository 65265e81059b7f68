#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/entry/fit.h"
#include "driver/inputs/input_checksums.h"
#include "driver/merge/single_k_record.h"
#include "driver/settings/settings.h"
#include "support/error.h"

namespace orthomix {

// The records of the single-k runs a merge puts together, all of one seed.
struct MergeSources {
    std::vector<SingleKRecord> records;
    std::uint32_t seed = 0;
};

// Reads every record; refuses none at all, and records of different seeds.
Result<MergeSources> readMergeSources(const std::vector<std::string>& recordPaths);

// The sweep's settings, what the sweep read and the data read for it.
struct SweepInputs {
    const ParameterSetting& settings;
    const std::string& parameterPath;
    const std::vector<InputChecksum>& checksums;
};

// Refuses records that cannot be parts of the sweep, with a message naming
// the record: another version, seed, input file or setting (output paths,
// threads and verbose aside), a k the sweep lacks, a k twice; and a k of the
// sweep without a record.
Status checkMergeSources(const MergeSources& sources, const SweepInputs& sweep);

// The outcome the sweep would have had: each k's summary from its record,
// and the k with the lowest BIC fitted again from the data (every k starts
// from a generator seeded afresh, so this is the sweep's own result for
// it). The refit must repeat that k's record attempt for attempt, or the
// merge fails: no result is claimed that was not checked.
FitOutcome mergeSingleKRuns(const MergeSources& sources, const SweepInputs& sweep, FitInputs inputs,
                            const FitObserver& observer);

}  // namespace orthomix
