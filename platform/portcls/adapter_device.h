// The port layer's state of one adapter device: the device stack it sits
// in, the adapter's start routine and power interface, the subdevices
// registered under their names with their category interfaces, and the
// physical connections between them. It lives in a pool block that the
// first bytes of the functional device's extension point to, from
// PcAddAdapterDevice until the remove request.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/irp.h"
#include "platform/io/power_state.h"
#include "platform/kernel/mutex.h"
#include "platform/kernel/unicode_string.h"
#include "platform/kernel/unknown.h"
#include "platform/kernel/work_item.h"
#include "platform/portcls/adapter.h"
#include "platform/portcls/pool_object.h"

#include <string>
#include <vector>

namespace portcls {

class Port;

struct Subdevice {
    std::u16string name;
    Port* port = nullptr;                     // with a reference
    std::vector<kernel::UnicodeString> links; // one per category, each a pool string
};

struct PhysicalConnection {
    Port* from; // held by their subdevices
    std::uint32_t fromPin;
    Port* to;
    std::uint32_t toPin;
};

class AdapterDevice : public PoolAllocated<pool_tag::adapterDevice> {
public:
    AdapterDevice(io::DeviceObject* functional, io::DeviceObject* physical, io::DeviceObject* lower,
                  StartDeviceRoutine start, std::uint32_t maxObjects,
                  kernel::WorkItem* passiveWork);
    ~AdapterDevice();
    AdapterDevice(const AdapterDevice&) = delete;
    AdapterDevice& operator=(const AdapterDevice&) = delete;

    io::DeviceObject* const functional;
    io::DeviceObject* const physical;
    io::DeviceObject* const lower;
    const StartDeviceRoutine start;
    const std::uint32_t maxObjects;

    kernel::Mutex mutex; // everything below, at passive level
    // A request that went down the stack first and is finished at passive
    // level when it is back: its parameters as they came, and what finishes it.
    using AfterLower = kernel::NTSTATUS (*)(AdapterDevice& adapter, io::Irp* irp,
                                            const io::IoStackLocation::Parameters& parameters);
    kernel::WorkItem* const passiveWork;
    io::Irp* heldIrp = nullptr;
    AfterLower afterLower = nullptr;
    io::IoStackLocation::Parameters heldParameters{};
    IAdapterPowerManagement* power = nullptr; // with a reference
    io::DevicePowerState powerState = io::DevicePowerState::D0;
    std::vector<Subdevice> subdevices; // in order of registration
    std::vector<PhysicalConnection> connections;
    std::vector<Port*> boundPorts; // without references, under the list of live devices' lock
    bool surpriseRemoved = false;  // no filter opens from then on

    // Takes every subdevice off (interfaces disabled and freed, miniports
    // released) and lets go of the adapter's power interface.
    void unregisterAll();
    // Disables every subdevice's interfaces (the registrations stay) and
    // refuses filter opens from now on.
    void disableInterfaces();
    // Tells the adapter, then each subdevice's miniport, of a new device state.
    void changePowerState(io::DevicePowerState state);
};

// The port layer's state of an adapter device; null for any other device.
AdapterDevice* adapterDeviceOf(io::DeviceObject* device);
// The port of the subdevice registered under the name, with a reference.
// STATUS_OBJECT_NAME_NOT_FOUND, or STATUS_NO_SUCH_DEVICE after surprise removal.
kernel::NTSTATUS findSubdevicePort(io::DeviceObject* device, std::u16string_view name, Port** port);
// Live adapter devices, for the end-of-test check.
std::size_t liveAdapterDevices();

// Ports bound on an adapter device, registered or not: the device lets go
// of their miniports when it goes, which breaks the hold each miniport has
// on its port. A port forgets itself as it goes.
void noteBoundPort(io::DeviceObject* device, Port* port);
void forgetBoundPort(Port* port);

kernel::NTSTATUS unregisterSubdevice(io::DeviceObject* deviceObject, kernel::IUnknown* unknown);
kernel::NTSTATUS unregisterPhysicalConnection(io::DeviceObject* deviceObject,
                                              kernel::IUnknown* fromUnknown, std::uint32_t fromPin,
                                              kernel::IUnknown* toUnknown, std::uint32_t toPin);

} // namespace portcls
