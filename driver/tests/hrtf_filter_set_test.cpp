#include "driver/effects/hrtf_filter_set.h"
#include "driver/effects/hrtf_tables.h"
#include "platform/kernel/pool.h"

#include "driver/tests/test_planes.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr int kRates[] = {44100, 48000};

std::vector<int> Filter(const HrtfRow& row, int first) {
    return std::vector<int>(row.begin() + first, row.begin() + first + HrtfTaps);
}

// Share of a filter's energy above a quarter of the sample rate.
double HighBandShare(const std::vector<int>& taps) {
    double high = 0.0, total = 0.0;
    constexpr int Bins = 256;
    for (int b = 0; b <= Bins; ++b) {
        std::complex<double> h = 0.0;
        for (int k = 0; k < HrtfTaps; ++k)
            h += double(taps[k]) * std::polar(1.0, -std::numbers::pi * b * k / Bins);
        total += std::norm(h);
        if (b > Bins / 2) high += std::norm(h);
    }
    return high / total;
}

TEST(HrtfTables, QuotedValuesAndRowLayout) {
    struct Case {
        int rate;
        std::array<int, 8> farDelays;
    };
    const Case cases[] = {{44100, {11, 11, 0, 0, 13, 13, 28, 28}},
                          {48000, {12, 12, 0, 0, 14, 14, 31, 31}}};
    const int directions[8] = {30, 30, 0, 0, 150, 150, 99, 99};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        const HrtfTable* table = HrtfTableForRate(c.rate);
        ASSERT_NE(table, nullptr);
        for (int r = 0; r < HrtfRows; ++r) {
            const HrtfRow& row = (*table)[r];
            EXPECT_EQ(row[HrtfRowDirection], directions[r]) << r;
            EXPECT_EQ(row[1], 0) << r;
            EXPECT_EQ(row[HrtfRowFarDelay], c.farDelays[r]) << r;
            EXPECT_EQ(row[HrtfRowFacingDelay], 0) << r;
            EXPECT_EQ(row, (*table)[r ^ 1]) << "rows come in pairs " << r;
        }
    }
    const HrtfRow& front = (*HrtfTableForRate(44100))[0];
    const std::vector<int> facing = Filter(front, HrtfRowFacingTaps);
    const std::vector<int> far = Filter(front, HrtfRowFarTaps);
    EXPECT_EQ(std::vector<int>(facing.begin(), facing.begin() + 4),
              (std::vector<int>{16374, 49, -17, 37}));
    EXPECT_EQ(std::vector<int>(far.begin(), far.begin() + 4),
              (std::vector<int>{4240, 3662, -1259, 1129}));
    EXPECT_EQ(HrtfTableForRate(46000), nullptr);
}

TEST(HrtfTables, FiltersSumToAboutHalfAndRearEarsAreDarker) {
    for (int rate : kRates) {
        SCOPED_TRACE(rate);
        const HrtfTable& table = *HrtfTableForRate(rate);
        for (int r = 0; r < HrtfRows; ++r) {
            for (int first : {HrtfRowFarTaps, HrtfRowFacingTaps}) {
                int sum = 0;
                for (int t : Filter(table[r], first)) sum += t;
                EXPECT_NEAR(sum, 16350, 50) << "row " << r << " from " << first;
            }
        }
        const double frontFar = HighBandShare(Filter(table[0], HrtfRowFarTaps));
        for (int r : {4, 6}) {
            const double far = HighBandShare(Filter(table[r], HrtfRowFarTaps));
            EXPECT_LT(far, frontFar) << "row " << r;
            EXPECT_LT(far, HighBandShare(Filter(table[r], HrtfRowFacingTaps))) << "row " << r;
        }
    }
}

TEST(HrtfTables, DirectionGrid) {
    struct Case {
        float azimuth, elevation;
        int quantAzimuth, quantElevation;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {-1, 0.5f, 0, 0},       {-178, 0, -177, 0}, {-180, 0, 180, 0},     {-30, 0.5f, -30, 0},
        {31.4f, 0, 30, 0},      {31.6f, 0, 33, 0},  {-31.6f, 0, -33, 0},   {10, 45, 12, 48},
        {10, -45, 12, -48},     {40, 88, 0, 90},    {40, -88, 0, -90},     {40, 70, 36, 72},
        {47, 70, 48, 72},       {100, 30, 99, 30},  {100, 33.1f, 102, 36}, {179, 0, 180, 0},
        {500, 0, 180, 0},       {10, 400, 0, 90},   {nan, nan, 0, 0},      {2.9f, -2.9f, 3, 0},
        {-4.6f, -3.1f, -6, -6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.azimuth << " / " << c.elevation);
        int az = -1, el = -1;
        QuantizeDirection(c.azimuth, c.elevation, &az, &el);
        EXPECT_EQ(az, c.quantAzimuth);
        EXPECT_EQ(el, c.quantElevation);
    }
}

TEST(HrtfTables, LookupMirrorsBySideOfTheQuantisedAzimuth) {
    struct Case {
        int row, rate;
        float azimuth;
        bool found, farOnLeft;
    };
    const Case cases[] = {
        {0, 44100, -30, true, false},  {1, 44100, 30, true, true},   {0, 48000, -1, true, true},
        {4, 48000, -178, true, false}, {4, 48000, -180, true, true}, {6, 44100, -100, true, false},
        {8, 48000, 0, false, false},   {-1, 48000, 0, false, false}, {0, 46000, 0, false, false},
        {0, 32000, 0, false, false},   {0, 96000, 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "row " << c.row << " rate " << c.rate << " az " << c.azimuth);
        HrtfPair left{}, right{};
        left.fill(7);
        right.fill(7);
        ASSERT_EQ(LookupHrtfPair(c.row, c.rate, c.azimuth, 0.5f, &left, &right), c.found);
        if (!c.found) {
            EXPECT_EQ(left[0], 7);
            continue;
        }
        const HrtfRow& row = (*HrtfTableForRate(c.rate))[c.row];
        const HrtfPair& far = c.farOnLeft ? left : right;
        const HrtfPair& facing = c.farOnLeft ? right : left;
        for (int k = 0; k < HrtfTaps; ++k) {
            EXPECT_EQ(far[k], row[HrtfRowFarTaps + k]);
            EXPECT_EQ(facing[k], row[HrtfRowFacingTaps + k]);
        }
        EXPECT_EQ(far[HrtfTaps], row[HrtfRowFarDelay]);
        EXPECT_EQ(facing[HrtfTaps], 0);
    }
    HrtfPair left{}, right{};
    EXPECT_FALSE(
        LookupHrtfPair(0, 48000, std::numeric_limits<float>::infinity(), 0, &left, &right));
    EXPECT_FALSE(LookupHrtfPair(0, 48000, 0, 0, nullptr, &right));
}

// ---- the filter set against a direct double-precision rendering ----

using Planes = TestPlanes;

struct Loaded {
    HrtfPair left[8], right[8];
    float gain[8];
};

Loaded LoadRandom(CHrtfFilterSet& set, std::uint32_t seed) {
    Loaded l{};
    for (int r = 0; r < 8; ++r) {
        for (int k = 0; k <= HrtfTaps; ++k) {
            seed = seed * 1664525u + 1013904223u;
            l.left[r][k] = static_cast<std::int16_t>(seed >> 16);
            l.right[r][k] = static_cast<std::int16_t>(seed >> 8);
        }
        // Delays up to 255 as a row may carry; the set clamps them to 40.
        l.left[r][HrtfTaps] = static_cast<std::int16_t>((seed >> 3) % 256);
        l.right[r][HrtfTaps] = static_cast<std::int16_t>((seed >> 11) % 48);
        l.gain[r] = 0.25f + r * 0.7f;
        set.Load(r, 0, 0, l.gain[r], &l.left[r], &l.right[r]);
    }
    return l;
}

Planes Reference(const Loaded& l, const Planes& in) {
    const int frames = static_cast<int>(in[0].size());
    Planes out = SilentPlanes(frames);
    out[3] = in[3];
    for (int side = 0; side < 2; ++side) {
        for (int j = 0; j < frames; ++j) {
            double sum = 0.0;
            for (int r = 0; r < 8; ++r) {
                if (r == 3) continue;
                const HrtfPair& pair = side == 0 ? l.left[r] : l.right[r];
                const int delay = std::min(pair[HrtfTaps] & 0xFF, 40);
                double y = 0.0;
                for (int k = 0; k < HrtfTaps; ++k) {
                    const int t = j - delay - k;
                    if (t >= 0) y += pair[k] / 32768.0 * in[r][t];
                }
                sum += (std::trunc(1024.0 * l.gain[r]) / 1024.0 + 1e-10) * y;
            }
            sum += 0.5 * in[3][j] * std::trunc(1024.0 * l.gain[3]) / 1024.0;
            out[side][j] = static_cast<float>(1.1875 * sum);
        }
    }
    return out;
}

TEST(HrtfFilterSet, MatchesDirectConvolutionWithDelaysGainsAndLowFrequency) {
    const int frames = 700;
    CHrtfFilterSet set;
    ASSERT_TRUE(set.Init(8));
    const Loaded l = LoadRandom(set, 17);
    Planes in = NoisePlanes(frames, 5);
    const Planes expected = Reference(l, in);
    Planes out = SilentPlanes(frames, 9.0f);
    auto ip = PlanePointers(in);
    auto op = PlanePointers(out);
    set.Process(ip.data(), op.data(), frames);
    for (int c = 0; c < 8; ++c)
        for (int j = 0; j < frames; ++j)
            ASSERT_NEAR(out[c][j], expected[c][j], 2e-5 * (1.0 + std::fabs(expected[c][j])))
                << "plane " << c << " frame " << j;
    for (int r = 0; r < 8; ++r) {
        if (r == 3) continue;
        EXPECT_LE(set.LeftDelay(r), 40);
        EXPECT_EQ(set.GainQ10(r), static_cast<std::int16_t>(1024.0f * l.gain[r]));
    }
}

TEST(HrtfFilterSet, RandomCallLengthsGiveIdenticalOutputInPlace) {
    const int frames = 1500;
    Planes whole = NoisePlanes(frames, 9);
    Planes pieces = whole;
    CHrtfFilterSet a, b;
    ASSERT_TRUE(a.Init(8));
    ASSERT_TRUE(b.Init(8));
    LoadRandom(a, 3);
    LoadRandom(b, 3);
    auto wp = PlanePointers(whole);
    a.Process(wp.data(), wp.data(), frames);
    InRandomPieces(frames, 1, 150, [&](int done, int n) {
        auto p = PlanePointers(pieces, done);
        b.Process(p.data(), p.data(), n);
    });
    EXPECT_EQ(whole, pieces);
}

TEST(HrtfFilterSet, LowFrequencyAloneAfterInit) {
    CHrtfFilterSet set;
    ASSERT_TRUE(set.Init(8));
    set.Load(3, 0, 0, 1.0f, nullptr, nullptr);
    Planes planes = SilentPlanes(16);
    planes[3].assign(16, 1.0f);
    auto p = PlanePointers(planes);
    set.Process(p.data(), p.data(), 16);
    for (int j = 0; j < 16; ++j) {
        EXPECT_FLOAT_EQ(planes[0][j], 0.59375f);
        EXPECT_FLOAT_EQ(planes[1][j], 0.59375f);
        EXPECT_EQ(planes[3][j], 1.0f);
    }
}

TEST(HrtfFilterSet, BadSamplesDoNotOutliveAHistoryClearAndSilenceStaysNormal) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    CHrtfFilterSet set;
    ASSERT_TRUE(set.Init(8));
    LoadRandom(set, 21);
    for (float bad : {nan, inf, -inf}) {
        SCOPED_TRACE(bad);
        Planes planes = SilentPlanes(64);
        planes[0][10] = bad;
        auto p = PlanePointers(planes);
        set.Process(p.data(), p.data(), 64);
        set.ClearHistory();
        Planes quiet = SilentPlanes(64);
        auto q = PlanePointers(quiet);
        set.Process(q.data(), q.data(), 64);
        EXPECT_EQ(quiet, SilentPlanes(64));
    }
    // An impulse, then a long silence: nothing subnormal comes out.
    Planes planes = SilentPlanes(4800);
    for (auto& plane : planes) plane[0] = 1.0f;
    auto p = PlanePointers(planes);
    set.Process(p.data(), p.data(), 4800);
    EXPECT_TRUE(AllFiniteAndNormal(planes));
}

TEST(HrtfFilterSet, OneBlockInThePoolAndNothingWhileProcessing) {
    CHrtfFilterSet set;
    kernel::failPoolRequest(1);
    EXPECT_FALSE(set.Init(8));
    kernel::clearPoolFaults();
    EXPECT_FALSE(set.IsInitialised());
    EXPECT_FALSE(set.Init(6));
    ASSERT_TRUE(set.Init(8));
    EXPECT_EQ(kernel::poolLiveBlocks(HrtfBlockTag), 1u);
    // 4096 bytes of scratch, then 1804 per channel: three 104-float output
    // areas, the 89-float input area and two 25-float tap arrays.
    ASSERT_EQ(kernel::poolLiveBytes(HrtfBlockTag), 8u * 1804 + 4096);
    const kernel::PoolBlock block = kernel::poolLiveBlocksTagged(HrtfBlockTag).front();
    const auto* begin = static_cast<const std::uint8_t*>(block.address);
    for (int row = 0; row < 8; ++row) {
        // Every channel's taps lie past the scratch and inside the block,
        // apart from every other channel's.
        for (const float* taps : {set.LeftTaps(row), set.RightTaps(row)}) {
            const auto* at = reinterpret_cast<const std::uint8_t*>(taps);
            EXPECT_GE(at, begin + 4096);
            EXPECT_LE(at + 25 * sizeof(float), begin + block.bytes);
        }
        if (row > 0) {
            EXPECT_GE(set.LeftTaps(row) - set.RightTaps(row - 1), 25);
        }
    }
    Planes planes = NoisePlanes(300, 2);
    auto p = PlanePointers(planes);
    const std::uint64_t requests = kernel::poolRequestCount();
    set.Process(p.data(), p.data(), 300);
    EXPECT_EQ(kernel::poolRequestCount(), requests);
    set.Free();
    EXPECT_EQ(kernel::poolLiveBlocks(HrtfBlockTag), 0u);
    const Planes before = planes;
    set.Process(p.data(), p.data(), 300); // freed: nothing happens
    EXPECT_EQ(planes, before);
}

} // namespace
