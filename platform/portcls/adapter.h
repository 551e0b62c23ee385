// What an adapter driver registers with the port layer. Its driver entry
// calls PcInitializeAdapterDriver, which installs the port layer's dispatch
// routines (plug and play, power, create, close, device control) and the
// add-device routine; a driver that takes one of them over passes what it
// does not handle to PcDispatchIrp. The add-device routine calls
// PcAddAdapterDevice, which makes the functional device with the port
// layer's part of the extension in front of the driver's. When the start
// request has passed down the stack, the port layer calls the adapter's
// StartDevice with the resources; the adapter makes its ports, binds its
// miniports and registers them as subdevices under names, with the
// physical connections between them. A capabilities query, once back from
// the stack below, goes to the adapter's power interface to amend. Removal
// unregisters everything and deletes the device.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/irp.h"
#include "platform/io/pnp.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"
#include "platform/kernel/unknown.h"
#include "platform/portcls/adapter_power.h"

#include <cstdint>

namespace portcls {

// The bytes at the start of a functional device's extension that the port
// layer keeps; the driver's own part follows.
inline constexpr std::uint32_t portClassExtensionSize = 256;

using StartDeviceRoutine = kernel::NTSTATUS (*)(io::DeviceObject* deviceObject, io::Irp* irp,
                                                const io::ResourceList* resourceList);

// Installs the dispatch routines and the add-device routine in the driver
// object. STATUS_INVALID_PARAMETER without a driver or an add-device routine.
kernel::NTSTATUS PcInitializeAdapterDriver(io::DriverObject* driverObject,
                                           const kernel::UnicodeString* registryPath,
                                           io::AddDeviceRoutine addDevice);

// The port layer's handling of a request, for a driver that took a dispatch
// routine over.
kernel::NTSTATUS PcDispatchIrp(io::DeviceObject* deviceObject, io::Irp* irp);

// Makes the functional device (extension of deviceExtensionSize bytes, at
// least portClassExtensionSize; 0 means just that), attaches it on top of
// the physical device's stack and keeps startDevice for the start request;
// at most maxObjects subdevices may be registered on it. The device is
// ready for requests when this returns.
// STATUS_INVALID_PARAMETER: no driver, device or start routine, maxObjects
// 0, or an extension smaller than the port layer's part;
// STATUS_INSUFFICIENT_RESOURCES; STATUS_NO_SUCH_DEVICE when the attach fails.
kernel::NTSTATUS PcAddAdapterDevice(io::DriverObject* driverObject,
                                    io::DeviceObject* physicalDeviceObject,
                                    StartDeviceRoutine startDevice, std::uint32_t maxObjects,
                                    std::uint32_t deviceExtensionSize);

// The adapter's power interface: told of each device power change before
// the miniports. The port layer holds a reference until removal; registering
// again replaces the earlier one. STATUS_INVALID_PARAMETER when the unknown
// does not answer IAdapterPowerManagement or the device is not an adapter
// device.
kernel::NTSTATUS PcRegisterAdapterPowerManagement(kernel::IUnknown* unknown,
                                                  io::DeviceObject* deviceObject);

// Registers a bound port as a subdevice under the name, which must be new
// on the device; the filter categories its miniport describes become
// enabled device interfaces with the name as reference string.
// STATUS_INVALID_PARAMETER: not an adapter device, an empty or duplicate
// name or one holding '\', a port that is not bound, is bound on another
// device or is registered already; STATUS_INSUFFICIENT_RESOURCES past the device's maxObjects; an
// interface registration's failure (nothing is left registered then).
kernel::NTSTATUS PcRegisterSubdevice(io::DeviceObject* deviceObject, const char16_t* name,
                                     kernel::IUnknown* unknown);

// Records that pin fromPin of one subdevice is wired to pin toPin of
// another. Both must be registered subdevices of the device and the pins
// pins of their filters (STATUS_INVALID_PARAMETER); a connection recorded
// already is refused the same way.
kernel::NTSTATUS PcRegisterPhysicalConnection(io::DeviceObject* deviceObject,
                                              kernel::IUnknown* fromUnknown, std::uint32_t fromPin,
                                              kernel::IUnknown* toUnknown, std::uint32_t toPin);

} // namespace portcls
