// The system's side of an adapter device's subdevices, for the simulated
// operating system and for tests: what is registered (names, categories,
// interface links, physical connections), and handles that open a
// subdevice's filter, send it property requests, enable its events, ask for
// a format that fits a pin, and open wave pins that stream.
//
// Property requests reach the handler of the item whose set and id they
// name, on the filter (node nodeNone) or a node: a GET or SET that the item
// does not list among its verbs is refused (STATUS_INVALID_DEVICE_REQUEST)
// before any handler runs; a basic-support request always reaches the
// handler, which describes the property. An unknown property or event is
// STATUS_NOT_SUPPORTED, a node the filter lacks STATUS_INVALID_PARAMETER.
//
// A pin moves one state at a time (STOP, ACQUIRE, PAUSE, RUN and back): a
// jump asks the stream for every step between. Each notification its
// stream raises through the port is served in a deferred procedure call:
// the pin counts it and runs the service routine set on it. Once the
// subdevice leaves the device, its open handles stay valid but every
// request on them is STATUS_DEVICE_NOT_CONNECTED. All calls but the
// service routine run at passive level.
#pragma once

#include "platform/io/device_object.h"
#include "platform/kernel/event.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"
#include "platform/ks/data_format.h"
#include "platform/ks/identifier.h"
#include "platform/ks/state.h"
#include "platform/portcls/descriptors.h"
#include "platform/portcls/events.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace portcls {

class Port;
class Pin;

struct SubdeviceRecord {
    std::u16string name;
    std::vector<kernel::Guid> categories;
    std::vector<std::u16string>
        links; // one interface per category, disabled after surprise removal
};

struct PhysicalConnectionRecord {
    std::u16string fromName;
    std::uint32_t fromPin;
    std::u16string toName;
    std::uint32_t toPin;
    friend bool operator==(const PhysicalConnectionRecord&,
                           const PhysicalConnectionRecord&) = default;
};

// Subdevices registered now, on every adapter device.
std::size_t registeredSubdeviceCount();

// In order of registration; empty for a device that is not an adapter device.
std::vector<SubdeviceRecord> registeredSubdevices(io::DeviceObject* functional);
std::vector<PhysicalConnectionRecord> registeredPhysicalConnections(io::DeviceObject* functional);

class FilterHandle {
public:
    FilterHandle() = default;
    ~FilterHandle() { close(); }
    FilterHandle(const FilterHandle&) = delete;
    FilterHandle& operator=(const FilterHandle&) = delete;

    // The filter of the subdevice registered under the name (compared
    // without regard to case). STATUS_OBJECT_NAME_NOT_FOUND for none,
    // STATUS_NO_SUCH_DEVICE once the device was surprise-removed.
    kernel::NTSTATUS open(io::DeviceObject* functional, std::u16string_view name);
    void close();
    bool isOpen() const { return port_ != nullptr; }
    // Null once the subdevice left the device.
    const FilterDescriptor* descriptor() const;

    kernel::NTSTATUS property(const ks::Identifier& property, std::uint32_t node, void* instance,
                              std::uint32_t instanceSize, void* value, std::uint32_t valueSize,
                              std::uint32_t* bytesReturned) const;
    // The format of the pin that fits the client's range (the miniport's
    // intersection with each of the pin's ranges in turn).
    kernel::NTSTATUS dataRangeIntersection(std::uint32_t pinId, const ks::DataRange* clientRange,
                                           std::uint32_t length, void* format,
                                           std::uint32_t* formatLength) const;

private:
    friend class EventHandle;
    friend class PinHandle;
    Port* port_ = nullptr; // with a reference
};

// An enabled event; disabled when closed.
class EventHandle {
public:
    EventHandle() = default;
    ~EventHandle() { close(); }
    EventHandle(const EventHandle&) = delete;
    EventHandle& operator=(const EventHandle&) = delete;

    // Enables the event of the filter or a node; notify (may be null) is set
    // at each raise. STATUS_INVALID_DEVICE_REQUEST when the item does not
    // take enabling.
    kernel::NTSTATUS open(const FilterHandle& filter, const kernel::Guid& set, std::uint32_t id,
                          std::uint32_t node, kernel::Event* notify = nullptr);
    void close();
    // Raises since it was enabled.
    std::uint32_t signalled() const { return entry_ != nullptr ? entry_->Signalled.load() : 0; }

private:
    Port* port_ = nullptr; // with a reference
    EventEntry* entry_ = nullptr;
};

class PinHandle {
public:
    PinHandle() = default;
    ~PinHandle() { close(); }
    PinHandle(const PinHandle&) = delete;
    PinHandle& operator=(const PinHandle&) = delete;

    // A wave pin of the filter with the format: the miniport's NewStream.
    // STATUS_INVALID_PARAMETER for a pin the filter lacks, a filter that is
    // not a wave filter or a format shorter than its head; STATUS_NO_MATCH
    // for a format none of the pin's ranges names;
    // STATUS_INSUFFICIENT_RESOURCES when the pin has all the instances it
    // allows; otherwise the miniport's status.
    kernel::NTSTATUS open(const FilterHandle& filter, std::uint32_t pinId,
                          const ks::DataFormat* format);
    // Steps down to STOP and closes the stream.
    void close();
    bool isOpen() const { return pin_ != nullptr; }

    kernel::NTSTATUS setState(ks::KsState state);
    ks::KsState state() const;
    kernel::NTSTATUS position(std::uint32_t* position) const;
    // Runs work with the pin's position while its buffer cannot go: the
    // port lets a pin's stream, and the buffer with it, go when its
    // subdevice leaves the device, so a client touches the buffer only in
    // here. Up to dispatch level; work must not call back into the pin.
    // STATUS_DEVICE_NOT_CONNECTED (work does not run) once the stream went.
    kernel::NTSTATUS accessBuffer(const std::function<void(std::uint32_t position)>& work) const;
    // The cyclic buffer: its address and the bytes in use.
    kernel::NTSTATUS buffer(void** address, std::uint32_t* size) const;
    // What the stream answered when the pin asked it to notify every 10 ms:
    // the interval it keeps and the bytes of one interval.
    std::uint32_t notificationInterval() const;
    std::uint32_t framingSize() const;
    std::uint32_t serviceCount() const;
    void setServiceRoutine(std::function<void()> routine);

private:
    Pin* pin_ = nullptr; // with a reference
};

} // namespace portcls
