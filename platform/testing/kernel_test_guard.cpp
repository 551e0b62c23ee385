// After every test: no pool block allocated by the test is still live, no
// system thread it started still runs, no timer is left set, no work item is
// pending, and the test thread is back at passive level holding no spin lock.
// Before every test the switches a test may turn (pool faults, failing
// floating-point saves, the system version, the debug log) are reset.
#include "platform/testing/kernel_checks.h"

#include "platform/kernel/check.h"
#include "platform/kernel/debug_print.h"
#include "platform/kernel/floating_state.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/os_version.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/thread.h"
#include "platform/kernel/timer.h"
#include "platform/kernel/work_item.h"

#include <gtest/gtest.h>

#include <mutex>
#include <sstream>

namespace kernel::testing {
namespace {

struct Expectations {
    std::mutex lock;
    int scopes = 0;
    std::vector<std::string> messages;
};

Expectations& expectations() {
    static Expectations* instance =
        new Expectations; // a thread of the layer may fail a check at exit
    return *instance;
}

void failTheTest(const char* message) {
    {
        Expectations& e = expectations();
        std::lock_guard guard(e.lock);
        if (e.scopes > 0) {
            e.messages.emplace_back(message);
            return;
        }
    }
    ADD_FAILURE() << "kernel check failed: " << message;
}

std::string describe(const std::vector<PoolBlock>& blocks) {
    std::ostringstream text;
    for (const PoolBlock& block : blocks)
        text << "\n  tag \"" << poolTagText(block.tag) << "\", " << block.bytes
             << " bytes, allocation #" << block.serial;
    return text.str();
}

class KernelTestGuard : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        setCheckHandler(failTheTest);
        clearPoolFaults();
        failFloatingPointSaves(false);
        setOsVersion(defaultOsVersion);
        clearDebugLog();
        serialAtStart_ = poolAllocationSerial();
        threadsAtStart_ = runningSystemThreads();
    }

    void OnTestEnd(const ::testing::TestInfo&) override {
        EXPECT_EQ(currentIrql(), Irql::Passive) << "the test ended above passive level";
        EXPECT_EQ(spinLocksHeld(), 0) << "the test ended holding a spin lock";
        EXPECT_EQ(pendingWorkItems(), 0u) << "work items still pending at the end of the test";
        EXPECT_EQ(timersSet(), 0u) << "timers still set at the end of the test";
        EXPECT_EQ(runningSystemThreads(), threadsAtStart_)
            << "system threads still running at the end of the test";
        const std::vector<PoolBlock> leaked = poolBlocksSince(serialAtStart_);
        EXPECT_TRUE(leaked.empty())
            << leaked.size() << " pool block(s) leaked:" << describe(leaked);
        clearPoolFaults();
    }

    std::uint64_t serialAtStart_ = 0;
    std::size_t threadsAtStart_ = 0;
};

[[maybe_unused]] const bool installed = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new KernelTestGuard);
    return true;
}();

} // namespace

ExpectKernelChecks::ExpectKernelChecks() {
    Expectations& e = expectations();
    std::lock_guard guard(e.lock);
    if (e.scopes++ == 0) e.messages.clear();
}

ExpectKernelChecks::~ExpectKernelChecks() {
    Expectations& e = expectations();
    std::lock_guard guard(e.lock);
    --e.scopes;
}

std::vector<std::string> ExpectKernelChecks::messages() const {
    Expectations& e = expectations();
    std::lock_guard guard(e.lock);
    return e.messages;
}

} // namespace kernel::testing
