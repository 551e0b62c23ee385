// The records of the ASIO interface: what crosses to the user-mode client
// (request and answer layouts, the ring header it shares), the per-client and
// per-endpoint records the driver keeps, and the tables and rules by which
// latencies, buffer sizes and transfer shapes follow from the settings.
#pragma once

#include "driver/common/list.h"
#include "driver/usbstream/usb_stream_control.h"
#include "driver/usbstream/usb_stream_records.h"
#include "platform/io/file_object.h"
#include "platform/io/user_event.h"
#include "platform/io/user_mapping.h"

#include <cstddef>
#include <cstdint>

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

inline constexpr std::uint32_t AsioKindPcm = 0;
inline constexpr std::uint32_t AsioKindDsd = 1;
// Reported for a DSD client: one bit a sample, most significant first.
inline constexpr std::uint32_t AsioSampleTypeDsd = 33;
inline constexpr std::uint32_t AsioLatencyCount = 8;
inline constexpr std::uint32_t AsioRingMilliseconds = 40;
// The ring of a DSD endpoint starts as DSD silence.
inline constexpr std::uint8_t AsioDsdSilence = 0x69;
inline constexpr char AsioFallbackDeviceName[] = "Halvex USB ASIO Device";

struct AsioDeviceIds {
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::uint8_t productString; // string index; 0: none
};

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

struct AsioClientRecord {
    CListNode* node;
    io::FileObject* file;
    io::EventObject* configEvent;
    io::EventObject* bufferEvent;
    std::uint32_t sampleType;
    std::uint32_t latencyIndex;
    std::uint32_t sampleRate;
    std::uint32_t kind;
    std::uint32_t buffersCreated;
};

// One per HAL endpoint while buffers exist; only ASIO endpoints get a ring.
struct AsioEndpointSlot {
    io::SharedPages* pages;    // the ring block: header and ring
    std::uint32_t userAddress; // of the block in the client's process
    IUsbStreamControl* engine; // no reference: the HAL keeps its endpoints
    UsbStreamClientRecord* client;
    std::uint32_t bytesPerSample; // of the endpoint's matched format
    AsioRingHeader* Header() const {
        return pages != nullptr ? static_cast<AsioRingHeader*>(io::sharedPagesAddress(pages))
                                : nullptr;
    }
    std::uint8_t* Ring() const { return reinterpret_cast<std::uint8_t*>(Header() + 1); }
};

// Latency choices in milliseconds by index.
inline constexpr std::uint32_t AsioLatencies[AsioLatencyCount] = {4, 6, 8, 10, 20, 30, 40, 50};

// Container and valid bits of an ASIO sample type; {0, 0} for none.
struct AsioSampleBits {
    std::uint16_t container;
    std::uint16_t valid;
};
AsioSampleBits AsioSampleTypeBits(std::uint32_t code);
// The ASIO code an endpoint format offers; 0 for none.
std::uint32_t AsioSampleTypeOfFormat(std::uint16_t container, std::uint16_t valid);

// Frames per millisecond of the rate as the transfers count them
// (DSD: bytes of 8 samples).
std::uint32_t AsioFramesPerMs(std::uint32_t rate, std::uint32_t kind);

// How a buffer of frames is moved: milliseconds per transfer and transfers
// in flight; `count` is the transfer count before in-flight is taken.
struct AsioTransferShape {
    std::uint32_t msPerTransfer;
    std::uint32_t count;
    std::uint32_t inFlight;
};
AsioTransferShape AsioTransferShapeFor(std::uint32_t bufferFrames, std::uint32_t rate,
                                       std::uint32_t kind);

// {shortest, longest} latency in frames; false for a rate the kind cannot run.
bool AsioLatencyFrames(std::uint32_t rate, std::uint32_t kind, std::uint32_t latencyIndex,
                       std::uint32_t latencies[2]);
// {minimum, maximum, preferred, granularity}; false for a DSD rate that is
// a multiple of neither base.
bool AsioBufferSizes(std::uint32_t rate, std::uint32_t latencyIndex, std::uint32_t sizes[4]);
bool AsioRateFitsKind(std::uint32_t rate, std::uint32_t kind);
