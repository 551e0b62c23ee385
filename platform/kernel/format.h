// Bounded formatting into fixed buffers, 8-bit or UTF-16, with the
// conversions the driver's formats use: %s (the string given, of either
// width), %ws and %S, %d %i %u %x %X with width and the 0 and - flags
// ("%02d", "%2d"), %p (all 16 hex digits), %c and %%. Arguments are typed, so
// a conversion that does not fit its argument is refused instead of read wrongly.
#pragma once

#include "platform/kernel/status.h"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kernel {

class FormatArgument {
public:
    enum class Kind { Signed, Unsigned, Narrow, Wide, Pointer };

    template <std::integral T>
    FormatArgument(T value)
        : kind_(std::is_signed_v<T> ? Kind::Signed : Kind::Unsigned), bits_(sizeof(T) * 8),
          integer_(static_cast<std::uint64_t>(value)) {}
    FormatArgument(const char* text) : kind_(Kind::Narrow), narrow_(text) {}
    FormatArgument(const char16_t* text) : kind_(Kind::Wide), wide_(text) {}
    FormatArgument(char* text) : FormatArgument(static_cast<const char*>(text)) {}
    FormatArgument(char16_t* text) : FormatArgument(static_cast<const char16_t*>(text)) {}
    FormatArgument(const void* pointer) : kind_(Kind::Pointer), pointer_(pointer) {}
    FormatArgument(std::nullptr_t) : kind_(Kind::Pointer) {}

    Kind kind() const { return kind_; }
    unsigned bits() const { return bits_; }
    std::uint64_t integer() const { return integer_; }
    const char* narrow() const { return narrow_; }
    const char16_t* wide() const { return wide_; }
    const void* pointer() const { return pointer_; }

private:
    Kind kind_;
    unsigned bits_ = 64;
    std::uint64_t integer_ = 0;
    const char* narrow_ = nullptr;
    const char16_t* wide_ = nullptr;
    const void* pointer_ = nullptr;
};

// Output that does not fit is cut and terminated: STATUS_BUFFER_OVERFLOW. A
// bad format, a conversion without its argument or one that does not fit its
// argument: STATUS_INVALID_PARAMETER with an empty result. Room for nothing
// (null buffer or size 0): STATUS_INVALID_PARAMETER.
NTSTATUS formatArguments(char* dest, std::size_t destChars, const char* format,
                         std::span<const FormatArgument> arguments);
NTSTATUS formatArguments(char16_t* dest, std::size_t destChars, const char16_t* format,
                         std::span<const FormatArgument> arguments);

template <class Char, class... Args>
NTSTATUS formatString(Char* dest, std::size_t destChars, const Char* format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return formatArguments(dest, destChars, format, {});
    } else {
        const FormatArgument list[] = {FormatArgument(args)...};
        return formatArguments(dest, destChars, format, list);
    }
}

} // namespace kernel
