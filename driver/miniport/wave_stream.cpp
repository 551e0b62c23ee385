#include "driver/miniport/wave_stream.h"

#include "driver/common/interface_ids.h"
#include "driver/engine/queried_interface.h"
#include "driver/miniport/wave_data_format.h"
#include "driver/miniport/wave_miniport.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/pool.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr kernel::PoolType BufferPool = kernel::PoolType::NonPagedNx;

// The performance counter in 10-microsecond units, split so that the
// product cannot overflow however long the system runs.
std::int64_t Now() {
    std::int64_t frequency = 0;
    const std::int64_t counter = kernel::queryPerformanceCounter(&frequency);
    if (frequency <= 0) return 0;
    return (counter / frequency) * 100000 + (counter % frequency) * 100000 / frequency;
}

// Fifty milliseconds of the format in whole frames.
std::uint32_t InitialBufferSize(const ks::WaveFormatEx& format) {
    const std::uint32_t bytes = format.nAvgBytesPerSec / 20;
    return format.nBlockAlign == 0 ? bytes : bytes - bytes % format.nBlockAlign;
}

bool SameShape(const ks::WaveFormatEx& a, const ks::WaveFormatEx& b) {
    return a.nSamplesPerSec == b.nSamplesPerSec && a.nChannels == b.nChannels &&
           a.wBitsPerSample == b.wBitsPerSample;
}

// Copies between a linear block and the cyclic buffer starting at `at`,
// wrapping at `size`; `at` is below size and length at most size.
void CopyOut(std::uint8_t* to, const std::uint8_t* buffer, std::uint32_t size, std::uint32_t at,
             std::uint32_t length) {
    const std::uint32_t first = std::min(length, size - at);
    std::memcpy(to, buffer + at, first);
    std::memcpy(to + first, buffer, length - first);
}
void CopyIn(std::uint8_t* buffer, std::uint32_t size, std::uint32_t at, const std::uint8_t* from,
            std::uint32_t length) {
    const std::uint32_t first = std::min(length, size - at);
    std::memcpy(buffer + at, from, first);
    std::memcpy(buffer, from + first, length - first);
}

bool InsideBuffer(const std::uint8_t* buffer, std::uint32_t size, const void* start,
                  std::uint32_t length) {
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer);
    const auto at = reinterpret_cast<std::uintptr_t>(start);
    return at >= begin && at - begin <= size && length <= size - (at - begin);
}

} // namespace

kernel::NTSTATUS CreateWaveCyclicStream(CWaveMiniport* miniport, std::uint32_t pin, bool capture,
                                        const ks::DataFormat* dataFormat,
                                        portcls::IMiniportWaveCyclicStream** stream,
                                        portcls::IDmaChannel** dmaChannel,
                                        portcls::IServiceGroup** serviceGroup) {
    if (miniport == nullptr || stream == nullptr || dmaChannel == nullptr ||
        serviceGroup == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    CWaveCyclicStream* created = nullptr;
    kernel::NTSTATUS status = CreateDriverObject<CWaveCyclicStream>(
        &created, nullptr, kernel::PoolType::NonPagedNx, WaveTag);
    if (!kernel::succeeded(status)) return status;
    portcls::IServiceGroup* group = nullptr;
    status = created->Init(miniport, pin, capture, dataFormat, miniport->Engine(), &group);
    if (!kernel::succeeded(status)) {
        created->NonDelegatingRelease();
        return status;
    }
    created->AddRef();
    *stream = static_cast<portcls::IMiniportWaveCyclicStream*>(created);
    *dmaChannel = static_cast<portcls::IDmaChannel*>(created);
    *serviceGroup = group;
    return status;
}

CWaveCyclicStream::~CWaveCyclicStream() {
    // One state at a time, as the port would; a step the engine refuses is
    // taken all the same, so the stream never outlives its client.
    while (m_State != ks::KsState::Stop) {
        const auto next = static_cast<ks::KsState>(static_cast<std::uint32_t>(m_State) - 1);
        if (!kernel::succeeded(SetState(next))) SetStateLocked(next);
    }
    FreeBlock();
    if (m_pServiceGroup != nullptr) m_pServiceGroup->Release();
    if (m_pEngine != nullptr) m_pEngine->Release();
    delete m_pConverter;
    if (m_bCounted) m_pMiniport->StreamClosed();
}

kernel::NTSTATUS CWaveCyclicStream::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                                void** object) {
    if (object == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (IsEqualId(id, portcls::IID_IMiniportWaveCyclicStream))
        return ReturnInterface(static_cast<portcls::IMiniportWaveCyclicStream*>(this), object);
    if (IsEqualId(id, portcls::IID_IDmaChannel))
        return ReturnInterface(static_cast<portcls::IDmaChannel*>(this), object);
    if (IsEqualId(id, portcls::IID_IDrmAudioStream))
        return ReturnInterface(static_cast<portcls::IDrmAudioStream*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(id, object);
}

kernel::NTSTATUS CWaveCyclicStream::Init(CWaveMiniport* miniport, std::uint32_t pin, bool capture,
                                         const ks::DataFormat* dataFormat, IStreamEngine* engine,
                                         portcls::IServiceGroup** serviceGroup) {
    if (miniport == nullptr || engine == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    if (serviceGroup == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *serviceGroup = nullptr;
    if (m_pEngine != nullptr) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    m_pMiniport = miniport;
    m_ulPin = pin;
    m_bCapture = capture;
    engine->AddRef();
    m_pEngine = engine;
    kernel::NTSTATUS status = portcls::PcNewServiceGroup(&m_pServiceGroup, nullptr);
    if (!kernel::succeeded(status)) return status;
    m_pConverter = new (kernel::PoolType::NonPagedNx, DspAdapterTag) CDspInterleaveSrc();
    if (m_pConverter == nullptr || !m_pConverter->Create())
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    ks::WaveFormatExtensible format = {};
    status = ReadStreamFormat(*m_pEngine, dataFormat, &format);
    if (!kernel::succeeded(status)) return status;
    m_Format = format;
    status = AllocateBuffer(InitialBufferSize(m_Format.Format), nullptr);
    if (!kernel::succeeded(status)) return status;
    ResetPositions();
    m_pServiceGroup->AddRef();
    *serviceGroup = m_pServiceGroup;
    m_pMiniport->StreamOpened();
    m_bCounted = true;
    m_DeviceFormat = m_Format;
    return status;
}

kernel::NTSTATUS CWaveCyclicStream::SetFormat(const ks::DataFormat* dataFormat) {
    if (m_State == ks::KsState::Run) return kernel::STATUS_UNSUCCESSFUL;
    ks::WaveFormatExtensible format = {};
    kernel::NTSTATUS status = ReadStreamFormat(*m_pEngine, dataFormat, &format);
    if (kernel::succeeded(status)) status = CheckSignalProcessingMode(dataFormat);
    if (!kernel::succeeded(status)) return status;
    if (SameShape(format.Format, m_Format.Format)) return kernel::STATUS_SUCCESS;
    status = AllocateBuffer(InitialBufferSize(format.Format), nullptr);
    if (!kernel::succeeded(status)) return status;
    kernel::SpinLockGuard lock(m_Lock);
    m_Format = format;
    m_ulCopyPosition = 0;
    m_bResumable = false;
    return status;
}

std::uint32_t CWaveCyclicStream::SetNotificationFreq(std::uint32_t, std::uint32_t* framingSize) {
    if (framingSize != nullptr)
        *framingSize = m_Format.Format.nSamplesPerSec * WaveNotificationMs / 1000 *
                       (m_Format.Format.wBitsPerSample / 8) * m_Format.Format.nChannels;
    return WaveNotificationMs;
}

kernel::NTSTATUS CWaveCyclicStream::SetState(ks::KsState state) {
    CQueriedInterface<IUsbStreamControl> control(m_pEngine, IID_IUsbStreamControl);
    if (!control) return kernel::STATUS_NOT_SUPPORTED;
    if (state == m_State) return kernel::STATUS_SUCCESS;
    if (static_cast<std::uint32_t>(state) > static_cast<std::uint32_t>(ks::KsState::Run))
        return kernel::STATUS_INVALID_PARAMETER;
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    // Whatever comes after RUN, the engine client goes first; it is
    // forgotten even when a step of its teardown fails.
    const bool leavingRun = m_State == ks::KsState::Run;
    if (leavingRun) status = LeaveRun(*control.Get());
    switch (state) {
    case ks::KsState::Stop:
    case ks::KsState::Acquire:
        ResetPositions();
        break;
    case ks::KsState::Pause: {
        kernel::SpinLockGuard lock(m_Lock);
        m_ulReportedPosition = m_ulDmaPosition;
        m_bResumable = m_bResumable || leavingRun;
        break;
    }
    case ks::KsState::Run:
        status = Run(*control.Get());
        break;
    }
    if (kernel::succeeded(status) || leavingRun) SetStateLocked(state);
    return status;
}

void CWaveCyclicStream::SetStateLocked(ks::KsState state) {
    kernel::SpinLockGuard lock(m_Lock);
    m_State = state;
}

kernel::NTSTATUS CWaveCyclicStream::Run(IUsbStreamControl& control) {
    if (m_pBuffer == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    std::uint32_t valueA = 0;
    std::uint32_t valueB = 0;
    bool resumable = false;
    {
        kernel::SpinLockGuard lock(m_Lock);
        resumable = m_bResumable;
        m_FillRate.SetStream(m_Format.Format.nAvgBytesPerSec);
        m_PositionRate.SetStream(m_Format.Format.nAvgBytesPerSec);
        valueA = m_ulValueA;
        valueB = m_ulValueB;
    }
    // A stream that starts anew must not hear the last frames of the one
    // before it; a paused one going on keeps them.
    if (!resumable) control.DiscardHeldFrames();
    UsbStreamClientRecord* record = nullptr;
    kernel::NTSTATUS status =
        control.RegisterClient(WaveClientPriority, &m_Format, WaveClientMsPerTransfer,
                               WaveClientTransfers, OnStreamMessage, this, &record);
    if (!kernel::succeeded(status)) return status;
    const void* handle = record->RegistrationHandle;
    {
        kernel::SpinLockGuard lock(m_Lock);
        m_pClient = record;
        m_pClientHandle = handle;
    }
    std::uint32_t frame = 0;
    status = control.OpenClient(handle, &valueA, &valueB, &frame);
    if (kernel::succeeded(status)) {
        status = control.StartClient(handle, frame + WaveStartFrameLead, &valueA, &valueB, nullptr);
        if (!kernel::succeeded(status)) control.CloseClient(handle);
    }
    if (!kernel::succeeded(status)) {
        {
            kernel::SpinLockGuard lock(m_Lock);
            m_pClient = nullptr;
            m_pClientHandle = nullptr;
        }
        control.UnregisterClient(handle);
        return status;
    }
    kernel::SpinLockGuard lock(m_Lock);
    m_llTimeStamp = Now();
    return status;
}

kernel::NTSTATUS CWaveCyclicStream::LeaveRun(IUsbStreamControl& control) {
    const void* handle = m_pClientHandle;
    if (handle == nullptr) return kernel::STATUS_SUCCESS;
    kernel::NTSTATUS status = control.StopClient(handle, nullptr);
    status = control.CloseClient(handle);
    {
        kernel::SpinLockGuard lock(m_Lock);
        m_pClient = nullptr;
        m_pClientHandle = nullptr;
    }
    status = control.UnregisterClient(handle);
    return status;
}

void CWaveCyclicStream::ResetPositions() {
    kernel::SpinLockGuard lock(m_Lock);
    m_bResumable = false;
    m_ulDmaPosition = 0;
    m_ulReportedPosition = 0;
    m_ulCopyPosition = 0;
    m_ulLastTransfer = 0;
    std::fill(std::begin(m_History), std::end(m_History), 0u);
    m_ulHistoryRead = 0;
    m_ulHistoryWrite = 0;
}

std::uint32_t CWaveCyclicStream::WrapSize() const {
    return m_ulRequestedSize != 0 ? m_ulRequestedSize : m_ulAllocatedSize;
}

kernel::NTSTATUS CWaveCyclicStream::GetPosition(std::uint32_t* position) {
    if (position == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    kernel::SpinLockGuard lock(m_Lock);
    const std::uint32_t size = WrapSize();
    if (m_State != ks::KsState::Run || size == 0) {
        *position = m_ulReportedPosition;
        return kernel::STATUS_SUCCESS;
    }
    const std::uint32_t blockAlign = std::max<std::uint32_t>(m_Format.Format.nBlockAlign, 1);
    const std::int64_t elapsed = std::max<std::int64_t>(Now() - m_llTimeStamp, 0);
    const std::uint64_t estimate =
        static_cast<std::uint64_t>(elapsed) * m_Format.Format.nAvgBytesPerSec / 100000;
    // Never past the transfer in flight, and always on a frame.
    std::uint32_t ahead =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(estimate, m_ulLastTransfer));
    ahead -= ahead % blockAlign;
    const std::uint64_t dma = m_ulDmaPosition % size;
    std::uint64_t result = 0;
    if (m_bCapture) {
        const std::uint32_t behind = blockAlign * ((m_ulLastTransfer - ahead) / blockAlign);
        result = (size + dma - behind % size) % size;
    } else {
        result = (size + dma + ahead % size) % size;
    }
    m_ulReportedPosition = static_cast<std::uint32_t>(result);
    *position = m_ulReportedPosition;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CWaveCyclicStream::NormalizePhysicalPosition(std::int64_t* physicalPosition) {
    if (physicalPosition == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const std::int64_t frameBytes =
        std::int64_t{m_Format.Format.nChannels} * (m_Format.Format.wBitsPerSample / 8);
    if (frameBytes == 0 || m_Format.Format.nSamplesPerSec == 0)
        return kernel::STATUS_INVALID_DEVICE_REQUEST;
    *physicalPosition =
        *physicalPosition * (10000000 / frameBytes) / m_Format.Format.nSamplesPerSec;
    return kernel::STATUS_SUCCESS;
}

void CWaveCyclicStream::Silence(void* buffer, std::uint32_t byteCount) {
    kernel::SpinLockGuard lock(m_Lock);
    if (buffer == nullptr || m_pBuffer == nullptr ||
        !InsideBuffer(m_pBuffer, m_ulAllocatedSize, buffer, byteCount))
        return;
    std::memset(buffer, m_Format.Format.wBitsPerSample == 8 ? 0x80 : 0, byteCount);
}

kernel::NTSTATUS CWaveCyclicStream::AllocateBuffer(std::uint32_t bufferSize, const std::int64_t*) {
    if (bufferSize == 0) return kernel::STATUS_INVALID_PARAMETER;
    auto* block =
        static_cast<std::uint8_t*>(kernel::allocatePool(BufferPool, bufferSize, DspAdapterTag));
    if (block == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::memset(block, 0, bufferSize);
    std::uint8_t* old = nullptr;
    {
        kernel::SpinLockGuard lock(m_Lock);
        old = m_pBuffer;
        m_pBuffer = block;
        m_ulAllocatedSize = bufferSize;
        m_ulRequestedSize = bufferSize;
        m_ulDmaPosition = 0;
        m_ulReportedPosition = 0;
        m_ullTotalBytes = 0;
        m_bResumable = false;
        m_ulLastTransfer = 0;
        // The copy position stays, inside the new block.
        m_ulCopyPosition %= bufferSize;
    }
    if (old != nullptr) kernel::freePoolWithTag(old, DspAdapterTag);
    return kernel::STATUS_SUCCESS;
}

void CWaveCyclicStream::FreeBuffer() { FreeBlock(); }

void CWaveCyclicStream::FreeBlock() {
    std::uint8_t* old = nullptr;
    {
        kernel::SpinLockGuard lock(m_Lock);
        old = m_pBuffer;
        m_pBuffer = nullptr;
        m_ulAllocatedSize = 0;
        m_ulRequestedSize = 0;
        m_ulDmaPosition = 0;
    }
    if (old != nullptr) kernel::freePoolWithTag(old, DspAdapterTag);
}

std::uint32_t CWaveCyclicStream::BufferSize() {
    kernel::SpinLockGuard lock(m_Lock);
    return WrapSize();
}

void CWaveCyclicStream::SetBufferSize(std::uint32_t bufferSize) {
    kernel::SpinLockGuard lock(m_Lock);
    if (bufferSize == 0 || bufferSize >= m_ulAllocatedSize) return;
    m_ulRequestedSize = bufferSize;
    m_ulDmaPosition %= bufferSize;
    m_ulCopyPosition %= bufferSize;
    m_ulReportedPosition %= bufferSize;
}

void CWaveCyclicStream::CopyTo(void* destination, const void* source, std::uint32_t byteCount) {
    kernel::SpinLockGuard lock(m_Lock);
    if (destination == nullptr || source == nullptr || m_pBuffer == nullptr ||
        !InsideBuffer(m_pBuffer, WrapSize(), destination, byteCount))
        return;
    std::memmove(destination, source, byteCount);
}

void CWaveCyclicStream::CopyFrom(void* destination, const void* source, std::uint32_t byteCount) {
    kernel::SpinLockGuard lock(m_Lock);
    if (destination == nullptr || source == nullptr || m_pBuffer == nullptr ||
        !InsideBuffer(m_pBuffer, WrapSize(), source, byteCount))
        return;
    std::memmove(destination, source, byteCount);
}

kernel::NTSTATUS CWaveCyclicStream::SetContentId(std::uint32_t contentId,
                                                 const portcls::DrmRights*) {
    CQueriedInterface<IUsbStreamDrm> drm(m_pEngine, IID_IUsbStreamDrm);
    if (!drm) return kernel::STATUS_NOT_SUPPORTED;
    return drm->SetContentId(contentId);
}

void CWaveCyclicStream::OnStreamMessage(void* context, void* argument, void*) {
    if (context == nullptr || argument == nullptr) return;
    auto& stream = *static_cast<CWaveCyclicStream*>(context);
    const auto& message = *static_cast<const StreamMessage*>(argument);
    if (message.Client == nullptr || !stream.HasClient()) return;
    const UsbStreamClientRecord& record = *message.Client;
    switch (message.Code) {
    case stream_message::transferDone:
        if (record.Active)
            stream.AdvancePosition(record, static_cast<std::uint32_t>(message.Argument1));
        break;
    case stream_message::formatApplied:
        stream.OnFormatApplied(record, message.Argument1, message.Argument2);
        break;
    case stream_message::fillPacket:
        if (record.Active)
            stream.FillRenderPacket(record, reinterpret_cast<std::uint8_t*>(message.Argument1),
                                    static_cast<std::uint32_t>(message.Argument2));
        break;
    case stream_message::packetArrived:
        if (record.Active)
            stream.StoreCapturePacket(record,
                                      reinterpret_cast<const std::uint8_t*>(message.Argument1),
                                      static_cast<std::uint32_t>(message.Argument2));
        break;
    default:
        break;
    }
}

void CWaveCyclicStream::OnFormatApplied(const UsbStreamClientRecord& record, std::uintptr_t valueA,
                                        std::uintptr_t valueB) {
    kernel::SpinLockGuard lock(m_Lock);
    const bool deviceFormatChanged =
        std::memcmp(&record.Format, &m_DeviceFormat, sizeof(m_DeviceFormat)) != 0;
    if (deviceFormatChanged) {
        m_DeviceFormat = record.Format;
        valueA |= stream_message::formatChangedBit;
    }
    const auto msPerTransfer =
        static_cast<std::uint32_t>(valueA & ~stream_message::formatChangedBit);
    const auto inFlight = static_cast<std::uint32_t>(valueB);
    // A paused stream that runs again in the same device format goes on
    // from its positions: what the port wrote after the last packet is the
    // next to play, and the position it reads does not jump back.
    const bool resumes = m_bResumable && !deviceFormatChanged;
    m_bResumable = false;
    if ((valueA & stream_message::formatChangedBit) != 0 && !resumes) {
        m_pConverter->Reset();
        m_pConverter->SetFormat(record.Format, m_Format);
        m_ulDmaPosition = 0;
        m_ulReportedPosition = 0;
        m_ulLastTransfer = 0;
        std::fill(std::begin(m_History), std::end(m_History), 0u);
        m_ulHistoryRead = 0;
        m_ulHistoryWrite = 0;
        m_ullTotalBytes = 0;
        m_ulCopyPosition = 0;
        const std::uint32_t size = WrapSize();
        if (!m_bCapture && size != 0) {
            // Render starts as far behind the buffer's end as the transfers
            // in flight hold, so the first packets read what the port wrote.
            const std::uint64_t lead = std::uint64_t{m_Format.Format.nSamplesPerSec / 1000} *
                                       m_Format.Format.nBlockAlign * msPerTransfer * inFlight;
            m_ulCopyPosition = static_cast<std::uint32_t>((size - lead % size) % size);
        }
    }
    m_FillRate.SetStream(m_Format.Format.nAvgBytesPerSec);
    m_PositionRate.SetStream(m_Format.Format.nAvgBytesPerSec);
    if (record.Format.Format.nAvgBytesPerSec != m_Format.Format.nAvgBytesPerSec) {
        m_FillRate.SetDevice(record.Format.Format.nAvgBytesPerSec);
        m_PositionRate.SetDevice(record.Format.Format.nAvgBytesPerSec);
    }
    m_ulValueA = msPerTransfer;
    m_ulValueB = inFlight;
}

void CWaveCyclicStream::FillRenderPacket(const UsbStreamClientRecord& record, std::uint8_t* packet,
                                         std::uint32_t length) {
    kernel::SpinLockGuard lock(m_Lock);
    const std::uint32_t size = WrapSize();
    if (m_pBuffer == nullptr || size == 0) return;
    std::uint32_t streamBytes = length;
    if (record.Format.Format.nAvgBytesPerSec == m_Format.Format.nAvgBytesPerSec) {
        if (length >= size) return;
        m_ulCopyPosition %= size;
        // Another client's packet is its own to fill; the bookkeeping goes on.
        if (record.RegistrationHandle == m_pClientHandle && packet != nullptr)
            CopyOut(packet, m_pBuffer, size, m_ulCopyPosition, length);
        m_ulCopyPosition = (m_ulCopyPosition + length) % size;
    } else {
        streamBytes = m_FillRate.ToStreamBytes(length);
    }
    m_History[m_ulHistoryWrite] = streamBytes;
    if (m_ulHistoryWrite == m_ulHistoryRead) m_ulLastTransfer = streamBytes;
    m_ulHistoryWrite = (m_ulHistoryWrite + 1) % WavePacketHistory;
}

bool CWaveCyclicStream::HasClient() {
    kernel::SpinLockGuard lock(m_Lock);
    return m_pClient != nullptr;
}

void CWaveCyclicStream::StoreCapturePacket(const UsbStreamClientRecord& record,
                                           const std::uint8_t* packet, std::uint32_t length) {
    kernel::SpinLockGuard lock(m_Lock);
    // Another client's packet is in that client's format and is not this stream's to keep.
    if (record.RegistrationHandle != m_pClientHandle || packet == nullptr) return;
    const std::uint32_t size = WrapSize();
    if (m_pBuffer == nullptr || length >= size) return;
    m_ulCopyPosition %= size;
    CopyIn(m_pBuffer, size, m_ulCopyPosition, packet, length);
    m_ulCopyPosition = (m_ulCopyPosition + length) % size;
}

void CWaveCyclicStream::AdvancePosition(const UsbStreamClientRecord& record, std::uint32_t bytes) {
    {
        kernel::SpinLockGuard lock(m_Lock);
        const std::uint32_t size = WrapSize();
        if (size == 0) return;
        if (record.Format.Format.nAvgBytesPerSec != m_Format.Format.nAvgBytesPerSec)
            bytes = m_PositionRate.ToStreamBytes(bytes);
        m_ulDmaPosition =
            static_cast<std::uint32_t>((std::uint64_t{m_ulDmaPosition} + bytes) % size);
        m_llTimeStamp = Now();
        if (m_bCapture) {
            m_ullTotalBytes += m_ulLastTransfer;
            m_ulLastTransfer = bytes;
        } else {
            m_ullTotalBytes += bytes;
            if (m_ulHistoryRead == m_ulHistoryWrite) {
                m_ulLastTransfer = 0;
            } else {
                m_ulHistoryRead = (m_ulHistoryRead + 1) % WavePacketHistory;
                m_ulLastTransfer = m_History[m_ulHistoryRead];
            }
        }
    }
    portcls::IPortWaveCyclic* port = m_pMiniport->Port();
    if (port != nullptr) port->Notify(m_pServiceGroup);
}
