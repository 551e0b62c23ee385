// The stream engine of one USB Audio Class streaming interface: the endpoint
// object of the device (a CStreamEngine) that moves its audio with
// isochronous transfers. The device-model walks create one per streaming
// interface, initialise it with InitStream and fill its format table; the
// release-specific classes derive from it.
#pragma once

#include "driver/effects/fir8.h"
#include "driver/engine/audio_node.h"
#include "driver/engine/stream_engine_base.h"
#include "driver/usbstream/usb_stream_records.h"
#include "platform/kernel/callback_object.h"
#include "platform/kernel/event.h"
#include "platform/kernel/thread.h"

#include <cstdint>

class IUsbDevice;
class IAudioHal;

inline constexpr std::uint32_t DefaultMillisecondsPerTransfer = 10;
inline constexpr std::uint32_t DefaultTransfersInFlight = 10;
// The worker's real-time priority; the creation steps through the highest.
inline constexpr int UsbStreamWorkerPriority = 24;
inline constexpr int HighestThreadPriority = 31;

class CUsbStreamEngine : public CStreamEngine {
public:
    // The owner value of the base is the streaming interface's number; the
    // construction value is kept for the release-specific classes (the
    // terminal the interface links to).
    CUsbStreamEngine(kernel::IUnknown* outer, std::uint8_t interfaceNumber,
                     std::uint32_t constructionValue);
    // Stops the worker and frees the format table, the callback object and
    // the limiter; the base waits for the clients.
    ~CUsbStreamEngine() override;

    // The base's lists, the engine's callback object, the worker thread and
    // the limiter. `adapter` answers IUsbDevice and IAudioHal; no reference
    // is kept (the adapter owns the model that owns the engine). A missing
    // limiter is no failure.
    kernel::NTSTATUS InitStream(std::uint32_t direction, kernel::IUnknown* adapter);

    // The format joins the format table with its alternate setting and the
    // base's format lists.
    kernel::NTSTATUS AddUsbFormat(const ks::WaveFormatExtensible* format,
                                  std::uint8_t alternateSetting);
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
    // bInterval of 1 to 4, and 1 for any other (a period of a millisecond or
    // more still sends one packet a transfer millisecond).
    std::uint32_t GetPacketsPerMillisecond(std::uint8_t alternateSetting);
    // Whether the device can run the alternate setting now.
    virtual bool QueryReady(std::uint8_t alternateSetting);

    std::uint8_t GetInterfaceNumber() const { return static_cast<std::uint8_t>(GetOwnerValue()); }
    std::uint32_t GetConstructionValue() const { return m_ulConstructionValue; }
    std::uint32_t GetFormatTableCount() const;
    kernel::ThreadObject* GetWorkerThread() const { return m_pWorker; }
    kernel::CallbackObject* GetStreamCallbackObject() const { return m_pStreamCallback; }
    const CFir8* GetLimiter() const { return m_pLimiter; }

protected:
    // The adapter's faces, each with a reference the caller releases; null
    // without an adapter or when it does not answer.
    IUsbDevice* QueryUsbDevice() const;
    IAudioHal* QueryAudioHal() const;

private:
    static void WorkerThreadStart(void* context);
    void WorkerLoop();
    kernel::NTSTATUS CreateStreamCallback();
    kernel::NTSTATUS StartWorker();
    void CreateLimiter();
    void FreeFormatTable();

    const std::uint32_t m_ulConstructionValue;
    kernel::IUnknown* m_pAdapter = nullptr;
    CList* m_pFormatTable = nullptr; // of UsbFormatEntry
    kernel::CallbackObject* m_pStreamCallback = nullptr;
    kernel::ThreadObject* m_pWorker = nullptr;
    kernel::Event m_StopEvent{kernel::EventType::Notification, false};
    kernel::Event m_ThreadExitedEvent{kernel::EventType::Notification, false};
    kernel::Event m_WorkEvent{kernel::EventType::Synchronization, false};
    CFir8* m_pLimiter = nullptr;
    std::uint8_t m_bDeviceGone = 0;
};
