// The impulse-response store and crosstalk tables of the headphone FIR: the
// layout is fixed, the values follow the generation rules.
#include "driver/zurazuvera/common/VSH/impulse_store.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <vector>

namespace {

struct Region {
    int room;
    int firstCode;
    int tailLength;
};

// The sets as the store is documented, in store order; a set of code 31 has
// one head block, the others four.
constexpr Region Layout[] = {
    {3, 24, 7168}, {2, 24, 3072}, {1, 24, 3072}, {3, 25, 7168}, {2, 25, 5120},
    {1, 25, 3072}, {3, 31, 6144}, {2, 31, 6144}, {1, 31, 6144},
};

// The head blocks and two-channel tails of the sets tile the store in that
// order without gap or overlap; the crosstalk tables follow.
TEST(VshStoreLayout, SetsTileTheStoreInTheDocumentedOrder) {
    ASSERT_EQ(std::size(ImpulseSets), std::size(Layout));
    std::size_t at = 0;
    for (std::size_t i = 0; i < std::size(Layout); ++i) {
        SCOPED_TRACE(i);
        const ImpulseSet& set = ImpulseSets[i];
        EXPECT_EQ(set.room, Layout[i].room);
        EXPECT_EQ(set.codes[0], Layout[i].firstCode);
        EXPECT_EQ(set.headBlocks, Layout[i].firstCode == 31 ? 1 : 4);
        EXPECT_EQ(set.tailLength, Layout[i].tailLength);
        EXPECT_EQ(set.firstHead, at);
        at += std::size_t(set.headBlocks) * HeadBlockLength;
        EXPECT_EQ(set.tail, at);
        at += std::size_t(TailChannels) * set.tailLength;
    }
    EXPECT_EQ(at, ImpulseStoreLength);
    EXPECT_EQ(ImpulseStoreLength * sizeof(float), 1482752u);
    EXPECT_EQ(CrosstalkTablesLength, 2560u);
    for (int a = 0; a < CrosstalkAngleCount; ++a)
        EXPECT_EQ(FindCrosstalkTable(CrosstalkAngles[a]) - ImpulseStore(),
                  std::ptrdiff_t(ImpulseStoreLength + 512 * a));
    for (int angle : {0, 25, -1, 31}) EXPECT_EQ(FindCrosstalkTable(angle), nullptr);
}

// Each (table room, code) finds its own head block and its set's tail.
TEST(VshStoreLayout, SelectionFindsItsOffsets) {
    const int codes[2][4] = {{24, 29, 34, 39}, {25, 30, 35, 40}};
    for (const ImpulseSet& set : ImpulseSets) {
        for (int b = 0; b < set.headBlocks; ++b) {
            const int code = set.codes[0] == 31 ? 31 : codes[set.codes[0] - 24][b];
            ImpulseSelection found{};
            ASSERT_TRUE(FindImpulseSet(set.room, code, &found)) << set.room << " " << code;
            EXPECT_EQ(found.head - ImpulseStore(),
                      std::ptrdiff_t(set.firstHead + b * HeadBlockLength));
            EXPECT_EQ(found.tail - ImpulseStore(), std::ptrdiff_t(set.tail));
            EXPECT_EQ(found.tailLength, set.tailLength);
        }
    }
    ImpulseSelection none{};
    EXPECT_FALSE(FindImpulseSet(0, 24, &none));
    EXPECT_FALSE(FindImpulseSet(4, 24, &none));
    EXPECT_FALSE(FindImpulseSet(1, 26, &none));
}

double Sum(const float* taps, int length) {
    double sum = 0.0;
    for (int i = 0; i < length; ++i) sum += taps[i];
    return sum;
}

int FirstNonZero(const float* taps, int length) {
    for (int i = 0; i < length; ++i)
        if (taps[i] != 0.0f) return i;
    return -1;
}

// Every head filter passes DC at the head gain; the far ear hears a
// lateral source later than the near ear by the interaural delay.
TEST(VshStoreValues, HeadFiltersHaveUnitShadowAtDcAndTheirDelays) {
    for (const ImpulseSet& set : ImpulseSets) {
        for (int b = 0; b < set.headBlocks; ++b) {
            const float* block = ImpulseStore() + set.firstHead + b * HeadBlockLength;
            const double azimuth[5] = {-double(set.codes[b]), double(set.codes[b]), 0, -110, 110};
            for (int s = 0; s < 5; ++s) {
                const float* left = block + (2 * s) * HeadFilterLength;
                const float* right = block + (2 * s + 1) * HeadFilterLength;
                EXPECT_NEAR(Sum(left, HeadFilterLength), 0.25, 1e-4);
                EXPECT_NEAR(Sum(right, HeadFilterLength), 0.25, 1e-4);
                const int itd = int(std::lround(InterauralDelaySamples(azimuth[s])));
                const int farDelay = 2 + itd;
                const int nearLeft = FirstNonZero(left, HeadFilterLength);
                const int nearRight = FirstNonZero(right, HeadFilterLength);
                EXPECT_EQ(nearLeft, azimuth[s] > 0 ? farDelay : 2) << s;
                EXPECT_EQ(nearRight, azimuth[s] < 0 ? farDelay : 2) << s;
            }
        }
    }
}

TEST(VshStoreValues, InterauralDelayOfASphericalHead) {
    // 8.75 cm / 343 m/s x (pi/2 + 1) x 44100 for a source at the side.
    EXPECT_NEAR(InterauralDelaySamples(90.0), 28.92146, 1e-4);
    EXPECT_NEAR(InterauralDelaySamples(-90.0), 28.92146, 1e-4);
    EXPECT_NEAR(InterauralDelaySamples(0.0), 0.0, 1e-12);
    EXPECT_NEAR(InterauralDelaySamples(110.0), InterauralDelaySamples(70.0), 1e-9);
}

// Tails decay to -60 dB at the last tap, and the two ears are decorrelated.
TEST(VshStoreValues, TailsDecayAndAreDecorrelated) {
    for (const ImpulseSet& set : ImpulseSets) {
        const int n = set.tailLength;
        const float* left = ImpulseStore() + set.tail;
        const float* right = left + n;
        double cross = 0.0, l2 = 0.0, r2 = 0.0;
        for (int i = 0; i < n; ++i) {
            const double bound = 0.01 * std::pow(10.0, -3.0 * i / (n - 1)) * (1.0 + 1e-6);
            ASSERT_LE(std::fabs(left[i]), bound) << i;
            ASSERT_LE(std::fabs(right[i]), bound) << i;
            cross += double(left[i]) * right[i];
            l2 += double(left[i]) * left[i];
            r2 += double(right[i]) * right[i];
        }
        EXPECT_LT(std::fabs(cross) / std::sqrt(l2 * r2), 0.1);
        EXPECT_GT(std::sqrt(l2 / n), 1e-4); // noise, not silence
    }
}

// Sum taps A + B truncate 1 / (1 + 0.5 z^-d), difference taps A - B
// 1 / (1 - 0.5 z^-d): their DC sums are 2/3 and 2.
TEST(VshStoreValues, CrosstalkTapSums) {
    for (int angle : CrosstalkAngles) {
        SCOPED_TRACE(angle);
        const float* table = FindCrosstalkTable(angle);
        std::vector<double> sum(256), diff(256);
        for (int i = 0; i < 256; ++i) {
            sum[i] = double(table[i]) + table[256 + i];
            diff[i] = double(table[i]) - table[256 + i];
        }
        double s = 0, d = 0;
        for (int i = 0; i < 256; ++i) s += sum[i], d += diff[i];
        EXPECT_NEAR(s, 2.0 / 3.0, 1e-5);
        EXPECT_NEAR(d, 2.0, 1e-5);
        const int delay = std::max(1, int(std::lround(InterauralDelaySamples(angle))));
        EXPECT_EQ(sum[0], 1.0);
        EXPECT_EQ(sum[delay], -0.5);
        EXPECT_EQ(diff[delay], 0.5);
        EXPECT_EQ(FirstNonZero(table + 1, 255) + 1, 2 * delay); // A: even powers only
    }
}

} // namespace
