// The status endpoint of a function's AudioControl interface as the device
// models read it: the interface selected to learn its pipes (a copy of the
// answer kept while the status thread runs), the thread with its stop and
// exit events, and the reader that keeps one transfer pending on a pipe.
#pragma once

#include "driver/common/pool_buffer.h"
#include "driver/common/pool_object.h"
#include "driver/devmodel/stoppable_thread.h"
#include "driver/engine/usb_device.h"
#include "platform/io/irp.h"
#include "platform/kernel/event.h"
#include "platform/usb/requests.h"

#include <cstdint>

inline constexpr std::uint8_t NoPipe = 0xFF;
// Selection and its interface information live under this tag.
inline constexpr kernel::PoolTag SelectRequestTag = kernel::poolTag("URB ");

// Which pipes a release reads.
struct StatusPipeRules {
    std::uint16_t statusPacketSize; // of the interrupt IN pipe
    bool secondBulkPipe;            // also the first bulk IN pipe
};

class CStatusPipe {
public:
    CStatusPipe() = default;
    ~CStatusPipe() = default;
    CStatusPipe(const CStatusPipe&) = delete;
    CStatusPipe& operator=(const CStatusPipe&) = delete;

    // Selects setting 0 of the AudioControl interface and keeps a copy of
    // the answer; *found tells whether it has a status pipe (without one
    // nothing is kept). An interface without endpoints, or a request block
    // the pool refuses, is no failure either; a failing request, or a copy
    // the pool refuses, is returned.
    kernel::NTSTATUS Select(IUsbDevice& usb, std::uint8_t controlInterface,
                            const StatusPipeRules& rules, bool* found);
    // Starts the thread at the priority; on failure the copy is freed.
    kernel::NTSTATUS StartThread(kernel::ThreadStart start, void* context, int priority);
    bool Running() const { return m_Thread.Running(); }
    // Sets the stop event, waits for the thread's exit and forgets the pipes.
    void StopThread();

    usb::PipeHandle StatusPipe() const { return PipeAt(m_StatusPipe); }
    usb::PipeHandle SecondPipe() const { return PipeAt(m_SecondPipe); }
    kernel::Event& StopEvent() { return m_Thread.StopEvent(); }

private:
    usb::PipeHandle PipeAt(std::uint8_t index) const;
    void Forget();

    CPoolBuffer m_Information;
    std::uint8_t m_StatusPipe = NoPipe;
    std::uint8_t m_SecondPipe = NoPipe;
    CStoppableThread m_Thread;
};

// One read of a pipe kept pending: its request record, its own I/O request
// and the event the completion sets (signalled while nothing is pending).
class CPipeReader : public CPoolObject {
public:
    CPipeReader(IUsbDevice& usb, usb::PipeHandle pipe, void* buffer, std::uint32_t length);
    // Gives the request back to the device; the read must not be pending.
    ~CPipeReader();
    CPipeReader(const CPipeReader&) = delete;
    CPipeReader& operator=(const CPipeReader&) = delete;

    bool HasRequest() const { return m_pIrp != nullptr; }
    // Sends the read again; its status (pending while it waits).
    kernel::NTSTATUS Submit();
    kernel::Event& Completed() { return m_Completed; }
    bool Succeeded() const;
    std::uint32_t BytesRead() const { return m_Request.transfer.transferBufferLength; }
    // Waits until nothing is pending.
    void WaitIdle();

private:
    static kernel::NTSTATUS OnComplete(io::DeviceObject* device, io::Irp* irp, void* context);

    IUsbDevice& m_Usb;
    usb::BulkOrInterruptTransfer m_Request{};
    void* m_pBuffer;
    std::uint32_t m_ulLength;
    usb::PipeHandle m_Pipe;
    io::Irp* m_pIrp = nullptr;
    kernel::Event m_Completed{kernel::EventType::Notification, true};
};

// The outer object's face to the function, without a reference: the outer
// object outlives the model it aggregates. Null when it has none.
IUsbDevice* UsbFaceOf(kernel::IUnknown* outer);
// Sends abort-pipe for the pipe and waits for it.
kernel::NTSTATUS AbortPipe(IUsbDevice& usb, usb::PipeHandle pipe);
