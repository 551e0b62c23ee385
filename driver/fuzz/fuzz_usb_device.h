// The adapter's USB face for the fuzz entries that run a device model on
// bytes of the fuzzer's: the model aggregated into it, the configuration and
// the device's answers taken from the bytes.
#pragma once

#include "driver/common/object_model.h"
#include "driver/devmodel/uac_device.h"
#include "driver/devmodel/uac_device_create.h"
#include "driver/engine/usb_device.h"
#include "driver/fuzz/fuzz_answers.h"
#include "platform/fuzz/fuzz_require.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

inline constexpr kernel::PoolTag FuzzUsbDeviceTag = kernel::poolTag("FzDv");

// Ids that let the release-1 model start without a product string.
inline constexpr std::uint16_t FuzzIdentifiedVendor = 0x047F;
inline constexpr std::uint16_t FuzzIdentifiedProduct = 0xD957;

// The configuration's length in the bytes: wTotalLength, cut to what there
// is; all of them when they are too few for a configuration descriptor.
inline std::size_t FuzzConfigurationLength(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < sizeof(usb::ConfigurationDescriptor)) return bytes.size();
    return std::min<std::size_t>(bytes[2] | bytes[3] << 8, bytes.size());
}

// The adapter's USB face over the bytes: its configuration is the bytes up
// to wTotalLength (cut to what there is, as the adapter hands out only what
// it read). The bytes after it answer the IN requests (class and vendor
// requests, string and other descriptors, interrupt reads) as
// CFuzzAnswers says; once they are used up, every request succeeds, IN
// requests with zeros and a RANGE with one sub-range.
class CFuzzUsbDevice : public CForwardingUnknown<CUnknown, IUsbDevice> {
public:
    CFuzzUsbDevice(kernel::IUnknown* outer, const std::uint8_t* data, std::size_t size)
        : CForwardingUnknown(outer), m_Bytes(data, data + size), m_Answers({}) {
        const std::size_t total = FuzzConfigurationLength(m_Bytes);
        if (m_Bytes.size() >= sizeof(usb::ConfigurationDescriptor)) {
            m_Bytes[2] = static_cast<std::uint8_t>(total);
            m_Bytes[3] = static_cast<std::uint8_t>(total >> 8);
        }
        m_Answers = CFuzzAnswers(std::span<const std::uint8_t>(data + total, size - total));
    }
    ~CFuzzUsbDevice() override {
        if (m_pInner != nullptr) m_pInner->NonDelegatingRelease();
    }

    // An adapter over the bytes, which the caller releases.
    static CFuzzUsbDevice* Make(std::span<const std::uint8_t> bytes) {
        CFuzzUsbDevice* adapter = nullptr;
        fuzzRequire(kernel::succeeded(CreateDriverObject<CFuzzUsbDevice>(
                        &adapter, nullptr, kernel::PoolType::NonPagedNx, FuzzUsbDeviceTag,
                        bytes.data(), bytes.size())),
                    "cannot make the adapter");
        return adapter;
    }

    // The model of the release, with the ids that let it start.
    kernel::NTSTATUS CreateModel(bool uac2) {
        return (uac2 ? CreateUac2Device : CreateUac1Device)(
            &m_pInner, GetOuterUnknown(), FuzzIdentifiedVendor, FuzzIdentifiedProduct);
    }
    // From now on the device answers from these bytes (they must outlive it).
    void AnswerFrom(std::span<const std::uint8_t> bytes) { m_Answers = CFuzzAnswers(bytes); }
    CFuzzAnswers& Answers() { return m_Answers; }
    CUacDevice* Model() const { return static_cast<CUacDevice*>(m_pInner); }

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override {
        const kernel::NTSTATUS status =
            AnswerAfterBase(CUnknown::NonDelegatingQueryInterface(id, object),
                            static_cast<IUsbDevice*>(this), id, IID_IUsbDevice, object);
        if (kernel::succeeded(status) || m_pInner == nullptr) return status;
        return m_pInner->NonDelegatingQueryInterface(id, object);
    }

    const usb::ConfigurationDescriptor* GetConfigurationDescriptor() override {
        if (m_Bytes.size() < sizeof(usb::ConfigurationDescriptor)) return nullptr;
        return reinterpret_cast<const usb::ConfigurationDescriptor*>(m_Bytes.data());
    }
    usb::ConfigurationHandle GetConfigurationHandle() override { return nullptr; }
    std::uint8_t GetControlInterfaceNumber() override { return 0; }
    kernel::NTSTATUS SetDevicePresent(std::uint8_t) override { return kernel::STATUS_SUCCESS; }
    kernel::NTSTATUS SendIrp(io::Irp*) override { return kernel::STATUS_NOT_SUPPORTED; }
    kernel::NTSTATUS SubmitUrb(usb::RequestHeader* request) override {
        usb::TransferFields* transfer = InTransferOf(*request);
        request->status = usb::BusStatus::success;
        if (transfer == nullptr) return kernel::STATUS_SUCCESS;
        if (!m_Answers.Exhausted()) {
            std::uint32_t moved = 0;
            const bool answered =
                m_Answers.Answer(transfer->transferBuffer, transfer->transferBufferLength, &moved);
            transfer->transferBufferLength = moved;
            if (answered) return kernel::STATUS_SUCCESS;
            request->status = usb::BusStatus::stall;
            return kernel::STATUS_UNSUCCESSFUL;
        }
        std::memset(transfer->transferBuffer, 0, transfer->transferBufferLength);
        if (usb::isClassOrVendor(request->function))
            AnswerRange(*reinterpret_cast<usb::ClassOrVendorRequest*>(request));
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS QueryBusTime(std::uint32_t* frame) override {
        *frame = 0;
        return kernel::STATUS_SUCCESS;
    }
    io::Irp* AllocateIrp() override { return nullptr; }
    kernel::NTSTATUS FreeIrp(io::Irp*) override { return kernel::STATUS_SUCCESS; }
    bool IsHighSpeed() override { return false; }
    bool IsDeviceGone() override { return false; }
    kernel::NTSTATUS CyclePort() override { return kernel::STATUS_NOT_SUPPORTED; }
    kernel::NTSTATUS ResetPort() override { return kernel::STATUS_NOT_SUPPORTED; }
    io::DeviceObject* GetLowerDevice() override { return nullptr; }
    std::int32_t AddActiveStream() override { return 1; }
    std::int32_t ReleaseActiveStream() override { return 0; }
    kernel::NTSTATUS CreateAudioDevice() override { return kernel::STATUS_NOT_SUPPORTED; }

private:
    // The transfer of a request that reads from the device into a buffer.
    static usb::TransferFields* InTransferOf(usb::RequestHeader& request) {
        const bool reads = usb::isClassOrVendor(request.function) ||
                           request.function == usb::Function::getDescriptorFromDevice ||
                           request.function == usb::Function::bulkOrInterruptTransfer;
        static_assert(sizeof(usb::BulkOrInterruptTransfer) <= sizeof(usb::ClassOrVendorRequest));
        if (!reads || request.length < sizeof(usb::BulkOrInterruptTransfer)) return nullptr;
        if (request.function != usb::Function::bulkOrInterruptTransfer &&
            request.length < sizeof(usb::ClassOrVendorRequest))
            return nullptr;
        auto& transfer = reinterpret_cast<usb::BulkOrInterruptTransfer*>(&request)->transfer;
        if ((transfer.transferFlags & usb::transfer_flags::directionIn) == 0 ||
            transfer.transferBuffer == nullptr)
            return nullptr;
        return &transfer;
    }

    // A release-2 RANGE gets one sub-range (zeros), and one of 32-bit values
    // (a clock's rates) 48 kHz, so the walks go on to the streaming interfaces.
    static void AnswerRange(usb::ClassOrVendorRequest& request) {
        constexpr std::uint8_t RangeRequest = 0x02;
        constexpr std::uint32_t Rate = 48000;
        auto* bytes = static_cast<std::uint8_t*>(request.transfer.transferBuffer);
        if (!usb::isClassOrVendor(request.header.function) || request.request != RangeRequest ||
            request.transfer.transferBufferLength < 8)
            return;
        bytes[0] = 1;
        if (request.transfer.transferBufferLength < 14) return;
        for (std::size_t at : {2u, 6u})
            for (std::size_t byte = 0; byte < 4; ++byte)
                bytes[at + byte] = static_cast<std::uint8_t>(Rate >> (8 * byte));
    }

    std::vector<std::uint8_t> m_Bytes;
    CFuzzAnswers m_Answers;
    INonDelegatingUnknown* m_pInner = nullptr;
};
