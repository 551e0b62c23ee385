// The host: loading the driver, the stack's plug-and-play life and power
// changes as the toy driver sees them, what it registered, and the requests
// a system never sends.
#include "platform/io/user_process.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/event.h"
#include "platform/kernel/thread.h"
#include "platform/testing/kernel_checks.h"
#include "sim/os/system_call.h"
#include "sim/os/tests/toy_world.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace kernel;
using io::DevicePowerState;
using ossim::StackState;
using Journal = std::vector<std::string>;

class DriverHostTest : public ossim::testing::ToyWorldTest {
protected:
    StackState state() {
        StackState now{};
        EXPECT_EQ(host.stackState(physical.device(), &now), STATUS_SUCCESS);
        return now;
    }
    bool interfaceEnabled() {
        const auto interfaces = host.deviceInterfaces(physical.device());
        return interfaces.size() == 1 && interfaces[0].enabled;
    }
};

TEST_F(DriverHostTest, LoadsAddsAndStartsTheDriverWhichEnablesItsInterfaceOnlyOnceStarted) {
    ASSERT_EQ(host.load(toy::driverEntry, ossim::testing::toyRegistryPath), STATUS_SUCCESS);
    EXPECT_TRUE(host.loaded());
    EXPECT_NE(host.driverObject().majorFunction[io::major::Pnp], nullptr);
    ASSERT_EQ(host.addDevice(physical.device()), STATUS_SUCCESS);
    EXPECT_EQ(state(), StackState::added);
    EXPECT_NE(physical.device()->attachedDevice(), nullptr);
    const auto registered = host.deviceInterfaces(physical.device());
    ASSERT_EQ(registered.size(), 1u);
    EXPECT_EQ(registered[0].interfaceClass, toy::controlInterface);
    EXPECT_EQ(registered[0].referenceString, toy::referenceString);
    EXPECT_FALSE(registered[0].enabled);

    const io::ResourceDescriptor descriptors[2] = {};
    ASSERT_EQ(host.startDevice(physical.device(), {2, descriptors}), STATUS_SUCCESS);
    EXPECT_EQ(state(), StackState::started);
    EXPECT_EQ(host.powerState(physical.device()), DevicePowerState::D0);
    EXPECT_TRUE(interfaceEnabled());
    // The driver waited in its start for the bus below, which completed in a
    // deferred call: the host settled the clock for it on its own thread.
    EXPECT_EQ(toy::journal(), (Journal{"entry \\Registry\\Machine\\System\\CurrentControlSet\\"
                                       "Services\\toy",
                                       "add", "start 2"}));
    EXPECT_EQ(physical.received().back(),
              (std::pair<std::uint8_t, std::uint8_t>{io::major::Pnp, io::minorPnp::StartDevice}));
}

struct PowerSequence {
    const char* name;
    std::vector<DevicePowerState> states;
    Journal journal;
};

void PrintTo(const PowerSequence& s, std::ostream* out) { *out << s.name; }

class PowerSequenceTest : public DriverHostTest,
                          public ::testing::WithParamInterface<PowerSequence> {};

TEST_P(PowerSequenceTest, PowerChangesReachTheDriverAndTheBusInTheOrderSent) {
    bringUp();
    for (DevicePowerState state : GetParam().states) {
        EXPECT_EQ(host.setDevicePower(physical.device(), state), STATUS_SUCCESS);
        EXPECT_EQ(host.powerState(physical.device()), state);
    }
    EXPECT_EQ(toy::journal(), GetParam().journal);
    std::size_t powerAtBus = 0;
    for (const auto& [majorFunction, minorFunction] : physical.received())
        powerAtBus += majorFunction == io::major::Power;
    EXPECT_EQ(powerAtBus, GetParam().states.size());
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, PowerSequenceTest,
    ::testing::Values(PowerSequence{"off and on",
                                    {DevicePowerState::D3, DevicePowerState::D0},
                                    {"power D3", "power D0"}},
                      PowerSequence{"every state down and back",
                                    {DevicePowerState::D1, DevicePowerState::D2,
                                     DevicePowerState::D3, DevicePowerState::D0},
                                    {"power D1", "power D2", "power D3", "power D0"}},
                      PowerSequence{"the same state twice",
                                    {DevicePowerState::D2, DevicePowerState::D2},
                                    {"power D2", "power D2"}}));

TEST_F(DriverHostTest, SurpriseRemovalDisablesTheInterfaceAndRemovalTakesTheStackApart) {
    bringUp();
    EXPECT_EQ(host.surpriseRemove(physical.device()), STATUS_SUCCESS);
    EXPECT_EQ(state(), StackState::surpriseRemoved);
    EXPECT_FALSE(interfaceEnabled());
    EXPECT_EQ(host.setDevicePower(physical.device(), DevicePowerState::D0),
              STATUS_INVALID_DEVICE_REQUEST);

    EXPECT_EQ(host.removeDevice(physical.device()), STATUS_SUCCESS);
    EXPECT_EQ(host.stacks(), 0u);
    EXPECT_EQ(physical.device()->attachedDevice(), nullptr);
    EXPECT_EQ(host.unload(), STATUS_SUCCESS);
    EXPECT_FALSE(host.loaded());
    // no query before a remove that follows a surprise removal
    EXPECT_EQ(toy::journal(), (Journal{"surprise", "remove", "unload"}));
    EXPECT_EQ(runningSystemThreads(), 0u);
}

TEST_F(DriverHostTest, AnOrderlyRemovalTheDriverRefusesIsCancelledAndTheStackStays) {
    bringUp();
    toy::refuseQueriesWhileOpen(true);
    std::uint32_t file = 0;
    {
        io::UserProcess client;
        const auto link = host.deviceInterfaces(physical.device())[0].symbolicLink;
        ASSERT_EQ(client.openDeviceInterface(link, &file), STATUS_SUCCESS);
        EXPECT_EQ(host.removeDevice(physical.device()), STATUS_DEVICE_BUSY);
        EXPECT_EQ(host.stopDevice(physical.device()), STATUS_DEVICE_BUSY);
        EXPECT_EQ(state(), StackState::started);
        EXPECT_TRUE(interfaceEnabled());
    }
    EXPECT_EQ(toy::journal(), (Journal{"create \\ToyControl", "query-remove", "cancel-remove",
                                       "query-stop", "cancel-stop", "cleanup", "close"}));
    toy::clearJournal();
    EXPECT_EQ(host.removeDevice(physical.device()), STATUS_SUCCESS);
    EXPECT_EQ(toy::journal(), (Journal{"query-remove", "remove"}));
}

// The driver lets the query pass, but a user process still holds a file of
// the device: the system vetoes the removal all the same, and the removal
// goes through once the file is closed.
TEST_F(DriverHostTest, AnOpenUserFileVetoesAnOrderlyRemovalTheDriverLetsPass) {
    bringUp();
    {
        io::UserProcess client;
        std::uint32_t file = 0;
        const auto link = host.deviceInterfaces(physical.device())[0].symbolicLink;
        ASSERT_EQ(client.openDeviceInterface(link, &file), STATUS_SUCCESS);
        EXPECT_EQ(host.removeDevice(physical.device()), STATUS_DEVICE_BUSY);
        EXPECT_EQ(state(), StackState::started);
        EXPECT_TRUE(interfaceEnabled());
    }
    EXPECT_EQ(toy::journal(), (Journal{"create \\ToyControl", "query-remove", "cancel-remove",
                                       "cleanup", "close"}));
    EXPECT_EQ(host.removeDevice(physical.device()), STATUS_SUCCESS);
    EXPECT_EQ(host.stacks(), 0u);
}

TEST_F(DriverHostTest, AStoppedStackStartsAgain) {
    bringUp();
    EXPECT_EQ(host.stopDevice(physical.device()), STATUS_SUCCESS);
    EXPECT_EQ(state(), StackState::stopped);
    EXPECT_FALSE(interfaceEnabled());
    EXPECT_EQ(host.startDevice(physical.device()), STATUS_SUCCESS);
    EXPECT_TRUE(interfaceEnabled());
    EXPECT_EQ(toy::journal(), (Journal{"query-stop", "stop", "start 0"}));
}

TEST_F(DriverHostTest, OtherRequestsPassThroughWithTheirParametersAndLeaveTheStateAlone) {
    bringUp();
    io::DeviceCapabilities capabilities{};
    io::IoStackLocation::Parameters parameters{};
    parameters.deviceCapabilities.capabilities = &capabilities;
    // neither the toy driver nor the bus answers it: the status it was sent with
    EXPECT_EQ(host.sendPnp(physical.device(), io::minorPnp::QueryCapabilities, parameters),
              STATUS_NOT_SUPPORTED);
    EXPECT_EQ(state(), StackState::started);
    EXPECT_EQ(toy::journal(), Journal{"pnp 9"});
}

TEST_F(DriverHostTest, TheHostTakesItsStacksDownAndUnloadsTheDriverWhenItEnds) {
    {
        ossim::DriverHost second(clock);
        ossim::testing::steps::started(second, physical.device());
        toy::clearJournal();
    }
    EXPECT_EQ(toy::journal(), (Journal{"surprise", "remove", "unload"}));
    EXPECT_EQ(physical.device()->attachedDevice(), nullptr);
}

NTSTATUS refusingEntry(io::DriverObject* driver, const UnicodeString*) {
    driver->addDevice = [](io::DriverObject*, io::DeviceObject*) { return STATUS_SUCCESS; };
    return STATUS_UNSUCCESSFUL;
}

NTSTATUS entryWithoutUnload(io::DriverObject* driver, const UnicodeString* path) {
    const NTSTATUS status = toy::driverEntry(driver, path);
    driver->unload = nullptr;
    return status;
}

TEST_F(DriverHostTest, ADriverWhoseEntryFailsIsNotLoaded) {
    EXPECT_EQ(host.load(refusingEntry, u"\\Registry\\refusing"), STATUS_UNSUCCESSFUL);
    EXPECT_FALSE(host.loaded());
    EXPECT_EQ(host.driverObject().addDevice, nullptr);
    EXPECT_EQ(host.addDevice(physical.device()), STATUS_INVALID_DEVICE_REQUEST);
}

// Waits on the clock a little longer than the host lets a call take.
NTSTATUS slowEntry(io::DriverObject*, const UnicodeString*) {
    delayExecution(ossim::DriverHost::callAllowance + std::chrono::milliseconds(100));
    return STATUS_SUCCESS;
}

// Waits a quarter of a second on the clock: the host moves time on for the
// call while it waits, and no further.
NTSTATUS patientEntry(io::DriverObject*, const UnicodeString*) {
    delayExecution(std::chrono::milliseconds(250));
    return STATUS_SUCCESS;
}

TEST_F(DriverHostTest, ACallWaitingOnTheClockGetsTimeWithinTheAllowance) {
    const kernel::Duration before = clock.now();
    EXPECT_EQ(host.load(patientEntry, u"\\Registry\\patient"), STATUS_SUCCESS);
    EXPECT_TRUE(host.loaded());
    EXPECT_EQ(clock.now() - before, std::chrono::milliseconds(250));
    EXPECT_EQ(runningSystemThreads(), 0u);
}

TEST_F(DriverHostTest, ACallTheDriverStillBlocksInOnceTheClockSettledIsPendingAndEndsLater) {
    const kernel::Duration before = clock.now();
    EXPECT_EQ(host.load(slowEntry, u"\\Registry\\slow"), STATUS_PENDING);
    EXPECT_EQ(clock.now() - before, ossim::DriverHost::callAllowance);
    EXPECT_FALSE(host.loaded());
    EXPECT_EQ(runningSystemThreads(), 1u);
    clock.advance(std::chrono::milliseconds(100));
    clock.settle();
    EXPECT_EQ(runningSystemThreads(), 0u);
    EXPECT_FALSE(host.loaded()); // its status came too late
}

// A call that waits on time only moving time ends: a bounded host steps
// the clock while the call blocks, within its bound; a call still blocked
// past the bound is a hang, which fails a check instead of waiting for ever.
Event& neverSet() {
    static Event event{EventType::Notification, false};
    return event;
}

NTSTATUS hangingEntry(io::DriverObject*, const UnicodeString*) {
    return waitForSingleObject(neverSet(), Timeout::infinite());
}

TEST_F(DriverHostTest, ABoundedHostStepsTimeForABlockedCallAndFailsOneThatHangs) {
    int steps = 0;
    const auto step = [this, &steps] {
        ++steps;
        clock.advance(std::chrono::milliseconds(1));
        clock.settle();
    };
    host.setCallAdvance(step, 300);
    host.setHangsFail(true);
    EXPECT_EQ(host.load(patientEntry, u"\\Registry\\patient"), STATUS_SUCCESS);
    EXPECT_TRUE(host.loaded());
    EXPECT_EQ(steps, 250);

    ossim::DriverHost other{clock};
    other.setCallAdvance(step, 300);
    other.setHangsFail(true);
    steps = 0;
    {
        kernel::testing::ExpectKernelChecks hang;
        EXPECT_EQ(other.load(hangingEntry, u"\\Registry\\hanging"), STATUS_PENDING);
        EXPECT_EQ(hang.count(), 1u);
    }
    EXPECT_EQ(steps, 300);
    EXPECT_FALSE(other.loaded());
    neverSet().set(); // the hung call may end now
    clock.settle();
    neverSet().reset();
    EXPECT_EQ(runningSystemThreads(), 0u);
}

TEST_F(DriverHostTest, ADriverWithoutAnUnloadRoutineStaysLoaded) {
    ASSERT_EQ(host.load(entryWithoutUnload, u"\\Registry\\toy"), STATUS_SUCCESS);
    EXPECT_EQ(host.unload(), STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_TRUE(host.loaded());
}

struct Refusal {
    const char* name;
    ossim::testing::Step prepare;
    NTSTATUS (*call)(ossim::DriverHost& host, io::DeviceObject* physical);
    NTSTATUS expected;
};

void PrintTo(const Refusal& r, std::ostream* out) { *out << r.name; }

using namespace ossim::testing::steps;

NTSTATUS start(ossim::DriverHost& host, io::DeviceObject* physical) {
    return host.startDevice(physical);
}
NTSTATUS add(ossim::DriverHost& host, io::DeviceObject* physical) {
    return host.addDevice(physical);
}

const Refusal refusals[] = {
    {"add without a driver", nothing, add, STATUS_INVALID_DEVICE_REQUEST},
    {"add of no device", loaded, [](auto& host, auto*) { return host.addDevice(nullptr); },
     STATUS_INVALID_PARAMETER},
    {"add of a device twice", added, add, STATUS_INVALID_DEVICE_REQUEST},
    {"load twice", loaded,
     [](auto& host, auto*) { return host.load(toy::driverEntry, u"\\Registry\\toy"); },
     STATUS_INVALID_DEVICE_REQUEST},
    {"load without a path", nothing,
     [](auto& host, auto*) { return host.load(toy::driverEntry, u""); }, STATUS_INVALID_PARAMETER},
    {"start without a stack", loaded, start, STATUS_NO_SUCH_DEVICE},
    {"start of a running stack", started, start, STATUS_INVALID_DEVICE_REQUEST},
    {"start after removal", removed, start, STATUS_NO_SUCH_DEVICE},
    {"stop of a stack not started", added,
     [](auto& host, auto* physical) { return host.stopDevice(physical); },
     STATUS_INVALID_DEVICE_REQUEST},
    {"power before the start", added,
     [](auto& host, auto* physical) { return host.setDevicePower(physical, DevicePowerState::D3); },
     STATUS_INVALID_DEVICE_REQUEST},
    {"power state out of range", started,
     [](auto& host, auto* physical) { return host.setDevicePower(physical, DevicePowerState{7}); },
     STATUS_INVALID_PARAMETER},
    {"a start through the plain sender", added,
     [](auto& host, auto* physical) { return host.sendPnp(physical, io::minorPnp::StartDevice); },
     STATUS_INVALID_PARAMETER},
    {"unload with a stack", added, [](auto& host, auto*) { return host.unload(); },
     STATUS_DEVICE_BUSY},
    {"unload without a driver", nothing, [](auto& host, auto*) { return host.unload(); },
     STATUS_INVALID_DEVICE_REQUEST},
};

class RefusalTest : public DriverHostTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusalTest, RequestsASystemWouldNeverSendAreRefusedAndChangeNothing) {
    const Refusal& r = GetParam();
    r.prepare(host, physical.device());
    const Journal before = toy::journal();
    EXPECT_EQ(r.call(host, physical.device()), r.expected);
    EXPECT_EQ(toy::journal(), before);
}

INSTANTIATE_TEST_SUITE_P(Calls, RefusalTest, ::testing::ValuesIn(refusals));

} // namespace

namespace {

// Under the real clock the host waits for each of its calls to return
// instead of settling a clock: the toy driver's whole life goes through.
TEST(DriverHostOnTheRealClock, WaitsForEachCallIntoTheDriver) {
    toy::clearJournal();
    ossim::testing::PhysicalDevice physical;
    ossim::DriverHost host(nullptr);
    ossim::testing::steps::removed(host, physical.device());
    EXPECT_EQ(host.stacks(), 0u);
    EXPECT_EQ(host.unload(), kernel::STATUS_SUCCESS);
    EXPECT_EQ(ossim::callOnSystemThread(nullptr, [] { return kernel::STATUS_TIMEOUT; }),
              kernel::STATUS_TIMEOUT);
}

} // namespace
