// Driver and device objects. A driver object carries the driver's dispatch
// table; its devices are pool objects with a zero-filled extension for the
// driver's state. Devices stack up: a driver attaches its device on top of
// another, and requests sent to a device travel down through the devices
// below it, one stack location each. The bottom device of a stack is the
// physical device, made by the bus, which carries the device's identity
// (hardware ids, instance name, driver key name).
#pragma once

#include "platform/kernel/object.h"
#include "platform/kernel/status.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace io {

class Irp; // an I/O request
class DeviceObject;
struct DriverObject;

// Slots of the dispatch table.
namespace major {
enum : std::uint8_t {
    Create = 0x00,
    Close = 0x02,
    Read = 0x03,
    Write = 0x04,
    DeviceControl = 0x0E,
    InternalDeviceControl = 0x0F,
    Cleanup = 0x12,
    Power = 0x16,
    SystemControl = 0x17,
    Pnp = 0x1B,
};
inline constexpr std::size_t count = 0x1C;
} // namespace major

using DispatchRoutine = kernel::NTSTATUS (*)(DeviceObject* device, Irp* irp);
using AddDeviceRoutine = kernel::NTSTATUS (*)(DriverObject* driver, DeviceObject* physicalDevice);
using UnloadRoutine = void (*)(DriverObject* driver);

// Made by whoever loads the driver; outlives the driver's devices.
struct DriverObject {
    DispatchRoutine majorFunction[major::count] = {};
    AddDeviceRoutine addDevice = nullptr;
    UnloadRoutine unload = nullptr;
};

// What the bus knows of the device it found.
struct DeviceIdentity {
    std::vector<std::u16string> hardwareIds; // most specific first
    std::u16string instanceName;             // the device key's name under its first id
    std::u16string driverKeyName;            // "{class guid}\NNNN", the software key under Class
};

class DeviceObject final : public kernel::Object {
public:
    DriverObject* driver() const { return driver_; }
    // Zero-filled when the device is made; aligned to 16 bytes.
    void* extension() const { return extension_; }
    std::uint32_t extensionSize() const { return extensionSize_; }
    // Stack locations a request sent to this device needs: 1 for a device
    // alone, one more than the device below for an attached one.
    std::int8_t stackSize() const { return stackSize_.load(); }
    // The neighbours in the stack; null at the ends.
    DeviceObject* attachedDevice() const { return above_.load(); }
    DeviceObject* lowerDevice() const { return below_.load(); }

private:
    friend struct DeviceObjectAccess;
    DeviceObject(DriverObject& driver, void* extension, std::uint32_t extensionSize)
        : driver_(&driver), extension_(extension), extensionSize_(extensionSize) {}
    ~DeviceObject() override = default;

    DriverObject* const driver_;
    void* const extension_;
    const std::uint32_t extensionSize_;
    std::atomic<std::int8_t> stackSize_{1};
    // changed under the stack lock
    std::atomic<DeviceObject*> above_{nullptr};
    std::atomic<DeviceObject*> below_{nullptr};
    bool deleted_ = false;
    bool hasIdentity_ = false;
    DeviceIdentity identity_; // set once, before the device is handed to drivers
};

// Makes a device of the driver; the caller owns it until deleteDevice.
// STATUS_INSUFFICIENT_RESOURCES when the pool refuses it.
kernel::NTSTATUS createDevice(DriverObject& driver, std::uint32_t extensionSize,
                              DeviceObject** device);

// Gives up the creator's ownership; the memory goes with the last reference.
// The device interfaces registered on it go too. A device still attached to
// another, or deleted twice, fails a check.
void deleteDevice(DeviceObject* device);

void referenceDevice(DeviceObject* device);
void dereferenceDevice(DeviceObject* device);

// Attaches source on top of target's stack and returns the device it now
// sits on (which it holds a reference to until detached); source's stack size
// becomes one more than that device's. Null when source is already attached
// or target is deleted.
DeviceObject* attachDeviceToDeviceStack(DeviceObject* source, DeviceObject* target);

// Detaches the device attached on top of lower.
void detachDevice(DeviceObject* lower);

// The top of the device's stack, with a reference for the caller.
DeviceObject* getAttachedDeviceReference(DeviceObject* device);

// Gives a physical device its identity. STATUS_INVALID_PARAMETER without a
// hardware id, with an empty id, instance name or driver key name, or with an
// instance name holding a backslash; STATUS_INVALID_DEVICE_REQUEST when the
// device already has one.
kernel::NTSTATUS setDeviceIdentity(DeviceObject* physicalDevice, const DeviceIdentity& identity);

enum class DeviceProperty {
    HardwareIds,   // each id with a terminating zero, then one zero more
    InstanceName,  // with a terminating zero
    DriverKeyName, // with a terminating zero
};

// Reads a property of the physical device at the bottom of the device's
// stack into buffer as UTF-16 and sets resultLength to the bytes it takes.
// STATUS_BUFFER_TOO_SMALL (nothing written) when length is short;
// STATUS_INVALID_DEVICE_REQUEST when the stack has no device with an identity.
kernel::NTSTATUS getDeviceProperty(DeviceObject* device, DeviceProperty property,
                                   std::uint32_t length, void* buffer, std::uint32_t* resultLength);

// The identity of the physical device under the device; false without one.
bool physicalDeviceIdentity(DeviceObject* device, DeviceIdentity& identity);

} // namespace io
