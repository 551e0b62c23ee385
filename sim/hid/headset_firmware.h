#pragma once

// The headset firmware's side of the command set: 8-byte commands arrive as
// output reports, replies leave as the 8 bytes of the feature report, and
// data blocks travel as further output reports (writes) or queued input
// reports (reads). Pure logic: the simulated device feeds it reports.

#include "sim/hid/headset_state.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace hidsim {

class HeadsetFirmware {
public:
    explicit HeadsetFirmware(const HeadsetState& state = {}) : m_state(state) {}

    // `payload` is an output report without its report-id byte.
    void receiveOutput(std::span<const std::uint8_t> payload);

    // Reply byte 0 echoes the command code; a write command's reply echoes
    // the whole command.
    std::array<std::uint8_t, 8> featureReply() const { return m_reply; }

    // A read command's data block, to be sent as input reports; it replaces
    // whatever the headset still had queued.
    std::optional<std::vector<std::uint8_t>> takeOutgoingBlock();

    const HeadsetState& state() const { return m_state; }
    void setState(const HeadsetState& state) { m_state = state; }

private:
    enum class BlockTarget { None, Block02, KeyBlock, Macro };

    // A block being received after its header. A 0x02 header is also a
    // switch command (ENC on, the rest off) and stores its switches as well.
    struct IncomingBlock {
        BlockTarget target = BlockTarget::None;
        std::uint8_t slot = 0;
        std::vector<std::uint8_t> bytes;
        std::size_t expected = 0;
    };

    // `headerReport`: the command came as a full block header.
    void runCommand(const std::array<std::uint8_t, 8>& cmd, bool headerReport);
    void runRead(const std::array<std::uint8_t, 8>& cmd);
    void runWrite(const std::array<std::uint8_t, 8>& cmd, bool headerReport);
    void expectBlock(BlockTarget target, std::size_t bytes, std::uint8_t slot);
    void absorb(std::span<const std::uint8_t> payload);
    void storeBlock();

    HeadsetState m_state;
    std::array<std::uint8_t, 8> m_reply{};
    IncomingBlock m_incoming;
    std::optional<std::vector<std::uint8_t>> m_outgoing;
};

} // namespace hidsim
