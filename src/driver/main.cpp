#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "driver/joint_cluster_model.h"
#include "driver/usage.h"

int main(int argc, char** argv) {
    std::string parameterPath = "./ParameterSetting.txt";
    if (argc > 1) {
        if (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
            std::fputs(orthomix::usageText().c_str(), stdout);
            return 0;
        }
        if (std::strcmp(argv[1], "--version") == 0) {
            std::printf("orthomix %s\n", ORTHOMIX_VERSION);
            return 0;
        }
        parameterPath = argv[1];
    }
    orthomix::JointClusterModel model(parameterPath);
    model.seedRandomGenerator(static_cast<std::uint32_t>(std::time(nullptr)));
    model.run();
    return 0;
}
