// The generic model of a USB Audio Class 2 function: the release's entity
// classes and endpoint records, and a status thread that reads the 6-byte
// interrupt messages: the entity re-reads the control that changed and
// announces its node; a terminal's connector change installs every endpoint
// again. A bulk IN pipe beside it is kept read, its data unused.
#pragma once

#include "driver/devmodel/uac_device.h"
#include "driver/devmodel/uac_status_pipe.h"

#include <cstdint>

inline constexpr kernel::PoolTag Uac2DeviceTag = kernel::poolTag("UAC2");
inline constexpr int Uac2StatusThreadPriority = 16;

class CUac2Device : public CUacDevice {
public:
    CUac2Device(kernel::IUnknown* outer, std::uint16_t vendorId, std::uint16_t productId)
        : CUacDevice(outer, vendorId, productId, usb::AudioRelease::uac2, Uac2DeviceTag) {}
    ~CUac2Device() override;

    // The status thread only: the children are started and stopped by the
    // HAL's own callers.
    kernel::NTSTATUS Start() override;
    kernel::NTSTATUS Stop() override;
    kernel::NTSTATUS GetEndpointInfoRecord(std::uint32_t direction, std::uint32_t endpointType,
                                           EndpointInfoRecord* record) override;

    // A change of one control the device reported.
    kernel::NTSTATUS OnStatus(std::uint32_t entityId, std::uint8_t selector, std::uint8_t channel);
    // One interrupt message as the status pipe delivers it.
    void OnStatusMessage(const std::uint8_t* message, std::uint32_t length);

protected:
    bool RunsAfterParseOnPowerUp() const override { return false; }
    void WaitBeforeInstall() override;

private:
    static void StatusThread(void* context);
    void RunStatusThread();

    CStatusPipe m_StatusPipe;
};
