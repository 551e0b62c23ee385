#include "driver/fuzz/device_walks_fuzz.h"

#include "driver/devmodel/uac_device.h"
#include "driver/devmodel/uac_device_create.h"
#include "driver/engine/usb_device.h"
#include "driver/fuzz/fuzz_device.h"
#include "platform/fuzz/fuzz_require.h"
#include "platform/io/registry.h"
#include "platform/kernel/pool.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr kernel::PoolTag FuzzTag = kernel::poolTag("FzDv");
// Ids that let the release-1 model start without a product string.
constexpr std::uint16_t IdentifiedVendor = 0x047F;
constexpr std::uint16_t IdentifiedProduct = 0xD957;

// The adapter's USB face over the bytes: its configuration is the bytes
// with wTotalLength cut to what there is, as the adapter hands out only what
// it read; every request succeeds, IN requests with zeros.
class CFuzzUsbDevice : public CForwardingUnknown<CUnknown, IUsbDevice> {
public:
    CFuzzUsbDevice(kernel::IUnknown* outer, const std::uint8_t* data, std::size_t size)
        : CForwardingUnknown(outer), m_Bytes(data, data + size) {
        if (m_Bytes.size() >= sizeof(usb::ConfigurationDescriptor)) {
            const auto total = static_cast<std::uint16_t>(
                std::min<std::size_t>(m_Bytes[2] | m_Bytes[3] << 8, m_Bytes.size()));
            m_Bytes[2] = static_cast<std::uint8_t>(total);
            m_Bytes[3] = static_cast<std::uint8_t>(total >> 8);
        }
    }
    ~CFuzzUsbDevice() override {
        if (m_pInner != nullptr) m_pInner->NonDelegatingRelease();
    }

    kernel::NTSTATUS CreateModel(bool uac2) {
        return (uac2 ? CreateUac2Device : CreateUac1Device)(&m_pInner, GetOuterUnknown(),
                                                            IdentifiedVendor, IdentifiedProduct);
    }
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
        if (request->length >= sizeof(usb::ClassOrVendorRequest) &&
            (usb::isClassOrVendor(request->function) ||
             request->function == usb::Function::getDescriptorFromDevice)) {
            auto& transfer = reinterpret_cast<usb::ClassOrVendorRequest*>(request)->transfer;
            if ((transfer.transferFlags & usb::transfer_flags::directionIn) != 0 &&
                transfer.transferBuffer != nullptr) {
                std::memset(transfer.transferBuffer, 0, transfer.transferBufferLength);
                AnswerRange(*reinterpret_cast<usb::ClassOrVendorRequest*>(request));
            }
        }
        request->status = usb::BusStatus::success;
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
    INonDelegatingUnknown* m_pInner = nullptr;
};

// What a model that started promises of each endpoint: the nodes of its
// path. (Formats it may lack: a streaming interface may end before its
// format descriptor.)
void CheckEndpoints(IAudioHal& hal) {
    for (std::uint32_t index = 0; index < hal.GetEndpointCount(); ++index) {
        IStreamEngine* engine = nullptr;
        fuzzRequire(kernel::succeeded(hal.GetEndpoint(index, &engine)), "an endpoint is missing");
        fuzzRequire(engine->GetEntityCount() != 0, "an endpoint has no node");
    }
}

void WalkWith(bool uac2, const std::uint8_t* data, std::size_t size, io::DeviceObject* device) {
    CFuzzUsbDevice* adapter = nullptr;
    fuzzRequire(kernel::succeeded(CreateDriverObject<CFuzzUsbDevice>(
                    &adapter, nullptr, kernel::PoolType::NonPagedNx, FuzzTag, data, size)),
                "cannot make the adapter");
    if (kernel::succeeded(adapter->CreateModel(uac2))) {
        IAudioHal* hal = adapter->Model();
        const kernel::NTSTATUS status = hal->Init(nullptr, device, nullptr, nullptr);
        fuzzRequire(status == kernel::STATUS_SUCCESS || kernel::isError(status),
                    "Init ended with a warning");
        if (kernel::succeeded(status)) CheckEndpoints(*hal);
    }
    adapter->NonDelegatingRelease();
}

} // namespace

int FuzzDeviceWalks(const std::uint8_t* pData, std::size_t cbData) {
    io::Registry registry;
    const CFuzzDevice device;
    const std::uint64_t serial = kernel::poolAllocationSerial();
    WalkWith(false, pData, cbData, device.Get());
    WalkWith(true, pData, cbData, device.Get());
    fuzzRequire(kernel::poolBlocksSince(serial).empty(), "the walks left a pool block");
    return 0;
}
