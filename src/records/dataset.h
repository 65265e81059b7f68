#pragma once

#include "records/organism_data.h"
#include "records/orthologs.h"

namespace orthomix {

// Everything a clustering attempt reads: both organisms after preprocessing
// and their ortholog pairs. Built once per run; never changed afterwards.
struct Dataset {
    OrganismData human;
    OrganismData mouse;
    ResolvedOrthologs orthologs;
};

}  // namespace orthomix
