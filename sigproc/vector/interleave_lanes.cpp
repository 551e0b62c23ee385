// One body per direction and channel count, channel after channel as the
// general loops go. With the stride a constant the compiler moves a group of
// frames with vector loads, shuffles and stores; where a plane and the frames
// might overlap it checks at run time and keeps to single words.
#include "sigproc/vector/interleave_lanes.h"

#include <cstdint>

namespace {

using Word = std::uint32_t;

template <int Channels>
[[gnu::always_inline]] inline void interleave(const float* const* planes, int len, float* frames) {
    Word* out = reinterpret_cast<Word*>(frames);
    for (int c = 0; c < Channels; ++c) {
        const Word* plane = reinterpret_cast<const Word*>(planes[c]);
        for (int k = 0; k < len; ++k) out[k * Channels + c] = plane[k];
    }
}

template <int Channels>
[[gnu::always_inline]] inline void deinterleave(const float* frames, int len,
                                                float* const* planes) {
    const Word* in = reinterpret_cast<const Word*>(frames);
    for (int c = 0; c < Channels; ++c) {
        Word* plane = reinterpret_cast<Word*>(planes[c]);
        for (int k = 0; k < len; ++k) plane[k] = in[k * Channels + c];
    }
}

[[gnu::always_inline]] inline void interleaveAny(const float* const* planes, int n, int len,
                                                 float* frames) {
    if (n == 2) return interleave<2>(planes, len, frames);
    if (n == 4) return interleave<4>(planes, len, frames);
    interleave<8>(planes, len, frames);
}

[[gnu::always_inline]] inline void deinterleaveAny(const float* frames, int n, int len,
                                                   float* const* planes) {
    if (n == 2) return deinterleave<2>(frames, len, planes);
    if (n == 4) return deinterleave<4>(frames, len, planes);
    deinterleave<8>(frames, len, planes);
}

void interleaveSse2(const float* const* p, int n, int len, float* f) {
    interleaveAny(p, n, len, f);
}
[[gnu::flatten]] SIG_TARGET_AVX2 void interleaveAvx2(const float* const* p, int n, int len,
                                                     float* f) {
    interleaveAny(p, n, len, f);
}
[[gnu::flatten]] SIG_TARGET_AVX512 void interleaveAvx512(const float* const* p, int n, int len,
                                                         float* f) {
    interleaveAny(p, n, len, f);
}

void deinterleaveSse2(const float* f, int n, int len, float* const* p) {
    deinterleaveAny(f, n, len, p);
}
[[gnu::flatten]] SIG_TARGET_AVX2 void deinterleaveAvx2(const float* f, int n, int len,
                                                       float* const* p) {
    deinterleaveAny(f, n, len, p);
}
[[gnu::flatten]] SIG_TARGET_AVX512 void deinterleaveAvx512(const float* f, int n, int len,
                                                           float* const* p) {
    deinterleaveAny(f, n, len, p);
}

} // namespace

bool sigFrameMovesTake(int nChannels) { return nChannels == 2 || nChannels == 4 || nChannels == 8; }

const sigWideVariants<sigInterleaveRun> sigInterleaveRuns{interleaveSse2, interleaveAvx2,
                                                          interleaveAvx512};
const sigWideVariants<sigDeinterleaveRun> sigDeinterleaveRuns{deinterleaveSse2, deinterleaveAvx2,
                                                              deinterleaveAvx512};
