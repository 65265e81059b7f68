#include "model/pair_significance.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "numeric/gamma_function.h"
#include "numeric/hypergeometric.h"
#include "numeric/multiple_testing.h"

namespace orthomix {
namespace {

// The non-empty totals less one: a margin's share of the degrees of freedom,
// never negative, also for a table without any pairs.
int freeMargins(const std::vector<std::int64_t>& totals) {
    const auto nonEmpty = std::count_if(totals.begin(), totals.end(), [](std::int64_t t) { return t > 0; });
    return std::max(0, static_cast<int>(nonEmpty) - 1);
}

void fillTotals(const PairCounts& counts, PairSignificance& result) {
    result.rowTotals.assign(static_cast<std::size_t>(counts.rows), 0);
    result.colTotals.assign(static_cast<std::size_t>(counts.cols), 0);
    for (int i = 0; i < counts.rows; ++i) {
        for (int j = 0; j < counts.cols; ++j) {
            result.rowTotals[static_cast<std::size_t>(i)] += counts.at(i, j);
            result.colTotals[static_cast<std::size_t>(j)] += counts.at(i, j);
        }
    }
    for (const std::int64_t t : result.rowTotals) result.pairs += t;
}

void fillCells(const PairCounts& counts, PairSignificance& result) {
    result.cells.resize(counts.cells.size());
    std::vector<double> pValues(counts.cells.size());
    for (int i = 0; i < counts.rows; ++i) {
        const std::int64_t rowTotal = result.rowTotals[static_cast<std::size_t>(i)];
        for (int j = 0; j < counts.cols; ++j) {
            const std::int64_t colTotal = result.colTotals[static_cast<std::size_t>(j)];
            CellSignificance& cell = result.cells[static_cast<std::size_t>(i) * counts.cols + j];
            cell.observed = counts.at(i, j);
            if (result.pairs > 0) {
                cell.expected =
                    static_cast<double>(rowTotal) * static_cast<double>(colTotal) / static_cast<double>(result.pairs);
            }
            cell.enrichment = cell.expected > 0.0 ? cell.observed / cell.expected : 0.0;
            cell.pValue = hypergeometricUpperTail({result.pairs, rowTotal, colTotal}, cell.observed);
            pValues[static_cast<std::size_t>(i) * counts.cols + j] = cell.pValue;
        }
    }
    const std::vector<double> qValues = benjaminiHochbergQValues(pValues);
    for (std::size_t c = 0; c < qValues.size(); ++c) result.cells[c].qValue = qValues[c];
}

// Pearson's statistic sums (O - E)^2 / E, the likelihood ratio 2 O ln(O / E),
// both over the cells of non-empty rows and columns in row-major order.
void fillTests(PairSignificance& result) {
    const int degrees = freeMargins(result.rowTotals) * freeMargins(result.colTotals);
    if (degrees < 1) return;
    double pearson = 0.0;
    double likelihoodRatio = 0.0;
    for (const CellSignificance& cell : result.cells) {
        if (cell.expected <= 0.0) continue;
        const double difference = cell.observed - cell.expected;
        pearson += difference * difference / cell.expected;
        if (cell.observed > 0) likelihoodRatio += cell.observed * std::log(cell.observed / cell.expected);
    }
    result.chiSquare = {pearson, degrees, chiSquareUpperTail(pearson, degrees)};
    // Rounding can leave a tiny negative sum for a table at independence.
    likelihoodRatio = std::max(2.0 * likelihoodRatio, 0.0);
    result.gTest = {likelihoodRatio, degrees, chiSquareUpperTail(likelihoodRatio, degrees)};
}

bool stronger(const Partner& a, const Partner& b) {
    if (a.enrichment != b.enrichment) return a.enrichment > b.enrichment;
    if (a.qValue != b.qValue) return a.qValue < b.qValue;
    return a.cluster < b.cluster;
}

void fillPartners(PairSignificance& result) {
    result.humanPartners.assign(static_cast<std::size_t>(result.rows), {});
    result.mousePartners.assign(static_cast<std::size_t>(result.cols), {});
    for (int i = 0; i < result.rows; ++i) {
        for (int j = 0; j < result.cols; ++j) {
            const CellSignificance& cell = result.at(i, j);
            if (!(cell.qValue < kPartnerQValue)) continue;
            result.humanPartners[static_cast<std::size_t>(i)].push_back(
                {j, cell.observed, cell.enrichment, cell.qValue});
            result.mousePartners[static_cast<std::size_t>(j)].push_back(
                {i, cell.observed, cell.enrichment, cell.qValue});
        }
    }
    for (auto& partners : result.humanPartners) std::sort(partners.begin(), partners.end(), stronger);
    for (auto& partners : result.mousePartners) std::sort(partners.begin(), partners.end(), stronger);
}

CorrespondenceEvidence judgeEvidence(const PairSignificance& result) {
    const bool anyPartner = std::any_of(result.humanPartners.begin(), result.humanPartners.end(),
                                        [](const std::vector<Partner>& p) { return !p.empty(); });
    if (result.chiSquare.pValue < kStrongEvidenceP && anyPartner) return CorrespondenceEvidence::Strong;
    if (result.chiSquare.pValue < kWeakEvidenceP) return CorrespondenceEvidence::Weak;
    return CorrespondenceEvidence::None;
}

}  // namespace

std::string_view correspondenceSentence(CorrespondenceEvidence evidence) {
    switch (evidence) {
        case CorrespondenceEvidence::Strong: return "strong evidence that the clusterings correspond";
        case CorrespondenceEvidence::Weak: return "weak evidence that the clusterings correspond";
        case CorrespondenceEvidence::None: break;
    }
    return "no evidence that the clusterings correspond";
}

PairCounts countClusteredPairs(const std::vector<OrthologPair>& pairs, const std::vector<std::int32_t>& humanLabels,
                               const std::vector<std::int32_t>& mouseLabels, int humanClusters, int mouseClusters) {
    PairCounts counts;
    counts.reset(humanClusters, mouseClusters);
    for (const OrthologPair& pair : pairs) {
        if (pair.human >= humanLabels.size() || pair.mouse >= mouseLabels.size()) continue;
        const std::int32_t h = humanLabels[pair.human];
        const std::int32_t m = mouseLabels[pair.mouse];
        if (h < 0 || h >= humanClusters || m < 0 || m >= mouseClusters) continue;
        ++counts.at(h, m);
    }
    return counts;
}

PairSignificance assessPairSignificance(const PairCounts& counts) {
    PairSignificance result;
    result.rows = counts.rows;
    result.cols = counts.cols;
    fillTotals(counts, result);
    fillCells(counts, result);
    fillTests(result);
    fillPartners(result);
    result.evidence = judgeEvidence(result);
    return result;
}

}  // namespace orthomix
