// Start and stop of the rings' streams, the table reset at start, the copy
// between rings and packets in the engines' transfer path, and the stops
// that power changes ask for.
#include "driver/adapter/asio_private.h"

#include "driver/usbstream/stream_requests.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

namespace {

// Products that are told by a vendor request when ASIO streams start and stop.
struct ProductId {
    std::uint16_t vendorId;
    std::uint16_t productId;
};
constexpr ProductId VendorStartStopProducts[] = {
    {0x0B05, 0x17A8}, {0x0B05, 0x17CD}, {0x0B05, 0x17F3}, {0x1043, 0x8592}, {0x1043, 0x8593}};
constexpr std::uint8_t VendorStartStopRequest = 7;
constexpr std::uint32_t StartFrameLead = 5;

std::uint64_t Bit(std::uint32_t index) { return std::uint64_t{1} << index; }

// Copies bytes between the ring at *position and a packet, wrapping at the
// ring's end, and advances the position.
void CopyRing(std::uint8_t* ring, std::uint32_t ringBytes, std::uint32_t& position,
              std::uint8_t* packet, std::uint32_t bytes, bool toPacket) {
    std::uint32_t at = position % ringBytes;
    std::uint32_t done = 0;
    while (done < bytes) {
        const std::uint32_t piece = std::min(bytes - done, ringBytes - at);
        if (toPacket)
            std::memcpy(packet + done, ring + at, piece);
        else
            std::memcpy(ring + at, packet + done, piece);
        done += piece;
        at = (at + piece) % ringBytes;
    }
    position = at;
}

} // namespace

kernel::NTSTATUS CAsioPrivate::Start(io::FileObject* file, std::uint32_t eventHandle) {
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr || client != m_pMaster || client->buffersCreated == 0 ||
        m_pBufferEvent != nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    io::EventObject* event = nullptr;
    kernel::NTSTATUS status = io::referenceEventByHandle(eventHandle, &event);
    if (!kernel::succeeded(status)) return status;
    status = StartSlots();
    if (!kernel::succeeded(status)) {
        kernel::dereferenceObject(*event);
        return status;
    }
    m_bRunning = true;
    SendVendorStartStop(1);
    ResetTable(event);
    return kernel::STATUS_SUCCESS;
}

// Opens every active slot's client, then starts inputs before outputs at
// one frame; what was opened or started is taken back on a failure. Every
// start is a stream anew: the limiters drop what they hold of the last one.
kernel::NTSTATUS CAsioPrivate::StartSlots() {
    std::uint64_t opened = 0;
    std::uint64_t started = 0;
    std::uint32_t frame = 0;
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    AsioEndpointSlot* slots = m_Slots.Get<AsioEndpointSlot>();
    for (std::uint32_t s = 0; s < m_SlotCount && kernel::succeeded(status); ++s) {
        if (slots[s].client == nullptr) continue;
        std::uint32_t valueA = 0;
        std::uint32_t valueB = 0;
        slots[s].engine->DiscardHeldFrames();
        status = slots[s].engine->OpenClient(slots[s].client->RegistrationHandle, &valueA, &valueB,
                                             &frame);
        if (kernel::succeeded(status)) opened |= Bit(s);
    }
    const std::uint32_t startFrame = frame + StartFrameLead;
    for (std::uint32_t direction : {1u, 0u}) {
        for (std::uint32_t s = 0; s < m_SlotCount && kernel::succeeded(status); ++s) {
            if ((opened & Bit(s)) == 0 || slots[s].Header()->direction != direction) continue;
            std::uint32_t valueA = 0;
            std::uint32_t valueB = 0;
            status = slots[s].engine->StartClient(slots[s].client->RegistrationHandle, startFrame,
                                                  &valueA, &valueB, nullptr);
            if (kernel::succeeded(status)) started |= Bit(s);
        }
    }
    if (kernel::succeeded(status)) return status;
    for (std::uint32_t s = 0; s < m_SlotCount; ++s) {
        const void* handle =
            slots[s].client != nullptr ? slots[s].client->RegistrationHandle : nullptr;
        if ((started & Bit(s)) != 0) slots[s].engine->StopClient(handle, nullptr);
        if ((opened & Bit(s)) != 0) slots[s].engine->CloseClient(handle);
    }
    return status;
}

void CAsioPrivate::StopSlots() {
    AsioEndpointSlot* slots = m_Slots.Get<AsioEndpointSlot>();
    for (std::uint32_t s = 0; s < m_SlotCount; ++s) {
        if (slots[s].client == nullptr) continue;
        slots[s].engine->StopClient(slots[s].client->RegistrationHandle, nullptr);
        slots[s].engine->CloseClient(slots[s].client->RegistrationHandle);
    }
}

void CAsioPrivate::ResetTable(io::EventObject* bufferEvent) {
    const AsioSettings& settings = m_Host.AsioSettingsRecord();
    const std::uint32_t kind = m_pMaster != nullptr ? m_pMaster->kind : AsioKindPcm;
    const std::uint32_t rate = m_pMaster != nullptr ? m_pMaster->sampleRate : settings.sampleRate;
    const AsioTransferShape shape = AsioTransferShapeFor(m_BufferFrames, rate, kind);
    const std::uint32_t framesPerMs = AsioFramesPerMs(rate, kind);
    const kernel::Irql previous = m_SpinLock.acquire();
    for (std::uint32_t s = 0; s < m_SlotCount; ++s) {
        AsioRingHeader* header = m_Slots.Get<AsioEndpointSlot>()[s].Header();
        if (header == nullptr) continue;
        header->completions = header->position = header->startPosition = header->leadBytes = 0;
        if (header->direction != 0) continue;
        const std::uint64_t transferBytes =
            std::uint64_t{m_BytesPerSample} * header->channels * shape.msPerTransfer * framesPerMs;
        std::uint32_t n = shape.count;
        if (n < 3) {
            const std::uint64_t start =
                header->ringBytes > transferBytes ? header->ringBytes - transferBytes : 0;
            header->position = header->startPosition = static_cast<std::uint32_t>(start);
            n = 2;
        } else {
            n -= 1;
        }
        header->leadBytes = static_cast<std::uint32_t>(transferBytes * n);
    }
    m_pBufferEvent = bufferEvent;
    if (m_pMaster != nullptr) m_pMaster->bufferEvent = bufferEvent;
    m_SpinLock.release(previous);
}

void CAsioPrivate::SendVendorStartStop(std::uint16_t value) {
    const AsioDeviceIds ids = m_Host.AsioIds();
    for (const ProductId& product : VendorStartStopProducts) {
        if (product.vendorId != ids.vendorId || product.productId != ids.productId) continue;
        // The device's answer never fails the start or stop.
        SendStreamControl(m_Host.AsioUsb(), {usb::Function::vendorDevice, false,
                                             VendorStartStopRequest, value, 0, nullptr, 0});
        return;
    }
}

void CAsioPrivate::ReleaseBufferEvent() {
    const kernel::Irql previous = m_SpinLock.acquire();
    io::EventObject* event = std::exchange(m_pBufferEvent, nullptr);
    if (m_pMaster != nullptr) m_pMaster->bufferEvent = nullptr;
    m_SpinLock.release(previous);
    if (event != nullptr) kernel::dereferenceObject(*event);
}

// Stops the master's streams, gives its event back and silences its rings.
void CAsioPrivate::StopRunning() {
    ReleaseBufferEvent();
    if (!m_bRunning) return;
    StopSlots();
    m_bRunning = false;
    SendVendorStartStop(0);
    const kernel::Irql previous = m_SpinLock.acquire();
    for (std::uint32_t s = 0; s < m_SlotCount; ++s) {
        const AsioEndpointSlot& slot = m_Slots.Get<AsioEndpointSlot>()[s];
        if (slot.Header() != nullptr && slot.Header()->active != 0)
            std::memset(slot.Ring(), 0, slot.Header()->ringBytes);
    }
    m_SpinLock.release(previous);
}

kernel::NTSTATUS CAsioPrivate::Stop(io::FileObject* file, io::Irp* request) {
    {
        CMutexLockScope lock(m_Lock);
        if (FindClient(file) == nullptr) return kernel::STATUS_INVALID_PARAMETER;
        if (!m_Host.AsioDeviceWorking()) {
            if (request == nullptr) return kernel::STATUS_INVALID_PARAMETER;
            io::markPending(request);
            io::setCancelRoutine(request, &CAsioPrivate::CancelParkedStop);
            if (m_Host.ParkStopRequest(request)) return kernel::STATUS_PENDING;
            io::setCancelRoutine(request, nullptr);
            return kernel::STATUS_INVALID_PARAMETER;
        }
    }
    return CarryOutStop(file);
}

kernel::NTSTATUS CAsioPrivate::CarryOutStop(io::FileObject* file) {
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr || client != m_pMaster || m_pBufferEvent == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    StopRunning();
    return kernel::STATUS_SUCCESS;
}

void CAsioPrivate::StopStreams() {
    if (!m_bRunning) return;
    StopSlots();
    m_bRunning = false;
}

void CAsioPrivate::RestartStreams() {
    if (m_bRunning || m_pBufferEvent == nullptr || m_pMaster == nullptr) return;
    if (!kernel::succeeded(StartSlots())) return;
    m_bRunning = true;
    ResetTable(m_pBufferEvent);
}

void CAsioPrivate::CancelParkedStop(io::DeviceObject*, io::Irp* request) {
    const io::IoStackLocation* location = io::currentStackLocation(request);
    io::FileObject* file = location != nullptr ? location->fileObject : nullptr;
    auto* self = file != nullptr ? static_cast<CAsioPrivate*>(file->fsContext2) : nullptr;
    // Whoever takes the request from the host completes it.
    if (self == nullptr || self->m_Host.TakeParkedStop(file) != request) return;
    request->ioStatus = {kernel::STATUS_CANCELLED, 0};
    io::completeRequest(request);
}

void CAsioPrivate::CancelParkedStopOf(io::FileObject* file) {
    io::Irp* request = m_Host.TakeParkedStop(file);
    if (request == nullptr) return;
    io::setCancelRoutine(request, nullptr);
    request->ioStatus = {kernel::STATUS_CANCELLED, 0};
    io::completeRequest(request);
}

void CAsioPrivate::OnStreamMessage(void* context, void* argument, void*) {
    auto* self = static_cast<CAsioPrivate*>(context);
    const auto* message = static_cast<const StreamMessage*>(argument);
    if (self == nullptr || message == nullptr || message->Client == nullptr) return;
    const kernel::Irql previous = self->m_SpinLock.acquire();
    AsioEndpointSlot* found = nullptr;
    for (std::uint32_t s = 0; s < self->m_SlotCount && found == nullptr; ++s) {
        AsioEndpointSlot& slot = self->m_Slots.Get<AsioEndpointSlot>()[s];
        if (slot.client == message->Client) found = &slot;
    }
    if (found != nullptr && found->client->Active != 0) {
        AsioRingHeader& header = *found->Header();
        auto* packet = reinterpret_cast<std::uint8_t*>(message->Argument1);
        const auto bytes = static_cast<std::uint32_t>(message->Argument2);
        switch (message->Code) {
        case stream_message::fillPacket:
        case stream_message::packetArrived:
            // A packet as long as the ring would lap it: it stays silent.
            if (packet != nullptr && bytes < header.ringBytes) {
                std::uint32_t position = header.position;
                CopyRing(found->Ring(), header.ringBytes, position, packet, bytes,
                         message->Code == stream_message::fillPacket);
                // The client reads the header without a lock.
                std::atomic_ref<std::uint32_t>(header.position)
                    .store(position, std::memory_order_release);
            }
            break;
        case stream_message::transferDone:
            std::atomic_ref<std::uint32_t>(header.completions)
                .fetch_add(1, std::memory_order_release);
            if (header.last != 0 && self->m_pBufferEvent != nullptr)
                self->m_pBufferEvent->event().set();
            break;
        default:
            break;
        }
    }
    self->m_SpinLock.release(previous);
}
