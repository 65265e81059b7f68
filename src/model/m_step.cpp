#include "model/m_step.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "support/wide_vectors.h"

namespace orthomix {
namespace {

// Four columns side by side; each lane is one column's sum.
using Lanes = double __attribute__((vector_size(4 * sizeof(double))));
constexpr std::size_t kLanes = 4;
// A block of columns whose sums, and then means, stay in registers while the
// cluster's members go by: four vectors of sums and four of means.
constexpr std::size_t kBlockColumns = 16;
// Members whose rows are asked for ahead of their turn: a cluster's members
// lie far apart in the matrix, where no hardware prefetcher follows.
constexpr std::size_t kMembersAhead = 8;

// The pairs that weigh on one cluster, in pair order: the row of each
// pair's gene in the matrix read, and the pair's weight on the cluster.
struct MemberList {
    const std::uint32_t* rows;
    const double* weights;
    std::size_t count;
};

[[gnu::always_inline]] inline void prefetchSlice(const double* values, std::size_t stride, const MemberList& members,
                                                 std::size_t m, std::size_t width) {
    if (m >= members.count) return;
    const char* slice = reinterpret_cast<const char*>(values + members.rows[m] * stride);
    for (std::size_t offset = 0; offset < width * sizeof(double); offset += 64) __builtin_prefetch(slice + offset);
}

// Adds x * w of every member, in pair order, to the sums of the `Groups`
// groups of four columns from `values` on (row 0's address); with `means`,
// ((x - mean) * (x - mean)) * w instead.
template <std::size_t Groups>
[[gnu::always_inline]] inline void addMemberTerms(const double* values, std::size_t stride, const MemberList& members,
                                                  Lanes (&sums)[Groups], const Lanes* means) {
    for (std::size_t m = 0; m < members.count; ++m) {
        prefetchSlice(values, stride, members, m + kMembersAhead, Groups * kLanes);
        const double* x = values + members.rows[m] * stride;
        const double w = members.weights[m];
        const Lanes weight = {w, w, w, w};
#pragma GCC unroll 4
        for (std::size_t g = 0; g < Groups; ++g) {
            Lanes value;
            std::memcpy(&value, x + g * kLanes, sizeof value);
            if (means) {
                const Lanes deviation = value - means[g];
                sums[g] += (deviation * deviation) * weight;
            } else {
                sums[g] += value * weight;
            }
        }
    }
}

// Mean and variance of `Groups` groups of four columns of one cluster: each
// sum adds one member's term after the other, in pair order, as
// sum += x * w and then sum += ((x - mean) * (x - mean)) * w, and is
// multiplied by the reciprocal of the cluster's total weight.
template <std::size_t Groups>
[[gnu::always_inline]] inline void momentsOfGroups(const double* values, std::size_t stride,
                                                   const MemberList& members, double reciprocal, double* mean,
                                                   double* variance) {
    Lanes sums[Groups];
#pragma GCC unroll 4
    for (std::size_t g = 0; g < Groups; ++g) sums[g] = Lanes{0.0, 0.0, 0.0, 0.0};
    addMemberTerms(values, stride, members, sums, nullptr);
    const Lanes scale = {reciprocal, reciprocal, reciprocal, reciprocal};
    Lanes means[Groups];
#pragma GCC unroll 4
    for (std::size_t g = 0; g < Groups; ++g) {
        means[g] = sums[g] * scale;
        std::memcpy(mean + g * kLanes, &means[g], sizeof means[g]);
        sums[g] = Lanes{0.0, 0.0, 0.0, 0.0};
    }
    addMemberTerms(values, stride, members, sums, means);
#pragma GCC unroll 4
    for (std::size_t g = 0; g < Groups; ++g) {
        const Lanes scaled = sums[g] * scale;
        std::memcpy(variance + g * kLanes, &scaled, sizeof scaled);
    }
}

// The same for the last one to three columns, one at a time.
void momentsOfColumns(const double* values, std::size_t stride, std::size_t width, const MemberList& members,
                      double reciprocal, double* mean, double* variance) {
    for (std::size_t i = 0; i < width; ++i) {
        double sum = 0.0;
        for (std::size_t m = 0; m < members.count; ++m) sum += values[members.rows[m] * stride + i] * members.weights[m];
        mean[i] = sum * reciprocal;
        double squares = 0.0;
        for (std::size_t m = 0; m < members.count; ++m) {
            const double deviation = values[members.rows[m] * stride + i] - mean[i];
            squares += (deviation * deviation) * members.weights[m];
        }
        variance[i] = squares * reciprocal;
    }
}

__attribute__((target_clones("avx2", "default"))) void momentsOfBlock(const double* values, std::size_t stride,
                                                                       std::size_t width, const MemberList& members,
                                                                       double reciprocal, double* mean,
                                                                       double* variance) {
    switch (width / kLanes) {
        case 4: momentsOfGroups<4>(values, stride, members, reciprocal, mean, variance); break;
        case 3: momentsOfGroups<3>(values, stride, members, reciprocal, mean, variance); break;
        case 2: momentsOfGroups<2>(values, stride, members, reciprocal, mean, variance); break;
        case 1: momentsOfGroups<1>(values, stride, members, reciprocal, mean, variance); break;
        default: momentsOfColumns(values, stride, width, members, reciprocal, mean, variance); break;
    }
}

// The same on eight columns to a vector, for blocks of up to 32 columns, the
// lanes past the block's last column masked off: each column's sums take the
// same terms in the same order, so both widths give the same bits.
constexpr std::size_t kWideBlockColumns = 32;

template <std::size_t Vectors>
[[gnu::always_inline]] [[gnu::target("avx512f")]] inline void addWideMemberTerms(
    const double* values, std::size_t stride, const MemberList& members, __mmask8 lastMask,
    __m512d (&sums)[Vectors], const __m512d* means) {
    for (std::size_t m = 0; m < members.count; ++m) {
        prefetchSlice(values, stride, members, m + kMembersAhead, Vectors * kWideLanes);
        const double* x = values + members.rows[m] * stride;
        const __m512d weight = _mm512_set1_pd(members.weights[m]);
#pragma GCC unroll 4
        for (std::size_t v = 0; v < Vectors; ++v) {
            const __m512d value = v + 1 < Vectors ? _mm512_loadu_pd(x + v * kWideLanes)
                                                  : _mm512_maskz_loadu_pd(lastMask, x + v * kWideLanes);
            if (means) {
                const __m512d deviation = _mm512_sub_pd(value, means[v]);
                sums[v] = _mm512_add_pd(sums[v], _mm512_mul_pd(_mm512_mul_pd(deviation, deviation), weight));
            } else {
                sums[v] = _mm512_add_pd(sums[v], _mm512_mul_pd(value, weight));
            }
        }
    }
}

template <std::size_t Vectors>
[[gnu::always_inline]] [[gnu::target("avx512f")]] inline void wideMomentsOfVectors(
    const double* values, std::size_t stride, const MemberList& members, double reciprocal, __mmask8 lastMask,
    double* mean, double* variance) {
    __m512d sums[Vectors];
#pragma GCC unroll 4
    for (std::size_t v = 0; v < Vectors; ++v) sums[v] = _mm512_setzero_pd();
    addWideMemberTerms(values, stride, members, lastMask, sums, nullptr);
    const __m512d scale = _mm512_set1_pd(reciprocal);
    __m512d means[Vectors];
#pragma GCC unroll 4
    for (std::size_t v = 0; v < Vectors; ++v) {
        means[v] = _mm512_mul_pd(sums[v], scale);
        sums[v] = _mm512_setzero_pd();
    }
    addWideMemberTerms(values, stride, members, lastMask, sums, means);
#pragma GCC unroll 4
    for (std::size_t v = 0; v < Vectors; ++v) {
        const __mmask8 lanes = v + 1 < Vectors ? static_cast<__mmask8>(0xFF) : lastMask;
        _mm512_mask_storeu_pd(mean + v * kWideLanes, lanes, means[v]);
        _mm512_mask_storeu_pd(variance + v * kWideLanes, lanes, _mm512_mul_pd(sums[v], scale));
    }
}

[[gnu::target("avx512f")]] void wideMomentsOfBlock(const double* values, std::size_t stride, std::size_t width,
                                                   const MemberList& members, double reciprocal, double* mean,
                                                   double* variance) {
    const auto [vectors, lastMask] = wideVectorsOf(width, kWideBlockColumns / kWideLanes);
    switch (vectors) {
        case 1: wideMomentsOfVectors<1>(values, stride, members, reciprocal, lastMask, mean, variance); break;
        case 2: wideMomentsOfVectors<2>(values, stride, members, reciprocal, lastMask, mean, variance); break;
        case 3: wideMomentsOfVectors<3>(values, stride, members, reciprocal, lastMask, mean, variance); break;
        default: wideMomentsOfVectors<4>(values, stride, members, reciprocal, lastMask, mean, variance); break;
    }
}

// The columns cut into blocks: full blocks of kBlockColumns, then the rest
// as whole groups of four, then the last one to three columns.
struct ColumnBlock {
    std::size_t first = 0;
    std::size_t width = 0;
};

std::size_t columnBlockCount(std::size_t columns) {
    const std::size_t rest = columns % kBlockColumns;
    return columns / kBlockColumns + (rest >= kLanes ? 1 : 0) + (rest % kLanes != 0 ? 1 : 0);
}

std::size_t wideColumnBlockCount(std::size_t columns) {
    return (columns + kWideBlockColumns - 1) / kWideBlockColumns;
}

ColumnBlock wideColumnBlock(std::size_t block, std::size_t columns) {
    const std::size_t first = block * kWideBlockColumns;
    return {first, std::min(kWideBlockColumns, columns - first)};
}

ColumnBlock columnBlock(std::size_t block, std::size_t columns) {
    const std::size_t full = columns / kBlockColumns;
    if (block < full) return {block * kBlockColumns, kBlockColumns};
    const std::size_t rest = columns % kBlockColumns;
    const std::size_t grouped = rest / kLanes * kLanes;
    if (block == full && grouped > 0) return {full * kBlockColumns, grouped};
    return {full * kBlockColumns + grouped, rest - grouped};
}

// Each pair's weights, clusterCount of them, one pair every `stride` values.
struct PairWeightRows {
    const double* first;
    std::size_t stride;
    const double* of(std::size_t pair) const { return first + pair * stride; }
};

// Adds every pair's weights to its clusters' totals, in pair order. A weight
// of 0 adds nothing: the totals start at +0.0 and no sum of weights is -0.0,
// so adding every weight gives the bits of adding only those other than 0,
// and the loop runs without a branch.
void addTotalsPortable(PairWeightRows weights, std::size_t pairCount, std::size_t clusterCount, double* totals) {
    for (std::size_t r = 0; r < pairCount; ++r) {
        const double* w = weights.of(r);
        for (std::size_t c = 0; c < clusterCount; ++c) totals[c] += w[c];
    }
}

// The same for up to 32 clusters, their totals in registers: each total
// still adds the pairs' weights one after the other, in pair order.
template <std::size_t Vectors>
[[gnu::always_inline]] [[gnu::target("avx512f")]] inline void addTotalsOfBlock(PairWeightRows weights,
                                                                               std::size_t pairCount,
                                                                               __mmask8 lastMask, double* totals) {
    __m512d sums[Vectors];
#pragma GCC unroll 4
    for (std::size_t v = 0; v + 1 < Vectors; ++v) sums[v] = _mm512_loadu_pd(totals + v * kWideLanes);
    sums[Vectors - 1] = _mm512_maskz_loadu_pd(lastMask, totals + (Vectors - 1) * kWideLanes);
    for (std::size_t r = 0; r < pairCount; ++r) {
        const double* w = weights.of(r);
#pragma GCC unroll 4
        for (std::size_t v = 0; v + 1 < Vectors; ++v) {
            sums[v] = _mm512_add_pd(sums[v], _mm512_loadu_pd(w + v * kWideLanes));
        }
        sums[Vectors - 1] =
            _mm512_add_pd(sums[Vectors - 1], _mm512_maskz_loadu_pd(lastMask, w + (Vectors - 1) * kWideLanes));
    }
#pragma GCC unroll 4
    for (std::size_t v = 0; v + 1 < Vectors; ++v) _mm512_storeu_pd(totals + v * kWideLanes, sums[v]);
    _mm512_mask_storeu_pd(totals + (Vectors - 1) * kWideLanes, lastMask, sums[Vectors - 1]);
}

[[gnu::target("avx512f")]] void addTotalsWide(PairWeightRows weights, std::size_t pairCount,
                                              std::size_t clusterCount, double* totals) {
    constexpr std::size_t kVectors = 4;
    for (std::size_t first = 0; first < clusterCount; first += kVectors * kWideLanes) {
        const PairWeightRows block{weights.first + first, weights.stride};
        const auto [vectors, lastMask] = wideVectorsOf(clusterCount - first, kVectors);
        switch (vectors) {
            case 1: addTotalsOfBlock<1>(block, pairCount, lastMask, totals + first); break;
            case 2: addTotalsOfBlock<2>(block, pairCount, lastMask, totals + first); break;
            case 3: addTotalsOfBlock<3>(block, pairCount, lastMask, totals + first); break;
            default: addTotalsOfBlock<4>(block, pairCount, lastMask, totals + first); break;
        }
    }
}

// Writes a (cluster, pair) entry for every weight of pairs [begin, end) that
// the sums take, pair after pair and in cluster order; returns how many.
// A term of weight 0 leaves every sum as it is (a sum of such terms stays
// +0.0), and most posteriors sit in one cell, so most pairs write one entry.
// NaN is kept, and passes on.
std::size_t listWeightsPortable(PairWeightRows weights, std::size_t begin, std::size_t end,
                                std::size_t clusterCount, const double* smallestKept, std::uint32_t* clusters,
                                std::uint32_t* pairs) {
    std::size_t filled = 0;
    for (std::size_t r = begin; r < end; ++r) {
        const double* w = weights.of(r);
        // Every entry is written and only those kept are counted: which
        // clusters a pair weighs on is as good as random, and a branch on
        // it would mostly guess wrong.
        for (std::size_t c = 0; c < clusterCount; ++c) {
            const bool kept = w[c] != 0.0 && !(std::fabs(w[c]) <= smallestKept[c]);
            clusters[filled] = static_cast<std::uint32_t>(c);
            pairs[filled] = static_cast<std::uint32_t>(r);
            filled += kept ? 1 : 0;
        }
    }
    return filled;
}

// The same eight clusters at a time: the kept clusters' numbers are packed
// together in a register and stored with a mask, so nothing is written past
// the last entry.
[[gnu::target("avx512f,avx512vl")]] std::size_t listWeightsWide(PairWeightRows weights, std::size_t begin,
                                                                std::size_t end, std::size_t clusterCount,
                                                                const double* smallestKept,
                                                                std::uint32_t* clusters, std::uint32_t* pairs) {
    const __m512d zero = _mm512_setzero_pd();
    const __m256i laneNumbers = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    std::size_t filled = 0;
    for (std::size_t r = begin; r < end; ++r) {
        const double* w = weights.of(r);
        const __m256i pair = _mm256_set1_epi32(static_cast<int>(r));
        for (std::size_t first = 0; first < clusterCount; first += kWideLanes) {
            const __mmask8 real = firstLanesMask(std::min(kWideLanes, clusterCount - first));
            const __m512d weight = _mm512_maskz_loadu_pd(real, w + first);
            const __m512d smallest = _mm512_maskz_loadu_pd(real, smallestKept + first);
            // w != 0 and !(|w| <= smallest), NaN kept by both.
            const __mmask8 nonZero = _mm512_mask_cmp_pd_mask(real, weight, zero, _CMP_NEQ_UQ);
            const __mmask8 kept = _mm512_mask_cmp_pd_mask(nonZero, _mm512_abs_pd(weight), smallest, _CMP_NLE_UQ);
            const __m256i numbers =
                _mm256_add_epi32(laneNumbers, _mm256_set1_epi32(static_cast<int>(first)));
            const auto count = static_cast<unsigned>(std::popcount(static_cast<unsigned>(kept)));
            const __mmask8 written = firstLanesMask(count);
            _mm256_mask_storeu_epi32(clusters + filled, written, _mm256_maskz_compress_epi32(kept, numbers));
            _mm256_mask_storeu_epi32(pairs + filled, written, pair);
            filled += count;
        }
    }
    return filled;
}

// The pairs are listed a chunk at a time, the same chunks whatever the
// number of threads; each chunk writes its entries from its first pair's
// place in the workspace on, where no other chunk writes.
constexpr std::size_t kListingChunks = 32;

// Posterior-weighted means and variances of all clusters of one organism.
// Each cluster's sums run over the pairs in pair order; the pairs that weigh
// on a cluster are gathered first, so that every cluster and block of columns
// is one piece of work that reads only its members' values.
template <typename GeneOf>
bool estimateClusters(const ExpressionMatrix& expression, std::size_t pairCount, std::size_t clusterCount,
                      PairWeightRows weights, GeneOf geneOf, ClusterParameters& out, MStepWorkspace& workspace,
                      ThreadPool* pool, MStepWeights mStepWeights, VectorKernel kernel) {
    const bool wide = kernelOnThisProcessor(kernel) == VectorKernel::Best;
    std::vector<double>& totalWeight = workspace.totalWeights;
    totalWeight.assign(clusterCount, 0.0);
    (wide ? addTotalsWide : addTotalsPortable)(weights, pairCount, clusterCount, totalWeight.data());
    for (std::size_t c = 0; c < clusterCount; ++c) {
        if (totalWeight[c] <= 0.0) return false;  // NaN passes on, as in the estimate itself
    }
    // With negligible weights left out too, a cluster's sums leave out terms
    // whose weights together are at most one rounding of its total weight.
    std::vector<double>& smallestKept = workspace.smallestKeptWeights;
    smallestKept.assign(clusterCount, 0.0);
    if (mStepWeights == MStepWeights::AboveRounding) {
        constexpr double kRounding = 2.220446049250313e-16;
        for (std::size_t c = 0; c < clusterCount; ++c) {
            smallestKept[c] = kRounding * totalWeight[c] / static_cast<double>(pairCount);
        }
    }

    const std::size_t chunkSize = std::max<std::size_t>(1, (pairCount + kListingChunks - 1) / kListingChunks);
    const std::size_t chunks = (pairCount + chunkSize - 1) / chunkSize;
    workspace.entryClusters.resize(pairCount * clusterCount);
    workspace.entryPairs.resize(pairCount * clusterCount);
    workspace.chunkEntries.resize(chunks);
    std::vector<std::size_t>& chunkCounts = workspace.chunkClusterCounts;
    chunkCounts.assign(chunks * clusterCount, 0);
    const auto listWeights = wide ? listWeightsWide : listWeightsPortable;
    forRanges(
        pool, chunks,
        [&](std::size_t begin, std::size_t end) {
            for (std::size_t chunk = begin; chunk < end; ++chunk) {
                const std::size_t firstPair = chunk * chunkSize;
                std::uint32_t* clusters = workspace.entryClusters.data() + firstPair * clusterCount;
                const std::size_t entries =
                    listWeights(weights, firstPair, std::min(pairCount, firstPair + chunkSize), clusterCount,
                                smallestKept.data(), clusters, workspace.entryPairs.data() + firstPair * clusterCount);
                workspace.chunkEntries[chunk] = entries;
                std::size_t* counts = chunkCounts.data() + chunk * clusterCount;
                for (std::size_t e = 0; e < entries; ++e) ++counts[clusters[e]];
            }
        },
        chunks);

    // The members of every cluster, in pair order, one cluster after the
    // other: each chunk's counts become the slots where its members of each
    // cluster go, after those of the chunks before it.
    std::vector<std::size_t>& firstMember = workspace.firstMembers;
    firstMember.assign(clusterCount + 1, 0);
    for (std::size_t c = 0; c < clusterCount; ++c) {
        std::size_t next = firstMember[c];
        for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
            const std::size_t count = chunkCounts[chunk * clusterCount + c];
            chunkCounts[chunk * clusterCount + c] = next;
            next += count;
        }
        firstMember[c + 1] = next;
    }
    workspace.memberRows.resize(firstMember.back());
    workspace.memberWeights.resize(firstMember.back());
    forRanges(
        pool, chunks,
        [&](std::size_t begin, std::size_t end) {
            for (std::size_t chunk = begin; chunk < end; ++chunk) {
                const std::size_t firstEntry = chunk * chunkSize * clusterCount;
                std::size_t* nextSlot = chunkCounts.data() + chunk * clusterCount;
                for (std::size_t e = firstEntry; e < firstEntry + workspace.chunkEntries[chunk]; ++e) {
                    const std::uint32_t c = workspace.entryClusters[e];
                    const std::uint32_t r = workspace.entryPairs[e];
                    const std::size_t slot = nextSlot[c]++;
                    workspace.memberRows[slot] = static_cast<std::uint32_t>(geneOf(r));
                    workspace.memberWeights[slot] = weights.of(r)[c];
                }
            }
        },
        chunks);

    const std::size_t columns = expression.columns();
    out.resize(clusterCount, columns);
    if (columns == 0) return true;
    // Every cluster and block of columns is a piece of work of its own: its
    // sums are its own, so no thread waits for another's, and big clusters
    // still split into as many pieces as they have blocks.
    const std::size_t blocks = wide ? wideColumnBlockCount(columns) : columnBlockCount(columns);
    const auto momentsOf = wide ? wideMomentsOfBlock : momentsOfBlock;
    const std::size_t pieces = clusterCount * blocks;
    forRanges(
        pool, pieces,
        [&](std::size_t begin, std::size_t end) {
            for (std::size_t piece = begin; piece < end; ++piece) {
                const std::size_t c = piece / blocks;
                const ColumnBlock block =
                    wide ? wideColumnBlock(piece % blocks, columns) : columnBlock(piece % blocks, columns);
                const MemberList members{workspace.memberRows.data() + firstMember[c],
                                         workspace.memberWeights.data() + firstMember[c],
                                         firstMember[c + 1] - firstMember[c]};
                momentsOf(expression.row(0) + block.first, columns, block.width, members,
                               1.0 / totalWeight[c], out.means.data() + c * columns + block.first,
                               out.variances.data() + c * columns + block.first);
            }
        },
        pieces);
    return true;
}

}  // namespace

bool updateClusterParameters(const Dataset& data, const PairWeights& weights, OrganismState& human,
                             OrganismState& mouse, MStepWorkspace& workspace, ThreadPool* pool,
                             MStepWeights mStepWeights, VectorKernel kernel) {
    const std::vector<OrthologPair>& pairs = data.orthologs.pairs;
    const std::size_t stride = weights.humanClusters() + weights.mouseClusters();
    const PairWeightRows humanWeights{pairs.empty() ? nullptr : weights.rowSums(0), stride};
    const PairWeightRows mouseWeights{pairs.empty() ? nullptr : weights.columnSums(0), stride};
    const bool humanOk = estimateClusters(data.human.expression, pairs.size(), weights.humanClusters(), humanWeights,
                                          [&](std::size_t r) { return pairs[r].human; }, human.parameters, workspace,
                                          pool, mStepWeights, kernel);
    if (!humanOk) return false;
    // The mouse rows are read where they lie: a cluster's sums gather its
    // members' values from all over the matrix either way.
    return estimateClusters(data.mouse.expression, pairs.size(), weights.mouseClusters(), mouseWeights,
                            [&](std::size_t r) { return pairs[r].mouse; }, mouse.parameters, workspace, pool,
                            mStepWeights, kernel);
}

}  // namespace orthomix
