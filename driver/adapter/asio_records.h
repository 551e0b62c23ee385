// The records of the ASIO interface the driver keeps (what crosses to the
// user-mode client is in driver/usermode/asio_interface.h): the per-client and
// per-endpoint records, and the tables and rules by which
// latencies, buffer sizes and transfer shapes follow from the settings.
#pragma once

#include "driver/common/list.h"
#include "driver/usbstream/usb_stream_control.h"
#include "driver/usbstream/usb_stream_records.h"
#include "driver/usermode/asio_interface.h"
#include "platform/io/file_object.h"
#include "platform/io/user_event.h"
#include "platform/io/user_mapping.h"

#include <cstddef>
#include <cstdint>

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
