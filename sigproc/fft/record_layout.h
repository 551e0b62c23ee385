// The FFT specification records: an 84-byte header of 32-bit words and,
// behind it, every table the transforms read. The real and the complex
// transform share the header and the tables of the complex passes; the real
// record adds the tables of its split and merge.
//
// The record keeps one layout on every platform: its tables are referred to by
// 32-bit offsets from the record's first byte (0: no such table), never by
// addresses, so the sizes callers allocate from stay the same.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

inline constexpr std::int32_t sigFftSpecId = 6;   // a real-FFT record
inline constexpr std::int32_t sigFftSpecId_C = 4; // a complex-FFT record
// Orders the order check accepts.
inline constexpr int sigFftMaxOrder = 30;
inline constexpr int sigFftLevelSlots = 3;
// Transforms up to this order run through closed forms; their records are
// the header alone.
inline constexpr int sigFftClosedFormMaxOrder = 3;
// The complex transforms up to this order run in one piece with one twiddle table.
inline constexpr int sigFftPieceOrder = 10;

struct sigFftSpecHeader {
    std::int32_t id;        // sigFftSpecId or sigFftSpecId_C while valid
    std::int32_t order;     // log2 of the real length
    std::int32_t scaleFwd;  // 1: the forward result is multiplied by scaleFactor
    std::int32_t scaleInv;  // 1: the inverse result is multiplied by scaleFactor
    float scaleFactor;      // 1/N, 1/sqrt(N), or 0 when nothing is scaled
    std::int32_t hint;      // the caller's, stored and never read
    std::int32_t workBytes; // work area the transforms need, 0 for none
    std::int32_t allocated; // 1: the record is a library block that free releases
    std::int32_t slot;      // the processor slot whose set-up built the record (0: generic)
    std::uint32_t bitRev;   // bit-reversal pair table of the complex order
    std::uint32_t twiddles; // radix-4 twiddle groups of the innermost complex piece
    std::uint32_t rotTable; // joins 1024-point pieces into 2^11 or 2^12 points
    std::uint32_t reserved1;
    std::uint32_t realSplit; // real record: forward split of the half-length spectrum
    std::uint32_t realRot;   // real record: inverse merge rotations
    std::uint32_t levelTwiddles[sigFftLevelSlots]; // per split level, outermost first
    std::uint32_t levelMatrix[sigFftLevelSlots];

    template <typename T> const T* table(std::uint32_t offset) const {
        if (offset == 0) return nullptr;
        return reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(this) + offset);
    }
    template <typename T> T* table(std::uint32_t offset) {
        if (offset == 0) return nullptr;
        return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(this) + offset);
    }
};

// The two records are the header under the names their transforms take, so
// that neither transform accepts the other's record by type.
struct sigFftSpec_R_32f : sigFftSpecHeader {};
struct sigFftSpec_C_32fc : sigFftSpecHeader {};

static_assert(sizeof(sigFftSpecHeader) == 84, "the header is 21 words on every platform");
static_assert(sizeof(sigFftSpec_R_32f) == 84 && sizeof(sigFftSpec_C_32fc) == 84);
static_assert(std::is_standard_layout_v<sigFftSpec_R_32f>);
static_assert(std::is_standard_layout_v<sigFftSpec_C_32fc>);
static_assert(offsetof(sigFftSpecHeader, bitRev) == 36);
static_assert(offsetof(sigFftSpecHeader, realSplit) == 52);
static_assert(offsetof(sigFftSpecHeader, levelMatrix) == 72);

inline constexpr std::uint32_t sigFftHeaderBytes = sizeof(sigFftSpecHeader);

// Block order of the split of a complex transform of order m (0: no split).
// Complex orders up to 12 are never split; the rows of a split are split again
// when their own order has an entry.
inline constexpr std::array<int, 31> sigFftSplitOrder = {
    0,  0,  0, 0, 0,  0,  0,  0,  0,  0,  0, // 0 .. 10
    0,  0,  5, 6, 7,  8,  8,  8,  10, 10,    // 11 .. 20
    10, 10, 8, 8, 10, 10, 10, 10, 10,        // 21 .. 29
    10,                                      // 30
};

inline constexpr std::int64_t sigAlign32(std::int64_t bytes) {
    return (bytes + 31) & ~std::int64_t{31};
}

// The first 32-byte boundary at or above p: where a record, the init buffer's
// tables or a work area begin inside a caller's buffer.
inline unsigned char* sigAlignUp32(unsigned char* p) {
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    return p + (((address + 31) & ~std::uintptr_t{31}) - address);
}
