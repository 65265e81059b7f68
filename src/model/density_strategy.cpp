#include "model/density_strategy.h"

#include <cmath>
#include <vector>

#include "model/densities.h"
#include "model/log_densities.h"
#include "model/log_pair_estep.h"

namespace orthomix {
namespace {

class ExactDensities final : public DensityStrategy {
public:
    void prepareGenes(OrganismSide&) const override {}

    void prepareForms(OrganismSide& side) const override {
        prepareClusterDensityForms(side.state.parameters, side.exactForms);
    }

    void evaluateDensities(OrganismSide& side, std::size_t begin, std::size_t end) const override {
        const std::size_t k = side.exactForms.clusterCount;
        DensityScratch scratch;
        for (std::size_t g = begin; g < end; ++g) {
            densitiesOfGene(side.expression.row(side.paired.genes[g]), side.paired.valuesFinite[g] != 0,
                            side.exactForms, &side.densities[g * k], scratch);
        }
    }

    void pairs(const PairTable& table, double scatterTerm, const OrganismSide& human, const OrganismSide& mouse,
               std::size_t begin, std::size_t end, PairWeights& weights, double* logTotals,
               PairLabels* labels) const override {
        std::vector<double> joint(human.clusterCount() * mouse.clusterCount());
        for (std::size_t r = begin; r < end; ++r) {
            const double total = pairEStep(table, human.densitiesOfPair(r), mouse.densitiesOfPair(r), scatterTerm,
                                           weights.rowSums(r), weights.columnSums(r), joint.data(), labels[r]);
            logTotals[r] = std::log(total);
        }
    }
};

class LogDomainDensities final : public DensityStrategy {
public:
    void prepareGenes(OrganismSide& side) const override { side.features.build(side.expression, side.paired.genes); }

    void prepareForms(OrganismSide& side) const override {
        prepareLogDensityForms(side.state.parameters, side.features, side.logForms);
    }

    // One matrix product per range of genes; a density's rounding does not
    // depend on the range it is computed in, so neither on the threads.
    void evaluateDensities(OrganismSide& side, std::size_t begin, std::size_t end) const override {
        logDensities(side.features, begin, end, side.logForms, &side.densities[begin * side.clusterCount()]);
    }

    void pairs(const PairTable& table, double scatterTerm, const OrganismSide& human, const OrganismSide& mouse,
               std::size_t begin, std::size_t end, PairWeights& weights, double* logTotals,
               PairLabels* labels) const override {
        const ScatterTerm scatter = ScatterTerm::of(scatterTerm);
        PairLogScratch scratch;
        scratch.prepare(table);
        for (std::size_t r = begin; r < end; ++r) {
            logTotals[r] = pairLogEStep(table, human.densitiesOfPair(r), mouse.densitiesOfPair(r), scatter,
                                        weights.rowSums(r), weights.columnSums(r), scratch, labels[r]);
        }
    }
};

}  // namespace

std::unique_ptr<DensityStrategy> densityStrategy(DensityDomain domain) {
    if (domain == DensityDomain::Log) return std::make_unique<LogDomainDensities>();
    return std::make_unique<ExactDensities>();
}

}  // namespace orthomix
