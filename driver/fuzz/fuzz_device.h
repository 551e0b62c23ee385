// A headset's device stack for the fuzz entries: its physical device with an
// identity, and the driver's device on it, whose settings live in the
// registry in force.
#pragma once

#include "platform/fuzz/fuzz_require.h"
#include "platform/io/device_object.h"

class CFuzzDevice {
public:
    CFuzzDevice() {
        fuzzRequire(io::createDevice(m_Bus, 0, &m_pPhysical) == kernel::STATUS_SUCCESS &&
                        io::setDeviceIdentity(m_pPhysical,
                                              {{u"USB\\VID_0B05&PID_17F3&REV_0100"},
                                               u"5&1&0&2",
                                               u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000"}) ==
                            kernel::STATUS_SUCCESS &&
                        io::createDevice(m_Driver, 0, &m_pFunction) == kernel::STATUS_SUCCESS &&
                        io::attachDeviceToDeviceStack(m_pFunction, m_pPhysical) == m_pPhysical,
                    "cannot make the device");
    }
    ~CFuzzDevice() {
        io::detachDevice(m_pPhysical);
        io::deleteDevice(m_pFunction);
        io::deleteDevice(m_pPhysical);
    }
    CFuzzDevice(const CFuzzDevice&) = delete;
    CFuzzDevice& operator=(const CFuzzDevice&) = delete;

    io::DeviceObject* Get() const { return m_pFunction; }

private:
    io::DriverObject m_Bus;
    io::DriverObject m_Driver;
    io::DeviceObject* m_pPhysical = nullptr;
    io::DeviceObject* m_pFunction = nullptr;
};
