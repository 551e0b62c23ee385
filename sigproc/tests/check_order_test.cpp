// The argument checks every entry point shares: pointers first (a null pointer
// wins over a bad count; sigPow_32f alone tests its length first), then counts
// (0 and negative are errors), and on any negative status not one byte of any
// output is written.
#include "sigproc/fft/real_fft.h"
#include "sigproc/sigproc.h"
#include "sigproc/vector/reduce.h"
#include "sigproc/vector/transcendental.h"
#include "sigproc/vector/vector_arith.h"
#include "testkit/guarded_buffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace {

using testkit::GuardedBuffer;

constexpr int kElements = 16;

// The pointer arguments of one call, in argument order; any may be nulled.
struct Pointers {
    std::vector<void*> p;
    template <typename T> T* at(std::size_t i) const { return static_cast<T*>(p[i]); }
};

struct EntryCase {
    std::string name;
    int pointerCount;
    std::function<int(const Pointers&, int len)> call;
    bool lengthFirst = false; // the length is checked before the pointers
    // Gives in/out arguments valid values before the call (null ones excluded).
    std::function<void(const Pointers&)> prepare = nullptr;
    friend void PrintTo(const EntryCase& entry, std::ostream* os) { *os << entry.name; }
};

// Plane arrays built from one buffer, or null when the buffer pointer is null.
struct Planes {
    explicit Planes(void* buffer) : plane(static_cast<float*>(buffer)) {}
    float* plane;
    float* array[1] = {plane};
    float* const* get() const { return plane != nullptr ? array : nullptr; }
    const float* const* getConst() const {
        return plane != nullptr ? const_cast<const float* const*>(array) : nullptr;
    }
};

// The up/down-sampling phase word (the fourth pointer) starts in range.
void zeroPhase(const Pointers& a) {
    if (a.p[3] != nullptr) *a.at<int>(3) = 0;
}

// Filter states for the filter entries; the guarded buffer handed in a
// state's place only tells whether the state pointer is null.
sigFirState* firStateUnlessNull(void* marker) {
    static sigFirState* state = [] {
        static std::vector<unsigned char> buffer;
        int size = 0;
        sigFirGetStateSize_32f(3, &size);
        buffer.resize(static_cast<std::size_t>(size));
        const float taps[3] = {0.5f, 0.25f, 0.125f};
        sigFirState* made = nullptr;
        sigFirInit_32f(&made, taps, 3, nullptr, buffer.data());
        return made;
    }();
    return marker != nullptr ? state : nullptr;
}

// A multi-rate state (66 taps, up 2) takes the same checks.
sigFirState* firMrStateUnlessNull(void* marker) {
    static sigFirState* state = [] {
        static std::vector<unsigned char> buffer;
        int size = 0;
        sigFirMrGetStateSize_32f(66, 2, 1, &size);
        buffer.resize(static_cast<std::size_t>(size));
        const std::vector<float> taps(66, 0.25f);
        sigFirState* made = nullptr;
        sigFirMrInit_32f(&made, taps.data(), 66, 2, 0, 1, 0, nullptr, buffer.data());
        return made;
    }();
    return marker != nullptr ? state : nullptr;
}

sigIirState* iirStateUnlessNull(void* marker) {
    static sigIirState* state = [] {
        const float taps[6] = {0.5f, 0.25f, 0.125f, 1.0f, -0.5f, 0.25f};
        sigIirState* made = nullptr;
        sigIirInitAlloc_32f(&made, taps, 2, nullptr);
        return made;
    }();
    return marker != nullptr ? state : nullptr;
}

std::vector<EntryCase> entryCases() {
    return {
        {"sigZero_32f", 1, [](const Pointers& a, int n) { return sigZero_32f(a.at<float>(0), n); }},
        {"sigCopy_32f", 2,
         [](const Pointers& a, int n) { return sigCopy_32f(a.at<float>(0), a.at<float>(1), n); }},
        {"sigSet_32f", 1,
         [](const Pointers& a, int n) { return sigSet_32f(1.5f, a.at<float>(0), n); }},
        {"sigConvertScaled_32f16s", 2,
         [](const Pointers& a, int n) {
             return sigConvertScaled_32f16s(a.at<float>(0), a.at<std::int16_t>(1), n, 1, -15);
         }},
        {"sigConvertScaled_32f32s", 2,
         [](const Pointers& a, int n) {
             return sigConvertScaled_32f32s(a.at<float>(0), a.at<std::int32_t>(1), n, 0, -31);
         }},
        {"sigConvertScaled_32f24s", 2,
         [](const Pointers& a, int n) {
             return sigConvertScaled_32f24s(a.at<float>(0), a.at<unsigned char>(1), n, -23);
         }},
        {"sigConvertScaled_16s32f", 2,
         [](const Pointers& a, int n) {
             return sigConvertScaled_16s32f(a.at<std::int16_t>(0), a.at<float>(1), n, 15);
         }},
        {"sigConvertScaled_32s32f", 2,
         [](const Pointers& a, int n) {
             return sigConvertScaled_32s32f(a.at<std::int32_t>(0), a.at<float>(1), n, 31);
         }},
        {"sigConvert_24s32f", 2,
         [](const Pointers& a, int n) {
             return sigConvert_24s32f(a.at<unsigned char>(0), a.at<float>(1), n);
         }},
        {"sigConvert_32s32f", 2,
         [](const Pointers& a, int n) {
             return sigConvert_32s32f(a.at<std::int32_t>(0), a.at<float>(1), n);
         }},
        {"sigAddInPlace_32f", 2,
         [](const Pointers& a, int n) {
             return sigAddInPlace_32f(a.at<float>(0), a.at<float>(1), n);
         }},
        {"sigAddConstInPlace_32f", 1,
         [](const Pointers& a, int n) { return sigAddConstInPlace_32f(2.0f, a.at<float>(0), n); }},
        {"sigMulConstInPlace_32f", 1,
         [](const Pointers& a, int n) { return sigMulConstInPlace_32f(2.0f, a.at<float>(0), n); }},
        {"sigMulConst_32f", 2,
         [](const Pointers& a, int n) {
             return sigMulConst_32f(a.at<float>(0), 2.0f, a.at<float>(1), n);
         }},
        {"sigDivConstInPlace_32f", 1,
         [](const Pointers& a, int n) { return sigDivConstInPlace_32f(2.0f, a.at<float>(0), n); }},
        {"sigInterleave_32f", 2,
         [](const Pointers& a, int n) {
             return sigInterleave_32f(Planes(a.p[0]).getConst(), 1, n, a.at<float>(1));
         }},
        {"sigDeinterleave_32f", 2,
         [](const Pointers& a, int n) {
             return sigDeinterleave_32f(a.at<float>(0), 1, n, Planes(a.p[1]).get());
         }},
        {"sigPow_32f", 3,
         [](const Pointers& a, int n) {
             return sigPow_32f(a.at<float>(0), a.at<float>(1), a.at<float>(2), n);
         },
         true},
        {"sigSampleUp_32f", 4,
         [](const Pointers& a, int n) {
             return sigSampleUp_32f(a.at<float>(0), n, a.at<float>(1), a.at<int>(2), 2,
                                    a.at<int>(3));
         },
         false, zeroPhase},
        {"sigSampleDown_32f", 4,
         [](const Pointers& a, int n) {
             return sigSampleDown_32f(a.at<float>(0), n, a.at<float>(1), a.at<int>(2), 2,
                                      a.at<int>(3));
         },
         false, zeroPhase},
        {"sigAbsInPlace_32f", 1,
         [](const Pointers& a, int n) { return sigAbsInPlace_32f(a.at<float>(0), n); }},
        {"sigMax_32f", 2,
         [](const Pointers& a, int n) { return sigMax_32f(a.at<float>(0), n, a.at<float>(1)); }},
        {"sigMin_32f", 2,
         [](const Pointers& a, int n) { return sigMin_32f(a.at<float>(0), n, a.at<float>(1)); }},
        {"sigMulInPlace_32f", 2,
         [](const Pointers& a, int n) {
             return sigMulInPlace_32f(a.at<float>(0), a.at<float>(1), n);
         }},
        {"sigFlip_32f", 2,
         [](const Pointers& a, int n) { return sigFlip_32f(a.at<float>(0), a.at<float>(1), n); }},
        {"sigAdd_32f", 3,
         [](const Pointers& a, int n) {
             return sigAdd_32f(a.at<float>(0), a.at<float>(1), a.at<float>(2), n);
         }},
        {"sigSub_32f", 3,
         [](const Pointers& a, int n) {
             return sigSub_32f(a.at<float>(0), a.at<float>(1), a.at<float>(2), n);
         }},
        {"sigAddProductConst_32f", 2,
         [](const Pointers& a, int n) {
             return sigAddProductConst_32f(a.at<float>(0), 0.5f, a.at<float>(1), n);
         }},
        {"sigMulPack_32f", 3,
         [](const Pointers& a, int n) {
             return sigMulPack_32f(a.at<float>(0), a.at<float>(1), a.at<float>(2), n);
         }},
        {"sigMulPackInPlace_32f", 2,
         [](const Pointers& a, int n) {
             return sigMulPackInPlace_32f(a.at<float>(0), a.at<float>(1), n);
         }},
        {"sigFirProcess_32f", 3,
         [](const Pointers& a, int n) {
             return sigFirProcess_32f(a.at<float>(0), a.at<float>(1), n,
                                      firStateUnlessNull(a.p[2]));
         }},
        // Two outputs per iteration, still inside the buffers for every length tried.
        {"sigFirProcess_32f_multiRate", 3,
         [](const Pointers& a, int n) {
             return sigFirProcess_32f(a.at<float>(0), a.at<float>(1), n,
                                      firMrStateUnlessNull(a.p[2]));
         }},
        {"sigIirProcess_32f", 3,
         [](const Pointers& a, int n) {
             return sigIirProcess_32f(a.at<float>(0), a.at<float>(1), n,
                                      iirStateUnlessNull(a.p[2]));
         }},
    };
}

class CheckOrder : public ::testing::TestWithParam<EntryCase> {
protected:
    // Runs the entry with the given pointers nulled and returns its status;
    // fails the test if any buffer (input or output) was touched on an error.
    int run(const std::vector<bool>& nulled, int len) {
        const EntryCase& entry = GetParam();
        std::vector<std::unique_ptr<GuardedBuffer<float>>> buffers;
        Pointers pointers;
        for (int i = 0; i < entry.pointerCount; ++i) {
            buffers.push_back(std::make_unique<GuardedBuffer<float>>(kElements, 0, 0x3C));
            pointers.p.push_back(nulled[static_cast<std::size_t>(i)] ? nullptr
                                                                     : buffers.back()->data());
        }
        if (entry.prepare) entry.prepare(pointers);
        for (auto& buffer : buffers) buffer->snapshot();
        const int status = entry.call(pointers, len);
        for (auto& buffer : buffers) {
            EXPECT_TRUE(buffer->guardsIntact()) << entry.name;
            if (status < 0) {
                EXPECT_TRUE(buffer->unchanged()) << entry.name << " wrote on status " << status;
            }
        }
        return status;
    }
};

TEST_P(CheckOrder, NullPointerComesBeforeTheCount) {
    const int pointers = GetParam().pointerCount;
    const int badCount = GetParam().lengthFirst ? sigErrLength : sigErrNullPtr;
    for (int nullAt = 0; nullAt < pointers; ++nullAt) {
        std::vector<bool> nulled(static_cast<std::size_t>(pointers), false);
        nulled[static_cast<std::size_t>(nullAt)] = true;
        for (int len : {0, -1}) {
            EXPECT_EQ(run(nulled, len), badCount)
                << GetParam().name << " null #" << nullAt << " len " << len;
        }
        EXPECT_EQ(run(nulled, 4), sigErrNullPtr) << GetParam().name << " null #" << nullAt;
    }
    EXPECT_EQ(run(std::vector<bool>(static_cast<std::size_t>(pointers), true), 0), badCount);
}

TEST_P(CheckOrder, ZeroOrNegativeCountIsAnError) {
    const std::vector<bool> none(static_cast<std::size_t>(GetParam().pointerCount), false);
    for (int len : {0, -1, INT_MIN})
        EXPECT_EQ(run(none, len), sigErrLength) << GetParam().name << " len " << len;
}

TEST_P(CheckOrder, ValidArgumentsSucceed) {
    const std::vector<bool> none(static_cast<std::size_t>(GetParam().pointerCount), false);
    for (int len : {1, 5}) EXPECT_GE(run(none, len), 0) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(EveryEntryPoint, CheckOrder, ::testing::ValuesIn(entryCases()),
                         [](const auto& info) { return info.param.name; });

// The operations that have dispatch groups but no entry points follow the
// same rules; their generic members are called directly.
std::vector<EntryCase> memberCases() {
    using P = const Pointers&;
    return {
        {"sigSqrtInPlace_32f", 1,
         [](P a, int n) { return sigSqrtInPlace_32f_generic(a.at<float>(0), n); }},
        {"sigLnInPlace_32f", 1,
         [](P a, int n) { return sigLnInPlace_32f_generic(a.at<float>(0), n); }},
        {"sigExpInPlace_32f", 1,
         [](P a, int n) { return sigExpInPlace_32f_generic(a.at<float>(0), n); }},
        {"sigSqr_32f", 2,
         [](P a, int n) { return sigSqr_32f_generic(a.at<float>(0), a.at<float>(1), n); }},
        {"sigMul_32f", 3,
         [](P a, int n) {
             return sigMul_32f_generic(a.at<float>(0), a.at<float>(1), a.at<float>(2), n);
         }},
        {"sigDiv_32f", 3,
         [](P a, int n) {
             return sigDiv_32f_generic(a.at<float>(0), a.at<float>(1), a.at<float>(2), n);
         }},
        {"sigAddProduct_32f", 3,
         [](P a, int n) {
             return sigAddProduct_32f_generic(a.at<float>(0), a.at<float>(1), a.at<float>(2), n);
         }},
        {"sigMinEveryInPlace_32f", 2,
         [](P a, int n) {
             return sigMinEveryInPlace_32f_generic(a.at<float>(0), a.at<float>(1), n);
         }},
        {"sigMaxEveryInPlace_32f", 2,
         [](P a, int n) {
             return sigMaxEveryInPlace_32f_generic(a.at<float>(0), a.at<float>(1), n);
         }},
        {"sigSum_32f", 2,
         [](P a, int n) { return sigSum_32f_generic(a.at<float>(0), n, a.at<float>(1), 0); }},
        {"sigMean_32f", 2,
         [](P a, int n) { return sigMean_32f_generic(a.at<float>(0), n, a.at<float>(1), 1); }},
        {"sigDotProd_32f", 3,
         [](P a, int n) {
             return sigDotProd_32f_generic(a.at<float>(0), a.at<float>(1), n, a.at<float>(2));
         }},
    };
}

INSTANTIATE_TEST_SUITE_P(WithoutEntryPoint, CheckOrder, ::testing::ValuesIn(memberCases()),
                         [](const auto& info) { return info.param.name; });

} // namespace
