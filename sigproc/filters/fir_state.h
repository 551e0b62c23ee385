// The FIR state record: a header of 28 32-bit words followed by its areas in
// the same block (reversed taps, delay line, and for filters of 64 taps or more
// the overlap path's FFT specification, taps spectrum, work area and block).
#pragma once

#include "sigproc/filters/state_area.h"

#include <cstdint>
#include <cstring>

struct sigFftSpec_R_32f;

inline constexpr std::uint32_t sigFirIdSingleRate = 0x46493031; // "FI01"
inline constexpr std::uint32_t sigFirIdMultiRate = 0x46493033;  // "FI03"

inline constexpr std::int64_t sigFirHeaderBytes = 112;
inline constexpr std::int64_t sigFirGapBytes = 16;
inline constexpr std::int64_t sigFirSpareBytes = 16384;

// fftSpec value of a state whose FFT specification is a library block of its
// own (made by the allocate-and-init set-up); its address is kept in the two
// reserved words at the end of the header, which nothing else reads.
inline constexpr std::uint32_t sigFirSpecOwnBlock = 0xFFFFFFFFu;

// Words a kind of state does not use are never written for it and keep what
// the caller's buffer held.
struct sigFirState {
    std::uint32_t id;
    std::uint32_t taps;  // offset: the taps in reverse order
    std::uint32_t delay; // offset: the delay line, oldest sample first
    std::int32_t tapsLen;
    std::int32_t up;
    std::int32_t headLen; // input samples the direct path takes into the delay line for its head
    std::int32_t down;
    std::int32_t headOut;
    std::uint32_t fftSpec; // offset of the overlap path's specification, sigFirSpecOwnBlock, or 0
    std::uint32_t fftTaps; // offset: spectrum of the zero-padded taps, packed
    std::int32_t fftLen;   // FFT length of the overlap path, -1 when it may not be used
    std::int32_t delayIndex;
    std::uint32_t phaseTable; // offsets of the multi-rate tables
    std::uint32_t polyTaps;
    std::int32_t rowLen;
    std::int32_t mode;
    std::int32_t delayLen;
    std::uint32_t block;   // offset: fftLen floats of scratch for the overlap path
    std::uint32_t fftWork; // offset: the FFT's work area, 0 when it needs none
    std::int32_t fftWorkBytes;
    std::uint32_t spare;    // offset of the spare area at the end of the state
    std::uint32_t gap;      // offset of the 16 bytes behind the delay area
    std::int32_t allocated; // 1: the library allocated the block and sigFirFree_32f releases it
    std::int32_t upPhase;
    std::int32_t downPhase;
    std::uint32_t reserved26;
    std::uint32_t ownSpec[2]; // address of a specification in its own block

    float* tapsArea() const { return sigStateArea<float>(this, taps); }
    float* delayArea() const { return sigStateArea<float>(this, delay); }
    float* fftTapsArea() const { return sigStateArea<float>(this, fftTaps); }
    float* blockArea() const { return sigStateArea<float>(this, block); }
    unsigned char* fftWorkArea() const { return sigStateArea<unsigned char>(this, fftWork); }

    sigFftSpec_R_32f* spec() const {
        if (fftSpec != sigFirSpecOwnBlock) return sigStateArea<sigFftSpec_R_32f>(this, fftSpec);
        sigFftSpec_R_32f* own;
        std::memcpy(&own, ownSpec, sizeof own);
        return own;
    }
    void setOwnSpec(sigFftSpec_R_32f* own) {
        fftSpec = own != nullptr ? sigFirSpecOwnBlock : 0;
        std::memcpy(ownSpec, &own, sizeof own);
    }
};
static_assert(sizeof(sigFirState) == sigFirHeaderBytes, "the header is 28 32-bit words");
static_assert(sizeof(sigFftSpec_R_32f*) <= sizeof(sigFirState::ownSpec));
