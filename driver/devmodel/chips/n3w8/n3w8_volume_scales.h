// How the N3W8 chip's volume values relate to the driver's levels. The chip
// counts in its own steps: the analog-through units three per 1/256 dB
// above zero and one and a half below it, the record units three above and
// three eighths below, and the playback unit by a table of measured steps.
// Driver levels are 16.16 fixed-point decibels; device values of the
// scaled units are 1/256 dB before scaling.
#pragma once

#include <cstdint>

// The driver's level for "silence", which every scale passes unchanged.
inline constexpr std::int32_t N3W8SilenceLevel = static_cast<std::int32_t>(0x80000000u);

struct N3W8VolumeRange {
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t resolution = 0;
};

enum class N3W8Scale { Analog, Record }; // x3/2 and x3/8 below zero

// Device value to the unit's 1/256 dB, and back. Silence passes both ways;
// results saturate short of it.
std::int32_t N3W8ScaleRead(N3W8Scale scale, std::int32_t device);
std::int32_t N3W8ScaleWrite(N3W8Scale scale, std::int32_t level);
// The device's 2-byte minimum and maximum as a 16.16 range.
N3W8VolumeRange N3W8ScaledRange(N3W8Scale scale, std::int16_t minimum, std::int16_t maximum);
// Bass, mid and treble: one-byte device values, 16.16 as they stand.
N3W8VolumeRange N3W8ToneRange(std::int8_t minimum, std::int8_t maximum, std::int8_t resolution);

// The playback unit's table: a device value to a 16.16 level, a 16.16 level
// to the device value, and the table's range over the device's.
std::int32_t N3W8TableLevel(std::int16_t device);
std::int16_t N3W8TableDeviceValue(std::int32_t level);
N3W8VolumeRange N3W8TableRange(std::int16_t minimum, std::int16_t maximum);
