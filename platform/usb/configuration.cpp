#include "platform/usb/configuration.h"

#include "platform/usb/descriptor_rules.h"

namespace usb {

using kernel::NTSTATUS;

Descriptor DescriptorRange::Iterator::operator*() const {
    return {m_all.subspan(m_at, m_all[m_at]), m_at};
}

DescriptorRange::Iterator& DescriptorRange::Iterator::operator++() {
    m_at += m_all[m_at];
    return *this;
}

namespace {

// What the walk asks of a descriptor by its type: the length its record
// needs (class-specific ones their three header bytes) and its name.
struct TypeRule {
    std::uint8_t type;
    std::uint8_t length;
    const char* name;
};

constexpr TypeRule kTypeRules[] = {
    {descriptor_type::configuration, sizeof(ConfigurationDescriptor), "configuration"},
    {descriptor_type::interface, sizeof(InterfaceDescriptor), "interface"},
    {descriptor_type::endpoint, sizeof(EndpointDescriptor), "endpoint"},
    {descriptor_type::interfaceAssociation, sizeof(InterfaceAssociationDescriptor),
     "interface association"},
    {descriptor_type::classInterface, 3, "class-specific"},
    {descriptor_type::classEndpoint, 3, "class-specific"},
};

TypeRule typeRule(std::uint8_t type) {
    for (const TypeRule& rule : kTypeRules)
        if (rule.type == type) return rule;
    return {type, 2, "descriptor"};
}

bool matches(int wanted, std::uint8_t value) {
    return wanted == InterfaceQuery::any || wanted == value;
}

} // namespace

ConfigurationView::ConfigurationView(std::span<const std::uint8_t> bytes) {
    validate(bytes);
    if (!valid()) m_bytes = {};
}

void ConfigurationView::refuse(NTSTATUS status, std::size_t offset, const char* descriptor,
                               const char* problem) {
    m_status = status;
    m_fault = {offset, descriptor, problem};
}

void ConfigurationView::validate(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < sizeof(ConfigurationDescriptor))
        return refuse(kernel::STATUS_UNSUCCESSFUL, 0, "configuration", "shorter than 9 bytes");
    if (bytes[1] != descriptor_type::configuration)
        return refuse(kernel::STATUS_INVALID_PARAMETER, 0, "configuration",
                      "not a configuration descriptor");
    if (bytes[0] < sizeof(ConfigurationDescriptor))
        return refuse(kernel::STATUS_INVALID_PARAMETER, 0, "configuration",
                      "bLength shorter than 9");
    const std::size_t total = readLittleEndian<2>(bytes, 2);
    if (total < bytes[0])
        return refuse(kernel::STATUS_INVALID_PARAMETER, 0, "configuration",
                      "wTotalLength shorter than the descriptor itself");
    if (total > bytes.size())
        return refuse(kernel::STATUS_UNSUCCESSFUL, 0, "configuration",
                      "wTotalLength runs past the bytes given");
    m_bytes = bytes.first(total);

    for (std::size_t at = 0; at < total;) {
        const std::size_t remaining = total - at;
        if (remaining < 2)
            return refuse(kernel::STATUS_UNSUCCESSFUL, at, "descriptor",
                          "header cut off by the configuration's end");
        const std::size_t length = m_bytes[at];
        if (length == 0)
            return refuse(kernel::STATUS_INVALID_PARAMETER, at, "descriptor", "bLength 0");
        if (length == 1)
            return refuse(kernel::STATUS_INVALID_PARAMETER, at, "descriptor",
                          "bLength 1 leaves no room for its type");
        if (length > remaining)
            return refuse(kernel::STATUS_UNSUCCESSFUL, at, typeRule(m_bytes[at + 1]).name,
                          "runs past the configuration's end");
        if (!checkDescriptor(m_bytes.subspan(at, length), at)) return;
        at += length;
    }
}

bool ConfigurationView::checkDescriptor(std::span<const std::uint8_t> d, std::size_t offset) {
    const std::uint8_t type = d[1];
    const TypeRule rule = typeRule(type);
    if (d.size() < rule.length) {
        refuse(kernel::STATUS_INVALID_PARAMETER, offset, rule.name, "shorter than its type needs");
        return false;
    }
    if (type == descriptor_type::interface) {
        const auto* interface = reinterpret_cast<const InterfaceDescriptor*>(d.data());
        m_context = audioInterfaceKind(*interface);
        return true;
    }
    const bool classSpecific =
        type == descriptor_type::classInterface || type == descriptor_type::classEndpoint;
    if (!classSpecific || !m_context) return true;

    const AudioRelease release = m_context->release;
    if (const char* problem = checkClassDescriptor(release, m_context->subclass, d)) {
        const ClassDescriptorRule* classRule =
            findClassDescriptorRule(release, m_context->subclass, type, d[2]);
        refuse(kernel::STATUS_INVALID_PARAMETER, offset,
               classRule != nullptr ? classRule->name : rule.name, problem);
        return false;
    }
    return true;
}

const ConfigurationDescriptor* ConfigurationView::configuration() const {
    return valid() ? reinterpret_cast<const ConfigurationDescriptor*>(m_bytes.data()) : nullptr;
}

bool ConfigurationView::contains(const void* descriptor) const {
    return offsetOf(descriptor) < m_bytes.size();
}

std::size_t ConfigurationView::offsetOf(const void* descriptor) const {
    for (const Descriptor& d : descriptors())
        if (d.bytes.data() == descriptor) return d.offset;
    return m_bytes.size();
}

DescriptorRange ConfigurationView::descriptorsFrom(const void* descriptor) const {
    const std::size_t first = offsetOf(descriptor);
    return {m_bytes, first, m_bytes.size()};
}

DescriptorRange
ConfigurationView::interfaceDescriptors(const InterfaceDescriptor* interface) const {
    const std::size_t first = offsetOf(interface);
    if (first == m_bytes.size() || interface->bDescriptorType != descriptor_type::interface)
        return {};
    std::size_t last = first + m_bytes[first];
    while (last < m_bytes.size() && m_bytes[last + 1] != descriptor_type::interface &&
           m_bytes[last + 1] != descriptor_type::interfaceAssociation)
        last += m_bytes[last];
    return {m_bytes, first, last};
}

const InterfaceDescriptor* ConfigurationView::findInterface(const InterfaceQuery& query,
                                                            const void* after) const {
    DescriptorRange range = after != nullptr ? descriptorsFrom(after) : descriptors();
    auto it = range.begin();
    if (after != nullptr && it != range.end()) ++it;
    for (; it != range.end(); ++it) {
        const Descriptor d = *it;
        if (d.type() != descriptor_type::interface) continue;
        const auto* interface = d.as<InterfaceDescriptor>();
        if (matches(query.number, interface->bInterfaceNumber) &&
            matches(query.alternateSetting, interface->bAlternateSetting) &&
            matches(query.interfaceClass, interface->bInterfaceClass) &&
            matches(query.subclass, interface->bInterfaceSubClass) &&
            matches(query.protocol, interface->bInterfaceProtocol))
            return interface;
    }
    return nullptr;
}

const EndpointDescriptor* ConfigurationView::findEndpoint(const InterfaceDescriptor* interface,
                                                          std::size_t index) const {
    for (const Descriptor& d : interfaceDescriptors(interface)) {
        if (d.type() != descriptor_type::endpoint) continue;
        if (index-- == 0) return d.as<EndpointDescriptor>();
    }
    return nullptr;
}

} // namespace usb
