#include "model/log_pair_estep.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace orthomix {
namespace {

// Sum in four interleaved partial sums, so that the loop vectorises; fixed
// order, so the result is the same on every run.
inline double sumOf(const double* values, std::size_t count) {
    double partial[4] = {0.0, 0.0, 0.0, 0.0};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        for (std::size_t lane = 0; lane < 4; ++lane) partial[lane] += values[i + lane];
    }
    for (; i < count; ++i) partial[i % 4] += values[i];
    return (partial[0] + partial[1]) + (partial[2] + partial[3]);
}

inline double largestOf(const double* values, std::size_t count, double start) {
    double partial[4] = {start, start, start, start};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        for (std::size_t lane = 0; lane < 4; ++lane) {
            partial[lane] = values[i + lane] > partial[lane] ? values[i + lane] : partial[lane];
        }
    }
    for (; i < count; ++i) partial[0] = values[i] > partial[0] ? values[i] : partial[0];
    const double a = partial[0] > partial[1] ? partial[0] : partial[1];
    const double b = partial[2] > partial[3] ? partial[2] : partial[3];
    return a > b ? a : b;
}

}  // namespace

// Four doubles side by side, for loops the compiler would not vectorise on
// its own (it cannot tell the rows apart from the sums, or an exp's branches
// apart).
using Lanes = double __attribute__((vector_size(4 * sizeof(double))));

#define ORTHOMIX_LOAD_LANES(name, pointer) \
    Lanes name;                             \
    std::memcpy(&name, pointer, sizeof name)

using LaneBits = std::int64_t __attribute__((vector_size(4 * sizeof(std::int64_t))));

// exp of four values, each to about one part in 1e15, 0 below -708. (By
// reference: a vector passed by value would warn of an ABI that an inlined
// function never has.)
[[gnu::always_inline]] inline void expNonPositiveOf(const Lanes& x, Lanes& exp) {
    // x = n ln2 + r with |r| <= ln2 / 2, exp(r) by its Taylor series to degree 12.
    constexpr double kInverseLn2 = 1.4426950408889634;
    constexpr double kLn2High = 6.93147180369123816490e-01;
    constexpr double kLn2Low = 1.90821492927058770002e-10;
    constexpr double kRoundShift = 6755399441055744.0;  // 1.5 * 2^52: adding it rounds to an integer
    constexpr double kLowest = -708.0;
    const Lanes clamped = x < kLowest ? Lanes{kLowest, kLowest, kLowest, kLowest} : x;
    const Lanes shifted = clamped * kInverseLn2 + kRoundShift;
    const Lanes n = shifted - kRoundShift;
    const Lanes r = (clamped - n * kLn2High) - n * kLn2Low;
    Lanes p = r * (1.0 / 479001600.0) + 1.0 / 39916800.0;
    p = p * r + 1.0 / 3628800.0;
    p = p * r + 1.0 / 362880.0;
    p = p * r + 1.0 / 40320.0;
    p = p * r + 1.0 / 5040.0;
    p = p * r + 1.0 / 720.0;
    p = p * r + 1.0 / 120.0;
    p = p * r + 1.0 / 24.0;
    p = p * r + 1.0 / 6.0;
    p = p * r + 0.5;
    p = p * r + 1.0;
    p = p * r + 1.0;
    // The low bits of `shifted` hold n; rebuild 2^n from them without a conversion.
    const LaneBits nBits = __builtin_bit_cast(LaneBits, shifted) - std::bit_cast<std::int64_t>(kRoundShift);
    const LaneBits scaleBits = (nBits + 1023) << 52;
    const Lanes result = p * __builtin_bit_cast(Lanes, scaleBits);
    // NaN passes through every step above; only the underflow needs a select.
    exp = x < kLowest ? Lanes{0.0, 0.0, 0.0, 0.0} : result;
}

double expNonPositive(double x) {
    Lanes exp;
    expNonPositiveOf(Lanes{x, x, x, x}, exp);
    return exp[0];
}

ScatterTerm ScatterTerm::of(double value) {
    ScatterTerm term;
    term.value = value;
    term.sign = value > 0.0 ? 1 : value < 0.0 ? -1 : 0;
    term.logMagnitude = std::log(std::fabs(value));
    if (std::isnan(value)) {
        term.sign = 1;
        term.logMagnitude = value;
    }
    return term;
}

void PairLogScratch::prepare(const PairTable& table) {
    const auto kHm = static_cast<std::size_t>(table.rows);
    const auto kMs = static_cast<std::size_t>(table.cols);
    paddedWidth = (kMs + 3) / 4 * 4;
    humanShares.resize(kHm);
    mouseShares.assign(paddedWidth, 0.0);
    cells.resize(kMs);
    rowLargest.resize(kHm);
    tableRowLargest.resize(kHm);
    for (std::size_t i = 0; i < kHm; ++i) tableRowLargest[i] = largestOf(table.cells.data() + i * kMs, kMs, 0.0);
    paddedCells.assign(kHm * paddedWidth, 0.0);
    cellsFinite = true;
    for (std::size_t i = 0; i < kHm; ++i) {
        for (std::size_t j = 0; j < kMs; ++j) {
            const double cell = table.cells[i * kMs + j];
            paddedCells[i * paddedWidth + j] = cell;
            cellsFinite = cellsFinite && std::isfinite(cell);
        }
    }
    rowPartials.assign(kHm * 4, 0.0);
    sharedRows.resize(kHm);
}

namespace {

constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

// The largest shares are exp(kHeadroom), so that the cells use the whole
// range of numbers: the table sums to at most 1, so no sum of cells exceeds
// exp(2 kHeadroom).
constexpr double kHeadroom = 350.0;

// A largest cell more than exp(708) below a positive scatter term is no
// cell to choose, as exp gives 0 below -708 in a log-sum-exp.
constexpr double kNegligible = 3.307553003638408e-308;  // exp(-708)

// Where a pair's cells sit on the scale of numbers: every cell is
// humanShare * (mouseShare * P), its joint density times exp(-shift). A
// scatter term larger than every cell sets the scale instead, and the human
// shares shrink to match.
struct PairScale {
    double humanLargest = 0.0;  // the largest log density of each side
    double mouseLargest = 0.0;
    bool anyCell = false;        // both sides have a log density above minus infinity
    double humanHeadroom = 0.0;  // the logarithm of the largest human share
    double shift = 0.0;
};

[[gnu::always_inline]] inline PairScale scaleOfPair(const double* humanLogDensities, std::size_t rowCount,
                                                    const double* mouseLogDensities, std::size_t columnCount,
                                                    const ScatterTerm& scatter) {
    PairScale scale;
    scale.humanLargest = largestOf(humanLogDensities, rowCount, kMinusInfinity);
    scale.mouseLargest = largestOf(mouseLogDensities, columnCount, kMinusInfinity);
    scale.anyCell = scale.humanLargest > kMinusInfinity && scale.mouseLargest > kMinusInfinity;
    const double cellsTop = scale.humanLargest + scale.mouseLargest;
    const double top = scatter.sign > 0 && scatter.logMagnitude > cellsTop ? scatter.logMagnitude : cellsTop;
    scale.shift = top - 2.0 * kHeadroom;
    scale.humanHeadroom = kHeadroom - (top - cellsTop);
    return scale;
}

// exp(logDensity - largest + headroom) for every cluster of one side, taken
// as exp(logDensity - largest) * exp(headroom). A share further below than
// that product can hold (subnormal or 0) is taken instead as the exp of its
// argument raised into range, scaled back down; with many columns most
// clusters of a gene are that far below its nearest.
constexpr double kFarBelow = -700.0;
constexpr double kExpUnderflow = -746.0;               // exp of anything below is 0
constexpr double kExpMinus64 = 1.603810890548638e-28;  // exp(-64)

// Four shares from their arguments' distance below the largest, in registers.
// A lane far below takes the exp of its raised argument instead; the
// exponential works lane by lane, so one call serves both kinds of lane
// with the bits each would get alone.
[[gnu::always_inline]] inline void sharesOfFour(const Lanes& below, const Lanes& headroom, const Lanes& scale,
                                                Lanes& shares) {
    const LaneBits farBelow = below < kFarBelow;
    if ((farBelow[0] | farBelow[1] | farBelow[2] | farBelow[3]) == 0) {
        expNonPositiveOf(below, shares);
        shares *= scale;
        return;
    }
    const Lanes raisedArgument = below + headroom;
    Lanes exp;
    expNonPositiveOf(farBelow ? raisedArgument + 64.0 : below, exp);
    const Lanes nearShares = exp * scale;
    const Lanes raised = exp * kExpMinus64;
    const Lanes farShares = raisedArgument < kExpUnderflow ? Lanes{0.0, 0.0, 0.0, 0.0} : raised;
    shares = farBelow ? farShares : nearShares;
}

[[gnu::always_inline]] inline void exponentiateShares(const double* logDensities, std::size_t count, double largest,
                                                      double headroom, double* out) {
    const double scale = std::exp(headroom);
    // Eight at a time: two exponentials side by side keep the processor busy
    // through the polynomial's chain of dependent steps.
    const Lanes largestLanes = {largest, largest, largest, largest};
    const Lanes headroomLanes = {headroom, headroom, headroom, headroom};
    const Lanes scaleLanes = {scale, scale, scale, scale};
    std::size_t c = 0;
    for (; c + 8 <= count; c += 8) {
        ORTHOMIX_LOAD_LANES(first, logDensities + c);
        ORTHOMIX_LOAD_LANES(second, logDensities + c + 4);
        Lanes firstShares, secondShares;
        sharesOfFour(first - largestLanes, headroomLanes, scaleLanes, firstShares);
        sharesOfFour(second - largestLanes, headroomLanes, scaleLanes, secondShares);
        std::memcpy(out + c, &firstShares, sizeof firstShares);
        std::memcpy(out + c + 4, &secondShares, sizeof secondShares);
    }
    for (; c + 4 <= count; c += 4) {
        ORTHOMIX_LOAD_LANES(values, logDensities + c);
        Lanes shares;
        sharesOfFour(values - largestLanes, headroomLanes, scaleLanes, shares);
        std::memcpy(out + c, &shares, sizeof shares);
    }
    // The last one to three: padded to four with arguments of 0, each lane
    // computed as it would be among four.
    if (c < count) {
        Lanes values = largestLanes;
        for (std::size_t lane = 0; c + lane < count; ++lane) values[lane] = logDensities[c + lane];
        Lanes shares;
        sharesOfFour(values - largestLanes, headroomLanes, scaleLanes, shares);
        for (std::size_t lane = 0; c + lane < count; ++lane) out[c + lane] = shares[lane];
    }
}

[[gnu::always_inline]] inline void sharesOfPair(const PairScale& scale, const double* humanLogDensities,
                                                std::size_t rowCount, const double* mouseLogDensities,
                                                std::size_t columnCount, PairLogScratch& scratch) {
    double* humanShares = scratch.humanShares.data();
    double* mouseShares = scratch.mouseShares.data();
    if (scale.anyCell) {
        exponentiateShares(humanLogDensities, rowCount, scale.humanLargest, scale.humanHeadroom, humanShares);
        exponentiateShares(mouseLogDensities, columnCount, scale.mouseLargest, kHeadroom, mouseShares);
    } else {
        for (std::size_t i = 0; i < rowCount; ++i) humanShares[i] = 0.0;
        for (std::size_t j = 0; j < columnCount; ++j) mouseShares[j] = 0.0;
    }
}

// The scatter term on the cells' scale; scaling the term itself where that
// cannot overflow keeps a tie between a cell and scatter a tie.
[[gnu::always_inline]] inline double scatterOnCellScale(const ScatterTerm& scatter, const PairScale& scale) {
    constexpr double kSafeShift = 700.0;
    if (!scale.anyCell) return scatter.sign == 0 ? 0.0 : scatter.sign * std::numeric_limits<double>::infinity();
    return std::fabs(scale.shift) < kSafeShift ? scatter.value * std::exp(-scale.shift)
                                               : scatter.sign * std::exp(scatter.logMagnitude - scale.shift);
}

// The largest cell of row i; leaves the row's cells without the human share in scratch.cells.
[[gnu::always_inline]] inline double rowPeak(const PairTable& table, std::size_t i, std::size_t columnCount,
                                             PairLogScratch& scratch) {
    const double* tableRow = table.cells.data() + i * columnCount;
    const double* mouseShares = scratch.mouseShares.data();
    double* cells = scratch.cells.data();
    for (std::size_t j = 0; j < columnCount; ++j) cells[j] = mouseShares[j] * tableRow[j];
    return scratch.humanShares[i] * largestOf(cells, columnCount, 0.0);
}

// Fills scratch.rowLargest with the largest cell of every row that may hold
// the pair's largest cell, 0 for every other row, and returns the largest of
// all. The row of the largest human share gives a first peak; a row whose
// bound (its share times the largest mouse share times its largest table
// cell, multiplied in the order a cell is) falls below that peak cannot hold
// a cell as large, so with peaked shares most rows of a large table cost one
// product each.
[[gnu::always_inline]] inline double peakOfRows(const PairTable& table, const double* humanLogDensities,
                                                const PairScale& scale, PairLogScratch& scratch) {
    const auto rowCount = static_cast<std::size_t>(table.rows);
    const auto columnCount = static_cast<std::size_t>(table.cols);
    const double* humanShares = scratch.humanShares.data();
    double* rowLargest = scratch.rowLargest.data();
    if (rowCount == 0 || !scale.anyCell) {
        for (std::size_t i = 0; i < rowCount; ++i) rowLargest[i] = 0.0;
        return 0.0;
    }
    const double largestMouseShare = largestOf(scratch.mouseShares.data(), columnCount, 0.0);
    std::size_t firstRow = 0;
    while (firstRow + 1 < rowCount && !(humanLogDensities[firstRow] == scale.humanLargest)) ++firstRow;
    const double firstPeak = rowPeak(table, firstRow, columnCount, scratch);
    for (std::size_t i = 0; i < rowCount; ++i) {
        // Rounded products are monotone, so no cell of the row exceeds its bound.
        const double bound = humanShares[i] * (largestMouseShare * scratch.tableRowLargest[i]);
        rowLargest[i] = bound < firstPeak || humanShares[i] == 0.0 ? 0.0 : rowPeak(table, i, columnCount, scratch);
    }
    return largestOf(rowLargest, rowCount, 0.0);
}

// The dot product of two rows, element i in partial sum i % 4; fixed order.
[[gnu::always_inline]] inline double dotOf(const double* a, const double* b, std::size_t count) {
    Lanes partial = {0.0, 0.0, 0.0, 0.0};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        ORTHOMIX_LOAD_LANES(x, a + i);
        ORTHOMIX_LOAD_LANES(y, b + i);
        partial += x * y;
    }
    for (; i < count; ++i) partial[i % 4] += a[i] * b[i];
    return (partial[0] + partial[1]) + (partial[2] + partial[3]);
}

// A block of groups of four columns of the row and column sums below, over
// the listed rows, whose human shares are not 0.
struct BlockOfColumns {
    const double* cells;  // the block's first column of the padded table's first row
    std::size_t width;    // of the padded rows
    const std::uint32_t* rows;
    std::size_t rowCount;
    const double* humanShares;
    const double* mouseShares;  // the block's
    bool firstBlock;
    bool lastBlock;
    double* rowPartials;     // per listed row
    double* rowSums;
    double* columnProducts;  // the block's, padding included
};

// The column sums of the block stay in registers while the rows go by.
// Each row's sum of mouse share times cell keeps element j in partial sum
// j % 4, carried over from the block before, as dotOf does; each column sum
// adds the human share times the cell row after row. The padding adds 0 to
// partial sums that are never -0.0 (they start at +0.0) and to column sums
// that are never read, so every sum has the bits of adding only the
// table's own cells.
template <std::size_t Vectors>
[[gnu::always_inline]] inline void sumBlockOfColumns(const BlockOfColumns& block) {
    Lanes shares[Vectors];
    Lanes columns[Vectors];
#pragma GCC unroll 8
    for (std::size_t v = 0; v < Vectors; ++v) {
        std::memcpy(&shares[v], block.mouseShares + v * 4, sizeof shares[v]);
        columns[v] = Lanes{0.0, 0.0, 0.0, 0.0};
    }
    for (std::size_t r = 0; r < block.rowCount; ++r) {
        const std::uint32_t i = block.rows[r];
        const double* row = block.cells + i * block.width;
        Lanes partial = {0.0, 0.0, 0.0, 0.0};
        if (!block.firstBlock) std::memcpy(&partial, block.rowPartials + r * 4, sizeof partial);
        const double humanShare = block.humanShares[i];
        const Lanes scale = {humanShare, humanShare, humanShare, humanShare};
#pragma GCC unroll 8
        for (std::size_t v = 0; v < Vectors; ++v) {
            ORTHOMIX_LOAD_LANES(value, row + v * 4);
            partial += shares[v] * value;
            columns[v] += scale * value;
        }
        if (block.lastBlock) {
            block.rowSums[i] = humanShare * ((partial[0] + partial[1]) + (partial[2] + partial[3]));
        } else {
            std::memcpy(block.rowPartials + r * 4, &partial, sizeof partial);
        }
    }
#pragma GCC unroll 8
    for (std::size_t v = 0; v < Vectors; ++v) {
        std::memcpy(block.columnProducts + v * 4, &columns[v], sizeof columns[v]);
    }
}

// Groups of four columns whose column sums stay in registers as one block:
// with the mouse shares of the block, a row's partial sums and the loaded
// group, as many as the sixteen registers of four doubles hold.
constexpr std::size_t kSumBlockVectors = 6;

// Whether every value is finite, `count` a multiple of four: a value times 0
// is 0 when it is finite and NaN when it is not.
[[gnu::always_inline]] inline bool allFinite(const double* values, std::size_t count) {
    Lanes zeros = {0.0, 0.0, 0.0, 0.0};
    for (std::size_t j = 0; j < count; j += 4) {
        ORTHOMIX_LOAD_LANES(value, values + j);
        zeros += value * 0.0;
    }
    return zeros[0] == 0.0 && zeros[1] == 0.0 && zeros[2] == 0.0 && zeros[3] == 0.0;
}

// The row and column sums of the pair's cells on the cells' scale, through
// the factorisation of a cell as humanShare[i] * mouseShare[j] * P[i][j]: a
// row sum is the human share times the table row's product with the mouse
// shares, a column sum the mouse share times the table column's product
// with the human shares. Returns the total of the row sums.
// Only rows whose human share is not 0 are walked, once per block of
// columns, both products from each loaded group: a row of share 0 adds
// nothing to a finite column sum, and its row sum is 0 times its product,
// which is 0 wherever the shares and cells are finite (the shares are at
// most exp(2 kHeadroom), the cells probabilities) and is computed as
// before elsewhere.
[[gnu::always_inline]] inline double sumCells(const PairTable& table, PairLogScratch& scratch, double* rowSums,
                                              double* columnSums) {
    const auto rowCount = static_cast<std::size_t>(table.rows);
    const auto columnCount = static_cast<std::size_t>(table.cols);
    const double* humanShares = scratch.humanShares.data();
    const double* mouseShares = scratch.mouseShares.data();
    std::uint32_t* sharedRows = scratch.sharedRows.data();
    std::size_t sharedCount = 0;
    for (std::size_t i = 0; i < rowCount; ++i) {
        sharedRows[sharedCount] = static_cast<std::uint32_t>(i);
        sharedCount += humanShares[i] != 0.0 ? 1 : 0;
        rowSums[i] = humanShares[i] * 0.0;
    }
    if (!(scratch.cellsFinite && allFinite(mouseShares, scratch.paddedWidth))) {
        for (std::size_t i = 0; i < rowCount; ++i) {
            if (humanShares[i] != 0.0) continue;
            rowSums[i] = humanShares[i] * dotOf(mouseShares, table.cells.data() + i * columnCount, columnCount);
        }
    }
    const std::size_t width = scratch.paddedWidth;
    const std::size_t groups = width / 4;
    for (std::size_t first = 0; first < groups; first += kSumBlockVectors) {
        const std::size_t vectors = std::min(kSumBlockVectors, groups - first);
        // The block's column sums, padding included, go to a place of their
        // own: the last block's padding would run past the column sums.
        double blockSums[kSumBlockVectors * 4];
        const BlockOfColumns block{scratch.paddedCells.data() + first * 4,
                                   width,
                                   sharedRows,
                                   sharedCount,
                                   humanShares,
                                   mouseShares + first * 4,
                                   first == 0,
                                   first + vectors == groups,
                                   scratch.rowPartials.data(),
                                   rowSums,
                                   blockSums};
        switch (vectors) {
            case 1: sumBlockOfColumns<1>(block); break;
            case 2: sumBlockOfColumns<2>(block); break;
            case 3: sumBlockOfColumns<3>(block); break;
            case 4: sumBlockOfColumns<4>(block); break;
            case 5: sumBlockOfColumns<5>(block); break;
            default: sumBlockOfColumns<6>(block); break;
        }
        const std::size_t firstColumn = first * 4;
        const std::size_t blockColumns = std::min(vectors * 4, columnCount - firstColumn);
        for (std::size_t j = 0; j < blockColumns; ++j) {
            columnSums[firstColumn + j] = mouseShares[firstColumn + j] * blockSums[j];
        }
    }
    return sumOf(rowSums, rowCount);
}

// The pair's total density and what a cell on the cells' scale is
// multiplied by to become its posterior.
struct PairNormalisation {
    double logTotal = 0.0;
    double factor = 0.0;
    double scatterPosterior = 0.0;
};

// As in the exact step, a total that is not positive counts as 1, so that
// posteriors are the joint densities themselves.
[[gnu::always_inline]] inline PairNormalisation normalisationOf(double cellTotal, double scatterShifted,
                                                                const ScatterTerm& scatter, double shift) {
    PairNormalisation out;
    const double shiftedTotal = cellTotal + scatterShifted;
    if (std::isnan(cellTotal) || std::isnan(scatter.value)) {
        out.logTotal = out.factor = out.scatterPosterior = std::numeric_limits<double>::quiet_NaN();
    } else if (shiftedTotal > 0.0 && shiftedTotal < std::numeric_limits<double>::infinity()) {
        out.logTotal = shift + std::log(shiftedTotal);
        out.factor = 1.0 / shiftedTotal;
        out.scatterPosterior = scatterShifted * out.factor;
    } else if (scatter.sign > 0) {
        // The scatter term outweighs every cell beyond the range of numbers.
        const double logCells = cellTotal > 0.0 ? shift + std::log(cellTotal) : kMinusInfinity;
        out.logTotal = scatter.logMagnitude + std::log1p(std::exp(logCells - scatter.logMagnitude));
        out.scatterPosterior = std::exp(scatter.logMagnitude - out.logTotal);
        if (cellTotal > 0.0) out.factor = std::exp(shift - out.logTotal);
    } else {
        if (cellTotal > 0.0) out.factor = std::exp(shift);
        out.scatterPosterior = scatter.value;
    }
    return out;
}

struct CellPosition {
    int row = -1;
    int column = -1;
};

// The first cell, in row-major order, of the value `best`; none when no cell
// is above the cut.
[[gnu::always_inline]] inline CellPosition firstCellOf(double best, double cut, const PairTable& table,
                                                       const PairLogScratch& scratch) {
    CellPosition position;
    if (!(best > 0.0 && best >= cut)) return position;
    const auto columnCount = static_cast<std::size_t>(table.cols);
    std::size_t i = 0;
    while (scratch.rowLargest[i] != best) ++i;
    const double* tableRow = table.cells.data() + i * columnCount;
    std::size_t j = 0;
    while (scratch.humanShares[i] * (scratch.mouseShares[j] * tableRow[j]) != best) ++j;
    position.row = static_cast<int>(i);
    position.column = static_cast<int>(j);
    return position;
}

[[gnu::always_inline]] inline void writePosterior(const PairTable& table, double factor,
                                                  const PairLogScratch& scratch, double* posterior) {
    const auto rowCount = static_cast<std::size_t>(table.rows);
    const auto columnCount = static_cast<std::size_t>(table.cols);
    for (std::size_t i = 0; i < rowCount; ++i) {
        const double* tableRow = table.cells.data() + i * columnCount;
        for (std::size_t j = 0; j < columnCount; ++j) {
            posterior[i * columnCount + j] = (scratch.humanShares[i] * (scratch.mouseShares[j] * tableRow[j])) * factor;
        }
    }
}

}  // namespace

__attribute__((target_clones("avx2", "default"))) double pairLogEStep(
    const PairTable& table, const double* humanLogDensities, const double* mouseLogDensities,
    const ScatterTerm& scatter, double* rowSums, double* columnSums, PairLogScratch& scratch, PairLabels& labels,
    double* posterior) {
    const auto rowCount = static_cast<std::size_t>(table.rows);
    const auto columnCount = static_cast<std::size_t>(table.cols);
    const PairScale scale = scaleOfPair(humanLogDensities, rowCount, mouseLogDensities, columnCount, scatter);
    sharesOfPair(scale, humanLogDensities, rowCount, mouseLogDensities, columnCount, scratch);
    const double scatterShifted = scatterOnCellScale(scatter, scale);
    const double positiveScatter = scatterShifted > 0.0 ? scatterShifted : 0.0;
    const double best = peakOfRows(table, humanLogDensities, scale, scratch);
    const double cut = (best > positiveScatter ? best : positiveScatter) * kNegligible;
    const double cellTotal = sumCells(table, scratch, rowSums, columnSums);
    const PairNormalisation total = normalisationOf(cellTotal, scatterShifted, scatter, scale.shift);
    for (std::size_t i = 0; i < rowCount; ++i) rowSums[i] *= total.factor;
    for (std::size_t j = 0; j < columnCount; ++j) columnSums[j] *= total.factor;
    const CellPosition bestCell = firstCellOf(best, cut, table, scratch);
    if (posterior) writePosterior(table, total.factor, scratch, posterior);
    // Only a cell whose posterior is above 0 can be chosen, as in the exact step.
    const double bestPosterior = bestCell.row < 0 ? 0.0 : best * total.factor;
    labels = bestPosterior > 0.0
                 ? choosePairLabels(bestPosterior, bestCell.row, bestCell.column, total.scatterPosterior)
                 : choosePairLabels(0.0, -1, -1, total.scatterPosterior);
    return total.logTotal;
}

}  // namespace orthomix
