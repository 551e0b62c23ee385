// The two generic functions: a release 1 headset and a release 2 device
// with a clock source and explicit feedback.
#include "sim/usb/fixtures.h"

#include "sim/usb/fixture_parts.h"

namespace usbsim::fixtures {

namespace {

using namespace usb::feature_control;
using usb::endpoint::Synchronisation;
namespace terminal = usb::terminal_type;
// Release 2 type I bmFormats, bit 31: raw data, not PCM.
constexpr std::uint32_t raw = 1u << 31;

} // namespace

FunctionDescription uac1Headset() {
    FunctionDescription d =
        namedFunction(AudioRelease::uac1, fixtureVendor, 0x0101, u"USB Gaming Headset");
    const ControlRange volumeRange{-16384, 0, 64}; // -64 dB to 0 dB in quarter dB
    d.entities = {
        InputTerminal{.id = 1, .terminalType = terminal::usbStreaming},
        muteAndVolume(2, 1, 2, volumeRange, -2560),
        InputTerminal{
            .id = 3, .terminalType = terminal::microphone, .channels = 1, .channelConfig = 0},
        // The sidetone: how much of the microphone the wearer hears.
        FeatureUnit{.id = 4,
                    .source = 3,
                    .channels = 1,
                    .controls = {{.selector = mute, .channels = {0}, .initial = 1},
                                 {.selector = volume,
                                  .channels = {0},
                                  .initial = -4096,
                                  .range = volumeRange}}},
        MixerUnit{.id = 5,
                  .sources = {2, 4},
                  .sourceChannels = {2, 1},
                  .channels = 2,
                  .crossings = {{3, 1}, {3, 2}},
                  .range = {-16384, 0, 256}},
        OutputTerminal{.id = 6, .terminalType = terminal::headphones, .source = 5},
        InputTerminal{
            .id = 7, .terminalType = terminal::microphone, .channels = 1, .channelConfig = 0},
        SelectorUnit{.id = 8, .sources = {3, 7}},
        FeatureUnit{.id = 9,
                    .source = 8,
                    .channels = 1,
                    .controls = {{.selector = mute, .channels = {0}},
                                 {.selector = volume, .channels = {0}, .range = {-3072, 3072, 128}},
                                 {.selector = automaticGain, .channels = {0}, .initial = 1}}},
        OutputTerminal{.id = 10, .terminalType = terminal::usbStreaming, .source = 9},
    };
    d.status = StatusEndpoint{.address = 0x83, .maxPacketSize = 2, .interval = 32};
    d.streaming = {
        {.number = 1,
         .settings = {{.terminalLink = 1,
                       .format = {.rates = {44100, 48000}},
                       .data = {.address = 0x01, .maxPacketSize = 196}},
                      // 24-bit samples in 3 bytes: 49 frames of 6 bytes.
                      {.terminalLink = 1,
                       .format = {.subslotSize = 3, .bitResolution = 24, .rates = {44100, 48000}},
                       .data = {.address = 0x01, .maxPacketSize = 294}}}},
        {.number = 2,
         .settings = {{.terminalLink = 10,
                       .format = {.channels = 1, .rates = {48000}},
                       .data = {.address = 0x82,
                                .maxPacketSize = 98,
                                .sync = Synchronisation::asynchronous}}}},
    };
    return d;
}

FunctionDescription uac2FeedbackDevice() {
    FunctionDescription d =
        namedFunction(AudioRelease::uac2, fixtureVendor, 0x0201, u"USB Audio 2 Headset");
    d.highSpeed = true;
    const ControlRange volumeRange{-32512, 0, 256}; // -127 dB to 0 dB in 1 dB steps
    const std::uint16_t connector = usb::uac2::control_access::readOnly << 2;
    // Colour index at 12, connection type 1 (3.5 mm) at 16, location at 24.
    const std::uint32_t greenStereoJack = 4u << 12 | 1u << 16 | 1u << 24;
    const std::uint32_t pinkMonoJack = 9u << 12 | 1u << 16 | 1u << 24;
    d.entities = {
        ClockSource{.id = 10,
                    .rates = {{44100, 44100, 0},
                              {48000, 48000, 0},
                              {96000, 96000, 0},
                              {88200, 88200, 0},
                              {176400, 176400, 0},
                              {192000, 192000, 0}},
                    .initialRate = 48000},
        InputTerminal{.id = 1, .terminalType = terminal::usbStreaming, .clockSource = 10},
        muteAndVolume(2, 1, 2, volumeRange, -5120),
        OutputTerminal{.id = 3,
                       .terminalType = terminal::headphones,
                       .source = 2,
                       .clockSource = 10,
                       .controls = connector,
                       .jacks = {{.channels = 0x3, .details = greenStereoJack}},
                       .connectedChannels = 0x3},
        InputTerminal{.id = 4,
                      .terminalType = terminal::microphone,
                      .channels = 1,
                      .channelConfig = 0x4,
                      .clockSource = 10,
                      .controls = connector,
                      .jacks = {{.channels = 0x4, .details = pinkMonoJack}},
                      .connectedChannels = 0x4},
        FeatureUnit{.id = 5,
                    .source = 4,
                    .channels = 1,
                    .controls = {{.selector = mute, .channels = {0}},
                                 {.selector = volume, .channels = {0}, .range = volumeRange},
                                 {.selector = automaticGain,
                                  .channels = {0},
                                  .initial = 1,
                                  .access = usb::uac2::control_access::readOnly}}},
        OutputTerminal{
            .id = 6, .terminalType = terminal::usbStreaming, .source = 5, .clockSource = 10},
    };
    d.status = StatusEndpoint{.address = 0x83, .maxPacketSize = 6, .interval = 4};
    const DataEndpoint playback{
        .address = 0x01, .maxPacketSize = 104, .sync = Synchronisation::asynchronous};
    const FeedbackEndpoint feedback{.address = 0x81, .maxPacketSize = 4, .interval = 4};
    // Room for 25 frames a microframe (192 kHz, one to spare) in every
    // setting of 4-byte samples.
    DataEndpoint widePlayback = playback;
    widePlayback.maxPacketSize = 25 * 8;
    const DataEndpoint recording{
        .address = 0x82, .maxPacketSize = 25 * 2, .sync = Synchronisation::asynchronous};
    DataEndpoint wideRecording = recording;
    wideRecording.maxPacketSize = 25 * 4;
    const StreamFormat mono{.channels = 1, .channelConfig = 0x4};
    StreamFormat mono24 = mono;
    mono24.subslotSize = 4;
    mono24.bitResolution = 24;
    StreamFormat mono32 = mono24;
    mono32.bitResolution = 32;
    d.streaming = {
        {.number = 1,
         .settings = {{.terminalLink = 1,
                       .format = {.subslotSize = 4, .bitResolution = 24},
                       .data = widePlayback,
                       .feedback = feedback},
                      {.terminalLink = 1, .format = {}, .data = playback, .feedback = feedback},
                      {.terminalLink = 1,
                       .format = {.subslotSize = 4, .bitResolution = 32},
                       .data = widePlayback,
                       .feedback = feedback}}},
        {.number = 2,
         .settings = {{.terminalLink = 6, .format = mono, .data = recording},
                      {.terminalLink = 6, .format = mono24, .data = wideRecording},
                      {.terminalLink = 6, .format = mono32, .data = wideRecording}}},
    };
    return d;
}

FunctionDescription uac2AsioDevice() {
    FunctionDescription d = uac2FeedbackDevice();
    d.productId = 0x01E1;
    d.strings[1].text = u"USB Audio 2 ASIO Headset";
    // The maker's DSD setting in each direction: a type I format marked as
    // raw data, not PCM, whose stereo frames carry 64 DSD bits a channel in
    // an 8-byte subslot, so that the clock runs at a 64th of the DSD rate
    // (44.1 kHz for 2.8224 MHz).
    const StreamFormat dsd{.formats = raw, .channels = 2, .subslotSize = 8, .bitResolution = 64};
    // Room for 13 frames a microframe: 96 kHz, a 64th of 6.144 MHz, with one to spare.
    constexpr std::uint16_t dsdPacket = 13 * 16;
    // Each comes right after the release 2 device's first two PCM settings
    // of its direction (its first for the microphone), so its number stays
    // 3 for playback and 2 for recording.
    AlternateSetting playback = d.streaming[0].settings[0];
    playback.format = dsd;
    playback.data.maxPacketSize = dsdPacket;
    d.streaming[0].settings.insert(d.streaming[0].settings.begin() + 2, playback);
    AlternateSetting recording = d.streaming[1].settings[0];
    recording.format = dsd;
    recording.data.maxPacketSize = dsdPacket;
    d.streaming[1].settings.insert(d.streaming[1].settings.begin() + 1, recording);
    return d;
}

} // namespace usbsim::fixtures
