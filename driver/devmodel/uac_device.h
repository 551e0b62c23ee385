// What the USB Audio Class 1 and 2 device models share: a HAL that also
// answers IAudioDeviceModel, owns the entities its control walk created (in
// a list where each new entity goes to the head), finds them by id, renames
// endpoints whose terminal switched type, and passes power changes on to
// every endpoint. The releases differ in their walks' entity classes, their
// endpoint information tables and their status-interrupt threads.
#pragma once

#include "driver/devmodel/audio_device_model.h"
#include "driver/engine/audio_hal.h"
#include "driver/engine/usb_device.h"
#include "driver/usbstream/usb_stream_records.h"
#include "platform/usb/audio_descriptors.h"

#include <cstdint>

class CList;

// The AudioControl interface number before the walk found one.
inline constexpr std::uint8_t NoControlInterface = 0xFF;

class CUacDevice : public CForwardingUnknown<CAudioHal, IAudioDeviceModel> {
public:
    CUacDevice(kernel::IUnknown* outer, std::uint16_t vendorId, std::uint16_t productId,
               usb::AudioRelease release, kernel::PoolTag tag);
    ~CUacDevice() override;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // IAudioHal
    kernel::NTSTATUS GetInfoRecord(std::uint32_t endpoint, EndpointInfoRecord* record) override;
    kernel::NTSTATUS Init(const io::ResourceList* resources, io::DeviceObject* device,
                          io::DeviceObject* lowerDevice, io::DeviceObject* physicalDevice) override;
    kernel::NTSTATUS ParseDescriptors() override;

    // IAudioDeviceModel
    kernel::NTSTATUS UpdateEndpoints(std::uint32_t nodeId) override;
    using CAudioHal::GetCallbackObject;
    kernel::NTSTATUS GetCallbackObject(kernel::CallbackObject** object) override;
    kernel::NTSTATUS ParseControlInterface(const usb::InterfaceDescriptor* interface,
                                           std::uint32_t length) override;
    kernel::NTSTATUS ParseStreamingInterfaces(const usb::ConfigurationDescriptor* configuration,
                                              const usb::InterfaceDescriptor* interface,
                                              std::uint32_t length) override;
    kernel::NTSTATUS AfterParse() override { return kernel::STATUS_SUCCESS; }

    // IAdapterPowerManagement
    void PowerChangeState(io::DevicePowerState newState) override;

    // The earliest created entity of that id; no reference is added.
    // STATUS_UNSUCCESSFUL when none has it.
    kernel::NTSTATUS FindEntityById(std::uint32_t id, IAudioNode** entity) const;
    // Adds a reference and puts the entity at the head of the list.
    kernel::NTSTATUS AddEntity(IAudioNode* entity);
    std::uint32_t GetEntityCount() const;
    // The entity at the index from the head; null beyond the end.
    IAudioNode* EntityAt(std::uint32_t index) const;

    std::uint16_t VendorId() const { return m_usVendorId; }
    std::uint16_t ProductId() const { return m_usProductId; }
    usb::AudioRelease AudioRelease() const { return m_Release; }
    kernel::PoolTag Tag() const { return m_Tag; }
    std::uint8_t ControlInterfaceNumber() const { return m_ControlInterface; }
    // The outer object, which answers IUsbDevice for the function; no
    // reference is added.
    kernel::IUnknown* UsbDevice() const { return GetOuterUnknown(); }
    // Every endpoint installed again, as after a connector change; stops at
    // the first failure.
    kernel::NTSTATUS ReinstallEndpoints();

protected:
    // Whether a return to D0 runs AfterParse before the children's values
    // are written.
    virtual bool RunsAfterParseOnPowerUp() const = 0;
    // Between naming an endpoint again and installing it.
    virtual void WaitBeforeInstall() {}
    // What follows when an endpoint was named again for the switch the node
    // announced: by default it is installed again under its new name.
    virtual kernel::NTSTATUS AfterRename(IStreamEngine& engine, std::uint32_t nodeId);
    // Both walks on the configuration the outer object holds.
    kernel::NTSTATUS ParseInterfaces();

private:
    kernel::NTSTATUS RenameEndpoint(IStreamEngine& engine, std::uint32_t index,
                                    std::uint32_t nodeId);

    const std::uint16_t m_usVendorId;
    const std::uint16_t m_usProductId;
    const usb::AudioRelease m_Release;
    const kernel::PoolTag m_Tag;
    std::uint8_t m_ControlInterface = NoControlInterface;
    CList* m_pEntities = nullptr;
};
