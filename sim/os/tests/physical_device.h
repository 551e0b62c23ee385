// A physical device as a bus makes it, for a driver to attach to: it has an
// identity, completes the plug-and-play and power requests that reach the
// bottom of its stack as a bus driver does (those it knows with success,
// others with the status they came with) and records their functions.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/irp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <vector>

namespace ossim::testing {

class PhysicalDevice {
public:
    explicit PhysicalDevice(std::u16string instance = u"3&11583659&0&4") {
        static io::DriverObject bus = [] {
            io::DriverObject driver;
            driver.majorFunction[io::major::Pnp] = dispatch;
            driver.majorFunction[io::major::Power] = dispatch;
            return driver;
        }();
        EXPECT_EQ(io::createDevice(bus, sizeof(PhysicalDevice*), &m_device),
                  kernel::STATUS_SUCCESS);
        *static_cast<PhysicalDevice**>(m_device->extension()) = this;
        const io::DeviceIdentity identity{{u"USB\\VID_1B3F&PID_2008&REV_0100"},
                                          std::move(instance),
                                          u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0007"};
        EXPECT_EQ(io::setDeviceIdentity(m_device, identity), kernel::STATUS_SUCCESS);
    }
    ~PhysicalDevice() { io::deleteDevice(m_device); }
    PhysicalDevice(const PhysicalDevice&) = delete;
    PhysicalDevice& operator=(const PhysicalDevice&) = delete;

    io::DeviceObject* device() const { return m_device; }

    // {major, minor} of every request that reached the device, in order.
    std::vector<std::pair<std::uint8_t, std::uint8_t>> received() const {
        std::lock_guard guard(m_lock);
        return m_received;
    }

private:
    static kernel::NTSTATUS dispatch(io::DeviceObject* device, io::Irp* irp) {
        auto* self = *static_cast<PhysicalDevice**>(device->extension());
        const io::IoStackLocation* at = io::currentStackLocation(irp);
        {
            std::lock_guard guard(self->m_lock);
            self->m_received.emplace_back(at->majorFunction, at->minorFunction);
        }
        const bool known = at->majorFunction == io::major::Power ||
                           at->minorFunction <= io::minorPnp::CancelStopDevice ||
                           at->minorFunction == io::minorPnp::SurpriseRemoval;
        if (known) irp->ioStatus.status = kernel::STATUS_SUCCESS;
        const kernel::NTSTATUS status = irp->ioStatus.status;
        io::completeRequest(irp);
        return status;
    }

    io::DeviceObject* m_device = nullptr;
    mutable std::mutex m_lock;
    std::vector<std::pair<std::uint8_t, std::uint8_t>> m_received;
};

} // namespace ossim::testing
