// The baseline build of the plane transforms, and the choice among the builds.
#include "sigproc/fft/plane_fft.h"

#define SIG_PLANE_WIDE 0
#define SIG_PLANE_BUILD sig_plane_baseline
#include "sigproc/fft/column_passes_body.h"
#include "sigproc/fft/plane_fft_body.h"
// After the body: the chunks run its stages.
#include "sigproc/fft/merge_pass_body.h"
#undef SIG_PLANE_BUILD
#undef SIG_PLANE_WIDE

namespace sig_plane_avx2 {
extern const sigFftPlaneBuild build;
}
namespace sig_plane_avx512 {
extern const sigFftPlaneBuild build;
}

namespace {

constexpr sigFftPlaneBuild kBaseline{
    sig_plane_baseline::realForward,     sig_plane_baseline::realInverse,
    sig_plane_baseline::complexForward,  sig_plane_baseline::complexInverse,
    sig_plane_baseline::chunkForward<4>, sig_plane_baseline::chunkInverse<4>,
    sig_plane_baseline::columnsForward,  sig_plane_baseline::columnsInverse};

} // namespace

const sigWideVariants<const sigFftPlaneBuild> sigFftPlaneBuilds{&kBaseline, &sig_plane_avx2::build,
                                                                &sig_plane_avx512::build};

// Real transforms up to 64 points keep the baseline build: their loops are
// too short for wider vectors to pay (measured 5 to 15 % slower with AVX-512
// on a processor that has it); from 128 points the wide builds gain 10 to
// 30 %. The builds give the same bits.
constexpr int kWideRealMinOrder = 7;

namespace {

const sigFftPlaneBuild& realBuild(const sigFftSpec_R_32f& spec) {
    return spec.order >= kWideRealMinOrder ? *sigFftPlaneBuilds.select() : kBaseline;
}

} // namespace

void sigFftPlaneFwd_R_32f(const float* src, float* dst, const sigFftSpec_R_32f& spec) {
    realBuild(spec).realForward(src, dst, spec);
}

void sigFftPlaneInv_R_32f(const float* src, float* dst, const sigFftSpec_R_32f& spec) {
    realBuild(spec).realInverse(src, dst, spec);
}

void sigFftPlaneFwd_32fc(const float* src, float* dst, int q, const float* twiddles) {
    sigFftPlaneBuilds.select()->complexForward(src, dst, q, false, twiddles);
}

// The pieces of the blocked transform below this order (its short columns)
// keep the baseline build, as the short real transforms do.
constexpr int kWidePiecesMinOrder = 8;

namespace {

const sigFftPlaneBuild& pieceBuild(int q) {
    return q >= kWidePiecesMinOrder ? *sigFftPlaneBuilds.select() : kBaseline;
}

} // namespace

void sigFftPlanePassesFwd_32fc(float* data, int q, const float* twiddles) {
    pieceBuild(q).complexForward(data, data, q, true, twiddles);
}

void sigFftPlanePassesInv_32fc(float* data, int q, const float* twiddles) {
    pieceBuild(q).complexInverse(data, data, q, true, twiddles);
}

void sigFftPlaneChunkFwd_32fc(const float* src, float* dst, int c, const float* twiddles,
                              const float* rot, const float* scale) {
    sigFftPlaneBuilds.select()->chunkForward(src, dst, c, twiddles, rot, scale);
}

void sigFftPlaneChunkInv_32fc(const float* src, float* dst, int c, const float* twiddles,
                              const float* rot, const float* scale) {
    sigFftPlaneBuilds.select()->chunkInverse(src, dst, c, twiddles, rot, scale);
}
