// The generation rules of the impulse-response store.
//
// Head filters. A spherical head of radius 8.75 cm in air at 343 m/s; ears at
// -90 (left) and +90 (right) degrees azimuth. The sources of a block with
// angle code a sit at -a (left), +a (right), 0 (centre), -110 (left
// surround) and +110 (right surround) degrees. Filter 2s + e, for source s
// and ear e, is the impulse response of the ear's head shadow, delayed by 2
// samples plus, for the far ear, the interaural delay of the source (rounded
// to whole samples at 44100 Hz), scaled by 0.25. The head shadow is the
// one-pole/one-zero filter (alpha s + beta) / (s + beta), beta = 2c/r, whose
// alpha is 1.05 + 0.95 cos(180 theta / 150) for the angle theta between the
// source and the ear, mapped to 44100 Hz by the bilinear transform. Taps
// below 1e-30 in magnitude are stored as zero.
//
// Tails. Two decorrelated noises per set, from the integer generator
// x <- 1664525 x + 1013904223 (mod 2^32) seeded 0x5EED0000 + 2 x set +
// channel; sample n is 0.01 x (x / 2^31 - 1) x 10^(-3 n / (length - 1)), so
// the tail decays to -60 dB at its last tap.
//
// Crosstalk. For an angle with interaural delay d (whole samples, at least
// 1), the sum filter is 1 / (1 + 0.5 z^-d) and the difference filter
// 1 / (1 - 0.5 z^-d), each truncated to 256 taps; the table holds
// A = (sum + difference) / 2 and B = (sum - difference) / 2.
#include "driver/zurazuvera/common/VSH/impulse_store.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

constexpr double HeadRadius = 0.0875;
constexpr double SpeedOfSound = 343.0;
constexpr double StoreRate = 44100.0;
constexpr int BaseDelay = 2;
constexpr double HeadGain = 0.25;
constexpr double TailGain = 0.01;
constexpr std::uint32_t TailSeed = 0x5EED0000u;
constexpr std::size_t TotalLength = ImpulseStoreLength + CrosstalkTablesLength;

double Radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

// Angle between two azimuths, 0 to 180 degrees.
double AngleBetween(double a, double b) {
    double d = std::fmod(std::fabs(a - b), 360.0);
    return d > 180.0 ? 360.0 - d : d;
}

void WriteHeadFilter(float* taps, double source, double ear) {
    const double beta = 2.0 * SpeedOfSound / HeadRadius;
    const double k = 2.0 * StoreRate;
    const double alpha = 1.05 + 0.95 * std::cos(Radians(AngleBetween(source, ear) * 180.0 / 150.0));
    const double b0 = (alpha * k + beta) / (k + beta);
    const double b1 = (beta - alpha * k) / (k + beta);
    const double a1 = (beta - k) / (k + beta);
    const bool farEar = source != 0.0 && (source < 0.0) != (ear < 0.0);
    const int delay =
        BaseDelay + (farEar ? static_cast<int>(std::lround(InterauralDelaySamples(source))) : 0);
    double previousIn = 0.0;
    double previousOut = 0.0;
    for (int n = 0; n < HeadFilterLength; ++n) {
        const double in = n == delay ? 1.0 : 0.0;
        const double out = b0 * in + b1 * previousIn - a1 * previousOut;
        previousIn = in;
        previousOut = out;
        const double tap = HeadGain * out;
        taps[n] = std::fabs(tap) < 1e-30 ? 0.0f : static_cast<float>(tap);
    }
}

void WriteHeadBlock(float* block, int code) {
    const double sources[5] = {-static_cast<double>(code), static_cast<double>(code), 0.0, -110.0,
                               110.0};
    const double ears[2] = {-90.0, 90.0};
    for (int s = 0; s < 5; ++s)
        for (int e = 0; e < 2; ++e)
            WriteHeadFilter(block + (2 * s + e) * HeadFilterLength, sources[s], ears[e]);
}

void WriteTail(float* tail, int length, std::uint32_t seed) {
    std::uint32_t x = seed;
    for (int n = 0; n < length; ++n) {
        x = 1664525u * x + 1013904223u;
        const double noise = static_cast<double>(x) / 2147483648.0 - 1.0;
        const double envelope = std::pow(10.0, -3.0 * n / (length - 1));
        tail[n] = static_cast<float>(TailGain * noise * envelope);
    }
}

void WriteCrosstalkTable(float* table, int angle) {
    const int d = std::max(1, static_cast<int>(std::lround(InterauralDelaySamples(angle))));
    double weight = 1.0;
    for (int i = 0; i < CrosstalkTaps; i += d, weight *= 0.5) {
        const int k = i / d;
        const double sum = k % 2 == 0 ? weight : -weight;
        table[i] = static_cast<float>((sum + weight) / 2.0);
        table[CrosstalkTaps + i] = static_cast<float>((sum - weight) / 2.0);
    }
}

struct GeneratedStore {
    float values[TotalLength] = {};
    GeneratedStore() {
        int setIndex = 0;
        for (const ImpulseSet& set : ImpulseSets) {
            for (int b = 0; b < set.headBlocks; ++b)
                WriteHeadBlock(values + set.firstHead + b * HeadBlockLength, set.codes[b]);
            for (int c = 0; c < TailChannels; ++c)
                WriteTail(values + set.tail + c * set.tailLength, set.tailLength,
                          TailSeed + static_cast<std::uint32_t>(2 * setIndex + c));
            ++setIndex;
        }
        for (int a = 0; a < CrosstalkAngleCount; ++a)
            WriteCrosstalkTable(values + ImpulseStoreLength + 2 * CrosstalkTaps * a,
                                CrosstalkAngles[a]);
    }
};

} // namespace

double InterauralDelaySamples(double degrees) {
    const double lateral = std::fabs(std::asin(std::sin(Radians(degrees))));
    return HeadRadius / SpeedOfSound * (lateral + std::sin(lateral)) * StoreRate;
}

const float* ImpulseStore() {
    // Built once, thread-safely, the first time a headphone FIR starts.
    static const GeneratedStore store;
    return store.values;
}

bool FindImpulseSet(int room, int code, ImpulseSelection* selection) {
    for (const ImpulseSet& set : ImpulseSets) {
        if (set.room != room) continue;
        for (int b = 0; b < set.headBlocks; ++b) {
            if (set.codes[b] != code) continue;
            const float* store = ImpulseStore();
            *selection = {store + set.firstHead + b * HeadBlockLength, store + set.tail,
                          set.tailLength};
            return true;
        }
    }
    return false;
}

const float* FindCrosstalkTable(int angle) {
    for (int a = 0; a < CrosstalkAngleCount; ++a)
        if (CrosstalkAngles[a] == angle)
            return ImpulseStore() + ImpulseStoreLength + 2 * CrosstalkTaps * a;
    return nullptr;
}
