#include "platform/kernel/debug_print.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace kernel {
namespace {

struct Log {
    std::mutex lock;
    std::vector<std::string> messages;
};

Log& log() {
    static Log* instance = new Log; // threads may still print while the program ends
    return *instance;
}

std::atomic<bool> echo{false};

} // namespace

void debugPrintArguments(const char* format, std::span<const FormatArgument> arguments) {
    char message[debugPrintLimit + 1];
    formatArguments(message, sizeof message, format, arguments);
    if (echo.load()) std::fputs(message, stderr);
    std::lock_guard guard(log().lock);
    log().messages.emplace_back(message);
}

std::vector<std::string> debugLog() {
    std::lock_guard guard(log().lock);
    return log().messages;
}

void clearDebugLog() {
    std::lock_guard guard(log().lock);
    log().messages.clear();
}

void setDebugEcho(bool on) { echo.store(on); }

} // namespace kernel
