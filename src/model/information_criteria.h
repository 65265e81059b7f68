#pragma once

#include <cstddef>
#include <vector>

namespace orthomix {

// -sum over items and components of p ln p for a row-major matrix of
// posterior probabilities with `components` columns (0 ln 0 = 0): 0 for hard
// assignments, larger the less sure the assignments are. Summed row by row in
// column order.
double posteriorEntropy(const std::vector<double>& posteriors, std::size_t components);

// ICL = BIC + 2 * entropy of the posteriors: the BIC penalised for clusters
// that overlap. Lower is better, like the BIC.
double integratedCompletedLikelihood(double bic, double entropy);

}  // namespace orthomix
