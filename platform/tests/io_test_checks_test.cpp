// The end-of-test checks of the I/O layer: each reports what a test left
// behind of its kind, and nothing once it is gone; and the layer's switches
// are put back before each test.
#include "platform/io/device_interface.h"
#include "platform/io/irp.h"
#include "platform/io/power_request.h"
#include "platform/io/user_mapping.h"
#include "platform/io/user_process.h"
#include "platform/tests/client_device_test.h"
#include "platform/tests/find_test_check.h"
#include "platform/tests/io_test_devices.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using namespace kernel;
using namespace io;
using io::testing::completeWith;
using io::testing::TestDevice;
using kernel::testing::findTestCheck;

struct Leftover {
    virtual ~Leftover() = default;
};

struct PendingRequest : Leftover {
    TestDevice device;
    Irp* irp = allocateIrp(1);
    Irp* held = nullptr;
    PendingRequest() {
        device.on(major::Read) = [this](DeviceObject*, Irp* r) {
            held = r;
            markPending(r);
            return STATUS_PENDING;
        };
        nextStackLocation(irp)->majorFunction = major::Read;
        setCompletionRoutine(
            irp, [](DeviceObject*, Irp*, void*) { return STATUS_MORE_PROCESSING_REQUIRED; },
            nullptr, true, true, true);
        callDriver(device.device, irp);
    }
    ~PendingRequest() override {
        completeWith(held, STATUS_SUCCESS);
        freeIrp(irp);
    }
};

struct OpenHandle : Leftover {
    UserProcess process;
    OpenHandle() {
        std::uint32_t event = 0;
        process.createEvent(EventType::Notification, false, &event);
    }
};

struct MappedPages : Leftover {
    io::testing::MappingClient client;
    std::uint32_t address = 0;
    MappedPages() { client.map(&address); }
    ~MappedPages() override { unmapSharedPagesFromUser(client.pages, address); }
};

struct RegisteredInterface : Leftover {
    TestDevice physical{nullptr, &io::testing::headsetIdentity()};
    RegisteredInterface() {
        UnicodeString link;
        registerDeviceInterface(physical.device, io::testing::clientInterfaceClass, nullptr, &link);
        freeUnicodeString(link);
    }
};

struct LeftBehind {
    const char* check;
    const char* reported;
    std::unique_ptr<Leftover> (*leave)();
};

void PrintTo(const LeftBehind& c, std::ostream* out) { *out << c.check; }

template <class T> std::unique_ptr<Leftover> leave() { return std::make_unique<T>(); }

const LeftBehind cases[] = {
    {"I/O requests", "1 I/O request(s) still pending", leave<PendingRequest>},
    {"user handles", "1 user handle(s) still open", leave<OpenHandle>},
    {"user mappings", "1 user mapping(s) still mapped", leave<MappedPages>},
    {"device interfaces", "1 device interface(s) still registered", leave<RegisteredInterface>},
};

class IoTestCheck : public ::testing::TestWithParam<LeftBehind> {};

TEST_P(IoTestCheck, ReportsWhatIsLeftAndNothingOnceItIsGone) {
    const std::optional<TestCheck> check = findTestCheck(GetParam().check);
    ASSERT_TRUE(check.has_value());
    std::unique_ptr<Leftover> left = GetParam().leave();
    EXPECT_EQ(check->afterTest(), GetParam().reported);
    left.reset();
    EXPECT_EQ(check->afterTest(), "");
}

INSTANTIATE_TEST_SUITE_P(LeftBehind, IoTestCheck, ::testing::ValuesIn(cases));

TEST(IoTestChecks, BeforeEachTestMappingsSucceedAgainAndNoPowerRoutineIsInstalled) {
    failUserMappings(true);
    setPowerRequestRoutine([](void*, DeviceObject*, Irp*) { return STATUS_PENDING; }, nullptr);
    for (const char* name : {"user mappings", "power request routine"}) {
        const std::optional<TestCheck> check = findTestCheck(name);
        ASSERT_TRUE(check.has_value() && check->beforeTest != nullptr) << name;
        check->beforeTest();
    }
    io::testing::MappingClient client;
    std::uint32_t address = 0;
    EXPECT_EQ(client.map(&address), STATUS_SUCCESS);
    unmapSharedPagesFromUser(client.pages, address);
    EXPECT_EQ(requestDevicePowerState(
                  client.function.device, DevicePowerState::D0,
                  [](DeviceObject*, std::uint8_t, DevicePowerState, void*, const IoStatusBlock&) {},
                  nullptr),
              STATUS_NOT_SUPPORTED);
}

} // namespace
