#include "driver/fatal.h"

#include <cstdio>
#include <cstdlib>

namespace orthomix {

void fatalError(std::string_view message) {
    std::fflush(stdout);
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    std::exit(1);
}

}  // namespace orthomix
