#include "model/information_criteria.h"

#include <cmath>

namespace orthomix {

double posteriorEntropy(const std::vector<double>& posteriors, std::size_t components) {
    double sum = 0.0;
    if (components == 0) return sum;
    const std::size_t items = posteriors.size() / components;
    for (std::size_t item = 0; item < items; ++item) {
        const double* row = posteriors.data() + item * components;
        for (std::size_t c = 0; c < components; ++c) {
            // p ln p tends to 0 as p does; a NaN is passed on, not hidden.
            if (row[c] != 0.0) sum -= row[c] * std::log(row[c]);
        }
    }
    return sum;
}

double integratedCompletedLikelihood(double bic, double entropy) { return bic + 2.0 * entropy; }

}  // namespace orthomix
