// The AudioStreaming interfaces: setting 0 without endpoints, then each
// setting with its general and format descriptors, its data endpoint and,
// in release 2, its explicit feedback endpoint.
#include "sim/usb/byte_writer.h"
#include "sim/usb/descriptor_builder.h"

#include <string>

namespace usbsim {
namespace {

using usb::descriptor_type::classInterface;

[[noreturn]] void refuse(const std::string& what, const StreamingInterface& s) {
    throw std::invalid_argument(what + " (streaming interface " + std::to_string(s.number) + ")");
}

void writeInterface(ByteWriter& out, const FunctionDescription& d, std::uint8_t number,
                    std::uint8_t alternate, std::uint8_t endpoints) {
    out.descriptor(usb::descriptor_type::interface, [&] {
        out.u8(number);
        out.u8(alternate);
        out.u8(endpoints);
        out.u8(usb::interface_class::audio);
        out.u8(usb::audio_subclass::streaming);
        out.u8(d.release == AudioRelease::uac2 ? usb::audio_protocol::version2
                                               : usb::audio_protocol::version1);
        out.u8(0);
    });
}

void writeUac1Format(ByteWriter& out, const StreamingInterface& s, const StreamFormat& f) {
    if (f.continuous.has_value() == !f.rates.empty())
        refuse("a format needs either rates or a continuous range", s);
    if (f.rates.size() > 255) refuse("more rates than a format carries", s);
    out.descriptor(classInterface, [&] {
        out.u8(usb::as_subtype::formatType);
        out.u8(f.formatType);
        out.u8(f.channels);
        out.u8(f.subslotSize);
        out.u8(f.bitResolution);
        if (f.continuous) {
            out.u8(0);
            out.u24(f.continuous->minimum);
            out.u24(f.continuous->maximum);
        } else {
            out.u8(static_cast<std::uint32_t>(f.rates.size()));
            for (std::uint32_t rate : f.rates) out.u24(rate);
        }
    });
}

void writeSetting(ByteWriter& out, const FunctionDescription& d, const StreamingInterface& s,
                  std::uint8_t alternate, const AlternateSetting& setting) {
    const bool v2 = d.release == AudioRelease::uac2;
    const Entity* link = findEntity(d, setting.terminalLink);
    if (link == nullptr || !(std::holds_alternative<InputTerminal>(*link) ||
                             std::holds_alternative<OutputTerminal>(*link)))
        refuse("a terminal link that names no terminal", s);
    if (setting.feedback && !v2) refuse("an explicit feedback endpoint in release 1", s);

    writeInterface(out, d, s.number, alternate, setting.feedback ? 2 : 1);
    const StreamFormat& f = setting.format;
    out.descriptor(classInterface, [&] {
        out.u8(usb::as_subtype::general);
        out.u8(setting.terminalLink);
        if (v2) {
            out.u8(usb::uac2::control_access::readOnly << 2); // valid alternate settings
            out.u8(f.formatType);
            out.u32(f.formats);
            out.u8(f.channels);
            out.u32(f.channelConfig);
            out.u8(0); // iChannelNames
        } else {
            out.u8(1); // bDelay
            out.u16(f.formatTag);
        }
    });
    if (v2) {
        out.descriptor(classInterface, [&] {
            out.u8(usb::as_subtype::formatType);
            out.u8(f.formatType);
            out.u8(f.subslotSize);
            out.u8(f.bitResolution);
        });
    } else {
        writeUac1Format(out, s, f);
    }

    const DataEndpoint& e = setting.data;
    out.descriptor(usb::descriptor_type::endpoint, [&] {
        out.u8(e.address);
        out.u8(usb::endpoint::attributes(usb::endpoint::TransferType::isochronous, e.sync));
        out.u16(e.maxPacketSize);
        out.u8(e.interval);
        if (!v2) {
            out.u8(0); // bRefresh
            out.u8(0); // bSynchAddress
        }
    });
    out.descriptor(usb::descriptor_type::classEndpoint, [&] {
        out.u8(usb::endpoint_subtype::general);
        out.u8(!v2 && e.samplingFrequencyControl ? 0x01 : 0x00); // bmAttributes
        if (v2) out.u8(0);                                       // bmControls
        out.u8(0);                                               // bLockDelayUnits
        out.u16(0);                                              // wLockDelay
    });
    if (!setting.feedback) return;
    out.descriptor(usb::descriptor_type::endpoint, [&] {
        out.u8(setting.feedback->address | usb::endpoint::directionIn);
        out.u8(usb::endpoint::attributes(usb::endpoint::TransferType::isochronous,
                                         usb::endpoint::Synchronisation::none,
                                         usb::endpoint::Usage::feedback));
        out.u16(setting.feedback->maxPacketSize);
        out.u8(setting.feedback->interval);
    });
}

} // namespace

void writeStreaming(ByteWriter& out, const FunctionDescription& d) {
    for (const StreamingInterface& s : d.streaming) {
        if (s.settings.size() > 254) refuse("more settings than an interface numbers", s);
        writeInterface(out, d, s.number, 0, 0);
        std::uint8_t alternate = 1;
        for (const AlternateSetting& setting : s.settings)
            writeSetting(out, d, s, alternate++, setting);
    }
}

} // namespace usbsim
