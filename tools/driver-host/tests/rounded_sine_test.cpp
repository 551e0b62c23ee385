#include "tools/driver-host/rounded_sine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

namespace {

using driverhost::RoundedSine;

std::int64_t LibrarySine(double turns, double scale) {
    return std::llround(scale * std::sin(2 * std::numbers::pi * turns));
}

// The full scales of 16-, 24- and 32-bit samples at -6 dBFS, and a scale of
// one, where the sine itself is often near a half.
constexpr double Scales[] = {0.5 * 32767, 0.5 * 8388607, 0.5 * 2147483647, 1.0};

TEST(RoundedSine, GivesTheLibrarysSampleAlongTheHostsPhases) {
    const RoundedSine sine;
    for (const double rate : {8000.0, 44100.0, 48000.0, 96000.0, 192000.0})
        for (const double scale : Scales) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, scale " << scale);
            double phase = 0;
            int differing = 0;
            for (int frame = 0; frame < 200000; ++frame) {
                differing += sine(phase, scale) != LibrarySine(phase, scale);
                phase += 1000.0 / rate;
                phase -= std::floor(phase);
            }
            EXPECT_EQ(differing, 0);
        }
}

TEST(RoundedSine, GivesTheLibrarysSampleAtAnyPhase) {
    const RoundedSine sine;
    std::mt19937_64 random(34);
    std::uniform_real_distribution<double> turns(0.0, 1.0);
    for (const double scale : Scales) {
        SCOPED_TRACE(scale);
        int differing = 0;
        for (int i = 0; i < 300000; ++i) {
            const double at = turns(random);
            differing += sine(at, scale) != LibrarySine(at, scale);
        }
        EXPECT_EQ(differing, 0);
    }
}

// Where the scaled sine lies at or next to a half the table cannot decide,
// and the library's sine must.
TEST(RoundedSine, DecidesHalvesAsTheLibraryDoes) {
    const RoundedSine sine;
    for (const double at : {1.0 / 12, 5.0 / 12, 7.0 / 12, 11.0 / 12, 0.25, 0.75, 0.0, 1.0 / 256})
        for (const double half : {0.5, 1.5, 2.5, 16383.5}) {
            const double value = std::sin(2 * std::numbers::pi * at);
            if (value == 0) continue;
            const double scale = std::abs(half / value);
            for (const double nudge : {-1e-13, 0.0, 1e-13}) {
                SCOPED_TRACE(testing::Message() << at << " turns, scale " << scale + nudge);
                EXPECT_EQ(sine(at, scale + nudge), LibrarySine(at, scale + nudge));
            }
        }
}

} // namespace
