#pragma once

#include <string>
#include <vector>

#include "driver/settings.h"
#include "model/em_attempt.h"
#include "records/dataset.h"
#include "support/error.h"

namespace orthomix {

// Writes the result files of the kept clustering, in this order: the human
// and the mouse membership files, the gene-pair file, the gene-pair cluster
// file, then the assignment tables and the cluster-pair table that the
// settings ask for. Every path
// written is appended to `written`.
Status writeResults(const Dataset& data, const AttemptResult& best, const ParameterSetting& settings,
                    std::vector<std::string>& written);

}  // namespace orthomix
