// A USB audio function described as data: the device's ids and strings, the
// AudioControl graph (terminals, units with their controls and ranges, clock
// sources), the streaming interfaces with their settings, formats and
// endpoints, the status interrupt endpoint, and a hook for the requests the
// audio graph does not answer (vendor requests, chip registers). The
// descriptor builder turns it into descriptor bytes; UsbFunction answers
// requests from it.
#pragma once

#include "platform/usb/audio_descriptors.h"
#include "platform/usb/audio_requests.h"
#include "platform/usb/descriptors.h"
#include "platform/usb/setup_packet.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace usbsim {

using usb::AudioRelease;
using Bytes = std::vector<std::uint8_t>;

// Minimum, maximum and resolution of a level control, in the units of its
// requests (1/256 dB for volume, 1/4 dB for bass, mid and treble).
struct ControlRange {
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t resolution = 0;
};

// One control of a feature unit, on the channels listed (0 the master).
struct FeatureControl {
    std::uint8_t selector = 0; // usb::feature_control, below 128
    std::vector<std::uint8_t> channels;
    std::int32_t initial = 0; // every channel's value until a SET
    ControlRange range;       // answers GET_MIN/MAX/RES and RANGE (level controls)
    // Release 2: usb::uac2::control_access::readOnly or readWrite.
    std::uint32_t access = usb::uac2::control_access::readWrite;
};

// A jack of a release-2 terminal as its connector control lists it (wValue
// 0x02FF: a count, then 8 bytes a jack): the channels it carries, then its
// details (bits 8 to 11 set: always connected; 12 to 15 colour; 16 to 23
// connection type; 24 to 31 location).
struct Jack {
    std::uint32_t channels = 0;
    std::uint32_t details = 0;
};

struct InputTerminal {
    std::uint8_t id = 0;
    std::uint16_t terminalType = usb::terminal_type::usbStreaming;
    std::uint8_t channels = 2;
    std::uint32_t channelConfig = 0x3; // release 1 keeps the low 16 bits
    std::uint8_t clockSource = 0;      // release 2
    std::uint16_t controls = 0;        // release 2 bmControls
    std::uint8_t associatedTerminal = 0;
    // Release 2 with a connector control: the jacks it lists and the
    // channels its connector reports connected.
    std::vector<Jack> jacks;
    std::uint32_t connectedChannels = 0;
};

struct OutputTerminal {
    std::uint8_t id = 0;
    std::uint16_t terminalType = usb::terminal_type::usbStreaming;
    std::uint8_t source = 0;
    std::uint8_t clockSource = 0; // release 2
    std::uint16_t controls = 0;   // release 2 bmControls
    std::uint8_t associatedTerminal = 0;
    std::vector<Jack> jacks; // as for an input terminal
    std::uint32_t connectedChannels = 0;
};

struct FeatureUnit {
    std::uint8_t id = 0;
    std::uint8_t source = 0;
    std::uint8_t channels = 2; // logical channels besides the master
    std::vector<FeatureControl> controls;
    // Release 1 bControlSize; 0: the fewest bytes that hold the selectors.
    std::uint8_t controlSize = 0;
};

// A programmable crossing of a mixer: input channel to output channel, both
// counted from 1 over all inputs and outputs.
struct MixerCrossing {
    std::uint8_t input = 0;
    std::uint8_t output = 0;
};

struct MixerUnit {
    std::uint8_t id = 0;
    std::vector<std::uint8_t> sources;
    std::vector<std::uint8_t> sourceChannels; // channels each source brings
    std::uint8_t channels = 2;                // output channels
    std::uint32_t channelConfig = 0x3;
    std::vector<MixerCrossing> crossings; // those that have a control
    std::int32_t initial = 0;
    ControlRange range;
};

struct SelectorUnit {
    std::uint8_t id = 0;
    std::vector<std::uint8_t> sources;
    std::uint8_t initial = 1; // the selected input, from 1
};

// A sample-rate range; a single rate has minimum == maximum and resolution 0.
struct RateRange {
    std::uint32_t minimum = 0;
    std::uint32_t maximum = 0;
    std::uint32_t resolution = 0;
};

// Release 2 only.
struct ClockSource {
    std::uint8_t id = 0;
    std::uint8_t attributes = 3; // internal, programmable
    std::uint32_t frequencyAccess = usb::uac2::control_access::readWrite;
    std::uint32_t validityAccess = usb::uac2::control_access::readOnly;
    std::vector<RateRange> rates;
    std::uint32_t initialRate = 48000;
    bool valid = true;
    std::uint8_t associatedTerminal = 0;
};

// Release 2 only.
struct ClockSelector {
    std::uint8_t id = 0;
    std::vector<std::uint8_t> sources;
    std::uint8_t initial = 1;
};

using Entity = std::variant<InputTerminal, OutputTerminal, FeatureUnit, MixerUnit, SelectorUnit,
                            ClockSource, ClockSelector>;

struct StreamFormat {
    std::uint8_t formatType = usb::format_type::typeI;
    std::uint16_t formatTag = 0x0001; // release 1 wFormatTag: PCM
    std::uint32_t formats = 0x1;      // release 2 bmFormats: PCM
    std::uint8_t channels = 2;
    std::uint32_t channelConfig = 0x3; // release 2
    std::uint8_t subslotSize = 2;      // bytes a sample takes
    std::uint8_t bitResolution = 16;
    std::vector<std::uint32_t> rates;    // release 1: discrete rates
    std::optional<RateRange> continuous; // release 1: a range instead of rates
};

struct DataEndpoint {
    std::uint8_t address = 0;
    std::uint16_t maxPacketSize = 0;
    std::uint8_t interval = 1;
    usb::endpoint::Synchronisation sync = usb::endpoint::Synchronisation::adaptive;
    bool samplingFrequencyControl = true; // release 1: the endpoint takes SET_CUR of its rate
};

struct FeedbackEndpoint {
    std::uint8_t address = 0;
    std::uint16_t maxPacketSize = 4; // 3 at full speed (10.14), 4 at high speed (16.16)
    std::uint8_t interval = 1;
};

// Settings are numbered 1, 2, ... in order; setting 0 (no endpoints) comes first.
struct AlternateSetting {
    std::uint8_t terminalLink = 0;
    StreamFormat format;
    DataEndpoint data;
    std::optional<FeedbackEndpoint> feedback;
};

struct StreamingInterface {
    std::uint8_t number = 0;
    std::vector<AlternateSetting> settings;
};

struct StatusEndpoint {
    std::uint8_t address = 0x80;
    std::uint16_t maxPacketSize = 2; // release 1: 2, release 2: 6
    std::uint8_t interval = 1;
};

struct StringEntry {
    std::uint8_t index = 0;
    std::u16string text; // code units as the descriptor carries them
    std::uint16_t language = usb::languageEnglishUs;
};

// Answers a request the audio graph does not: the IN data (at most wLength
// bytes are sent), an empty vector to accept an OUT request, or nothing to
// stall. `data` holds an OUT request's bytes.
using RequestHook = std::function<std::optional<Bytes>(const usb::SetupPacket& setup,
                                                       std::span<const std::uint8_t> data)>;

struct FunctionDescription {
    AudioRelease release = AudioRelease::uac1;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t deviceRelease = 0x0100;
    std::uint8_t manufacturerString = 0; // string indexes; 0: none
    std::uint8_t productString = 0;
    std::uint8_t serialString = 0;
    std::vector<std::uint16_t> languages{usb::languageEnglishUs};
    std::vector<StringEntry> strings;

    std::uint8_t controlInterface = 0;
    std::uint8_t category = 0x04; // release 2 header bCategory: headset
    std::vector<Entity> entities; // in descriptor order
    std::optional<StatusEndpoint> status;
    std::vector<StreamingInterface> streaming;

    // The speed the bus runs the device at: 1 ms frames, or 8 microframes a
    // frame at high speed.
    bool highSpeed = false;

    std::uint8_t configurationValue = 1;
    std::uint8_t maxPower = 50; // 2 mA units
    bool selfPowered = false;

    // Vendor requests, and class requests no entity, endpoint or streaming
    // interface of the graph answers (chip registers, memory reads).
    RequestHook requests;
    // Served instead of the built configuration descriptor: for descriptors
    // the builder cannot express, and for broken ones.
    std::optional<Bytes> rawConfiguration;
};

} // namespace usbsim
