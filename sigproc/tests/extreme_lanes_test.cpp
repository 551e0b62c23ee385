// The largest and smallest element scans, every instruction set's build
// against the scalar walk kept here, bit for bit: ties of the two zeros,
// NaNs, infinities, lengths around every vector width and unaligned starts.
#include "sigproc/sigproc.h"
#include "sigproc/vector/extreme_lanes.h"
#include "testkit/float_bits.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

using testkit::bitsOf;

// The walk: an element replaces the running value only when strictly better.
float referenceScan(const float* src, int len, bool largest) {
    float running = src[0];
    for (int i = 1; i < len; ++i)
        if (largest ? src[i] > running : src[i] < running) running = src[i];
    return running;
}

// Arrays whose extremes tie often: values drawn from a few that compare
// equal or unordered (both zeros, NaN) beside ordinary and infinite ones.
enum class Mix { zerosAndNans, negativeAndZeros, positiveAndZeros, ordinary };

std::vector<float> mixed(std::size_t count, Mix mix, std::mt19937& rng) {
    std::vector<float> pool;
    switch (mix) {
    case Mix::zerosAndNans:
        pool = {0.0f, -0.0f, testkit::kQuietNan, -1.0f, 1.0f};
        break;
    case Mix::negativeAndZeros:
        pool = {-0.0f, 0.0f, -2.5f, -1e-40f, -testkit::kInfinity, testkit::kQuietNan};
        break;
    case Mix::positiveAndZeros:
        pool = {0.0f, -0.0f, 2.5f, 1e-40f, testkit::kInfinity, testkit::kQuietNan};
        break;
    case Mix::ordinary:
        break;
    }
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::uniform_int_distribution<std::size_t> pick(0, pool.empty() ? 0 : pool.size() - 1);
    std::uniform_int_distribution<int> coin(0, 3);
    std::vector<float> v(count);
    for (float& x : v) x = pool.empty() || coin(rng) == 0 ? value(rng) : pool[pick(rng)];
    return v;
}

const sigWideIsa kIsas[] = {sigWideIsa::baseline, sigWideIsa::avx2, sigWideIsa::avx512};

TEST(ExtremeLanes, EveryBuildGivesTheWalksBitsAtEveryLengthAndStart) {
    std::mt19937 rng(7);
    for (Mix mix : {Mix::zerosAndNans, Mix::negativeAndZeros, Mix::positiveAndZeros, Mix::ordinary})
        for (int round = 0; round < 20; ++round) {
            const std::vector<float> data = mixed(80, mix, rng);
            for (int start = 0; start < 4; ++start)
                for (int len = 1; len + start <= 76; ++len) {
                    const float* src = data.data() + start;
                    const float wantMax = referenceScan(src, len, true);
                    const float wantMin = referenceScan(src, len, false);
                    for (sigWideIsa isa : kIsas) {
                        if (!sigWideIsaSupported(isa)) continue;
                        ASSERT_EQ(bitsOf(sigMaxScans.of(isa)(src, len)), bitsOf(wantMax))
                            << "max, set " << int(isa) << " mix " << int(mix) << " start " << start
                            << " len " << len;
                        ASSERT_EQ(bitsOf(sigMinScans.of(isa)(src, len)), bitsOf(wantMin))
                            << "min, set " << int(isa) << " mix " << int(mix) << " start " << start
                            << " len " << len;
                    }
                }
        }
}

// The cases a lane split gets wrong if it combines carelessly: the first zero
// of the array lying in a later lane than another zero, or after the vectors
// in the leftover elements.
TEST(ExtremeLanes, TheArraysFirstZeroDecidesATieOfZeros) {
    struct Tie {
        int len;
        int negativeZeroAt;
        int positiveZeroAt;
    };
    const Tie ties[] = {{70, 37, 5}, {70, 5, 37},  {70, 69, 68}, {70, 68, 69}, {33, 1, 17},
                        {33, 17, 1}, {64, 63, 16}, {19, 18, 2},  {70, 16, 1},  {70, 1, 16},
                        {40, 4, 1},  {40, 8, 3},   {70, 32, 9},  {70, 66, 2}};
    for (const Tie& t : ties)
        for (bool largest : {true, false}) {
            // All below (above) zero apart from the two zeros.
            std::vector<float> v(std::size_t(t.len), largest ? -1.0f : 1.0f);
            v[std::size_t(t.negativeZeroAt)] = -0.0f;
            v[std::size_t(t.positiveZeroAt)] = 0.0f;
            const float want = referenceScan(v.data(), t.len, largest);
            const sigWideVariants<sigExtremeScan>& scans = largest ? sigMaxScans : sigMinScans;
            for (sigWideIsa isa : kIsas) {
                if (!sigWideIsaSupported(isa)) continue;
                EXPECT_EQ(bitsOf(scans.of(isa)(v.data(), t.len)), bitsOf(want))
                    << "set " << int(isa) << " len " << t.len << " -0 at " << t.negativeZeroAt
                    << " +0 at " << t.positiveZeroAt << (largest ? " max" : " min");
            }
            float viaEntry = 0.0f;
            ASSERT_EQ((largest ? sigMax_32f : sigMin_32f)(v.data(), t.len, &viaEntry), sigOk);
            EXPECT_EQ(bitsOf(viaEntry), bitsOf(want));
        }
}

} // namespace
