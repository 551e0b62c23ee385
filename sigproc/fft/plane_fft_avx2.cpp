// The plane transforms built for AVX2: the body of plane_fft_body.h under the
// set's target; every function it defines carries the target.
#include "sigproc/fft/bit_reverse.h"
#include "sigproc/fft/complex_math.h"
#include "sigproc/fft/plane_fft.h"
#include "sigproc/fft/real_split.h"
#include "sigproc/vector/arith_const.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#define SIG_PLANE_WIDE 1
#define SIG_PLANE_BUILD sig_plane_avx2
#include "sigproc/fft/column_passes_body.h"
#include "sigproc/fft/plane_fft_body.h"
// After the body: the chunks run its stages.
#include "sigproc/fft/merge_pass_body.h"
#undef SIG_PLANE_BUILD
#undef SIG_PLANE_WIDE

namespace sig_plane_avx2 {
extern const sigFftPlaneBuild build;
const sigFftPlaneBuild build{realForward,     realInverse,     complexForward, complexInverse,
                             chunkForward<8>, chunkInverse<8>, columnsForward, columnsInverse};
} // namespace sig_plane_avx2

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
