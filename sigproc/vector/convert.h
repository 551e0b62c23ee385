// Sample conversions between integer PCM (16-bit, packed 24-bit, 32-bit) and floats.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>

// Generic members, float to integer.
int sigConvertScaled_32f16s_generic(const float* src, std::int16_t* dst, int len, int roundMode,
                                    int scaleFactor);
int sigConvertScaled_32f32s_generic(const float* src, std::int32_t* dst, int len, int roundMode,
                                    int scaleFactor);
int sigConvertScaled_32f24s_generic(const float* src, unsigned char* dst, int len, int scaleFactor);

// Generic members, integer to float.
int sigConvertScaled_16s32f_generic(const std::int16_t* src, float* dst, int len, int scaleFactor);
int sigConvertScaled_32s32f_generic(const std::int32_t* src, float* dst, int len, int scaleFactor);
int sigConvert_24s32f_generic(const unsigned char* src, float* dst, int len);
int sigConvert_32s32f_generic(const std::int32_t* src, float* dst, int len);

// The float 2^-n for the scale factor n clamped to [minFactor, maxFactor],
// built on its bit pattern: 127 - n in the exponent field. Exact from n = -127
// to 126; n = 127 gives +0.0.
inline float sigScaleMultiplier(int scaleFactor, int minFactor, int maxFactor) {
    const int n = std::clamp(scaleFactor, minFactor, maxFactor);
    return std::bit_cast<float>(static_cast<std::uint32_t>(127 - n) << 23);
}

// Truncates toward zero whatever the caller's rounding mode; a value outside
// the 32-bit range, or a NaN, gives INT32_MIN (the processor's "integer
// indefinite" under a masked invalid-operation exception).
std::int32_t sigTruncToInt32(long double value);
