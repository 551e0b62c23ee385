// The stream engine of one USB Audio Class streaming interface: the endpoint
// object of the device (a CStreamEngine) that moves its audio with
// isochronous transfers. The device-model walks create one per streaming
// interface, initialise it with InitStream and fill its format table; the
// release-specific classes derive from it.
//
// Clients (wave streams, the ASIO table) register, open, start, stop and
// close under the engine lock; the device runs the format of the running
// client of highest priority, and every client hears through the engine's
// callback object of each transfer, of format changes, of packets to fill
// and packets that arrived. Transfers are built and completed at dispatch
// level; a completion builds the next transfer itself, and errors go to the
// worker thread, which recovers at passive level.
//
// Locks, outermost first: the engine lock (a mutex), then the transfer or
// capture spin lock, then the DSP host's spin lock, then the context slots'.
// The worker asks the adapter whether the device is gone (the adapter's power
// lock) before it takes the engine lock, never under it.
#pragma once

#include "driver/effects/fir8.h"
#include "driver/engine/audio_node.h"
#include "driver/engine/stream_engine_base.h"
#include "driver/usbstream/packet_sizer.h"
#include "driver/usbstream/transfer_contexts.h"
#include "driver/usbstream/usb_stream_control.h"
#include "driver/usbstream/usb_stream_records.h"
#include "platform/io/irp.h"
#include "platform/kernel/callback_object.h"
#include "platform/kernel/event.h"
#include "platform/kernel/spin_lock.h"
#include "platform/kernel/thread.h"
#include "platform/usb/select_request.h"

#include <cstdint>

class IUsbDevice;
class IAudioHal;

inline constexpr std::uint32_t DefaultMillisecondsPerTransfer = 10;
inline constexpr std::uint32_t DefaultTransfersInFlight = 10;
// The worker's real-time priority; the creation steps through the highest.
inline constexpr int UsbStreamWorkerPriority = 24;
inline constexpr int HighestThreadPriority = 31;
// How long recovery lets the device rest before it selects setting 0.
inline constexpr kernel::Duration RecoveryPause = std::chrono::milliseconds(100);
// Transfers a release 2 recovery sends at once.
inline constexpr std::uint32_t RecoveryTransfers = 3;
// Frames after the bus frame at which a restarted stream begins.
inline constexpr std::uint32_t RestartFrameLead = 2;
inline constexpr std::uint32_t SwitchFrameLead = 5;

enum class UsbStreamState : std::int32_t { closed = 0, prepared = 1, running = 2 };

namespace work_flag {
inline constexpr std::int32_t idle = 0;
inline constexpr std::int32_t moreTransfers = 1;
inline constexpr std::int32_t error = 2;
} // namespace work_flag

class CUsbStreamEngine
    : public CForwardingUnknown<CStreamEngine, IUsbStreamControl, IUsbStreamDrm> {
public:
    // The owner value of the base is the streaming interface's number; the
    // construction value is kept for the release-specific classes (the
    // terminal the interface links to).
    CUsbStreamEngine(kernel::IUnknown* outer, std::uint8_t interfaceNumber,
                     std::uint32_t constructionValue);
    // Stops the worker and frees the format table, the callback object and
    // the limiter; the base waits for the clients.
    ~CUsbStreamEngine() override;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // The base's lists, the engine's callback object, the worker thread and
    // the limiter. `adapter` answers IUsbDevice and IAudioHal; no reference
    // is kept (the adapter owns the model that owns the engine). A missing
    // limiter is no failure.
    kernel::NTSTATUS InitStream(std::uint32_t direction, kernel::IUnknown* adapter);

    // The format joins the format table with its alternate setting and the
    // base's format lists.
    kernel::NTSTATUS AddUsbFormat(const ks::WaveFormatExtensible* format,
                                  std::uint8_t alternateSetting);
    // Whether the table holds the format, byte for byte, with the setting.
    bool HasUsbFormat(const ks::WaveFormatExtensible& format, std::uint8_t alternateSetting) const;
    // Takes every format of the tag (an extensible one's sub-format tag) out
    // of the table and the base's lists.
    void RemoveUsbFormatsOfTag(std::uint16_t tag);
    // The alternate setting of the first entry that matches: an extensible
    // request on its first cbSize + 18 bytes (none when that is more than a
    // record), any other on tag, channels, rate and bits.
    // STATUS_INVALID_PARAMETER when none matches.
    kernel::NTSTATUS FindFormat(const ks::WaveFormatEx* format, std::uint8_t* alternateSetting);
    // The last entity of the engine with the id (no reference added);
    // STATUS_UNSUCCESSFUL when none has it.
    kernel::NTSTATUS FindEntity(std::uint32_t id, IAudioNode** entity);
    // Packets a millisecond of the setting's first isochronous data
    // endpoint: 1 at full speed; at high speed 8 >> (bInterval - 1) for a
    // bInterval of 1 to 4, and 1 for any other.
    std::uint32_t GetPacketsPerMillisecond(std::uint8_t alternateSetting);

    // IUsbStreamControl.
    kernel::NTSTATUS RegisterClient(std::uint32_t priority, const ks::WaveFormatExtensible* format,
                                    std::uint32_t valueA, std::uint32_t valueB,
                                    kernel::CallbackFunction callback, void* context,
                                    UsbStreamClientRecord** record) override;
    kernel::NTSTATUS UnregisterClient(const void* handle) override;
    kernel::NTSTATUS StartClient(const void* handle, std::uint32_t startFrame,
                                 std::uint32_t* valueA, std::uint32_t* valueB,
                                 IDspNode* node) override;
    kernel::NTSTATUS StopClient(const void* handle, IDspNode* node) override;
    kernel::NTSTATUS OpenClient(const void* handle, std::uint32_t* valueA, std::uint32_t* valueB,
                                std::uint32_t* frameValue) override;
    kernel::NTSTATUS CloseClient(const void* handle) override;
    void DiscardHeldFrames() override;
    kernel::NTSTATUS SelectInterface(std::uint8_t alternateSetting,
                                     UsbStreamClientRecord* record) override;
    void FreeTransferContexts() override;
    kernel::NTSTATUS AbortPipe() override;
    kernel::NTSTATUS Recover() override;
    kernel::NTSTATUS SelectZeroBandwidth() override { return SelectInterface(0, nullptr); }
    kernel::NTSTATUS RestartStreaming() override;
    kernel::NTSTATUS BuildTransfer() override { return kernel::STATUS_NOT_IMPLEMENTED; }
    kernel::NTSTATUS OnTransferComplete(io::DeviceObject* device, io::Irp* irp,
                                        void* context) override;
    void WorkerLoop() override;
    kernel::NTSTATUS PrepareFormat(UsbStreamClientRecord*, std::uint32_t*) override {
        return kernel::STATUS_UNSUCCESSFUL;
    }
    kernel::NTSTATUS Teardown() override;
    kernel::NTSTATUS StartStream(std::uint32_t startFrame, bool explicitStartFrame) override;
    kernel::NTSTATUS StopStream() override;
    // Whether the device can run the alternate setting now.
    bool QueryReady(std::uint8_t alternateSetting) override;

    // IUsbStreamDrm.
    kernel::NTSTATUS SetContentId(std::uint32_t contentId) override;

    std::uint8_t GetInterfaceNumber() const { return static_cast<std::uint8_t>(GetOwnerValue()); }
    std::uint32_t GetConstructionValue() const { return m_ulConstructionValue; }
    std::uint32_t GetFormatTableCount() const;
    kernel::ThreadObject* GetWorkerThread() const { return m_pWorker; }
    bool WorkerEnded() const { return m_ThreadExitedEvent.readState(); }
    kernel::CallbackObject* GetStreamCallbackObject() const { return m_pStreamCallback; }
    const CFir8* GetLimiter() const { return m_pLimiter; }
    UsbStreamState GetStreamState() const;
    const ks::WaveFormatExtensible& GetUsbFormat() const { return m_UsbFormat; }
    std::uint32_t GetPacketsPerMs() const { return m_ulPacketsPerMs; }
    std::uint32_t GetTransfersInFlight() const { return m_ulTransfersInFlight; }
    std::uint32_t GetFramesPerPacket() const { return m_ulFramesPerPacket; }
    std::uint32_t GetCaptureRingBytes() const { return m_ulRingBytes; }
    std::int32_t GetPendingTransfers() const;
    bool IsDeviceGoneFlagged() const;

protected:
    // The adapter's faces, each with a reference the caller releases; null
    // without an adapter or when it does not answer.
    IUsbDevice* QueryUsbDevice() const;
    IAudioHal* QueryAudioHal() const;

    bool IsCapture() { return GetDirection() != EngineDirectionRender; }
    bool IsRunning() const { return GetStreamState() == UsbStreamState::running; }

    // What the release-specific prepare adds before the interface is
    // selected (a release 2 clock source's rate).
    virtual kernel::NTSTATUS PrepareDevice(const UsbStreamClientRecord&) {
        return kernel::STATUS_SUCCESS;
    }
    // Whether a selection sets the data endpoint's sampling frequency
    // (release 1).
    virtual bool SetsEndpointRate() const { return false; }
    virtual kernel::PoolTag CaptureRingTag() const { return kernel::poolTag("US10"); }
    // What a render engine does to a built transfer after the limiter,
    // before it is sent: the bytes the device gets, the packets in the
    // record adjusted to them.
    virtual std::uint32_t ShapeRenderTransfer(std::uint8_t*, usb::IsochronousTransfer*,
                                              std::uint32_t bytes) {
        return bytes;
    }
    // The bytes of the clients' format that a render transfer of this many
    // device bytes stands for.
    virtual std::uint32_t ClientBytesOf(std::uint32_t deviceBytes) { return deviceBytes; }
    // The feedback contexts of a release 2 render stream.
    virtual kernel::NTSTATUS CreateExtraContexts(IUsbDevice&) { return kernel::STATUS_SUCCESS; }
    virtual void FreeExtraContexts() {}

    // The shared prepare of both releases.
    kernel::NTSTATUS PrepareStream(UsbStreamClientRecord* record, std::uint32_t* frameValue);

    // The transfers. A build runs under the transfer spin lock at dispatch
    // level; `rate` sizes render packets (the nominal or the measured rate).
    kernel::NTSTATUS BuildRenderTransfer(std::uint32_t rate);
    kernel::NTSTATUS BuildCaptureTransfer();
    kernel::NTSTATUS CompleteRender(io::Irp* irp, TransferContext* context);
    kernel::NTSTATUS CompleteCapture(io::Irp* irp, TransferContext* context, bool exactBytes);
    // How both completions end: the context goes back; a live transfer (the
    // stream running, the request not cancelled) that failed asks for
    // recovery, one that did not builds the next transfer unless the worker
    // is at it.
    kernel::NTSTATUS FinishTransfer(io::Irp* irp, TransferContext* context, bool live);
    // Sets up the request of a context for its record and sends it, counted
    // pending.
    kernel::NTSTATUS SendTransfer(IUsbDevice& usb, TransferContext* context,
                                  io::CompletionRoutine completion);
    void TransferDone();
    // A failed transfer: the worker is to recover, once.
    void RequestRecovery();
    // Whether the transfer failed: the request, the record or one packet.
    static bool TransferFailed(io::Irp* irp, usb::IsochronousTransfer* urb);
    static void NoteDeviceGone(kernel::NTSTATUS status, std::uint8_t* flag);
    void SendMessage(std::uintptr_t code, std::uintptr_t argument1, std::uintptr_t argument2);
    // Waits (passive level) until every transfer has come back.
    void WaitForIdle();

    const usb::InterfaceInformation* SelectedInterface() const;
    usb::PipeHandle PipeAt(std::uint32_t index) const;
    usb::PipeHandle DataPipe() const { return PipeAt(m_ulDataPipe); }
    std::uint32_t SelectedPipeCount() const;
    std::uint32_t m_ulFeedbackPipe = 0;

    CTransferContextSet m_Contexts;
    kernel::SpinLock m_TransferLock;
    kernel::SpinLock m_CaptureLock;
    ks::WaveFormatExtensible m_UsbFormat{};
    std::uint32_t m_ulPacketsPerMs = 1;
    std::uint32_t m_ulMsPerTransfer = DefaultMillisecondsPerTransfer;
    std::uint32_t m_ulTransfersInFlight = DefaultTransfersInFlight;
    std::uint32_t m_ulFramesPerPacket = 0;
    std::uint32_t m_ulSampleRate = 0;
    CPacketSizer m_Sizer;
    std::int32_t m_lExtraFrames = 0;
    std::uint32_t m_ulNextStartFrame = 0;
    std::uint8_t m_bExplicitStartFrame = 0;
    std::uint8_t m_bDeviceGone = 0;
    std::int32_t m_lWorkFlag = work_flag::idle;
    kernel::Event m_WorkEvent{kernel::EventType::Synchronization, false};
    UsbStreamClientRecord* m_pRunningClient = nullptr;
    UsbStreamClientRecord* m_pOpenClient = nullptr;

private:
    static void WorkerThreadStart(void* context);
    static kernel::NTSTATUS TransferCompletion(io::DeviceObject* device, io::Irp* irp,
                                               void* context);
    kernel::NTSTATUS CreateStreamCallback();
    kernel::NTSTATUS StartWorker();
    void CreateLimiter();
    // The limiter starts anew when the running format differs from the one
    // it has or a client discarded what it holds; otherwise its look-ahead
    // carries the last frames before a stop into the next start, so nothing
    // played is lost at a pause.
    void UseLimiterFormat();
    void FreeFormatTable();
    void SetState(UsbStreamState state);
    UsbStreamState ExchangeState(UsbStreamState state);
    // Frees what a prepare made: contexts, ring, the interface's copy.
    void ReleaseStream();
    kernel::NTSTATUS SubmitTransfers(std::uint32_t count);
    void HandleWork();
    void LimitRenderPacket(std::uint8_t* buffer, std::uint32_t bytes);
    void CopyCaptureOut(TransferContext* context, bool exactBytes);
    void AddChainNode(const UsbStreamClientRecord& record, IDspNode* node);
    void RemoveChainNode(const UsbStreamClientRecord& record, IDspNode* node);
    kernel::NTSTATUS ReprepareFor(UsbStreamClientRecord* head, std::uint32_t* frameValue);
    void UpdateActiveStream(IUsbDevice& usb, bool active);

    const std::uint32_t m_ulConstructionValue;
    kernel::IUnknown* m_pAdapter = nullptr;
    CList* m_pFormatTable = nullptr; // of UsbFormatEntry
    kernel::CallbackObject* m_pStreamCallback = nullptr;
    kernel::ThreadObject* m_pWorker = nullptr;
    kernel::Event m_StopEvent{kernel::EventType::Notification, false};
    kernel::Event m_ThreadExitedEvent{kernel::EventType::Notification, false};
    kernel::Event m_IdleEvent{kernel::EventType::Notification, true};
    CFir8* m_pLimiter = nullptr;
    ks::WaveFormatExtensible m_LimiterFormat{}; // what the limiter was set for
    bool m_bLimiterFormatSet = false;
    std::int32_t m_lDiscardHeldFrames = 0; // set by a client, taken by the next start
    std::int32_t m_lState = static_cast<std::int32_t>(UsbStreamState::closed);
    std::int32_t m_lPending = 0;
    usb::RequestBlock m_Selected; // the last successful selection, the interface's copy
    std::uint32_t m_ulDataPipe = 0;
    std::uint8_t m_bActiveStream = 0;
    CPoolBuffer m_CaptureRing;
    std::uint32_t m_ulRingBytes = 0;
    std::uint32_t m_ulWritePosition = 0;
    std::uint32_t m_ulReadPosition = 0;
};
