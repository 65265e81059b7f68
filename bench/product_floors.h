#pragma once

// What each phase of a fast-mode EM iteration would cost as the plainest
// dense arithmetic of its shape, timed on this machine: the floor a phase's
// measured time is set against.

#include <cstddef>

namespace orthomix::bench {

struct OrganismShape {
    std::size_t pairedGenes = 0;  // distinct genes with at least one ortholog pair
    std::size_t keptGenes = 0;    // every gene kept by preprocessing
    std::size_t columns = 0;
    std::size_t clusters = 0;
};

struct RunShape {
    OrganismShape human, mouse;
    std::size_t pairs = 0;
};

// Seconds per iteration, both organisms together, each the best of a few rounds on one thread.
struct PhaseFloors {
    double densities = 0.0;     // (paired genes x 2d) times (2d x k): squares and values against weights
    double pairs = 0.0;         // per pair k_hm + k_ms exp calls and k_hm x k_ms multiply-adds
    double mStep = 0.0;         // (k x pairs) times (pairs x 2d): weighted sums of values and of squares
    double reassignment = 0.0;  // (kept genes x d) times (d x k): the cross term of the nearest mean

    double eStep() const { return densities + pairs; }
    double iteration() const { return eStep() + mStep + reassignment; }
};

PhaseFloors measurePhaseFloors(const RunShape& shape);

}  // namespace orthomix::bench
