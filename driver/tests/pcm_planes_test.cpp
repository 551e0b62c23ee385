#include "driver/effects/pcm_planes.h"
#include "driver/tests/test_wave_formats.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Interleaved samples as bytes of the container width, little-endian.
std::vector<unsigned char> PackSamples(const std::vector<std::int64_t>& samples, int bytes) {
    std::vector<unsigned char> packed;
    for (std::int64_t s : samples)
        for (int b = 0; b < bytes; ++b)
            packed.push_back(static_cast<unsigned char>(static_cast<std::uint64_t>(s) >> (8 * b)));
    return packed;
}

std::vector<std::int64_t> UnpackSamples(const std::vector<unsigned char>& packed, int bytes) {
    std::vector<std::int64_t> samples;
    for (std::size_t i = 0; i + bytes <= packed.size(); i += bytes) {
        std::uint64_t raw = 0;
        for (int b = 0; b < bytes; ++b) raw |= std::uint64_t(packed[i + b]) << (8 * b);
        const int shift = 64 - 8 * bytes;
        samples.push_back(static_cast<std::int64_t>(raw << shift) >> shift);
    }
    return samples;
}

// Scratch of one block of the engine: the interleaved float buffer and planes.
struct PlaneBlock {
    std::vector<float> scratch = std::vector<float>(MaxChannelsTimesFrames);
    std::array<std::vector<float>, 8> storage;
    std::array<float*, 8> planes{};
    static constexpr std::size_t MaxChannelsTimesFrames = 8 * 512;
    PlaneBlock() {
        for (std::size_t c = 0; c < storage.size(); ++c) {
            storage[c].assign(512, -7.0f);
            planes[c] = storage[c].data();
        }
    }
};

struct RoundTripCase {
    const char* name;
    std::uint16_t bits;
    std::vector<std::int64_t> samples;
};

// Every sample of the width (a sweep for 24 bits) comes back unchanged, and
// 32-bit samples do when they carry at most 24 significant bits.
std::vector<std::int64_t> Sweep(std::int64_t low, std::int64_t high, std::int64_t step) {
    std::vector<std::int64_t> v;
    for (std::int64_t s = low; s <= high; s += step) v.push_back(s);
    v.push_back(high);
    return v;
}

TEST(PcmPlanes, SamplesRoundTripExactly) {
    const RoundTripCase cases[] = {
        {"every 16-bit sample", 16, Sweep(-32768, 32767, 1)},
        {"24-bit sweep", 24, Sweep(-8388608, 8388607, 251)},
        {"24-bit extremes", 24, {-8388608, -8388607, -1, 0, 1, 8388606, 8388607}},
        {"24-in-32 sweep", 32, Sweep(-2147483648LL, 2147483392LL, 256LL * 4093)},
        {"32-bit extremes", 32, {-2147483648LL, 2147483647LL, 0, 1, -1, 0x00FFFFFF, -0x01000000}},
    };
    for (const RoundTripCase& c : cases) {
        SCOPED_TRACE(c.name);
        const int bytes = c.bits / 8;
        for (std::uint16_t channels : {1, 2, 6, 8}) {
            const ks::WaveFormatExtensible format = TestPcmFormat(channels, c.bits);
            for (std::size_t first = 0; first < c.samples.size(); first += 512 * channels) {
                const std::size_t count =
                    std::min<std::size_t>(c.samples.size() - first, 512 * channels) / channels *
                    channels;
                if (count == 0) break;
                const std::vector<std::int64_t> block(c.samples.begin() + first,
                                                      c.samples.begin() + first + count);
                const std::vector<unsigned char> source = PackSamples(block, bytes);
                PlaneBlock planes;
                const auto frames = static_cast<std::uint32_t>(count / channels);
                PcmToFloatPlanes(source.data(), planes.planes.data(), planes.scratch.data(), frames,
                                 format);
                std::vector<unsigned char> back(source.size(), 0xEE);
                ASSERT_EQ(FloatPlanesToPcm(back.data(), planes.planes.data(), planes.scratch.data(),
                                           frames, format),
                          kernel::STATUS_SUCCESS);
                ASSERT_EQ(UnpackSamples(back, bytes), block);
            }
        }
    }
}

TEST(PcmPlanes, PlanesHoldChannelsAtFullScaleOne) {
    struct Case {
        std::uint16_t bits;
        std::int64_t sample;
        float expected;
    };
    const Case cases[] = {
        {16, 32767, 32767.0f / 32768.0f},
        {16, -32768, -1.0f},
        {16, 1, 1.0f / 32768.0f},
        {24, 8388607, 8388607.0f / 8388608.0f},
        {24, -8388608, -1.0f},
        {24, -1, -1.0f / 8388608.0f},
        {32, 65536, 1.0f / 32768.0f},
        {32, -2147483648LL, -1.0f},
        {32, 2147483647LL, 1.0f}, // the nearest float to 2^31 - 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, sample " << c.sample);
        // Three channels: the sample sits in channel 1 of frame 1.
        std::vector<std::int64_t> samples(6, 0);
        samples[4] = c.sample;
        const std::vector<unsigned char> source = PackSamples(samples, c.bits / 8);
        PlaneBlock planes;
        PcmToFloatPlanes(source.data(), planes.planes.data(), planes.scratch.data(), 2,
                         TestPcmFormat(3, c.bits));
        EXPECT_EQ(planes.storage[1][1], c.expected);
        EXPECT_EQ(planes.storage[1][0], 0.0f);
        EXPECT_EQ(planes.storage[0][1], 0.0f);
        EXPECT_EQ(planes.storage[2][1], 0.0f);
        EXPECT_EQ(planes.storage[3][0], -7.0f); // beyond the channel count: untouched
    }
}

TEST(PcmPlanes, FloatsToSamplesRoundAndSaturate) {
    struct Case {
        const char* name;
        std::uint16_t bits;
        float value;
        std::int64_t expected;
    };
    const float s15 = 1.0f / 32768.0f;
    const float s23 = 1.0f / 8388608.0f;
    const float s31 = 1.0f / 2147483648.0f;
    const Case cases[] = {
        {"16 full scale", 16, 1.0f, 32767},
        {"16 negative full scale", 16, -1.0f, -32768},
        {"16 over range", 16, 3.5f, 32767},
        {"16 under range", 16, -2.0f, -32768},
        {"16 truncates up", 16, 100.75f * s15, 100},
        {"16 truncates down toward zero", 16, -100.75f * s15, -100},
        {"16 below half a step", 16, 0.99999f * s15, 0},
        {"24 full scale", 24, 1.0f, 8388607},
        {"24 negative full scale", 24, -1.0f, -8388608},
        {"24 over range", 24, 4.0f, 8388607},
        {"24 tie to even below", 24, 100.5f * s23, 100},
        {"24 tie to even above", 24, 101.5f * s23, 102},
        {"24 negative tie", 24, -100.5f * s23, -100},
        {"24 rounds to nearest", 24, 100.75f * s23, 101},
        {"24 nearly one step", 24, 0.99999f * s23, 1},
        {"32 full scale", 32, 1.0f, 2147483647LL},
        {"32 negative full scale", 32, -1.0f, -2147483648LL},
        {"32 over range", 32, 2.0f, 2147483647LL},
        {"32 truncates", 32, 1000.75f * s31, 1000},
        {"32 truncates toward zero", 32, -1000.75f * s31, -1000},
        {"32 nearly one step", 32, 0.99999f * s31, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlaneBlock planes;
        planes.storage[0][0] = 0.0f;
        planes.storage[1][0] = c.value;
        const int bytes = c.bits / 8;
        std::vector<unsigned char> pcm(2 * bytes, 0xEE);
        ASSERT_EQ(FloatPlanesToPcm(pcm.data(), planes.planes.data(), planes.scratch.data(), 1,
                                   TestPcmFormat(2, c.bits)),
                  kernel::STATUS_SUCCESS);
        const std::vector<std::int64_t> samples = UnpackSamples(pcm, bytes);
        EXPECT_EQ(samples[0], 0);
        EXPECT_EQ(samples[1], c.expected);
    }
}

TEST(PcmPlanes, OtherWidthsAreNotConverted) {
    for (std::uint16_t bits : {0, 8, 12, 20, 64}) {
        SCOPED_TRACE(bits);
        EXPECT_FALSE(IsPlaneConvertibleWidth(bits));
        ks::WaveFormatExtensible format = TestPcmFormat(2, 16);
        format.Format.wBitsPerSample = bits;
        std::vector<unsigned char> pcm(64, 0x5A);
        PlaneBlock planes;
        PcmToFloatPlanes(pcm.data(), planes.planes.data(), planes.scratch.data(), 4, format);
        EXPECT_EQ(planes.storage[0][0], -7.0f);
        EXPECT_EQ(
            FloatPlanesToPcm(pcm.data(), planes.planes.data(), planes.scratch.data(), 4, format),
            kernel::STATUS_NOT_SUPPORTED);
        EXPECT_EQ(pcm, std::vector<unsigned char>(64, 0x5A));
    }
}

} // namespace
