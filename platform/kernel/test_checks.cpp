#include "platform/kernel/test_checks.h"

#include "platform/kernel/debug_print.h"
#include "platform/kernel/detail/dispatcher.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/floating_state.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/os_version.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/thread.h"
#include "platform/kernel/timer.h"
#include "platform/kernel/work_item.h"

#include <mutex>
#include <sstream>

namespace kernel {
namespace {

struct Registry {
    std::mutex lock;
    std::vector<TestCheck> checks;

    static Registry& instance() {
        static Registry* registry = new Registry; // registrars of any source may come first
        return *registry;
    }
};

// "3 timer(s) still set"; empty for none.
std::string count(std::size_t left, const char* what) {
    if (left == 0) return {};
    return std::to_string(left) + " " + what;
}

std::uint64_t poolSerialAtStart = 0;
std::size_t threadsAtStart = 0;

std::string leakedPoolBlocks() {
    clearPoolFaults();
    const std::vector<PoolBlock> leaked = poolBlocksSince(poolSerialAtStart);
    if (leaked.empty()) return {};
    std::ostringstream text;
    text << leaked.size() << " pool block(s) leaked:";
    for (const PoolBlock& block : leaked)
        text << "\n  tag \"" << poolTagText(block.tag) << "\", " << block.bytes
             << " bytes, allocation #" << block.serial;
    return text.str();
}

std::string manualClockLeftInstalled() {
    auto lock = detail::lockDispatcher();
    if (detail::realClockInForce()) return {};
    detail::installClockLocked(nullptr); // later tests start on the real clock
    return "a manual clock is still installed";
}

std::string testThreadLevel() {
    std::string text;
    if (currentIrql() != Irql::Passive) text = "the test thread is above passive level";
    if (spinLocksHeld() != 0)
        text += (text.empty() ? "" : "; ") +
                count(static_cast<std::size_t>(spinLocksHeld()), "spin lock(s) held");
    return text;
}

const TestCheckRegistrar kernelChecks[] = {
    TestCheckRegistrar({"pool blocks",
                        [] {
                            clearPoolFaults();
                            poolSerialAtStart = poolAllocationSerial();
                        },
                        leakedPoolBlocks}),
    TestCheckRegistrar({"system threads",
                        [] {
                            failSystemThreadStarts(false);
                            threadsAtStart = runningSystemThreads();
                        },
                        [] {
                            failSystemThreadStarts(false);
                            const std::size_t now = runningSystemThreads();
                            return count(now > threadsAtStart ? now - threadsAtStart : 0,
                                         "system thread(s) still running");
                        }}),
    TestCheckRegistrar(
        {"timers", nullptr, [] { return count(timersSet(), "timer(s) still set"); }}),
    TestCheckRegistrar(
        {"work items", nullptr, [] { return count(pendingWorkItems(), "work item(s) pending"); }}),
    TestCheckRegistrar({"deferred procedure calls", nullptr,
                        [] { return count(queuedDpcs(), "deferred procedure call(s) queued"); }}),
    TestCheckRegistrar({"manual clock", nullptr, manualClockLeftInstalled}),
    TestCheckRegistrar({"test thread level", nullptr, testThreadLevel}),
    TestCheckRegistrar({"floating-point saves", [] { failFloatingPointSaves(false); }, nullptr}),
    TestCheckRegistrar({"system version", [] { setOsVersion(defaultOsVersion); }, nullptr}),
    TestCheckRegistrar({"debug log", clearDebugLog, nullptr}),
};

} // namespace

void registerTestCheck(const TestCheck& check) {
    Registry& registry = Registry::instance();
    std::lock_guard guard(registry.lock);
    registry.checks.push_back(check);
}

std::vector<TestCheck> registeredTestChecks() {
    Registry& registry = Registry::instance();
    std::lock_guard guard(registry.lock);
    return registry.checks;
}

} // namespace kernel
