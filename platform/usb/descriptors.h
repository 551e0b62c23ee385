// The standard USB descriptors, byte for byte as the device sends them. Every
// record is made of bytes and little-endian fields, so it has alignment 1 and
// may be laid over a descriptor inside a configuration's bytes once the
// configuration has been validated (configuration.h).
#pragma once

#include "platform/usb/little_endian.h"

#include <cstddef>
#include <cstdint>

namespace usb {

namespace descriptor_type {
inline constexpr std::uint8_t device = 0x01;
inline constexpr std::uint8_t configuration = 0x02;
inline constexpr std::uint8_t string = 0x03;
inline constexpr std::uint8_t interface = 0x04;
inline constexpr std::uint8_t endpoint = 0x05;
inline constexpr std::uint8_t interfaceAssociation = 0x0B;
inline constexpr std::uint8_t classInterface = 0x24; // class-specific, of an interface
inline constexpr std::uint8_t classEndpoint = 0x25;  // class-specific, of an endpoint
} // namespace descriptor_type

// What every descriptor begins with.
struct CommonDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
};

struct DeviceDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    Le16 bcdUSB;
    std::uint8_t bDeviceClass;
    std::uint8_t bDeviceSubClass;
    std::uint8_t bDeviceProtocol;
    std::uint8_t bMaxPacketSize0;
    Le16 idVendor;
    Le16 idProduct;
    Le16 bcdDevice;
    std::uint8_t iManufacturer;
    std::uint8_t iProduct;
    std::uint8_t iSerialNumber;
    std::uint8_t bNumConfigurations;
};

struct ConfigurationDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    Le16 wTotalLength; // this descriptor and every one that belongs to the configuration
    std::uint8_t bNumInterfaces;
    std::uint8_t bConfigurationValue;
    std::uint8_t iConfiguration;
    std::uint8_t bmAttributes; // bit 7 always set, bit 6 self-powered, bit 5 remote wake-up
    std::uint8_t bMaxPower;    // in 2 mA units
};

struct InterfaceDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bInterfaceNumber;
    std::uint8_t bAlternateSetting;
    std::uint8_t bNumEndpoints;
    std::uint8_t bInterfaceClass;
    std::uint8_t bInterfaceSubClass;
    std::uint8_t bInterfaceProtocol;
    std::uint8_t iInterface;
};

struct EndpointDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bEndpointAddress; // bit 7 set: IN (device to host)
    std::uint8_t bmAttributes;     // bits 0-1 transfer type, 2-3 synchronisation, 4-5 usage
    Le16 wMaxPacketSize;
    std::uint8_t bInterval;
};

struct InterfaceAssociationDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bFirstInterface;
    std::uint8_t bInterfaceCount;
    std::uint8_t bFunctionClass;
    std::uint8_t bFunctionSubClass;
    std::uint8_t bFunctionProtocol;
    std::uint8_t iFunction;
};

// A string descriptor's two header bytes; UTF-16LE code units follow, or,
// for index 0, the 16-bit language ids the device offers.
struct StringDescriptorHeader {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
};

static_assert(sizeof(CommonDescriptor) == 2);
static_assert(sizeof(DeviceDescriptor) == 18 && alignof(DeviceDescriptor) == 1);
static_assert(offsetof(DeviceDescriptor, bcdUSB) == 2 &&
              offsetof(DeviceDescriptor, idVendor) == 8 &&
              offsetof(DeviceDescriptor, idProduct) == 10 &&
              offsetof(DeviceDescriptor, iManufacturer) == 14 &&
              offsetof(DeviceDescriptor, bNumConfigurations) == 17);
static_assert(sizeof(ConfigurationDescriptor) == 9);
static_assert(offsetof(ConfigurationDescriptor, wTotalLength) == 2 &&
              offsetof(ConfigurationDescriptor, bConfigurationValue) == 5 &&
              offsetof(ConfigurationDescriptor, bMaxPower) == 8);
static_assert(sizeof(InterfaceDescriptor) == 9);
static_assert(offsetof(InterfaceDescriptor, bNumEndpoints) == 4 &&
              offsetof(InterfaceDescriptor, bInterfaceProtocol) == 7);
static_assert(sizeof(EndpointDescriptor) == 7);
static_assert(offsetof(EndpointDescriptor, wMaxPacketSize) == 4 &&
              offsetof(EndpointDescriptor, bInterval) == 6);
static_assert(sizeof(InterfaceAssociationDescriptor) == 8);
static_assert(sizeof(StringDescriptorHeader) == 2);

// Endpoint address and attribute fields.
namespace endpoint {
inline constexpr std::uint8_t directionIn = 0x80;
inline constexpr std::uint8_t numberMask = 0x0F;

enum class TransferType : std::uint8_t { control = 0, isochronous = 1, bulk = 2, interrupt = 3 };
enum class Synchronisation : std::uint8_t {
    none = 0,
    asynchronous = 1,
    adaptive = 2,
    synchronous = 3
};
enum class Usage : std::uint8_t { data = 0, feedback = 1, implicitFeedbackData = 2 };

constexpr bool isIn(std::uint8_t address) { return (address & directionIn) != 0; }
constexpr TransferType transferType(std::uint8_t attributes) {
    return static_cast<TransferType>(attributes & 0x03);
}
constexpr Synchronisation synchronisation(std::uint8_t attributes) {
    return static_cast<Synchronisation>((attributes >> 2) & 0x03);
}
constexpr Usage usage(std::uint8_t attributes) {
    return static_cast<Usage>((attributes >> 4) & 0x03);
}
constexpr std::uint8_t attributes(TransferType type, Synchronisation sync = Synchronisation::none,
                                  Usage use = Usage::data) {
    return static_cast<std::uint8_t>(static_cast<unsigned>(type) |
                                     static_cast<unsigned>(sync) << 2 |
                                     static_cast<unsigned>(use) << 4);
}
} // namespace endpoint

// Interface classes this layer knows by name.
namespace interface_class {
inline constexpr std::uint8_t audio = 0x01;
inline constexpr std::uint8_t hid = 0x03;
} // namespace interface_class

namespace audio_subclass {
inline constexpr std::uint8_t control = 0x01;
inline constexpr std::uint8_t streaming = 0x02;
} // namespace audio_subclass

// bInterfaceProtocol of an audio interface: which release of the audio
// class its class-specific descriptors and requests follow.
namespace audio_protocol {
inline constexpr std::uint8_t version1 = 0x00;
inline constexpr std::uint8_t version2 = 0x20;
} // namespace audio_protocol

} // namespace usb
