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

struct LevelRule {
    const char* service; // as the check names it
    Irql callerLevel;
    // Calls the service from callerLevel; true when it refused the call.
    bool (*refused)(MappingClient& client);
};

void PrintTo(const LevelRule& rule, std::ostream* out) { *out << rule.service; }

IoStatusBlock ioStatus;

const LevelRule rules[] = {
    {"device interface registration", Irql::Apc,
     [](MappingClient& client) {
         IrqlScope raised(Irql::Apc);
         UnicodeString link;
         return registerDeviceInterface(client.physical.device, clientInterfaceClass, nullptr,
                                        &link) == STATUS_UNSUCCESSFUL &&
                link.buffer == nullptr;
     }},
    {"device interface state change", Irql::Apc,
     [](MappingClient& client) {
         IrqlScope raised(Irql::Apc);
         return setDeviceInterfaceState(client.link, false) == STATUS_UNSUCCESSFUL;
     }},
    {"device interface query", Irql::Apc,
     [](MappingClient&) {
         IrqlScope raised(Irql::Apc);
         return enabledDeviceInterfaces(clientInterfaceClass).empty();
     }},
    {"user open", Irql::Apc,
     [](MappingClient& client) {
         IrqlScope raised(Irql::Apc);
         std::uint32_t file = 0;
         return client.process->openDeviceInterface(client.link.view(), &file) ==
                STATUS_UNSUCCESSFUL;
     }},
    {"user device control", Irql::Apc,
     [](MappingClient& client) {
         IrqlScope raised(Irql::Apc);
         return client.process->deviceIoControl(client.file, 0x1D6000, nullptr, 0, nullptr, 0,
                                                &ioStatus) == STATUS_UNSUCCESSFUL;
     }},
    {"user event creation", Irql::Apc,
     [](MappingClient& client) {
         IrqlScope raised(Irql::Apc);
         std::uint32_t event = 0;
         return client.process->createEvent(EventType::Notification, false, &event) ==
                STATUS_UNSUCCESSFUL;
     }},
    {"user event wait", Irql::Apc,
     [](MappingClient& client) {
         std::uint32_t event = 0;
         client.process->createEvent(EventType::Notification, true, &event);
         IrqlScope raised(Irql::Apc);
         return client.process->waitForEvent(event, Duration::zero()) == STATUS_UNSUCCESSFUL;
     }},
    {"user handle close", Irql::Apc,
     [](MappingClient& client) {
         IrqlScope raised(Irql::Apc);
         return client.process->closeHandle(client.file) == STATUS_UNSUCCESSFUL;
     }},
    {"event reference by handle", Irql::Apc,
     [](MappingClient&) {
         IrqlScope raised(Irql::Apc);
         EventObject* event = nullptr;
         return referenceEventByHandle(4, &event) == STATUS_UNSUCCESSFUL;
     }},
    {"user mapping", Irql::Apc,
     [](MappingClient& client) {
         IrqlScope raised(Irql::Apc);
         std::uint32_t address = 0;
         return mapSharedPagesToUser(client.pages, &address) == STATUS_UNSUCCESSFUL;
     }},
    {"user unmapping", Irql::Apc,
     [](MappingClient& client) {
         std::uint32_t address = 0;
         client.map(&address);
         {
             IrqlScope raised(Irql::Apc);
             unmapSharedPagesFromUser(client.pages, address);
         }
         const bool stillMapped = userMappings() == 1;
         unmapSharedPagesFromUser(client.pages, address);
         return stillMapped;
     }},
    {"shared page allocation", Irql::Dispatch,
     [](MappingClient&) {
         IrqlScope raised(Irql::Dispatch);
         SharedPages* pages = nullptr;
         return allocateSharedPages(16, poolTag("Lvl"), &pages) == STATUS_UNSUCCESSFUL;
     }},
    {"shared page free", Irql::Dispatch,
     [](MappingClient& client) {
         IrqlScope raised(Irql::Dispatch);
         freeSharedPages(client.pages);
         return sharedPagesBytes(client.pages) == 100; // still there
     }},
};

class IoLevelRuleTest : public ::testing::TestWithParam<LevelRule> {};

TEST_P(IoLevelRuleTest, RefusesACallerAboveIt) {
    const LevelRule& rule = GetParam();
    MappingClient client;
    ExpectKernelChecks expect;
    EXPECT_TRUE(rule.refused(client));
    kernel::testing::expectLevelRuleCheck(expect, rule.service, rule.callerLevel);
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
