// The private interface through which a user-mode ASIO driver uses the
// device: it negotiates sample type, rate, latency and kind, gets one ring
// per ASIO endpoint mapped into its process, and streams through them as a
// priority-5 client of the USB stream engines, woken by an event on every
// completed transfer of one endpoint. The file object the client opened
// names it in every call.
#pragma once

#include "driver/adapter/asio_power_control.h"
#include "driver/adapter/asio_records.h"
#include "driver/adapter/asio_settings.h"
#include "driver/common/list.h"
#include "driver/common/mutex_lock.h"
#include "driver/common/pool_buffer.h"
#include "driver/engine/audio_hal.h"
#include "driver/engine/usb_device.h"
#include "platform/io/irp.h"
#include "platform/kernel/spin_lock.h"
#include "platform/kernel/unknown.h"

#include <cstdint>

class IAsioPrivate : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS Open(io::FileObject* file) = 0;
    // A slot without an operation.
    virtual kernel::NTSTATUS Reserved() = 0;
    virtual kernel::NTSTATUS Close(io::FileObject* file) = 0;
    // `length` in: the buffer's bytes; out: the text's bytes with its zero.
    virtual kernel::NTSTATUS GetDeviceName(io::FileObject* file, char* buffer,
                                           std::uint32_t* length) = 0;
    virtual kernel::NTSTATUS GetChannels(io::FileObject* file, AsioChannels* channels) = 0;
    virtual kernel::NTSTATUS GetChannelInfo(io::FileObject* file, AsioChannelInfo* info) = 0;
    virtual kernel::NTSTATUS SetConfigEvent(io::FileObject* file, std::uint32_t eventHandle) = 0;
    virtual kernel::NTSTATUS ReleaseConfigEvent(io::FileObject* file) = 0;
    virtual kernel::NTSTATUS GetBuffersHeld(io::FileObject* file, std::uint32_t* held) = 0;
    virtual kernel::NTSTATUS GetSampleTypes(io::FileObject* file, std::uint32_t* buffer,
                                            std::uint32_t* length) = 0;
    virtual kernel::NTSTATUS GetLatencyList(io::FileObject* file, std::uint32_t* buffer,
                                            std::uint32_t* length) = 0;
    virtual kernel::NTSTATUS SetSampleType(io::FileObject* file, std::uint32_t code) = 0;
    virtual kernel::NTSTATUS SetLatency(io::FileObject* file, std::uint32_t index) = 0;
    virtual kernel::NTSTATUS GetLatencies(io::FileObject* file, std::uint32_t latencies[2]) = 0;
    virtual kernel::NTSTATUS GetSampleRate(io::FileObject* file, std::uint32_t* rate) = 0;
    virtual kernel::NTSTATUS CanSampleRate(io::FileObject* file, std::uint32_t rate) = 0;
    virtual kernel::NTSTATUS SetSampleRate(io::FileObject* file, std::uint32_t rate) = 0;
    virtual kernel::NTSTATUS GetBufferSize(io::FileObject* file, std::uint32_t sizes[4]) = 0;
    // The request is read whole before the output (which may share its
    // memory) is written.
    virtual kernel::NTSTATUS CreateBuffers(io::FileObject* file, const void* request,
                                           std::uint32_t requestLength, void* output,
                                           std::uint32_t outputLength) = 0;
    virtual kernel::NTSTATUS DisposeBuffers(io::FileObject* file) = 0;
    virtual kernel::NTSTATUS Start(io::FileObject* file, std::uint32_t eventHandle) = 0;
    // STATUS_PENDING when the request waits for the device's working state.
    virtual kernel::NTSTATUS Stop(io::FileObject* file, io::Irp* request) = 0;
    virtual kernel::NTSTATUS CanKind(io::FileObject* file, std::uint32_t kind) = 0;
    virtual kernel::NTSTATUS SetKind(io::FileObject* file, std::uint32_t kind) = 0;
    virtual kernel::NTSTATUS GetKind(io::FileObject* file, std::uint32_t* kind) = 0;

protected:
    ~IAsioPrivate() = default;
};

// What the interface needs of the device it serves; the adapter is it.
class IAsioHost {
public:
    virtual kernel::IUnknown* AsioOuterUnknown() = 0;
    virtual IAudioHal& AsioHal() = 0;
    virtual IUsbDevice& AsioUsb() = 0;
    // Where the settings of the device live.
    virtual io::DeviceObject* AsioSettingsDevice() = 0;
    virtual AsioSettings& AsioSettingsRecord() = 0;
    virtual AsioDeviceIds AsioIds() = 0;
    virtual bool AsioDeviceWorking() = 0; // in D0
    // A stop request that is to be carried out when the device is back in
    // D0 (IAsioPowerControl::CarryOutStop); one at a time.
    // False when another is parked already.
    virtual bool ParkStopRequest(io::Irp* request) = 0;
    // Takes the parked request back when it is one of this file (any with
    // null); null when another or none is parked. Up to dispatch level.
    virtual io::Irp* TakeParkedStop(io::FileObject* file) = 0;

protected:
    ~IAsioHost() = default;
};

class CAsioPrivate final : public IAsioPrivate, public IAsioPowerControl {
public:
    explicit CAsioPrivate(IAsioHost& host) : m_Host(host) {}
    ~CAsioPrivate();
    CAsioPrivate(const CAsioPrivate&) = delete;
    CAsioPrivate& operator=(const CAsioPrivate&) = delete;

    // The device went away or the adapter goes: every stream stops, every
    // ring goes, a parked stop is cancelled and every client record freed.
    void Shutdown();

    // A buffered device control of a client's file: input and output share
    // the system buffer. The request's status; *bytes gets its byte count.
    // STATUS_PENDING: the request was marked pending and parked.
    kernel::NTSTATUS DeviceControl(io::FileObject* file, io::Irp* request, std::uint32_t code,
                                   void* buffer, std::uint32_t inputLength,
                                   std::uint32_t outputLength, std::uint32_t* bytes);

    // IUnknown: the adapter's.
    kernel::NTSTATUS QueryInterface(const kernel::Guid& id, void** object) override {
        return m_Host.AsioOuterUnknown()->QueryInterface(id, object);
    }
    std::uint32_t AddRef() override { return m_Host.AsioOuterUnknown()->AddRef(); }
    std::uint32_t Release() override { return m_Host.AsioOuterUnknown()->Release(); }

    // IAsioPrivate
    kernel::NTSTATUS Open(io::FileObject* file) override;
    kernel::NTSTATUS Reserved() override { return kernel::STATUS_UNSUCCESSFUL; }
    kernel::NTSTATUS Close(io::FileObject* file) override;
    kernel::NTSTATUS GetDeviceName(io::FileObject* file, char* buffer,
                                   std::uint32_t* length) override;
    kernel::NTSTATUS GetChannels(io::FileObject* file, AsioChannels* channels) override;
    kernel::NTSTATUS GetChannelInfo(io::FileObject* file, AsioChannelInfo* info) override;
    kernel::NTSTATUS SetConfigEvent(io::FileObject* file, std::uint32_t eventHandle) override;
    kernel::NTSTATUS ReleaseConfigEvent(io::FileObject* file) override;
    kernel::NTSTATUS GetBuffersHeld(io::FileObject* file, std::uint32_t* held) override;
    kernel::NTSTATUS GetSampleTypes(io::FileObject* file, std::uint32_t* buffer,
                                    std::uint32_t* length) override;
    kernel::NTSTATUS GetLatencyList(io::FileObject* file, std::uint32_t* buffer,
                                    std::uint32_t* length) override;
    kernel::NTSTATUS SetSampleType(io::FileObject* file, std::uint32_t code) override;
    kernel::NTSTATUS SetLatency(io::FileObject* file, std::uint32_t index) override;
    kernel::NTSTATUS GetLatencies(io::FileObject* file, std::uint32_t latencies[2]) override;
    kernel::NTSTATUS GetSampleRate(io::FileObject* file, std::uint32_t* rate) override;
    kernel::NTSTATUS CanSampleRate(io::FileObject* file, std::uint32_t rate) override;
    kernel::NTSTATUS SetSampleRate(io::FileObject* file, std::uint32_t rate) override;
    kernel::NTSTATUS GetBufferSize(io::FileObject* file, std::uint32_t sizes[4]) override;
    kernel::NTSTATUS CreateBuffers(io::FileObject* file, const void* request,
                                   std::uint32_t requestLength, void* output,
                                   std::uint32_t outputLength) override;
    kernel::NTSTATUS DisposeBuffers(io::FileObject* file) override;
    kernel::NTSTATUS Start(io::FileObject* file, std::uint32_t eventHandle) override;
    kernel::NTSTATUS Stop(io::FileObject* file, io::Irp* request) override;
    kernel::NTSTATUS CanKind(io::FileObject* file, std::uint32_t kind) override;
    kernel::NTSTATUS SetKind(io::FileObject* file, std::uint32_t kind) override;
    kernel::NTSTATUS GetKind(io::FileObject* file, std::uint32_t* kind) override;

    // IAsioPowerControl
    CMutexLock& GetAsioLock() override { return m_Lock; }
    bool StreamsRunning() override { return m_bRunning; }
    void StopStreams() override;
    void RestartStreams() override;
    kernel::NTSTATUS CarryOutStop(io::FileObject* file) override;

    std::uint32_t ClientCount() const { return m_Clients.GetCount(); }

private:
    static void OnStreamMessage(void* context, void* message, void* unused);
    static void CancelParkedStop(io::DeviceObject* device, io::Irp* request);

    AsioClientRecord* FindClient(io::FileObject* file) const;
    void SignalConfigChange();
    void WriteSetting(const char16_t* name, std::uint32_t value);
    // The HAL's endpoints with the ASIO flag, in order; fills up to `room`.
    std::uint32_t AsioEndpoints(std::uint32_t* indexes, std::uint32_t room);
    // Largest channel count among the endpoint's formats of the kind.
    std::uint32_t EndpointChannels(std::uint32_t endpoint, std::uint32_t kind);
    bool EndpointsSupportRate(std::uint32_t rate, std::uint32_t kind);
    bool EndpointsHaveKind(std::uint32_t kind);

    kernel::NTSTATUS BuildRings(const AsioClientRecord& client);
    kernel::NTSTATUS BuildRing(AsioEndpointSlot& slot, std::uint32_t endpoint,
                               const AsioClientRecord& client, AsioRingHeader& header);
    kernel::NTSTATUS RegisterSlots(const AsioClientRecord& client);
    kernel::NTSTATUS RegisterSlot(std::uint32_t endpoint, const AsioClientRecord& client);
    void UnregisterSlots();
    void FreeRings();
    kernel::NTSTATUS StartSlots();
    void StopSlots();
    // Positions, leads and counters of every ring back to their start, and
    // the master's buffer event set to the one given, in one hold of the
    // spin lock: after the streams started, so the transfers their start
    // put in flight do not move the position a client starts from.
    void ResetTable(io::EventObject* bufferEvent);
    void SendVendorStartStop(std::uint16_t value);
    void ReleaseBufferEvent();
    void StopRunning();
    void FreeClient(AsioClientRecord* client);
    void CancelParkedStopOf(io::FileObject* file);

    IAsioHost& m_Host;
    CMutexLock m_Lock;
    kernel::SpinLock m_SpinLock;
    CList m_Clients;
    AsioClientRecord* m_pMaster = nullptr;
    std::uint32_t m_BuffersHeld = 0;
    CPoolBuffer m_Slots; // one AsioEndpointSlot per HAL endpoint while buffers exist
    std::uint32_t m_SlotCount = 0;
    std::uint32_t m_BufferFrames = 0;
    std::uint32_t m_BytesPerSample = 0;
    bool m_bRunning = false;
    io::EventObject* m_pBufferEvent = nullptr; // the master's; under the spin lock
};
