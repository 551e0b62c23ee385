#include "driver/usbstream/transfer_contexts.h"

#include <cstring>

CTransferContextSet::~CTransferContextSet() { Free(); }

kernel::NTSTATUS CTransferContextSet::Create(IUsbDevice& usb, CUsbStreamEngine* engine,
                                             std::uint32_t packets, std::size_t bufferBytes) {
    Free();
    m_RecordBytes = usb::isochronousTransferSize(packets);
    if (m_RecordBytes == 0 || packets == 0 || bufferBytes == 0)
        return kernel::STATUS_INVALID_PARAMETER;
    m_pUsb = &usb;
    m_BufferBytes = bufferBytes;
    for (std::uint32_t slot = 0; slot < TransferSlots; ++slot) {
        TransferContext* context = MakeContext(slot);
        if (context == nullptr) {
            Free();
            return kernel::STATUS_INSUFFICIENT_RESOURCES;
        }
        context->Engine = engine;
        m_Free[slot] = context;
    }
    return kernel::STATUS_SUCCESS;
}

TransferContext* CTransferContextSet::MakeContext(std::uint32_t slot) {
    auto* context = static_cast<TransferContext*>(
        kernel::allocatePool(kernel::PoolType::NonPagedNx, sizeof(TransferContext), TransferTag));
    if (context == nullptr) return nullptr;
    std::memset(context, 0, sizeof(*context));
    context->Slot = slot;
    context->Urb = static_cast<usb::IsochronousTransfer*>(
        kernel::allocatePool(kernel::PoolType::NonPagedNx, m_RecordBytes, TransferTag));
    context->Buffer = static_cast<std::uint8_t*>(
        kernel::allocatePool(kernel::PoolType::NonPagedNx, m_BufferBytes, TransferTag));
    context->Irp = m_pUsb->AllocateIrp();
    if (context->Urb == nullptr || context->Buffer == nullptr || context->Irp == nullptr) {
        FreeContext(context);
        return nullptr;
    }
    return context;
}

void CTransferContextSet::FreeContext(TransferContext* context) {
    if (context->Irp != nullptr) m_pUsb->FreeIrp(context->Irp);
    if (context->Urb != nullptr) kernel::freePoolWithTag(context->Urb, TransferTag);
    if (context->Buffer != nullptr) kernel::freePoolWithTag(context->Buffer, TransferTag);
    kernel::freePoolWithTag(context, TransferTag);
}

void CTransferContextSet::Free() {
    if (m_pUsb == nullptr) return;
    for (std::uint32_t slot = 0; slot < TransferSlots; ++slot) {
        // A context still in use would be freed under its transfer; it is
        // left to leak rather than corrupt the request in flight.
        if (m_Free[slot] != nullptr) FreeContext(m_Free[slot]);
        m_Free[slot] = nullptr;
        m_InUse[slot] = nullptr;
    }
    m_pUsb = nullptr;
    m_RecordBytes = 0;
    m_BufferBytes = 0;
}

TransferContext* CTransferContextSet::Take() {
    kernel::SpinLockGuard lock(m_Lock);
    for (std::uint32_t slot = 0; slot < TransferSlots; ++slot) {
        if (m_Free[slot] == nullptr) continue;
        TransferContext* context = m_Free[slot];
        m_Free[slot] = nullptr;
        m_InUse[slot] = context;
        return context;
    }
    return nullptr;
}

void CTransferContextSet::Return(TransferContext* context) {
    kernel::SpinLockGuard lock(m_Lock);
    m_InUse[context->Slot] = nullptr;
    m_Free[context->Slot] = context;
}

std::uint32_t CTransferContextSet::InUse() const {
    kernel::SpinLockGuard lock(m_Lock);
    std::uint32_t count = 0;
    for (const TransferContext* context : m_InUse) count += context != nullptr ? 1 : 0;
    return count;
}
