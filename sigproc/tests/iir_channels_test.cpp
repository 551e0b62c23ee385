// Several IIR channels filtered side by side: every channel must carry the
// bits of the one-channel transposed form, whatever the grouping of lanes.
#include "filter_reference.h"
#include "sigproc/filters/iir.h"
#include "sigproc/filters/iir_lanes.h"
#include "sigproc/sigproc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using filter_reference::randomSignal;

// The transposed direct form II written out plainly: samples of filters above
// the first order folded in pairs that restart at every call, the state
// between the two samples of a pair never rounded, every stored value rounded
// once to single precision.
struct ScalarIir {
    std::vector<double> b, a;
    std::vector<float> d; // N words, then the zero word

    explicit ScalarIir(const std::vector<float>& taps) {
        const std::size_t n = taps.size() / 2 - 1;
        const double reciprocal = 1.0 / double(taps[n + 1]);
        for (std::size_t i = 0; i <= n; ++i) {
            b.push_back(static_cast<float>(taps[i] * reciprocal));
            a.push_back(static_cast<float>(taps[n + 1 + i] * reciprocal));
        }
        d.assign(n + 1, 0.0f);
    }

    std::vector<float> run(const std::vector<float>& x) {
        const std::size_t n = b.size() - 1;
        std::vector<float> y(x.size());
        std::size_t i = 0;
        for (; n > 1 && i + 1 < x.size(); i += 2) {
            const double x0 = x[i], x1 = x[i + 1];
            const double y0 = b[0] * x0 + d[0];
            const double y1 = (b[1] * x0 + (b[0] * x1 + d[1])) - a[1] * y0;
            for (std::size_t j = 0; j + 2 <= n; ++j)
                d[j] = float((((b[j + 1] * x1 - a[j + 1] * y1) + b[j + 2] * x0) - a[j + 2] * y0) +
                             d[j + 2]);
            d[n - 1] = float(b[n] * x1 - a[n] * y1);
            y[i] = float(y0);
            y[i + 1] = float(y1);
        }
        for (; i < x.size(); ++i) {
            const double x0 = x[i];
            const double y0 = b[0] * x0 + d[0];
            for (std::size_t j = 0; j < n; ++j)
                d[j] = float((b[j + 1] * x0 - a[j + 1] * y0) + d[j + 1]);
            y[i] = float(y0);
        }
        return y;
    }
};

// Stable denominators (poles inside the unit circle) with random numerators.
std::vector<float> TapsOfOrder(int order, std::uint32_t seed) {
    static const std::vector<std::vector<float>> denominators = {
        {1.0f, -0.5f},
        {1.0f, -1.2f, 0.5f},
        {1.0f, -0.0f, 1.0f / 3.0f, -0.0f},
        {1.0f, -0.9657797f, 0.58264416f, -0.10601705f, 0.01f},
        {2.0f, -1.0f, 0.5f, -0.125f, 0.0625f, -0.03125f},
    };
    std::vector<float> taps = randomSignal(std::size_t(order) + 1, seed);
    const std::vector<float>& a = denominators[std::size_t(order) - 1];
    taps.insert(taps.end(), a.begin(), a.end());
    return taps;
}

// Each channel three times: a state for the side-by-side call, a twin state
// run alone through sigIirProcess_32f, and the plain scalar form.
struct Channels {
    std::vector<sigIirState*> states;
    std::vector<sigIirState*> alone;
    std::vector<ScalarIir> references;
    ~Channels() {
        for (sigIirState* s : states) sigIirFree_32f(s);
        for (sigIirState* s : alone) sigIirFree_32f(s);
    }
    void add(const std::vector<float>& taps) {
        for (std::vector<sigIirState*>* list : {&states, &alone}) {
            sigIirState* state = nullptr;
            ASSERT_EQ(sigIirInitAlloc_32f(&state, taps.data(), int(taps.size()) / 2 - 1, nullptr),
                      sigOk);
            list->push_back(state);
        }
        references.emplace_back(taps);
    }
};

struct Case {
    const char* name;
    std::vector<int> orders; // one per channel
    std::vector<int> calls;  // call lengths
    bool inPlace;
};

// Groups of 8, 4, 2 and a lone channel; orders outside the lanes' range and
// mixed orders that split a group; odd call lengths that end in a single step.
const Case Cases[] = {
    {"one third-order channel", {3}, {512, 576}, false},
    {"two channels", {3, 3}, {512, 576, 2}, false},
    {"eight channels", {3, 3, 3, 3, 3, 3, 3, 3}, {512, 576, 1024, 1088}, false},
    {"nine channels: a group of eight and one", {3, 3, 3, 3, 3, 3, 3, 3, 3}, {100, 76}, false},
    {"seven channels: four, two and one", {2, 2, 2, 2, 2, 2, 2}, {33, 1, 64}, false},
    {"fourth order, odd lengths", {4, 4, 4, 4, 4, 4}, {7, 1, 3, 250}, false},
    {"mixed orders split the groups", {3, 3, 1, 2, 2, 5, 3, 3, 3}, {64, 9, 128}, false},
    {"in place", {3, 3, 3, 3, 3, 3, 3, 3}, {512, 31, 100}, true},
};

// Whether the lanes' loop takes the case whole: one order between 2 and 4.
bool OneLaneKernel(const std::vector<int>& orders) {
    for (int order : orders)
        if (order != orders[0] || order < 2 || order > 4) return false;
    return true;
}

// Runs every case through `filter` (the entry point's signature), comparing
// each channel with its twin run alone and with the plain scalar form.
template <typename Filter> void CheckCases(Filter filter, bool oneKernelOnly) {
    for (const Case& test : Cases) {
        if (oneKernelOnly && !OneLaneKernel(test.orders)) continue;
        SCOPED_TRACE(test.name);
        Channels channels;
        for (std::size_t c = 0; c < test.orders.size(); ++c)
            channels.add(TapsOfOrder(test.orders[c], 40 + std::uint32_t(c)));
        const int count = int(test.orders.size());
        std::uint32_t seed = 1;
        for (int len : test.calls) {
            std::vector<std::vector<float>> in, out;
            std::vector<const float*> src;
            std::vector<float*> dst;
            for (int c = 0; c < count; ++c) {
                in.push_back(randomSignal(std::size_t(len), seed++));
                out.emplace_back(std::size_t(len), 9.0f);
            }
            for (int c = 0; c < count; ++c) {
                src.push_back(test.inPlace ? out[c].data() : in[c].data());
                dst.push_back(out[c].data());
                if (test.inPlace) out[c] = in[c];
            }
            filter(src.data(), dst.data(), len, channels.states.data(), count);
            for (int c = 0; c < count; ++c) {
                std::vector<float> alone(static_cast<std::size_t>(len));
                ASSERT_EQ(sigIirProcess_32f(in[c].data(), alone.data(), len, channels.alone[c]),
                          sigOk);
                ASSERT_EQ(out[c], alone) << "channel " << c;
                ASSERT_EQ(out[c], channels.references[c].run(in[c])) << "channel " << c;
                const sigIirState* s = channels.states[c];
                const std::vector<float> line(s->delayArea(), s->delayArea() + s->order + 1);
                ASSERT_EQ(line, channels.references[c].d) << "delay line of channel " << c;
            }
        }
    }
}

TEST(IirChannels, EveryChannelMatchesItselfAloneAndThePlainScalarFormBitForBit) {
    CheckCases(
        [](const float* const* src, float* const* dst, int len, sigIirState* const* states,
           int count) {
            ASSERT_EQ(sigIirProcessChannels_32f(src, dst, len, states, count), sigOk);
        },
        false);
}

// The entry point runs the machine's widest build; every other build the
// machine runs must give the same bits.
TEST(IirChannels, EveryInstructionSetBuildGivesTheScalarBits) {
    for (sigWideIsa isa : {sigWideIsa::baseline, sigWideIsa::avx2, sigWideIsa::avx512}) {
        if (!sigWideIsaSupported(isa)) continue;
        SCOPED_TRACE(static_cast<int>(isa));
        CheckCases(sigIirLaneRuns.of(isa), true);
    }
}

TEST(IirChannels, BadArgumentsAreRefusedBeforeAnyChannelIsFiltered) {
    Channels channels;
    for (int c = 0; c < 3; ++c) channels.add(TapsOfOrder(3, 7));
    const std::vector<float> in = randomSignal(16, 3);
    std::vector<std::vector<float>> out(3, std::vector<float>(16, 5.0f));
    const float* src[3] = {in.data(), in.data(), in.data()};
    float* dst[3] = {out[0].data(), out[1].data(), out[2].data()};
    sigIirState** states = channels.states.data();

    float* missing[3] = {out[0].data(), nullptr, out[2].data()};
    EXPECT_EQ(sigIirProcessChannels_32f(src, missing, 16, states, 3), sigErrNullPtr);
    EXPECT_EQ(sigIirProcessChannels_32f(src, dst, 16, nullptr, 3), sigErrNullPtr);
    EXPECT_EQ(sigIirProcessChannels_32f(src, dst, 16, states, 0), sigErrChannelCount);
    EXPECT_EQ(sigIirProcessChannels_32f(src, dst, 0, states, 3), sigErrLength);
    const std::uint32_t id = states[2]->id;
    states[2]->id = 0;
    EXPECT_EQ(sigIirProcessChannels_32f(src, dst, 16, states, 3), sigErrStateMismatch);
    states[2]->id = id;
    for (const auto& plane : out) EXPECT_EQ(plane, std::vector<float>(16, 5.0f));
    for (sigIirState* s : channels.states)
        for (int j = 0; j < s->order; ++j) EXPECT_EQ(s->delayArea()[j], 0.0f);
}

} // namespace
