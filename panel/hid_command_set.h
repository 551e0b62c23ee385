#pragma once

// The headset's command protocol on the connected entry's main interface:
// plain writes, requests answered by a feature report, and commands followed
// by a data block. Every operation does nothing and returns false while no
// entry is connected. Reads hand out values only when the whole exchange
// succeeded; on failure their out-parameters keep what the caller put there.

#include "panel/device_table.h"
#include "panel/hid_command.h"
#include "panel/sleeper.h"
#include "panel/utc_clock.h"

#include <array>
#include <cstdint>
#include <optional>

namespace panel {

class HidCommandSet {
public:
    HidCommandSet(DeviceTable& devices, ISleeper& sleeper, const IUtcClock& clock)
        : m_devices(devices), m_sleeper(sleeper), m_clock(clock) {}

    // Transport.
    bool sendCommand(const HidCommand& cmd);
    // The command, then its reply over the same buffer.
    bool hidGet(HidCommand& cmd);
    // The command, then `n` data bytes as further output reports.
    bool hidWrite(const HidCommand& cmd, unsigned n, const std::uint8_t* data);
    // The command, the command again with its reply, then `n` bytes of input.
    bool hidRead(HidCommand& cmd, unsigned n, std::uint8_t* data);
    // 0 keeps the default of each delay (32 ms feature, 8 ms write).
    bool setHidDelays(std::uint8_t featureDelayMs, std::uint8_t writeDelayMs);

    // Writes. The guarded ones send nothing when the headset is absent.
    bool sendCmd01Guarded();
    bool sendCmd01(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
    bool sendCmd02(std::uint8_t clarity, std::uint8_t surround, std::uint8_t enc,
                   std::uint8_t magicVoice, std::uint8_t micMute);
    bool writeCmd02(const std::array<std::uint8_t, kSmallBlockBytes>& block);
    bool sendCmd03(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, std::uint8_t e);
    bool writeCmd03(const std::array<std::uint8_t, kSmallBlockBytes>& keys);
    bool sendCmd04(const std::array<std::uint8_t, 7>& values);
    bool writeCmd05(std::uint8_t slot, const std::array<std::uint8_t, kMacroBlockBytes>& macro);
    bool hid_06H_SetLEDType(const std::array<std::uint8_t, 4>& values);
    // 0x08 with k4..k7 first, only when b > 4; then 0x07 with a, b, k0..k3.
    bool sendCmd0708(std::uint8_t a, std::uint8_t b, const std::array<std::uint8_t, 8>& k);
    bool sendProfileCmd09(std::uint8_t profile);
    bool sendCmd14(std::uint8_t index, std::uint8_t c0, std::uint8_t c1, std::uint8_t c2);
    bool sendCmd15(const std::array<std::uint8_t, 6>& values);
    // Stamps the headset with the current UTC time; the time sent, or nothing
    // when the command was not sent.
    std::optional<std::int64_t> stampTimeFlag();
    bool sendCmd16(std::uint8_t value);

    // Reads.
    struct Version {
        std::uint8_t major = 0;
        std::uint8_t minor = 0;
    };
    // Also takes the pacing the headset asks for.
    bool getVersion80(Version& version);
    bool getCmd81(std::array<std::uint8_t, 4>& values);
    bool readCmd82(std::array<std::uint8_t, kSmallBlockBytes>& block);
    bool readCmd83(std::array<std::uint8_t, kSmallBlockBytes>& keys);
    bool readCmd85(std::uint8_t slot, std::array<std::uint8_t, kMacroBlockBytes>& macro);
    bool hid_86H_GetLEDType(std::array<std::uint8_t, 4>& values);
    // 0x88 first (k4..k7), then 0x87 (a, b, k0..k3).
    bool getCmd8788(std::uint8_t& a, std::uint8_t& b, std::array<std::uint8_t, 8>& k);
    bool getCmd89(std::uint8_t& flag);
    bool hid_94H_GetColor(std::uint8_t index, std::array<std::uint8_t, 3>& colour);
    bool getCmd95(std::array<std::uint8_t, 6>& values);
    bool hid_96H_GetGamingMode(std::uint8_t& mode);

private:
    bool headsetPresent();
    // A request without a block: the reply, after a yield.
    bool request(HidCommand& cmd);

    DeviceTable& m_devices;
    ISleeper& m_sleeper;
    const IUtcClock& m_clock;
};

} // namespace panel
