#include "driver/devmodel/chips/n3w8/n3w8_registers.h"

#include "driver/common/pool_buffer.h"
#include "driver/devmodel/chips/n3w8/n3w8_dsp_nodes.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/usb_device.h"
#include "platform/kernel/dispatcher.h"
#include "platform/usb/requests.h"

#include <new>

namespace {

// The register path: a 4-byte output report to interface 3; the chip's
// state comes back in a 3-byte input report from the same interface.
constexpr std::uint8_t GetReport = 0x01;
constexpr std::uint8_t SetReport = 0x09;
constexpr std::uint16_t InputReport = 0x0100;
constexpr std::uint16_t OutputReport = 0x0200;
constexpr std::uint16_t RegisterInterface = 3;
constexpr std::uint8_t RegisterReportId = 0x20;
constexpr std::uint32_t ResetRegister = 5;
constexpr std::uint16_t ResetBits = 0x3000;
constexpr std::uint16_t FullMask = 0xFFFF;

} // namespace

CN3W8Registers::CN3W8Registers(kernel::IUnknown* device) : m_pDevice(device) {}

void CN3W8Registers::Load(const std::array<Entry, N3W8RegisterCount>& entries) {
    CMutexLockScope scope(m_Lock);
    m_Cache = entries;
}

kernel::NTSTATUS CN3W8Registers::SendReportRequest(bool in, std::uint8_t request,
                                                   std::uint16_t value,
                                                   std::span<std::uint8_t> report,
                                                   std::uint32_t* transferred) {
    CQueriedInterface<IUsbDevice> usb(m_pDevice, IID_IUsbDevice);
    if (!usb) return kernel::STATUS_UNSUCCESSFUL;
    CPoolBuffer block(kernel::PoolType::NonPagedNx, sizeof(usb::ClassOrVendorRequest), N3W8Tag);
    if (!block.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    auto* record = new (block.Get()) usb::ClassOrVendorRequest{};
    record->header.length = sizeof(*record);
    record->header.function = usb::Function::classInterface;
    record->transfer.transferFlags = in ? usb::transfer_flags::directionIn : 0;
    record->transfer.transferBufferLength = static_cast<std::uint32_t>(report.size());
    record->transfer.transferBuffer = report.data();
    record->request = request;
    record->value = value;
    record->index = RegisterInterface;
    const kernel::NTSTATUS status = usb->SubmitUrb(&record->header);
    if (transferred != nullptr) *transferred = record->transfer.transferBufferLength;
    return status;
}

kernel::NTSTATUS CN3W8Registers::SendRegister(std::uint32_t index, std::uint16_t value) {
    std::uint8_t report[] = {RegisterReportId, static_cast<std::uint8_t>(value),
                             static_cast<std::uint8_t>(value >> 8),
                             static_cast<std::uint8_t>(index)};
    return SendReportRequest(false, SetReport, OutputReport, report, nullptr);
}

// Only the first byte carries state, so an answer without it is a failure.
kernel::NTSTATUS
CN3W8Registers::ReadInputReport(std::span<std::uint8_t, N3W8InputReportBytes> report) {
    std::uint32_t transferred = 0;
    const kernel::NTSTATUS status =
        SendReportRequest(true, GetReport, InputReport, report, &transferred);
    if (!kernel::succeeded(status)) return status;
    return transferred == 0 ? kernel::STATUS_UNSUCCESSFUL : status;
}

kernel::NTSTATUS CN3W8Registers::WriteRegister(std::uint32_t index, std::uint16_t value,
                                               std::uint16_t mask) {
    if (index >= N3W8RegisterCount) return kernel::STATUS_UNSUCCESSFUL;
    if (mask == 0) return kernel::STATUS_SUCCESS;
    CMutexLockScope scope(m_Lock);
    Entry& entry = m_Cache[index];
    const std::uint16_t merged =
        mask == FullMask ? value
                         : static_cast<std::uint16_t>((value & mask) | (entry.value & ~mask));
    const kernel::NTSTATUS status = SendRegister(index, merged);
    if (!kernel::succeeded(status)) return status;
    entry.value = merged;
    entry.flags = static_cast<std::uint16_t>(entry.flags & ~Unwritten);
    return status;
}

kernel::NTSTATUS CN3W8Registers::ReadRegister(std::uint32_t index, std::uint16_t* value) {
    if (index >= N3W8RegisterCount || value == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    CMutexLockScope scope(m_Lock);
    *value = m_Cache[index].value;
    return kernel::STATUS_SUCCESS;
}

CN3W8Registers::Entry CN3W8Registers::GetEntry(std::uint32_t index) {
    CMutexLockScope scope(m_Lock);
    return index < N3W8RegisterCount ? m_Cache[index] : Entry{};
}

kernel::NTSTATUS CN3W8Registers::ResetRegisters() {
    kernel::NTSTATUS status = WriteRegister(ResetRegister, 0, ResetBits);
    if (!kernel::succeeded(status)) return status;
    kernel::delayExecution(N3W8ResetSettleTime);
    status = WriteRegister(ResetRegister, ResetBits, ResetBits);
    for (std::uint32_t index = 0; kernel::succeeded(status) && index < ResetRegister; ++index) {
        const Entry entry = GetEntry(index);
        if ((entry.flags & RestoreAtReset) != 0)
            status = WriteRegister(index, entry.value, FullMask);
    }
    return status;
}
