#include "platform/portcls/port_object.h"

#include "platform/portcls/adapter_device.h"
#include "platform/portcls/descriptor_check.h"
#include "platform/portcls/pin.h"
#include "platform/portcls/service_group.h"

#include <algorithm>

namespace portcls {

namespace {
// How the port layer finds its own object behind an interface.
constexpr kernel::Guid IID_PortObject = kernel::makeGuid("{8C91CC41-2BD4-46E0-BA9D-5A9F8BEE0CC0}");

// The verb of a request without the node flag.
constexpr std::uint32_t verbOf(std::uint32_t flags) { return flags & ~ks::property_verb::topology; }

const AutomationTable* tableOf(const FilterDescriptor& descriptor, std::uint32_t node) {
    return node == nodeNone ? descriptor.AutomationTable : descriptor.Nodes[node].AutomationTable;
}
} // namespace

Port* portOf(kernel::IUnknown* unknown) {
    if (unknown == nullptr) return nullptr;
    void* object = nullptr;
    if (!kernel::succeeded(unknown->QueryInterface(IID_PortObject, &object))) return nullptr;
    auto* port = static_cast<Port*>(object);
    port->Release(); // the caller's reference keeps it
    return port;
}

// Open pins hold the port, so none is left here; a miniport that never
// held its port may still be bound.
Port::~Port() {
    forgetBoundPort(this);
    if (miniport_ != nullptr) miniport_->Release();
}

kernel::NTSTATUS Port::QueryInterface(const kernel::Guid& id, void** object) {
    void* found = nullptr;
    if (id == kernel::IID_IUnknown || id == IID_IPortEvents)
        found = static_cast<IPortEvents*>(this);
    else if (id == IID_IPort)
        found = kind_ == Kind::Topology ? static_cast<IPort*>(static_cast<IPortTopology*>(this))
                                        : static_cast<IPort*>(static_cast<IPortWaveCyclic*>(this));
    else if (id == IID_IPortTopology && kind_ == Kind::Topology)
        found = static_cast<IPortTopology*>(this);
    else if (id == IID_IPortWaveCyclic && kind_ == Kind::WaveCyclic)
        found = static_cast<IPortWaveCyclic*>(this);
    else if (id == IID_IPortClsVersion)
        found = static_cast<IPortClsVersion*>(this);
    else if (id == IID_IUnregisterSubdevice)
        found = static_cast<IUnregisterSubdevice*>(this);
    else if (id == IID_IUnregisterPhysicalConnection)
        found = static_cast<IUnregisterPhysicalConnection*>(this);
    else if (id == IID_PortObject)
        found = this;
    *object = found;
    if (found == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    AddRef();
    return kernel::STATUS_SUCCESS;
}

std::uint32_t Port::Release() {
    const std::uint32_t left = refs_.drop();
    if (left == 0) delete this;
    return left;
}

kernel::NTSTATUS Port::Init(io::DeviceObject* deviceObject, io::Irp*, kernel::IUnknown* miniport,
                            kernel::IUnknown* unknownAdapter,
                            const io::ResourceList* resourceList) {
    if (adapterDeviceOf(deviceObject) == nullptr || miniport == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    kernel::MutexGuard guard(mutex_);
    if (miniport_ != nullptr || device_ != nullptr) return kernel::STATUS_INVALID_DEVICE_REQUEST;

    void* bound = nullptr;
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    if (kind_ == Kind::Topology) {
        status = miniport->QueryInterface(IID_IMiniportTopology, &bound);
        if (!kernel::succeeded(status)) return kernel::STATUS_INVALID_PARAMETER;
        auto* topology = static_cast<IMiniportTopology*>(bound);
        miniport_ = topology;
        status = topology->Init(unknownAdapter, resourceList, this);
    } else {
        status = miniport->QueryInterface(IID_IMiniportWaveCyclic, &bound);
        if (!kernel::succeeded(status)) return kernel::STATUS_INVALID_PARAMETER;
        auto* wave = static_cast<IMiniportWaveCyclic*>(bound);
        miniport_ = wave;
        status = wave->Init(unknownAdapter, resourceList, this);
    }
    const FilterDescriptor* descriptor = nullptr;
    if (kernel::succeeded(status)) status = miniport_->GetDescription(&descriptor);
    if (kernel::succeeded(status) && !descriptorIsSound(descriptor))
        status = kernel::STATUS_INVALID_PARAMETER;
    if (!kernel::succeeded(status)) {
        IMiniport* failed = miniport_;
        miniport_ = nullptr;
        failed->Release();
        return status;
    }
    descriptor_ = descriptor;
    device_ = deviceObject;
    noteBoundPort(deviceObject, this);
    return kernel::STATUS_SUCCESS;
}

const FilterDescriptor* Port::descriptor() {
    kernel::MutexGuard guard(mutex_);
    return descriptor_;
}

void Port::Notify(IServiceGroup* serviceGroup) {
    if (serviceGroup != nullptr) serviceGroup->RequestService();
}

void Port::AddEventToEventList(EventEntry* eventEntry) {
    if (eventEntry == nullptr) return;
    kernel::SpinLockGuard guard(eventsLock_);
    if (std::find(events_.begin(), events_.end(), eventEntry) == events_.end())
        events_.push_back(eventEntry);
}

void Port::GenerateEventList(const kernel::Guid* set, std::uint32_t eventId, bool pinEvent,
                             std::uint32_t pinId, bool nodeEvent, std::uint32_t nodeId) {
    if (set == nullptr) return;
    kernel::SpinLockGuard guard(eventsLock_);
    for (EventEntry* entry : events_) {
        if (*entry->EventItem->Set != *set || entry->EventItem->Id != eventId) continue;
        if (pinEvent && entry->PinId != pinId) continue;
        if (nodeEvent && entry->NodeId != nodeId) continue;
        ++entry->Signalled;
        if (entry->Notify != nullptr) entry->Notify->set();
    }
}

kernel::NTSTATUS Port::UnregisterSubdevice(io::DeviceObject* deviceObject,
                                           kernel::IUnknown* unknown) {
    return unregisterSubdevice(deviceObject, unknown);
}

kernel::NTSTATUS Port::UnregisterPhysicalConnection(io::DeviceObject* deviceObject,
                                                    kernel::IUnknown* fromUnknown,
                                                    std::uint32_t fromPin,
                                                    kernel::IUnknown* toUnknown,
                                                    std::uint32_t toPin) {
    return unregisterPhysicalConnection(deviceObject, fromUnknown, fromPin, toUnknown, toPin);
}

const PropertyItem* Port::findProperty(std::uint32_t node, const ks::Identifier& property,
                                       kernel::NTSTATUS* status) {
    if (node != nodeNone && node >= descriptor_->NodeCount) {
        *status = kernel::STATUS_INVALID_PARAMETER;
        return nullptr;
    }
    const AutomationTable* table = tableOf(*descriptor_, node);
    if (table != nullptr) {
        for (std::uint32_t i = 0; i < table->PropertyCount; ++i) {
            const PropertyItem& item = table->Properties[i];
            if (*item.Set == property.Set && item.Id == property.Id) return &item;
        }
    }
    *status = kernel::STATUS_NOT_SUPPORTED;
    return nullptr;
}

kernel::NTSTATUS Port::property(const ks::Identifier& property, std::uint32_t node, void* instance,
                                std::uint32_t instanceSize, void* value, std::uint32_t valueSize,
                                std::uint32_t* bytesReturned) {
    if (bytesReturned == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *bytesReturned = 0;
    const std::uint32_t verb = verbOf(property.Flags);
    if (verb != ks::property_verb::get && verb != ks::property_verb::set &&
        verb != ks::property_verb::basicSupport)
        return kernel::STATUS_INVALID_PARAMETER;
    if ((instanceSize != 0 && instance == nullptr) || (valueSize != 0 && value == nullptr))
        return kernel::STATUS_INVALID_PARAMETER;

    kernel::MutexGuard guard(mutex_);
    if (miniport_ == nullptr) return kernel::STATUS_DEVICE_NOT_CONNECTED;
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    const PropertyItem* item = findProperty(node, property, &status);
    if (item == nullptr) return status;
    // Basic support always reaches the handler, which describes the property.
    if (verb != ks::property_verb::basicSupport && (item->Flags & verb) == 0)
        return kernel::STATUS_INVALID_DEVICE_REQUEST;
    if (item->Handler == nullptr) return kernel::STATUS_NOT_SUPPORTED;

    PropertyRequest request{miniport_,    nullptr,  node,      item, verb,
                            instanceSize, instance, valueSize, value};
    status = item->Handler(&request);
    // A handler never reports more bytes written than the room it was given,
    // except as the size a sizing answer needs.
    *bytesReturned = request.ValueSize;
    return status;
}

kernel::NTSTATUS Port::enableEvent(EventEntry* entry, const kernel::Guid& set, std::uint32_t id,
                                   std::uint32_t node) {
    kernel::MutexGuard guard(mutex_);
    if (miniport_ == nullptr) return kernel::STATUS_DEVICE_NOT_CONNECTED;
    if (node != nodeNone && node >= descriptor_->NodeCount) return kernel::STATUS_INVALID_PARAMETER;
    const AutomationTable* table = tableOf(*descriptor_, node);
    const EventItem* item = nullptr;
    for (std::uint32_t i = 0; table != nullptr && i < table->EventCount; ++i)
        if (*table->Events[i].Set == set && table->Events[i].Id == id) item = &table->Events[i];
    if (item == nullptr) return kernel::STATUS_NOT_SUPPORTED;
    if ((item->Flags & ks::event_verb::enable) == 0) return kernel::STATUS_INVALID_DEVICE_REQUEST;

    entry->EventItem = item;
    entry->NodeId = node;
    entry->PinId = nodeNone;
    if (item->Handler == nullptr) {
        AddEventToEventList(entry);
        return kernel::STATUS_SUCCESS;
    }
    EventRequest request{miniport_, nullptr, node, item, entry, event_verb::add};
    const kernel::NTSTATUS status = item->Handler(&request);
    if (!kernel::succeeded(status)) {
        kernel::SpinLockGuard events(eventsLock_);
        events_.erase(std::remove(events_.begin(), events_.end(), entry), events_.end());
    }
    return status;
}

void Port::disableEvent(EventEntry* entry) {
    {
        kernel::SpinLockGuard events(eventsLock_);
        events_.erase(std::remove(events_.begin(), events_.end(), entry), events_.end());
    }
    kernel::MutexGuard guard(mutex_);
    if (miniport_ == nullptr || entry->EventItem->Handler == nullptr) return;
    EventRequest request{miniport_,        nullptr, entry->NodeId,
                         entry->EventItem, entry,   event_verb::remove};
    (void)entry->EventItem->Handler(&request); // disabling cannot be refused
}

kernel::NTSTATUS Port::newStream(Pin* pin, std::uint32_t pinId, bool capture,
                                 const ks::DataFormat* format, IMiniportWaveCyclicStream** stream,
                                 IDmaChannel** dmaChannel, IServiceGroup** serviceGroup) {
    if (format == nullptr || format->FormatSize < sizeof(ks::DataFormat))
        return kernel::STATUS_INVALID_PARAMETER;
    kernel::MutexGuard guard(mutex_);
    if (miniport_ == nullptr) return kernel::STATUS_DEVICE_NOT_CONNECTED;
    if (kind_ != Kind::WaveCyclic || pinId >= descriptor_->PinCount)
        return kernel::STATUS_INVALID_PARAMETER;
    const PinDescriptor& descriptor = descriptor_->Pins[pinId];
    const auto open = static_cast<std::uint32_t>(
        std::count_if(pins_.begin(), pins_.end(), [&](Pin* p) { return p->pinId() == pinId; }));
    if (open >= std::min(descriptor.MaxFilterInstanceCount, descriptor.MaxGlobalInstanceCount))
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    if (!formatFitsPin(descriptor, *format)) return kernel::STATUS_NO_MATCH;

    const kernel::NTSTATUS status = static_cast<IMiniportWaveCyclic*>(miniport_)->NewStream(
        stream, nullptr, kernel::PoolType::NonPagedNx, pinId, capture, format, dmaChannel,
        serviceGroup);
    if (kernel::succeeded(status)) pins_.push_back(pin);
    return status;
}

kernel::NTSTATUS Port::dataRangeIntersection(std::uint32_t pinId, const ks::DataRange* clientRange,
                                             std::uint32_t length, void* format,
                                             std::uint32_t* formatLength) {
    if (clientRange == nullptr || formatLength == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    kernel::MutexGuard guard(mutex_);
    if (miniport_ == nullptr) return kernel::STATUS_DEVICE_NOT_CONNECTED;
    if (pinId >= descriptor_->PinCount) return kernel::STATUS_INVALID_PARAMETER;
    const PinDescriptor& pin = descriptor_->Pins[pinId];
    // The pin's ranges in order, attribute lists skipped; the first that
    // the miniport intersects with the client's range gives the format.
    for (std::uint32_t i = 0; i < pin.DataRangesCount; ++i) {
        const ks::DataRange* range = pin.DataRanges[i].Range;
        if ((range->Flags & ks::data_flags::attributes) != 0) ++i;
        const kernel::NTSTATUS status = miniport_->DataRangeIntersection(
            pinId, clientRange, range, length, format, formatLength);
        if (status != kernel::STATUS_NO_MATCH) return status;
    }
    return kernel::STATUS_NO_MATCH;
}

void Port::pinClosed(Pin* pin) {
    kernel::MutexGuard guard(mutex_);
    pins_.erase(std::remove(pins_.begin(), pins_.end(), pin), pins_.end());
}

void Port::powerChangeNotify(io::DevicePowerState state) {
    kernel::MutexGuard guard(mutex_);
    if (miniport_ == nullptr) return;
    void* object = nullptr;
    if (!kernel::succeeded(miniport_->QueryInterface(IID_IPowerNotify, &object))) return;
    auto* notify = static_cast<IPowerNotify*>(object);
    notify->PowerChangeNotify(state);
    notify->Release();
}

void Port::releaseMiniport() {
    AddRef(); // the miniport may hold the last reference but one
    IMiniport* miniport = nullptr;
    {
        kernel::MutexGuard guard(mutex_);
        // The streams go before the miniport that made them.
        const std::vector<Pin*> pins = pins_;
        for (Pin* pin : pins) pin->detach();
        pins_.clear();
        miniport = miniport_;
        miniport_ = nullptr;
        descriptor_ = nullptr;
    }
    if (miniport != nullptr) miniport->Release();
    Release();
}

kernel::NTSTATUS PcNewPort(IPort** port, const kernel::Guid& classId) {
    if (port == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *port = nullptr;
    Port::Kind kind = Port::Kind::Topology;
    if (classId == CLSID_PortWaveCyclic)
        kind = Port::Kind::WaveCyclic;
    else if (classId != CLSID_PortTopology)
        return kernel::STATUS_INVALID_PARAMETER;
    auto* object = new Port(kind);
    if (object == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    void* asked = nullptr;
    (void)object->QueryInterface(IID_IPort, &asked);
    object->Release(); // the creator's reference now travels as IPort
    *port = static_cast<IPort*>(asked);
    return kernel::STATUS_SUCCESS;
}

} // namespace portcls
