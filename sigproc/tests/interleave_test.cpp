#include "sigproc/sigproc.h"
#include "testkit/float_bits.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace {

using testkit::bitsOf;
using testkit::floatOf;
using testkit::GuardedBuffer;

// Planes of arbitrary 32-bit words (NaNs, denormals, anything), each in its own guarded buffer.
struct PlaneSet {
    PlaneSet(int channels, int frames, std::size_t misalign = 0, std::uint32_t seed = 1) {
        std::mt19937 rng(seed);
        for (int c = 0; c < channels; ++c) {
            buffers.push_back(
                std::make_unique<GuardedBuffer<float>>(std::size_t(frames), misalign));
            for (int k = 0; k < frames; ++k) buffers.back()->set(std::size_t(k), floatOf(rng()));
            buffers.back()->snapshot();
            pointers.push_back(buffers.back()->data());
        }
    }
    std::vector<std::unique_ptr<GuardedBuffer<float>>> buffers;
    std::vector<float*> pointers;
    const float* const* in() const { return pointers.data(); }
    float* const* out() const { return pointers.data(); }
};

TEST(Interleave, RoundTripRestoresEveryBitForOneToNineChannels) {
    for (int channels = 1; channels <= 9; ++channels) {
        for (int frames : {1, 2, 7, 64}) {
            PlaneSet planes(channels, frames, 0, std::uint32_t(channels * 100 + frames));
            GuardedBuffer<float> frameBuffer(std::size_t(channels * frames));
            ASSERT_EQ(sigInterleave_32f(planes.in(), channels, frames, frameBuffer.data()), sigOk);
            EXPECT_TRUE(frameBuffer.guardsIntact());
            for (int k = 0; k < frames; ++k)
                for (int c = 0; c < channels; ++c)
                    ASSERT_EQ(bitsOf(frameBuffer.get(std::size_t(k * channels + c))),
                              bitsOf(planes.buffers[std::size_t(c)]->get(std::size_t(k))));

            PlaneSet restored(channels, frames, 0, 999);
            ASSERT_EQ(sigDeinterleave_32f(frameBuffer.data(), channels, frames, restored.out()),
                      sigOk);
            for (int c = 0; c < channels; ++c) {
                auto& got = *restored.buffers[std::size_t(c)];
                EXPECT_TRUE(got.guardsIntact());
                for (int k = 0; k < frames; ++k)
                    ASSERT_EQ(bitsOf(got.get(std::size_t(k))),
                              bitsOf(planes.buffers[std::size_t(c)]->get(std::size_t(k))));
            }
        }
    }
}

TEST(Interleave, MisalignmentWarnsButMovesEverything) {
    PlaneSet aligned(3, 5);
    GuardedBuffer<float> misalignedFrames(15, 4);
    EXPECT_EQ(sigInterleave_32f(aligned.in(), 3, 5, misalignedFrames.data()), sigWarnMisaligned);
    EXPECT_EQ(bitsOf(misalignedFrames.get(14)), bitsOf(aligned.buffers[2]->get(4)));

    PlaneSet oneOff(3, 5);
    GuardedBuffer<float> shifted(5, 8);
    oneOff.pointers[1] = shifted.data();
    GuardedBuffer<float> frames(15);
    EXPECT_EQ(sigInterleave_32f(oneOff.in(), 3, 5, frames.data()), sigWarnMisaligned);
    EXPECT_EQ(sigDeinterleave_32f(frames.data(), 3, 5, oneOff.out()), sigWarnMisaligned);
    EXPECT_EQ(sigDeinterleave_32f(misalignedFrames.data(), 3, 5, aligned.out()), sigWarnMisaligned);
    EXPECT_EQ(sigInterleave_32f(aligned.in(), 3, 5, frames.data()), sigOk);
}

TEST(Interleave, ChecksComeInOrderAndWriteNothing) {
    PlaneSet planes(2, 4, 4); // misaligned planes, too
    GuardedBuffer<float> frames(8);
    EXPECT_EQ(sigInterleave_32f(planes.in(), 0, 0, frames.data()), sigErrChannelCount);
    EXPECT_EQ(sigDeinterleave_32f(frames.data(), -3, 4, planes.out()), sigErrChannelCount);
    EXPECT_EQ(sigInterleave_32f(nullptr, 0, 0, frames.data()), sigErrNullPtr);

    float* withNull[] = {planes.pointers[0], nullptr};
    EXPECT_EQ(sigInterleave_32f(withNull, 2, 0, frames.data()),
              sigErrLength); // length before planes
    EXPECT_EQ(sigInterleave_32f(withNull, 2, 4, frames.data()), sigErrNullPtr);
    EXPECT_TRUE(frames.unchanged());
    EXPECT_EQ(sigDeinterleave_32f(frames.data(), 2, 4, withNull), sigErrNullPtr);
    EXPECT_TRUE(planes.buffers[0]->unchanged());
}

} // namespace
