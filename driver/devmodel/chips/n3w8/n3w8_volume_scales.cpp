#include "driver/devmodel/chips/n3w8/n3w8_volume_scales.h"

#include <algorithm>
#include <array>

namespace {

constexpr int FixedShift = 8; // 1/256 dB to 16.16
constexpr int ToneShift = 14;
constexpr std::int32_t ScaledResolution = 0x18000;
constexpr std::int32_t TableResolution = 0x4000;
constexpr std::int16_t TableSilence = -32768;

struct Step {
    std::int16_t device;
    std::int8_t decibels;
};

// Measured on the chip. -37 dB has no step of its own and -38 dB two; kept
// as measured, since stored levels were made with this table.
constexpr std::array<Step, 39> Steps = {{
    {0, 0},       {-62, -1},    {-128, -2},    {-192, -3},   {-263, -4},   {-331, -5},
    {-402, -6},   {-477, -7},   {-556, -8},    {-638, -9},   {-717, -10},  {-804, -11},
    {-894, -12},  {-989, -13},  {-1088, -14},  {-1188, -15}, {-1298, -16}, {-1411, -17},
    {-1529, -18}, {-1657, -19}, {-1785, -20},  {-1920, -21}, {-2082, -22}, {-2240, -23},
    {-2420, -24}, {-2612, -25}, {-2816, -26},  {-3072, -27}, {-3303, -28}, {-3584, -29},
    {-3917, -30}, {-4301, -31}, {-4788, -32},  {-5402, -33}, {-6221, -34}, {-7578, -35},
    {-8500, -36}, {-8832, -38}, {-32768, -38},
}};

std::int32_t LevelOf(const Step& step) { return std::int32_t{step.decibels} * 65536; }

// Values beyond 32 bits stay at the nearest end rather than wrapping; only
// the silence value itself stands for silence.
std::int32_t Saturated(std::int64_t value) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(value, N3W8SilenceLevel + 1, INT32_MAX));
}

std::int32_t LowBitsCleared(N3W8Scale scale) { return scale == N3W8Scale::Analog ? 0xF : 0xFF; }

} // namespace

std::int32_t N3W8ScaleRead(N3W8Scale scale, std::int32_t device) {
    if (device == N3W8SilenceLevel) return device;
    const std::int64_t value = device;
    if (value >= 0) return Saturated(value * 3);
    return Saturated(scale == N3W8Scale::Analog ? value * 3 / 2 : value * 3 / 8);
}

std::int32_t N3W8ScaleWrite(N3W8Scale scale, std::int32_t level) {
    if (level == N3W8SilenceLevel) return level;
    const std::int64_t value = level;
    if (value >= 0) return Saturated(value / 3);
    return Saturated((scale == N3W8Scale::Analog ? value * 2 : value * 8) / 3);
}

N3W8VolumeRange N3W8ScaledRange(N3W8Scale scale, std::int16_t minimum, std::int16_t maximum) {
    const std::int32_t floor = minimum & ~LowBitsCleared(scale);
    return {.minimum = N3W8ScaleRead(scale, floor) * (1 << FixedShift),
            .maximum = N3W8ScaleRead(scale, maximum) * (1 << FixedShift),
            .resolution = ScaledResolution};
}

N3W8VolumeRange N3W8ToneRange(std::int8_t minimum, std::int8_t maximum, std::int8_t resolution) {
    return {.minimum = minimum * (1 << ToneShift),
            .maximum = maximum * (1 << ToneShift),
            .resolution = resolution * (1 << ToneShift)};
}

std::int32_t N3W8TableLevel(std::int16_t device) {
    for (const Step& step : Steps)
        if (step.device <= device) return LevelOf(step);
    return LevelOf(Steps.back());
}

std::int16_t N3W8TableDeviceValue(std::int32_t level) {
    if (level == N3W8SilenceLevel) return TableSilence;
    for (const Step& step : Steps)
        if (LevelOf(step) <= level) return step.device;
    return Steps.back().device;
}

N3W8VolumeRange N3W8TableRange(std::int16_t minimum, std::int16_t maximum) {
    return {.minimum = N3W8TableLevel(minimum),
            .maximum = N3W8TableLevel(maximum),
            .resolution = TableResolution};
}
