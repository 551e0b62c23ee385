#include "driver/usbstream/streaming_descriptors.h"

#include "platform/usb/descriptors.h"

#include <span>

namespace {

constexpr std::uint8_t MaxHighSpeedInterval = 4;
constexpr std::uint32_t MicroframesPerMillisecond = 8;
constexpr std::uint16_t PacketSizeMask = 0x7FF;
constexpr unsigned TransactionShift = 11;
constexpr std::uint16_t TransactionMask = 0x3;

} // namespace

usb::ConfigurationView ViewConfiguration(IUsbDevice& usb) {
    const usb::ConfigurationDescriptor* configuration = usb.GetConfigurationDescriptor();
    if (configuration == nullptr) return usb::ConfigurationView(std::span<const std::uint8_t>());
    return usb::ConfigurationView(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(configuration), configuration->wTotalLength.value()));
}

const usb::InterfaceDescriptor* FindStreamingSetting(const usb::ConfigurationView& view,
                                                     std::uint8_t interfaceNumber,
                                                     std::uint8_t alternateSetting) {
    if (!view.valid()) return nullptr;
    return view.findInterface({.number = interfaceNumber,
                               .alternateSetting = alternateSetting,
                               .interfaceClass = usb::interface_class::audio,
                               .subclass = usb::audio_subclass::streaming});
}

const usb::EndpointDescriptor* FindDataEndpoint(const usb::ConfigurationView& view,
                                                const usb::InterfaceDescriptor* setting) {
    if (setting == nullptr) return nullptr;
    for (std::size_t index = 0;; ++index) {
        const usb::EndpointDescriptor* endpoint = view.findEndpoint(setting, index);
        if (endpoint == nullptr) return nullptr;
        if (usb::endpoint::transferType(endpoint->bmAttributes) ==
                usb::endpoint::TransferType::isochronous &&
            usb::endpoint::usage(endpoint->bmAttributes) == usb::endpoint::Usage::data)
            return endpoint;
    }
}

std::uint32_t HighSpeedPacketsPerMillisecond(std::uint8_t bInterval) {
    if (bInterval == 0 || bInterval > MaxHighSpeedInterval) return 1;
    return MicroframesPerMillisecond >> (bInterval - 1);
}

std::uint32_t HighSpeedPacketBytes(std::uint16_t wMaxPacketSize) {
    const std::uint32_t transactions =
        1u + ((wMaxPacketSize >> TransactionShift) & TransactionMask);
    return (wMaxPacketSize & PacketSizeMask) * transactions;
}
