// The IIR state record: a header of twelve 32-bit words followed by the
// normalised taps and the delay line in the same block.
#pragma once

#include "sigproc/filters/state_area.h"

#include <cstdint>

// "II01": any order, transposed direct form II.
inline constexpr std::uint32_t sigIirIdDirect = 0x49493031;
// "II02": cascade of second-order sections.
inline constexpr std::uint32_t sigIirIdBiquad = 0x49493032;

inline constexpr std::int64_t sigIirHeaderBytes = 48;

struct sigIirState {
    std::uint32_t id;
    std::uint32_t taps;          // offset: b0..bN, a1..aN, all divided by a0
    std::uint32_t delay;         // offset: d0..dN-1, then the zero word dN
    std::int32_t order;          // N; for II02 the number of delay floats, two per section
    std::uint32_t tapsX4;        // work areas of processor-specific members that
    std::uint32_t feedbackTable; // are not built: never written nor read here
    std::int32_t sectionCount;
    std::uint32_t reserved8;
    std::uint32_t blockBuffer;
    std::uint32_t blockBuffer2;
    std::int32_t allocated; // 1: the library allocated the block and sigIirFree_32f releases it
    std::uint32_t reserved12;

    float* tapsArea() const { return sigStateArea<float>(this, taps); }
    float* delayArea() const { return sigStateArea<float>(this, delay); }
};
static_assert(sizeof(sigIirState) == sigIirHeaderBytes, "the header is twelve 32-bit words");
