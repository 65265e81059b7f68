// Temporary until the clustering phases land.
#include "driver/fatal.h"
#include "driver/joint_cluster_model.h"

namespace orthomix {
void JointClusterModel::initialiseRepetition() { fatalError("not built yet"); }
bool JointClusterModel::runEm() { fatalError("not built yet"); }
void JointClusterModel::runRepetitions() { fatalError("not built yet"); }
void JointClusterModel::writeResults() { fatalError("not built yet"); }
}  // namespace orthomix
