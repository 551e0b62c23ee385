// Areas of a filter state that lie in the state's own block are referenced by
// 32-bit byte offsets from the record's start, 0 meaning none. The records keep
// their documented sizes on 64-bit hosts, and a state's areas stay valid
// wherever the caller's buffer lives.
#pragma once

#include <cstdint>

template <typename T> T* sigStateArea(const void* record, std::uint32_t offset) {
    if (offset == 0) return nullptr;
    auto* base = const_cast<unsigned char*>(static_cast<const unsigned char*>(record));
    return reinterpret_cast<T*>(base + offset);
}

// The offset of an area inside the record's block; the caller has checked that
// the block's size fits in 32 bits.
inline std::uint32_t sigStateOffset(const void* record, const void* area) {
    return static_cast<std::uint32_t>(static_cast<const unsigned char*>(area) -
                                      static_cast<const unsigned char*>(record));
}

// A caller's buffer rounded up to the next multiple of 16 bytes: where a state
// made in it begins.
inline unsigned char* sigStateBase(unsigned char* buffer) {
    const auto address = reinterpret_cast<std::uintptr_t>(buffer);
    return buffer + (((address + 15) & ~std::uintptr_t{15}) - address);
}

// Lays a state's areas out one behind the other from the end of its header,
// in 64-bit byte offsets, so that a size too large for the record's 32-bit
// words can still be computed and refused.
class sigAreaCursor {
public:
    explicit constexpr sigAreaCursor(std::int64_t headerBytes) : at_(headerBytes) {}
    // The offset of an area of `bytes` bytes at the cursor, which moves behind it.
    constexpr std::int64_t take(std::int64_t bytes) {
        const std::int64_t area = at_;
        at_ += bytes;
        return area;
    }
    constexpr std::int64_t end() const { return at_; }

private:
    std::int64_t at_;
};

// x rounded up to a multiple of 16.
constexpr std::int64_t sigAlign16(std::int64_t x) { return (x + 15) & ~std::int64_t{15}; }
