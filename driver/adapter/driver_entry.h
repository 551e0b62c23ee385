// The driver's entry point and the routines it hands the system: the
// functional device's creation, its start on the port layer, and the
// dispatch routines it takes over from the port layer (plug and play for
// the teardown, create, close and device control for the ASIO interface's
// file).
#pragma once

#include "driver/engine/stream_engine.h"
#include "driver/usermode/asio_interface.h"
#include "platform/io/device_object.h"
#include "platform/io/irp.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"
#include "platform/kernel/unknown.h"

#include <cstdint>

// The private device interfaces: the class and the reference string; a file
// opened on one carries "\" and the reference string as its name.
// The ASIO interface's class and reference string are user mode's too
// (driver/usermode/asio_interface.h).
inline constexpr char16_t AsioInterfaceFileName[] = u"\\HXASIOPrivateInterface";
inline constexpr char16_t EnumInterfaceReference[] = u"HXEnumPrivateInterface";
inline constexpr char16_t EnumInterfaceFileName[] = u"\\HXEnumPrivateInterface";

// The oldest system the driver runs on (5.1) and the oldest port layer (11).
inline constexpr std::uint32_t OldestSystemVersion = 0x05010000;
inline constexpr std::uint32_t OldestPortClsVersion = 11;
// Subdevices one device may register: the topology and the endpoints.
inline constexpr std::uint32_t MaxSubdevices = 20;

// STATUS_UNSUCCESSFUL on a system older than 5.1; otherwise the port
// layer's status. From here on the signal primitives allocate from the
// non-paged pool under "SGP " (driver/common/sigproc_pool_hooks.h).
kernel::NTSTATUS DriverEntry(io::DriverObject* driverObject,
                             const kernel::UnicodeString* registryPath);

// The system calls it once the driver has no device left: the signal
// primitives' hooks that were in force before the entry come back.
void DriverUnload(io::DriverObject* driverObject);

kernel::NTSTATUS AddDevice(io::DriverObject* driverObject, io::DeviceObject* physicalDevice);

// The port layer's start routine: the adapter, the topology subdevice, one
// wave subdevice per connected endpoint, the private interfaces. A start
// that fails leaves nothing of itself behind.
kernel::NTSTATUS StartDevice(io::DeviceObject* deviceObject, io::Irp* irp,
                             const io::ResourceList* resourceList);

using MiniportFactory = kernel::NTSTATUS (*)(kernel::IUnknown** unknown,
                                             const kernel::Guid& classId, kernel::IUnknown* outer,
                                             kernel::PoolType poolType);

// Makes a port of the class, binds the factory's miniport to it and
// registers it under the name the miniport's ISubdeviceName gives. The port's
// IUnknown and the miniport come back with a reference each (either out may
// be null). STATUS_INVALID_PARAMETER without a factory; otherwise the first
// failing status, with nothing registered.
kernel::NTSTATUS InstallSubdevice(io::DeviceObject* deviceObject, io::Irp* irp,
                                  const kernel::Guid& portClassId,
                                  const kernel::Guid& miniportClassId, MiniportFactory factory,
                                  kernel::IUnknown* unknownAdapter, kernel::IUnknown** port,
                                  kernel::IUnknown** miniport);

// Takes a subdevice that InstallSubdevice registered off the device.
kernel::NTSTATUS UninstallSubdevice(io::DeviceObject* deviceObject, kernel::IUnknown* port);

kernel::NTSTATUS DispatchPnp(io::DeviceObject* deviceObject, io::Irp* irp);
kernel::NTSTATUS DispatchCreate(io::DeviceObject* deviceObject, io::Irp* irp);
kernel::NTSTATUS DispatchClose(io::DeviceObject* deviceObject, io::Irp* irp);
kernel::NTSTATUS DispatchDeviceControl(io::DeviceObject* deviceObject, io::Irp* irp);
