// The column stage of one split level of the blocked transform, one build per
// vector instruction set (column_passes_body.h), for up to
// sigFftColumnSweepMaxRows rows.
//
// After the row transforms, each of the rowLength columns (value k of every
// row, rows 2 * rowLength floats apart) is multiplied by its entries of the
// level's matrix and transformed by the passes of 2^a values with the level's
// twiddles, in place. Eight columns at a time go through planes on the stack
// (16 KB), so each walk down the rows uses whole 64-byte lines; the walk that
// stores a group's results gathers the next group's columns and fetches the
// rows ahead. Every build gives the scalar passes' bits.
//
// Declarations only: the builds include this under their target.
#pragma once

#include "sigproc/core/wide_isa.h"

#include <cstddef>

inline constexpr std::ptrdiff_t sigFftColumnSweepMaxRows = 256;

// Consecutive rows each step of the column stages takes: two (one 16-lane
// register) in the AVX-512 build, whose namespace's constant hides this one
// there, one elsewhere. The bits are the same either way.
inline constexpr int sigFftColumnRowsPerStep = 1;
namespace sig_plane_avx512 {
inline constexpr int sigFftColumnRowsPerStep = 2;
}
// Whether the sweep shuffles whole rows (the wide builds) or halves of rows
// in SSE registers (the baseline), the same way.
inline constexpr bool sigFftColumnWideRows = false;
namespace sig_plane_avx2 {
inline constexpr bool sigFftColumnWideRows = true;
}
namespace sig_plane_avx512 {
inline constexpr bool sigFftColumnWideRows = true;
}

// matrix: four entries (re, im) per row for each group of four columns, rows
// inner; twiddles: the level's radix-4 twiddle groups of 2^a values.
using sigFftColumnSweepFn = void(float* data, std::ptrdiff_t rows, std::ptrdiff_t rowLength, int a,
                                 const float* matrix, const float* twiddles);
struct sigFftColumnSweepBuild {
    sigFftColumnSweepFn* forward;
    sigFftColumnSweepFn* inverse;
};
extern const sigWideVariants<const sigFftColumnSweepBuild> sigFftColumnSweepBuilds;
