// Every kernel service with a level rule refuses a caller above it with a
// check that names the service and the level.
#include "platform/kernel/callback_object.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/event.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/thread.h"
#include "platform/kernel/work_item.h"
#include "platform/testing/kernel_checks.h"
#include "platform/tests/level_rule_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace kernel;
using namespace std::chrono_literals;
using kernel::testing::ExpectKernelChecks;

TEST(RequireIrql, PassesAtOrBelowTheLimitAndNamesServiceAndLevelsAbove) {
    ExpectKernelChecks expect;
    EXPECT_TRUE(requireIrql(Irql::Passive, "passive service"));
    {
        IrqlScope atApc(Irql::Apc);
        EXPECT_TRUE(requireIrql(Irql::Apc, "wait"));
        EXPECT_TRUE(requireIrql(Irql::Dispatch, "queueing"));
        EXPECT_FALSE(requireIrql(Irql::Passive, "thread creation"));
    }
    ASSERT_EQ(expect.count(), 1u);
    EXPECT_EQ(expect.messages()[0], "thread creation at APC level (allowed up to passive level)");
}

struct LevelRule {
    const char* service; // as the check names it
    Irql callerLevel;
    // Calls the service from callerLevel; true when it refused the call.
    bool (*refused)();
};

void PrintTo(const LevelRule& rule, std::ostream* out) { *out << rule.service; }

const UnicodeString callbackName = makeUnicodeString(u"\\Callback\\Level");

const LevelRule rules[] = {
    {"system thread creation", Irql::Apc,
     [] {
         IrqlScope raised(Irql::Apc);
         ThreadObject* thread = nullptr;
         return createSystemThread(
                    &thread, [](void*) {}, nullptr) == STATUS_UNSUCCESSFUL &&
                thread == nullptr;
     }},
    {"callback object creation", Irql::Apc,
     [] {
         IrqlScope raised(Irql::Apc);
         CallbackObject* object = nullptr;
         return createCallbackObject(&object, callbackName, true, true) == STATUS_UNSUCCESSFUL &&
                object == nullptr;
     }},
    {"callback registration", Irql::Apc,
     [] {
         CallbackObject* object = nullptr;
         createCallbackObject(&object, callbackName, true, true);
         CallbackRegistration* registration = nullptr;
         {
             IrqlScope raised(Irql::Apc);
             registration = registerCallback(
                 *object, [](void*, void*, void*) {}, nullptr);
         }
         dereferenceObject(*object);
         return registration == nullptr;
     }},
    {"timer resolution request", Irql::Apc,
     [] {
         IrqlScope raised(Irql::Apc);
         return setTimerResolution(finestTimerResolution, true) == defaultTimerResolution &&
                timerResolutionRequests() == 0;
     }},
    {"paged pool request", Irql::Dispatch,
     [] {
         IrqlScope raised(Irql::Dispatch);
         return allocatePool(PoolType::Paged, 8, poolTag("Lvl")) == nullptr;
     }},
    {"wait", Irql::Dispatch,
     [] {
         Event never(EventType::Notification, false);
         IrqlScope raised(Irql::Dispatch);
         return waitForSingleObject(never, Duration(10ms)) == STATUS_TIMEOUT;
     }},
    {"delay", Irql::Dispatch,
     [] {
         IrqlScope raised(Irql::Dispatch);
         return delayExecution(Duration(10ms)) == STATUS_SUCCESS;
     }},
    {"work item drain", Irql::Dispatch,
     [] {
         IrqlScope raised(Irql::Dispatch);
         drainWorkItems();
         return true; // the check tells
     }},
    {"DPC flush", Irql::Dispatch,
     [] {
         IrqlScope raised(Irql::Dispatch);
         flushQueuedDpcs();
         return true; // the check tells
     }},
    {"manual clock advance", Irql::Apc,
     [] {
         ManualClock clock;
         {
             IrqlScope raised(Irql::Apc);
             clock.advance(1ms);
         }
         return clock.now() == Duration::zero();
     }},
    {"manual clock settle", Irql::Apc,
     [] {
         ManualClock clock;
         IrqlScope raised(Irql::Apc);
         clock.settle();
         return true; // the check tells
     }},
};

class LevelRuleTest : public ::testing::TestWithParam<LevelRule> {};

TEST_P(LevelRuleTest, RefusesACallerAboveIt) {
    const LevelRule& rule = GetParam();
    ExpectKernelChecks expect;
    EXPECT_TRUE(rule.refused());
    kernel::testing::expectLevelRuleCheck(expect, rule.service, rule.callerLevel);
}

INSTANTIATE_TEST_SUITE_P(KernelServices, LevelRuleTest, ::testing::ValuesIn(rules));

} // namespace
