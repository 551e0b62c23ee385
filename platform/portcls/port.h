// The ports a miniport is bound to. The adapter makes a port by class
// (PcNewPort), binds its miniport with Init and registers it as a
// subdevice; the port then serves the filter that the miniport describes.
// Besides IPort and its kind's interface, every port answers IPortEvents
// (the filter's event list), the unregister interfaces, and the port layer's
// version interface.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/irp.h"
#include "platform/io/pnp.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"
#include "platform/portcls/events.h"

#include <cstdint>

namespace portcls {

class IServiceGroup;

inline constexpr kernel::Guid CLSID_PortTopology =
    kernel::makeGuid("{1524FDB4-1EB9-4397-9A1C-AFE597139100}");
inline constexpr kernel::Guid CLSID_PortWaveCyclic =
    kernel::makeGuid("{020B06B5-5752-4B23-833B-2ACBE1FB38A0}");

inline constexpr kernel::Guid IID_IPort =
    kernel::makeGuid("{2605EBA9-511A-4655-92C0-5AF6796F2B41}");
inline constexpr kernel::Guid IID_IPortTopology =
    kernel::makeGuid("{51B931EB-5C71-4311-B2FC-D9E341CD86B7}");
inline constexpr kernel::Guid IID_IPortWaveCyclic =
    kernel::makeGuid("{55E64CCC-3696-4516-8663-B440A93B462D}");
inline constexpr kernel::Guid IID_IPortClsVersion =
    kernel::makeGuid("{AD34DF8B-0A37-46DA-85F0-6B17E49BA0E8}");
inline constexpr kernel::Guid IID_IUnregisterSubdevice =
    kernel::makeGuid("{7471D3E0-9778-47C1-B8EC-6D4FFE403FB4}");
inline constexpr kernel::Guid IID_IUnregisterPhysicalConnection =
    kernel::makeGuid("{D4A8F3E5-2F7E-4429-A611-D14F7E4438B3}");

class IPort : public kernel::IUnknown {
public:
    // Binds the miniport (it must answer the miniport interface of the
    // port's kind) and calls its Init with the adapter and the resources.
    // Once only: STATUS_INVALID_DEVICE_REQUEST for a second call.
    virtual kernel::NTSTATUS Init(io::DeviceObject* deviceObject, io::Irp* irp,
                                  kernel::IUnknown* miniport, kernel::IUnknown* unknownAdapter,
                                  const io::ResourceList* resourceList) = 0;

protected:
    ~IPort() = default;
};

class IPortTopology : public IPort {
protected:
    ~IPortTopology() = default;
};

class IPortWaveCyclic : public IPort {
public:
    // A stream reached a notification point: the group's sinks run in a
    // deferred procedure call. Up to dispatch level.
    virtual void Notify(IServiceGroup* serviceGroup) = 0;

protected:
    ~IPortWaveCyclic() = default;
};

// The version of the port layer's interfaces.
class IPortClsVersion : public kernel::IUnknown {
public:
    virtual std::uint32_t GetVersion() = 0;

protected:
    ~IPortClsVersion() = default;
};

// The version this port layer answers: signal-processing modes and content
// protection on streams.
inline constexpr std::uint32_t portClsVersion = 11;

class IUnregisterSubdevice : public kernel::IUnknown {
public:
    // Takes the port off the device's subdevices: its category interfaces
    // are disabled and the device lets go of it. STATUS_OBJECT_NAME_NOT_FOUND
    // when it is not registered there.
    virtual kernel::NTSTATUS UnregisterSubdevice(io::DeviceObject* deviceObject,
                                                 kernel::IUnknown* unknown) = 0;

protected:
    ~IUnregisterSubdevice() = default;
};

class IUnregisterPhysicalConnection : public kernel::IUnknown {
public:
    // STATUS_OBJECT_NAME_NOT_FOUND when no such connection is registered.
    virtual kernel::NTSTATUS UnregisterPhysicalConnection(io::DeviceObject* deviceObject,
                                                          kernel::IUnknown* fromUnknown,
                                                          std::uint32_t fromPin,
                                                          kernel::IUnknown* toUnknown,
                                                          std::uint32_t toPin) = 0;

protected:
    ~IUnregisterPhysicalConnection() = default;
};

// A port of the class (CLSID_PortTopology, CLSID_PortWaveCyclic) answering
// IPort, with one reference. STATUS_INVALID_PARAMETER for another class or
// a null out pointer; STATUS_INSUFFICIENT_RESOURCES.
kernel::NTSTATUS PcNewPort(IPort** port, const kernel::Guid& classId);

} // namespace portcls
