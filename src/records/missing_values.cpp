#include "records/missing_values.h"

#include <algorithm>

namespace orthomix {
namespace {

// The rows holding at least one missing cell, flagged.
std::vector<char> rowsWithMissingCells(std::size_t rows, std::size_t columns, const std::vector<std::size_t>& cells) {
    std::vector<char> flagged(rows, 0);
    for (const std::size_t cell : cells) flagged[cell / columns] = 1;
    return flagged;
}

}  // namespace

std::size_t settleMissingValues(OrganismData& organism, const std::vector<std::size_t>& missingCells,
                                MissingValues rule) {
    const std::size_t columns = organism.expression.columns();
    if (rule == MissingValues::Zero || missingCells.empty() || columns == 0) return 0;
    const std::vector<char> missingInRow = rowsWithMissingCells(organism.geneCount(), columns, missingCells);
    if (rule == MissingValues::GeneMean) {
        std::vector<char> missing(columns);
        std::size_t next = 0;
        for (std::size_t g = 0; g < organism.geneCount(); ++g) {
            if (!missingInRow[g]) continue;
            std::fill(missing.begin(), missing.end(), 0);
            for (; next < missingCells.size() && missingCells[next] / columns == g; ++next) {
                missing[missingCells[next] % columns] = 1;
            }
            double* values = organism.expression.row(g);
            double sum = 0.0;
            std::size_t present = 0;
            for (std::size_t i = 0; i < columns; ++i) {
                if (missing[i]) continue;
                sum += values[i];
                ++present;
            }
            const double mean = present == 0 ? 0.0 : sum / static_cast<double>(present);
            for (std::size_t i = 0; i < columns; ++i) {
                if (missing[i]) values[i] = mean;
            }
        }
        return 0;
    }
    OrganismData complete;
    complete.sampleNames = std::move(organism.sampleNames);
    complete.expression = ExpressionMatrix(0, columns);
    for (std::size_t g = 0; g < organism.geneCount(); ++g) {
        if (missingInRow[g]) continue;
        complete.identifiers.push_back(std::move(organism.identifiers[g]));
        complete.annotations.push_back(g < organism.annotations.size() ? std::move(organism.annotations[g]) : "");
        complete.expression.appendRow(organism.expression.row(g));
    }
    const std::size_t dropped = organism.geneCount() - complete.geneCount();
    organism = std::move(complete);
    return dropped;
}

}  // namespace orthomix
