#include "sigproc/vector/interleave.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/interleave_lanes.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

inline bool isAligned16(const void* p) { return (reinterpret_cast<std::uintptr_t>(p) & 15) == 0; }

inline void moveWord(const float* from, float* to) { std::memcpy(to, from, sizeof(float)); }

// The checks both directions share, pointers first (the plane array, then
// each plane once the channel count says how many there are). On success
// returns the provisional status: ok, or the misalignment warning.
int checkPlanes(const float* const* planes, const float* frames, int nChannels, int len) {
    if (planes == nullptr || frames == nullptr) return sigErrNullPtr;
    if (nChannels < 1) return sigErrChannelCount;
    if (len < 1) return sigErrLength;
    int status = isAligned16(frames) ? sigOk : sigWarnMisaligned;
    for (int c = 0; c < nChannels; ++c) {
        if (planes[c] == nullptr) return sigErrNullPtr;
        if (!isAligned16(planes[c])) status = sigWarnMisaligned;
    }
    return status;
}

} // namespace

// Channel after channel, each a strided copy (2, 4 or 8 channels in vector
// lanes, sigproc/vector/interleave_lanes.h), otherwise two frames per step. The frame
// pointer steps only onto frames that exist, never past the end of the
// array: the pairs stop while one or two frames remain.
int sigInterleave_32f_generic(const float* const* srcPlanes, int nChannels, int len, float* dst) {
    const int status = checkPlanes(srcPlanes, dst, nChannels, len);
    if (status < 0) return status;
    if (sigFrameMovesTake(nChannels)) {
        sigInterleaveRuns.select()(srcPlanes, nChannels, len, dst);
        return status;
    }
    const std::size_t stride = static_cast<std::size_t>(nChannels);
    for (int c = 0; c < nChannels; ++c) {
        const float* plane = srcPlanes[c];
        float* out = dst + c;
        int k = 0;
        for (; k + 2 < len; k += 2, out += 2 * stride) {
            moveWord(plane + k, out);
            moveWord(plane + k + 1, out + stride);
        }
        moveWord(plane + k, out);
        if (k + 1 < len) moveWord(plane + k + 1, out + stride);
    }
    return status;
}

int sigDeinterleave_32f_generic(const float* src, int nChannels, int len, float* const* dstPlanes) {
    const int status = checkPlanes(dstPlanes, src, nChannels, len);
    if (status < 0) return status;
    if (sigFrameMovesTake(nChannels)) {
        sigDeinterleaveRuns.select()(src, nChannels, len, dstPlanes);
        return status;
    }
    const std::size_t stride = static_cast<std::size_t>(nChannels);
    for (int c = 0; c < nChannels; ++c) {
        const float* in = src + c;
        float* plane = dstPlanes[c];
        moveWord(in, plane);
        for (int k = 1; k < len; ++k) {
            in += stride;
            moveWord(in, plane + k);
        }
    }
    return status;
}

int sigInterleave_32f(const float* const* srcPlanes, int nChannels, int len, float* dst) {
    return sigDispatch(sigDispatchTable.interleave_32f, srcPlanes, nChannels, len, dst);
}

int sigDeinterleave_32f(const float* src, int nChannels, int len, float* const* dstPlanes) {
    return sigDispatch(sigDispatchTable.deinterleave_32f, src, nChannels, len, dstPlanes);
}
