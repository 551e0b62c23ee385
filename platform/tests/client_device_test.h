// For tests of the user-mode side: a function device of the test driver on
// a physical device with the headset's identity, whose interface (with a
// reference string) is registered and enabled, and a client process that
// opens it; the process ends before the devices go. A mapping client's
// driver also maps pages of its own into the client on every device control.
#pragma once

#include "platform/io/device_interface.h"
#include "platform/io/user_mapping.h"
#include "platform/io/user_process.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/pool.h"
#include "platform/tests/io_test_devices.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

namespace io::testing {

inline const DeviceIdentity& headsetIdentity() {
    static const DeviceIdentity identity{
        {u"USB\\VID_0B05&PID_17F3&REV_0100", u"USB\\VID_0B05&PID_17F3"},
        u"5&1f2e3d&0&2",
        u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0003"};
    return identity;
}

// Links compare without regard to case: the text with A-Z lowered.
inline std::u16string lowerCase(std::u16string text) {
    for (char16_t& c : text) c = c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
    return text;
}

inline constexpr kernel::Guid clientInterfaceClass =
    kernel::makeGuid("{2EE7DB21-FFD3-42C5-AF60-F7451626C242}");

struct ClientDevice {
    ClientDevice() {
        const kernel::UnicodeString reference =
            kernel::makeUnicodeString(u"HXASIOPrivateInterface");
        EXPECT_EQ(registerDeviceInterface(physical.device, clientInterfaceClass, &reference, &link),
                  kernel::STATUS_SUCCESS);
        EXPECT_EQ(setDeviceInterfaceState(link, true), kernel::STATUS_SUCCESS);
    }
    ~ClientDevice() {
        process.reset();
        kernel::freeUnicodeString(link);
    }
    ClientDevice(const ClientDevice&) = delete;
    ClientDevice& operator=(const ClientDevice&) = delete;

    std::uint32_t openFile() {
        std::uint32_t file = 0;
        EXPECT_EQ(process->openDeviceInterface(link.view(), &file), kernel::STATUS_SUCCESS);
        return file;
    }

    kernel::ManualClock clock;
    TestDevice physical{nullptr, &headsetIdentity()};
    TestDevice function{&physical};
    kernel::UnicodeString link;
    std::optional<UserProcess> process{std::in_place};
};

struct MappingClient : ClientDevice {
    MappingClient() {
        EXPECT_EQ(allocateSharedPages(100, kernel::poolTag("Ring"), &pages),
                  kernel::STATUS_SUCCESS);
        function.on(major::DeviceControl) = [this](DeviceObject*, Irp* irp) {
            std::uint32_t address = 0;
            const kernel::NTSTATUS status = mapSharedPagesToUser(pages, &address);
            std::memcpy(irp->systemBuffer, &address, sizeof address);
            return completeWith(irp, status, sizeof address);
        };
        file = openFile();
    }
    ~MappingClient() {
        process.reset();
        if (pages != nullptr) freeSharedPages(pages);
    }

    // The driver's status; the address it mapped the pages at, 0 when refused.
    kernel::NTSTATUS map(std::uint32_t* address) {
        IoStatusBlock ioStatus;
        *address = 0;
        return process->deviceIoControl(file, 0x1D6000, nullptr, 0, address, 4, &ioStatus);
    }

    SharedPages* pages = nullptr;
    std::uint32_t file = 0;
};

// The process ends in TearDown, while what the test's handlers use lives.
class ClientDeviceTest : public ::testing::Test, protected ClientDevice {
protected:
    void TearDown() override { process.reset(); }
};

} // namespace io::testing
