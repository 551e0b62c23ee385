// Every pool request that plugging a device makes, failed in turn: the
// driver loaded and the device added and started from the driver's entry
// points as the system does it, on each device model the driver ships. A
// start that fails leaves nothing registered or enabled; a start that
// succeeds all the same runs whole; either way the removal gives back every
// block, thread and registration.
//
// The requests are counted per thread, so each walk is the same in every
// run: the work-item worker (where the port layer runs the driver's start)
// and each system thread the plug starts (the system's calls into the
// driver, the threads the driver starts), each failed at its first request,
// then its second, and so on until it makes no more.
#include "driver/adapter/driver_entry.h"
#include "driver/tests/entry/end_to_end_world.h"
#include "driver/tests/entry/leftovers.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/thread.h"
#include "platform/kernel/work_item.h"
#include "platform/portcls/subdevice_access.h"
#include "sim/os/simulated_system.h"
#include "sim/usb/fixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kernel::NTSTATUS;
using kernel::STATUS_SUCCESS;
using Names = std::vector<std::u16string>;

struct ModelCase {
    const char* name;
    usbsim::FunctionDescription (*describe)();
};

// gtest names the case by its model in a failure.
void PrintTo(const ModelCase& model, std::ostream* out) { *out << model.name; }

usbsim::FunctionDescription N3w8() { return usbsim::fixtures::n3w8Device(); }
usbsim::FunctionDescription Q7k2() { return usbsim::fixtures::q7k2Device(); }

const ModelCase Models[] = {
    {"Uac1", e2e::NamedHeadset},
    {"Uac2", usbsim::fixtures::uac2FeedbackDevice},
    {"Uac2Asio", usbsim::fixtures::uac2AsioDevice},
    {"N3W8", N3w8},
    {"K7D2", usbsim::fixtures::k7d2Device},
    {"P9F4", usbsim::fixtures::p9f4Device},
    {"T6L1", usbsim::fixtures::t6l1Device},
    {"Q7K2", Q7k2},
};

// Whose request fails: the work-item worker's, or that of the plug's k-th
// system thread (1 = the first it starts); none for the plain plug.
struct Fault {
    enum class On { none, worker, systemThread } on = On::none;
    std::uint64_t thread = 0;
    std::uint64_t request = 0;

    std::string Describe() const {
        std::ostringstream text;
        if (on == On::worker) text << "the worker's request " << request;
        if (on == On::systemThread) text << "system thread " << thread << "'s request " << request;
        return text.str();
    }
};

// Arms the counted fault on the worker from a work item of its own, which
// runs before anything the plug queues.
void ArmOnWorker(std::uint64_t request) {
    kernel::WorkItem* item = kernel::allocateWorkItem();
    ASSERT_NE(item, nullptr);
    kernel::queueWorkItem(
        *item, [](void* n) { kernel::failPoolRequest(*static_cast<std::uint64_t*>(n)); }, &request);
    kernel::drainWorkItems();
    kernel::freeWorkItem(item);
}

struct PlugOutcome {
    NTSTATUS status = STATUS_SUCCESS;
    bool faultFired = false;
    std::uint64_t threadsStarted = 0; // system threads the plug started
    Names subdevices;
    std::size_t enabledInterfaces = 0;
};

// One system of its own: load, plug with the fault armed, then remove, and
// nothing may be left.
PlugOutcome PlugOnce(const ModelCase& model, const Fault& fault) {
    SCOPED_TRACE(fault.Describe());
    const entry_test::Baseline before = entry_test::TakeBaseline();
    PlugOutcome outcome;
    {
        ossim::SimulatedSystem system(model.describe());
        // A start that hangs on a failure fails the test instead of waiting on.
        system.boundCalls(std::chrono::seconds(2));
        EXPECT_EQ(system.load(DriverEntry), STATUS_SUCCESS);
        const std::uint64_t first = kernel::systemThreadStarts() + 1;
        if (fault.on == Fault::On::worker) ArmOnWorker(fault.request);
        if (fault.on == Fault::On::systemThread)
            kernel::failPoolRequestOfSystemThread(first + fault.thread - 1, fault.request);
        outcome.status = system.plug();
        outcome.faultFired = fault.on != Fault::On::none && !kernel::poolRequestFaultPending();
        kernel::clearPoolFaults();
        outcome.threadsStarted = kernel::systemThreadStarts() + 1 - first;
        for (const portcls::SubdeviceRecord& record : system.host().subdevices(system.device()))
            outcome.subdevices.push_back(record.name);
        for (const io::DeviceInterfaceEntry& entry :
             system.host().deviceInterfaces(system.device()))
            outcome.enabledInterfaces += entry.enabled ? 1 : 0;
        if (!kernel::succeeded(outcome.status)) {
            EXPECT_EQ(portcls::registeredSubdeviceCount(), 0u)
                << "a failed start left subdevices registered";
            EXPECT_EQ(outcome.enabledInterfaces, 0u) << "a failed start left interfaces enabled";
        }
        if (system.host().stacks() != 0) {
            EXPECT_EQ(system.remove(), STATUS_SUCCESS);
        }
        EXPECT_EQ(system.host().stacks(), 0u);
    }
    entry_test::ExpectNothingLeft(before, "once the system is gone");
    return outcome;
}

class StartAllocationFailure : public ::testing::TestWithParam<ModelCase> {};

TEST_P(StartAllocationFailure, EveryRequestOfThePlugFailedInTurnLeavesNothingBehind) {
    const ModelCase& model = GetParam();
    const PlugOutcome plain = PlugOnce(model, {});
    ASSERT_EQ(plain.status, STATUS_SUCCESS);
    ASSERT_FALSE(plain.subdevices.empty());
    ASSERT_FALSE(::testing::Test::HasFailure());

    std::vector<Fault> walks{{Fault::On::worker, 0, 0}};
    for (std::uint64_t k = 1; k <= plain.threadsStarted; ++k)
        walks.push_back({Fault::On::systemThread, k, 0});
    std::uint64_t sites = 0;
    std::uint64_t failedStarts = 0;
    for (Fault fault : walks) {
        for (fault.request = 1;; ++fault.request) {
            const PlugOutcome outcome = PlugOnce(model, fault);
            if (::testing::Test::HasFailure()) return; // one site's failure says it all
            if (!outcome.faultFired) break;
            ++sites;
            if (!kernel::succeeded(outcome.status)) {
                ++failedStarts;
                continue;
            }
            // A start that succeeded despite the failure is the whole device.
            EXPECT_EQ(outcome.subdevices, plain.subdevices) << fault.Describe();
            EXPECT_EQ(outcome.enabledInterfaces, plain.enabledInterfaces) << fault.Describe();
        }
    }
    EXPECT_GT(failedStarts, sites / 2) << "sites: " << sites;
    RecordProperty("sites", static_cast<int>(sites));
    std::printf("%s: %llu sites, %llu failed starts\n", model.name,
                static_cast<unsigned long long>(sites),
                static_cast<unsigned long long>(failedStarts));
}

INSTANTIATE_TEST_SUITE_P(EveryModel, StartAllocationFailure, ::testing::ValuesIn(Models),
                         [](const ::testing::TestParamInfo<ModelCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
