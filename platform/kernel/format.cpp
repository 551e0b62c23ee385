#include "platform/kernel/format.h"

#include <algorithm>
#include <string>

namespace kernel {
namespace {

struct Directive {
    bool leftAlign = false;
    bool zeroPad = false;
    std::size_t width = 0;
    char conversion = 0;
};

template <class Char> class Output {
public:
    Output(Char* dest, std::size_t room) : dest_(dest), room_(room) {}

    void put(char32_t c) {
        if (used_ + 1 < room_) {
            dest_[used_++] = narrowOrWide(c);
        } else {
            overflowed_ = true;
        }
    }
    void putText(const std::u32string& text, const Directive& directive) {
        const std::size_t pad = directive.width > text.size() ? directive.width - text.size() : 0;
        if (!directive.leftAlign)
            for (std::size_t i = 0; i < pad; ++i) put(U' ');
        for (char32_t c : text) put(c);
        if (directive.leftAlign)
            for (std::size_t i = 0; i < pad; ++i) put(U' ');
    }
    NTSTATUS finish() {
        dest_[used_] = Char{0};
        return overflowed_ ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
    }
    NTSTATUS refuse() {
        dest_[0] = Char{0};
        return STATUS_INVALID_PARAMETER;
    }

private:
    static Char narrowOrWide(char32_t c) {
        if constexpr (sizeof(Char) == 1) return static_cast<Char>(c < 0x100 ? c : U'?');
        return static_cast<Char>(c);
    }

    Char* dest_;
    std::size_t room_;
    std::size_t used_ = 0;
    bool overflowed_ = false;
};

std::u32string digits(std::uint64_t value, unsigned base, bool upper) {
    const char* symbols = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::u32string text;
    do {
        text.insert(text.begin(), static_cast<char32_t>(symbols[value % base]));
        value /= base;
    } while (value != 0);
    return text;
}

// The value cut to the argument's own width, as unsigned and as signed.
std::uint64_t asUnsigned(const FormatArgument& a) {
    return a.bits() >= 64 ? a.integer() : a.integer() & ((std::uint64_t{1} << a.bits()) - 1);
}
std::int64_t asSigned(const FormatArgument& a) {
    const std::uint64_t value = asUnsigned(a);
    if (a.bits() >= 64) return static_cast<std::int64_t>(value);
    const std::uint64_t sign = std::uint64_t{1} << (a.bits() - 1);
    return static_cast<std::int64_t>((value ^ sign) - sign);
}

std::u32string number(const FormatArgument& a, const Directive& directive) {
    std::u32string body;
    bool negative = false;
    switch (directive.conversion) {
    case 'd':
    case 'i': {
        const std::int64_t value = asSigned(a);
        negative = value < 0;
        body = digits(negative ? 0 - static_cast<std::uint64_t>(value)
                               : static_cast<std::uint64_t>(value),
                      10, false);
        break;
    }
    case 'u':
        body = digits(asUnsigned(a), 10, false);
        break;
    case 'x':
        body = digits(asUnsigned(a), 16, false);
        break;
    default:
        body = digits(asUnsigned(a), 16, true);
        break; // 'X'
    }
    if (directive.zeroPad && !directive.leftAlign) {
        const std::size_t wanted =
            directive.width > (negative ? 1u : 0u) ? directive.width - (negative ? 1u : 0u) : 0;
        if (body.size() < wanted) body.insert(0, wanted - body.size(), U'0');
    }
    if (negative) body.insert(body.begin(), U'-');
    return body;
}

std::u32string text(const FormatArgument& a) {
    std::u32string out;
    if (a.kind() == FormatArgument::Kind::Narrow) {
        if (a.narrow() == nullptr) return U"(null)";
        for (const char* p = a.narrow(); *p != '\0'; ++p)
            out += static_cast<char32_t>(static_cast<unsigned char>(*p));
    } else {
        if (a.wide() == nullptr) return U"(null)";
        for (const char16_t* p = a.wide(); *p != u'\0'; ++p) out += static_cast<char32_t>(*p);
    }
    return out;
}

bool isInteger(const FormatArgument& a) {
    return a.kind() == FormatArgument::Kind::Signed || a.kind() == FormatArgument::Kind::Unsigned;
}
bool isString(const FormatArgument& a) {
    return a.kind() == FormatArgument::Kind::Narrow || a.kind() == FormatArgument::Kind::Wide;
}

template <class Char>
NTSTATUS format(Char* dest, std::size_t room, const Char* fmt,
                std::span<const FormatArgument> args) {
    if (dest == nullptr || room == 0) return STATUS_INVALID_PARAMETER;
    Output<Char> out(dest, room);
    if (fmt == nullptr) return out.refuse();

    std::size_t next = 0;
    for (const Char* p = fmt; *p != Char{0}; ++p) {
        if (*p != Char('%')) {
            out.put(static_cast<char32_t>(static_cast<std::make_unsigned_t<Char>>(*p)));
            continue;
        }
        ++p;
        if (*p == Char('%')) {
            out.put(U'%');
            continue;
        }
        Directive directive;
        for (;; ++p) {
            if (*p == Char('-'))
                directive.leftAlign = true;
            else if (*p == Char('0'))
                directive.zeroPad = true;
            else
                break;
        }
        // Output stops at the room anyway; a wider field would only cost time
        // and memory (and a width with too many digits would wrap).
        for (; *p >= Char('0') && *p <= Char('9'); ++p)
            directive.width =
                std::min(directive.width * 10 + static_cast<std::size_t>(*p - Char('0')), room);
        // Length and width prefixes say nothing the typed argument does not.
        while (*p == Char('l') || *p == Char('h') || *p == Char('w')) ++p;
        if (*p == Char('I') && p[1] == Char('6') && p[2] == Char('4')) p += 3;
        if (*p == Char{0}) return out.refuse();
        directive.conversion = static_cast<char>(*p);

        if (next >= args.size()) return out.refuse();
        const FormatArgument& arg = args[next++];
        switch (directive.conversion) {
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
            if (!isInteger(arg)) return out.refuse();
            out.putText(number(arg, directive), directive);
            break;
        case 'c':
            if (!isInteger(arg)) return out.refuse();
            out.putText(std::u32string(1, static_cast<char32_t>(asUnsigned(arg))), directive);
            break;
        case 's':
        case 'S':
            if (!isString(arg)) return out.refuse();
            out.putText(text(arg), directive);
            break;
        case 'p': {
            if (arg.kind() != FormatArgument::Kind::Pointer) return out.refuse();
            std::u32string hex = digits(reinterpret_cast<std::uintptr_t>(arg.pointer()), 16, true);
            hex.insert(0, sizeof(void*) * 2 - hex.size(), U'0');
            out.putText(hex, directive);
            break;
        }
        default:
            return out.refuse();
        }
    }
    return out.finish();
}

} // namespace

NTSTATUS formatArguments(char* dest, std::size_t destChars, const char* fmt,
                         std::span<const FormatArgument> args) {
    return format(dest, destChars, fmt, args);
}

NTSTATUS formatArguments(char16_t* dest, std::size_t destChars, const char16_t* fmt,
                         std::span<const FormatArgument> args) {
    return format(dest, destChars, fmt, args);
}

} // namespace kernel
