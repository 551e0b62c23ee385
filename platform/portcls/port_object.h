// The port object behind both kinds of port (topology and wave-cyclic): it
// binds the miniport, keeps its filter descriptor, serves property and event
// requests against the descriptor's automation tables, keeps the event list
// and the open pins, and lets go of the miniport when the subdevice leaves
// the device. Only the port layer's own sources see this class; others reach
// a port through its interfaces, and the port layer finds this object
// behind any of them with portOf.
#pragma once

#include "platform/io/device_object.h"
#include "platform/kernel/mutex.h"
#include "platform/kernel/spin_lock.h"
#include "platform/portcls/miniport.h"
#include "platform/portcls/pool_object.h"
#include "platform/portcls/port.h"

#include <vector>

namespace portcls {

class Pin;

class Port final : public IPortTopology,
                   public IPortWaveCyclic,
                   public IPortEvents,
                   public IPortClsVersion,
                   public IUnregisterSubdevice,
                   public IUnregisterPhysicalConnection,
                   public PoolAllocated<pool_tag::port> {
public:
    enum class Kind { Topology, WaveCyclic };
    explicit Port(Kind kind) : kind_(kind) {}

    kernel::NTSTATUS QueryInterface(const kernel::Guid& id, void** object) override;
    std::uint32_t AddRef() override { return refs_.add(); }
    std::uint32_t Release() override;

    kernel::NTSTATUS Init(io::DeviceObject* deviceObject, io::Irp* irp, kernel::IUnknown* miniport,
                          kernel::IUnknown* unknownAdapter,
                          const io::ResourceList* resourceList) override;
    void Notify(IServiceGroup* serviceGroup) override;
    void AddEventToEventList(EventEntry* eventEntry) override;
    void GenerateEventList(const kernel::Guid* set, std::uint32_t eventId, bool pinEvent,
                           std::uint32_t pinId, bool nodeEvent, std::uint32_t nodeId) override;
    std::uint32_t GetVersion() override { return portClsVersion; }
    kernel::NTSTATUS UnregisterSubdevice(io::DeviceObject* deviceObject,
                                         kernel::IUnknown* unknown) override;
    kernel::NTSTATUS UnregisterPhysicalConnection(io::DeviceObject* deviceObject,
                                                  kernel::IUnknown* fromUnknown,
                                                  std::uint32_t fromPin,
                                                  kernel::IUnknown* toUnknown,
                                                  std::uint32_t toPin) override;

    Kind kind() const { return kind_; }
    // A reference unless the port is already going.
    bool addRefIfAlive() { return refs_.addIfAlive(); }
    kernel::IUnknown* unknown() { return static_cast<IPortEvents*>(this); }
    // Null before Init and once the miniport was let go.
    const FilterDescriptor* descriptor();
    io::DeviceObject* device() const { return device_; }

    // A property request on the filter (node nodeNone) or a node.
    kernel::NTSTATUS property(const ks::Identifier& property, std::uint32_t node, void* instance,
                              std::uint32_t instanceSize, void* value, std::uint32_t valueSize,
                              std::uint32_t* bytesReturned);
    // Event requests on the filter or a node; the entry leaves the list on remove.
    kernel::NTSTATUS enableEvent(EventEntry* entry, const kernel::Guid& set, std::uint32_t id,
                                 std::uint32_t node);
    void disableEvent(EventEntry* entry);

    // The stream of a new pin (wave-cyclic ports only).
    kernel::NTSTATUS newStream(Pin* pin, std::uint32_t pinId, bool capture,
                               const ks::DataFormat* format, IMiniportWaveCyclicStream** stream,
                               IDmaChannel** dmaChannel, IServiceGroup** serviceGroup);
    kernel::NTSTATUS dataRangeIntersection(std::uint32_t pinId, const ks::DataRange* clientRange,
                                           std::uint32_t length, void* format,
                                           std::uint32_t* formatLength);
    void pinClosed(Pin* pin);

    void powerChangeNotify(io::DevicePowerState state);
    // Closes every pin's stream and releases the miniport, which releases
    // its hold on this port in turn.
    void releaseMiniport();

private:
    ~Port();
    const PropertyItem* findProperty(std::uint32_t node, const ks::Identifier& property,
                                     kernel::NTSTATUS* status);

    const Kind kind_;
    RefCount refs_;
    io::DeviceObject* device_ = nullptr; // the adapter device it was bound on
    kernel::Mutex mutex_;                // binding and pins, at passive level
    IMiniport* miniport_ = nullptr;      // with a reference
    const FilterDescriptor* descriptor_ = nullptr;
    std::vector<Pin*> pins_;
    kernel::SpinLock eventsLock_;
    std::vector<EventEntry*> events_;
};

// The port object behind an unknown; null when it is not one of ours.
Port* portOf(kernel::IUnknown* unknown);

} // namespace portcls
