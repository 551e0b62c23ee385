// What a test may leave behind in a layer of the platform, and the switches
// it may turn there. Each layer registers named checks for its own state; the
// test guard (platform/testing) runs every registered check before and after
// each test, so it knows no layer. Programs never run them.
//
// A layer registers from a static TestCheckRegistrar in the source that owns
// the state, so the check is linked into every program that can have that
// state. The kernel registers its own beside the registry: pool blocks,
// system threads, timers, work items, deferred calls, the manual clock, the
// test thread's level and spin locks, and the switches of the pool, thread
// starts, floating-point saves, system version and debug log.
#pragma once

#include <string>
#include <vector>

namespace kernel {

struct TestCheck {
    const char* name;
    // Before each test: puts the layer's switches back and notes where its
    // state stands. May be null.
    void (*beforeTest)();
    // After each test: what the test left behind, described; empty when
    // nothing. May be null.
    std::string (*afterTest)();
};

// For the program's life; checks run in the order registered.
void registerTestCheck(const TestCheck& check);
std::vector<TestCheck> registeredTestChecks();

struct TestCheckRegistrar {
    explicit TestCheckRegistrar(const TestCheck& check) { registerTestCheck(check); }
};

} // namespace kernel
