// The class-specific descriptors of USB audio functions, release 1 (uac1)
// and release 2 (uac2), as far as the device model walks them. Each record
// is the fixed head of its descriptor; variable parts (source lists, control
// bitmaps, rate tables) follow it and are described where they are read.
// No field may be read before descriptor_rules.h has accepted the length.
#pragma once

#include "platform/usb/descriptors.h"
#include "platform/usb/little_endian.h"

#include <cstddef>
#include <cstdint>

namespace usb {

// Which release of the audio class an interface follows (its
// bInterfaceProtocol: audio_protocol::version1 or ::version2).
enum class AudioRelease : std::uint8_t { uac1, uac2 };

// Mixer and selector units, and release 2 clock selectors: baSourceID[bNrInPins]
// follows. Then a mixer has bNrChannels, its channel configuration (16 bits in
// release 1, 32 in release 2), iChannelNames, its bitmap of one bit per input
// channel and output channel (most significant bit first; release 2 adds a
// bmControls byte) and iMixer; a selector has (release 2: bmControls and) its
// string index.
struct UnitWithPinsDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bUnitID;
    std::uint8_t bNrInPins;
};

// Processing and extension units: baSourceID[bNrInPins], bNrChannels, the
// channel configuration, iChannelNames, the controls (release 1: bControlSize
// and that many bytes; release 2: 2 bytes for a processing unit, 1 for an
// extension unit) and the unit's string index follow.
struct ProcessingUnitDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bUnitID;
    Le16 wProcessType; // wExtensionCode for an extension unit
    std::uint8_t bNrInPins;
};

static_assert(sizeof(UnitWithPinsDescriptor) == 5);
static_assert(sizeof(ProcessingUnitDescriptor) == 7 &&
              offsetof(ProcessingUnitDescriptor, bNrInPins) == 6);

// Subtypes of the class-specific AudioStreaming interface and endpoint
// descriptors; the same numbers in both releases.
namespace as_subtype {
inline constexpr std::uint8_t general = 0x01;
inline constexpr std::uint8_t formatType = 0x02;
inline constexpr std::uint8_t formatSpecific = 0x03;
} // namespace as_subtype

namespace endpoint_subtype {
inline constexpr std::uint8_t general = 0x01;
} // namespace endpoint_subtype

namespace format_type {
inline constexpr std::uint8_t typeI = 0x01;
inline constexpr std::uint8_t typeII = 0x02;
inline constexpr std::uint8_t typeIII = 0x03;
} // namespace format_type

// Terminal types the fixtures and the device model name.
namespace terminal_type {
inline constexpr std::uint16_t usbStreaming = 0x0101;
inline constexpr std::uint16_t microphone = 0x0201;
inline constexpr std::uint16_t speaker = 0x0301;
inline constexpr std::uint16_t headphones = 0x0302;
inline constexpr std::uint16_t handset = 0x0401;
inline constexpr std::uint16_t headset = 0x0402;
inline constexpr std::uint16_t analogConnector = 0x0601;
inline constexpr std::uint16_t lineConnector = 0x0603;
inline constexpr std::uint16_t spdifInterface = 0x0605;
} // namespace terminal_type

// A standard endpoint descriptor as audio class 1 sends it: two more bytes
// for the synchronisation endpoint.
struct AudioEndpointDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bEndpointAddress;
    std::uint8_t bmAttributes;
    Le16 wMaxPacketSize;
    std::uint8_t bInterval;
    std::uint8_t bRefresh;
    std::uint8_t bSynchAddress;
};
static_assert(sizeof(AudioEndpointDescriptor) == 9);

namespace uac1 {

namespace ac_subtype {
inline constexpr std::uint8_t header = 0x01;
inline constexpr std::uint8_t inputTerminal = 0x02;
inline constexpr std::uint8_t outputTerminal = 0x03;
inline constexpr std::uint8_t mixerUnit = 0x04;
inline constexpr std::uint8_t selectorUnit = 0x05;
inline constexpr std::uint8_t featureUnit = 0x06;
inline constexpr std::uint8_t processingUnit = 0x07;
inline constexpr std::uint8_t extensionUnit = 0x08;
} // namespace ac_subtype

// baInterfaceNr[bInCollection] follows.
struct HeaderDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    Le16 bcdADC;
    Le16 wTotalLength; // this header and every unit and terminal after it
    std::uint8_t bInCollection;
};

struct InputTerminalDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bTerminalID;
    Le16 wTerminalType;
    std::uint8_t bAssocTerminal;
    std::uint8_t bNrChannels;
    Le16 wChannelConfig;
    std::uint8_t iChannelNames;
    std::uint8_t iTerminal;
};

struct OutputTerminalDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bTerminalID;
    Le16 wTerminalType;
    std::uint8_t bAssocTerminal;
    std::uint8_t bSourceID;
    std::uint8_t iTerminal;
};

// bmaControls[channels + 1] of bControlSize bytes each (element 0 the master
// channel) and iFeature follow.
struct FeatureUnitDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bUnitID;
    std::uint8_t bSourceID;
    std::uint8_t bControlSize;
};

struct AsGeneralDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bTerminalLink;
    std::uint8_t bDelay;
    Le16 wFormatTag;
};

// Format types I and III. With bSamFreqType 0 a continuous range follows
// (tLowerSamFreq, tUpperSamFreq), otherwise bSamFreqType discrete rates; each
// a 3-byte little-endian frequency in Hz.
struct FormatTypeDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bFormatType;
    std::uint8_t bNrChannels;
    std::uint8_t bSubframeSize;
    std::uint8_t bBitResolution;
    std::uint8_t bSamFreqType;
};

// Format type II: the rate table follows bSamFreqType as in types I and III.
struct FormatTypeIIDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bFormatType;
    Le16 wMaxBitRate;
    Le16 wSamplesPerFrame;
    std::uint8_t bSamFreqType;
};

// A continuous range of a format type's rate table.
struct SamplingFrequencyRange {
    Le24 tLowerSamFreq;
    Le24 tUpperSamFreq;
};

// The output channel cluster of mixer, processing and extension units,
// after their source lists.
struct ChannelCluster {
    std::uint8_t bNrChannels;
    Le16 wChannelConfig;
    std::uint8_t iChannelNames;
};

// The class-specific isochronous endpoint descriptor.
struct IsoEndpointDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bmAttributes; // bit 0 sampling frequency control, bit 1 pitch control
    std::uint8_t bLockDelayUnits;
    Le16 wLockDelay;
};

static_assert(sizeof(HeaderDescriptor) == 8 && offsetof(HeaderDescriptor, wTotalLength) == 5);
static_assert(sizeof(InputTerminalDescriptor) == 12 &&
              offsetof(InputTerminalDescriptor, wTerminalType) == 4 &&
              offsetof(InputTerminalDescriptor, bNrChannels) == 7 &&
              offsetof(InputTerminalDescriptor, wChannelConfig) == 8);
static_assert(sizeof(OutputTerminalDescriptor) == 9 &&
              offsetof(OutputTerminalDescriptor, bSourceID) == 7);
static_assert(sizeof(FeatureUnitDescriptor) == 6);
static_assert(sizeof(AsGeneralDescriptor) == 7 && offsetof(AsGeneralDescriptor, wFormatTag) == 5);
static_assert(sizeof(FormatTypeDescriptor) == 8 &&
              offsetof(FormatTypeDescriptor, bSamFreqType) == 7);
static_assert(sizeof(FormatTypeIIDescriptor) == 9 &&
              offsetof(FormatTypeIIDescriptor, bSamFreqType) == 8);
static_assert(sizeof(SamplingFrequencyRange) == 6);
static_assert(sizeof(ChannelCluster) == 4);
static_assert(sizeof(IsoEndpointDescriptor) == 7);

} // namespace uac1

namespace uac2 {

namespace ac_subtype {
inline constexpr std::uint8_t header = 0x01;
inline constexpr std::uint8_t inputTerminal = 0x02;
inline constexpr std::uint8_t outputTerminal = 0x03;
inline constexpr std::uint8_t mixerUnit = 0x04;
inline constexpr std::uint8_t selectorUnit = 0x05;
inline constexpr std::uint8_t featureUnit = 0x06;
inline constexpr std::uint8_t effectUnit = 0x07;
inline constexpr std::uint8_t processingUnit = 0x08;
inline constexpr std::uint8_t extensionUnit = 0x09;
inline constexpr std::uint8_t clockSource = 0x0A;
inline constexpr std::uint8_t clockSelector = 0x0B;
inline constexpr std::uint8_t clockMultiplier = 0x0C;
inline constexpr std::uint8_t sampleRateConverter = 0x0D;
} // namespace ac_subtype

struct HeaderDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    Le16 bcdADC;
    std::uint8_t bCategory;
    Le16 wTotalLength;
    std::uint8_t bmControls;
};

struct InputTerminalDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bTerminalID;
    Le16 wTerminalType;
    std::uint8_t bAssocTerminal;
    std::uint8_t bCSourceID;
    std::uint8_t bNrChannels;
    Le32 bmChannelConfig;
    std::uint8_t iChannelNames;
    Le16 bmControls; // two bits a control; bits 2-3 the connector control
    std::uint8_t iTerminal;
};

struct OutputTerminalDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bTerminalID;
    Le16 wTerminalType;
    std::uint8_t bAssocTerminal;
    std::uint8_t bSourceID;
    std::uint8_t bCSourceID;
    Le16 bmControls;
    std::uint8_t iTerminal;
};

// bmaControls[channels + 1] (32-bit words, element 0 the master channel) and
// iFeature follow.
struct FeatureUnitDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bUnitID;
    std::uint8_t bSourceID;
};

struct ClockSourceDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bClockID;
    std::uint8_t bmAttributes; // bits 0-1: 0 external, 1 internal fixed, 2 internal variable, 3
                               // internal programmable
    std::uint8_t bmControls;   // bits 0-1 frequency control, bits 2-3 validity control
    std::uint8_t bAssocTerminal;
    std::uint8_t iClockSource;
};

struct ClockMultiplierDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bClockID;
    std::uint8_t bCSourceID;
    std::uint8_t bmControls;
    std::uint8_t iClockMultiplier;
};

struct AsGeneralDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bTerminalLink;
    std::uint8_t bmControls;
    std::uint8_t bFormatType;
    Le32 bmFormats;
    std::uint8_t bNrChannels;
    Le32 bmChannelConfig;
    std::uint8_t iChannelNames;
};

// Format types I and III.
struct FormatTypeDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bFormatType;
    std::uint8_t bSubslotSize;
    std::uint8_t bBitResolution;
};

struct FormatTypeIIDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bFormatType;
    Le16 wMaxBitRate;
    Le16 wSlotsPerFrame;
};

// The output channel cluster of mixer, processing and extension units,
// after their source lists.
struct ChannelCluster {
    std::uint8_t bNrChannels;
    Le32 bmChannelConfig;
    std::uint8_t iChannelNames;
};

struct IsoEndpointDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bDescriptorSubtype;
    std::uint8_t bmAttributes;
    std::uint8_t bmControls;
    std::uint8_t bLockDelayUnits;
    Le16 wLockDelay;
};

static_assert(sizeof(HeaderDescriptor) == 9 && offsetof(HeaderDescriptor, wTotalLength) == 6);
static_assert(sizeof(InputTerminalDescriptor) == 17 &&
              offsetof(InputTerminalDescriptor, bCSourceID) == 7 &&
              offsetof(InputTerminalDescriptor, bmChannelConfig) == 9 &&
              offsetof(InputTerminalDescriptor, bmControls) == 14);
static_assert(sizeof(OutputTerminalDescriptor) == 12 &&
              offsetof(OutputTerminalDescriptor, bCSourceID) == 8 &&
              offsetof(OutputTerminalDescriptor, bmControls) == 9);
static_assert(sizeof(FeatureUnitDescriptor) == 5);
static_assert(sizeof(ClockSourceDescriptor) == 8);
static_assert(sizeof(ClockMultiplierDescriptor) == 7);
static_assert(sizeof(AsGeneralDescriptor) == 16 && offsetof(AsGeneralDescriptor, bmFormats) == 6 &&
              offsetof(AsGeneralDescriptor, bNrChannels) == 10 &&
              offsetof(AsGeneralDescriptor, bmChannelConfig) == 11);
static_assert(sizeof(FormatTypeDescriptor) == 6);
static_assert(sizeof(FormatTypeIIDescriptor) == 8);
static_assert(sizeof(ChannelCluster) == 6);
static_assert(sizeof(IsoEndpointDescriptor) == 8);

} // namespace uac2

} // namespace usb
