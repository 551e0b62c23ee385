#include "driver/devmodel/chips/n3w8/n3w8_volume_scales.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::int32_t Db = 65536; // one decibel in 16.16

TEST(N3W8VolumeScales, ScaledUnitsConvertBothWaysWithTruncation) {
    const struct {
        N3W8Scale scale;
        std::int32_t device;
        std::int32_t read;  // the device value as a level
        std::int32_t level; // a level to write
        std::int32_t write; // what is sent for it
    } cases[] = {
        {N3W8Scale::Analog, 0, 0, 0, 0},
        {N3W8Scale::Analog, 100, 300, 300, 100},
        {N3W8Scale::Analog, -100, -150, -150, -100},
        {N3W8Scale::Analog, -1, -1, -1, 0}, // -3/2 and -2/3 truncate toward zero
        {N3W8Scale::Analog, 1, 3, 2, 0},
        {N3W8Scale::Record, 256, 768, 768, 256},
        {N3W8Scale::Record, -256, -96, -96, -256},
        {N3W8Scale::Record, -5, -1, -1, -2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        EXPECT_EQ(N3W8ScaleRead(c.scale, c.device), c.read);
        EXPECT_EQ(N3W8ScaleWrite(c.scale, c.level), c.write);
    }
    for (const N3W8Scale scale : {N3W8Scale::Analog, N3W8Scale::Record}) {
        EXPECT_EQ(N3W8ScaleWrite(scale, N3W8SilenceLevel), N3W8SilenceLevel);
        EXPECT_EQ(N3W8ScaleRead(scale, N3W8SilenceLevel), N3W8SilenceLevel);
    }
}

// Values past what 32 bits hold stay at the loud or quiet end instead of
// wrapping, and never turn into silence.
TEST(N3W8VolumeScales, ScaledValuesSaturateShortOfSilence) {
    EXPECT_EQ(N3W8ScaleRead(N3W8Scale::Analog, INT32_MAX), INT32_MAX);
    EXPECT_EQ(N3W8ScaleRead(N3W8Scale::Analog, INT32_MIN + 1), INT32_MIN + 1);
    EXPECT_EQ(N3W8ScaleWrite(N3W8Scale::Record, INT32_MIN + 1), INT32_MIN + 1);
    EXPECT_EQ(N3W8ScaleWrite(N3W8Scale::Analog, -1 << 30), -(1 << 30) * 2 / 3);
}

TEST(N3W8VolumeScales, RangesClearTheMinimumsLowBitsAndComeIn16Dot16) {
    const N3W8VolumeRange analog = N3W8ScaledRange(N3W8Scale::Analog, -100, 50);
    EXPECT_EQ(analog.minimum, -112 * 3 / 2 * 256);
    EXPECT_EQ(analog.maximum, 50 * 3 * 256);
    EXPECT_EQ(analog.resolution, 0x18000);
    const N3W8VolumeRange record = N3W8ScaledRange(N3W8Scale::Record, -1000, 0);
    EXPECT_EQ(record.minimum, -1024 * 3 / 8 * 256);
    EXPECT_EQ(record.maximum, 0);
    const N3W8VolumeRange tone = N3W8ToneRange(-48, 48, 1);
    EXPECT_EQ(tone.minimum, -12 * Db);
    EXPECT_EQ(tone.maximum, 12 * Db);
    EXPECT_EQ(tone.resolution, Db / 4);
}

TEST(N3W8VolumeScales, EveryTableStepMapsBothWays) {
    const std::vector<std::pair<std::int16_t, int>> steps = {
        {0, 0},       {-62, -1},    {-128, -2},   {-192, -3},   {-263, -4},   {-331, -5},
        {-402, -6},   {-477, -7},   {-556, -8},   {-638, -9},   {-717, -10},  {-804, -11},
        {-894, -12},  {-989, -13},  {-1088, -14}, {-1188, -15}, {-1298, -16}, {-1411, -17},
        {-1529, -18}, {-1657, -19}, {-1785, -20}, {-1920, -21}, {-2082, -22}, {-2240, -23},
        {-2420, -24}, {-2612, -25}, {-2816, -26}, {-3072, -27}, {-3303, -28}, {-3584, -29},
        {-3917, -30}, {-4301, -31}, {-4788, -32}, {-5402, -33}, {-6221, -34}, {-7578, -35},
        {-8500, -36}, {-8832, -38},
    };
    for (const auto& [device, decibels] : steps) {
        SCOPED_TRACE(device);
        EXPECT_EQ(N3W8TableLevel(device), decibels * Db);
        EXPECT_EQ(N3W8TableDeviceValue(decibels * Db), device);
    }
    // The table's last step shares -38 dB; writing -38 dB finds the first.
    EXPECT_EQ(N3W8TableLevel(-32768), -38 * Db);
}

TEST(N3W8VolumeScales, TableValuesBetweenStepsRoundDown) {
    const struct {
        const char* name;
        std::int16_t device;
        std::int32_t level;
    } reads[] = {{"above the top", 40, 0},
                 {"between -1 and -2 dB", -100, -2 * Db},
                 {"below -36 dB", -9000, -38 * Db}};
    for (const auto& c : reads) EXPECT_EQ(N3W8TableLevel(c.device), c.level) << c.name;
    const struct {
        const char* name;
        std::int32_t level;
        std::int16_t device;
    } writes[] = {{"above 0 dB", 3 * Db, 0},
                  {"-1.5 dB", -3 * Db / 2, -128},
                  {"-37 dB, which has no step", -37 * Db, -8832},
                  {"below the table", -60 * Db, -32768},
                  {"silence", N3W8SilenceLevel, -32768}};
    for (const auto& c : writes) EXPECT_EQ(N3W8TableDeviceValue(c.level), c.device) << c.name;
    const N3W8VolumeRange range = N3W8TableRange(-32768, 0);
    EXPECT_EQ(range.minimum, -38 * Db);
    EXPECT_EQ(range.maximum, 0);
    EXPECT_EQ(range.resolution, 0x4000);
}

} // namespace
