// A configuration descriptor with everything that belongs to it, validated
// before any field is read: every descriptor has a bLength of at least 2 and
// ends within wTotalLength, the standard descriptors are as long as their
// records, and every class-specific descriptor of an audio interface passes
// the rule table (descriptor_rules.h). Only a view that passed hands out
// descriptors, so the walks and finders below never read past one.
#pragma once

#include "platform/kernel/status.h"
#include "platform/usb/descriptor_rules.h"
#include "platform/usb/descriptors.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <ranges>
#include <span>

namespace usb {

// One descriptor inside a validated configuration.
struct Descriptor {
    std::span<const std::uint8_t> bytes; // exactly bLength bytes
    std::size_t offset = 0;              // from the configuration's first byte

    std::uint8_t length() const { return bytes[0]; }
    std::uint8_t type() const { return bytes[1]; }
    // The subtype of a class-specific descriptor (byte 2); 0 for one shorter.
    std::uint8_t subtype() const { return bytes.size() > 2 ? bytes[2] : 0; }
    // The descriptor seen as a record, or null when it is shorter than one.
    template <class Record> const Record* as() const {
        return bytes.size() >= sizeof(Record) ? reinterpret_cast<const Record*>(bytes.data())
                                              : nullptr;
    }
};

// Steps through validated bytes, one descriptor at a time.
class DescriptorRange {
public:
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Descriptor;
        using difference_type = std::ptrdiff_t;
        using pointer = const Descriptor*;
        using reference = Descriptor;

        Iterator() = default;
        Descriptor operator*() const;
        Iterator& operator++();
        Iterator operator++(int) {
            Iterator before = *this;
            ++*this;
            return before;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) { return a.m_at == b.m_at; }

    private:
        friend class DescriptorRange;
        Iterator(std::span<const std::uint8_t> all, std::size_t at) : m_all(all), m_at(at) {}
        std::span<const std::uint8_t> m_all;
        std::size_t m_at = 0;
    };

    DescriptorRange() = default;
    Iterator begin() const { return {m_all, m_first}; }
    Iterator end() const { return {m_all, m_last}; }
    bool empty() const { return m_first == m_last; }

private:
    friend class ConfigurationView;
    DescriptorRange(std::span<const std::uint8_t> all, std::size_t first, std::size_t last)
        : m_all(all), m_first(first), m_last(last) {}
    std::span<const std::uint8_t> m_all;
    std::size_t m_first = 0;
    std::size_t m_last = 0;
};

// Why a configuration was refused.
struct ConfigurationFault {
    std::size_t offset = 0;      // of the descriptor at fault
    const char* descriptor = ""; // what it is
    const char* problem = "";    // what is wrong with it
};

// What an interface search asks for; `any` matches every value.
struct InterfaceQuery {
    static constexpr int any = -1;
    int number = any;
    int alternateSetting = any;
    int interfaceClass = any;
    int subclass = any;
    int protocol = any;
};

class ConfigurationView {
public:
    // Validates bytes[0, wTotalLength); bytes after that are not part of the
    // configuration. The bytes must outlive the view.
    explicit ConfigurationView(std::span<const std::uint8_t> bytes);
    // A view of a container about to be destroyed would dangle.
    template <class Container>
    requires(!std::ranges::borrowed_range<Container>) explicit ConfigurationView(Container&&) =
        delete;

    // STATUS_SUCCESS; STATUS_UNSUCCESSFUL when a descriptor or wTotalLength
    // runs past the bytes (a truncated configuration); STATUS_INVALID_PARAMETER
    // for a malformed one (bLength 0 or 1, shorter than its type needs).
    kernel::NTSTATUS status() const { return m_status; }
    bool valid() const { return kernel::succeeded(m_status); }
    const ConfigurationFault& fault() const { return m_fault; }

    // Null, and an empty range, for a refused configuration.
    const ConfigurationDescriptor* configuration() const;
    std::span<const std::uint8_t> bytes() const { return m_bytes; }
    bool contains(const void* descriptor) const;

    DescriptorRange descriptors() const { return {m_bytes, 0, m_bytes.size()}; }
    // From a descriptor of this configuration (itself included) to the end;
    // empty for a pointer that starts no descriptor of it.
    DescriptorRange descriptorsFrom(const void* descriptor) const;
    // An interface descriptor and those that belong to it: up to the next
    // interface or interface association descriptor.
    DescriptorRange interfaceDescriptors(const InterfaceDescriptor* interface) const;

    // The first interface descriptor after `after` (from the start when null)
    // that matches the query; null when there is none.
    const InterfaceDescriptor* findInterface(const InterfaceQuery& query,
                                             const void* after = nullptr) const;
    // The index-th endpoint descriptor of an interface; null past its last.
    const EndpointDescriptor* findEndpoint(const InterfaceDescriptor* interface,
                                           std::size_t index) const;

private:
    void refuse(kernel::NTSTATUS status, std::size_t offset, const char* descriptor,
                const char* problem);
    void validate(std::span<const std::uint8_t> bytes);
    bool checkDescriptor(std::span<const std::uint8_t> descriptor, std::size_t offset);
    std::size_t offsetOf(const void* descriptor) const; // bytes().size() when not one of ours

    std::span<const std::uint8_t> m_bytes;
    kernel::NTSTATUS m_status = kernel::STATUS_SUCCESS;
    ConfigurationFault m_fault;
    // The audio interface whose class-specific descriptors come next
    // (audioInterfaceKind); none after any other interface.
    std::optional<AudioInterfaceKind> m_context;
};

} // namespace usb
