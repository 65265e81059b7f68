#include <string>
#include <vector>

#include "driver/command_line.h"

int main(int argc, char** argv) {
    return orthomix::runCommandLine(orthomix::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc)));
}
