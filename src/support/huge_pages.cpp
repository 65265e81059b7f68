#include "support/huge_pages.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace orthomix {

void adviseHugePages(const void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHugePage = std::uintptr_t{1} << 21;
    if (data == nullptr || bytes < 2 * kHugePage) return;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
    if (last <= first) return;
    // A refusal (no huge pages in this kernel) leaves ordinary pages, as before.
    (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

void* allocateHugePageBlock(std::size_t bytes) {
    const std::size_t rounded = (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
    if (rounded < bytes) throw std::bad_alloc();
    void* block = std::aligned_alloc(kHugePageBytes, rounded);
    if (block == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    (void)::madvise(block, rounded, MADV_HUGEPAGE);
#endif
    return block;
}

void freeHugePageBlock(void* block) noexcept { std::free(block); }

}  // namespace orthomix
