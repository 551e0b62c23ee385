// Getters and setters of the floating-point control registers. On x86-64 all
// float and double arithmetic runs on SSE under MXCSR; the x87 control and
// status words govern only x87 instructions and long double arithmetic.
#include "sigproc/core/fp_control.h"

#include "sigproc/core/cpu.h"
#include "sigproc/sigproc.h"

#include <xmmintrin.h>

#include <array>
#include <bit>

namespace {

struct BitPair {
    std::uint32_t x87;
    std::uint32_t portable;
};

// Exception bits: the x87 control word's masks and status word's flags share
// one layout.
constexpr std::array<BitPair, 6> kExceptionBits{{
    {1u << 0, sigFpInvalid},
    {1u << 2, sigFpZeroDivide},
    {1u << 3, sigFpOverflow},
    {1u << 4, sigFpUnderflow},
    {1u << 5, sigFpInexact},
    {1u << 1, sigFpDenormal},
}};

constexpr std::uint32_t kX87InfinityBit = 1u << 12;
constexpr int kX87RoundingShift = 10;
constexpr int kX87PrecisionShift = 8;
constexpr int kPortableRoundingShift = 8;

// x87 precision field values 0 (24-bit), 1 (reserved), 2 (53-bit), 3 (64-bit).
constexpr std::array<std::uint32_t, 4> kPortablePrecisionOfX87{sigFpPrecision24, sigFpPrecision64,
                                                               sigFpPrecision53, sigFpPrecision64};

std::uint32_t x87PrecisionOfPortable(std::uint32_t portable) {
    switch (portable & sigFpPrecisionMask) {
    case sigFpPrecision24:
        return 0;
    case sigFpPrecision53:
        return 2;
    case sigFpPrecision64:
        return 3;
    default:
        return 0; // both bits set names no precision
    }
}

std::uint32_t portableExceptions(std::uint32_t x87) {
    std::uint32_t portable = 0;
    for (const BitPair& b : kExceptionBits)
        if ((x87 & b.x87) != 0) portable |= b.portable;
    return portable;
}

std::uint16_t loadX87Control() {
    std::uint16_t cw;
    asm volatile("fnstcw %0" : "=m"(cw));
    return cw;
}

void storeX87Control(std::uint32_t value) {
    const auto cw = static_cast<std::uint16_t>(value);
    asm volatile("fldcw %0" : : "m"(cw));
}

std::uint16_t loadX87Status() {
    std::uint16_t sw;
    asm volatile("fnstsw %0" : "=m"(sw));
    return sw;
}

void clearX87Exceptions() { asm volatile("fnclex"); }

// A reserved MXCSR bit would fault on the load; such bits are dropped. The
// processor is asked which bits it accepts only when a value holds one that
// not every processor does.
void loadMxcsr(std::uint32_t value) {
    if ((value & ~sigFpMxcsrWritableBits(0)) != 0)
        value &= sigFpMxcsrWritableBits(sigCpuMxcsrMask());
    _mm_setcsr(value);
}

} // namespace

std::uint32_t sigFpPortableFromX87Control(std::uint32_t x87Control) {
    std::uint32_t portable = portableExceptions(x87Control);
    portable |= ((x87Control >> kX87RoundingShift) & 3u) << kPortableRoundingShift;
    portable |= kPortablePrecisionOfX87[(x87Control >> kX87PrecisionShift) & 3u];
    if ((x87Control & kX87InfinityBit) != 0) portable |= sigFpInfinityAffine;
    return portable;
}

std::uint32_t sigFpX87ControlFromPortable(std::uint32_t portable) {
    std::uint32_t x87 = 0;
    for (const BitPair& b : kExceptionBits)
        if ((portable & b.portable) != 0) x87 |= b.x87;
    x87 |= ((portable >> kPortableRoundingShift) & 3u) << kX87RoundingShift;
    x87 |= x87PrecisionOfPortable(portable) << kX87PrecisionShift;
    if ((portable & sigFpInfinityAffine) != 0) x87 |= kX87InfinityBit;
    return x87;
}

std::uint32_t sigFpPortableFromX87Status(std::uint32_t x87Status) {
    return portableExceptions(x87Status);
}

std::uint32_t sigFpMxcsrWritableBits(std::uint32_t fxsaveMask) {
    return fxsaveMask != 0 ? fxsaveMask : 0xFFFFu & ~sigMxcsrDenormalsAreZero;
}

// ---- MXCSR

std::uint32_t sigFpGetMxcsr() { return _mm_getcsr(); }

void sigFpRestoreMxcsr(std::uint32_t value) { loadMxcsr(value); }

std::uint32_t sigFpResetMxcsr() {
    const std::uint32_t old = _mm_getcsr();
    loadMxcsr(sigMxcsrDefault);
    return old;
}

std::uint32_t sigFpSetMxcsr(std::uint32_t value, std::uint32_t mask) {
    const std::uint32_t old = _mm_getcsr();
    loadMxcsr((old & ~mask) | (value & mask));
    return old;
}

// rc is the rounding field, with any other bits the caller sets along with it
// (flush-to-zero, say): they are loaded too, and only bits the processor
// reserves are dropped. Nothing is loaded when nothing would change.
std::uint32_t sigFpSetMxcsrRounding(std::uint32_t rc) {
    const std::uint32_t old = _mm_getcsr();
    const std::uint32_t next = (old & ~sigMxcsrRounding) | rc;
    if (next != old) loadMxcsr(next);
    return old;
}

// ---- x87

std::uint32_t sigFpGetX87Control() { return loadX87Control(); }
std::uint32_t sigFpGetX87Status() { return loadX87Status(); }

void sigFpRestoreX87Control(std::uint32_t value) { storeX87Control(value); }

std::uint32_t sigFpSetX87Control(std::uint32_t value, std::uint32_t mask) {
    const std::uint32_t old = loadX87Control();
    storeX87Control((old & ~mask) | (value & mask));
    return old;
}

std::uint32_t sigFpSetX87ControlBits(std::uint32_t value, std::uint32_t mask) {
    const std::uint32_t old = loadX87Control();
    if ((old & mask) != value) storeX87Control((old & ~mask) | value);
    return old;
}

std::uint32_t sigFpClearX87Status() {
    const std::uint32_t status = loadX87Status();
    clearX87Exceptions();
    return status;
}

// ---- portable words

std::uint32_t sigFpControl(std::uint32_t value, std::uint32_t mask) {
    const std::uint32_t old = sigFpPortableFromX87Control(loadX87Control());
    const std::uint32_t updated = (value & mask) | (old & ~mask);
    storeX87Control(sigFpX87ControlFromPortable(updated));
    return updated;
}

std::uint32_t sigFpStatus() { return sigFpPortableFromX87Status(loadX87Status()); }

std::uint32_t sigFpClearStatus() {
    const std::uint32_t status = sigFpStatus();
    clearX87Exceptions();
    return status;
}

// ---- classification of doubles

int sigIsNan_64f(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    return (bits & 0x7FF0000000000000u) == 0x7FF0000000000000u && (bits & 0x000FFFFFFFFFFFFFu) != 0
               ? 1
               : 0;
}

int sigIsFinite_64f(double value) {
    return (std::bit_cast<std::uint64_t>(value) & 0x7FF0000000000000u) != 0x7FF0000000000000u ? 1
                                                                                              : 0;
}
