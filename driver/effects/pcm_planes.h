// Integer PCM blocks to float planes and back. A block holds at most
// MaxDspBlockFrames frames of at most MaxDspChannels channels; the float
// buffer is scratch for one interleaved block. The sample width is the
// container width (wBitsPerSample): 16, 24 (packed) or 32 bits, full scale
// +-1.0 in the planes. Other widths are not converted.
#pragma once

#include "platform/kernel/status.h"
#include "platform/ks/wave_format.h"

#include <cstdint>

bool IsPlaneConvertibleWidth(std::uint16_t bitsPerSample);

// The planes of a block from interleaved samples; a width that is not
// convertible leaves the planes as they were.
void PcmToFloatPlanes(const void* source, float* const* planes, float* floatBuffer,
                      std::uint32_t frames, ks::WaveFormatExtensible format);

// The planes written back as interleaved samples: 16 and 32 bits truncate
// toward zero, 24 bits rounds to nearest even, all saturate. STATUS_NOT_SUPPORTED
// (destination untouched) for a width that is not convertible.
kernel::NTSTATUS FloatPlanesToPcm(void* destination, float* const* planes, float* floatBuffer,
                                  std::uint32_t frames, ks::WaveFormatExtensible format);
