// The baseline build of the plane transforms, and the choice among the builds.
#include "sigproc/fft/plane_fft.h"

#define SIG_PLANE_BUILD sig_plane_baseline
#include "sigproc/fft/plane_fft_body.h"
#undef SIG_PLANE_BUILD

namespace sig_plane_avx2 {
extern const sigFftPlaneBuild build;
}
namespace sig_plane_avx512 {
extern const sigFftPlaneBuild build;
}

namespace {

constexpr sigFftPlaneBuild kBaseline{
    sig_plane_baseline::realForward, sig_plane_baseline::realInverse,
    sig_plane_baseline::complexForward, sig_plane_baseline::complexInverse};

} // namespace

const sigWideVariants<const sigFftPlaneBuild> sigFftPlaneBuilds{&kBaseline, &sig_plane_avx2::build,
                                                                &sig_plane_avx512::build};

void sigFftPlaneFwd_R_32f(const float* src, float* dst, const sigFftSpec_R_32f& spec) {
    sigFftPlaneBuilds.select()->realForward(src, dst, spec);
}

void sigFftPlaneInv_R_32f(const float* src, float* dst, const sigFftSpec_R_32f& spec) {
    sigFftPlaneBuilds.select()->realInverse(src, dst, spec);
}

void sigFftPlaneFwd_32fc(const float* src, float* dst, int q, const std::int32_t* pairs,
                         const float* twiddles) {
    sigFftPlaneBuilds.select()->complexForward(src, dst, q, pairs, twiddles);
}

void sigFftPlanePassesFwd_32fc(float* data, int q, const float* twiddles) {
    sigFftPlaneBuilds.select()->complexForward(data, data, q, nullptr, twiddles);
}

void sigFftPlanePassesInv_32fc(float* data, int q, const float* twiddles) {
    sigFftPlaneBuilds.select()->complexInverse(data, data, q, nullptr, twiddles);
}
