#pragma once

#include <cstddef>
#include <memory>

#include "model/m_step.h"
#include "model/organism_side.h"
#include "model/pair_estep.h"
#include "model/pair_table.h"

namespace orthomix {

// The domain an attempt's E-step computes its densities in.
enum class DensityDomain {
    Exact,  // the densities themselves, cluster by cluster: the reference arithmetic
    Log,    // log densities by a matrix product, each pair factorised: faster, equal only to rounding
};

// The E-step of an attempt in one density domain, chosen once per attempt:
// the densities of each organism's paired genes, then every pair's posterior
// sums, labels and log density. Ranges of genes or pairs may be handed to
// several threads at once; each writes only its own slots.
class DensityStrategy {
public:
    virtual ~DensityStrategy() = default;

    // Once per attempt, when the side's paired genes are known.
    virtual void prepareGenes(OrganismSide& side) const = 0;
    // Once per iteration, from the side's current parameters.
    virtual void prepareForms(OrganismSide& side) const = 0;
    // The densities of paired genes [begin, end) into side.densities.
    virtual void evaluateDensities(OrganismSide& side, std::size_t begin, std::size_t end) const = 0;
    // The E-step of pairs [begin, end) from both sides' densities: the
    // posterior's row and column sums into `weights`, and per pair r its
    // labels into labels[r] and the logarithm of its total density into
    // logTotals[r]. `scatterTerm` is the scatter probability times both
    // organisms' scatter densities.
    virtual void pairs(const PairTable& table, double scatterTerm, const OrganismSide& human,
                       const OrganismSide& mouse, std::size_t begin, std::size_t end, PairWeights& weights,
                       double* logTotals, PairLabels* labels) const = 0;
};

std::unique_ptr<DensityStrategy> densityStrategy(DensityDomain domain);

}  // namespace orthomix
