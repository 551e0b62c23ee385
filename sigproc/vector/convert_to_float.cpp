// Integer PCM to float, optionally times a power of two.
//
// Every sample is read before its result is written, so the 32-bit forms also
// work in place. A scaled product is exact in double; it is rounded once, when
// stored as single precision, by the caller's rounding mode.
#include "sigproc/vector/convert.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/pcm16_lanes.h"

namespace {

// `Product` is a type in which every sample times the multiplier is exact:
// float for 16-bit samples, double for 32-bit ones. The clamp of the factor
// keeps every scaled result a normal float.
template <typename Product, typename In>
int convertScaled(const In* src, float* dst, int len, int scaleFactor, int minFactor,
                  int maxFactor) {
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len < 1) return sigErrLength;
    if (scaleFactor == 0) {
        for (int i = 0; i < len; ++i) dst[i] = static_cast<float>(src[i]);
        return sigOk;
    }
    const Product multiplier = sigScaleMultiplier(scaleFactor, minFactor, maxFactor);
    for (int i = 0; i < len; ++i)
        dst[i] = static_cast<float>(static_cast<Product>(src[i]) * multiplier);
    return sigOk;
}

} // namespace

// The unscaled form multiplies by 1, which changes no sample.
int sigConvertScaled_16s32f_generic(const std::int16_t* src, float* dst, int len, int scaleFactor) {
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len < 1) return sigErrLength;
    return sigFrom16sScaled.select()(src, dst, len, sigScaleMultiplier(scaleFactor, -112, 126));
}

int sigConvertScaled_32s32f_generic(const std::int32_t* src, float* dst, int len, int scaleFactor) {
    return convertScaled<double>(src, dst, len, scaleFactor, -96, 126);
}

int sigConvert_32s32f_generic(const std::int32_t* src, float* dst, int len) {
    return convertScaled<double>(src, dst, len, 0, 0, 0);
}

int sigConvert_24s32f_generic(const unsigned char* src, float* dst, int len) {
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len < 1) return sigErrLength;
    for (int i = 0; i < len; ++i, src += 3) {
        const std::uint32_t bits =
            src[0] | (std::uint32_t{src[1]} << 8) | (std::uint32_t{src[2]} << 16);
        const std::int32_t value = static_cast<std::int32_t>(bits << 8) >> 8; // sign-extend bit 23
        dst[i] = static_cast<float>(value);
    }
    return sigOk;
}

int sigConvertScaled_16s32f(const std::int16_t* src, float* dst, int len, int scaleFactor) {
    return sigDispatch(sigDispatchTable.convertScaled_16s32f, src, dst, len, scaleFactor);
}

int sigConvertScaled_32s32f(const std::int32_t* src, float* dst, int len, int scaleFactor) {
    return sigDispatch(sigDispatchTable.convertScaled_32s32f, src, dst, len, scaleFactor);
}

int sigConvert_24s32f(const unsigned char* src, float* dst, int len) {
    return sigDispatch(sigDispatchTable.convert_24s32f, src, dst, len);
}

int sigConvert_32s32f(const std::int32_t* src, float* dst, int len) {
    return sigDispatch(sigDispatchTable.convert_32s32f, src, dst, len);
}
