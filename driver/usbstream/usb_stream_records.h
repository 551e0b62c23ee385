// The records a USB stream engine shares with its clients and its creators:
// a client's record, the message every client's callback receives, and an
// entry of the engine's format table.
#pragma once

#include "driver/engine/stream_client_list.h"
#include "platform/kernel/pool.h"
#include "platform/ks/wave_format.h"

#include <cstdint>

// Client records, the format table and the per-stream limiter.
inline constexpr kernel::PoolTag UsbStreamTag = kernel::poolTag("USBS");

// The maker's vendor id (the project's own choice), and the sub-format of
// the maker's vendor-specific stream formats: PCM's identifier with the
// vendor id in its first field.
inline constexpr std::uint16_t MakerVendorId = 0x5A17;
inline constexpr kernel::Guid MakerVendorSubFormat = ks::subFormatOf(MakerVendorId);

// Client priorities: the wave streams of the port layer and the ASIO table.
inline constexpr std::uint32_t WaveClientPriority = 3;
inline constexpr std::uint32_t AsioClientPriority = 5;

// A client of one engine. The registration handle (the head's) is the
// client's name in every later call.
struct UsbStreamClientRecord : StreamClientRecord {
    std::uint32_t ValueA; // milliseconds per transfer
    std::uint32_t ValueB; // transfers in flight
    ks::WaveFormatExtensible Format;
    std::uint32_t Direction; // the engine's, copied at registration
    std::uint8_t Active;     // 1 while the client runs
};

namespace stream_message {
inline constexpr std::uint32_t transferDone = 1;  // argument 1: bytes of the transfer
inline constexpr std::uint32_t formatApplied = 2; // arguments: value A (bit 31), value B
inline constexpr std::uint32_t fillPacket = 3;    // arguments: packet address, bytes
inline constexpr std::uint32_t packetArrived = 4; // arguments: packet address, bytes
// In argument 1 of formatApplied: the device's running format changed or was
// established again.
inline constexpr std::uintptr_t formatChangedBit = 1u << 31;
} // namespace stream_message

// What every client's callback receives as its first argument. The client
// named is the one the device runs, whoever the callback belongs to.
// Arguments carry addresses, so they are pointer-sized.
struct StreamMessage {
    UsbStreamClientRecord* Client;
    std::uintptr_t Code;
    std::uintptr_t Argument1;
    std::uintptr_t Argument2;
};

// One format of the streaming interface and the alternate setting that
// carries it.
struct UsbFormatEntry {
    std::uint8_t AlternateSetting;
    ks::WaveFormatExtensible Format;
};
