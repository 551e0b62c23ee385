// Buffers fenced by canary bytes, placed at a chosen distance from 16-byte
// alignment, for tests that check what an operation writes and what it leaves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace testkit {

inline constexpr unsigned char kCanary = 0xA5;
inline constexpr std::size_t kGuardBytes = 64;

template <typename T> class GuardedBuffer {
public:
    // `count` elements starting `misalignBytes` past a 64-byte boundary; every
    // byte of the body starts as `fill`. The storage holds both fences, up to
    // 63 bytes of rounding to the boundary and the misalignment, however large.
    explicit GuardedBuffer(std::size_t count, std::size_t misalignBytes = 0,
                           unsigned char fill = 0x5A)
        : count_(count),
          storage_(new unsigned char[2 * kGuardBytes + 63 + misalignBytes + bodyBytes()]) {
        const auto base = reinterpret_cast<std::uintptr_t>(storage_.get()) + kGuardBytes;
        const std::uintptr_t aligned = (base + 63) & ~std::uintptr_t{63};
        body_ = reinterpret_cast<unsigned char*>(aligned + misalignBytes);
        std::memset(body_ - kGuardBytes, kCanary, kGuardBytes);
        std::memset(body_ + bodyBytes(), kCanary, kGuardBytes);
        std::memset(body_, fill, bodyBytes());
        snapshot();
    }

    T* data() { return reinterpret_cast<T*>(body_); }
    const T* data() const { return reinterpret_cast<const T*>(body_); }
    std::size_t size() const { return count_; }
    unsigned char* bytes() { return body_; }
    std::size_t bodyBytes() const { return count_ * sizeof(T); }

    T get(std::size_t i) const {
        T value;
        std::memcpy(&value, body_ + i * sizeof(T), sizeof(T));
        return value;
    }
    void set(std::size_t i, T value) { std::memcpy(body_ + i * sizeof(T), &value, sizeof(T)); }

    // Remember the body as it is now, for unchanged().
    void snapshot() { saved_.assign(body_, body_ + bodyBytes()); }
    bool unchanged() const { return std::memcmp(body_, saved_.data(), bodyBytes()) == 0; }

    // No byte before or after the body was written.
    bool guardsIntact() const {
        for (std::size_t i = 0; i < kGuardBytes; ++i) {
            if (body_[-1 - static_cast<std::ptrdiff_t>(i)] != kCanary) return false;
            if (body_[bodyBytes() + i] != kCanary) return false;
        }
        return true;
    }

private:
    std::size_t count_;
    std::unique_ptr<unsigned char[]> storage_;
    unsigned char* body_ = nullptr;
    std::vector<unsigned char> saved_;
};

} // namespace testkit
