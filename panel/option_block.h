#pragma once

// Byte offsets of an option block: the page's settings of one profile.

#include <cstddef>

namespace panel::option {

constexpr std::size_t kClarity = 0, kClarityLevel = 1, kNoiseLevel = 2, kSurround = 3;
constexpr std::size_t kEnc = 4, kMagicVoice = 5, kMagicMode = 6, kEqEnable = 7, kEqPreset = 8;
constexpr std::size_t kLedEnable = 13, kLedMode = 14, kLedBrightness = 15, kLedSpeed = 16;
constexpr std::size_t kLedColourIndex = 17, kLedColours = 18;
constexpr std::size_t kEqBands = 40, kEqSavedPreset = 50, kEqSavedPositions = 51;
constexpr std::size_t kSpeakerMute = 171, kSpeakerLock = 172, kSpeakerLeft = 174;
constexpr std::size_t kSpeakerRight = 175, kMicMute = 176, kMicLock = 177, kMicLeft = 179;
constexpr std::size_t kMicRight = 180;

constexpr unsigned kEqBandCount = 10;
constexpr unsigned kEqPresets = 12;
// A band code of 20 is a flat band.
constexpr int kEqOffset = 20;

} // namespace panel::option
