// The multi-rate FIR routines of slots 1 to 5 (single-precision group sums)
// against the definition in double, in every layout, for calls that run in
// the delay line alone and calls with a head, body and tail.
#include "filter_reference.h"
#include "fir_mr_layouts.h"
#include "sigproc/core/dispatch.h"
#include "sigproc/sigproc.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

namespace {

using filter_reference::multiRate;

struct Shape {
    int tapsLen, up, upPhase, down, downPhase;
};

const Shape kShapes[] = {
    {1, 2, 1, 1, 0},   {7, 3, 2, 1, 0},   {66, 2, 0, 1, 0},  {66, 1, 0, 2, 1},
    {101, 3, 1, 2, 1}, {132, 4, 0, 1, 0}, {132, 1, 0, 4, 3}, {33, 5, 4, 3, 2},
};

std::vector<float> magnitudes(const std::vector<float>& v) {
    std::vector<float> a(v);
    for (float& x : a) x = std::abs(x);
    return a;
}

TEST(FirMrSlots, WithinSingleSumsOfTheDefinition) {
    const std::vector<std::vector<int>> splits = {{1}, {2, 7, 1}, {40, 3}, {1000}};
    for (int slot = 1; slot <= 5; ++slot) {
        for (const Shape& s : kShapes) {
            const std::vector<float> taps =
                filter_reference::randomSignal(std::size_t(s.tapsLen), 70u + unsigned(s.tapsLen));
            const std::vector<float> x =
                filter_reference::randomSignal(std::size_t(120 * s.down), 71u);
            const std::vector<float> reference =
                multiRate(taps, s.up, s.upPhase, s.down, s.downPhase, x);
            const std::vector<float> magnitude =
                multiRate(magnitudes(taps), s.up, s.upPhase, s.down, s.downPhase, magnitudes(x));
            // A row holds at most ceil(tapsLen / up) + 3 terms.
            const double perTerm = (double(s.tapsLen) / s.up + 6.0) * FLT_EPSILON;
            for (const auto& layout : fir_mr_layouts::kLayouts) {
                for (const auto& calls : splits) {
                    int size = 0;
                    ASSERT_EQ(layout.stateSize(s.tapsLen, s.up, s.down, &size), sigOk);
                    std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
                    int status = -1;
                    sigFirState* state =
                        layout.init(taps.data(), s.tapsLen, s.up, s.upPhase, s.down, s.downPhase,
                                    nullptr, &status, buffer.data(), sigFirIdMultiRate);
                    ASSERT_EQ(status, sigOk);
                    ASSERT_EQ(state->mode, layout.mode(s.up));

                    std::vector<float> y(reference.size());
                    const int iterations = 120;
                    for (int done = 0, c = 0; done < iterations; ++c) {
                        const int n =
                            std::min(calls[std::size_t(c) % calls.size()], iterations - done);
                        ASSERT_EQ(sigDispatchTable.firProcess_32f[slot](
                                      x.data() + done * s.down, y.data() + done * s.up, n, state),
                                  sigOk);
                        done += n;
                    }
                    for (std::size_t i = 0; i < y.size(); ++i) {
                        ASSERT_LE(std::abs(double{y[i]} - reference[i]),
                                  perTerm * magnitude[i] + FLT_MIN)
                            << "slot " << slot << " " << layout.name << " taps " << s.tapsLen
                            << " up " << s.up << " down " << s.down << " split " << calls[0]
                            << " output " << i;
                    }
                }
            }
        }
    }
}

TEST(FirMrSlots, AStateOfAnUnknownModeIsRefused) {
    const std::vector<float> taps(8, 0.5f);
    int size = 0;
    ASSERT_EQ(sigFirMrGetStateSize_32f(8, 2, 1, &size), sigOk);
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size));
    sigFirState* state = nullptr;
    ASSERT_EQ(sigFirMrInit_32f(&state, taps.data(), 8, 2, 0, 1, 0, nullptr, buffer.data()), sigOk);
    state->mode = 9;
    const std::vector<float> x(4, 1.0f);
    std::vector<float> y(8, 3.0f);
    for (int slot = 1; slot <= 5; ++slot) {
        EXPECT_EQ(sigDispatchTable.firProcess_32f[slot](x.data(), y.data(), 4, state),
                  sigErrStateMismatch);
    }
    EXPECT_EQ(y, std::vector<float>(8, 3.0f));
}

} // namespace
