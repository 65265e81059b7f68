#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/em_attempt.h"
#include "records/dataset.h"
#include "records/organism_data.h"

namespace orthomix::testing {

// Appends a gene with its values (the first gene sets the column count).
inline void addGene(OrganismData& organism, const std::string& name, std::vector<double> values,
                    const std::string& annotation = "") {
    if (organism.expression.columns() == 0) organism.expression = ExpressionMatrix(0, values.size());
    organism.identifiers.push_back(name);
    organism.annotations.push_back(annotation);
    organism.expression.appendRow(values.data());
}

// An organism clustering whose cluster c holds the given member positions;
// labels follow the members (the cluster count for genes in none).
inline OrganismClustering clusteringOf(std::vector<std::vector<std::uint32_t>> members, std::size_t geneCount,
                                       std::size_t columns) {
    OrganismClustering clustering;
    clustering.clusters.columns = columns;
    clustering.clusters.members = std::move(members);
    clustering.clusters.centres.assign(clustering.clusters.members.size() * columns, 0.0);
    clustering.labels.assign(geneCount, static_cast<std::int32_t>(clustering.clusters.members.size()));
    for (std::size_t c = 0; c < clustering.clusters.members.size(); ++c) {
        for (const std::uint32_t gene : clustering.clusters.members[c]) {
            clustering.labels[gene] = static_cast<std::int32_t>(c);
        }
    }
    return clustering;
}

// Two organisms of 30 and 20 genes with 4 and 3 columns, for code that only
// counts genes and columns: the values do not matter.
inline Dataset countOnlyDataset() {
    Dataset data;
    const auto fill = [](OrganismData& organism, std::size_t genes, std::size_t columns) {
        organism.expression = ExpressionMatrix(genes, columns);
        for (std::size_t g = 0; g < genes; ++g) {
            organism.identifiers.push_back("g" + std::to_string(g));
            organism.annotations.emplace_back();
        }
    };
    fill(data.human, 30, 4);
    fill(data.mouse, 20, 3);
    return data;
}

}  // namespace orthomix::testing
