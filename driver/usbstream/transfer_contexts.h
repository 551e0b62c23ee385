// The transfer contexts of a stream: each an I/O request made for the
// adapter's stack, a request record of isochronous packets and a packet
// buffer, made when the stream is prepared and reused for every transfer,
// so nothing is allocated while the stream runs. A context moves between
// the free and the in-use slots under the set's spin lock.
#pragma once

#include "driver/engine/usb_device.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/spin_lock.h"
#include "platform/usb/requests.h"

#include <cstddef>
#include <cstdint>

class CUsbStreamEngine;

// Request records, packet buffers and contexts.
inline constexpr kernel::PoolTag TransferTag = kernel::poolTag("URB ");
inline constexpr std::uint32_t TransferSlots = 10;

struct TransferContext {
    io::Irp* Irp;
    usb::IsochronousTransfer* Urb;
    CUsbStreamEngine* Engine;
    std::uint32_t Bytes; // of the last transfer
    std::uint8_t* Buffer;
    std::uint32_t Slot;
};

class CTransferContextSet {
public:
    CTransferContextSet() = default;
    ~CTransferContextSet();
    CTransferContextSet(const CTransferContextSet&) = delete;
    CTransferContextSet& operator=(const CTransferContextSet&) = delete;

    // TransferSlots contexts whose records hold `packets` packets and whose
    // buffers hold `bufferBytes`. STATUS_INSUFFICIENT_RESOURCES (nothing
    // kept) when any part cannot be had, STATUS_INVALID_PARAMETER when the
    // record's length cannot carry the packets.
    kernel::NTSTATUS Create(IUsbDevice& usb, CUsbStreamEngine* engine, std::uint32_t packets,
                            std::size_t bufferBytes);
    // Every context back to the pool, its request to the adapter. The
    // contexts must all be free (no transfer in flight).
    void Free();
    bool Exists() const { return m_pUsb != nullptr; }

    // A free context, now in use; null when every one is in use.
    TransferContext* Take();
    void Return(TransferContext* context);
    std::uint32_t InUse() const;
    std::uint16_t RecordBytes() const { return m_RecordBytes; }
    std::size_t BufferBytes() const { return m_BufferBytes; }

private:
    TransferContext* MakeContext(std::uint32_t slot);
    void FreeContext(TransferContext* context);

    IUsbDevice* m_pUsb = nullptr; // no reference: the adapter outlives the stream
    std::uint16_t m_RecordBytes = 0;
    std::size_t m_BufferBytes = 0;
    mutable kernel::SpinLock m_Lock;
    TransferContext* m_InUse[TransferSlots] = {};
    TransferContext* m_Free[TransferSlots] = {};
};
