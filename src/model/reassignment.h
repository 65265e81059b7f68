#pragma once

#include <cstddef>
#include <optional>

#include "model/nearest_mean.h"
#include "model/organism_state.h"
#include "records/dataset.h"
#include "support/thread_pool.h"

namespace orthomix {

struct ReassignmentWorkspace {
    NearestMeanSearch human;
    NearestMeanSearch mouse;
    std::vector<int> humanNearest, mouseNearest;  // per gene
};

// Rebuilds every cluster's members from the new means: for each ortholog pair
// in order whose genes are both labelled with a cluster, each gene joins the
// cluster with the nearest mean (once per such pair); a pair with a gene
// labelled scatter is a scatter pair and places neither gene. Then every
// unpaired gene joins its nearest cluster, members take their cluster's
// position as label, and the centres move to the member means. Returns the
// number of scatter pairs, or nothing when a gene finds no nearest mean. The
// nearest means and the centres may be found on the pool's threads; members
// are appended in the order above.
std::optional<std::size_t> reassignClusterMembers(const Dataset& data, OrganismState& human, OrganismState& mouse,
                                                  ReassignmentWorkspace& workspace, ThreadPool* pool = nullptr,
                                                  NearestMeanMethod method = NearestMeanMethod::RowByRow);

}  // namespace orthomix
