// Folds a block of 4, 6 or 8 float planes down to stereo in planes 0 and 1,
// in place, so that a multichannel stream is heard on a stereo headset. The
// planes are in the stream's channel order (front left, front right, front
// centre, low frequency, back left, back right, side left, side right; four
// channels are front and back pairs). The centre joins both sides at 0.707,
// the low-frequency channel both sides at 1.0 and every surround channel its
// own side at 1.0; nothing is normalised, the limiters that follow keep the
// sum in range. Planes other than 0 and 1 keep their samples.
//
// Nothing happens for other channel counts, for 0 frames, or unless the
// output is two channels with the plain matrix (the one fold the system
// uses). No state, no allocation: safe at dispatch level.
#pragma once

#include <cstdint>

inline constexpr float MixCentreGain = 0.707f;

void MixChannels(float* const* planes, std::uint32_t inputChannels, std::uint32_t outputChannels,
                 std::uint32_t frames, std::uint8_t plain);
