// The engines' view of the selected configuration: the alternate setting of
// their streaming interface and its isochronous data endpoint, and the
// packet arithmetic that follows from the endpoint.
#pragma once

#include "driver/engine/usb_device.h"
#include "platform/usb/configuration.h"

#include <cstdint>
#include <optional>

// The configuration the device runs, validated; an empty view when there is
// none.
usb::ConfigurationView ViewConfiguration(IUsbDevice& usb);

// The alternate setting of an audio streaming interface; null when the
// configuration has none.
const usb::InterfaceDescriptor* FindStreamingSetting(const usb::ConfigurationView& view,
                                                     std::uint8_t interfaceNumber,
                                                     std::uint8_t alternateSetting);

// The first isochronous data endpoint of the setting; null when it has none.
const usb::EndpointDescriptor* FindDataEndpoint(const usb::ConfigurationView& view,
                                                const usb::InterfaceDescriptor* setting);

// Packets a millisecond of a high-speed endpoint with the interval: 8, 4, 2
// and 1 for a bInterval of 1 to 4; an interval outside that range (0 is not
// valid, and longer periods are rarer than a packet a millisecond) sends
// one packet a millisecond.
std::uint32_t HighSpeedPacketsPerMillisecond(std::uint8_t bInterval);

// Bytes a high-speed packet may carry: the size field times the
// transactions a microframe (bits 11-12 give the extra ones).
std::uint32_t HighSpeedPacketBytes(std::uint16_t wMaxPacketSize);
