// What a user-mode program uses of the driver's ASIO interface: the
// device-control codes, the kinds and sample types, the request and answer
// layouts, and the header of each ring block the driver shares.
#pragma once

#include "platform/kernel/guid.h"

#include <cstddef>
#include <cstdint>

// The interface's class and the reference string a client opens it by.
inline constexpr kernel::Guid GUID_ASIO_PRIVATE_INTERFACE =
    kernel::makeGuid("{2EE7DB21-FFD3-42C5-AF60-F7451626C242}");
inline constexpr char16_t AsioInterfaceReference[] = u"HXASIOPrivateInterface";

// Control codes of the ASIO interface (device type 0x1D, buffered).
namespace asio_control {
inline constexpr std::uint32_t GetDeviceName = 0x1D6000;
inline constexpr std::uint32_t GetChannels = 0x1D6004;
inline constexpr std::uint32_t GetChannelInfo = 0x1DE008;
inline constexpr std::uint32_t GetSampleTypes = 0x1D600C;
inline constexpr std::uint32_t GetLatencyList = 0x1D6010;
inline constexpr std::uint32_t SetConfigEvent = 0x1DA014;
inline constexpr std::uint32_t GetBuffersHeld = 0x1D6018;
inline constexpr std::uint32_t SetSampleType = 0x1DA01C;
inline constexpr std::uint32_t SetLatency = 0x1DA020;
inline constexpr std::uint32_t GetLatencies = 0x1D6024;
inline constexpr std::uint32_t GetSampleRate = 0x1D6028;
inline constexpr std::uint32_t CanSampleRate = 0x1DA02C;
inline constexpr std::uint32_t SetSampleRate = 0x1DA030;
inline constexpr std::uint32_t GetBufferSize = 0x1D6034;
inline constexpr std::uint32_t CreateBuffers = 0x1DE038;
inline constexpr std::uint32_t DisposeBuffers = 0x1DA03C;
inline constexpr std::uint32_t Start = 0x1DA040;
inline constexpr std::uint32_t Stop = 0x1DA044;
inline constexpr std::uint32_t ReleaseConfigEvent = 0x1DA04C;
inline constexpr std::uint32_t CanKind = 0x1DA050;
inline constexpr std::uint32_t SetKind = 0x1DA054;
inline constexpr std::uint32_t GetKind = 0x1D6058;
} // namespace asio_control

// Sample type codes: where a sample's valid bits lie in its container.
namespace asio_sample_type {
inline constexpr std::uint32_t Int16 = 16;
inline constexpr std::uint32_t Int24Packed = 17;
inline constexpr std::uint32_t Int32 = 18;
inline constexpr std::uint32_t Int16In32 = 24;
inline constexpr std::uint32_t Int18In32 = 25;
inline constexpr std::uint32_t Int20In32 = 26;
inline constexpr std::uint32_t Int24In32 = 27;
} // namespace asio_sample_type

inline constexpr std::uint32_t AsioKindPcm = 0;
inline constexpr std::uint32_t AsioKindDsd = 1;
// Reported for a DSD client: one bit a sample, most significant first.
inline constexpr std::uint32_t AsioSampleTypeDsd = 33;
struct AsioChannels {
    std::uint32_t endpoints;
    std::uint32_t outputs;
    std::uint32_t inputs;
    std::uint32_t reserved;
};
static_assert(sizeof(AsioChannels) == 16);

struct AsioChannelInfo {
    std::uint32_t channel; // in
    std::uint32_t isInput; // in
    std::uint32_t isActive;
    std::uint32_t group;
    std::uint32_t sampleType;
    char name[32];
};
static_assert(sizeof(AsioChannelInfo) == 52 && offsetof(AsioChannelInfo, name) == 20);

// The CreateBuffers request: a header and `entries` channel entries.
struct AsioBufferRequest {
    std::uint32_t unused;
    std::uint32_t entries;
    std::uint32_t bufferFrames;
};
struct AsioChannelEntry {
    std::uint32_t isInput;
    std::uint32_t channel;
};
static_assert(sizeof(AsioBufferRequest) == 12 && sizeof(AsioChannelEntry) == 8);

// The head of every ring block, shared with the client.
struct AsioRingHeader {
    std::uint32_t active;
    std::uint32_t direction; // 1 capture, 0 render
    std::uint32_t channels;
    std::uint32_t firstChannel;
    std::uint32_t ringBytes;
    std::uint32_t position; // the driver's offset: read for render, write for capture
    std::uint32_t startPosition;
    std::uint32_t leadBytes;
    std::uint32_t last; // this slot's completions wake the client
    std::uint32_t completions;
};
static_assert(sizeof(AsioRingHeader) == 40 && offsetof(AsioRingHeader, completions) == 36);
