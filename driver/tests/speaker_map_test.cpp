#include "driver/common/sigproc_pool_hooks.h"
#include "driver/effects/fast_sqrt.h"
#include "driver/effects/hrtf_filter_set.h"
#include "driver/effects/hrtf_room.h"
#include "driver/effects/speaker_map.h"
#include "platform/kernel/pool.h"

#include "driver/tests/test_planes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

using Planes = TestPlanes;
constexpr int kSpeakerPlane[8] = {0, 1, 4, 5, 2, 6, 7, 3};
constexpr double kDirection[7] = {-30, 30, -150, 150, 0, -100, 100};

class SpeakerMapTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(map.Alloc(), 1); }
    const CSigprocPoolHooks poolHooks;
    CSpeakerMap map;
};

TEST_F(SpeakerMapTest, NeighboursAndGains) {
    struct Case {
        const char* name;
        int speaker;
        float distance, angle;
        int indexA, indexB;
        double gainA, gainB;
    };
    const double r37 = std::sqrt(3.0 / 7.0), r47 = std::sqrt(4.0 / 7.0);
    const Case cases[] = {
        {"front left at home", 0, 30, -30, 0, 0, 1.0, 1e-12},
        {"between side left and front left", 0, 30, -60, 5, 0, r37, r47},
        {"200 wraps to -160", 2, 30, 200, 3, 2, std::sqrt(1.0 / 6), std::sqrt(5.0 / 6)},
        {"-190 wraps to 170", 3, 30, -190, 3, 2, std::sqrt(2.0 / 3), std::sqrt(1.0 / 3)},
        {"far round the circle", 1, 30, 720.0f * 1000 + 15, 4, 1, std::sqrt(0.5), std::sqrt(0.5)},
        {"3.6e9 degrees: wrapped in one step", 1, 30, 3.6e9f, 4, 4, 1.0, 1e-12},
        {"half distance: capped", 4, 15, 0, 4, 4, 2.37, 2.37e-12},
        {"twice the distance", 5, 60, -100, 5, 5, 0.25, 0.25e-12},
        {"zero distance: capped", 6, 0, 100, 6, 6, 2.37, 2.37e-12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(map.SetPosition(c.speaker, c.distance, c.angle));
        EXPECT_EQ(map.NewIndexA(c.speaker), c.indexA);
        EXPECT_EQ(map.NewIndexB(c.speaker), c.indexB);
        EXPECT_NEAR(map.NewGainA(c.speaker), c.gainA, 4e-5 * c.gainA);
        EXPECT_NEAR(map.NewGainB(c.speaker), c.gainB, 4e-5 * c.gainB);
        float distance = 0, angle = 0;
        EXPECT_TRUE(map.Get(c.speaker, &distance, &angle));
        EXPECT_EQ(distance, c.distance);
        EXPECT_EQ(angle, c.angle); // as given, not wrapped
    }
}

TEST_F(SpeakerMapTest, RefusesBadPositionsAndChangesNothing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        int speaker;
        float distance, angle;
    };
    const Case cases[] = {{8, 30, 0},  {-1, 30, 0},  {0, nan, 0},  {0, 30, nan},
                          {0, inf, 0}, {0, 30, inf}, {0, 30, -inf}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.speaker << " " << c.distance << " " << c.angle);
        EXPECT_FALSE(map.SetPosition(c.speaker, c.distance, c.angle));
        float distance = 1, angle = 1;
        map.Get(0, &distance, &angle);
        EXPECT_EQ(distance, 0.0f);
        EXPECT_EQ(angle, -30.0f);
        EXPECT_EQ(map.NewGainA(0), 1.0f);
    }
    float d = 5, a = 5;
    EXPECT_TRUE(map.Get(7, &d, &a)); // the low-frequency speaker has no readable position
    EXPECT_EQ(d, 5.0f);
}

// Constant power: gA^2 + gB^2 = g^2 all round the circle, at several distances.
TEST_F(SpeakerMapTest, PowerIsConstantAllRound) {
    for (float distance : {30.0f, 45.0f, 20.0f, 100.0f}) {
        const double g = std::min(std::pow(30.0 / distance, 2.0), 2.37);
        for (int tenth = -1800; tenth <= 1800; ++tenth) {
            const float angle = tenth / 10.0f;
            ASSERT_TRUE(map.SetPosition(((tenth % 7) + 7) % 7, distance, angle));
            const int s = ((tenth % 7) + 7) % 7;
            const double power = std::pow(map.NewGainA(s), 2.0) + std::pow(map.NewGainB(s), 2.0);
            ASSERT_NEAR(power / (g * g), 1.0, 1e-4) << angle;
            // the two directions enclose the angle
            const double a = kDirection[map.NewIndexA(s)], b = kDirection[map.NewIndexB(s)];
            const double span = std::fmod(b - a + 720.0, 360.0);
            const double along = std::fmod(angle - a + 720.0, 360.0);
            ASSERT_LE(along, span + 1e-4) << angle;
        }
    }
}

struct Pan {
    int a[7], b[7];
    double ga[7], gb[7];
    double low;
};

Pan Snapshot(const CSpeakerMap& map, double low) {
    Pan p{};
    for (int s = 0; s < 7; ++s) {
        p.a[s] = map.NewIndexA(s);
        p.b[s] = map.NewIndexB(s);
        p.ga[s] = map.NewGainA(s);
        p.gb[s] = map.NewGainB(s);
    }
    p.low = low;
    return p;
}

// One block of the map in double: old panning faded by down, new by up.
Planes ReferenceBlock(const Planes& in, const Pan& from, const Pan& to, bool fade) {
    const int n = static_cast<int>(in[0].size());
    Planes out = SilentPlanes(n);
    for (int j = 0; j < n; ++j) {
        const double up = fade ? double(j) / n : 1.0, down = fade ? 1.0 - up : 0.0;
        double acc[7] = {};
        for (int s = 0; s < 7; ++s) {
            const double x = in[kSpeakerPlane[s]][j];
            acc[from.a[s]] += x * from.ga[s] * down;
            acc[from.b[s]] += x * from.gb[s] * down;
            acc[to.a[s]] += x * to.ga[s] * up;
            acc[to.b[s]] += x * to.gb[s] * up;
        }
        for (int s = 0; s < 7; ++s) out[kSpeakerPlane[s]][j] = static_cast<float>(acc[s]);
        out[3][j] = static_cast<float>(in[3][j] * (from.low * down + to.low * up));
    }
    return out;
}

void ExpectNear(const Planes& got, const Planes& expected, const char* what) {
    for (int c = 0; c < 8; ++c)
        for (std::size_t j = 0; j < got[c].size(); ++j)
            ASSERT_NEAR(got[c][j], expected[c][j], 1e-5)
                << what << " plane " << c << " frame " << j;
}

TEST_F(SpeakerMapTest, CrossfadesOverOneBlockThenHoldsTheNewPanning) {
    const Pan home = Snapshot(map, 1.0);
    ASSERT_TRUE(map.SetPosition(0, 30, -60));
    ASSERT_TRUE(map.SetPosition(5, 45, 170));
    ASSERT_TRUE(map.SetPosition(7, 60, 0));
    const Pan moved = Snapshot(map, 0.25);
    for (int frames : {128, 37}) {
        SCOPED_TRACE(frames);
        CSpeakerMap fresh;
        ASSERT_EQ(fresh.Alloc(), 1);
        // The low-frequency change first: later changes keep its fade.
        fresh.SetPosition(7, 60, 0);
        fresh.SetPosition(0, 30, -60);
        fresh.SetPosition(5, 45, 170);
        Planes in = NoisePlanes(2 * frames, 4);
        Planes out = SilentPlanes(2 * frames);
        for (int at : {0, frames}) {
            auto ip = PlanePointers(in, at);
            auto op = PlanePointers(out, at);
            fresh.Process(ip.data(), op.data(), frames);
        }
        const auto block = [frames](const Planes& planes, int at) {
            Planes part;
            for (const auto& plane : planes)
                part.emplace_back(plane.begin() + at, plane.begin() + at + frames);
            return part;
        };
        ExpectNear(block(out, 0), ReferenceBlock(block(in, 0), home, moved, true), "fade");
        Planes hold = ReferenceBlock(block(in, frames), moved, moved, false);
        for (int s = 0; s < 8; ++s) hold[kSpeakerPlane[s]][0] += 1e-12f;
        ExpectNear(block(out, frames), hold, "hold");
    }
}

TEST_F(SpeakerMapTest, RandomCallLengthsAgreeWithinTheBlockOffset) {
    const int frames = 2000;
    ASSERT_TRUE(map.SetPosition(1, 40, 75));
    CSpeakerMap other;
    ASSERT_EQ(other.Alloc(), 1);
    ASSERT_TRUE(other.SetPosition(1, 40, 75));
    for (CSpeakerMap* m : {&map, &other}) {
        Planes warm = NoisePlanes(128, 1); // the crossfade block, the same length for both
        auto w = PlanePointers(warm);
        m->Process(w.data(), w.data(), 128);
    }
    Planes whole = NoisePlanes(frames, 8), pieces = whole;
    auto wp = PlanePointers(whole);
    map.Process(wp.data(), wp.data(), frames);
    InRandomPieces(frames, 3, 300, [&](int done, int n) {
        auto p = PlanePointers(pieces, done);
        other.Process(p.data(), p.data(), n);
    });
    for (int c = 0; c < 8; ++c)
        for (int j = 0; j < frames; ++j)
            ASSERT_NEAR(whole[c][j], pieces[c][j], 1.1e-12) << c << " " << j;
}

TEST_F(SpeakerMapTest, BadSamplesPassAndLeaveNothingBehind) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Planes planes = SilentPlanes(128);
    planes[2][5] = nan;
    planes[3][6] = std::numeric_limits<float>::infinity();
    auto p = PlanePointers(planes);
    map.Process(p.data(), p.data(), 128);
    Planes quiet = SilentPlanes(256);
    for (auto& plane : quiet) plane[0] = 1.0f;
    auto q = PlanePointers(quiet);
    map.Process(q.data(), q.data(), 256);
    EXPECT_TRUE(AllFiniteAndNormal(quiet));
}

TEST(SpeakerMap, AllocationFailureLeavesNothingAndProcessingTakesNothing) {
    const CSigprocPoolHooks poolHooks;
    for (std::uint64_t failing = 1; failing <= 18; ++failing) {
        SCOPED_TRACE(failing);
        CSpeakerMap map;
        kernel::failPoolRequest(failing);
        EXPECT_EQ(map.Alloc(), 0);
        kernel::clearPoolFaults();
        EXPECT_EQ(kernel::poolLiveBlocks(SigprocPoolTag), 0u);
        Planes planes = NoisePlanes(64, 1);
        const Planes before = planes;
        auto p = PlanePointers(planes);
        map.Process(p.data(), p.data(), 64); // not allocated: untouched
        EXPECT_EQ(planes, before);
    }
    CSpeakerMap map;
    ASSERT_EQ(map.Alloc(), 1);
    Planes planes = NoisePlanes(1000, 1);
    auto p = PlanePointers(planes);
    const std::uint64_t requests = kernel::poolRequestCount();
    map.SetPosition(3, 20, 10);
    map.Process(p.data(), p.data(), 1000);
    EXPECT_EQ(kernel::poolRequestCount(), requests);
    map.Free();
    EXPECT_EQ(kernel::poolLiveBlocks(SigprocPoolTag), 0u);
}

// ---- the room ----

TEST(HrtfRoom, DistanceGain) {
    CHrtfRoom room;
    struct Case {
        float distance, gain;
    };
    const Case cases[] = {{30, 1.0f},
                          {3, 6.31f},
                          {0, 6.31f},
                          {-5, 6.31f},
                          {60, 0.5f},
                          {10, 3.0f},
                          {std::numeric_limits<float>::quiet_NaN(), 6.31f}};
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(room.DistanceGain(c.distance), c.gain) << c.distance;
    room.SetDistance(0);
    room.SetDistance(-3);
    EXPECT_FLOAT_EQ(room.DistanceGain(30), 1.0f);
    room.SetDistance(15);
    EXPECT_FLOAT_EQ(room.DistanceGain(30), 0.5f);
}

TEST(HrtfRoom, SetRateLoadsEveryChannelFromTheTable) {
    struct Case {
        int rate;
        bool loaded;
    };
    for (const Case& c :
         {Case{44100, true}, Case{48000, true}, Case{46000, false}, Case{32000, false}}) {
        SCOPED_TRACE(c.rate);
        CHrtfRoom room;
        ASSERT_EQ(room.CreateFilterSet(), 1);
        room.SetRate(c.rate);
        const CHrtfFilterSet& set = *room.FilterSet();
        for (int plane = 0; plane < 8; ++plane) {
            EXPECT_EQ(set.GainQ10(plane), 1024);
            if (plane == 3) continue;
            HrtfPair left{}, right{};
            const bool found = LookupHrtfPair(plane, c.rate, float(CHrtfRoom::HomeAngles[plane]),
                                              0.5f, &left, &right);
            ASSERT_EQ(found, c.loaded);
            for (int k = 0; k < HrtfTaps; ++k) {
                EXPECT_EQ(set.LeftTaps(plane)[k], found ? left[k] / 32768.0f : 0.0f);
                EXPECT_EQ(set.RightTaps(plane)[k], found ? right[k] / 32768.0f : 0.0f);
            }
            EXPECT_EQ(set.LeftDelay(plane), found ? left[HrtfTaps] : 0);
            EXPECT_EQ(set.RightDelay(plane), found ? right[HrtfTaps] : 0);
        }
    }
}

TEST(HrtfRoom, SourcesRefuseBadValuesAndWrapAngles) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    CHrtfRoom room;
    ASSERT_EQ(room.CreateFilterSet(), 1);
    room.SetRate(48000);
    EXPECT_FALSE(room.SetSource(8, 0, 0, 30));
    EXPECT_FALSE(room.SetSource(0, inf, 0, 30));
    EXPECT_FALSE(room.SetSource(0, 0, nan, 30));
    EXPECT_FALSE(room.SetSource(0, 0, 0, inf));
    EXPECT_EQ(room.FilterSet()->GainQ10(0), 1024);
    // 330 + 360 000 degrees is -30: front left's own filters, and half the distance doubles the
    // gain.
    EXPECT_TRUE(room.SetSpeakerAngle(1, 330.0f + 360000.0f, 15));
    HrtfPair left{}, right{};
    ASSERT_TRUE(LookupHrtfPair(1, 48000, -30, 0.5f, &left, &right));
    EXPECT_EQ(room.FilterSet()->LeftTaps(1)[0], left[0] / 32768.0f);
    EXPECT_EQ(room.FilterSet()->RightDelay(1), right[HrtfTaps]);
    EXPECT_EQ(room.FilterSet()->GainQ10(1), 2048);
    // An angle no loop of +-360 could bring home: a remainder does.
    EXPECT_TRUE(room.SetSource(2, 1e30f, 0.5f, 30));
    EXPECT_TRUE(room.SetSource(2, -3.4e38f, 0.5f, 30));
}

TEST(HrtfRoom, ProcessesLikeItsFilterSetAndResetForgetsThePast) {
    CHrtfRoom room;
    Planes planes = NoisePlanes(300, 6);
    const Planes before = planes;
    auto p = PlanePointers(planes);
    room.Process(p.data(), nullptr, 300); // no filter set: untouched
    EXPECT_EQ(planes, before);
    ASSERT_EQ(room.CreateFilterSet(), 1);
    room.SetRate(44100);
    CHrtfFilterSet direct;
    ASSERT_TRUE(direct.Init(8));
    for (int plane = 0; plane < 8; ++plane) {
        HrtfPair left{}, right{};
        LookupHrtfPair(plane, 44100, float(CHrtfRoom::HomeAngles[plane]), 0.5f, &left, &right);
        direct.Load(plane, 0, 0, 1.0f, &left, &right);
    }
    Planes expected = planes;
    auto e = PlanePointers(expected);
    direct.Process(e.data(), e.data(), 300);
    const std::uint64_t requests = kernel::poolRequestCount();
    room.Process(p.data(), nullptr, 300);
    EXPECT_EQ(kernel::poolRequestCount(), requests);
    EXPECT_EQ(planes, expected);

    Planes bad = SilentPlanes(64, std::numeric_limits<float>::quiet_NaN());
    auto b = PlanePointers(bad);
    room.Process(b.data(), nullptr, 64);
    room.Reset();
    Planes quiet = SilentPlanes(64);
    auto q = PlanePointers(quiet);
    room.Process(q.data(), nullptr, 64);
    EXPECT_EQ(quiet, SilentPlanes(64));
}

TEST(HrtfRoom, FilterSetAllocationFailures) {
    for (std::uint64_t failing = 1; failing <= 2; ++failing) {
        SCOPED_TRACE(failing);
        CHrtfRoom room;
        kernel::failPoolRequest(failing);
        EXPECT_EQ(room.CreateFilterSet(), 0);
        kernel::clearPoolFaults();
        EXPECT_EQ(room.FilterSet(), nullptr);
        EXPECT_EQ(kernel::poolLiveBlocks(HrtfFilterSetTag), 0u);
        EXPECT_EQ(kernel::poolLiveBlocks(HrtfBlockTag), 0u);
    }
    CHrtfRoom room;
    ASSERT_EQ(room.CreateFilterSet(), 1);
    EXPECT_EQ(kernel::poolLiveBlocks(HrtfFilterSetTag), 1u);
    room.FreeFilterSet();
    EXPECT_EQ(kernel::poolLiveBlocks(HrtfFilterSetTag), 0u);
    EXPECT_EQ(kernel::poolLiveBlocks(HrtfBlockTag), 0u);
}

} // namespace
