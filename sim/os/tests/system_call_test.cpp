// Calls on a system thread that block until the caller moves time on.
#include "sim/os/system_call.h"

#include "platform/kernel/event.h"

#include <gtest/gtest.h>

namespace {

constexpr kernel::NTSTATUS CallStatus = 0x00001234;

// The call waits for an event that the caller's third step sets: it returns
// within enough steps, after exactly three, and is still blocked with fewer.
TEST(SystemCall, AdvancesUntilTheCallReturnsOrTheStepsRunOut) {
    struct Case {
        int maxSteps;
        kernel::NTSTATUS expected;
        int stepsTaken;
    };
    for (const Case c : {Case{5, CallStatus, 3}, Case{3, CallStatus, 3},
                         Case{2, kernel::STATUS_PENDING, 2}, Case{0, kernel::STATUS_PENDING, 0}}) {
        SCOPED_TRACE(c.maxSteps);
        kernel::ManualClock clock;
        kernel::Event event(kernel::EventType::Notification, false);
        int steps = 0;
        const kernel::NTSTATUS status = ossim::callOnSystemThread(
            clock,
            [&event] {
                kernel::waitForSingleObject(event, kernel::Timeout::infinite());
                return CallStatus;
            },
            [&] {
                if (++steps == 3) event.set();
                clock.settle();
            },
            c.maxSteps);
        EXPECT_EQ(status, c.expected);
        EXPECT_EQ(steps, c.stepsTaken);
        // A call left blocked ends before its event goes.
        event.set();
        clock.settle();
    }
}

} // namespace
