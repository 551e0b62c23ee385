// The generic model of a USB Audio Class 1 function: the product
// identification that fills the device's information record, the release's
// entity classes and endpoint records, and a status thread that reads the
// 2-byte status interrupt: the entity that reported a change re-reads
// itself, terminals install every endpoint again, other entities announce
// each item that read back.
#pragma once

#include "driver/devmodel/uac_device.h"
#include "driver/devmodel/uac_status_pipe.h"

#include <cstdint>

inline constexpr kernel::PoolTag Uac1DeviceTag = kernel::poolTag("UAC1");
inline constexpr int Uac1StatusThreadPriority = 24;

class CUac1Device : public CUacDevice {
public:
    CUac1Device(kernel::IUnknown* outer, std::uint16_t vendorId, std::uint16_t productId)
        : CUacDevice(outer, vendorId, productId, usb::AudioRelease::uac1, Uac1DeviceTag) {}
    ~CUac1Device() override;

    kernel::NTSTATUS ParseDescriptors() override;
    kernel::NTSTATUS Start() override;
    kernel::NTSTATUS Stop() override;
    kernel::NTSTATUS GetEndpointInfoRecord(std::uint32_t direction, std::uint32_t endpointType,
                                           EndpointInfoRecord* record) override;

    // A change the device reported for the entity.
    kernel::NTSTATUS OnStatus(std::uint32_t entityId);
    // One status message as the interrupt pipe delivers it.
    void OnStatusMessage(const std::uint8_t* message, std::uint32_t length);

protected:
    bool RunsAfterParseOnPowerUp() const override { return true; }

private:
    kernel::NTSTATUS IdentifyProduct();
    static void StatusThread(void* context);
    void RunStatusThread();
    void RefreshEntities();

    CStatusPipe m_StatusPipe;
};
