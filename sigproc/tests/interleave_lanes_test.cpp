// The frame-major moves between planes and interleaved frames, every
// instruction set's build against the plain definition, bit for bit, at
// lengths 0 to 70 and unaligned starts; and the entry points keeping the
// channel-after-channel order where destinations overlap.
#include "sigproc/sigproc.h"
#include "sigproc/vector/interleave_lanes.h"
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

const sigWideIsa kIsas[] = {sigWideIsa::baseline, sigWideIsa::avx2, sigWideIsa::avx512};

// Arbitrary words (NaN payloads, subnormals) in guarded buffers.
std::unique_ptr<GuardedBuffer<float>> words(int count, std::size_t misalign, std::mt19937& rng) {
    auto buffer = std::make_unique<GuardedBuffer<float>>(std::size_t(count), misalign);
    for (int i = 0; i < count; ++i) buffer->set(std::size_t(i), floatOf(rng()));
    buffer->snapshot();
    return buffer;
}

TEST(InterleaveLanes, EveryBuildMovesEveryWordAtEveryLengthAndStart) {
    std::mt19937 rng(5);
    for (sigWideIsa isa : kIsas) {
        if (!sigWideIsaSupported(isa)) continue;
        for (int channels : {2, 4, 8})
            for (std::size_t start = 0; start < 4; ++start)
                for (int len = 0; len <= 70; ++len) {
                    SCOPED_TRACE(testing::Message()
                                 << "set " << int(isa) << " channels " << channels << " start "
                                 << start << " len " << len);
                    std::vector<std::unique_ptr<GuardedBuffer<float>>> planes, restored;
                    std::vector<const float*> in;
                    std::vector<float*> out;
                    for (int c = 0; c < channels; ++c) {
                        planes.push_back(words(len, (start + std::size_t(c)) % 4 * 4, rng));
                        restored.push_back(words(len, start * 4, rng));
                        in.push_back(planes.back()->data());
                        out.push_back(restored.back()->data());
                    }
                    auto frames = words(len * channels, start * 4, rng);
                    sigInterleaveRuns.of(isa)(in.data(), channels, len, frames->data());
                    ASSERT_TRUE(frames->guardsIntact());
                    for (int k = 0; k < len; ++k)
                        for (int c = 0; c < channels; ++c)
                            ASSERT_EQ(bitsOf(frames->get(std::size_t(k * channels + c))),
                                      bitsOf(planes[std::size_t(c)]->get(std::size_t(k))));
                    sigDeinterleaveRuns.of(isa)(frames->data(), channels, len, out.data());
                    for (int c = 0; c < channels; ++c) {
                        ASSERT_TRUE(restored[std::size_t(c)]->guardsIntact());
                        for (int k = 0; k < len; ++k)
                            ASSERT_EQ(bitsOf(restored[std::size_t(c)]->get(std::size_t(k))),
                                      bitsOf(planes[std::size_t(c)]->get(std::size_t(k))));
                    }
                }
    }
}

// Two channels written to one plane: the later channel's words stay, as
// channel after channel leaves them; and planes inside the frame array itself.
TEST(InterleaveLanes, OverlappingArraysKeepTheChannelAfterChannelOrder) {
    constexpr int kLen = 40;
    std::vector<float> frames(8 * kLen);
    for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = float(i);
    std::vector<float> shared(kLen), others(6 * kLen);
    float* planes[8] = {shared.data(), shared.data()};
    for (int c = 2; c < 8; ++c) planes[c] = others.data() + (c - 2) * kLen;
    ASSERT_EQ(sigDeinterleave_32f(frames.data(), 8, kLen, planes), sigOk);
    for (int k = 0; k < kLen; ++k) ASSERT_EQ(shared[std::size_t(k)], float(8 * k + 1)) << k;

    // Channel 0's plane is the frame array's start: channel after channel,
    // the first plane is complete before the later channels read the frames.
    std::vector<float> inPlace = frames;
    std::vector<float> want = frames;
    float* overFrames[8] = {inPlace.data()};
    std::vector<float> rest(7 * kLen);
    for (int c = 1; c < 8; ++c) overFrames[c] = rest.data() + (c - 1) * kLen;
    for (int k = 0; k < kLen; ++k) want[std::size_t(k)] = frames[std::size_t(8 * k)];
    ASSERT_EQ(sigDeinterleave_32f(inPlace.data(), 8, kLen, overFrames), sigOk);
    for (int k = 0; k < kLen; ++k) ASSERT_EQ(inPlace[std::size_t(k)], want[std::size_t(k)]) << k;
    for (int c = 1; c < 8; ++c)
        for (int k = 0; k < kLen; ++k)
            ASSERT_EQ(rest[std::size_t((c - 1) * kLen + k)], inPlace[std::size_t(8 * k + c)])
                << "channel " << c << " frame " << k;
}

} // namespace
