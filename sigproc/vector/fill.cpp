#include "sigproc/vector/fill.h"

#include "sigproc/core/dispatch.h"
#include "sigproc/sigproc.h"

#include <bit>
#include <cstring>

namespace {

constexpr std::int64_t kBlockBytes = 32;

inline void storeWord(unsigned char* dst, std::uint32_t word) { std::memcpy(dst, &word, 4); }

inline std::uint32_t loadWord(const unsigned char* src) {
    std::uint32_t word;
    std::memcpy(&word, src, 4);
    return word;
}

inline bool isWordAligned(const void* p) { return (reinterpret_cast<std::uintptr_t>(p) & 3) == 0; }

inline bool apart(const void* a, const void* b, std::int64_t bytes) {
    const auto x = reinterpret_cast<std::uintptr_t>(a);
    const auto y = reinterpret_cast<std::uintptr_t>(b);
    const auto n = static_cast<std::uintptr_t>(bytes);
    return x >= y + n || y >= x + n;
}

} // namespace

// Single bytes up to a 4-byte boundary, then 32-byte blocks of words, then
// the remaining bytes one at a time.
void* sigZeroBytes_8u(void* dst, std::int64_t bytes) {
    auto* d = static_cast<unsigned char*>(dst);
    while (bytes > 0 && !isWordAligned(d)) {
        *d++ = 0;
        --bytes;
    }
    if (bytes <= 0) return dst;
    for (std::int64_t blocks = bytes / kBlockBytes; blocks > 0; --blocks, d += kBlockBytes) {
        for (int w = 0; w < 8; ++w) storeWord(d + 4 * w, 0);
    }
    for (std::int64_t rest = bytes % kBlockBytes; rest > 0; --rest) *d++ = 0;
    return dst;
}

// Always from the first byte to the last; the source alignment plays no part.
// Copying a range onto itself is a no-op. Ranges apart give the same bytes
// whatever the order of the copy, so they take the C library's copy; only
// overlapping ones need the walk below.
void* sigCopyBytes_8u(const void* src, void* dst, std::int64_t bytes) {
    if (src == dst) return dst;
    if (bytes > 0 && apart(src, dst, bytes)) {
        std::memcpy(dst, src, static_cast<std::size_t>(bytes));
        return dst;
    }
    const auto* s = static_cast<const unsigned char*>(src);
    auto* d = static_cast<unsigned char*>(dst);
    while (bytes > 0 && !isWordAligned(d)) {
        *d++ = *s++;
        --bytes;
    }
    if (bytes <= 0) return dst;
    for (std::int64_t blocks = bytes / kBlockBytes; blocks > 0; --blocks) {
        for (int w = 0; w < 8; w += 2) {
            const std::uint32_t first = loadWord(s + 4 * w);
            const std::uint32_t second = loadWord(s + 4 * w + 4);
            storeWord(d + 4 * w, first);
            storeWord(d + 4 * w + 4, second);
        }
        s += kBlockBytes;
        d += kBlockBytes;
    }
    for (std::int64_t rest = bytes % kBlockBytes; rest > 0; --rest) *d++ = *s++;
    return dst;
}

// Blocks of eight word stores, then the remaining words; any destination address.
void* sigSetKernel_32s(std::int32_t val, void* dst, std::int64_t count) {
    auto* d = static_cast<unsigned char*>(dst);
    const auto word = static_cast<std::uint32_t>(val);
    for (std::int64_t blocks = count / 8; blocks > 0; --blocks, d += 32) {
        for (int w = 0; w < 8; ++w) storeWord(d + 4 * w, word);
    }
    for (std::int64_t rest = count % 8; rest > 0; --rest, d += 4) storeWord(d, word);
    return dst;
}

int sigZero_32f_generic(float* dst, int len) {
    if (dst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    sigZeroBytes_8u(dst, std::int64_t{len} * 4);
    return sigOk;
}

int sigCopy_32f_generic(const float* src, float* dst, int len) {
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    sigCopyBytes_8u(src, dst, std::int64_t{len} * 4);
    return sigOk;
}

// Stores the value's bit pattern unchanged: -0.0 and NaN payloads survive.
int sigSet_32f_generic(float val, float* dst, int len) {
    if (dst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    sigSetKernel_32s(std::bit_cast<std::int32_t>(val), dst, len);
    return sigOk;
}

int sigSet_32s(std::int32_t val, std::int32_t* dst, int len) {
    if (dst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    sigSetKernel_32s(val, dst, len);
    return sigOk;
}

// Any overlap is safe: the copy runs in the direction that reads every byte
// before it is overwritten. The same array copies nothing.
int sigMove_32f_generic(const float* src, float* dst, int len) {
    if (src == nullptr || dst == nullptr) return sigErrNullPtr;
    if (len <= 0) return sigErrLength;
    if (src != dst) std::memmove(dst, src, static_cast<std::size_t>(len) * 4);
    return sigOk;
}

int sigZero_32f(float* dst, int len) { return sigDispatch(sigDispatchTable.zero_32f, dst, len); }

int sigCopy_32f(const float* src, float* dst, int len) {
    return sigDispatch(sigDispatchTableA.copy_32f, src, dst, len);
}

int sigSet_32f(float val, float* dst, int len) {
    return sigDispatch(sigDispatchTableA.set_32f, val, dst, len);
}
