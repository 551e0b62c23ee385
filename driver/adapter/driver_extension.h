// The driver's part of its functional device's extension, after the bytes
// the port layer keeps: the adapter once started, the device stack, the
// endpoint name counters and the two private device interfaces.
#pragma once

#include "driver/engine/audio_hal.h"
#include "platform/io/device_object.h"
#include "platform/kernel/mutex.h"
#include "platform/kernel/unicode_string.h"
#include "platform/portcls/adapter.h"

#include <cstdint>

// One counter per endpoint type and direction; room for more types than the
// models name.
inline constexpr std::uint32_t EndpointNameCounterTypes = 22;

// A private device interface: registered by AddDevice, enabled by the start.
struct PrivateInterfaceState {
    bool registered;
    kernel::UnicodeString symbolicLink; // a pool string while registered
    bool enabled;
};

struct DriverExtension {
    IAudioHal* pHal; // one reference, from the end of a successful start
    // The topology subdevice's port, one reference, with the HAL: a stop
    // takes the subdevice down so the next start can register it again.
    kernel::IUnknown* pTopologyPort;
    io::DeviceObject* pFunctionalDevice;
    io::DeviceObject* pLowerDevice; // one reference
    io::DeviceObject* pPhysicalDevice;
    // Render first, then capture. Zeroed only by AddDevice, so a restart of
    // the same device continues counting.
    std::uint8_t nameCounters[2][EndpointNameCounterTypes];
    PrivateInterfaceState asioInterface;
    PrivateInterfaceState enumInterface;
    // Made by AddDevice; the device's miniports serialise their teardown on it.
    kernel::Mutex mutex;
};

inline constexpr std::uint32_t DriverDeviceExtensionSize =
    portcls::portClassExtensionSize + static_cast<std::uint32_t>(sizeof(DriverExtension));

// The driver's part of the device's extension; null when the device has none.
DriverExtension* DriverExtensionOf(io::DeviceObject* device);
