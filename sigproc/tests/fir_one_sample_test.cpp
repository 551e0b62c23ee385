// The one-sample FIR with a caller-held doubled delay line.
#include "filter_reference.h"
#include "sigproc/sigproc.h"
#include "testkit/float_bits.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using filter_reference::convolve;
using filter_reference::randomSignal;

struct OneSampleFir {
    explicit OneSampleFir(std::vector<float> taps)
        : taps(std::move(taps)), line(2 * this->taps.size(), 0.0f) {}
    float push(float x) {
        float y = -1.0f;
        EXPECT_EQ(sigFirOneSample_32f(x, &y, taps.data(), static_cast<int>(taps.size()),
                                      line.data(), &index),
                  sigOk);
        return y;
    }
    std::vector<float> taps;
    std::vector<float> line;
    int index = 0;
};

TEST(FirOneSample, ImpulseReturnsTheTapsInOrderThenZeros) {
    OneSampleFir fir({0.5f, -1.0f, 2.0f, 0.25f, 3.0f});
    std::vector<float> out;
    for (int n = 0; n < 9; ++n) out.push_back(fir.push(n == 0 ? 1.0f : 0.0f));
    EXPECT_EQ(out, (std::vector<float>{0.5f, -1.0f, 2.0f, 0.25f, 3.0f, 0, 0, 0, 0}));
}

TEST(FirOneSample, FirstPushWritesBothCopiesAndAdvancesTheIndex) {
    OneSampleFir fir({0.5f, 7.0f, 9.0f});
    EXPECT_EQ(fir.push(3.0f), 1.5f);
    EXPECT_EQ(fir.line, (std::vector<float>{3.0f, 0, 0, 3.0f, 0, 0}));
    EXPECT_EQ(fir.index, 1);
    fir.push(1.0f);
    fir.push(2.0f);
    EXPECT_EQ(fir.index, 0); // back where it started after tapsLen pushes

    OneSampleFir single({-2.0f});
    for (float x : {1.0f, 4.0f, -0.5f}) {
        EXPECT_EQ(single.push(x), -2.0f * x);
        EXPECT_EQ(single.index, 0);
    }
}

// Both sum in double from the oldest sample, so they agree bit for bit.
TEST(FirOneSample, EqualsTheBlockFilterAndTheReference) {
    for (int tapsLen : {1, 4, 20, 37}) {
        const std::vector<float> taps = randomSignal(static_cast<std::size_t>(tapsLen),
                                                     100 + static_cast<std::uint32_t>(tapsLen));
        const std::vector<float> x = randomSignal(300, 5);
        OneSampleFir fir(taps);
        std::vector<float> y;
        for (float v : x) y.push_back(fir.push(v));
        EXPECT_EQ(y, convolve(taps, x)) << tapsLen << " taps";

        int size = 0;
        ASSERT_EQ(sigFirGetStateSize_32f(tapsLen, &size), sigOk);
        std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
        sigFirState* state = nullptr;
        ASSERT_EQ(sigFirInit_32f(&state, taps.data(), tapsLen, nullptr, buffer.data()), sigOk);
        std::vector<float> block(x.size());
        ASSERT_EQ(sigFirProcess_32f(x.data(), block.data(), static_cast<int>(x.size()), state),
                  sigOk);
        EXPECT_EQ(y, block) << tapsLen << " taps";
    }
}

// The converter stage pushes one input through several tap phases by putting
// the index back; each push then overwrites the same slots.
TEST(FirOneSample, RestoringTheIndexRepeatsASampleThroughAnotherTapSet) {
    const std::vector<float> first = {1.0f, 2.0f, 3.0f};
    const std::vector<float> second = {-1.0f, 0.5f, 4.0f};
    std::vector<float> line(6, 0.0f);
    int index = 0;
    float y = 0.0f;
    for (float x : {1.0f, -2.0f})
        ASSERT_EQ(sigFirOneSample_32f(x, &y, first.data(), 3, line.data(), &index), sigOk);
    const int before = index;
    ASSERT_EQ(sigFirOneSample_32f(0.5f, &y, first.data(), 3, line.data(), &index), sigOk);
    EXPECT_EQ(y, 1.0f * 0.5f + 2.0f * -2.0f + 3.0f * 1.0f);
    index = before;
    ASSERT_EQ(sigFirOneSample_32f(0.5f, &y, second.data(), 3, line.data(), &index), sigOk);
    EXPECT_EQ(y, -1.0f * 0.5f + 0.5f * -2.0f + 4.0f * 1.0f);
}

TEST(FirOneSample, RefusalsTouchNeitherLineNorIndexNorOutput) {
    const std::vector<float> taps = {1.0f, 2.0f};
    std::vector<float> line = {9, 9, 9, 9};
    int index = 1;
    float y = 42.0f;
    EXPECT_EQ(sigFirOneSample_32f(1.0f, nullptr, taps.data(), 2, line.data(), &index),
              sigErrNullPtr);
    EXPECT_EQ(sigFirOneSample_32f(1.0f, &y, nullptr, 2, line.data(), &index), sigErrNullPtr);
    EXPECT_EQ(sigFirOneSample_32f(1.0f, &y, taps.data(), 0, nullptr, &index), sigErrFirLength);
    EXPECT_EQ(sigFirOneSample_32f(1.0f, &y, taps.data(), -3, line.data(), nullptr),
              sigErrFirLength);
    EXPECT_EQ(sigFirOneSample_32f(1.0f, &y, taps.data(), 2, nullptr, &index), sigErrNullPtr);
    EXPECT_EQ(sigFirOneSample_32f(1.0f, &y, taps.data(), 2, line.data(), nullptr), sigErrNullPtr);
    // An index outside the line would write past it.
    for (int bad : {-1, 2, 1000}) {
        index = bad;
        EXPECT_EQ(sigFirOneSample_32f(1.0f, &y, taps.data(), 2, line.data(), &index),
                  sigErrStateMismatch);
        EXPECT_EQ(index, bad);
    }
    EXPECT_EQ(line, (std::vector<float>{9, 9, 9, 9}));
    EXPECT_EQ(y, 42.0f);
}

TEST(FirOneSample, SampleBitsAreStoredUnchanged) {
    const std::vector<float> taps = {0.0f};
    std::vector<float> line(2, 0.0f);
    int index = 0;
    float y = 0.0f;
    const float negativeZero = testkit::floatOf(0x80000000u);
    ASSERT_EQ(sigFirOneSample_32f(negativeZero, &y, taps.data(), 1, line.data(), &index), sigOk);
    EXPECT_EQ(testkit::bitsOf(line[0]), 0x80000000u);
    EXPECT_EQ(testkit::bitsOf(line[1]), 0x80000000u);
}

} // namespace
