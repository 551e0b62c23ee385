// The driver's two roads between float planes and device PCM, end to end.
#include "sigproc/sigproc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(PcmRoads, EverySixteenBitSampleSurvivesTheRoundTrip) {
    std::vector<std::int16_t> pcm(65536);
    for (int i = 0; i < 65536; ++i) pcm[std::size_t(i)] = static_cast<std::int16_t>(i - 32768);
    std::vector<float> floats(pcm.size());
    ASSERT_EQ(sigConvertScaled_16s32f(pcm.data(), floats.data(), 65536, 15), sigOk);
    std::vector<std::int16_t> back(pcm.size());
    ASSERT_EQ(sigConvertScaled_32f16s(floats.data(), back.data(), 65536, 0, -15), sigOk);
    EXPECT_EQ(back, pcm);
}

TEST(PcmRoads, EveryPackedTwentyFourBitSampleSurvivesTheRoundTrip) {
    constexpr int kCount = 1 << 24;
    std::vector<unsigned char> pcm(3 * std::size_t(kCount));
    for (std::size_t i = 0; i < std::size_t(kCount); ++i) {
        pcm[3 * i] = static_cast<unsigned char>(i);
        pcm[3 * i + 1] = static_cast<unsigned char>(i >> 8);
        pcm[3 * i + 2] = static_cast<unsigned char>(i >> 16);
    }
    std::vector<float> floats(std::size_t{kCount});
    ASSERT_EQ(sigConvert_24s32f(pcm.data(), floats.data(), kCount), sigOk);
    ASSERT_EQ(sigDivConstInPlace_32f(8388608.0f, floats.data(), kCount), sigOk);
    for (float f : floats) ASSERT_TRUE(f >= -1.0f && f < 1.0f);
    std::vector<unsigned char> back(pcm.size());
    ASSERT_EQ(sigConvertScaled_32f24s(floats.data(), back.data(), kCount, -23), sigOk);
    EXPECT_TRUE(back == pcm);
}

TEST(PcmRoads, ThirtyTwoBitSamplesWithin24BitsSurviveTheRoundTrip) {
    std::vector<std::int32_t> pcm;
    for (std::int64_t v = INT32_MIN; v <= INT32_MAX; v += 255 * 256)
        pcm.push_back(static_cast<std::int32_t>(v));
    std::vector<float> floats(pcm.size());
    ASSERT_EQ(sigConvertScaled_32s32f(pcm.data(), floats.data(), int(pcm.size()), 31), sigOk);
    std::vector<std::int32_t> back(pcm.size());
    ASSERT_EQ(sigConvertScaled_32f32s(floats.data(), back.data(), int(back.size()), 0, -31), sigOk);
    EXPECT_EQ(back, pcm);
}

// Planes in, interleaved 16-bit frames out, and back to planes.
TEST(PcmRoads, StereoPlanesTravelRenderAndCaptureRoads) {
    constexpr int kFrames = 48;
    std::vector<float> left(kFrames), right(kFrames);
    for (int k = 0; k < kFrames; ++k) {
        left[std::size_t(k)] = float(k - 24) / 32.0f;
        right[std::size_t(k)] = -float(k) / 64.0f;
    }
    const float* planes[] = {left.data(), right.data()};
    std::vector<float> frames(2 * kFrames);
    ASSERT_EQ(sigInterleave_32f(planes, 2, kFrames, frames.data()), sigOk);
    std::vector<std::int16_t> pcm(frames.size());
    ASSERT_EQ(sigConvertScaled_32f16s(frames.data(), pcm.data(), 2 * kFrames, 0, -15), sigOk);
    for (int k = 0; k < kFrames; ++k) {
        EXPECT_EQ(pcm[std::size_t(2 * k)], static_cast<std::int16_t>((k - 24) * 1024));
        EXPECT_EQ(pcm[std::size_t(2 * k + 1)], static_cast<std::int16_t>(-k * 512));
    }

    std::vector<float> captured(frames.size());
    ASSERT_EQ(sigConvertScaled_16s32f(pcm.data(), captured.data(), 2 * kFrames, 15), sigOk);
    std::vector<float> left2(kFrames), right2(kFrames);
    float* outPlanes[] = {left2.data(), right2.data()};
    ASSERT_EQ(sigDeinterleave_32f(captured.data(), 2, kFrames, outPlanes), sigOk);
    EXPECT_EQ(left2, left);
    EXPECT_EQ(right2, right);
}

} // namespace
