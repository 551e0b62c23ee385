// Building, allocating and releasing a real-FFT specification.
#include "sigproc/core/dispatch.h"
#include "sigproc/fft/real_fft.h"
#include "sigproc/fft/record_build.h"
#include "sigproc/sigproc.h"

namespace {

// Behind the half-length complex transform's tables: the forward split, then
// the inverse merge rotations.
void realTables(sigFftSpecHeader& spec, std::uint32_t next, const sigFftSine& sine) {
    spec.realSplit = next;
    sigFftBuildRealSplit(spec.table<float>(spec.realSplit), spec.order, sine);
    spec.realRot = static_cast<std::uint32_t>(
        sigAlign32(spec.realSplit + 2 * (std::int64_t{1} << spec.order)));
    sigFftBuildRotation(spec.table<float>(spec.realRot), spec.order, sine);
}

constexpr sigFftRecordKind kReal{sigFftSpecId, sigFftSizesOf, true, realTables, nullptr};

} // namespace

int sigFftInit_R_32f(sigFftSpec_R_32f** pSpec, int order, int flag, int hint,
                     unsigned char* specBuf, unsigned char* initBuf) {
    return sigFftInitRecord(pSpec, kReal, order, flag, hint, specBuf, initBuf);
}

int sigFftInitAlloc_R_32f_generic(sigFftSpec_R_32f** pSpec, int order, int flag, int hint) {
    return sigFftInitAllocRecord(pSpec, kReal, order, flag, hint);
}

int sigFftFree_R_32f_generic(sigFftSpec_R_32f* spec) { return sigFftFreeRecord(spec, kReal); }

int sigFftInitAlloc_R_32f(sigFftSpec_R_32f** pSpec, int order, int flag, int hint) {
    return sigDispatch(sigDispatchTableA.fftInitAlloc_R_32f, pSpec, order, flag, hint);
}

int sigFftFree_R_32f(sigFftSpec_R_32f* spec) {
    return sigDispatch(sigDispatchTableA.fftFree_R_32f, spec);
}
