// The AudioControl interface: its interface descriptor, the class-specific
// header with every terminal and unit, and the status interrupt endpoint.
#include "sim/usb/byte_writer.h"
#include "sim/usb/descriptor_builder.h"

#include <algorithm>
#include <set>
#include <string>

namespace usbsim {
namespace {

using usb::descriptor_type::classInterface;

[[noreturn]] void refuse(const std::string& what, std::uint8_t id) {
    throw std::invalid_argument(what + " (entity " + std::to_string(id) + ")");
}

void requireSource(const FunctionDescription& d, std::uint8_t owner, std::uint8_t source) {
    if (findEntity(d, source) == nullptr) refuse("a source that names no entity", owner);
}

void requireRelease(const FunctionDescription& d, AudioRelease release, std::uint8_t id) {
    if (d.release != release) refuse("an entity of the other release", id);
}

// The bit of each programmable crossing, most significant bit first.
Bytes mixerBitmap(const MixerUnit& unit) {
    std::size_t inputs = 0;
    for (std::uint8_t channels : unit.sourceChannels) inputs += channels;
    if (unit.sourceChannels.size() != unit.sources.size())
        refuse("a mixer without the channel count of each source", unit.id);
    Bytes bitmap((inputs * unit.channels + 7) / 8, 0);
    for (const MixerCrossing& c : unit.crossings) {
        if (c.input < 1 || c.input > inputs || c.output < 1 || c.output > unit.channels)
            refuse("a mixer crossing outside its channels", unit.id);
        const std::size_t bit = (c.input - 1u) * unit.channels + (c.output - 1u);
        bitmap[bit / 8] |= static_cast<std::uint8_t>(0x80 >> (bit % 8));
    }
    return bitmap;
}

void writeSources(ByteWriter& out, const FunctionDescription& d, std::uint8_t owner,
                  const std::vector<std::uint8_t>& sources) {
    out.u8(static_cast<std::uint32_t>(sources.size()));
    for (std::uint8_t source : sources) {
        requireSource(d, owner, source);
        out.u8(source);
    }
}

// Per channel (master first), the controls present on it.
std::vector<std::uint32_t> featureBitmaps(const FeatureUnit& unit, AudioRelease release) {
    std::vector<std::uint32_t> elements(unit.channels + 1u, 0);
    for (const FeatureControl& control : unit.controls) {
        // Release 2 has two bits a control in 32; release 1 keeps to the same selectors.
        const bool fits =
            control.selector >= 1 && control.selector <= 16 &&
            (release == AudioRelease::uac2 || control.selector <= 8 * featureControlSize(unit));
        if (!fits) refuse("a feature control selector beyond the unit's bitmap", unit.id);
        for (std::uint8_t channel : control.channels) {
            if (channel > unit.channels) refuse("a feature control on a missing channel", unit.id);
            if (release == AudioRelease::uac1)
                elements[channel] |= 1u << (control.selector - 1u);
            else
                elements[channel] |= control.access
                                     << usb::uac2::featureControlShift(control.selector);
        }
    }
    return elements;
}

// Writes each entity's descriptor; the two releases share the subtypes 1
// to 6 and differ in a few fields.
struct EntityWriter {
    ByteWriter& out;
    const FunctionDescription& d;
    bool v2 = d.release == AudioRelease::uac2;

    void channelConfig(std::uint32_t config) const { v2 ? out.u32(config) : out.u16(config); }

    void operator()(const InputTerminal& t) const {
        if (v2) requireSource(d, t.id, t.clockSource);
        out.descriptor(classInterface, [&] {
            out.u8(usb::uac1::ac_subtype::inputTerminal);
            out.u8(t.id);
            out.u16(t.terminalType);
            out.u8(t.associatedTerminal);
            if (v2) out.u8(t.clockSource);
            out.u8(t.channels);
            channelConfig(t.channelConfig);
            out.u8(0); // iChannelNames
            if (v2) out.u16(t.controls);
            out.u8(0); // iTerminal
        });
    }
    void operator()(const OutputTerminal& t) const {
        requireSource(d, t.id, t.source);
        if (v2) requireSource(d, t.id, t.clockSource);
        out.descriptor(classInterface, [&] {
            out.u8(usb::uac1::ac_subtype::outputTerminal);
            out.u8(t.id);
            out.u16(t.terminalType);
            out.u8(t.associatedTerminal);
            out.u8(t.source);
            if (v2) {
                out.u8(t.clockSource);
                out.u16(t.controls);
            }
            out.u8(0); // iTerminal
        });
    }
    void operator()(const FeatureUnit& u) const {
        requireSource(d, u.id, u.source);
        const std::vector<std::uint32_t> elements = featureBitmaps(u, d.release);
        // Release 1 states its element size; release 2 elements are 32 bits.
        const std::uint8_t size = v2 ? 4 : featureControlSize(u);
        out.descriptor(classInterface, [&] {
            out.u8(usb::uac1::ac_subtype::featureUnit);
            out.u8(u.id);
            out.u8(u.source);
            if (!v2) out.u8(size);
            for (std::uint32_t element : elements)
                for (std::uint8_t i = 0; i < size; ++i) out.u8(i < 4 ? element >> (8 * i) : 0);
            out.u8(0); // iFeature
        });
    }
    void operator()(const MixerUnit& u) const {
        const Bytes bitmap = mixerBitmap(u);
        out.descriptor(classInterface, [&] {
            out.u8(usb::uac1::ac_subtype::mixerUnit);
            out.u8(u.id);
            writeSources(out, d, u.id, u.sources);
            out.u8(u.channels);
            channelConfig(u.channelConfig);
            out.u8(0); // iChannelNames
            out.bytes(bitmap);
            if (v2) out.u8(0); // bmControls
            out.u8(0);         // iMixer
        });
    }
    void operator()(const SelectorUnit& u) const {
        selector(usb::uac1::ac_subtype::selectorUnit, u.id, u.sources);
    }
    void operator()(const ClockSource& c) const {
        requireRelease(d, AudioRelease::uac2, c.id);
        out.descriptor(classInterface, [&] {
            out.u8(usb::uac2::ac_subtype::clockSource);
            out.u8(c.id);
            out.u8(c.attributes);
            out.u8(c.frequencyAccess | c.validityAccess << 2);
            out.u8(c.associatedTerminal);
            out.u8(0);
        });
    }
    void operator()(const ClockSelector& c) const {
        requireRelease(d, AudioRelease::uac2, c.id);
        selector(usb::uac2::ac_subtype::clockSelector, c.id, c.sources);
    }

    void selector(std::uint8_t subtype, std::uint8_t id,
                  const std::vector<std::uint8_t>& sources) const {
        out.descriptor(classInterface, [&] {
            out.u8(subtype);
            out.u8(id);
            writeSources(out, d, id, sources);
            if (v2) out.u8(usb::uac2::control_access::readWrite); // bmControls
            out.u8(0);
        });
    }
};

void checkIds(const FunctionDescription& d) {
    std::set<std::uint8_t> ids;
    for (const Entity& entity : d.entities) {
        const std::uint8_t id = entityId(entity);
        if (id == 0) refuse("an entity id of 0", id);
        if (!ids.insert(id).second) refuse("an entity id given twice", id);
    }
}

} // namespace

void writeAudioControl(ByteWriter& out, const FunctionDescription& d) {
    checkIds(d);
    const bool v2 = d.release == AudioRelease::uac2;
    out.descriptor(usb::descriptor_type::interface, [&] {
        out.u8(d.controlInterface);
        out.u8(0); // alternate setting
        out.u8(d.status ? 1 : 0);
        out.u8(usb::interface_class::audio);
        out.u8(usb::audio_subclass::control);
        out.u8(v2 ? usb::audio_protocol::version2 : usb::audio_protocol::version1);
        out.u8(0);
    });

    const std::size_t header = out.size();
    std::size_t totalLengthAt = 0;
    out.descriptor(classInterface, [&] {
        out.u8(usb::uac1::ac_subtype::header);
        out.u16(v2 ? 0x0200 : 0x0100); // bcdADC
        if (v2) out.u8(d.category);
        totalLengthAt = out.size();
        out.u16(0);
        if (v2) {
            out.u8(0); // bmControls
        } else {
            out.u8(static_cast<std::uint32_t>(d.streaming.size()));
            for (const StreamingInterface& s : d.streaming) out.u8(s.number);
        }
    });
    for (const Entity& entity : d.entities) std::visit(EntityWriter{out, d}, entity);
    out.patch16(totalLengthAt, out.size() - header);

    if (!d.status) return;
    out.descriptor(usb::descriptor_type::endpoint, [&] {
        out.u8(d.status->address | usb::endpoint::directionIn);
        out.u8(usb::endpoint::attributes(usb::endpoint::TransferType::interrupt));
        out.u16(d.status->maxPacketSize);
        out.u8(d.status->interval);
        if (!v2) {
            out.u8(0); // bRefresh
            out.u8(0); // bSynchAddress
        }
    });
}

const Entity* findEntity(const FunctionDescription& description, std::uint8_t id) {
    for (const Entity& entity : description.entities)
        if (entityId(entity) == id) return &entity;
    return nullptr;
}

std::uint8_t entityId(const Entity& entity) {
    return std::visit([](const auto& e) { return e.id; }, entity);
}

std::uint8_t featureControlSize(const FeatureUnit& unit) {
    if (unit.controlSize != 0) return unit.controlSize;
    std::uint8_t highest = 0;
    for (const FeatureControl& control : unit.controls)
        highest = std::max(highest, control.selector);
    return static_cast<std::uint8_t>(highest <= 8 ? 1 : (highest + 7) / 8);
}

} // namespace usbsim
