// The device side of terminal requests for the terminal tests: per terminal,
// the types it can play as, the one it plays now, the jacks of each type and
// the channels connected. Release 1 answers vendor requests, release 2 the
// class requests the control graph leaves to the function's hook.
#pragma once

#include "sim/usb/function_description.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace devmodel_test {

struct TerminalFace {
    std::vector<std::uint16_t> types; // empty: the type list is refused
    std::uint16_t current = 0;
    std::map<std::uint16_t, std::vector<usbsim::Jack>> jacks; // no entry: list refused
    std::uint32_t connected = 0;
    bool answersStatus = true;
    std::uint32_t listBytesLeftOff = 0; // a device that answers short lists
};

class TerminalDevice {
public:
    explicit TerminalDevice(bool vendor) : m_Vendor(vendor) {}
    std::map<std::uint8_t, TerminalFace> faces;

    std::optional<usbsim::Bytes> Answer(const usb::SetupPacket& setup,
                                        std::span<const std::uint8_t> data) {
        const auto found = faces.find(static_cast<std::uint8_t>(setup.wIndex.value() >> 8));
        const bool vendor = usb::typeOf(setup) == usb::RequestType::vendor;
        if (found == faces.end() || vendor != m_Vendor) return std::nullopt;
        TerminalFace& face = found->second;
        const bool in = usb::directionOf(setup) == usb::Direction::in;
        const std::uint8_t read = m_Vendor ? 0x81 : 0x01;
        const std::uint8_t list = m_Vendor ? 0x86 : 0x02;
        const std::uint32_t value = setup.wValue.value();
        if (!in) {
            if (setup.bRequest != read || value != 0x0800 || data.size() != 2) return std::nullopt;
            face.current = static_cast<std::uint16_t>(data[0] | data[1] << 8);
            return usbsim::Bytes{};
        }
        if (setup.bRequest == list && value == 0x0800) {
            if (face.types.empty()) return std::nullopt;
            usbsim::Bytes out = Word(face.types.size(), 2);
            for (std::uint16_t type : face.types) Append(out, Word(type, 6));
            return Shorten(out, face);
        }
        if (setup.bRequest != read) return std::nullopt;
        if (value == 0x0800) return Word(face.current, 2);
        if (value == 0x0200) {
            if (!face.answersStatus) return std::nullopt;
            usbsim::Bytes out{0};
            Append(out, Word(face.connected, 4));
            out.push_back(0);
            return out;
        }
        if (value != 0x02FF) return std::nullopt;
        const auto jacks = face.jacks.find(face.current);
        if (jacks == face.jacks.end()) return std::nullopt;
        usbsim::Bytes out{static_cast<std::uint8_t>(jacks->second.size())};
        for (const usbsim::Jack& jack : jacks->second) {
            Append(out, Word(jack.channels, 4));
            Append(out, Word(jack.details, 4));
        }
        return Shorten(out, face);
    }

private:
    static usbsim::Bytes Word(std::uint32_t value, std::size_t bytes) {
        usbsim::Bytes out(bytes, 0);
        for (std::size_t i = 0; i < bytes && i < 4; ++i)
            out[i] = static_cast<std::uint8_t>(value >> (8 * i));
        return out;
    }
    static void Append(usbsim::Bytes& out, const usbsim::Bytes& more) {
        out.insert(out.end(), more.begin(), more.end());
    }
    // Only answers longer than the probe the driver sends first are cut.
    static usbsim::Bytes Shorten(usbsim::Bytes out, const TerminalFace& face) {
        if (out.size() > 9 && face.listBytesLeftOff != 0)
            out.resize(out.size() - std::min<std::size_t>(face.listBytesLeftOff, out.size() - 9));
        return out;
    }

    bool m_Vendor;
};

// The hook of a function whose terminals the device answers for.
inline usbsim::RequestHook HookTo(std::shared_ptr<TerminalDevice> device) {
    return [device](const usb::SetupPacket& setup, std::span<const std::uint8_t> data) {
        return device->Answer(setup, data);
    };
}

} // namespace devmodel_test
