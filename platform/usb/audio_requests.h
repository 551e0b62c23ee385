// The class requests of USB audio functions: request codes, control
// selectors and the layouts of the data that crosses the wire with them, the
// status interrupt messages and the feedback values. A class request to a
// unit or terminal carries wIndex = entity id << 8 | AudioControl interface
// number and wValue = control selector << 8 | channel number.
#pragma once

#include "platform/usb/audio_descriptors.h"
#include "platform/usb/little_endian.h"

#include <cstddef>
#include <cstdint>

namespace usb {

constexpr std::uint16_t controlValue(std::uint8_t selector, std::uint8_t channel) {
    return static_cast<std::uint16_t>(selector << 8 | channel);
}
constexpr std::uint16_t entityIndex(std::uint8_t entityId, std::uint8_t interfaceNumber) {
    return static_cast<std::uint16_t>(entityId << 8 | interfaceNumber);
}

// Feature unit control selectors; 1 to 10 are the same in both releases.
namespace feature_control {
inline constexpr std::uint8_t mute = 1;
inline constexpr std::uint8_t volume = 2;
inline constexpr std::uint8_t bass = 3;
inline constexpr std::uint8_t mid = 4;
inline constexpr std::uint8_t treble = 5;
inline constexpr std::uint8_t graphicEqualizer = 6;
inline constexpr std::uint8_t automaticGain = 7;
inline constexpr std::uint8_t delay = 8;
inline constexpr std::uint8_t bassBoost = 9;
inline constexpr std::uint8_t loudness = 10;
inline constexpr std::uint8_t inputGain = 11;     // release 2
inline constexpr std::uint8_t inputGainPad = 12;  // release 2
inline constexpr std::uint8_t phaseInverter = 13; // release 2
} // namespace feature_control

// A volume value of minus infinity: silence.
inline constexpr std::uint16_t volumeSilence = 0x8000;

// Bytes of a feature unit control's value in each release; 0 where the
// release has no such control or its size is not fixed (graphic equalizer).
struct FeatureControlSize {
    std::uint8_t selector;
    std::uint8_t release1;
    std::uint8_t release2;
};
inline constexpr FeatureControlSize featureControlSizes[] = {
    {feature_control::mute, 1, 1},         {feature_control::volume, 2, 2},
    {feature_control::bass, 1, 1},         {feature_control::mid, 1, 1},
    {feature_control::treble, 1, 1},       {feature_control::automaticGain, 1, 1},
    {feature_control::delay, 2, 4},        {feature_control::bassBoost, 1, 1},
    {feature_control::loudness, 1, 1},     {feature_control::inputGain, 0, 2},
    {feature_control::inputGainPad, 0, 2}, {feature_control::phaseInverter, 0, 1},
};

constexpr std::size_t featureControlSize(AudioRelease release, std::uint8_t selector) {
    for (const FeatureControlSize& size : featureControlSizes)
        if (size.selector == selector)
            return release == AudioRelease::uac1 ? size.release1 : size.release2;
    return 0;
}

namespace uac1 {

namespace request {
inline constexpr std::uint8_t setCur = 0x01;
inline constexpr std::uint8_t setMin = 0x02;
inline constexpr std::uint8_t setMax = 0x03;
inline constexpr std::uint8_t setRes = 0x04;
inline constexpr std::uint8_t setMem = 0x05;
inline constexpr std::uint8_t getCur = 0x81;
inline constexpr std::uint8_t getMin = 0x82;
inline constexpr std::uint8_t getMax = 0x83;
inline constexpr std::uint8_t getRes = 0x84;
inline constexpr std::uint8_t getMem = 0x85;
} // namespace request

// Controls of an isochronous endpoint, addressed with wIndex = endpoint address.
namespace endpoint_control {
inline constexpr std::uint8_t samplingFrequency = 1; // 3 bytes, Hz
inline constexpr std::uint8_t pitch = 2;
} // namespace endpoint_control

// The status word of the AudioControl interrupt endpoint.
struct StatusWord {
    std::uint8_t bStatusType; // bit 7 interrupt pending, bit 6 memory changed, bits 0-3 originator
    std::uint8_t bOriginator; // the id of the entity (or interface or endpoint) that changed
};
static_assert(sizeof(StatusWord) == 2);

namespace status_originator {
inline constexpr std::uint8_t controlInterface = 0;
inline constexpr std::uint8_t streamingInterface = 1;
inline constexpr std::uint8_t streamingEndpoint = 2;
} // namespace status_originator

} // namespace uac1

namespace uac2 {

namespace request {
inline constexpr std::uint8_t cur = 0x01;
inline constexpr std::uint8_t range = 0x02;
inline constexpr std::uint8_t mem = 0x03;
} // namespace request

namespace clock_source_control {
inline constexpr std::uint8_t samplingFrequency = 1; // 4 bytes, Hz
inline constexpr std::uint8_t clockValidity = 2;     // 1 byte, read only
} // namespace clock_source_control

// The one control of selector units, clock selectors and mixer units.
inline constexpr std::uint8_t selectorControl = 1;
inline constexpr std::uint8_t mixerControl = 1;

namespace terminal_control {
inline constexpr std::uint8_t copyProtect = 1;
inline constexpr std::uint8_t connector = 2;
} // namespace terminal_control

// Controls of an AudioStreaming interface, addressed with wIndex = interface number.
namespace streaming_control {
inline constexpr std::uint8_t activeAlternateSetting = 1;
inline constexpr std::uint8_t validAlternateSettings = 2; // bControlSize, then a bitmap
} // namespace streaming_control

// Every control takes two bits of a control word: bit 0 readable, bit 1
// also writable. Feature unit selector s sits at bits 2s - 2 and 2s - 1.
namespace control_access {
inline constexpr std::uint32_t none = 0;
inline constexpr std::uint32_t readOnly = 1;
inline constexpr std::uint32_t readWrite = 3;
} // namespace control_access

constexpr std::uint32_t featureControlShift(std::uint8_t selector) {
    return (2u * selector - 2u) % 32u;
}
constexpr std::uint32_t featureControlAccess(std::uint32_t controls, std::uint8_t selector) {
    return (controls >> featureControlShift(selector)) & 3u;
}

// A RANGE reply: wNumSubRanges, then that many (minimum, maximum,
// resolution) triples of the control's value size (1, 2 or 4 bytes).
struct RangeHeader {
    Le16 wNumSubRanges;
};
template <std::size_t N> struct SubRange {
    LittleEndian<N> wMIN;
    LittleEndian<N> wMAX;
    LittleEndian<N> wRES;
};
struct SubRange8 {
    std::uint8_t bMIN;
    std::uint8_t bMAX;
    std::uint8_t bRES;
};
using SubRange16 = SubRange<2>;
using SubRange32 = SubRange<4>;

static_assert(sizeof(RangeHeader) == 2);
static_assert(sizeof(SubRange8) == 3 && sizeof(SubRange16) == 6 && sizeof(SubRange32) == 12);
static_assert(offsetof(SubRange32, wMAX) == 4 && offsetof(SubRange32, wRES) == 8);

// The message of the AudioControl interrupt endpoint.
struct InterruptData {
    std::uint8_t bInfo;      // bit 0 vendor-specific, bit 1 originator is an endpoint
    std::uint8_t bAttribute; // the request that would read what changed: 1 CUR, 2 RANGE, 3 MEM
    Le16 wValue;             // control selector << 8 | channel
    Le16 wIndex;             // entity id << 8 | interface number (or endpoint address)
};
static_assert(sizeof(InterruptData) == 6 && offsetof(InterruptData, wValue) == 2 &&
              offsetof(InterruptData, wIndex) == 4);

} // namespace uac2

// Explicit feedback: the device's rate in frames per packet, as a 10.14
// fixed-point value in 3 bytes at full speed and a 16.16 value in 4 bytes at
// high speed.
using Feedback10_14 = Le24;
using Feedback16_16 = Le32;
static_assert(sizeof(Feedback10_14) == 3 && sizeof(Feedback16_16) == 4);

} // namespace usb
