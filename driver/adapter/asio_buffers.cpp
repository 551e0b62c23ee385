// The client records and the rings: open and close of a client, the rings
// CreateBuffers maps into the client's process and registers with the stream
// engines, and DisposeBuffers that takes them back.
#include "driver/adapter/asio_private.h"

#include "driver/adapter/usb_adapter_tags.h"
#include "driver/common/interface_ids.h"
#include "driver/common/settings_store.h"
#include "driver/engine/stream_engine.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t MaxAsioEndpoints = 32;
// Slots are followed in 64-bit masks while streams start.
constexpr std::uint32_t MaxSlots = 64;
constexpr std::uint32_t DsdSampleBits = 64;

std::uint32_t BytesPerSampleOf(std::uint32_t sampleType) {
    const AsioSampleBits bits = AsioSampleTypeBits(sampleType);
    return bits.container / 8u;
}

IUsbStreamControl* StreamControlOf(IStreamEngine* engine) {
    void* face = nullptr;
    if (engine == nullptr ||
        !kernel::succeeded(engine->QueryInterface(IID_IUsbStreamControl, &face)))
        return nullptr;
    // The HAL keeps its endpoints for as long as the rings exist.
    auto* control = static_cast<IUsbStreamControl*>(face);
    control->Release();
    return control;
}

} // namespace

CAsioPrivate::~CAsioPrivate() { Shutdown(); }

kernel::NTSTATUS CAsioPrivate::Open(io::FileObject* file) {
    CMutexLockScope lock(m_Lock);
    auto* client = static_cast<AsioClientRecord*>(kernel::allocatePool(
        kernel::PoolType::NonPagedNx, sizeof(AsioClientRecord), UsbAdapterTag));
    if (client == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    const AsioSettings& settings = m_Host.AsioSettingsRecord();
    *client = {};
    client->file = file;
    client->sampleType = settings.activeSampleType;
    client->latencyIndex = settings.latencyIndex;
    client->sampleRate = settings.sampleRate;
    client->kind = AsioKindPcm;
    client->node = m_Clients.AddTail(client);
    if (client->node == nullptr) {
        kernel::freePoolWithTag(client, UsbAdapterTag);
        return kernel::STATUS_UNSUCCESSFUL;
    }
    // The cancel routine of a parked stop finds the interface by the file.
    if (file != nullptr) file->fsContext2 = this;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAsioPrivate::Close(io::FileObject* file) {
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    CancelParkedStopOf(file);
    if (client->buffersCreated != 0 || client == m_pMaster) {
        StopRunning();
        UnregisterSlots();
        FreeRings();
        client->buffersCreated = 0;
    }
    if (client == m_pMaster) {
        m_pMaster = nullptr;
        m_BuffersHeld = 0;
    }
    if (m_BuffersHeld == 0) {
        AsioSettings& settings = m_Host.AsioSettingsRecord();
        settings.activeSampleType = settings.requestedSampleType;
        WriteSetting(AsioSampleTypeSetting, settings.activeSampleType);
    }
    FreeClient(client);
    return kernel::STATUS_SUCCESS;
}

void CAsioPrivate::FreeClient(AsioClientRecord* client) {
    if (client->configEvent != nullptr) kernel::dereferenceObject(*client->configEvent);
    if (client->file != nullptr && client->file->fsContext2 == this)
        client->file->fsContext2 = nullptr;
    m_Clients.RemoveAt(client->node);
    kernel::freePoolWithTag(client, UsbAdapterTag);
}

void CAsioPrivate::Shutdown() {
    CMutexLockScope lock(m_Lock);
    CancelParkedStopOf(nullptr);
    StopRunning();
    UnregisterSlots();
    FreeRings();
    m_pMaster = nullptr;
    m_BuffersHeld = 0;
    void* data = nullptr;
    while (m_Clients.GetHeadData(&data)) FreeClient(static_cast<AsioClientRecord*>(data));
}

kernel::NTSTATUS CAsioPrivate::CreateBuffers(io::FileObject* file, const void* request,
                                             std::uint32_t requestLength, void* output,
                                             std::uint32_t outputLength) {
    if (m_Host.AsioUsb().IsDeviceGone()) return kernel::STATUS_INVALID_PARAMETER;
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr || request == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    // A second CreateBuffers of the master would lose its rings and registrations.
    if (client->buffersCreated != 0 || m_Slots.IsValid()) return kernel::STATUS_INVALID_PARAMETER;
    if (m_pMaster == nullptr) {
        m_pMaster = client;
        m_BuffersHeld = 1;
    }
    if (client != m_pMaster) return kernel::STATUS_INVALID_PARAMETER;

    AsioBufferRequest header = {};
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    const std::uint32_t rate = m_Host.AsioSettingsRecord().sampleRate;
    if (requestLength < sizeof header) {
        status = kernel::STATUS_INVALID_PARAMETER;
    } else {
        std::memcpy(&header, request, sizeof header);
        const std::uint64_t needed =
            sizeof header + std::uint64_t{header.entries} * sizeof(AsioChannelEntry);
        std::uint32_t endpoints[MaxAsioEndpoints];
        const std::uint32_t asioCount = AsioEndpoints(endpoints, MaxAsioEndpoints);
        if (needed > requestLength || !AsioRateFitsKind(rate, client->kind) ||
            outputLength != 4u * asioCount || output == nullptr || asioCount == 0)
            status = kernel::STATUS_INVALID_PARAMETER;
    }
    if (kernel::succeeded(status)) {
        client->sampleRate = rate;
        status = BuildRings(*client);
    }
    if (kernel::succeeded(status)) {
        m_BufferFrames = header.bufferFrames;
        const auto* entries = reinterpret_cast<const std::uint8_t*>(request) + sizeof header;
        for (std::uint32_t e = 0; e < header.entries; ++e) {
            AsioChannelEntry entry = {};
            std::memcpy(&entry, entries + std::size_t{e} * sizeof entry, sizeof entry);
            for (std::uint32_t s = 0; s < m_SlotCount; ++s) {
                AsioRingHeader* ring = m_Slots.Get<AsioEndpointSlot>()[s].Header();
                if (ring != nullptr && ring->direction == (entry.isInput != 0 ? 1u : 0u) &&
                    entry.channel >= ring->firstChannel &&
                    entry.channel - ring->firstChannel < ring->channels)
                    ring->active = 1;
            }
        }
        // Every entry is read: the output may now overwrite the request.
        auto* addresses = static_cast<std::uint8_t*>(output);
        AsioEndpointSlot* last = nullptr;
        AsioEndpointSlot* lastInput = nullptr;
        for (std::uint32_t s = 0; s < m_SlotCount; ++s) {
            AsioEndpointSlot& slot = m_Slots.Get<AsioEndpointSlot>()[s];
            AsioRingHeader* ring = slot.Header();
            if (ring == nullptr) continue;
            std::memcpy(addresses, &slot.userAddress, sizeof slot.userAddress);
            addresses += sizeof slot.userAddress;
            if (ring->active == 0) continue;
            last = &slot;
            if (ring->direction == 1) lastInput = &slot;
        }
        if (lastInput != nullptr) last = lastInput;
        if (last != nullptr) last->Header()->last = 1;
        status = RegisterSlots(*client);
    }
    if (kernel::succeeded(status)) {
        client->buffersCreated = 1;
        return status;
    }
    UnregisterSlots();
    FreeRings();
    if (client == m_pMaster) {
        m_pMaster = nullptr;
        m_BuffersHeld = 0;
    }
    return status;
}

kernel::NTSTATUS CAsioPrivate::BuildRings(const AsioClientRecord& client) {
    IAudioHal& hal = m_Host.AsioHal();
    m_SlotCount = std::min(hal.GetEndpointCount(), MaxSlots);
    m_Slots = CPoolBuffer(kernel::PoolType::NonPagedNx,
                          std::size_t{m_SlotCount} * sizeof(AsioEndpointSlot), UsbAdapterTag);
    if (!m_Slots.IsValid()) {
        m_SlotCount = 0;
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    std::memset(m_Slots.Get(), 0, m_Slots.Size());
    m_BytesPerSample = client.kind == AsioKindDsd
                           ? 8
                           : BytesPerSampleOf(m_Host.AsioSettingsRecord().activeSampleType);
    std::uint32_t endpoints[MaxAsioEndpoints];
    const std::uint32_t count = AsioEndpoints(endpoints, MaxAsioEndpoints);
    std::uint32_t firstChannel[2] = {0, 0};
    for (std::uint32_t i = 0; i < count; ++i) {
        AsioEndpointSlot& slot = m_Slots.Get<AsioEndpointSlot>()[endpoints[i]];
        AsioRingHeader header = {};
        const kernel::NTSTATUS status = BuildRing(slot, endpoints[i], client, header);
        if (!kernel::succeeded(status)) return status;
        header.firstChannel = firstChannel[header.direction];
        firstChannel[header.direction] += header.channels;
        *slot.Header() = header;
    }
    return kernel::STATUS_SUCCESS;
}

// Whole zeroed pages: what the client sees of them is its ring and nothing
// of the driver's other memory.
kernel::NTSTATUS CAsioPrivate::BuildRing(AsioEndpointSlot& slot, std::uint32_t endpoint,
                                         const AsioClientRecord& client, AsioRingHeader& header) {
    IStreamEngine* engine = nullptr;
    m_Host.AsioHal().GetEndpoint(endpoint, &engine);
    slot.engine = StreamControlOf(engine);
    if (slot.engine == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    header.direction = engine->GetDirection() != 0 ? 1 : 0;
    header.channels = EndpointChannels(endpoint, client.kind);
    const std::uint64_t frameBytes = std::uint64_t{header.channels} * m_BytesPerSample;
    const std::uint64_t framesPerSecond =
        client.kind == AsioKindDsd ? client.sampleRate / 64 : client.sampleRate;
    std::uint64_t ringBytes = framesPerSecond * frameBytes * AsioRingMilliseconds / 1000;
    if (frameBytes != 0) ringBytes -= ringBytes % frameBytes;
    header.ringBytes = static_cast<std::uint32_t>(ringBytes);
    kernel::NTSTATUS status =
        io::allocateSharedPages(sizeof(AsioRingHeader) + ringBytes, UsbAdapterTag, &slot.pages);
    if (!kernel::succeeded(status)) {
        slot.pages = nullptr;
        return status;
    }
    std::memset(io::sharedPagesAddress(slot.pages), 0, io::sharedPagesMappedBytes(slot.pages));
    if (client.kind == AsioKindDsd) std::memset(slot.Ring(), AsioDsdSilence, ringBytes);
    status = io::mapSharedPagesToUser(slot.pages, &slot.userAddress);
    if (!kernel::succeeded(status)) {
        io::freeSharedPages(slot.pages);
        slot.pages = nullptr;
        slot.userAddress = 0;
    }
    return status;
}

kernel::NTSTATUS CAsioPrivate::RegisterSlots(const AsioClientRecord& client) {
    for (std::uint32_t s = 0; s < m_SlotCount; ++s) {
        AsioEndpointSlot& slot = m_Slots.Get<AsioEndpointSlot>()[s];
        if (slot.Header() == nullptr || slot.Header()->active == 0) continue;
        const kernel::NTSTATUS status = RegisterSlot(s, client);
        if (!kernel::succeeded(status)) return status;
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAsioPrivate::RegisterSlot(std::uint32_t endpoint,
                                            const AsioClientRecord& client) {
    AsioEndpointSlot& slot = m_Slots.Get<AsioEndpointSlot>()[endpoint];
    const AsioRingHeader& header = *slot.Header();
    const bool dsd = client.kind == AsioKindDsd;
    const AsioSampleBits bits =
        dsd ? AsioSampleBits{DsdSampleBits, DsdSampleBits}
            : AsioSampleTypeBits(m_Host.AsioSettingsRecord().activeSampleType);
    const std::uint32_t rate = dsd ? client.sampleRate / 64 : client.sampleRate;
    const kernel::Guid& subFormat = dsd ? MakerVendorSubFormat : ks::KSDATAFORMAT_SUBTYPE_PCM;
    ks::WaveFormatExtensible matched = {};
    bool found = false;
    IStreamEngine* engine = nullptr;
    m_Host.AsioHal().GetEndpoint(endpoint, &engine);
    const std::uint32_t formats = engine != nullptr ? engine->GetFormatCount() : 0;
    for (std::uint32_t f = 0; f < formats && !found; ++f) {
        ks::WaveFormatExtensible format = {};
        if (!kernel::succeeded(engine->GetFormat(f, &format))) continue;
        found = format.Format.nChannels == header.channels &&
                format.Format.nSamplesPerSec == rate &&
                format.Format.wBitsPerSample == bits.container &&
                format.wValidBitsPerSample == bits.valid && IsEqualId(format.SubFormat, subFormat);
        if (found) matched = format;
    }
    if (!found) return kernel::STATUS_NO_MATCH;
    slot.bytesPerSample = matched.Format.wBitsPerSample / 8u;
    const AsioTransferShape shape =
        AsioTransferShapeFor(m_BufferFrames, client.sampleRate, client.kind);
    UsbStreamClientRecord* record = nullptr;
    const kernel::NTSTATUS status =
        slot.engine->RegisterClient(AsioClientPriority, &matched, shape.msPerTransfer,
                                    shape.inFlight, &CAsioPrivate::OnStreamMessage, this, &record);
    if (!kernel::succeeded(status)) return status;
    const kernel::Irql previous = m_SpinLock.acquire();
    slot.client = record;
    m_SpinLock.release(previous);
    return kernel::STATUS_SUCCESS;
}

void CAsioPrivate::UnregisterSlots() {
    for (std::uint32_t s = 0; s < m_SlotCount; ++s) {
        AsioEndpointSlot& slot = m_Slots.Get<AsioEndpointSlot>()[s];
        if (slot.client == nullptr) continue;
        const void* handle = slot.client->RegistrationHandle;
        slot.engine->UnregisterClient(handle);
        const kernel::Irql previous = m_SpinLock.acquire();
        slot.client = nullptr;
        m_SpinLock.release(previous);
    }
}

void CAsioPrivate::FreeRings() {
    for (std::uint32_t s = 0; s < m_SlotCount; ++s) {
        AsioEndpointSlot& slot = m_Slots.Get<AsioEndpointSlot>()[s];
        if (slot.pages == nullptr) continue;
        if (slot.userAddress != 0) io::unmapSharedPagesFromUser(slot.pages, slot.userAddress);
        io::freeSharedPages(slot.pages);
        slot = {};
    }
    m_Slots = CPoolBuffer();
    m_SlotCount = 0;
}

kernel::NTSTATUS CAsioPrivate::DisposeBuffers(io::FileObject* file) {
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr || client != m_pMaster) return kernel::STATUS_INVALID_PARAMETER;
    // The callbacks read the rings until the streams stop.
    StopRunning();
    UnregisterSlots();
    FreeRings();
    client->buffersCreated = 0;
    m_BuffersHeld = 0;
    m_pMaster = nullptr;
    return kernel::STATUS_SUCCESS;
}
