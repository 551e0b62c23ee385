// The driver's side of isochronous streaming, for the simulator's tests and
// benchmark: a device stacked on the simulated bus that selects streaming
// settings, single isochronous transfers, and a stream that keeps transfers
// in flight the way a driver's stream engine does.
#pragma once

#include "platform/io/irp.h"
#include "platform/kernel/clock.h"
#include "platform/usb/requests.h"
#include "sim/usb/simulated_bus.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace usbsimtest {

// The value of `size` little-endian bytes.
inline std::uint64_t readLittleEndian(const std::uint8_t* at, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value |= std::uint64_t{at[i]} << (8 * i);
    return value;
}

// One request of the driver: sent once, freed with the object.
class SentRequest {
public:
    explicit SentRequest(std::int8_t stackSize) : m_irp(io::allocateIrp(stackSize)) {}
    ~SentRequest() {
        if (m_irp != nullptr) io::freeIrp(m_irp);
    }
    SentRequest(const SentRequest&) = delete;
    SentRequest& operator=(const SentRequest&) = delete;

    // A request of major function `major` (minor `minor`) with the parameters given.
    kernel::NTSTATUS send(io::DeviceObject* lower, std::uint8_t major, std::uint8_t minor,
                          const io::IoStackLocation::Parameters& parameters) {
        // The pool may refuse the request itself, as a driver's would be.
        if (m_irp == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
        io::IoStackLocation* location = io::nextStackLocation(m_irp);
        location->majorFunction = major;
        location->minorFunction = minor;
        location->parameters = parameters;
        io::setCompletionRoutine(m_irp, completed, this, true, true, true);
        return io::callDriver(lower, m_irp);
    }
    // An internal device control whose argument rides in others.argument1.
    kernel::NTSTATUS send(io::DeviceObject* lower, std::uint32_t code, void* argument) {
        io::IoStackLocation::Parameters parameters{};
        parameters.deviceIoControl.ioControlCode = code;
        parameters.others.argument1 = argument;
        return send(lower, io::major::InternalDeviceControl, 0, parameters);
    }
    // An internal device control with an input buffer.
    kernel::NTSTATUS sendInput(io::DeviceObject* lower, std::uint32_t code, void* input,
                               std::uint32_t length) {
        io::IoStackLocation::Parameters parameters{};
        parameters.deviceIoControl.ioControlCode = code;
        parameters.deviceIoControl.type3InputBuffer = input;
        parameters.deviceIoControl.inputBufferLength = length;
        return send(lower, io::major::InternalDeviceControl, 0, parameters);
    }
    bool done() const { return m_done; }
    kernel::NTSTATUS status() const { return m_status; }
    io::Irp* irp() const { return m_irp; }

private:
    static kernel::NTSTATUS completed(io::DeviceObject*, io::Irp* irp, void* context) {
        auto* self = static_cast<SentRequest*>(context);
        self->m_done = true;
        self->m_status = irp->ioStatus.status;
        return kernel::STATUS_MORE_PROCESSING_REQUIRED; // the request stays with its sender
    }
    io::Irp* m_irp;
    bool m_done = false;
    kernel::NTSTATUS m_status = kernel::STATUS_PENDING;
};

// A driver's device on the bus's device; the first setting it selects
// selects the function's configuration first.
class DriverDevice {
public:
    // The bus and the function it carries.
    DriverDevice(usbsim::SimulatedBus& bus, const usbsim::UsbFunction& function,
                 kernel::ManualClock& clock);
    ~DriverDevice();
    DriverDevice(const DriverDevice&) = delete;
    DriverDevice& operator=(const DriverDevice&) = delete;

    io::DeviceObject* lower() const { return m_lower; }
    std::int8_t stackSize() const { return m_upper->stackSize(); }

    // Sends the request, lets the bus complete it and returns its status.
    kernel::NTSTATUS submit(usb::RequestHeader& record);
    // Sends a request of major function `major` (minor `minor`) with the
    // parameters given, and returns its status once it completed.
    kernel::NTSTATUS send(std::uint8_t major, std::uint8_t minor,
                          const io::IoStackLocation::Parameters& parameters);
    // Selects `setting` of `interface` and returns the handle of its pipe to
    // endpoint `address`; null when either fails.
    usb::PipeHandle selectSetting(std::uint8_t interface, std::uint8_t setting,
                                  std::uint8_t address);
    // SET_CUR of a release 1 endpoint's sampling frequency.
    kernel::NTSTATUS setEndpointRate(std::uint8_t address, std::uint32_t rate);
    // SET CUR of a release 2 clock source's frequency.
    kernel::NTSTATUS setClockRate(std::uint8_t clock, std::uint32_t rate);

private:
    // A class request carrying `number` in `size` little-endian bytes.
    kernel::NTSTATUS classOut(usb::Function function, std::uint8_t request, std::uint16_t value,
                              std::uint16_t index, std::uint32_t number, std::uint32_t size);

    kernel::ManualClock& m_clock;
    usbsim::SimulatedBus& m_bus;
    const usbsim::UsbFunction& m_function;
    io::DriverObject m_driver;
    io::DeviceObject* m_upper = nullptr;
    io::DeviceObject* m_lower = nullptr;
    void* m_configurationHandle = nullptr;
};

// One isochronous transfer: its record with the packet records, its buffer
// and its request. An OUT transfer's packets have the lengths given, one
// after the other in the buffer; an IN transfer's packets have length 0 and
// `room` bytes each.
class IsoTransfer {
public:
    IsoTransfer(const DriverDevice& device, usb::PipeHandle pipe, bool in,
                std::span<const std::uint32_t> lengths, std::uint32_t room = 0);
    ~IsoTransfer();
    IsoTransfer(const IsoTransfer&) = delete;
    IsoTransfer& operator=(const IsoTransfer&) = delete;

    usb::IsochronousTransfer& record() {
        return *reinterpret_cast<usb::IsochronousTransfer*>(m_record.data());
    }
    std::span<std::uint8_t> buffer() { return m_buffer; }
    // The packet lengths (OUT: as given; IN: 0) and sizes again, for a resend.
    void reset(std::span<const std::uint32_t> lengths);

    // Sends it at a start frame, or as soon as possible without one.
    kernel::NTSTATUS send(std::optional<std::uint32_t> startFrame);
    bool done() const { return m_done; }
    kernel::NTSTATUS status() const { return m_status; }
    io::Irp* irp() const { return m_irp; }
    // Runs in the completion routine, where the transfer may be sent again.
    std::function<void(IsoTransfer&)> completed;

private:
    static kernel::NTSTATUS complete(io::DeviceObject*, io::Irp* irp, void* context);

    const DriverDevice& m_device;
    io::Irp* m_irp;
    const bool m_in;
    const std::uint32_t m_room;
    std::vector<std::uint64_t> m_record; // 8-byte aligned: the record holds pointers
    std::vector<std::uint8_t> m_buffer;
    bool m_done = false;
    kernel::NTSTATUS m_status = kernel::STATUS_PENDING;
};

// What a stream moves and how its packets are sized: an OUT stream sends per
// packet the whole frames an accumulator at `rate` gives (as a driver sizes
// them), its bytes a running byte count; an IN stream offers `room` bytes a
// packet.
struct StreamShape {
    bool in = false;
    std::uint32_t rate = 48000;
    std::uint32_t packetsPerMillisecond = 1;
    std::uint32_t frameBytes = 4;
    std::uint32_t room = 0; // IN
};

// `inFlight` transfers of `packets` packets each, every one sent again as
// soon as possible when it completes, until stopped.
class IsoStream {
public:
    IsoStream(const DriverDevice& device, usb::PipeHandle pipe, StreamShape shape,
              std::uint32_t packets, std::uint32_t inFlight);
    void start();
    void stop() { m_running = false; } // what is in flight still completes
    bool idle() const;                 // stopped, and nothing in flight

    // Every packet that came back, in order: its length (OUT: as sent).
    const std::vector<std::uint32_t>& packetLengths() const { return m_lengths; }
    // OUT: the bytes sent; IN: the bytes received.
    const usbsim::Bytes& bytes() const { return m_bytes; }
    std::uint64_t failedPackets() const { return m_failedPackets; }
    std::uint64_t failedTransfers() const { return m_failedTransfers; }
    kernel::NTSTATUS lastFailure() const { return m_lastFailure; }

private:
    std::vector<std::uint32_t> nextLengths();
    void fill(IsoTransfer& transfer);
    void completed(IsoTransfer& transfer);

    const StreamShape m_shape;
    const std::uint32_t m_packets;
    std::vector<std::unique_ptr<IsoTransfer>> m_transfers;
    bool m_running = false;
    std::uint64_t m_accumulator = 0;
    std::uint64_t m_sent = 0; // bytes, for the running byte count
    std::vector<std::uint32_t> m_lengths;
    usbsim::Bytes m_bytes;
    std::uint64_t m_failedPackets = 0;
    std::uint64_t m_failedTransfers = 0;
    kernel::NTSTATUS m_lastFailure = kernel::STATUS_SUCCESS;
};

// A function on a simulated bus under a manual clock, with a driver's
// device on it.
struct StreamWorld {
    explicit StreamWorld(usbsim::FunctionDescription description)
        : function(std::move(description)) {}
    // Stops the stream and lets what it has in flight complete.
    void drain(IsoStream& stream);

    kernel::ManualClock clock;
    usbsim::UsbFunction function;
    usbsim::SimulatedBus bus{function};
    DriverDevice driver{bus, function, clock};
};

} // namespace usbsimtest
