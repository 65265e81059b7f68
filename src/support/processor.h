#pragma once

namespace orthomix {

// Whether the processor running us has AVX2 and fused multiply-add, for the
// kernels written for them; others take a portable path.
inline bool processorHasFusedMultiplyAdd() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

// Whether it also has the 512-bit vectors, for kernels that take eight
// doubles at a time and give the same bits as their four-lane forms.
inline bool processorHasWideVectors() {
    __builtin_cpu_init();
    return processorHasFusedMultiplyAdd() && __builtin_cpu_supports("avx512f");
}

// How a kernel that sums products computes them. Every sum takes its terms
// in one fixed order, so the fused kernels give the same bits at either
// width; the portable one differs from them in the last bits.
enum class VectorKernel {
    Best,       // fused multiply-adds on eight values at once where the processor has them, else FourLanes
    FourLanes,  // fused multiply-adds on four values at once where the processor has them, else Portable
    Portable,   // the instructions every x86-64 processor has
};

// The kernel that `requested` comes to on the processor running us.
inline VectorKernel kernelOnThisProcessor(VectorKernel requested) {
    if (requested == VectorKernel::Best && processorHasWideVectors()) return VectorKernel::Best;
    if (requested != VectorKernel::Portable && processorHasFusedMultiplyAdd()) return VectorKernel::FourLanes;
    return VectorKernel::Portable;
}

}  // namespace orthomix
