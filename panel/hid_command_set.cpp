#include "panel/hid_command_set.h"

#include <QDebug>

#include <algorithm>

namespace panel {

namespace {

constexpr unsigned kDefaultFeatureDelayMs = 32;
constexpr unsigned kDefaultWriteDelayMs = 8;

template <std::size_t N>
void copyReply(const HidCommand& reply, std::size_t first, std::array<std::uint8_t, N>& out) {
    std::copy_n(reply.begin() + first, N, out.begin());
}

} // namespace

bool HidCommandSet::sendCommand(const HidCommand& cmd) {
    Kestrel* k = m_devices.current();
    if (!k) return false;
    k->set_reportId(kMainReportId, kVendorReportId);
    HidCommand bytes = cmd;
    return k->writeData(static_cast<unsigned>(bytes.size()), bytes.data());
}

bool HidCommandSet::hidGet(HidCommand& cmd) {
    Kestrel* k = m_devices.current();
    if (!k) return false;
    if (!sendCommand(cmd)) return false;
    HidCommand reply = cmd;
    if (!k->getReport(reply.data(), static_cast<unsigned>(reply.size()))) return false;
    cmd = reply;
    return true;
}

bool HidCommandSet::hidWrite(const HidCommand& cmd, unsigned n, const std::uint8_t* data) {
    Kestrel* k = m_devices.current();
    if (!k) return false;
    const bool sent = sendCommand(cmd);
    std::vector<std::uint8_t> block(data, data + n);
    const bool written = k->writeData(n, block.data());
    return sent && written;
}

bool HidCommandSet::hidRead(HidCommand& cmd, unsigned n, std::uint8_t* data) {
    Kestrel* k = m_devices.current();
    if (!k) return false;
    const bool sent = sendCommand(cmd);
    const bool answered = hidGet(cmd);
    // The block lands in a copy so that a failed read leaves the caller's bytes.
    std::vector<std::uint8_t> block(data, data + n);
    if (!k->readData(n, block.data())) return false;
    if (!sent || !answered) return false;
    std::copy(block.begin(), block.end(), data);
    return true;
}

bool HidCommandSet::setHidDelays(std::uint8_t featureDelayMs, std::uint8_t writeDelayMs) {
    Kestrel* k = m_devices.current();
    if (!k) return false;
    k->set_delay(featureDelayMs ? featureDelayMs : kDefaultFeatureDelayMs,
                 writeDelayMs ? writeDelayMs : kDefaultWriteDelayMs);
    return true;
}

bool HidCommandSet::headsetPresent() {
    if (m_devices.curDid.load() < 0) return false;
    if (m_devices.testDevice()) return true;
    qDebug() << "disConnect...";
    return false;
}

bool HidCommandSet::request(HidCommand& cmd) {
    if (!hidGet(cmd)) return false;
    m_sleeper.sleepMs(0);
    return true;
}

bool HidCommandSet::sendCmd01Guarded() { return headsetPresent() && sendCommand({0x01}); }

bool HidCommandSet::sendCmd01(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return sendCommand({0x01, a, b, c, d});
}

bool HidCommandSet::sendCmd02(std::uint8_t clarity, std::uint8_t surround, std::uint8_t enc,
                              std::uint8_t magicVoice, std::uint8_t micMute) {
    return headsetPresent() && sendCommand({0x02, clarity, surround, enc, magicVoice, micMute});
}

bool HidCommandSet::writeCmd02(const std::array<std::uint8_t, kSmallBlockBytes>& block) {
    return hidWrite({0x02, 0, 0, 1}, kSmallBlockBytes, block.data());
}

bool HidCommandSet::sendCmd03(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d,
                              std::uint8_t e) {
    return headsetPresent() && sendCommand({0x03, a, b, c, d, e});
}

bool HidCommandSet::writeCmd03(const std::array<std::uint8_t, kSmallBlockBytes>& keys) {
    return hidWrite({0x03, 0, 0, 1}, kSmallBlockBytes, keys.data());
}

bool HidCommandSet::sendCmd04(const std::array<std::uint8_t, 7>& values) {
    if (!headsetPresent()) return false;
    HidCommand cmd{0x04};
    std::copy(values.begin(), values.end(), cmd.begin() + 1);
    return sendCommand(cmd);
}

bool HidCommandSet::writeCmd05(std::uint8_t slot,
                               const std::array<std::uint8_t, kMacroBlockBytes>& macro) {
    return hidWrite({0x05, 0, slot, 3}, kMacroBlockBytes, macro.data());
}

bool HidCommandSet::hid_06H_SetLEDType(const std::array<std::uint8_t, 4>& v) {
    const bool sent = sendCommand({0x06, v[0], v[1], v[2], v[3]});
    qDebug() << "hid_06H_SetLEDType";
    return sent;
}

bool HidCommandSet::sendCmd0708(std::uint8_t a, std::uint8_t b,
                                const std::array<std::uint8_t, 8>& k) {
    bool sent = true;
    if (b > 4) sent = sendCommand({0x08, k[4], k[5], k[6], k[7]});
    return sendCommand({0x07, a, b, k[0], k[1], k[2], k[3]}) && sent;
}

bool HidCommandSet::sendProfileCmd09(std::uint8_t profile) { return sendCommand({0x09, profile}); }

bool HidCommandSet::sendCmd14(std::uint8_t index, std::uint8_t c0, std::uint8_t c1,
                              std::uint8_t c2) {
    return sendCommand({0x14, 0, index, c0, c1, c2});
}

bool HidCommandSet::sendCmd15(const std::array<std::uint8_t, 6>& v) {
    return sendCommand({0x15, v[0], v[1], v[2], v[3], v[4], v[5]});
}

std::optional<std::int64_t> HidCommandSet::stampTimeFlag() {
    const std::int64_t now = m_clock.nowSeconds();
    const auto t = static_cast<std::uint32_t>(now);
    const HidCommand cmd{0x15, static_cast<std::uint8_t>(t >> 24),
                         static_cast<std::uint8_t>(t >> 16), static_cast<std::uint8_t>(t >> 8),
                         static_cast<std::uint8_t>(t)};
    if (!sendCommand(cmd)) return std::nullopt;
    return now;
}

bool HidCommandSet::sendCmd16(std::uint8_t value) { return sendCommand({0x16, value}); }

bool HidCommandSet::getVersion80(Version& version) {
    HidCommand cmd{0x80};
    if (!request(cmd)) return false;
    version = {cmd[1], cmd[2]};
    return setHidDelays(cmd[3], cmd[4]);
}

bool HidCommandSet::getCmd81(std::array<std::uint8_t, 4>& values) {
    HidCommand cmd{0x81};
    if (!request(cmd)) return false;
    copyReply(cmd, 1, values);
    return true;
}

bool HidCommandSet::readCmd82(std::array<std::uint8_t, kSmallBlockBytes>& block) {
    HidCommand cmd{0x82};
    return hidRead(cmd, kSmallBlockBytes, block.data());
}

bool HidCommandSet::readCmd83(std::array<std::uint8_t, kSmallBlockBytes>& keys) {
    HidCommand cmd{0x83};
    return hidRead(cmd, kSmallBlockBytes, keys.data());
}

bool HidCommandSet::readCmd85(std::uint8_t slot,
                              std::array<std::uint8_t, kMacroBlockBytes>& macro) {
    HidCommand cmd{0x85, 0, slot};
    return hidRead(cmd, kMacroBlockBytes, macro.data());
}

bool HidCommandSet::hid_86H_GetLEDType(std::array<std::uint8_t, 4>& values) {
    HidCommand cmd{0x86};
    if (!request(cmd)) return false;
    copyReply(cmd, 1, values);
    qDebug() << "hid_86H_GetLEDType" << values[0] << values[1] << values[2] << values[3];
    return true;
}

bool HidCommandSet::getCmd8788(std::uint8_t& a, std::uint8_t& b, std::array<std::uint8_t, 8>& k) {
    HidCommand high{0x88};
    if (!request(high)) return false;
    HidCommand low{0x87};
    if (!request(low)) return false;
    a = low[1];
    b = low[2];
    std::copy_n(low.begin() + 3, 4, k.begin());
    std::copy_n(high.begin() + 1, 4, k.begin() + 4);
    return true;
}

bool HidCommandSet::getCmd89(std::uint8_t& flag) {
    HidCommand cmd{0x89};
    if (!request(cmd)) return false;
    flag = cmd[4];
    return true;
}

bool HidCommandSet::hid_94H_GetColor(std::uint8_t index, std::array<std::uint8_t, 3>& colour) {
    HidCommand cmd{0x94, 0, index};
    if (!request(cmd)) return false;
    copyReply(cmd, 3, colour);
    qDebug() << "hid_94H_GetColor " << colour[0] << colour[1] << colour[2];
    return true;
}

bool HidCommandSet::getCmd95(std::array<std::uint8_t, 6>& values) {
    HidCommand cmd{0x95};
    if (!request(cmd)) return false;
    copyReply(cmd, 1, values);
    return true;
}

bool HidCommandSet::hid_96H_GetGamingMode(std::uint8_t& mode) {
    HidCommand cmd{0x96};
    if (!request(cmd)) return false;
    mode = cmd[1];
    qDebug() << "hid_96H_GetGamingMode " << mode;
    return true;
}

} // namespace panel
