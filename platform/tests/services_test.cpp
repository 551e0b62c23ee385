#include "platform/kernel/debug_print.h"
#include "platform/kernel/floating_state.h"
#include "platform/kernel/interlocked.h"
#include "platform/kernel/os_version.h"
#include "platform/testing/kernel_checks.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <thread>
#include <vector>

namespace {

using namespace kernel;
using kernel::testing::ExpectKernelChecks;

TEST(FloatingState, RestoreGivesBackTheSavedModes) {
    const int callersMode = std::fegetround();
    FloatingSave save;
    ASSERT_EQ(saveFloatingPointState(save), STATUS_SUCCESS);
    std::fesetround(FE_TOWARDZERO);
    EXPECT_EQ(restoreFloatingPointState(save), STATUS_SUCCESS);
    EXPECT_EQ(std::fegetround(), callersMode);
}

TEST(FloatingState, InjectedFailureSavesNothing) {
    failFloatingPointSaves(true);
    FloatingSave save;
    EXPECT_EQ(saveFloatingPointState(save), STATUS_INSUFFICIENT_RESOURCES);
    ExpectKernelChecks expect;
    EXPECT_NE(restoreFloatingPointState(save), STATUS_SUCCESS); // nothing to restore
    EXPECT_EQ(expect.count(), 1u);
}

TEST(DebugPrint, MessagesAreFormattedAndKept) {
    debugPrint("Save FPU error\n");
    debugPrint("Remove Miniport Failed StreamEngine ulIdx = %d\n", 2);
    debugPrint("%s Tag not PCM\n", "HPOut00");
    EXPECT_EQ(debugLog(), (std::vector<std::string>{
                              "Save FPU error\n", "Remove Miniport Failed StreamEngine ulIdx = 2\n",
                              "HPOut00 Tag not PCM\n"}));
    clearDebugLog();
    EXPECT_TRUE(debugLog().empty());
}

TEST(DebugPrint, LongMessagesAreCut) {
    const std::string longText(2000, 'x');
    debugPrint("%s", longText.c_str());
    ASSERT_EQ(debugLog().size(), 1u);
    EXPECT_EQ(debugLog()[0].size(), debugPrintLimit);
}

TEST(OsVersion, IsSettableAndComparedByMajorMinorAndServicePack) {
    EXPECT_TRUE(isVersionAvailable(0x05010000));  // XP
    EXPECT_TRUE(isVersionAvailable(0x06000000));  // 6.0
    EXPECT_FALSE(isVersionAvailable(0x06020000)); // 6.2
    setOsVersion({5, 0, 2195, 4});
    EXPECT_FALSE(isVersionAvailable(0x05010000));
    EXPECT_EQ(osVersion().build, 2195u);
    setOsVersion({5, 1, 2600, 2});
    EXPECT_TRUE(isVersionAvailable(0x05010200));
    EXPECT_FALSE(isVersionAvailable(0x05010300));
}

TEST(Interlocked, ReturnTheKernelsValuesAndDoNotLoseUpdates) {
    std::int32_t count = 0;
    EXPECT_EQ(interlockedIncrement(count), 1);
    EXPECT_EQ(interlockedDecrement(count), 0);
    EXPECT_EQ(interlockedExchange(count, 5), 0);
    EXPECT_EQ(interlockedCompareExchange(count, 9, 4), 5); // no match: unchanged
    EXPECT_EQ(interlockedCompareExchange(count, 9, 5), 5);
    EXPECT_EQ(interlockedExchangeAdd(count, 3), 9);
    EXPECT_EQ(interlockedRead(count), 12);

    int a = 1, b = 2;
    int* pointer = &a;
    EXPECT_EQ(interlockedCompareExchangePointer(pointer, &b, &a), &a);
    EXPECT_EQ(interlockedExchangePointer(pointer, static_cast<int*>(nullptr)), &b);

    std::int32_t shared = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) interlockedIncrement(shared);
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(interlockedRead(shared), 4000);
}

} // namespace
