// A headset as the settings code sees it: a physical device with its
// identity and the driver's device on it, a registry of its own and a
// system folder in a fresh temporary folder.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/registry.h"
#include "platform/io/registry_text.h"
#include "platform/io/system_folder.h"
#include "testkit/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

inline constexpr char16_t TEST_HARDWARE_ID[] = u"USB\\VID_0B05&PID_17F3&REV_0100";
inline constexpr char SETTINGS_PATH[] =
    "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
    "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000\\Settings";

class SettingsTestDevice : public ::testing::Test {
protected:
    void SetUp() override { MakeDevice({TEST_HARDWARE_ID, u"USB\\VID_0B05&PID_17F3"}); }

    void TearDown() override {
        if (m_pFunction == nullptr) return;
        io::detachDevice(m_pPhysical);
        io::deleteDevice(m_pFunction);
        io::deleteDevice(m_pPhysical);
    }

    void MakeDevice(std::vector<std::u16string> hardwareIds) {
        TearDown();
        ASSERT_EQ(io::createDevice(m_Bus, 0, &m_pPhysical), kernel::STATUS_SUCCESS);
        ASSERT_EQ(
            io::setDeviceIdentity(m_pPhysical, {std::move(hardwareIds), u"5&1&0&2",
                                                u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000"}),
            kernel::STATUS_SUCCESS);
        ASSERT_EQ(io::createDevice(m_Driver, 376, &m_pFunction), kernel::STATUS_SUCCESS);
        ASSERT_EQ(io::attachDeviceToDeviceStack(m_pFunction, m_pPhysical), m_pPhysical);
    }

    // A device of the driver's on no physical device, so with no settings key.
    struct LoneDevice {
        explicit LoneDevice(io::DriverObject& driver) {
            EXPECT_EQ(io::createDevice(driver, 0, &pDevice), kernel::STATUS_SUCCESS);
        }
        ~LoneDevice() { io::deleteDevice(pDevice); }
        io::DeviceObject* pDevice = nullptr;
    };

    // The settings key and everything under it, as registry text.
    static std::string DumpSettings() {
        const std::string path = SETTINGS_PATH;
        return io::dumpRegistry(std::u16string(path.begin(), path.end()));
    }

    io::Registry m_Registry;
    testkit::TempFolder m_Folder;
    io::SystemRoot m_SystemRoot{m_Folder.path()};
    io::DriverObject m_Bus;
    io::DriverObject m_Driver;
    io::DeviceObject* m_pPhysical = nullptr;
    io::DeviceObject* m_pFunction = nullptr;
};
