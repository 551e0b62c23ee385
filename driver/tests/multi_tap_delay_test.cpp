#include "driver/effects/multi_tap_delay.h"
#include "driver/effects/reverb_sets.h"
#include "platform/kernel/pool.h"

#include "driver/tests/reference_reverb.h"
#include "driver/tests/test_planes.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace {

// The object lives in the pool, as its owner creates it.
std::unique_ptr<CMultiTapDelay> NewReverb() {
    return std::unique_ptr<CMultiTapDelay>(new (kernel::PoolType::NonPagedNx, ReverbTag)
                                               CMultiTapDelay());
}

struct SetCase {
    int rate, number, length;
    std::array<int, 4> delays;
    int lineTaps;
    std::array<int, 7> firLengths;
};
const SetCase kSets[] = {
    {48000, 0, 3588, {599, 871, 778, 1032}, 2, {16, 16, 16, 20, 20, 18, 18}},
    {44100, 1, 3307, {550, 800, 715, 948}, 2, {15, 15, 15, 19, 19, 17, 17}},
    {32000, 2, 2408, {399, 580, 518, 687}, 3, {10, 10, 10, 13, 13, 12, 12}},
    {96000, 16, 7155, {1199, 1743, 1557, 2064}, 4, {34, 34, 34, 42, 42, 38, 38}},
    {88200, 17, 6595, {1102, 1602, 1430, 1897}, 4, {32, 32, 32, 40, 40, 36, 36}},
};

TEST(ReverbSets, QuotedValues) {
    const ReverbSet& s = *ReverbSetByNumber(0);
    EXPECT_EQ(s.lineDelays[0], 599);
    EXPECT_NEAR(s.lineGains[0][0], 0.38037f, 5e-6);
    EXPECT_NEAR(s.lineGains[0][1], 0.38037f, 5e-6);
    const float highPass[5] = {0.49066f, -0.98126f, 0.49066f, 0.98102f, -0.4816f};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(s.highPass[i], highPass[i]);
    const int steps[4] = {601, 873, 780, 1034};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(s.writeSteps[k], steps[k]);
    for (const SetCase& c : kSets) {
        SCOPED_TRACE(c.rate);
        const ReverbSet& r = *ReverbSetByNumber(c.number);
        const float input[8] = {-0.5517f, 0.61895f, 0.5517f,  0.61895f,
                                0.56515f, 0.32965f, 0.56515f, 0.32965f};
        const float early[11] = {1.0f,     1.0f,     0.84066f, 1.0f,     0.84066f, 0.82001f,
                                 0.82001f, 0.90997f, 1.0f,     0.90997f, 1.0f};
        const float feedback[4][4] = {{-0.15247f, -0.10034f, 0.2981f, 0.93689f},
                                      {-0.90576f, 0.21106f, -0.36743f, -0.00787f},
                                      {0.0163f, 0.8822f, 0.46771f, -0.0517f},
                                      {-0.39508f, -0.40875f, 0.74658f, -0.34564f}};
        for (int i = 0; i < 8; ++i) EXPECT_EQ(r.input[i], input[i]);
        for (int i = 0; i < 11; ++i) EXPECT_EQ(r.earlyGains[i], early[i]);
        for (int i = 0; i < 12; ++i) EXPECT_EQ(r.earlyMatrix[i], i % 4 == 3 ? -0.5f : 0.5f);
        for (int j = 0; j < 7; ++j) {
            EXPECT_EQ(r.leftRow[j], 1.0f);
            EXPECT_EQ(r.rightRow[j], j == 0 || j % 2 == 1 ? 1.0f : -1.0f);
            EXPECT_EQ(r.firLengths[j], c.firLengths[j]);
        }
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(r.lineDelays[k], c.delays[k]);
            for (int j = 0; j < 4; ++j) EXPECT_EQ(r.feedback[k][j], feedback[k][j]);
        }
        EXPECT_EQ(r.lineTaps, c.lineTaps);
        const float tone[5][3] = {{0.5f, 1, 0.5f}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}};
        for (int st = 0; st < 5; ++st)
            for (int t = 0; t < 3; ++t) EXPECT_EQ(r.tone[st][t], tone[st][t]);
    }
}

// The regions fill the buffer: lines, high-pass sections, early FIRs, tone chains.
TEST(ReverbSets, RegionsFillTheBuffer) {
    for (const SetCase& c : kSets) {
        SCOPED_TRACE(c.rate);
        const ReverbSet& r = *ReverbSetByNumber(c.number);
        int sum = 0;
        for (int k = 0; k < 4; ++k) sum += c.delays[k] + c.lineTaps;
        sum += 4 * 6;
        for (int n : c.firLengths) sum += 2 * n + 1;
        sum += 10 + 11;
        EXPECT_EQ(sum, c.length);
        EXPECT_EQ(r.bufferLength, c.length);
        EXPECT_LE(r.bufferLength, ReverbMaxBufferLength);
        EXPECT_EQ(ReverbSetNumberForRate(c.rate), c.number);
    }
    for (int number = 3; number <= 15; ++number) EXPECT_EQ(ReverbSetByNumber(number), nullptr);
    EXPECT_EQ(ReverbSetByNumber(18), nullptr);
    EXPECT_EQ(ReverbSetByNumber(-1), nullptr);
    for (int rate : {192000, 22050, 0, -48000}) EXPECT_EQ(ReverbSetNumberForRate(rate), 1) << rate;
}

// Tap gains sum to the loop gain; the taps' centre of gravity is the same
// time at every rate (12.5, 18.2, 16.2 and 21.5 ms).
TEST(ReverbSets, LinesKeepTheirLoopGainAndLengthInTime) {
    const double loop[4] = {0.76074, 0.6721, 0.7012, 0.6245};
    const double ms[4] = {12.51, 18.18, 16.24, 21.53};
    for (const SetCase& c : kSets) {
        SCOPED_TRACE(c.rate);
        const ReverbSet& r = *ReverbSetByNumber(c.number);
        for (int k = 0; k < 4; ++k) {
            double sum = 0.0, moment = 0.0;
            for (int i = 0; i < r.lineTaps; ++i) {
                sum += r.lineGains[k][i];
                moment += r.lineGains[k][i] * (r.lineDelays[k] + 1 + i);
            }
            EXPECT_NEAR(sum, loop[k], 2e-6) << k;
            EXPECT_NEAR(1000.0 * moment / sum / c.rate, ms[k], 0.01) << k;
        }
    }
}

TEST(ReverbSets, HighPassSectionsAreButterworthAtOneCutoff) {
    for (const SetCase& c : kSets) {
        SCOPED_TRACE(c.rate);
        const float* h = ReverbSetByNumber(c.number)->highPass;
        if (c.rate == 48000) {
            // Measured values, rounded to five places: close to the design
            // at the cutoff, though the rounding leaves some DC through.
            const double k = std::tan(std::numbers::pi * ReverbHighPassCutoffHz / c.rate);
            const double norm = 1.0 / (1.0 + std::sqrt(2.0) * k + k * k);
            const double design[5] = {norm / 2, -norm, norm / 2, (1 - k * k) * norm,
                                      -(1 - std::sqrt(2.0) * k + k * k) * norm / 2};
            for (int i = 0; i < 5; ++i) EXPECT_NEAR(h[i], design[i], 2e-4) << i;
            continue;
        }
        const auto response = [&](double hz) {
            const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / c.rate);
            const std::complex<double> num =
                2.0 * (double(h[0]) + double(h[1]) * z1 + double(h[2]) * z1 * z1);
            const std::complex<double> den =
                1.0 - 2.0 * double(h[3]) * z1 - 2.0 * double(h[4]) * z1 * z1;
            return std::abs(num / den);
        };
        EXPECT_LT(response(0.0), 2e-3);
        EXPECT_NEAR(response(c.rate / 2.0), 1.0, 2e-3);
        EXPECT_NEAR(response(ReverbHighPassCutoffHz), std::sqrt(0.5), 5e-3);
        EXPECT_NEAR(response(20.0), std::pow(20.0 / ReverbHighPassCutoffHz, 2.0), 2e-3);
    }
}

TEST(ReverbSets, EarlyFirsStartAtTheFirstTapAndDecay) {
    for (const SetCase& c : kSets) {
        const ReverbSet& r = *ReverbSetByNumber(c.number);
        for (int j = 0; j < 7; ++j) {
            SCOPED_TRACE(testing::Message() << c.rate << " fir " << j);
            EXPECT_NE(r.firTaps[j][0], 0.0f);
            for (int t = 1; t < r.firLengths[j]; ++t)
                EXPECT_LT(std::fabs(r.firTaps[j][t]), std::fabs(r.firTaps[j][t - 1]));
            for (int t = r.firLengths[j]; t < ReverbMaxFirTaps; ++t)
                EXPECT_EQ(r.firTaps[j][t], 0.0f);
        }
    }
}

TEST(SaturateQ15, RoundsHalvesUpAndSaturates) {
    struct Case {
        float x;
        int expected;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {0.0f, 0},
        {1.0f, 32767},
        {-1.0f, -32768},
        {0.9999847412109375f, 32767},
        {0.99998f, 32767},
        {-0.9999847412109375f, -32767},
        {-0.99999f, -32768},
        {2.0f, 32767},
        {-7.0f, -32768},
        {0.5f / 32768, 1},
        {-0.5f / 32768, 0},
        {1.5f / 32768, 2},
        {-1.5f / 32768, -1},
        {0.25f, 8192},
        {-0.25f, -8192},
        {nan, 0},
        {inf, 32767},
        {-inf, -32768},
        {1e-30f, 0},
        // The two values whose scaled sum rounds up to 2^15 stay at full scale.
        {0.999984622f, 32767},
        {0.999984682f, 32767},
    };
    for (const Case& c : cases) EXPECT_EQ(SaturateQ15(c.x), c.expected) << c.x;
}

TEST(MultiTapDelay, RequestsAreCheckedAndAppliedOnProcess) {
    auto d = NewReverb();
    EXPECT_EQ(d->BufferLength(), 3588);
    EXPECT_EQ(d->IsPending(), 0);
    struct Case {
        int rate, configuration;
        int set, applied, length;
    };
    const Case cases[] = {
        {44100, 5, 1, 5, 3307}, {96000, 7, 16, 7, 7155}, {192000, 1, 1, 1, 3307},
        {48000, 8, 1, 1, 3307}, {32000, -1, 1, 1, 3307}, {88200, 5, 17, 5, 6595},
    };
    float left[4] = {}, right[4] = {};
    float* out[2] = {left, right};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " " << c.configuration);
        d->SetRate(c.rate, c.configuration);
        EXPECT_EQ(d->IsValid(), c.configuration >= 0 && c.configuration <= 7 ? 1 : 0);
        std::vector<float> silent(4, 0.0f);
        const float* in[8];
        for (auto& p : in) p = silent.data();
        d->Process(in, out, 4);
        EXPECT_EQ(d->CurrentSet(), c.set);
        EXPECT_EQ(d->CurrentConfiguration(), c.applied);
        EXPECT_EQ(d->BufferLength(), c.length);
        EXPECT_EQ(d->IsPending(), 0);
    }
}

using Planes = TestPlanes;

Planes Reverberate(CMultiTapDelay& d, Planes in, int frames) {
    Planes out(2, std::vector<float>(frames));
    const auto ip = PlanePointers(in);
    const auto op = PlanePointers(out);
    d.Process(ip.data(), op.data(), frames);
    return out;
}

std::unique_ptr<CMultiTapDelay> Reverb(int rate, int configuration) {
    auto d = NewReverb();
    d->SetRate(rate, configuration);
    return d;
}

TEST(MultiTapDelay, MatchesSeparateDelayLines) {
    for (const SetCase& c : kSets) {
        for (int configuration : {5, 7}) {
            SCOPED_TRACE(testing::Message() << c.rate << " configuration " << configuration);
            const int frames = c.rate / 5;
            auto d = Reverb(c.rate, configuration);
            const Planes in = NoisePlanes(frames, 77, 0.3f);
            const Planes got = Reverberate(*d, in, frames);
            ReferenceReverb ref(*ReverbSetByNumber(c.number));
            int differ = 0;
            for (int i = 0; i < frames; ++i) {
                float frame[8] = {};
                for (int p = 0; p < (configuration == 7 ? 8 : 6); ++p) frame[p] = in[p][i];
                float l = 0, r = 0;
                ref.Frame(frame, &l, &r);
                differ += got[0][i] != l || got[1][i] != r;
            }
            EXPECT_EQ(differ, 0);
        }
    }
}

// Rate and configuration changes, resets, calls of random length in place
// or not, loud and bad samples: every output bit equals the frame-by-frame
// reference, which starts afresh wherever the memory is cleared.
TEST(MultiTapDelay, MatchesTheReferenceBitForBitOverRandomCalls) {
    std::mt19937 rng(11);
    const int rates[] = {48000, 44100, 32000, 96000, 88200};
    const int configurations[] = {5, 7, 7, 5, 1};
    const float scales[] = {0.3f, 3.0f, 40.0f};
    auto d = NewReverb();
    auto ref = std::make_unique<ReferenceReverb>(*ReverbSetByNumber(0));
    int planes = 0;
    int set = 0, configuration = 0;
    long differ = 0, compared = 0;
    for (int segment = 0; segment < 16; ++segment) {
        const int rate = rates[rng() % 5], wanted = configurations[rng() % 5];
        if (segment % 2 == 0) {
            d->SetRate(rate, wanted);
            if (ReverbSetNumberForRate(rate) != set || wanted != configuration) {
                set = ReverbSetNumberForRate(rate);
                configuration = wanted;
                ref = std::make_unique<ReferenceReverb>(*ReverbSetByNumber(set));
            }
            planes = configuration == 7 ? 8 : configuration == 5 ? 6 : 0;
        } else if (rng() % 3 == 0) {
            d->Reset();
            ref = std::make_unique<ReferenceReverb>(*ReverbSetByNumber(set));
        }
        const int frames = 1 + static_cast<int>(rng() % 3000);
        Planes in = NoisePlanes(frames, rng(), scales[rng() % 3]);
        if (rng() % 4 == 0) in[rng() % 8][rng() % frames] = std::numeric_limits<float>::infinity();
        if (rng() % 4 == 0) in[rng() % 8][rng() % frames] = std::numeric_limits<float>::quiet_NaN();
        Planes out(2, std::vector<float>(frames));
        Planes work = in;
        for (int done = 0; done < frames;) {
            const int n = std::min(frames - done, 1 + static_cast<int>(rng() % 600));
            auto ip = PlanePointers(work, done);
            if (rng() % 2 == 0) {
                d->Process(ip.data(), ip.data(), n);
                std::copy_n(ip[0], n, out[0].begin() + done);
                std::copy_n(ip[1], n, out[1].begin() + done);
            } else {
                auto op = PlanePointers(out, done);
                d->Process(ip.data(), op.data(), n);
            }
            done += n;
        }
        for (int i = 0; i < frames; ++i) {
            float frame[8] = {};
            for (int p = 0; p < planes; ++p) frame[p] = in[p][i];
            float lr[2];
            ref->Frame(frame, &lr[0], &lr[1]);
            differ += std::memcmp(&lr[0], &out[0][i], sizeof(float)) != 0 ||
                      std::memcmp(&lr[1], &out[1][i], sizeof(float)) != 0;
            ++compared;
        }
    }
    EXPECT_EQ(differ, 0) << "of " << compared;
}

// An impulse on any input reaches an output two frames later, through the
// first tap of an early FIR.
TEST(MultiTapDelay, FirstOutputTwoFramesAfterEachInput) {
    for (const SetCase& c : kSets) {
        for (int configuration : {5, 7}) {
            for (int plane = 0; plane < 8; ++plane) {
                SCOPED_TRACE(testing::Message()
                             << c.rate << " conf " << configuration << " plane " << plane);
                auto d = Reverb(c.rate, configuration);
                Planes in = SilentPlanes(64);
                in[plane][10] = 0.5f;
                const Planes out = Reverberate(*d, in, 64);
                int first = -1;
                for (int i = 0; i < 64 && first < 0; ++i)
                    if (out[0][i] != 0.0f || out[1][i] != 0.0f) first = i;
                const bool heard = configuration == 7 || plane < 6;
                EXPECT_EQ(first, heard ? 12 : -1);
            }
        }
    }
}

double Energy(const Planes& out, int from, int to) {
    double e = 0.0;
    for (int i = from; i < to; ++i)
        e += double(out[0][i]) * out[0][i] + double(out[1][i]) * out[1][i];
    return e;
}

TEST(MultiTapDelay, ImpulseDiesBySixtyDecibelsWithinASecondAndNeverGrows) {
    for (const SetCase& c : kSets) {
        SCOPED_TRACE(c.rate);
        auto d = Reverb(c.rate, 7);
        const int frames = 2 * c.rate;
        Planes in = SilentPlanes(frames);
        for (auto& plane : in) plane[0] = 0.9f;
        const Planes out = Reverberate(*d, in, frames);
        const int window = c.rate / 20;
        const double first = Energy(out, 0, window);
        ASSERT_GT(first, 0.0);
        double previous = first;
        for (int w = 1; w < 40; ++w) {
            const double e = Energy(out, w * window, (w + 1) * window);
            EXPECT_LE(e, previous) << "window " << w;
            previous = e;
        }
        EXPECT_LE(Energy(out, c.rate, frames), 1e-6 * first);
        EXPECT_TRUE(AllFiniteAndNormal(out));
    }
}

TEST(MultiTapDelay, OtherConfigurationsAreSilentAndSidesIgnoredIn51) {
    for (int configuration : {0, 1, 2, 3, 4, 6}) {
        SCOPED_TRACE(configuration);
        auto d = Reverb(48000, configuration);
        const Planes out = Reverberate(*d, NoisePlanes(4800, 3, 0.5f), 4800);
        EXPECT_EQ(Energy(out, 0, 4800), 0.0);
    }
    auto a = Reverb(48000, 5), b = Reverb(48000, 5);
    Planes in = NoisePlanes(4800, 4, 0.5f);
    const Planes withSides = Reverberate(*a, in, 4800);
    std::fill(in[6].begin(), in[6].end(), 0.0f);
    std::fill(in[7].begin(), in[7].end(), 0.0f);
    EXPECT_EQ(withSides, Reverberate(*b, in, 4800));
    // A stereo stream after a 5.1 one rings out and then stays silent.
    a->SetRate(48000, 1);
    const Planes tail = Reverberate(*a, NoisePlanes(48000, 5, 0.5f), 48000);
    EXPECT_EQ(Energy(tail, 0, 48000), 0.0); // the change cleared the memory
}

TEST(MultiTapDelay, RandomCallLengthsAndInPlaceGiveIdenticalOutput) {
    const int frames = 9000;
    auto a = Reverb(44100, 7), b = Reverb(44100, 7);
    const Planes in = NoisePlanes(frames, 6, 0.4f);
    const Planes whole = Reverberate(*a, in, frames);
    Planes pieces = in;
    const std::uint64_t requests = kernel::poolRequestCount();
    InRandomPieces(frames, 9, 700, [&](int done, int n) {
        auto p = PlanePointers(pieces, done);
        b->Process(p.data(), p.data(), n);
    });
    EXPECT_EQ(kernel::poolRequestCount(), requests);
    EXPECT_EQ(pieces[0], whole[0]);
    EXPECT_EQ(pieces[1], whole[1]);
    for (int c = 2; c < 8; ++c) EXPECT_EQ(pieces[c], in[c]) << c;
}

TEST(MultiTapDelay, BadSamplesAreGoneAfterResetOrAFormatChange) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Planes probe = NoisePlanes(4800, 8, 0.3f);
    auto fresh = Reverb(48000, 7);
    const Planes expected = Reverberate(*fresh, probe, 4800);
    for (bool formatChange : {false, true}) {
        for (float bad : {nan, inf, -inf}) {
            SCOPED_TRACE(testing::Message() << bad << (formatChange ? " format change" : " reset"));
            auto d = Reverb(formatChange ? 44100 : 48000, 7);
            Planes in = SilentPlanes(100);
            in[2][50] = bad;
            const Planes out = Reverberate(*d, in, 100);
            EXPECT_TRUE(AllFiniteAndNormal(out));
            if (formatChange)
                d->SetRate(48000, 7);
            else
                d->Reset();
            EXPECT_EQ(Reverberate(*d, probe, 4800), expected);
        }
    }
}

} // namespace
