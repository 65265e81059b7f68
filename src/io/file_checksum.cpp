#include "io/file_checksum.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace orthomix {
namespace {

constexpr std::uint64_t kFnv1a64Prime = 1099511628211ull;
// Small enough to stay in the heap: a larger block is mapped afresh for every
// file, and each of its pages costs a fault.
constexpr std::size_t kBlockBytes = 1 << 16;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::uint64_t fnv1a64(std::string_view bytes, std::uint64_t state) {
    for (const char byte : bytes) {
        state ^= static_cast<unsigned char>(byte);
        state *= kFnv1a64Prime;
    }
    return state;
}

Result<std::optional<std::string>> fileChecksum(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_type type = std::filesystem::status(path, error).type();
    if (type == std::filesystem::file_type::not_found || type == std::filesystem::file_type::none) {
        return Error{"Cannot open " + path};
    }
    if (type != std::filesystem::file_type::regular) return std::optional<std::string>();
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return Error{"Cannot open " + path};
    std::vector<char> block(kBlockBytes);
    std::uint64_t state = kFnv1a64Start;
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
        state = fnv1a64(std::string_view(block.data(), got), state);
        if (got < block.size()) break;
    }
    if (std::ferror(file.get()) != 0) return Error{"Cannot open " + path};
    char text[32];
    std::snprintf(text, sizeof text, "fnv1a64:%016llx", static_cast<unsigned long long>(state));
    return std::optional<std::string>(text);
}

}  // namespace orthomix
