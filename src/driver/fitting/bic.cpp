#include "driver/fitting/bic.h"

#include <cmath>

#include "model/information_criteria.h"

namespace orthomix {

std::int64_t freeParameterCount(std::int32_t k, std::int32_t humanColumns, std::int32_t mouseColumns) {
    // 64 bits: k times tens of thousands of columns passes 2^31.
    return 2 * std::int64_t{k} * (std::int64_t{humanColumns} + std::int64_t{mouseColumns} + 1);
}

double computeBic(double logLikelihood, std::int32_t k, std::int32_t humanColumns, std::int32_t mouseColumns,
                  std::int32_t geneCount) {
    const std::int64_t freeParameters = freeParameterCount(k, humanColumns, mouseColumns);
    return std::log(static_cast<double>(geneCount)) * static_cast<double>(freeParameters) - 2 * logLikelihood;
}

double assignmentEntropy(const std::vector<double>& humanPosteriors, const std::vector<double>& mousePosteriors) {
    std::vector<double> ownAndOther;
    ownAndOther.reserve(2 * (humanPosteriors.size() + mousePosteriors.size()));
    for (const std::vector<double>* posteriors : {&humanPosteriors, &mousePosteriors}) {
        for (const double p : *posteriors) {
            if (std::isnan(p)) continue;
            ownAndOther.push_back(p);
            ownAndOther.push_back(1.0 - p);
        }
    }
    return posteriorEntropy(ownAndOther, 2);
}

}  // namespace orthomix
