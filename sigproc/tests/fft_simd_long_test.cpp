// The real-FFT members of slots 1 to 5 at orders 21 to 27, where every slot
// runs its large-order decomposition and orders 27 and up decompose their
// rows again: an impulse against its exact spectrum, a round trip, and up to
// order 23 the generic member's result.
#include "sigproc/tests/fft_reference.h"
#include "sigproc/tests/fft_simd_members.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

using fftsimd::SlotMembers;
using fftsimd::SlotRecord;

class LongSlotOrder : public ::testing::TestWithParam<std::tuple<SlotMembers, int>> {};

TEST_P(LongSlotOrder, ImpulseRoundTripAndGenericResult) {
    const auto& [members, order] = GetParam();
    const std::size_t n = std::size_t{1} << order;
    SlotRecord spec(members, order, sigFftScaleInv);
    ASSERT_EQ(spec.status(), sigOk);

    const std::size_t delay = 3 * n / 7;
    std::vector<float> data(n, 0.0f);
    data[delay] = 1.0f;
    ASSERT_EQ(members.forward(data.data(), data.data(), spec.get(), nullptr), sigOk);
    EXPECT_LE(fftref::impulseSpectrumError(data, delay), fftref::tolerance(order, 1.0))
        << members.name;

    const std::vector<float> x = fftref::randomSignal(n, 900u + unsigned(order));
    std::vector<float> spectrum(n);
    ASSERT_EQ(members.forward(x.data(), spectrum.data(), spec.get(), nullptr), sigOk);
    if (order <= 23) {
        fftref::OwnedSpec generic(order, sigFftScaleInv);
        ASSERT_EQ(generic.status(), sigOk);
        std::vector<float> expected(n);
        ASSERT_EQ(sigFftFwd_R_32f(x.data(), expected.data(), generic.get(), nullptr), sigOk);
        const std::vector<double> reference = fftref::widen(expected);
        EXPECT_LE(fftref::largestError(spectrum, reference),
                  2 * fftref::tolerance(order, fftref::largestMagnitude(reference)))
            << members.name;
    }
    ASSERT_EQ(members.inverse(spectrum.data(), spectrum.data(), spec.get(), nullptr), sigOk);
    EXPECT_LE(fftref::largestError(spectrum, fftref::widen(x)), fftref::tolerance(2 * order, 1.0))
        << members.name;
}

INSTANTIATE_TEST_SUITE_P(Orders21To27, LongSlotOrder,
                         ::testing::Combine(::testing::ValuesIn(fftsimd::kSlots),
                                            ::testing::Range(21, 28)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_order" +
                                    std::to_string(std::get<1>(info.param));
                         });

} // namespace
