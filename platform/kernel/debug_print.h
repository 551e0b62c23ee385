// Debug output of driver code. Every message is formatted (bounded, see
// format.h) and kept in a log that tests read; it also goes to standard error
// when echo is on.
#pragma once

#include "platform/kernel/format.h"

#include <span>
#include <string>
#include <vector>

namespace kernel {

// Longest message kept; longer ones are cut.
inline constexpr std::size_t debugPrintLimit = 512;

void debugPrintArguments(const char* format, std::span<const FormatArgument> arguments);

template <class... Args> void debugPrint(const char* format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        debugPrintArguments(format, {});
    } else {
        const FormatArgument list[] = {FormatArgument(args)...};
        debugPrintArguments(format, list);
    }
}

std::vector<std::string> debugLog();
void clearDebugLog();
void setDebugEcho(bool on);

} // namespace kernel
