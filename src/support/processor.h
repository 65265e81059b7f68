#pragma once

namespace orthomix {

// Whether the processor running us has AVX2 and fused multiply-add, for the
// kernels written for them; others take a portable path.
inline bool processorHasFusedMultiplyAdd() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

}  // namespace orthomix
