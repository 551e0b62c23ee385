#include "driver/devmodel/chips/k7d2_p9f4/chip_level_maps.h"

#include "driver/devmodel/feature_unit_access.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr std::int32_t Db = 65536;
constexpr std::int32_t HalfDb = Db / 2;
constexpr std::int32_t StepOfOneAndAHalfDb = Db + HalfDb;
constexpr std::int16_t SilenceWord = INT16_MIN;

// A word as the device takes it: within 16 bits, and never the silence
// word, so a quiet level cannot turn into silence by wrapping.
std::int16_t Word(std::int64_t value) {
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(value, INT16_MIN + 1, INT16_MAX));
}

// A word whose high byte counts steps and whose low byte is 0.
std::int16_t HighByteWord(std::int32_t steps) {
    return static_cast<std::int16_t>(std::clamp(steps, -127, 127) * 256);
}

std::int32_t HighByte(std::int16_t word) { return word >> 8; }

// {level in 1/256 dB, device word}: the device's 1 dB steps 0 to -37 dB,
// and what each step sounds like.
struct TableRow {
    std::int32_t level;
    std::int32_t word;
};
constexpr std::int32_t TableLevels[] = {
    0,     -192,  -256,  -320,  -386,  -455,  -527,  -599,  -676,  -752,  -835,  -916,  -1006,
    -1096, -1193, -1290, -1395, -1503, -1618, -1736, -1866, -1999, -2145, -2296, -2465, -2637,
    -2816, -3046, -3277, -3533, -3840, -4198, -4582, -5120, -5767, -6707, -8294, -32768};
constexpr std::size_t TableRows = std::size(TableLevels);
constexpr TableRow RowAt(std::size_t index) {
    return {TableLevels[index], -256 * static_cast<std::int32_t>(index)};
}

// The first step below the word: the step before it is what the word
// sounds like; a word below every step stands for itself.
std::int32_t ReadTable(std::int16_t word) {
    for (std::size_t i = 1; i < TableRows; ++i)
        if (RowAt(i).word < word) return RowAt(i - 1).level * 256;
    return word * 256;
}

std::int16_t WriteTable(std::int32_t level) {
    const std::int32_t fine = level >> 8;
    for (std::size_t i = 0; i < TableRows; ++i)
        if (RowAt(i).level <= fine) return Word(RowAt(i).word);
    return Word(fine);
}

std::int32_t ReadBoost(std::int16_t word) { return HighByte(word) * StepOfOneAndAHalfDb + 6 * Db; }
std::int16_t WriteBoost(std::int32_t level) {
    return HighByteWord(
        static_cast<std::int32_t>((std::int64_t{level} + 36 * Db) / StepOfOneAndAHalfDb) - 28);
}

// The device reads back 0.5 dB above what was written.
std::int32_t ReadGain(std::int16_t word) {
    return HighByte(word) * StepOfOneAndAHalfDb + 6 * Db + HalfDb;
}
std::int16_t WriteGain(std::int32_t level) {
    return HighByteWord(
        static_cast<std::int32_t>((std::int64_t{level} - 6 * Db) / StepOfOneAndAHalfDb) - 15);
}

std::int32_t ReadAttenuator(std::int16_t word) { return (word + 16) / 192 * Db; }
std::int16_t WriteAttenuator(std::int32_t level) {
    const std::int64_t below = -(std::int64_t{level} / Db);
    return Word(below * -192 - 16);
}

std::int32_t ReadTrim(std::int16_t word) { return (word - 3456) / 384 * StepOfOneAndAHalfDb; }
// A level below the range would make the sum negative, which the unsigned
// division turns into a loud word: it is taken as the lowest step instead.
std::int16_t WriteTrim(std::int32_t level) {
    const std::int64_t sum = std::max<std::int64_t>(std::int64_t{level} + 13 * Db + HalfDb, 0);
    return Word(static_cast<std::uint64_t>(sum) / StepOfOneAndAHalfDb * 384);
}

std::int32_t ReadFine(std::int16_t word) { return word * 256; }
std::int16_t WriteFine(std::int32_t level) { return Word(level >> 8); }

} // namespace

namespace chip_level {
const ChipLevelMap k7d2Table = {ReadTable, WriteTable, 0, -33 * Db, Db / 8};
const ChipLevelMap k7d2Boost = {ReadBoost, WriteBoost, 22 * Db + HalfDb, -36 * Db,
                                StepOfOneAndAHalfDb};
const ChipLevelMap k7d2Gain = {ReadGain, WriteGain, 33 * Db, -6 * Db, StepOfOneAndAHalfDb};
const ChipLevelMap p9f4Attenuator = {ReadAttenuator, WriteAttenuator, 0, -37 * Db, Db};
const ChipLevelMap p9f4Trim = {ReadTrim, WriteTrim, 0x00090001, -13 * Db - HalfDb,
                               StepOfOneAndAHalfDb};
const ChipLevelMap p9f4Gain = {ReadFine, WriteFine, 22 * Db + HalfDb, 0, StepOfOneAndAHalfDb};
} // namespace chip_level

std::int32_t ReadChipLevel(const ChipLevelMap& map, std::int16_t word) {
    return word == SilenceWord ? MinusInfinity : map.read(word);
}

std::int16_t WriteChipLevel(const ChipLevelMap& map, std::int32_t level) {
    return level == MinusInfinity ? SilenceWord : map.write(level);
}
