// The formats of a streaming interface's alternate setting: one extensible
// wave format per sample rate the setting's format descriptor (release 1)
// or its clock source (release 2) allows, registered with the engine
// together with the setting.
#pragma once

#include "driver/usbstream/usb_stream_engine.h"
#include "platform/ks/wave_format.h"

#include <cstdint>
#include <span>

class CUacDevice;

// The standard rates a continuous range may run at, in Hz.
inline constexpr std::uint32_t StandardRates[] = {8000,  11025, 16000, 22050, 32000,
                                                  44100, 48000, 88200, 96000};

// An extensible PCM record of the channels, subslot bytes and valid bits;
// no rate yet.
ks::WaveFormatExtensible MakeStreamFormat(std::uint32_t channels, std::uint32_t subslotBytes,
                                          std::uint32_t validBits, std::uint32_t channelMask);

// Release 1: the rates of a FORMAT_TYPE descriptor (exactly its bLength
// bytes; a rate table that does not fit them is STATUS_INVALID_PARAMETER,
// nothing read past them): its discrete rates, or the
// standard rates inside its continuous range (its bounds in either order;
// none inside: STATUS_INVALID_PARAMETER). Type I registers PCM; type III
// registers its two compressed sub-formats when the interface's format tag
// allows them. The first failure ends it; STATUS_UNSUCCESSFUL when nothing
// was registered.
kernel::NTSTATUS RegisterFormats(CUacDevice& device, CUsbStreamEngine& engine,
                                 std::span<const std::uint8_t> formatType, std::uint16_t formatTag,
                                 std::uint8_t alternateSetting, ks::WaveFormatExtensible format);
// Release 2: one record per rate of the clock source node, by the format
// type and the interface's bmFormats.
kernel::NTSTATUS RegisterUac2Formats(CUacDevice& device, CUsbStreamEngine& engine,
                                     std::uint32_t clockNodeId, std::uint8_t formatType,
                                     std::uint32_t formats, std::uint8_t alternateSetting,
                                     ks::WaveFormatExtensible format);
