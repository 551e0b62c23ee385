#include "platform/kernel/check.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace kernel {
namespace {

void stopTheMachine(const char* message) {
    std::fprintf(stderr, "kernel check failed: %s\n", message);
    std::abort();
}

std::atomic<CheckHandler> handler{stopTheMachine};

} // namespace

CheckHandler setCheckHandler(CheckHandler next) {
    return handler.exchange(next != nullptr ? next : stopTheMachine);
}

void failCheck(const char* message) { handler.load()(message); }

} // namespace kernel
