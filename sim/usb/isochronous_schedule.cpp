#include "sim/usb/isochronous_schedule.h"

#include "platform/kernel/check.h"
#include "platform/usb/descriptors.h"

#include <algorithm>
#include <limits>

namespace usbsim {

struct IsochronousSchedule::Transfer {
    io::Irp* irp = nullptr;
    usb::RequestHeader* header = nullptr;
    usb::IsochronousTransfer* record = nullptr; // once the header's length was found to hold it
    usb::BusStatus ending = usb::BusStatus::pending; // refused, cancelled or device gone
    StreamEndpoint stream;
    std::uint32_t rate = 0;   // of the device's clock
    std::int64_t first = 0;   // the slot of packet 0, in microframes from the bus's start
    std::int64_t period = 8;  // microframes from one packet to the next
    std::int64_t length = 8;  // microframes a packet's slot lasts
    std::uint32_t served = 0; // packets whose slot has been dealt with
    Bytes feedback;           // a feedback endpoint's value: the device clock's, set once

    std::int64_t slotOf(std::uint32_t packet) const { return first + period * packet; }
    bool finished() const { return served == record->numberOfPackets; }
};

namespace {

// Microframes in a frame, signed for slot arithmetic.
constexpr std::int64_t frameSlots = static_cast<std::int64_t>(microframesPerFrame);

// A start frame further ahead is refused.
constexpr std::int64_t farthestStartFrame = 1024;

std::int64_t periodOf(const StreamEndpoint& stream, bool highSpeed) {
    if (!highSpeed) return frameSlots;
    const int interval = std::clamp<int>(stream.interval, 1, 16);
    return std::int64_t{1} << (interval - 1);
}

// Where packet i's room in the buffer ends: at the next packet, or at the buffer's end.
std::uint32_t roomEnd(const usb::IsochronousTransfer& record, std::uint32_t packet) {
    return packet + 1 < record.numberOfPackets ? record.packets()[packet + 1].offset
                                               : record.transfer.transferBufferLength;
}

} // namespace

IsochronousSchedule::IsochronousSchedule(const UsbFunction& function, const BusRequests& requests,
                                         FrameClock& frames)
    : m_function(function), m_requests(requests), m_frames(frames), m_dpc(run, this) {}

IsochronousSchedule::~IsochronousSchedule() {
    m_frames.stopWaking();
    kernel::removeQueuedDpc(m_dpc);
    kernel::check(pendingTransfers() == 0 && m_done.empty(),
                  "isochronous transfers left on a bus that went away");
}

kernel::NTSTATUS IsochronousSchedule::receive(io::Irp* irp, io::CancelRoutine cancel) {
    auto transfer = std::make_unique<Transfer>();
    transfer->irp = irp;
    transfer->header = static_cast<usb::RequestHeader*>(
        io::currentStackLocation(irp)->parameters.others.argument1);
    io::markPending(irp);
    {
        const std::lock_guard guard(m_lock);
        io::setCancelRoutine(irp, cancel);
        m_arrived.push_back(std::move(transfer));
    }
    kernel::queueDpc(m_dpc, nullptr, nullptr);
    return kernel::STATUS_PENDING;
}

void IsochronousSchedule::cancel(io::Irp* irp) {
    const std::lock_guard guard(m_lock);
    const std::int64_t now = static_cast<std::int64_t>(m_frames.microframe());
    const auto take = [&](Transfers& from) {
        const auto found = std::find_if(from.begin(), from.end(),
                                        [irp](const auto& entry) { return entry->irp == irp; });
        if (found == from.end()) return false;
        Transfers one;
        one.splice(one.end(), from, found);
        end(one, usb::BusStatus::cancelled);
        return true;
    };
    bool taken = take(m_arrived);
    for (auto& [address, pipe] : m_pipes) {
        if (taken) break;
        advance(pipe, now); // what passed before the cancel went over the bus
        taken = take(pipe.transfers);
        if (taken) release(pipe);
    }
    if (taken) kernel::queueDpc(m_dpc, nullptr, nullptr);
}

void IsochronousSchedule::unplug() {
    const std::lock_guard guard(m_lock);
    m_plugged = false;
    const std::int64_t now = static_cast<std::int64_t>(m_frames.microframe());
    end(m_arrived, usb::BusStatus::deviceGone);
    for (auto& [address, pipe] : m_pipes) {
        advance(pipe, now);
        end(pipe.transfers, usb::BusStatus::deviceGone);
        release(pipe);
    }
    kernel::queueDpc(m_dpc, nullptr, nullptr);
}

void IsochronousSchedule::replug() {
    const std::lock_guard guard(m_lock);
    m_plugged = true;
}

void IsochronousSchedule::holdWakes(kernel::Duration length) {
    m_frames.holdWakes(kernel::currentClock().now() + length);
    const std::lock_guard guard(m_lock);
    wake(); // a wake set before comes late too
}

void IsochronousSchedule::setSampleClockOffset(std::int32_t hertz) {
    const std::lock_guard guard(m_lock);
    m_clockOffset = hertz;
}

void IsochronousSchedule::setEmptyInPackets(std::uint32_t every) {
    const std::lock_guard guard(m_lock);
    m_emptyEvery = every;
}

OutSink IsochronousSchedule::sink(std::uint8_t address) const {
    const std::lock_guard guard(m_lock);
    const auto found = m_pipes.find(address);
    return found == m_pipes.end() ? OutSink() : found->second.sink;
}

std::uint64_t IsochronousSchedule::framesLost(std::uint8_t address) const {
    const std::lock_guard guard(m_lock);
    const auto found = m_pipes.find(address);
    return found == m_pipes.end() ? 0 : found->second.source.framesLost();
}

std::uint64_t IsochronousSchedule::framesSent(std::uint8_t address) const {
    const std::lock_guard guard(m_lock);
    const auto found = m_pipes.find(address);
    return found == m_pipes.end() ? 0 : found->second.source.framesSent();
}

std::uint64_t IsochronousSchedule::transfersServed(std::uint8_t address) const {
    const std::lock_guard guard(m_lock);
    const auto found = m_pipes.find(address);
    return found == m_pipes.end() ? 0 : found->second.served;
}

std::size_t IsochronousSchedule::transfersScheduled(std::uint8_t address) const {
    const std::lock_guard guard(m_lock);
    const auto found = m_pipes.find(address);
    return found == m_pipes.end() ? 0 : found->second.transfers.size();
}

std::uint32_t IsochronousSchedule::feedbackRate(std::uint8_t address) const {
    const std::lock_guard guard(m_lock);
    const auto found = m_pipes.find(address);
    return found == m_pipes.end() ? 0 : found->second.feedbackRate;
}

std::size_t IsochronousSchedule::pendingTransfers() const {
    const std::lock_guard guard(m_lock);
    std::size_t pending = m_arrived.size() + m_done.size();
    for (const auto& [address, pipe] : m_pipes) pending += pipe.transfers.size();
    return pending;
}

void IsochronousSchedule::run(kernel::Dpc&, void* context, void*, void*) {
    auto& self = *static_cast<IsochronousSchedule*>(context);
    Transfers finished;
    {
        const std::lock_guard guard(self.m_lock);
        const std::int64_t now = static_cast<std::int64_t>(self.m_frames.microframe());
        for (auto& [address, pipe] : self.m_pipes) self.advance(pipe, now);
        while (!self.m_arrived.empty()) {
            std::unique_ptr<Transfer> transfer = std::move(self.m_arrived.front());
            self.m_arrived.pop_front();
            self.place(std::move(transfer), now);
        }
        finished.splice(finished.end(), self.m_done);
        self.wake();
    }
    for (const std::unique_ptr<Transfer>& transfer : finished) complete(*transfer);
}

void IsochronousSchedule::place(std::unique_ptr<Transfer> transfer, std::int64_t now) {
    if (!m_plugged)
        transfer->ending = usb::BusStatus::deviceGone;
    else if (transfer->irp->cancelled())
        transfer->ending = usb::BusStatus::cancelled;
    else
        transfer->ending = check(*transfer, now);
    if (transfer->ending != usb::BusStatus::pending) {
        m_done.push_back(std::move(transfer));
        return;
    }
    Pipe& pipe = m_pipes[transfer->stream.address];
    schedule(std::move(transfer), pipe, now);
}

usb::BusStatus IsochronousSchedule::check(Transfer& transfer, std::int64_t now) const {
    auto* record = usb::requestAs<usb::IsochronousTransfer>(transfer.header,
                                                            usb::Function::isochronousTransfer);
    if (record == nullptr || record->numberOfPackets == 0 || !usb::packetsFit(*record))
        return usb::BusStatus::invalidParameter;
    transfer.record = record;
    const usb::TransferFields& fields = record->transfer;
    const std::optional<std::uint8_t> address = m_requests.endpointOf(fields.pipeHandle);
    const std::optional<StreamEndpoint> stream =
        address ? findStreamEndpoint(m_function, *address) : std::nullopt;
    const bool in = (fields.transferFlags & usb::transfer_flags::directionIn) != 0;
    if (!stream || in != usb::endpoint::isIn(stream->address) || fields.transferBuffer == nullptr)
        return usb::BusStatus::invalidParameter;
    // Packets in buffer order, inside the buffer; an OUT packet no longer than the endpoint takes.
    std::uint32_t previous = 0;
    for (std::uint32_t i = 0; i < record->numberOfPackets; ++i) {
        const usb::IsoPacket& packet = record->packets()[i];
        if (packet.offset < previous || packet.offset > fields.transferBufferLength)
            return usb::BusStatus::invalidParameter;
        if (!in && (packet.length > stream->maxPacket ||
                    packet.length > fields.transferBufferLength - packet.offset))
            return usb::BusStatus::invalidParameter;
        previous = packet.offset;
    }
    const bool highSpeed = m_frames.highSpeed();
    transfer.stream = *stream;
    transfer.period = periodOf(*stream, highSpeed);
    transfer.length = highSpeed ? 1 : frameSlots;
    transfer.rate = static_cast<std::uint32_t>(
        std::max<std::int64_t>(0, std::int64_t{stream->nominalRate} + m_clockOffset));
    if (stream->role == StreamRole::feedback)
        transfer.feedback = feedbackValue(transfer.rate, highSpeed);
    if ((fields.transferFlags & usb::transfer_flags::startIsoAsap) == 0) {
        const std::int64_t frame = now / frameSlots;
        // Frame numbers wrap at 32 bits: the start frame is read relative to now.
        const std::int64_t ahead =
            static_cast<std::int32_t>(record->startFrame - static_cast<std::uint32_t>(frame));
        if (ahead > farthestStartFrame) return usb::BusStatus::badStartFrame;
        transfer.first = (frame + ahead) * frameSlots;
    }
    return usb::BusStatus::pending;
}

void IsochronousSchedule::schedule(std::unique_ptr<Transfer> transfer, Pipe& pipe,
                                   std::int64_t now) {
    Transfer& t = *transfer;
    usb::IsochronousTransfer& record = *t.record;
    if (pipe.interface != t.stream.interface || pipe.selection != t.stream.selection) {
        pipe.sink.restart();
        pipe.source.restart();
        pipe.interface = t.stream.interface;
        pipe.selection = t.stream.selection;
    }
    if ((record.transfer.transferFlags & usb::transfer_flags::startIsoAsap) != 0) {
        const std::int64_t nextFrame = (now / frameSlots + 1) * frameSlots;
        t.first = pipe.nextFree > now ? pipe.nextFree : nextFrame;
    }
    // The frame of the first slot (rounded down before the bus's start), in 32 bits.
    record.startFrame =
        static_cast<std::uint32_t>((t.first - (t.first < 0 ? frameSlots - 1 : 0)) / frameSlots);
    record.errorCount = 0;
    for (std::uint32_t i = 0; i < record.numberOfPackets; ++i) {
        usb::IsoPacket& packet = record.packets()[i];
        const std::int64_t slot = t.slotOf(i);
        if (slot <= now || slot < pipe.nextFree) {
            packet.status = usb::BusStatus::isoNotAccessedByHardware;
            if (usb::endpoint::isIn(t.stream.address)) packet.length = 0;
            ++record.errorCount;
            t.served = i + 1; // late packets come first: nothing of them is left to serve
        } else {
            packet.status = usb::BusStatus::pending;
        }
    }
    if (t.finished()) {
        m_done.push_back(std::move(transfer));
        return;
    }
    pipe.nextFree = t.slotOf(record.numberOfPackets);
    pipe.transfers.push_back(std::move(transfer));
}

void IsochronousSchedule::advance(Pipe& pipe, std::int64_t now) {
    while (!pipe.transfers.empty()) {
        Transfer& t = *pipe.transfers.front();
        for (; !t.finished() && t.slotOf(t.served) + t.length <= now; ++t.served)
            serve(pipe, t, t.served, t.slotOf(t.served));
        if (!t.finished()) return; // the rest of the pipe comes later still
        ++pipe.served;
        m_done.splice(m_done.end(), pipe.transfers, pipe.transfers.begin());
    }
}

void IsochronousSchedule::serve(Pipe& pipe, Transfer& t, std::uint32_t index, std::int64_t slot) {
    usb::IsochronousTransfer& record = *t.record;
    usb::IsoPacket& packet = record.packets()[index];
    auto* buffer = static_cast<std::uint8_t*>(record.transfer.transferBuffer) + packet.offset;
    const std::span<std::uint8_t> room(buffer, roomEnd(record, index) - packet.offset);
    packet.status = usb::BusStatus::success;
    switch (t.stream.role) {
    case StreamRole::sink:
        pipe.sink.receive(static_cast<std::uint64_t>(slot), static_cast<std::uint64_t>(t.period),
                          {buffer, packet.length});
        return;
    case StreamRole::source: {
        const SourcePacket filled =
            pipe.source.fill({.rate = t.rate,
                              .period = static_cast<std::uint64_t>(t.period),
                              .channels = t.stream.channels,
                              .subslotSize = t.stream.subslotSize,
                              .maxPacket = t.stream.maxPacket,
                              .emptyEvery = m_emptyEvery},
                             room);
        packet.length = filled.bytes;
        if (filled.cut) packet.status = usb::BusStatus::dataOverrun;
        break;
    }
    case StreamRole::feedback: {
        const Bytes& value = t.feedback;
        const bool fits = value.size() <= room.size() && value.size() <= t.stream.maxPacket;
        packet.length = fits ? static_cast<std::uint32_t>(value.size()) : 0;
        if (fits) {
            std::copy(value.begin(), value.end(), room.begin());
            pipe.feedbackRate = t.rate;
        } else {
            packet.status = usb::BusStatus::dataOverrun;
        }
        break;
    }
    }
    if (!usb::succeeded(packet.status)) ++record.errorCount;
}

void IsochronousSchedule::end(Transfers& transfers, usb::BusStatus status) {
    for (const std::unique_ptr<Transfer>& transfer : transfers) transfer->ending = status;
    m_done.splice(m_done.end(), transfers);
}

void IsochronousSchedule::release(Pipe& pipe) {
    if (pipe.transfers.empty()) {
        pipe.nextFree = 0; // idle: the next transfer starts with the next frame
        return;
    }
    const Transfer& last = *pipe.transfers.back();
    pipe.nextFree = last.slotOf(last.record->numberOfPackets);
}

void IsochronousSchedule::wake() {
    std::int64_t last = std::numeric_limits<std::int64_t>::max();
    for (const auto& [address, pipe] : m_pipes)
        if (!pipe.transfers.empty()) {
            const Transfer& t = *pipe.transfers.front();
            last = std::min(last, t.slotOf(t.record->numberOfPackets - 1) + t.length - 1);
        }
    if (last == std::numeric_limits<std::int64_t>::max())
        m_frames.stopWaking();
    else
        m_frames.wakeAfter(static_cast<std::uint64_t>(last), m_dpc);
}

void IsochronousSchedule::complete(Transfer& t) {
    io::setCancelRoutine(t.irp, nullptr);
    usb::BusStatus status = t.ending;
    if (status == usb::BusStatus::pending) {
        // Served to its end: it failed only when every packet did.
        status = t.record->errorCount == t.record->numberOfPackets
                     ? usb::BusStatus::isochronousRequestFailed
                     : usb::BusStatus::success;
    } else if (t.record != nullptr) {
        for (std::uint32_t i = t.served; i < t.record->numberOfPackets; ++i)
            t.record->packets()[i].status = status;
    }
    if (t.record != nullptr) {
        std::uint32_t moved = 0;
        for (std::uint32_t i = 0; i < t.served; ++i)
            if (usb::succeeded(t.record->packets()[i].status))
                moved += t.record->packets()[i].length;
        t.record->transfer.transferBufferLength = moved;
    }
    if (t.header != nullptr) t.header->status = status;
    t.irp->ioStatus = {ioStatusOf(status), 0};
    io::completeRequest(t.irp);
}

} // namespace usbsim
