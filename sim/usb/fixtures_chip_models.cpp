// One device per chip model. Each is a release 1 function whose model code
// stands in string descriptor 0x50 (or 0x32); the unit ids are those the
// models' walks give their own entity classes.
#include "sim/usb/fixtures.h"

#include "sim/usb/fixture_parts.h"

#include <map>

namespace usbsim::fixtures {

namespace {

using namespace usb::feature_control;
namespace terminal = usb::terminal_type;

StreamingInterface stereoPlayback(std::uint8_t terminal) {
    return {.number = 1,
            .settings = {{.terminalLink = terminal,
                          .format = {.rates = {44100, 48000}},
                          .data = {.address = 0x01, .maxPacketSize = 196}}}};
}

StreamingInterface monoCapture(std::uint8_t terminal) {
    return {.number = 2,
            .settings = {{.terminalLink = terminal,
                          .format = {.channels = 1, .rates = {48000}},
                          .data = {.address = 0x82,
                                   .maxPacketSize = 98,
                                   .sync = usb::endpoint::Synchronisation::asynchronous}}}};
}

// The chip models' units: volume from -33 dB in eighths of a dB.
FeatureUnit chipUnit(std::uint8_t id, std::uint8_t source, std::uint8_t channels) {
    return muteAndVolume(id, source, channels, {-8448, 0, 32});
}

// A chip unit with a master bass control in quarter dB, -12 to +12 dB.
FeatureUnit withBass(FeatureUnit unit) {
    unit.controls.push_back(
        {.selector = bass, .channels = {0}, .initial = 8, .range = {-48, 48, 2}});
    return unit;
}

// The headset the K7D2, P9F4, T6L1 and Q7K2 devices share: playback through
// feature unit 9 and a monitor mixer to the output terminal, the microphone
// through unit 10 to the host and through unit 13 to the mixer.
FunctionDescription chipHeadset(std::uint16_t vendor, std::uint16_t product,
                                std::uint8_t modelIndex, std::u16string_view code,
                                std::uint8_t outputId, std::uint16_t outputType) {
    FunctionDescription d = namedFunction(AudioRelease::uac1, vendor, product, u"USB Headset");
    d.strings.push_back({modelIndex, std::u16string(code)});
    d.entities = {
        InputTerminal{.id = 1, .terminalType = terminal::usbStreaming},
        chipUnit(9, 1, 2),
        InputTerminal{
            .id = 4, .terminalType = terminal::microphone, .channels = 1, .channelConfig = 0},
        chipUnit(10, 4, 1),
        chipUnit(13, 4, 1),
        MixerUnit{.id = 11,
                  .sources = {9, 13},
                  .sourceChannels = {2, 1},
                  .channels = 2,
                  .crossings = {{3, 1}, {3, 2}},
                  .range = {-16384, 0, 256}},
        OutputTerminal{.id = outputId, .terminalType = outputType, .source = 11},
        OutputTerminal{.id = 7, .terminalType = terminal::usbStreaming, .source = 10},
    };
    d.status = StatusEndpoint{.address = 0x83, .maxPacketSize = 2, .interval = 32};
    d.streaming = {stereoPlayback(1), monoCapture(7)};
    return d;
}

bool isRequest(const usb::SetupPacket& setup, std::uint8_t requestType, std::uint8_t request,
               std::uint16_t value, std::uint16_t index) {
    return setup.bmRequestType == requestType && setup.bRequest == request &&
           setup.wValue.value() == value && setup.wIndex.value() == index;
}

// Request type bytes of the chip paths.
constexpr std::uint8_t kClassInterfaceIn = 0xA1;
constexpr std::uint8_t kClassInterfaceOut = 0x21;
constexpr std::uint8_t fixtureVendorInterfaceIn = 0xC1;
constexpr std::uint8_t fixtureVendorInterfaceOut = 0x41;
constexpr std::uint8_t fixtureVendorOtherIn = 0xC3;

// The N3W8 chip: register writes are 4-byte reports to interface 3 (0x20,
// value low, value high, register), its identification bytes vendor reads
// to "other", its input report a 3-byte read from interface 3, answered by
// the chip's script when it has one.
RequestHook n3w8Requests(std::shared_ptr<N3W8Chip> chip) {
    return [chip](const usb::SetupPacket& setup,
                  std::span<const std::uint8_t> data) -> std::optional<Bytes> {
        if (isRequest(setup, kClassInterfaceOut, 0x09, 0x0200, 3)) {
            if (data.size() != 4 || data[0] != 0x20 || data[3] >= chip->registers.size())
                return std::nullopt;
            chip->registers[data[3]] = static_cast<std::uint16_t>(data[1] | data[2] << 8);
            return Bytes{};
        }
        if (isRequest(setup, fixtureVendorOtherIn, 0x81, 0, 9)) return Bytes{chip->identificationA};
        if (isRequest(setup, fixtureVendorOtherIn, 0x81, 0, 8)) return Bytes{chip->identificationB};
        if (isRequest(setup, kClassInterfaceIn, 0x01, 0x0100, 3)) {
            const std::uint32_t read = chip->reportReads++;
            const std::optional<N3W8Chip::Report> report =
                chip->reportScript ? chip->reportScript(read) : chip->inputReport;
            if (!report) return std::nullopt;
            return Bytes(report->begin(), report->end());
        }
        return std::nullopt;
    };
}

// The Q7K2 model's feature unit 9: a control block read with GET_MEM (its
// length first, at wValue 0x0010), whose 16-bit bitmaps give the effect
// controls 139 and 140 on the master channel; vendor GET_CUR and SET_CUR
// read and write them.
RequestHook q7k2Requests() {
    constexpr std::uint16_t unit9 = usb::entityIndex(9, 0);
    constexpr std::uint8_t length = 19 + 2 * 3; // header, then master and two channels
    Bytes block(length, 0);
    block[16] = length;
    block[18] = 2;    // element size
    block[20] = 0x0C; // master: bits 10 and 11, selectors 139 and 140
    auto values = std::make_shared<std::map<std::uint16_t, std::uint8_t>>();
    return [block, values](const usb::SetupPacket& setup,
                           std::span<const std::uint8_t> data) -> std::optional<Bytes> {
        const std::uint16_t value = static_cast<std::uint16_t>(setup.wValue.value());
        const bool effect =
            value == usb::controlValue(139, 0) || value == usb::controlValue(140, 0);
        if (isRequest(setup, kClassInterfaceIn, usb::uac1::request::getMem, 0x0010, unit9))
            return Bytes{length, 0};
        if (isRequest(setup, kClassInterfaceIn, usb::uac1::request::getMem, 0, unit9)) return block;
        if (effect &&
            isRequest(setup, fixtureVendorInterfaceIn, usb::uac1::request::getCur, value, unit9))
            return Bytes{(*values)[value]};
        if (effect &&
            isRequest(setup, fixtureVendorInterfaceOut, usb::uac1::request::setCur, value, unit9) &&
            data.size() == 1) {
            (*values)[value] = data[0];
            return Bytes{};
        }
        return std::nullopt;
    };
}

FeatureUnit n3w8FeatureUnit(std::uint8_t id, std::uint8_t source, std::uint8_t channels = 2) {
    FeatureUnit unit = chipUnit(id, source, channels);
    unit.controlSize = 1;
    return unit;
}

InputTerminal n3w8Input(std::uint8_t id, std::uint16_t type, std::uint8_t channels,
                        std::uint32_t config) {
    return {.id = id, .terminalType = type, .channels = channels, .channelConfig = config};
}

AlternateSetting n3w8Playback(std::uint8_t channels, std::uint8_t subslot,
                              std::vector<std::uint32_t> rates) {
    return {.terminalLink = 1,
            .format = {.channels = channels,
                       .subslotSize = subslot,
                       .bitResolution = static_cast<std::uint8_t>(subslot * 8),
                       .rates = std::move(rates)},
            .data = {.address = 0x01,
                     .maxPacketSize = static_cast<std::uint16_t>(49 * channels * subslot)}};
}

} // namespace

FunctionDescription n3w8Device(std::shared_ptr<N3W8Chip> chip) {
    FunctionDescription d = namedFunction(AudioRelease::uac1, 0x1E7D, 0x3750, u"USB 7.1 Headset");
    d.strings.push_back({modelStringIndex, std::u16string{0x000B, 0x0005, 0x0050, u'8', u'1'}});
    // Sixteen elements in the chip's order; the ids 1, 2, 8, 9, 11, 15, 16
    // are those its rewrite relies on.
    d.entities = {
        n3w8Input(1, terminal::usbStreaming, 8, 0x063F), // playback
        n3w8Input(4, terminal::microphone, 2, 0x0003),   // microphone
        n3w8FeatureUnit(8, 4),                           // microphone record
        n3w8FeatureUnit(9, 4),                           // microphone through
        MixerUnit{.id = 12,                              // output mixer
                  .sources = {1, 9, 11},
                  .sourceChannels = {8, 2, 2},
                  .channels = 8,
                  .channelConfig = 0x063F},
        n3w8FeatureUnit(13, 12, 8), // playback
        OutputTerminal{.id = 3, .terminalType = terminal::speaker, .source = 13},
        MixerUnit{
            .id = 14, .sources = {9, 11}, .sourceChannels = {2, 2}, .channels = 2},    // stereo mix
        OutputTerminal{.id = 6, .terminalType = terminal::usbStreaming, .source = 17}, // record
        SelectorUnit{.id = 17, .sources = {8, 15, 16, 2}}, // record selector
        n3w8Input(5, terminal::lineConnector, 2, 0x0003),  // line
        n3w8FeatureUnit(15, 5),                            // line record
        n3w8FeatureUnit(11, 5),                            // line through
        n3w8Input(7, terminal::spdifInterface, 2, 0x0003), // S/PDIF
        n3w8FeatureUnit(2, 14),                            // stereo-mix record
        n3w8FeatureUnit(16, 7),                            // S/PDIF record
    };
    d.streaming = {
        {.number = 1,
         .settings = {n3w8Playback(8, 2, {44100, 48000}), n3w8Playback(2, 2, {44100, 48000}),
                      n3w8Playback(4, 2, {44100, 48000}), n3w8Playback(6, 2, {44100, 48000}),
                      n3w8Playback(2, 3, {48000})}},
        {.number = 2,
         .settings = {{.terminalLink = 6,
                       .format = {.rates = {44100, 48000}},
                       .data = {.address = 0x82,
                                .maxPacketSize = 196,
                                .sync = usb::endpoint::Synchronisation::asynchronous}}}},
    };
    d.requests = n3w8Requests(std::move(chip));
    return d;
}

// Playback through units 9 to 12 to the headphones, the microphone through
// units 13 and 14 to the host: one unit for each id the model's walk gives a
// class of its own.
FunctionDescription k7d2Device() {
    FunctionDescription d =
        chipHeadset(fixtureVendor, 0x0702, modelStringIndex, u"K7D2-A", 3, terminal::headphones);
    d.entities = {
        InputTerminal{.id = 1, .terminalType = terminal::usbStreaming},
        withBass(chipUnit(9, 1, 2)),
        chipUnit(10, 9, 2),
        withBass(chipUnit(11, 10, 2)),
        chipUnit(12, 11, 2),
        OutputTerminal{.id = 3, .terminalType = terminal::headphones, .source = 12},
        InputTerminal{
            .id = 4, .terminalType = terminal::microphone, .channels = 1, .channelConfig = 0},
        withBass(chipUnit(13, 4, 1)),
        chipUnit(14, 13, 1),
        OutputTerminal{.id = 7, .terminalType = terminal::usbStreaming, .source = 14},
    };
    return d;
}

FunctionDescription p9f4Device() {
    // The model's walk gives a speaker at terminal 6 of this vendor headphones.
    FunctionDescription d =
        chipHeadset(0x1B1C, 0x0A06, fallbackModelStringIndex, u"P9F4-B", 6, terminal::speaker);
    for (Entity& entity : d.entities)
        if (auto* unit = std::get_if<FeatureUnit>(&entity)) *unit = withBass(*unit);
    return d;
}

FunctionDescription t6l1Device() {
    // A speaker output carries the model's speaker virtualizer.
    return chipHeadset(fixtureVendor, 0x0603, modelStringIndex, u"HXR7D5B", 3, terminal::speaker);
}

FunctionDescription asioChipHeadset(std::uint16_t vendor, std::uint16_t product) {
    // "HXR7D5" without the T6L1 model's "B": the generic release-1 model,
    // which reads the chip's two identification registers.
    FunctionDescription d =
        chipHeadset(vendor, product, modelStringIndex, u"HXR7D5A", 3, terminal::headphones);
    d.requests = [](const usb::SetupPacket& setup,
                    std::span<const std::uint8_t>) -> std::optional<Bytes> {
        // Bits 1-3 of the first register all set, bit 1 of the second clear:
        // both directions serve ASIO.
        if (isRequest(setup, fixtureVendorOtherIn, 0, 0x001A, 0)) return Bytes{0x0E};
        if (isRequest(setup, fixtureVendorOtherIn, 0, 0x0020, 0)) return Bytes{0x00};
        return std::nullopt;
    };
    return d;
}

FunctionDescription q7k2Device() { return q7k2Device(fixtureVendor, 0x0802, 0x0100); }

FunctionDescription q7k2Device(std::uint16_t vendor, std::uint16_t product, std::uint16_t release) {
    FunctionDescription d = chipHeadset(vendor, product, fallbackModelStringIndex, q7k2ProductCode,
                                        3, terminal::headphones);
    // Its effects work on what the headphones hear: playback meets the
    // microphone's monitor in the mixer first, and unit 9, which carries the
    // effect controls, sits between the mixer and the headphones.
    for (Entity& entity : d.entities) {
        if (auto* unit = std::get_if<FeatureUnit>(&entity); unit != nullptr && unit->id == 9)
            unit->source = 11;
        if (auto* mixer = std::get_if<MixerUnit>(&entity)) mixer->sources = {1, 13};
        if (auto* output = std::get_if<OutputTerminal>(&entity);
            output != nullptr && output->id == 3)
            output->source = 9;
    }
    d.deviceRelease = release;
    d.requests = q7k2Requests();
    return d;
}

} // namespace usbsim::fixtures
