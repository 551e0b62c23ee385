// A release 2 clock source as the stream engines' tests give it: a child of
// the HAL that sets its rate on the device with SET CUR, as the device
// model's clock entity does.
#pragma once

#include "driver/engine/clock_item.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/usb_device.h"
#include "driver/usbstream/stream_requests.h"
#include "platform/usb/audio_requests.h"

#include <cstdint>

namespace usbstream_test {

class CTestClockSource : public CForwardingUnknown<CAudioNode, IClockSource> {
public:
    CTestClockSource(kernel::IUnknown* outer, std::uint32_t id, IUsbDevice* usb)
        : CForwardingUnknown(outer, id, 0), m_pUsb(usb) {}

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override {
        return AnswerAfterBase(CAudioNode::NonDelegatingQueryInterface(id, object),
                               static_cast<IClockSource*>(this), id, IID_IClockSource, object);
    }
    kernel::NTSTATUS GetSampleRates(std::uint32_t*, std::uint32_t*) override {
        return kernel::STATUS_NOT_SUPPORTED;
    }
    kernel::NTSTATUS GetSampleRateCount(std::uint32_t*) override {
        return kernel::STATUS_NOT_SUPPORTED;
    }
    kernel::NTSTATUS SetSampleRate(std::uint32_t rate) override {
        std::uint8_t bytes[4] = {
            static_cast<std::uint8_t>(rate), static_cast<std::uint8_t>(rate >> 8),
            static_cast<std::uint8_t>(rate >> 16), static_cast<std::uint8_t>(rate >> 24)};
        const std::uint16_t index = static_cast<std::uint16_t>(GetId() << 8);
        return SendStreamControl(
            *m_pUsb,
            {.function = usb::Function::classInterface,
             .in = false,
             .request = usb::uac2::request::cur,
             .value = usb::controlValue(usb::uac2::clock_source_control::samplingFrequency, 0),
             .index = index,
             .buffer = bytes,
             .length = sizeof(bytes)});
    }
    kernel::NTSTATUS GetSampleRate(std::uint32_t*) override { return kernel::STATUS_NOT_SUPPORTED; }
    kernel::NTSTATUS GetClockValid(std::uint8_t*) override { return kernel::STATUS_NOT_SUPPORTED; }

private:
    IUsbDevice* m_pUsb;
};

} // namespace usbstream_test
