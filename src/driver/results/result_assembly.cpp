#include "driver/results/result_assembly.h"

#include <algorithm>
#include <limits>

namespace orthomix {

MembershipView membershipView(const OrganismClustering& clustering, const OrganismData& organism) {
    const std::vector<std::string>& names = organism.identifiers;
    const std::size_t columns = organism.expression.columns();
    MembershipView view;
    view.genes.reserve(clustering.clusters.count());
    view.centres.assign(clustering.clusters.count() * columns, 0.0);
    for (std::size_t c = 0; c < clustering.clusters.count(); ++c) {
        // Rows sharing an identifier are genes of their own: each keeps its
        // line, in file order among them. A gene listed twice (placed through
        // two pairs) has one line.
        std::vector<std::uint32_t> genes = clustering.clusters.members[c];
        std::sort(genes.begin(), genes.end(), [&](std::uint32_t a, std::uint32_t b) {
            return names[a] < names[b] || (names[a] == names[b] && a < b);
        });
        genes.erase(std::unique(genes.begin(), genes.end()), genes.end());
        double* centre = view.centres.data() + c * columns;
        for (const std::uint32_t gene : genes) {
            const double* values = organism.expression.row(gene);
            for (std::size_t i = 0; i < columns; ++i) centre[i] += values[i];
        }
        // A cluster without genes has no centre: NaN is never the nearest.
        const double count = genes.empty() ? std::numeric_limits<double>::quiet_NaN()
                                           : static_cast<double>(static_cast<std::uint32_t>(genes.size()));
        for (std::size_t i = 0; i < columns; ++i) centre[i] /= count;
        view.genes.push_back(std::move(genes));
    }
    return view;
}

std::vector<MembershipCluster> membershipClusters(const MembershipView& view, const OrganismData& organism) {
    std::vector<MembershipCluster> clusters(view.genes.size());
    for (std::size_t c = 0; c < view.genes.size(); ++c) {
        clusters[c].reserve(view.genes[c].size());
        for (const std::uint32_t gene : view.genes[c]) {
            clusters[c].push_back({organism.identifiers[gene], organism.annotations[gene],
                                   organism.expression.rowSpan(gene), {}});
        }
    }
    return clusters;
}

std::vector<GenePairLine> genePairLines(const Dataset& data, const AttemptResult& result) {
    std::vector<GenePairLine> lines;
    lines.reserve(data.orthologs.pairs.size());
    for (const OrthologPair& pair : data.orthologs.pairs) {
        lines.push_back({data.human.identifiers[pair.human], data.mouse.identifiers[pair.mouse],
                         result.human.labels[pair.human], result.mouse.labels[pair.mouse]});
    }
    return lines;
}

std::vector<MembershipCluster> genePairClusters(const Dataset& data, const AttemptResult& result) {
    const auto nH = static_cast<std::int32_t>(result.human.clusters.count());
    const auto nM = static_cast<std::int32_t>(result.mouse.clusters.count());
    std::vector<MembershipCluster> cells(static_cast<std::size_t>(nH) * static_cast<std::size_t>(nM));
    for (const OrthologPair& pair : data.orthologs.pairs) {
        const std::int32_t i = result.human.labels[pair.human];
        const std::int32_t j = result.mouse.labels[pair.mouse];
        if (i < 0 || i >= nH || j < 0 || j >= nM) continue;
        cells[static_cast<std::size_t>(i * nM + j)].push_back(
            {data.human.identifiers[pair.human], data.human.annotations[pair.human],
             data.human.expression.rowSpan(pair.human), data.mouse.expression.rowSpan(pair.mouse)});
    }
    return cells;
}

std::vector<PairTableRow> pairTableRows(const Dataset& data, const AttemptResult& result) {
    const auto nH = static_cast<std::int32_t>(result.human.clusters.count());
    const auto nM = static_cast<std::int32_t>(result.mouse.clusters.count());
    std::vector<std::int64_t> counts(static_cast<std::size_t>(nH) * static_cast<std::size_t>(nM), 0);
    std::vector<std::int64_t> rowSums(static_cast<std::size_t>(nH), 0);
    std::vector<std::int64_t> columnSums(static_cast<std::size_t>(nM), 0);
    std::int64_t inCells = 0;
    std::int64_t scatter = 0;
    for (const OrthologPair& pair : data.orthologs.pairs) {
        const std::int32_t i = result.human.labels[pair.human];
        const std::int32_t j = result.mouse.labels[pair.mouse];
        if (i < 0 || i >= nH || j < 0 || j >= nM) {
            ++scatter;
            continue;
        }
        ++counts[static_cast<std::size_t>(i * nM + j)];
        ++rowSums[static_cast<std::size_t>(i)];
        ++columnSums[static_cast<std::size_t>(j)];
        ++inCells;
    }
    constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();
    const PairSignificance significance = pairSignificance(data, result);
    const PairTable& table = result.pairTable;
    const bool fitted = table.rows == nH && table.cols == nM;
    std::vector<PairTableRow> rows;
    rows.reserve(counts.size() + 1);
    for (std::int32_t i = 0; i < nH; ++i) {
        for (std::int32_t j = 0; j < nM; ++j) {
            PairTableRow& row = rows.emplace_back();
            row.humanCluster = i;
            row.mouseCluster = j;
            row.pairs = counts[static_cast<std::size_t>(i * nM + j)];
            row.fittedProbability = fitted ? table.at(i, j) : kUndefined;
            row.expectedPairs = inCells == 0 ? kUndefined
                                             : static_cast<double>(rowSums[static_cast<std::size_t>(i)]) *
                                                   static_cast<double>(columnSums[static_cast<std::size_t>(j)]) /
                                                   static_cast<double>(inCells);
            row.observedOverExpected =
                row.expectedPairs > 0.0 ? static_cast<double>(row.pairs) / row.expectedPairs : kUndefined;
            row.pValue = significance.at(i, j).pValue;
            row.qValue = significance.at(i, j).qValue;
        }
    }
    PairTableRow& scatterRow = rows.emplace_back();
    scatterRow.pairs = scatter;
    scatterRow.fittedProbability = fitted ? table.scatterProbability : kUndefined;
    scatterRow.expectedPairs = kUndefined;
    scatterRow.observedOverExpected = kUndefined;
    scatterRow.pValue = kUndefined;
    scatterRow.qValue = kUndefined;
    return rows;
}

namespace {

// A clustering made without posteriors has none to show.
double posteriorOf(const OrganismClustering& clustering, std::uint32_t gene) {
    return gene < clustering.posteriors.size() ? clustering.posteriors[gene]
                                               : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

std::vector<PairAssignmentRow> pairAssignmentRows(const Dataset& data, const AttemptResult& result,
                                                  const PairSignificance& significance) {
    const auto inCluster = [](std::int32_t label, std::size_t clusters) {
        return label >= 0 && static_cast<std::size_t>(label) < clusters ? label : -1;
    };
    std::vector<PairAssignmentRow> rows;
    rows.reserve(data.orthologs.pairs.size());
    for (const OrthologPair& pair : data.orthologs.pairs) {
        PairAssignmentRow& row = rows.emplace_back();
        row.humanId = data.human.identifiers[pair.human];
        row.humanAnnotation = data.human.annotations[pair.human];
        row.mouseId = data.mouse.identifiers[pair.mouse];
        row.mouseAnnotation = data.mouse.annotations[pair.mouse];
        row.humanCluster = inCluster(result.human.labels[pair.human], result.human.clusters.count());
        row.mouseCluster = inCluster(result.mouse.labels[pair.mouse], result.mouse.clusters.count());
        row.humanPosterior = posteriorOf(result.human, pair.human);
        row.mousePosterior = posteriorOf(result.mouse, pair.mouse);
        row.significantPartners = row.humanCluster >= 0 && row.mouseCluster >= 0 &&
                                  significance.at(row.humanCluster, row.mouseCluster).qValue < kPartnerQValue;
    }
    return rows;
}

PairSignificance pairSignificance(const Dataset& data, const AttemptResult& result) {
    return assessPairSignificance(countClusteredPairs(data.orthologs.pairs, result.human.labels, result.mouse.labels,
                                                      static_cast<int>(result.human.clusters.count()),
                                                      static_cast<int>(result.mouse.clusters.count())));
}

}  // namespace orthomix
