#pragma once

#include <cstddef>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "records/dataset.h"
#include "records/expression_matrix.h"
#include "records/organism_data.h"
#include "records/orthologs.h"

namespace orthomix::testing {

// A genes-by-samples matrix from its rows, which must all have `columns` values.
inline ExpressionMatrix matrixOf(const std::vector<std::vector<double>>& rows, std::size_t columns) {
    ExpressionMatrix matrix(0, columns);
    for (const std::vector<double>& row : rows) {
        if (row.size() != columns) throw std::invalid_argument("matrixOf: rows of different lengths");
        matrix.appendRow(row.data());
    }
    return matrix;
}

inline ExpressionMatrix matrixOf(const std::vector<std::vector<double>>& rows) {
    return matrixOf(rows, rows.empty() ? 0 : rows.front().size());
}

// An organism whose genes are `names` with the given expression rows, no annotations.
inline OrganismData organismOf(const std::vector<std::string>& names, const std::vector<std::vector<double>>& rows,
                               std::size_t columns) {
    if (names.size() != rows.size()) throw std::invalid_argument("organismOf: one name per row");
    OrganismData organism;
    for (std::size_t s = 0; s < columns; ++s) organism.sampleNames.push_back("s" + std::to_string(s));
    organism.identifiers = names;
    organism.annotations.assign(names.size(), "");
    organism.expression = matrixOf(rows, columns);
    return organism;
}

inline OrganismData organismOf(const std::vector<std::string>& names, const std::vector<std::vector<double>>& rows) {
    return organismOf(names, rows, rows.empty() ? 0 : rows.front().size());
}

// Both organisms and their ortholog pairs, resolved the way a run resolves them.
inline Dataset datasetOf(OrganismData human, OrganismData mouse, const OrthologTable& table) {
    Dataset data;
    data.human = std::move(human);
    data.mouse = std::move(mouse);
    data.orthologs = resolveOrthologs(table, data.human, data.mouse);
    return data;
}

// Well separated clusters in each organism: the genes of cluster c lie near 8
// in the columns i with i % clusters == c and near 0 elsewhere. Gene g of human
// cluster c is paired with gene g of mouse cluster c for every even g, so half
// the genes are unpaired. `outlierPairs` extra pairs of genes far from every
// cluster in every column follow, with truth -1.
struct PlantedData {
    Dataset data;
    std::vector<int> humanTruth, mouseTruth;
};

inline PlantedData plantedData(int clusters, int genesPerCluster, int humanColumns, int mouseColumns,
                               unsigned seed, int outlierPairs = 0) {
    std::mt19937 random(seed);
    // Noise in [-1, 1] from integer draws only, so that every platform builds the same data.
    const auto noise = [&random] { return static_cast<double>(random() % 2001) / 1000.0 - 1.0; };
    PlantedData planted;
    OrthologTable table;
    const auto make = [&](char prefix, int columns, std::vector<int>& truth) {
        std::vector<std::string> names;
        std::vector<std::vector<double>> rows;
        for (int c = 0; c < clusters; ++c) {
            for (int g = 0; g < genesPerCluster; ++g) {
                std::vector<double> values;
                for (int i = 0; i < columns; ++i) values.push_back((i % clusters == c ? 8.0 : 0.0) + noise());
                names.push_back(prefix + std::to_string(c) + "_" + std::to_string(g));
                rows.push_back(std::move(values));
                truth.push_back(c);
            }
        }
        for (int o = 0; o < outlierPairs; ++o) {
            // Each outlier far out in its own direction, so that outliers do not form a cluster either.
            std::vector<double> values;
            for (int i = 0; i < columns; ++i) values.push_back(((o + i) % 2 == 0 ? 60.0 : -60.0) * (o + 1) + noise());
            names.push_back(prefix + std::string("X") + std::to_string(o));
            rows.push_back(std::move(values));
            truth.push_back(-1);
        }
        return organismOf(names, rows, static_cast<std::size_t>(columns));
    };
    OrganismData human = make('H', humanColumns, planted.humanTruth);
    OrganismData mouse = make('M', mouseColumns, planted.mouseTruth);
    for (int c = 0; c < clusters; ++c) {
        for (int g = 0; g < genesPerCluster; g += 2) {
            const std::string suffix = std::to_string(c) + "_" + std::to_string(g);
            table.insert({"H" + suffix, "M" + suffix});
        }
    }
    for (int o = 0; o < outlierPairs; ++o) table.insert({"HX" + std::to_string(o), "MX" + std::to_string(o)});
    planted.data = datasetOf(std::move(human), std::move(mouse), table);
    return planted;
}

}  // namespace orthomix::testing
