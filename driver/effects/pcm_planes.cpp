#include "driver/effects/pcm_planes.h"

#include "sigproc/sigproc.h"

namespace {

constexpr int RoundTowardZero = 0;

} // namespace

bool IsPlaneConvertibleWidth(std::uint16_t bitsPerSample) {
    return bitsPerSample == 16 || bitsPerSample == 24 || bitsPerSample == 32;
}

void PcmToFloatPlanes(const void* source, float* const* planes, float* floatBuffer,
                      std::uint32_t frames, ks::WaveFormatExtensible format) {
    const int channels = format.Format.nChannels;
    const int samples = channels * static_cast<int>(frames);
    switch (format.Format.wBitsPerSample) {
    case 16:
        sigConvertScaled_16s32f(static_cast<const std::int16_t*>(source), floatBuffer, samples, 15);
        break;
    case 24:
        sigConvert_24s32f(static_cast<const unsigned char*>(source), floatBuffer, samples);
        sigDivConstInPlace_32f(8388608.0f, floatBuffer, samples);
        break;
    case 32:
        sigConvertScaled_32s32f(static_cast<const std::int32_t*>(source), floatBuffer, samples, 31);
        break;
    default:
        return;
    }
    sigDeinterleave_32f(floatBuffer, channels, static_cast<int>(frames), planes);
}

kernel::NTSTATUS FloatPlanesToPcm(void* destination, float* const* planes, float* floatBuffer,
                                  std::uint32_t frames, ks::WaveFormatExtensible format) {
    if (!IsPlaneConvertibleWidth(format.Format.wBitsPerSample)) return kernel::STATUS_NOT_SUPPORTED;
    const int channels = format.Format.nChannels;
    const int samples = channels * static_cast<int>(frames);
    sigInterleave_32f(planes, channels, static_cast<int>(frames), floatBuffer);
    int status = sigOk;
    switch (format.Format.wBitsPerSample) {
    case 16:
        status = sigConvertScaled_32f16s(floatBuffer, static_cast<std::int16_t*>(destination),
                                         samples, RoundTowardZero, -15);
        break;
    case 24:
        status = sigConvertScaled_32f24s(floatBuffer, static_cast<unsigned char*>(destination),
                                         samples, -23);
        break;
    default:
        status = sigConvertScaled_32f32s(floatBuffer, static_cast<std::int32_t*>(destination),
                                         samples, RoundTowardZero, -31);
        break;
    }
    return status < 0 ? kernel::STATUS_UNSUCCESSFUL : kernel::STATUS_SUCCESS;
}
