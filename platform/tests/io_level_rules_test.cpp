// Level rules of the I/O layer: registering and switching device
// interfaces, every call of a user process, looking up its events and
// mapping into it run at passive level only, shared pages are allocated and
// freed below dispatch level; requests are allocated, sent, completed,
// cancelled and freed, and power asked for, up to dispatch level.
#include "platform/io/device_interface.h"
#include "platform/io/irp.h"
#include "platform/io/power_request.h"
#include "platform/io/user_event.h"
#include "platform/io/user_mapping.h"
#include "platform/kernel/irql.h"
#include "platform/testing/kernel_checks.h"
#include "platform/tests/client_device_test.h"
#include "platform/tests/io_test_devices.h"
#include "platform/tests/level_rule_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace kernel;
using namespace io;
using io::testing::clientInterfaceClass;
using io::testing::completeWith;
using io::testing::MappingClient;
using io::testing::TestDevice;
using kernel::testing::ExpectKernelChecks;

// Made at passive level before each rule's call: a signalled event and a
// mapping of the client's pages.
struct Prepared {
    std::uint32_t signalledEvent = 0;
    std::uint32_t mappedAddress = 0;
};

struct LevelRule {
    const char* service; // as the check names it
    Irql callerLevel;
    // Calls the service from callerLevel; true when it refused the call.
    bool (*refused)(MappingClient& client, const Prepared& prepared);
};

void PrintTo(const LevelRule& rule, std::ostream* out) { *out << rule.service; }

IoStatusBlock ioStatus;

const LevelRule rules[] = {
    {"device interface registration", Irql::Apc,
     [](MappingClient& client, const Prepared&) {
         UnicodeString link;
         return registerDeviceInterface(client.physical.device, clientInterfaceClass, nullptr,
                                        &link) == STATUS_UNSUCCESSFUL &&
                link.buffer == nullptr;
     }},
    {"device interface state change", Irql::Apc,
     [](MappingClient& client, const Prepared&) {
         return setDeviceInterfaceState(client.link, false) == STATUS_UNSUCCESSFUL;
     }},
    {"device interface query", Irql::Apc,
     [](MappingClient&, const Prepared&) {
         return enabledDeviceInterfaces(clientInterfaceClass).empty();
     }},
    {"user open", Irql::Apc,
     [](MappingClient& client, const Prepared&) {
         std::uint32_t file = 0;
         return client.process->openDeviceInterface(client.link.view(), &file) ==
                STATUS_UNSUCCESSFUL;
     }},
    {"user device control", Irql::Apc,
     [](MappingClient& client, const Prepared&) {
         return client.process->deviceIoControl(client.file, 0x1D6000, nullptr, 0, nullptr, 0,
                                                &ioStatus) == STATUS_UNSUCCESSFUL;
     }},
    {"user event creation", Irql::Apc,
     [](MappingClient& client, const Prepared&) {
         std::uint32_t event = 0;
         return client.process->createEvent(EventType::Notification, false, &event) ==
                STATUS_UNSUCCESSFUL;
     }},
    {"user event wait", Irql::Apc,
     [](MappingClient& client, const Prepared& prepared) {
         return client.process->waitForEvent(prepared.signalledEvent, Duration::zero()) ==
                STATUS_UNSUCCESSFUL;
     }},
    {"user handle close", Irql::Apc,
     [](MappingClient& client, const Prepared&) {
         return client.process->closeHandle(client.file) == STATUS_UNSUCCESSFUL;
     }},
    {"event reference by handle", Irql::Apc,
     [](MappingClient&, const Prepared&) {
         EventObject* event = nullptr;
         return referenceEventByHandle(4, &event) == STATUS_UNSUCCESSFUL;
     }},
    {"user mapping", Irql::Apc,
     [](MappingClient& client, const Prepared&) {
         std::uint32_t address = 0;
         return mapSharedPagesToUser(client.pages, &address) == STATUS_UNSUCCESSFUL;
     }},
    {"user unmapping", Irql::Apc,
     [](MappingClient& client, const Prepared& prepared) {
         unmapSharedPagesFromUser(client.pages, prepared.mappedAddress);
         return userMappings() == 1; // still mapped
     }},
    {"shared page allocation", Irql::Dispatch,
     [](MappingClient&, const Prepared&) {
         SharedPages* pages = nullptr;
         return allocateSharedPages(16, poolTag("Lvl"), &pages) == STATUS_UNSUCCESSFUL;
     }},
    {"shared page free", Irql::Dispatch,
     [](MappingClient& client, const Prepared&) {
         freeSharedPages(client.pages);
         return sharedPagesBytes(client.pages) == 100; // still there
     }},
};

class IoLevelRuleTest : public ::testing::TestWithParam<LevelRule> {};

TEST_P(IoLevelRuleTest, RefusesACallerAboveIt) {
    const LevelRule& rule = GetParam();
    MappingClient client;
    Prepared prepared;
    client.process->createEvent(EventType::Notification, true, &prepared.signalledEvent);
    ASSERT_EQ(client.map(&prepared.mappedAddress), STATUS_SUCCESS);
    ExpectKernelChecks expect;
    {
        IrqlScope raised(rule.callerLevel);
        EXPECT_TRUE(rule.refused(client, prepared));
    }
    kernel::testing::expectLevelRuleCheck(expect, rule.service, rule.callerLevel);
    unmapSharedPagesFromUser(client.pages, prepared.mappedAddress);
}

INSTANTIATE_TEST_SUITE_P(IoServices, IoLevelRuleTest, ::testing::ValuesIn(rules));

TEST(IoLevelRules, RequestsAndPowerRequestsGoUpToDispatchLevel) {
    ManualClock clock;
    TestDevice device;
    int completions = 0;
    setPowerRequestRoutine(
        [](void*, DeviceObject*, Irp* irp) { return completeWith(irp, STATUS_SUCCESS); }, nullptr);
    Irp* irp = nullptr;
    {
        IrqlScope raised(Irql::Dispatch);
        irp = allocateIrp(1);
        ASSERT_NE(irp, nullptr);
        nextStackLocation(irp)->majorFunction = major::Read;
        setCompletionRoutine(
            irp,
            [](DeviceObject*, Irp*, void* count) {
                ++*static_cast<int*>(count);
                return STATUS_MORE_PROCESSING_REQUIRED;
            },
            &completions, true, true, true);
        EXPECT_EQ(callDriver(device.device, irp), STATUS_PENDING);
        EXPECT_FALSE(cancelIrp(irp));
        EXPECT_EQ(requestDevicePowerState(
                      device.device, DevicePowerState::D3,
                      [](DeviceObject*, std::uint8_t, DevicePowerState, void* count,
                         const IoStatusBlock&) { ++*static_cast<int*>(count); },
                      &completions),
                  STATUS_PENDING);
    }
    clock.settle();
    EXPECT_EQ(completions, 2);
    IrqlScope raised(Irql::Dispatch);
    reuseIrp(irp, STATUS_SUCCESS);
    freeIrp(irp);
}

} // namespace
