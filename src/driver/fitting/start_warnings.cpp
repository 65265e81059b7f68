#include "driver/fitting/start_warnings.h"

#include <algorithm>

namespace orthomix {

std::vector<std::string> mergedStartWarnings(const std::vector<AttemptRecord>& attempts) {
    std::vector<std::string> warnings;
    const auto summarise = [&](StartClusters AttemptRecord::*start, const char* organism) {
        std::size_t shortStarts = 0;
        std::int32_t fewest = 0;
        std::int32_t seeded = 0;
        bool identicalSeeds = false;
        for (const AttemptRecord& attempt : attempts) {
            const StartClusters& clusters = attempt.*start;
            if (clusters.kept >= clusters.seeded) continue;
            fewest = shortStarts == 0 ? clusters.kept : std::min(fewest, clusters.kept);
            ++shortStarts;
            seeded = clusters.seeded;
            identicalSeeds = identicalSeeds || clusters.identicalSeeds > 0;
        }
        if (shortStarts == 0) return;
        warnings.push_back("the k-means start left fewer than k = " + std::to_string(seeded) + " " + organism +
                           " clusters in " + std::to_string(shortStarts) + " of " + std::to_string(attempts.size()) +
                           " attempts (" + std::to_string(fewest) + " at the fewest): " +
                           (identicalSeeds ? "seed genes with identical values start one cluster between them, so "
                                             "the data hold fewer distinct profiles than k"
                                           : "clusters lost every gene when the centres moved"));
    };
    summarise(&AttemptRecord::humanStart, "human");
    summarise(&AttemptRecord::mouseStart, "mouse");
    return warnings;
}

std::string iterationCapWarning(const std::vector<AttemptRecord>& attempts) {
    std::size_t accepted = 0;
    std::size_t capped = 0;
    for (const AttemptRecord& attempt : attempts) {
        if (!attempt.accepted) continue;
        ++accepted;
        if (attempt.reachedIterationCap) ++capped;
    }
    if (capped == 0) return {};
    return std::to_string(capped) + " of " + std::to_string(accepted) + " accepted repetitions" +
           (attempts.empty() ? std::string() : " for k = " + std::to_string(attempts.front().k)) +
           " stopped at the cap of " + std::to_string(kMaxEmIterations) +
           " EM iterations without converging; their clusterings may still move (a larger stoppingThr lets them "
           "converge)";
}

std::string sweepEdgeWarning(const std::vector<std::int32_t>& ks, std::int32_t chosen) {
    if (ks.size() < 2) return {};
    const auto [smallest, largest] = std::minmax_element(ks.begin(), ks.end());
    if (*smallest == *largest) return {};
    const char* edge = chosen == *smallest ? "smallest" : chosen == *largest ? "largest" : nullptr;
    if (!edge) return {};
    return "the lowest BIC is at k = " + std::to_string(chosen) + ", the " + edge +
           " k of kValues: the minimum may lie outside the range tried; widen kValues to check";
}

}  // namespace orthomix
