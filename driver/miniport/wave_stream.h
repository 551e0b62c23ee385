// The one stream of a wave miniport. It owns the cyclic buffer the port
// fills (render) or drains (capture) and is that buffer's DMA channel, as no
// DMA hardware exists; while it runs it is a client of the endpoint's USB
// stream engine, whose messages (at dispatch level, one per packet) make it
// copy each render packet out of the buffer or each capture packet into it,
// advance its position and notify the port. The position the port reads is
// interpolated between transfer completions from the performance counter.
// Every position wraps at the buffer size the port set.
#pragma once

#include "driver/common/object_model.h"
#include "driver/effects/dsp_interleave_src.h"
#include "driver/engine/stream_engine.h"
#include "driver/miniport/wave_rate_bookkeeping.h"
#include "driver/usbstream/usb_stream_control.h"
#include "platform/kernel/spin_lock.h"
#include "platform/portcls/miniport.h"
#include "platform/portcls/service_group.h"

#include <cstdint>

class CWaveMiniport;

inline constexpr std::uint32_t WaveNotificationMs = 10;
inline constexpr std::uint32_t WaveMaximumBufferSize = 307200;
// What the stream asks the engine for: milliseconds per transfer and
// transfers in flight; the start lies this many frames after the opening.
inline constexpr std::uint32_t WaveClientMsPerTransfer = 5;
inline constexpr std::uint32_t WaveClientTransfers = 3;
inline constexpr std::uint32_t WaveStartFrameLead = 2;
inline constexpr std::uint32_t WavePacketHistory = 10;

class CWaveCyclicStream
    : public CForwardingUnknown<CUnknown, portcls::IMiniportWaveCyclicStream, portcls::IDmaChannel,
                                portcls::IDrmAudioStream> {
public:
    using CForwardingUnknown::CForwardingUnknown;
    // Steps the state down to STOP, then lets the miniport go.
    ~CWaveCyclicStream() override;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // STATUS_INSUFFICIENT_RESOURCES for a null miniport or engine, or when
    // the service group, the format adapter or the buffer cannot be had;
    // STATUS_INVALID_PARAMETER for a format the endpoint does not offer.
    kernel::NTSTATUS Init(CWaveMiniport* miniport, std::uint32_t pin, bool capture,
                          const ks::DataFormat* dataFormat, IStreamEngine* engine,
                          portcls::IServiceGroup** serviceGroup);

    // IMiniportWaveCyclicStream
    kernel::NTSTATUS SetFormat(const ks::DataFormat* dataFormat) override;
    std::uint32_t SetNotificationFreq(std::uint32_t interval, std::uint32_t* framingSize) override;
    kernel::NTSTATUS SetState(ks::KsState state) override;
    kernel::NTSTATUS GetPosition(std::uint32_t* position) override;
    kernel::NTSTATUS NormalizePhysicalPosition(std::int64_t* physicalPosition) override;
    void Silence(void* buffer, std::uint32_t byteCount) override;

    // IDmaChannel
    kernel::NTSTATUS AllocateBuffer(std::uint32_t bufferSize,
                                    const std::int64_t* physicalAddressConstraint) override;
    void FreeBuffer() override;
    std::uint32_t TransferCount() override { return m_ulAllocatedSize; }
    std::uint32_t MaximumBufferSize() override { return WaveMaximumBufferSize; }
    std::uint32_t AllocatedBufferSize() override { return m_ulAllocatedSize; }
    std::uint32_t BufferSize() override;
    void SetBufferSize(std::uint32_t bufferSize) override;
    void* SystemAddress() override { return m_pBuffer; }
    std::int64_t PhysicalAddress() override { return 0; }
    void* GetAdapterObject() override { return nullptr; }
    void CopyTo(void* destination, const void* source, std::uint32_t byteCount) override;
    void CopyFrom(void* destination, const void* source, std::uint32_t byteCount) override;

    // IDrmAudioStream
    kernel::NTSTATUS SetContentId(std::uint32_t contentId,
                                  const portcls::DrmRights* rights) override;

    // The engine's stream messages; the context is the stream.
    static void OnStreamMessage(void* context, void* message, void* unused);

    ks::KsState GetState() const { return m_State; }
    const ks::WaveFormatExtensible& GetFormat() const { return m_Format; }
    const ks::WaveFormatExtensible& GetDeviceFormat() const { return m_DeviceFormat; }
    std::uint64_t GetTotalBytes() const { return m_ullTotalBytes; }

private:
    kernel::NTSTATUS Run(IUsbStreamControl& control);
    kernel::NTSTATUS LeaveRun(IUsbStreamControl& control);
    void SetStateLocked(ks::KsState state);
    bool HasClient();
    void ResetPositions();
    void OnFormatApplied(const UsbStreamClientRecord& record, std::uintptr_t valueA,
                         std::uintptr_t valueB);
    void FillRenderPacket(const UsbStreamClientRecord& record, std::uint8_t* packet,
                          std::uint32_t length);
    void StoreCapturePacket(const UsbStreamClientRecord& record, const std::uint8_t* packet,
                            std::uint32_t length);
    void AdvancePosition(const UsbStreamClientRecord& record, std::uint32_t bytes);
    std::uint32_t WrapSize() const; // the buffer size, under the lock
    void FreeBlock();

    CWaveMiniport* m_pMiniport = nullptr; // no reference: the miniport waits for the stream
    IStreamEngine* m_pEngine = nullptr;
    std::uint32_t m_ulPin = 0;
    bool m_bCapture = false;
    bool m_bCounted = false;
    portcls::IServiceGroup* m_pServiceGroup = nullptr;
    CDspInterleaveSrc* m_pConverter = nullptr;
    kernel::SpinLock m_Lock;

    ks::KsState m_State = ks::KsState::Stop;
    std::uint32_t m_ulValueA = WaveClientMsPerTransfer;
    std::uint32_t m_ulValueB = 0;
    ks::WaveFormatExtensible m_Format = {};       // 18 + cbSize bytes are the stream's
    ks::WaveFormatExtensible m_DeviceFormat = {}; // as the engine last reported it

    std::uint8_t* m_pBuffer = nullptr;
    std::uint32_t m_ulAllocatedSize = 0;
    std::uint32_t m_ulRequestedSize = 0;

    std::uint32_t m_ulDmaPosition = 0;
    std::uint32_t m_ulReportedPosition = 0;
    std::uint32_t m_ulCopyPosition = 0;
    std::uint32_t m_ulLastTransfer = 0;
    std::uint64_t m_ullTotalBytes = 0;
    std::int64_t m_llTimeStamp = 0; // 10-microsecond units

    std::uint32_t m_History[WavePacketHistory] = {};
    std::uint32_t m_ulHistoryRead = 0;
    std::uint32_t m_ulHistoryWrite = 0;

    // The packet path and the completion path each convert the same device
    // bytes, so each carries its own remainders.
    CRateBookkeeping m_FillRate;
    CRateBookkeeping m_PositionRate;

    UsbStreamClientRecord* m_pClient = nullptr;
    const void* m_pClientHandle = nullptr;
    // Paused from RUN with its positions as the last packets left them: the
    // next RUN goes on from them while the device runs the same format.
    bool m_bResumable = false;
};

// What NewStream makes: the stream, its DMA channel and its service group,
// each with a reference; nothing on failure.
kernel::NTSTATUS CreateWaveCyclicStream(CWaveMiniport* miniport, std::uint32_t pin, bool capture,
                                        const ks::DataFormat* dataFormat,
                                        portcls::IMiniportWaveCyclicStream** stream,
                                        portcls::IDmaChannel** dmaChannel,
                                        portcls::IServiceGroup** serviceGroup);
