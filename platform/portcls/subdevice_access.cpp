#include "platform/portcls/subdevice_access.h"

#include "platform/portcls/adapter_device.h"
#include "platform/portcls/pin.h"
#include "platform/portcls/port_object.h"

namespace portcls {

std::vector<SubdeviceRecord> registeredSubdevices(io::DeviceObject* functional) {
    std::vector<SubdeviceRecord> records;
    AdapterDevice* adapter = adapterDeviceOf(functional);
    if (adapter == nullptr) return records;
    kernel::MutexGuard guard(adapter->mutex);
    for (const Subdevice& subdevice : adapter->subdevices) {
        SubdeviceRecord record{subdevice.name, {}, {}};
        if (const FilterDescriptor* descriptor = subdevice.port->descriptor())
            record.categories.assign(descriptor->Categories,
                                     descriptor->Categories + descriptor->CategoryCount);
        for (const kernel::UnicodeString& link : subdevice.links)
            record.links.emplace_back(link.view());
        records.push_back(std::move(record));
    }
    return records;
}

std::vector<PhysicalConnectionRecord> registeredPhysicalConnections(io::DeviceObject* functional) {
    std::vector<PhysicalConnectionRecord> records;
    AdapterDevice* adapter = adapterDeviceOf(functional);
    if (adapter == nullptr) return records;
    kernel::MutexGuard guard(adapter->mutex);
    const auto nameOf = [&](Port* port) {
        for (const Subdevice& subdevice : adapter->subdevices)
            if (subdevice.port == port) return subdevice.name;
        return std::u16string();
    };
    for (const PhysicalConnection& c : adapter->connections)
        records.push_back({nameOf(c.from), c.fromPin, nameOf(c.to), c.toPin});
    return records;
}

kernel::NTSTATUS FilterHandle::open(io::DeviceObject* functional, std::u16string_view name) {
    close();
    return findSubdevicePort(functional, name, &port_);
}

void FilterHandle::close() {
    if (port_ == nullptr) return;
    port_->Release();
    port_ = nullptr;
}

const FilterDescriptor* FilterHandle::descriptor() const {
    return port_ != nullptr ? port_->descriptor() : nullptr;
}

kernel::NTSTATUS FilterHandle::property(const ks::Identifier& property, std::uint32_t node,
                                        void* instance, std::uint32_t instanceSize, void* value,
                                        std::uint32_t valueSize,
                                        std::uint32_t* bytesReturned) const {
    if (port_ == nullptr) return kernel::STATUS_INVALID_HANDLE;
    return port_->property(property, node, instance, instanceSize, value, valueSize, bytesReturned);
}

kernel::NTSTATUS FilterHandle::dataRangeIntersection(std::uint32_t pinId,
                                                     const ks::DataRange* clientRange,
                                                     std::uint32_t length, void* format,
                                                     std::uint32_t* formatLength) const {
    if (port_ == nullptr) return kernel::STATUS_INVALID_HANDLE;
    return port_->dataRangeIntersection(pinId, clientRange, length, format, formatLength);
}

kernel::NTSTATUS EventHandle::open(const FilterHandle& filter, const kernel::Guid& set,
                                   std::uint32_t id, std::uint32_t node, kernel::Event* notify) {
    close();
    if (filter.port_ == nullptr) return kernel::STATUS_INVALID_HANDLE;
    void* block = kernel::allocatePool(kernel::PoolType::NonPagedNx, sizeof(EventEntry),
                                       pool_tag::eventEntry);
    if (block == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    auto* entry = new (block) EventEntry{};
    entry->Notify = notify;
    const kernel::NTSTATUS status = filter.port_->enableEvent(entry, set, id, node);
    if (!kernel::succeeded(status)) {
        entry->~EventEntry();
        kernel::freePoolWithTag(block, pool_tag::eventEntry);
        return status;
    }
    filter.port_->AddRef();
    port_ = filter.port_;
    entry_ = entry;
    return status;
}

void EventHandle::close() {
    if (entry_ == nullptr) return;
    port_->disableEvent(entry_);
    entry_->~EventEntry();
    kernel::freePoolWithTag(entry_, pool_tag::eventEntry);
    entry_ = nullptr;
    port_->Release();
    port_ = nullptr;
}

kernel::NTSTATUS PinHandle::open(const FilterHandle& filter, std::uint32_t pinId,
                                 const ks::DataFormat* format) {
    close();
    if (filter.port_ == nullptr) return kernel::STATUS_INVALID_HANDLE;
    const FilterDescriptor* descriptor = filter.port_->descriptor();
    if (descriptor == nullptr) return kernel::STATUS_DEVICE_NOT_CONNECTED;
    if (pinId >= descriptor->PinCount) return kernel::STATUS_INVALID_PARAMETER;
    // Data leaving the filter through the pin is captured data.
    const bool capture = descriptor->Pins[pinId].DataFlow == ks::PinDataFlow::Out;
    auto* pin = new Pin(filter.port_, pinId);
    if (pin == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    const kernel::NTSTATUS status = pin->open(capture, format);
    if (!kernel::succeeded(status)) {
        pin->Release();
        return status;
    }
    pin_ = pin;
    return status;
}

void PinHandle::close() {
    if (pin_ == nullptr) return;
    pin_->close();
    pin_ = nullptr;
}

kernel::NTSTATUS PinHandle::setState(ks::KsState state) {
    return pin_ != nullptr ? pin_->setState(state) : kernel::STATUS_INVALID_HANDLE;
}

ks::KsState PinHandle::state() const { return pin_ != nullptr ? pin_->state() : ks::KsState::Stop; }

kernel::NTSTATUS PinHandle::position(std::uint32_t* position) const {
    return pin_ != nullptr ? pin_->position(position) : kernel::STATUS_INVALID_HANDLE;
}

kernel::NTSTATUS
PinHandle::accessBuffer(const std::function<void(std::uint32_t position)>& work) const {
    return pin_ != nullptr ? pin_->accessBuffer(work) : kernel::STATUS_INVALID_HANDLE;
}

kernel::NTSTATUS PinHandle::buffer(void** address, std::uint32_t* size) const {
    if (address == nullptr || size == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (pin_ == nullptr) return kernel::STATUS_INVALID_HANDLE;
    IDmaChannel* dma = pin_->dmaChannel();
    if (dma == nullptr) return kernel::STATUS_DEVICE_NOT_CONNECTED;
    *address = dma->SystemAddress();
    *size = dma->BufferSize();
    return kernel::STATUS_SUCCESS;
}

std::uint32_t PinHandle::notificationInterval() const {
    return pin_ != nullptr ? pin_->notificationInterval() : 0;
}

std::uint32_t PinHandle::framingSize() const { return pin_ != nullptr ? pin_->framingSize() : 0; }

std::uint32_t PinHandle::serviceCount() const { return pin_ != nullptr ? pin_->serviceCount() : 0; }

void PinHandle::setServiceRoutine(std::function<void()> routine) {
    if (pin_ != nullptr) pin_->setServiceRoutine(std::move(routine));
}

} // namespace portcls
