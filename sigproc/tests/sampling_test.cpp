#include "sigproc/sigproc.h"
#include "testkit/float_bits.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

namespace {

using testkit::bitsOf;
using testkit::floatOf;
using testkit::GuardedBuffer;

std::vector<std::uint32_t> bits(const float* v, std::size_t n) {
    std::vector<std::uint32_t> out;
    for (std::size_t i = 0; i < n; ++i) out.push_back(bitsOf(v[i]));
    return out;
}

std::vector<float> randomWords(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<float> v(n);
    for (float& f : v) f = floatOf(rng()); // NaNs, subnormals and all
    return v;
}

TEST(SampleUp, InsertsPositiveZerosAroundEachSampleAtThePhase) {
    const float src[] = {-2.5f, 7.0f};
    GuardedBuffer<float> dst(6);
    int len = -1, phase = 1;
    ASSERT_EQ(sigSampleUp_32f(src, 2, dst.data(), &len, 3, &phase), sigOk);
    EXPECT_EQ(len, 6);
    EXPECT_EQ(phase, 1);
    EXPECT_EQ(bits(dst.data(), 6),
              (std::vector<std::uint32_t>{0, bitsOf(-2.5f), 0, 0, bitsOf(7.0f), 0}));
    EXPECT_TRUE(dst.guardsIntact());
}

TEST(SampleUpDown, FactorOneCopiesEveryBit) {
    const std::vector<float> src = randomWords(9, 3);
    for (auto op : {sigSampleUp_32f, sigSampleDown_32f}) {
        GuardedBuffer<float> dst(9);
        int len = 0, phase = 0;
        ASSERT_EQ(op(src.data(), 9, dst.data(), &len, 1, &phase), sigOk);
        EXPECT_EQ(len, 9);
        EXPECT_EQ(phase, 0);
        EXPECT_EQ(bits(dst.data(), 9), bits(src.data(), 9));
        EXPECT_TRUE(dst.guardsIntact());
    }
}

TEST(SampleDown, CarriesThePhaseIntoTheNextBlock) {
    std::vector<float> src(10);
    for (int i = 0; i < 10; ++i) src[std::size_t(i)] = float(i);
    float dst[4] = {};
    int len = 0, phase = 0;
    ASSERT_EQ(sigSampleDown_32f(src.data(), 10, dst, &len, 3, &phase), sigOk);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(phase, 2);
    EXPECT_EQ(std::vector<float>(dst, dst + 4), (std::vector<float>{0, 3, 6, 9}));
    ASSERT_EQ(sigSampleDown_32f(src.data(), 10, dst, &len, 3, &phase), sigOk);
    EXPECT_EQ(len, 3);
    EXPECT_EQ(phase, 1);
    EXPECT_EQ(std::vector<float>(dst, dst + 3), (std::vector<float>{2, 5, 8}));
}

TEST(SampleDown, ABlockShorterThanThePhaseTakesNothing) {
    const float src[5] = {1, 2, 3, 4, 5};
    GuardedBuffer<float> dst(1);
    int len = 99, phase = 6;
    ASSERT_EQ(sigSampleDown_32f(src, 5, dst.data(), &len, 8, &phase), sigOk);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(phase, 1);
    EXPECT_TRUE(dst.unchanged());
}

// A long stream cut into blocks of random lengths gives what one call gives.
TEST(SampleUpDown, BlocksOfAnyLengthEqualOneCall) {
    std::mt19937 rng(17);
    const std::vector<float> stream = randomWords(3000, 5);
    for (int factor : {2, 3, 5, 8}) {
        for (int startPhase = 0; startPhase < factor; startPhase += 2) {
            std::vector<float> whole(stream.size() * std::size_t(factor));
            int len = 0, phase = startPhase;
            ASSERT_EQ(sigSampleDown_32f(stream.data(), int(stream.size()), whole.data(), &len,
                                        factor, &phase),
                      sigOk);
            whole.resize(std::size_t(len));
            std::vector<float> upWhole(stream.size() * std::size_t(factor));
            int upPhase = startPhase;
            ASSERT_EQ(sigSampleUp_32f(stream.data(), int(stream.size()), upWhole.data(), &len,
                                      factor, &upPhase),
                      sigOk);

            std::vector<float> pieces, upPieces;
            int downPhase = startPhase;
            upPhase = startPhase;
            for (std::size_t at = 0; at < stream.size();) {
                const std::size_t n = std::min<std::size_t>(1 + rng() % 37, stream.size() - at);
                std::vector<float> out(n * std::size_t(factor));
                ASSERT_EQ(sigSampleDown_32f(stream.data() + at, int(n), out.data(), &len, factor,
                                            &downPhase),
                          sigOk);
                pieces.insert(pieces.end(), out.begin(), out.begin() + len);
                ASSERT_EQ(
                    sigSampleUp_32f(stream.data() + at, int(n), out.data(), &len, factor, &upPhase),
                    sigOk);
                upPieces.insert(upPieces.end(), out.begin(), out.begin() + len);
                at += n;
            }
            EXPECT_EQ(bits(pieces.data(), pieces.size()), bits(whole.data(), whole.size()))
                << factor;
            EXPECT_EQ(bits(upPieces.data(), upPieces.size()), bits(upWhole.data(), upWhole.size()))
                << factor;
            // Down-sampling the up-sampled stream at the same phase gives the stream back.
            std::vector<float> back(stream.size());
            int backPhase = startPhase;
            ASSERT_EQ(sigSampleDown_32f(upWhole.data(), int(upWhole.size()), back.data(), &len,
                                        factor, &backPhase),
                      sigOk);
            EXPECT_EQ(bits(back.data(), back.size()), bits(stream.data(), stream.size()));
        }
    }
}

// Checks in order: pointers, length, factor, phase; nothing written on failure.
TEST(SampleUpDown, ChecksComeInOrderAndWriteNothing) {
    const float src[4] = {1, 2, 3, 4};
    for (auto op : {sigSampleUp_32f, sigSampleDown_32f}) {
        GuardedBuffer<float> dst(8);
        int len = 77, phase = 1;
        auto expectNothingWritten = [&] {
            EXPECT_TRUE(dst.unchanged());
            EXPECT_EQ(len, 77);
            EXPECT_EQ(phase, 1);
        };
        EXPECT_EQ(op(src, 0, dst.data(), &len, 0, nullptr), sigErrNullPtr);
        EXPECT_EQ(op(src, 0, dst.data(), &len, 0, &phase), sigErrLength);
        EXPECT_EQ(op(src, 4, dst.data(), &len, 0, &phase), sigErrSampleFactor);
        EXPECT_EQ(op(src, 4, dst.data(), &len, -2, &phase), sigErrSampleFactor);
        EXPECT_EQ(op(src, 4, dst.data(), &len, 1, &phase), sigErrSamplePhase);
        phase = -1;
        EXPECT_EQ(op(src, 4, dst.data(), &len, 2, &phase), sigErrSamplePhase);
        phase = 1;
        expectNothingWritten();
    }
}

// An output length beyond the 32-bit range is refused before anything is
// written, instead of wrapping into a short length and a long write.
TEST(SampleUp, OutputLengthBeyondThirtyTwoBitsIsRefused) {
    const float src[4] = {1, 2, 3, 4};
    GuardedBuffer<float> dst(4);
    int len = 5, phase = 0;
    EXPECT_EQ(sigSampleUp_32f(src, 4, dst.data(), &len, INT_MAX / 2, &phase), sigErrLength);
    EXPECT_EQ(sigSampleUp_32f(src, 2, dst.data(), &len, INT_MAX, &phase), sigErrLength);
    EXPECT_EQ(len, 5);
    EXPECT_TRUE(dst.unchanged());
}

// A factor near the top of the int range steps the index past it.
TEST(SampleDown, HugeFactorTakesOneSampleAndKeepsThePhaseInRange) {
    const float src[3] = {5, 6, 7};
    float dst[1] = {0};
    int len = 0, phase = 1;
    ASSERT_EQ(sigSampleDown_32f(src, 3, dst, &len, INT_MAX, &phase), sigOk);
    EXPECT_EQ(len, 1);
    EXPECT_EQ(dst[0], 6.0f);
    EXPECT_EQ(phase, INT_MAX - 2);
}

} // namespace
