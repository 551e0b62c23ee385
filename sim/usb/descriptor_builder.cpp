#include "sim/usb/descriptor_builder.h"

#include "sim/usb/byte_writer.h"

namespace usbsim {

namespace {

Bytes buildDevice(const FunctionDescription& d) {
    // A release 2 function groups its interfaces with an association, which
    // the device announces with the miscellaneous class.
    const bool associated = d.release == AudioRelease::uac2;
    ByteWriter out;
    out.descriptor(usb::descriptor_type::device, [&] {
        out.u16(0x0200); // bcdUSB
        out.u8(associated ? 0xEF : 0);
        out.u8(associated ? 0x02 : 0);
        out.u8(associated ? 0x01 : 0);
        out.u8(64); // bMaxPacketSize0
        out.u16(d.vendorId);
        out.u16(d.productId);
        out.u16(d.deviceRelease);
        out.u8(d.manufacturerString);
        out.u8(d.productString);
        out.u8(d.serialString);
        out.u8(1); // bNumConfigurations
    });
    return out.take();
}

Bytes buildLanguages(const FunctionDescription& d) {
    ByteWriter out;
    out.descriptor(usb::descriptor_type::string, [&] {
        for (std::uint16_t language : d.languages) out.u16(language);
    });
    return out.take();
}

} // namespace

Bytes stringDescriptor(std::u16string_view text) {
    ByteWriter out;
    out.descriptor(usb::descriptor_type::string, [&] {
        for (char16_t unit : text) out.u16(unit);
    });
    return out.take();
}

Bytes buildConfiguration(const FunctionDescription& d) {
    ByteWriter out;
    out.descriptor(usb::descriptor_type::configuration, [&] {
        out.u16(0); // wTotalLength, below
        out.u8(static_cast<std::uint32_t>(1 + d.streaming.size()));
        out.u8(d.configurationValue);
        out.u8(0); // iConfiguration
        out.u8(0x80 | (d.selfPowered ? 0x40 : 0));
        out.u8(d.maxPower);
    });
    if (d.release == AudioRelease::uac2) {
        out.descriptor(usb::descriptor_type::interfaceAssociation, [&] {
            out.u8(d.controlInterface);
            out.u8(static_cast<std::uint32_t>(1 + d.streaming.size()));
            out.u8(usb::interface_class::audio);
            out.u8(0); // bFunctionSubClass
            out.u8(usb::audio_protocol::version2);
            out.u8(0);
        });
    }
    writeAudioControl(out, d);
    writeStreaming(out, d);
    out.patch16(2, out.size());
    return out.take();
}

BuiltDescriptors buildDescriptors(const FunctionDescription& d) {
    BuiltDescriptors built;
    built.device = buildDevice(d);
    built.configuration = d.rawConfiguration ? *d.rawConfiguration : buildConfiguration(d);
    built.languages = buildLanguages(d);
    for (const StringEntry& entry : d.strings) {
        if (entry.index == 0) throw std::invalid_argument("string index 0 is the language list");
        if (!built.strings
                 .emplace(std::pair(entry.index, entry.language), stringDescriptor(entry.text))
                 .second)
            throw std::invalid_argument("a string given twice for one index and language");
    }
    return built;
}

} // namespace usbsim
