#include "platform/portcls/adapter_device.h"

#include "platform/io/device_interface.h"
#include "platform/kernel/test_checks.h"
#include "platform/portcls/port_object.h"
#include "platform/portcls/subdevice_access.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace portcls {
namespace {

std::mutex& liveLock() {
    static std::mutex lock;
    return lock;
}
std::vector<AdapterDevice*>& live() {
    static std::vector<AdapterDevice*> devices;
    return devices;
}

// Subdevices on any adapter device, from registration until retired.
std::atomic<std::size_t> registeredSubdevicesNow{0};

void dropLinks(Subdevice& subdevice) {
    for (kernel::UnicodeString& link : subdevice.links) {
        (void)io::setDeviceInterfaceState(link, false);
        kernel::freeUnicodeString(link);
    }
    subdevice.links.clear();
}

// The port goes off the device: interfaces first, so no client opens it
// anew, then its miniport, then the device's reference.
void retire(Subdevice& subdevice) {
    --registeredSubdevicesNow;
    dropLinks(subdevice);
    subdevice.port->releaseMiniport();
    subdevice.port->Release();
}

std::size_t devicesAtTestStart = 0;
const kernel::TestCheckRegistrar
    adapterDevicesCheck({"adapter devices", [] { devicesAtTestStart = liveAdapterDevices(); },
                         []() -> std::string {
                             const std::size_t now = liveAdapterDevices();
                             if (now <= devicesAtTestStart) return {};
                             return std::to_string(now - devicesAtTestStart) +
                                    " adapter device(s) never removed";
                         }});

} // namespace

AdapterDevice::AdapterDevice(io::DeviceObject* functional, io::DeviceObject* physical,
                             io::DeviceObject* lower, StartDeviceRoutine start,
                             std::uint32_t maxObjects, kernel::WorkItem* passiveWork)
    : functional(functional), physical(physical), lower(lower), start(start),
      maxObjects(maxObjects), passiveWork(passiveWork) {
    AdapterDevice* self = this;
    std::memcpy(functional->extension(), &self, sizeof self);
    std::lock_guard guard(liveLock());
    live().push_back(this);
}

AdapterDevice::~AdapterDevice() {
    unregisterAll();
    std::vector<Port*> bound;
    {
        std::lock_guard guard(liveLock());
        for (Port* port : boundPorts)
            if (port->addRefIfAlive()) bound.push_back(port);
        boundPorts.clear();
    }
    for (Port* port : bound) {
        port->releaseMiniport();
        port->Release();
    }
    kernel::freeWorkItem(passiveWork);
    AdapterDevice* none = nullptr;
    std::memcpy(functional->extension(), &none, sizeof none);
    std::lock_guard guard(liveLock());
    live().erase(std::remove(live().begin(), live().end(), this), live().end());
}

void AdapterDevice::unregisterAll() {
    std::vector<Subdevice> leaving;
    IAdapterPowerManagement* adapterPower = nullptr;
    {
        kernel::MutexGuard guard(mutex);
        leaving.swap(subdevices);
        connections.clear();
        std::swap(adapterPower, power);
    }
    for (Subdevice& subdevice : leaving) retire(subdevice);
    if (adapterPower != nullptr) adapterPower->Release();
}

void AdapterDevice::disableInterfaces() {
    kernel::MutexGuard guard(mutex);
    surpriseRemoved = true;
    for (Subdevice& subdevice : subdevices)
        for (kernel::UnicodeString& link : subdevice.links)
            (void)io::setDeviceInterfaceState(link, false);
}

void AdapterDevice::changePowerState(io::DevicePowerState state) {
    IAdapterPowerManagement* adapterPower = nullptr;
    std::vector<Port*> ports;
    {
        kernel::MutexGuard guard(mutex);
        if (state == powerState) return;
        powerState = state;
        adapterPower = power;
        if (adapterPower != nullptr) adapterPower->AddRef();
        for (Subdevice& subdevice : subdevices) {
            subdevice.port->AddRef();
            ports.push_back(subdevice.port);
        }
    }
    // The adapter first, then the miniports in order of registration.
    if (adapterPower != nullptr) {
        adapterPower->PowerChangeState(state);
        adapterPower->Release();
    }
    for (Port* port : ports) {
        port->powerChangeNotify(state);
        port->Release();
    }
}

AdapterDevice* adapterDeviceOf(io::DeviceObject* device) {
    if (device == nullptr || device->extensionSize() < portClassExtensionSize) return nullptr;
    AdapterDevice* adapter = nullptr;
    std::memcpy(&adapter, device->extension(), sizeof adapter);
    std::lock_guard guard(liveLock());
    const bool known = std::find(live().begin(), live().end(), adapter) != live().end();
    return known && adapter->functional == device ? adapter : nullptr;
}

kernel::NTSTATUS findSubdevicePort(io::DeviceObject* device, std::u16string_view name,
                                   Port** port) {
    *port = nullptr;
    AdapterDevice* adapter = adapterDeviceOf(device);
    if (adapter == nullptr) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    kernel::MutexGuard guard(adapter->mutex);
    if (adapter->surpriseRemoved) return kernel::STATUS_NO_SUCH_DEVICE;
    for (const Subdevice& subdevice : adapter->subdevices) {
        if (!kernel::equalTextIgnoringCase(subdevice.name, name)) continue;
        subdevice.port->AddRef();
        *port = subdevice.port;
        return kernel::STATUS_SUCCESS;
    }
    return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
}

void noteBoundPort(io::DeviceObject* device, Port* port) {
    AdapterDevice* adapter = adapterDeviceOf(device);
    std::lock_guard guard(liveLock());
    if (adapter != nullptr && std::find(live().begin(), live().end(), adapter) != live().end())
        adapter->boundPorts.push_back(port);
}

void forgetBoundPort(Port* port) {
    std::lock_guard guard(liveLock());
    for (AdapterDevice* adapter : live()) {
        auto& ports = adapter->boundPorts;
        ports.erase(std::remove(ports.begin(), ports.end(), port), ports.end());
    }
}

std::size_t liveAdapterDevices() {
    std::lock_guard guard(liveLock());
    return live().size();
}

std::size_t registeredSubdeviceCount() { return registeredSubdevicesNow.load(); }

kernel::NTSTATUS PcRegisterAdapterPowerManagement(kernel::IUnknown* unknown,
                                                  io::DeviceObject* deviceObject) {
    AdapterDevice* adapter = adapterDeviceOf(deviceObject);
    if (adapter == nullptr || unknown == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    void* object = nullptr;
    if (!kernel::succeeded(unknown->QueryInterface(IID_IAdapterPowerManagement, &object)))
        return kernel::STATUS_INVALID_PARAMETER;
    IAdapterPowerManagement* replaced = nullptr;
    {
        kernel::MutexGuard guard(adapter->mutex);
        replaced = adapter->power;
        adapter->power = static_cast<IAdapterPowerManagement*>(object);
    }
    if (replaced != nullptr) replaced->Release();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS PcRegisterSubdevice(io::DeviceObject* deviceObject, const char16_t* name,
                                     kernel::IUnknown* unknown) {
    AdapterDevice* adapter = adapterDeviceOf(deviceObject);
    Port* port = portOf(unknown);
    if (adapter == nullptr || port == nullptr || name == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    const std::u16string_view text(name);
    if (text.empty() || text.find(u'\\') != std::u16string_view::npos)
        return kernel::STATUS_INVALID_PARAMETER;
    // Bound, and bound on this device.
    const FilterDescriptor* descriptor = port->descriptor();
    if (descriptor == nullptr || port->device() != deviceObject)
        return kernel::STATUS_INVALID_PARAMETER;

    kernel::MutexGuard guard(adapter->mutex);
    for (const Subdevice& subdevice : adapter->subdevices)
        if (subdevice.port == port || kernel::equalTextIgnoringCase(subdevice.name, text))
            return kernel::STATUS_INVALID_PARAMETER;
    if (adapter->subdevices.size() >= adapter->maxObjects)
        return kernel::STATUS_INSUFFICIENT_RESOURCES;

    Subdevice subdevice{std::u16string(text), port, {}};
    const kernel::UnicodeString reference = kernel::makeUnicodeString(subdevice.name.c_str());
    for (std::uint32_t i = 0; i < descriptor->CategoryCount; ++i) {
        kernel::UnicodeString link;
        kernel::NTSTATUS status = io::registerDeviceInterface(
            adapter->physical, descriptor->Categories[i], &reference, &link);
        if (kernel::succeeded(status)) {
            subdevice.links.push_back(link);
            status = io::setDeviceInterfaceState(link, true);
        }
        if (!kernel::succeeded(status)) {
            dropLinks(subdevice);
            return status;
        }
    }
    port->AddRef();
    adapter->subdevices.push_back(std::move(subdevice));
    ++registeredSubdevicesNow;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS unregisterSubdevice(io::DeviceObject* deviceObject, kernel::IUnknown* unknown) {
    AdapterDevice* adapter = adapterDeviceOf(deviceObject);
    Port* port = portOf(unknown);
    if (adapter == nullptr || port == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    Subdevice leaving;
    {
        kernel::MutexGuard guard(adapter->mutex);
        auto& all = adapter->subdevices;
        const auto found = std::find_if(all.begin(), all.end(),
                                        [&](const Subdevice& s) { return s.port == port; });
        if (found == all.end()) return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
        leaving = std::move(*found);
        all.erase(found);
        // Connections name registered subdevices only.
        auto& wires = adapter->connections;
        wires.erase(std::remove_if(wires.begin(), wires.end(),
                                   [&](const PhysicalConnection& c) {
                                       return c.from == port || c.to == port;
                                   }),
                    wires.end());
    }
    retire(leaving);
    return kernel::STATUS_SUCCESS;
}

namespace {

bool isPinOf(const AdapterDevice& adapter, Port* port, std::uint32_t pin) {
    for (const Subdevice& subdevice : adapter.subdevices) {
        if (subdevice.port != port) continue;
        const FilterDescriptor* descriptor = port->descriptor();
        return descriptor != nullptr && pin < descriptor->PinCount;
    }
    return false;
}

auto sameConnection(Port* from, std::uint32_t fromPin, Port* to, std::uint32_t toPin) {
    return [=](const PhysicalConnection& c) {
        return c.from == from && c.fromPin == fromPin && c.to == to && c.toPin == toPin;
    };
}

} // namespace

kernel::NTSTATUS PcRegisterPhysicalConnection(io::DeviceObject* deviceObject,
                                              kernel::IUnknown* fromUnknown, std::uint32_t fromPin,
                                              kernel::IUnknown* toUnknown, std::uint32_t toPin) {
    AdapterDevice* adapter = adapterDeviceOf(deviceObject);
    Port* from = portOf(fromUnknown);
    Port* to = portOf(toUnknown);
    if (adapter == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    kernel::MutexGuard guard(adapter->mutex);
    if (!isPinOf(*adapter, from, fromPin) || !isPinOf(*adapter, to, toPin))
        return kernel::STATUS_INVALID_PARAMETER;
    auto& wires = adapter->connections;
    if (std::any_of(wires.begin(), wires.end(), sameConnection(from, fromPin, to, toPin)))
        return kernel::STATUS_INVALID_PARAMETER;
    wires.push_back({from, fromPin, to, toPin});
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS unregisterPhysicalConnection(io::DeviceObject* deviceObject,
                                              kernel::IUnknown* fromUnknown, std::uint32_t fromPin,
                                              kernel::IUnknown* toUnknown, std::uint32_t toPin) {
    AdapterDevice* adapter = adapterDeviceOf(deviceObject);
    if (adapter == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    kernel::MutexGuard guard(adapter->mutex);
    auto& wires = adapter->connections;
    const auto found =
        std::find_if(wires.begin(), wires.end(),
                     sameConnection(portOf(fromUnknown), fromPin, portOf(toUnknown), toPin));
    if (found == wires.end()) return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
    wires.erase(found);
    return kernel::STATUS_SUCCESS;
}

} // namespace portcls
