// Temporary placeholders until the solver and the pair table land; removed by the numerics work.
#include "driver/fatal.h"
#include "model/pair_table.h"
#include "numeric/svd.h"

namespace orthomix {
void estimatePairTable(std::vector<GeneCluster*>&, std::vector<GeneCluster*>&, const std::vector<GenePair>&,
                       std::int32_t, PairTableState&) {
    fatalError("not built yet");
}
void smoothPairTable(PairTableState&) { fatalError("not built yet"); }
}  // namespace orthomix
