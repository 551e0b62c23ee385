// How the maker's K7D2 and P9F4 chips carry volume: their 16-bit level
// words are not 1/256 dB, each of their feature-unit variants has its own
// mapping between the word and a level in 1/65536 dB, and its own fixed
// range. Silence (MinusInfinity) is the word 0x8000 both ways.
#pragma once

#include <cstdint>

struct ChipLevelMap {
    // The level a device word stands for.
    std::int32_t (*read)(std::int16_t word);
    // The word that stands for the level; never the silence word for a
    // level that is not silence.
    std::int16_t (*write)(std::int32_t level);
    std::int32_t maximum;
    std::int32_t minimum;
    std::int32_t resolution;
};

namespace chip_level {
extern const ChipLevelMap k7d2Table;      // 0 to -33 dB by the chip's table
extern const ChipLevelMap k7d2Boost;      // 1.5 dB steps around +6 dB
extern const ChipLevelMap k7d2Gain;       // 1.5 dB steps around +6.5 dB
extern const ChipLevelMap p9f4Attenuator; // whole dB, 192 per dB
extern const ChipLevelMap p9f4Trim;       // 1.5 dB steps of 384
extern const ChipLevelMap p9f4Gain;       // 1/256 dB
} // namespace chip_level

// A chip level as the feature unit passes it: silence maps to 0x8000 and
// back before the variant's own mapping is asked.
std::int32_t ReadChipLevel(const ChipLevelMap& map, std::int16_t word);
std::int16_t WriteChipLevel(const ChipLevelMap& map, std::int32_t level);
