#include "sim/usb/tests/stream_driver.h"

#include "platform/kernel/check.h"
#include "platform/usb/audio_requests.h"
#include "platform/usb/configuration.h"
#include "platform/usb/select_request.h"

#include <algorithm>
#include <numeric>

namespace usbsimtest {

namespace {

constexpr kernel::PoolTag streamTag = kernel::poolTag("IsTs");

} // namespace

DriverDevice::DriverDevice(usbsim::SimulatedBus& bus, const usbsim::UsbFunction& function,
                           kernel::ManualClock& clock)
    : m_clock(clock), m_bus(bus), m_function(function) {
    kernel::check(io::createDevice(m_driver, 0, &m_upper) == kernel::STATUS_SUCCESS,
                  "no driver device");
    m_lower = io::attachDeviceToDeviceStack(m_upper, bus.device());
}

DriverDevice::~DriverDevice() {
    io::detachDevice(m_bus.device());
    io::deleteDevice(m_upper);
}

kernel::NTSTATUS DriverDevice::send(std::uint8_t major, std::uint8_t minor,
                                    const io::IoStackLocation::Parameters& parameters) {
    SentRequest request(stackSize());
    request.irp()->ioStatus = {kernel::STATUS_NOT_SUPPORTED, 0}; // what nobody below answers keeps
    request.send(m_lower, major, minor, parameters);
    m_clock.settle();
    kernel::check(request.done(), "a request to the bus did not complete");
    return request.status();
}

kernel::NTSTATUS DriverDevice::submit(usb::RequestHeader& record) {
    io::IoStackLocation::Parameters parameters{};
    parameters.deviceIoControl.ioControlCode = usb::internal_ioctl::submitRequest;
    parameters.others.argument1 = &record;
    return send(io::major::InternalDeviceControl, 0, parameters);
}

usb::PipeHandle DriverDevice::selectSetting(std::uint8_t interface, std::uint8_t setting,
                                            std::uint8_t address) {
    const usb::ConfigurationView view(m_function.descriptors().configuration);
    if (m_configurationHandle == nullptr) {
        std::vector<const usb::InterfaceDescriptor*> interfaces;
        for (const usb::InterfaceDescriptor* at = view.findInterface({.alternateSetting = 0});
             at != nullptr; at = view.findInterface({.alternateSetting = 0}, at))
            interfaces.push_back(at);
        usb::RequestBlock select;
        if (usb::buildSelectConfiguration(view, interfaces, streamTag, select) !=
                kernel::STATUS_SUCCESS ||
            submit(*select.header()) != kernel::STATUS_SUCCESS)
            return nullptr;
        m_configurationHandle = select.as<usb::SelectConfigurationRequest>()->configurationHandle;
    }
    usb::RequestBlock request;
    const usb::InterfaceDescriptor* descriptor =
        view.findInterface({.number = interface, .alternateSetting = setting});
    if (descriptor == nullptr ||
        usb::buildSelectInterface(view, m_configurationHandle, descriptor, streamTag, request) !=
            kernel::STATUS_SUCCESS ||
        submit(*request.header()) != kernel::STATUS_SUCCESS)
        return nullptr;
    for (const usb::PipeInformation& pipe :
         request.as<usb::SelectInterfaceRequest>()->interface.pipes())
        if (pipe.endpointAddress == address) return pipe.pipeHandle;
    return nullptr;
}

kernel::NTSTATUS DriverDevice::classOut(usb::Function function, std::uint8_t request,
                                        std::uint16_t value, std::uint16_t index,
                                        std::uint32_t number, std::uint32_t size) {
    std::uint8_t bytes[4];
    for (std::size_t i = 0; i < sizeof(bytes); ++i)
        bytes[i] = static_cast<std::uint8_t>(number >> (8 * i));
    usb::ClassOrVendorRequest record{};
    record.header.length = sizeof(record);
    record.header.function = function;
    record.transfer.transferBuffer = bytes;
    record.transfer.transferBufferLength = size;
    record.request = request;
    record.value = value;
    record.index = index;
    return submit(record.header);
}

kernel::NTSTATUS DriverDevice::setEndpointRate(std::uint8_t address, std::uint32_t rate) {
    return classOut(usb::Function::classEndpoint, usb::uac1::request::setCur,
                    usb::controlValue(usb::uac1::endpoint_control::samplingFrequency, 0), address,
                    rate, 3);
}

kernel::NTSTATUS DriverDevice::setClockRate(std::uint8_t clock, std::uint32_t rate) {
    return classOut(usb::Function::classInterface, usb::uac2::request::cur,
                    usb::controlValue(usb::uac2::clock_source_control::samplingFrequency, 0),
                    usb::entityIndex(clock, m_function.description().controlInterface), rate, 4);
}

IsoTransfer::IsoTransfer(const DriverDevice& device, usb::PipeHandle pipe, bool in,
                         std::span<const std::uint32_t> lengths, std::uint32_t room)
    : m_device(device), m_irp(io::allocateIrp(device.stackSize())), m_in(in), m_room(room),
      m_record((usb::isochronousTransferSize(lengths.size()) + 7) / 8) {
    usb::IsochronousTransfer& r = record();
    r.header.length = usb::isochronousTransferSize(lengths.size());
    r.header.function = usb::Function::isochronousTransfer;
    r.transfer.pipeHandle = pipe;
    r.numberOfPackets = static_cast<std::uint32_t>(lengths.size());
    reset(lengths);
}

IsoTransfer::~IsoTransfer() { io::freeIrp(m_irp); }

void IsoTransfer::reset(std::span<const std::uint32_t> lengths) {
    usb::IsochronousTransfer& r = record();
    std::uint32_t offset = 0;
    for (std::uint32_t i = 0; i < r.numberOfPackets; ++i) {
        r.packets()[i] = {offset, m_in ? 0 : lengths[i], usb::BusStatus::pending};
        offset += m_in ? m_room : lengths[i];
    }
    m_buffer.resize(offset);
    r.transfer.transferBuffer = m_buffer.data();
    r.transfer.transferBufferLength = offset;
    r.errorCount = 0;
}

kernel::NTSTATUS IsoTransfer::send(std::optional<std::uint32_t> startFrame) {
    usb::IsochronousTransfer& r = record();
    r.transfer.transferFlags =
        (m_in ? usb::transfer_flags::directionIn | usb::transfer_flags::shortTransferOk : 0) |
        (startFrame ? 0 : usb::transfer_flags::startIsoAsap);
    r.startFrame = startFrame.value_or(0);
    m_done = false;
    m_status = kernel::STATUS_PENDING;
    io::reuseIrp(m_irp, kernel::STATUS_NOT_SUPPORTED);
    io::IoStackLocation* location = io::nextStackLocation(m_irp);
    location->majorFunction = io::major::InternalDeviceControl;
    location->parameters.deviceIoControl.ioControlCode = usb::internal_ioctl::submitRequest;
    location->parameters.others.argument1 = &r;
    io::setCompletionRoutine(m_irp, complete, this, true, true, true);
    return io::callDriver(m_device.lower(), m_irp);
}

kernel::NTSTATUS IsoTransfer::complete(io::DeviceObject*, io::Irp* irp, void* context) {
    auto& self = *static_cast<IsoTransfer*>(context);
    self.m_done = true;
    self.m_status = irp->ioStatus.status;
    if (self.completed) self.completed(self);
    return kernel::STATUS_MORE_PROCESSING_REQUIRED;
}

IsoStream::IsoStream(const DriverDevice& device, usb::PipeHandle pipe, StreamShape shape,
                     std::uint32_t packets, std::uint32_t inFlight)
    : m_shape(shape), m_packets(packets) {
    const std::vector<std::uint32_t> none(packets, 0);
    for (std::uint32_t i = 0; i < inFlight; ++i) {
        m_transfers.push_back(
            std::make_unique<IsoTransfer>(device, pipe, shape.in, none, shape.room));
        m_transfers.back()->completed = [this](IsoTransfer& t) { completed(t); };
    }
}

bool IsoStream::idle() const {
    return !m_running && std::all_of(m_transfers.begin(), m_transfers.end(),
                                     [](const auto& transfer) { return transfer->done(); });
}

void IsoStream::start() {
    m_running = true;
    for (const std::unique_ptr<IsoTransfer>& transfer : m_transfers) {
        fill(*transfer);
        transfer->send(std::nullopt);
    }
}

std::vector<std::uint32_t> IsoStream::nextLengths() {
    // As a driver sizes packets: the whole frames per packet, and one more
    // whenever the remainder has added up to a frame.
    const std::uint64_t perSecond = std::uint64_t{m_shape.packetsPerMillisecond} * 1000;
    std::vector<std::uint32_t> lengths(m_packets);
    for (std::uint32_t& length : lengths) {
        m_accumulator += m_shape.rate;
        length = static_cast<std::uint32_t>(m_accumulator / perSecond) * m_shape.frameBytes;
        m_accumulator %= perSecond;
    }
    return lengths;
}

void IsoStream::fill(IsoTransfer& transfer) {
    if (m_shape.in) {
        transfer.reset({});
        return;
    }
    transfer.reset(nextLengths());
    for (std::uint8_t& byte : transfer.buffer()) byte = static_cast<std::uint8_t>(m_sent++);
    m_bytes.insert(m_bytes.end(), transfer.buffer().begin(), transfer.buffer().end());
}

void IsoStream::completed(IsoTransfer& transfer) {
    usb::IsochronousTransfer& r = transfer.record();
    if (transfer.status() != kernel::STATUS_SUCCESS) {
        ++m_failedTransfers;
        m_lastFailure = transfer.status();
    }
    for (std::uint32_t i = 0; i < r.numberOfPackets; ++i) {
        const usb::IsoPacket& packet = r.packets()[i];
        if (!usb::succeeded(packet.status)) {
            ++m_failedPackets;
            continue;
        }
        m_lengths.push_back(packet.length);
        if (m_shape.in)
            m_bytes.insert(m_bytes.end(), transfer.buffer().begin() + packet.offset,
                           transfer.buffer().begin() + packet.offset + packet.length);
    }
    if (!m_running || transfer.status() != kernel::STATUS_SUCCESS) return;
    fill(transfer);
    transfer.send(std::nullopt);
}

void StreamWorld::drain(IsoStream& stream) {
    stream.stop();
    for (int frame = 0; frame < 1000 && !stream.idle(); ++frame) usbsim::advanceFrames(clock, 1);
    kernel::check(stream.idle(), "a stream did not drain");
}

} // namespace usbsimtest
