// The adapter as the stream engines' tests give it: one object that answers
// IAudioHal (a HAL whose children the test adds) and IUsbDevice over a
// simulated bus. The configuration is selected when the adapter is made.
// A request record is sent down as the submit-request internal device
// control and waited for: on the test's own thread by settling the manual
// clock, on any other (the engine's worker, a client thread) by waiting
// while the test drives the clock.
#pragma once

#include "driver/engine/audio_hal.h"
#include "driver/engine/usb_device.h"
#include "platform/io/irp.h"
#include "platform/kernel/event.h"
#include "platform/usb/select_request.h"
#include "sim/usb/tests/bus_stack.h"

#include <cstdint>
#include <thread>

namespace usbstream_test {

class CStreamTestAdapter : public CForwardingUnknown<CAudioHal, IUsbDevice> {
public:
    using CForwardingUnknown::CForwardingUnknown;

    // Selects the configuration with every interface at setting 0 and
    // initialises the HAL's lists.
    kernel::NTSTATUS Attach(usbsimtest::BusStack* stack);

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;
    kernel::NTSTATUS ParseDescriptors() override { return kernel::STATUS_SUCCESS; }

    const usb::ConfigurationDescriptor* GetConfigurationDescriptor() override;
    usb::ConfigurationHandle GetConfigurationHandle() override { return m_ConfigurationHandle; }
    std::uint8_t GetControlInterfaceNumber() override { return 0; }
    kernel::NTSTATUS SetDevicePresent(std::uint8_t present) override {
        m_Present = present;
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS SendIrp(io::Irp* irp) override;
    kernel::NTSTATUS SubmitUrb(usb::RequestHeader* request) override;
    kernel::NTSTATUS QueryBusTime(std::uint32_t* frame) override;
    io::Irp* AllocateIrp() override;
    kernel::NTSTATUS FreeIrp(io::Irp* irp) override;
    bool IsHighSpeed() override;
    bool IsDeviceGone() override;
    kernel::NTSTATUS CyclePort() override { return kernel::STATUS_NOT_SUPPORTED; }
    kernel::NTSTATUS ResetPort() override;
    io::DeviceObject* GetLowerDevice() override;
    std::int32_t AddActiveStream() override;
    std::int32_t ReleaseActiveStream() override;
    kernel::NTSTATUS CreateAudioDevice() override { return kernel::STATUS_NOT_SUPPORTED; }

    std::int32_t ActiveStreams() const;
    int PortResets() const { return m_PortResets; }
    // Submits of request records, by anyone.
    int Submitted() const { return m_Submitted; }
    // The next isochronous transfers go down with no pipe, so the bus
    // refuses them as it does a broken request: a failure, the device still
    // there.
    void BreakTransfers(int count) { m_BreakTransfers = count; }
    // What the next IsDeviceGone says, whatever the bus.
    void SetGoneAnswer(bool gone) { m_GoneOverride = gone ? 1 : 0; }

private:
    kernel::NTSTATUS SendAndWait(std::uint32_t code, void* argument);

    usbsimtest::BusStack* m_pStack = nullptr;
    std::thread::id m_TestThread;
    usb::RequestBlock m_Select;
    usb::ConfigurationHandle m_ConfigurationHandle = nullptr;
    std::uint8_t m_Present = 1;
    std::int32_t m_lActiveStreams = 0;
    int m_PortResets = 0;
    int m_Submitted = 0;
    int m_GoneOverride = -1;
    int m_BreakTransfers = 0;
};

} // namespace usbstream_test
