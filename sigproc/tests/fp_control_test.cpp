#include "sigproc/core/cpu.h"
#include "sigproc/core/fp_control.h"
#include "sigproc/sigproc.h"
#include "testkit/fenv_guard.h"
#include "testkit/float_bits.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>

namespace {

// x87 control word fields.
constexpr std::uint32_t kX87Masks = 0x3F;
constexpr std::uint32_t kX87Pc53 = 0x200;
constexpr std::uint32_t kX87Pc64 = 0x300;
constexpr std::uint32_t kX87RoundDown = 0x400;
constexpr std::uint32_t kX87RoundChop = 0xC00;

TEST(FpPortable, ControlWordTranslatesBothWays) {
    // Invalid and overflow masked, round down, 53-bit precision, affine infinity.
    const std::uint32_t x87 = 0x01 | 0x08 | kX87RoundDown | kX87Pc53 | 0x1000;
    const std::uint32_t portable =
        sigFpInvalid | sigFpOverflow | sigFpRoundDown | sigFpPrecision53 | sigFpInfinityAffine;
    EXPECT_EQ(sigFpPortableFromX87Control(x87), portable);
    EXPECT_EQ(sigFpX87ControlFromPortable(portable), x87);

    EXPECT_EQ(sigFpPortableFromX87Control(0x037F), sigFpInvalid | sigFpZeroDivide | sigFpOverflow |
                                                       sigFpUnderflow | sigFpInexact |
                                                       sigFpDenormal | sigFpPrecision64);
    EXPECT_EQ(sigFpPortableFromX87Control(0x0000), sigFpPrecision24);
    EXPECT_EQ(sigFpPortableFromX87Control(0x0100),
              sigFpPrecision64); // the reserved precision value
    EXPECT_EQ(sigFpX87ControlFromPortable(sigFpPrecisionMask), 0u);
    EXPECT_EQ(sigFpX87ControlFromPortable(sigFpRoundTowardZero), kX87RoundChop | kX87Pc64);
    // Every exception bit on its own.
    const std::uint32_t pairs[][2] = {{1, sigFpInvalid},    {2, sigFpDenormal},
                                      {4, sigFpZeroDivide}, {8, sigFpOverflow},
                                      {16, sigFpUnderflow}, {32, sigFpInexact}};
    for (const auto& p : pairs) {
        EXPECT_EQ(sigFpPortableFromX87Status(p[0]), p[1]);
        EXPECT_EQ(sigFpX87ControlFromPortable(p[1]) & kX87Masks, p[0]);
    }
}

TEST(FpControl, MaskZeroReloadsTheCurrentSettings) {
    testkit::FenvGuard guard;
    sigFpRestoreX87Control((0x037F & ~0x04u & ~kX87Pc64) | kX87Pc53 |
                           kX87RoundDown); // zero-divide unmasked
    const std::uint32_t before = sigFpGetX87Control();
    const std::uint32_t portable = sigFpControl(0xFFFFFFFFu, 0);
    EXPECT_EQ(portable, sigFpPortableFromX87Control(before));
    EXPECT_EQ(portable & sigFpRoundMask, sigFpRoundDown);
    EXPECT_EQ(portable & sigFpPrecisionMask, sigFpPrecision53);
    EXPECT_EQ(portable & sigFpZeroDivide, 0u);
    EXPECT_EQ(sigFpGetX87Control() & 0x1F3F, before & 0x1F3F);
}

TEST(FpControl, PortableWordChangesOnlyTheMaskedFields) {
    testkit::FenvGuard guard;
    const std::uint32_t updated = sigFpControl(sigFpRoundTowardZero, sigFpRoundMask);
    EXPECT_EQ(updated & sigFpRoundMask, sigFpRoundTowardZero);
    EXPECT_EQ(sigFpGetX87Control() & kX87RoundChop, kX87RoundChop);
    // Bit 6 is reserved and reads back as 1 on some processors.
    EXPECT_EQ(sigFpX87ControlFromPortable(updated), sigFpGetX87Control() & ~0x40u);
    // Long double arithmetic follows the x87 rounding: 1 + 2^-64 * 3/2 chops to 1.
    volatile long double one = 1.0L, tiny = std::ldexp(1.5L, -64);
    EXPECT_EQ(one + tiny, 1.0L);
}

TEST(FpControl, X87SettersReturnTheOldWord) {
    testkit::FenvGuard guard;
    const std::uint32_t original = sigFpGetX87Control();
    EXPECT_EQ(sigFpSetX87Control(kX87RoundDown, 0xC00), original);
    EXPECT_EQ(sigFpGetX87Control(), (original & ~0xC00u) | kX87RoundDown);
    // Only when the masked bits differ is anything loaded.
    const std::uint32_t now = sigFpGetX87Control();
    EXPECT_EQ(sigFpSetX87ControlBits(kX87RoundDown, 0xC00), now);
    EXPECT_EQ(sigFpGetX87Control(), now);
    EXPECT_EQ(sigFpSetX87ControlBits(0, 0xC00), now);
    EXPECT_EQ(sigFpGetX87Control(), now & ~0xC00u);
    sigFpRestoreX87Control(original);
    EXPECT_EQ(sigFpGetX87Control(), original);
}

TEST(FpStatus, X87FlagsReadAndClear) {
    testkit::FenvGuard guard;
    sigFpClearX87Status();
    volatile long double zero = 0.0L;
    volatile long double r = 1.0L / zero;
    (void)r;
    EXPECT_NE(sigFpGetX87Status() & 0x04, 0u);
    EXPECT_EQ(sigFpStatus() & sigFpZeroDivide, sigFpZeroDivide);
    EXPECT_EQ(sigFpClearStatus() & sigFpZeroDivide, sigFpZeroDivide);
    EXPECT_EQ(sigFpStatus(), 0u);
    r = zero / zero;
    EXPECT_NE(sigFpClearX87Status() & 0x01, 0u);
    EXPECT_EQ(sigFpGetX87Status() & 0x3F, 0u);
}

TEST(Mxcsr, SettersReturnTheOldValueAndChangeOnlyTheirBits) {
    testkit::FenvGuard guard;
    const std::uint32_t original = sigFpGetMxcsr();
    EXPECT_EQ(sigFpSetMxcsrRounding(0x2000), original);
    EXPECT_EQ(sigFpGetMxcsr() & sigMxcsrRounding, 0x2000u);
    volatile float one = 1.0f, three = 3.0f;
    EXPECT_EQ(testkit::bitsOf(one / three), 0x3EAAAAAAu); // 1/3 rounded down, not to nearest
    const std::uint32_t settings = ~(sigMxcsrRounding | sigMxcsrFlags);
    EXPECT_EQ(sigFpGetMxcsr() & settings, original & settings);
    EXPECT_EQ(sigFpSetMxcsr(sigMxcsrFlushToZero, sigMxcsrFlushToZero) & sigMxcsrRounding, 0x2000u);
    EXPECT_EQ(sigFpGetMxcsr() & sigMxcsrFlushToZero, sigMxcsrFlushToZero);
    const std::uint32_t changed = sigFpGetMxcsr();
    EXPECT_EQ(sigFpResetMxcsr(), changed);
    EXPECT_EQ(sigFpGetMxcsr() & ~sigMxcsrFlags, sigMxcsrDefault);
    sigFpRestoreMxcsr(changed);
    EXPECT_EQ(sigFpGetMxcsr(), changed);
}

// Reserved MXCSR bits would fault on the load; they are dropped instead. Which
// bits above 15 are reserved is the processor's to say (some make bit 17 a mask).
TEST(Mxcsr, ReservedBitsNeverReachTheRegister) {
    testkit::FenvGuard guard;
    const std::uint32_t writableHigh = sigFpMxcsrWritableBits(sigCpuMxcsrMask()) & 0xFFFF0000u;
    sigFpRestoreMxcsr(0xFFFF0000u | sigMxcsrDefault);
    EXPECT_EQ(sigFpGetMxcsr() & ~sigMxcsrFlags, writableHigh | sigMxcsrDefault);
    sigFpRestoreMxcsr(sigMxcsrDefault);
    sigFpSetMxcsr(0xFFFFFFFFu, 0x00FF0000u);
    EXPECT_EQ(sigFpGetMxcsr() & 0xFFFF0000u, writableHigh & 0x00FF0000u);
    EXPECT_EQ(sigFpMxcsrWritableBits(0), 0xFFBFu);
    EXPECT_EQ(sigFpMxcsrWritableBits(0xFFFF), 0xFFFFu);
    EXPECT_EQ(sigCpuHasDaz(), 1); // every processor with SSE2 in 64-bit mode
}

// The rounding setter loads (MXCSR & ~rounding) | rc: bits rc carries beside
// the rounding field are set with it, bits it does not carry stay as they
// were, and only the bits this processor reserves are dropped.
TEST(Mxcsr, RoundingSetterKeepsEveryValidBitItIsGiven) {
    const std::uint32_t writable = sigFpMxcsrWritableBits(sigCpuMxcsrMask());
    const std::uint32_t down = 0x2000, up = 0x4000, ftz = sigMxcsrFlushToZero;
    const std::uint32_t standard = sigMxcsrDefault;
    struct Case {
        std::uint32_t before, rc, after;
    };
    const Case cases[] = {
        {standard, down | ftz, standard | down | ftz},        // new rounding, flush-to-zero with it
        {standard | down, down | ftz, standard | down | ftz}, // same rounding, flush-to-zero added
        {standard | ftz, up, standard | up | ftz},            // bits rc leaves out stay
        {standard | sigMxcsrRounding, 0, standard},           // rounding back to nearest
        {standard, down, standard | down},
        {standard | down, down, standard | down},
        {standard, 0xFFFFFFFFu, writable}, // every bit the processor accepts
    };
    for (const Case& c : cases) {
        testkit::FenvGuard guard;
        sigFpRestoreMxcsr(c.before);
        const std::uint32_t old = sigFpSetMxcsrRounding(c.rc);
        const std::uint32_t now = sigFpGetMxcsr();
        sigFpRestoreMxcsr(standard);
        EXPECT_EQ(old & ~sigMxcsrFlags, c.before) << std::hex << c.rc;
        EXPECT_EQ(now & ~sigMxcsrFlags, c.after & ~sigMxcsrFlags) << std::hex << c.rc;
    }
}

// Flush-to-zero passed with the rounding field takes effect: a result below
// the normal range becomes zero.
TEST(Mxcsr, FlushToZeroGivenWithTheRoundingFlushes) {
    testkit::FenvGuard guard;
    sigFpRestoreMxcsr(sigMxcsrDefault);
    volatile float smallest = std::numeric_limits<float>::min(), half = 0.5f;
    EXPECT_NE(smallest * half, 0.0f);
    sigFpSetMxcsrRounding(sigMxcsrFlushToZero);
    EXPECT_EQ(testkit::bitsOf(smallest * half), 0u);
}

TEST(DoubleClass, NanAndFiniteByTheirBits) {
    const double inf = std::numeric_limits<double>::infinity();
    const double qnan = std::numeric_limits<double>::quiet_NaN();
    const double snan = std::numeric_limits<double>::signaling_NaN();
    EXPECT_EQ(sigIsNan_64f(qnan), 1);
    EXPECT_EQ(sigIsNan_64f(-snan), 1);
    EXPECT_EQ(sigIsNan_64f(inf), 0);
    EXPECT_EQ(sigIsNan_64f(1.0), 0);
    EXPECT_EQ(sigIsFinite_64f(std::numeric_limits<double>::max()), 1);
    EXPECT_EQ(sigIsFinite_64f(std::numeric_limits<double>::denorm_min()), 1);
    EXPECT_EQ(sigIsFinite_64f(-inf), 0);
    EXPECT_EQ(sigIsFinite_64f(qnan), 0);
}

} // namespace
