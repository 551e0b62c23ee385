#include "sim/hid/headset_firmware.h"

#include <algorithm>

namespace hidsim {

namespace {

using Command = std::array<std::uint8_t, 8>;

constexpr std::uint8_t kReadBit = 0x80;
constexpr std::size_t kSmallBlock = 64;
constexpr std::size_t kMacroBlock = 192;

// The header that announces a 64-byte block after 0x02 and 0x03.
constexpr bool isBlockHeader(const Command& cmd) {
    return cmd[1] == 0 && cmd[2] == 0 && cmd[3] == 1 && cmd[4] == 0 && cmd[5] == 0 && cmd[6] == 0 &&
           cmd[7] == 0;
}

// A header is recognised only by its full form: the 8 header bytes and zeros
// up to the end of the report.
bool isBlockHeaderReport(const Command& cmd, std::span<const std::uint8_t> payload) {
    return isBlockHeader(cmd) &&
           std::all_of(payload.begin() + std::min<std::size_t>(8, payload.size()), payload.end(),
                       [](std::uint8_t b) { return b == 0; });
}

template <std::size_t N>
void take(std::array<std::uint8_t, N>& field, const Command& cmd, std::size_t first) {
    std::copy_n(cmd.begin() + first, N, field.begin());
}

template <std::size_t N>
void put(Command& reply, std::size_t first, const std::array<std::uint8_t, N>& field) {
    std::copy_n(field.begin(), N, reply.begin() + first);
}

} // namespace

void HeadsetFirmware::receiveOutput(std::span<const std::uint8_t> payload) {
    // After a block header every report is block data, whatever its first byte.
    if (m_incoming.target != BlockTarget::None) {
        absorb(payload);
        return;
    }
    Command cmd{};
    std::copy_n(payload.begin(), std::min(payload.size(), cmd.size()), cmd.begin());
    runCommand(cmd, isBlockHeaderReport(cmd, payload));
}

std::optional<std::vector<std::uint8_t>> HeadsetFirmware::takeOutgoingBlock() {
    auto block = std::move(m_outgoing);
    m_outgoing.reset();
    return block;
}

void HeadsetFirmware::runCommand(const Command& cmd, bool headerReport) {
    if (cmd[0] & kReadBit)
        runRead(cmd);
    else
        runWrite(cmd, headerReport);
}

void HeadsetFirmware::runWrite(const Command& cmd, bool headerReport) {
    m_reply = cmd;
    HeadsetState& s = m_state;
    switch (cmd[0]) {
    case 0x01:
        take(s.settings, cmd, 1);
        break;
    case 0x02:
        take(s.switches, cmd, 1);
        if (headerReport) expectBlock(BlockTarget::Block02, kSmallBlock, 0);
        break;
    case 0x03:
        if (headerReport)
            expectBlock(BlockTarget::KeyBlock, kSmallBlock, 0);
        else
            take(s.led, cmd, 1);
        break;
    case 0x04:
        take(s.ledColour, cmd, 1);
        break;
    case 0x05:
        expectBlock(BlockTarget::Macro, kMacroBlock, cmd[2]);
        break;
    case 0x06:
        take(s.ledType, cmd, 1);
        break;
    case 0x07:
        take(s.keys07, cmd, 1);
        break;
    case 0x08:
        take(s.keys08, cmd, 1);
        break;
    case 0x09:
        s.profile = cmd[1];
        break;
    case 0x14:
        if (cmd[2] < kColourSlots) std::copy_n(cmd.begin() + 3, 3, s.colours[cmd[2]].begin());
        break;
    case 0x15:
        take(s.timeStamp, cmd, 1);
        s.syncedFlag = 1;
        break;
    case 0x16:
        s.gamingMode = cmd[1];
        break;
    default:
        break; // unknown commands are ignored, as firmware does
    }
}

void HeadsetFirmware::runRead(const Command& cmd) {
    const HeadsetState& s = m_state;
    Command reply{};
    reply[0] = cmd[0];
    switch (cmd[0]) {
    case 0x80:
        reply[1] = s.versionMajor;
        reply[2] = s.versionMinor;
        reply[3] = s.featureDelayMs;
        reply[4] = s.writeDelayMs;
        break;
    case 0x81:
        put(reply, 1, s.settings);
        break;
    case 0x82:
        m_outgoing.emplace(s.block02.begin(), s.block02.end());
        break;
    case 0x83:
        m_outgoing.emplace(s.keyBlock.begin(), s.keyBlock.end());
        break;
    case 0x85:
        reply[2] = cmd[2];
        if (cmd[2] < kMacroSlots)
            m_outgoing.emplace(s.macros[cmd[2]].begin(), s.macros[cmd[2]].end());
        else
            m_outgoing.emplace(kMacroBlock, std::uint8_t{0xFF});
        break;
    case 0x86:
        put(reply, 1, s.ledType);
        break;
    case 0x87:
        put(reply, 1, s.keys07);
        break;
    case 0x88:
        put(reply, 1, s.keys08);
        break;
    case 0x89:
        reply[4] = s.syncedFlag;
        break;
    case 0x94:
        reply[2] = cmd[2];
        if (cmd[2] < kColourSlots) put(reply, 3, s.colours[cmd[2]]);
        break;
    case 0x95:
        put(reply, 1, s.timeStamp);
        break;
    case 0x96:
        reply[1] = s.gamingMode;
        break;
    default:
        reply = cmd;
        break;
    }
    m_reply = reply;
}

void HeadsetFirmware::expectBlock(BlockTarget target, std::size_t bytes, std::uint8_t slot) {
    m_incoming = IncomingBlock{target, slot, {}, bytes};
    m_incoming.bytes.reserve(bytes);
}

void HeadsetFirmware::absorb(std::span<const std::uint8_t> payload) {
    const std::size_t room = m_incoming.expected - m_incoming.bytes.size();
    const std::size_t n = std::min(room, payload.size());
    m_incoming.bytes.insert(m_incoming.bytes.end(), payload.begin(), payload.begin() + n);
    if (m_incoming.bytes.size() == m_incoming.expected) {
        storeBlock();
        m_incoming = {};
    }
}

void HeadsetFirmware::storeBlock() {
    const auto& bytes = m_incoming.bytes;
    switch (m_incoming.target) {
    case BlockTarget::Block02:
        std::copy(bytes.begin(), bytes.end(), m_state.block02.begin());
        break;
    case BlockTarget::KeyBlock:
        std::copy(bytes.begin(), bytes.end(), m_state.keyBlock.begin());
        break;
    case BlockTarget::Macro:
        // A slot the headset does not have takes the data and keeps nothing.
        if (m_incoming.slot < kMacroSlots)
            std::copy(bytes.begin(), bytes.end(), m_state.macros[m_incoming.slot].begin());
        break;
    case BlockTarget::None:
        break;
    }
}

} // namespace hidsim
