#include "platform/usb/fuzz/configuration_fuzz.h"

#include "platform/fuzz/fuzz_require.h"
#include "platform/kernel/pool.h"
#include "platform/usb/configuration.h"
#include "platform/usb/descriptor_rules.h"
#include "platform/usb/select_request.h"

#include <span>
#include <vector>

namespace {

using namespace usb;

void checkRefused(const ConfigurationView& view, std::size_t size) {
    fuzzRequire(view.status() == kernel::STATUS_UNSUCCESSFUL ||
                    view.status() == kernel::STATUS_INVALID_PARAMETER,
                "a refusal with another status");
    fuzzRequire(*view.fault().problem != '\0' && *view.fault().descriptor != '\0',
                "a refusal that does not say why");
    fuzzRequire(view.fault().offset < size || size == 0, "a fault past the bytes");
    fuzzRequire(view.configuration() == nullptr && view.descriptors().empty(),
                "a refused configuration hands out descriptors");
}

// The rule for a class-specific descriptor under the interface before it.
const ClassDescriptorRule* ruleFor(const InterfaceDescriptor* interface, const Descriptor& d) {
    if (interface == nullptr || interface->bInterfaceClass != interface_class::audio)
        return nullptr;
    if (interface->bInterfaceProtocol != audio_protocol::version1 &&
        interface->bInterfaceProtocol != audio_protocol::version2)
        return nullptr;
    const AudioRelease release = interface->bInterfaceProtocol == audio_protocol::version2
                                     ? AudioRelease::uac2
                                     : AudioRelease::uac1;
    return findClassDescriptorRule(release, interface->bInterfaceSubClass, d.type(), d.subtype());
}

// Walks every descriptor; returns the interface descriptors in order.
std::vector<const InterfaceDescriptor*> checkWalk(const ConfigurationView& view) {
    std::vector<const InterfaceDescriptor*> interfaces;
    std::size_t next = 0;
    const InterfaceDescriptor* current = nullptr;
    for (const Descriptor& d : view.descriptors()) {
        fuzzRequire(d.offset == next, "the walk skipped bytes");
        fuzzRequire(d.length() >= 2 && d.offset + d.length() <= view.bytes().size(),
                    "a descriptor outside the configuration");
        next += d.length();
        if (d.type() == descriptor_type::interface) {
            current = d.as<InterfaceDescriptor>();
            fuzzRequire(current != nullptr, "an interface descriptor shorter than its record");
            interfaces.push_back(current);
        }
        if (d.type() == descriptor_type::endpoint)
            fuzzRequire(d.as<EndpointDescriptor>() != nullptr, "a short endpoint descriptor");
        if (const ClassDescriptorRule* rule = ruleFor(current, d))
            fuzzRequire(d.length() >= rule->minimumLength, "a class descriptor below its minimum");
    }
    fuzzRequire(next == view.bytes().size(), "the walk did not end at wTotalLength");
    return interfaces;
}

void checkFinders(const ConfigurationView& view,
                  const std::vector<const InterfaceDescriptor*>& interfaces) {
    const InterfaceDescriptor* found = nullptr;
    for (const InterfaceDescriptor* interface : interfaces) {
        found = view.findInterface({}, found);
        fuzzRequire(found == interface, "the finder missed an interface the walk saw");
        std::size_t endpoints = 0;
        for (const Descriptor& d : view.interfaceDescriptors(interface))
            if (d.type() == descriptor_type::endpoint) ++endpoints;
        for (std::size_t i = 0; i < endpoints; ++i)
            fuzzRequire(view.findEndpoint(interface, i) != nullptr, "an endpoint not found");
        fuzzRequire(view.findEndpoint(interface, endpoints) == nullptr, "an endpoint too many");
    }
    fuzzRequire(view.findInterface({}, found) == nullptr, "the finder found one interface more");
}

void checkSelectConfiguration(const ConfigurationView& view,
                              const std::vector<const InterfaceDescriptor*>& interfaces) {
    if (interfaces.empty()) return;
    RequestBlock request;
    const kernel::NTSTATUS status =
        buildSelectConfiguration(view, interfaces, kernel::poolTag("Fuzz"), request);
    std::size_t bytes = sizeof(SelectConfigurationRequest);
    for (const InterfaceDescriptor* interface : interfaces)
        bytes += interfaceInformationSize(interface->bNumEndpoints);
    if (bytes > 0xFFFF) {
        fuzzRequire(status == kernel::STATUS_INVALID_PARAMETER, "an oversized request was built");
        return;
    }
    fuzzRequire(kernel::succeeded(status), "a select-configuration request was refused");
    fuzzRequire(request.header()->length == bytes && request.size() == bytes,
                "the request is not sized as it carries its interfaces");
    auto* info =
        reinterpret_cast<InterfaceInformation*>(request.as<SelectConfigurationRequest>() + 1);
    for (const InterfaceDescriptor* interface : interfaces) {
        fuzzRequire(info->numberOfPipes == interface->bNumEndpoints &&
                        info->interfaceNumber == interface->bInterfaceNumber,
                    "an interface record does not match its descriptor");
        info = nextInterfaceInformation(info);
    }
    fuzzRequire(reinterpret_cast<std::uint8_t*>(info) ==
                    reinterpret_cast<std::uint8_t*>(request.header()) + bytes,
                "the interface records do not end with the request");
}

} // namespace

int fuzzConfiguration(const std::uint8_t* data, std::size_t size) {
    const ConfigurationView view(std::span<const std::uint8_t>(data, size));
    if (!view.valid()) {
        checkRefused(view, size);
        return 0;
    }
    fuzzRequire(view.configuration() != nullptr, "an accepted configuration without its header");
    const std::vector<const InterfaceDescriptor*> interfaces = checkWalk(view);
    checkFinders(view, interfaces);
    checkSelectConfiguration(view, interfaces);
    return 0;
}
