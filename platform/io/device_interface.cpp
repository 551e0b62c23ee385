#include "platform/io/device_interface.h"

#include "platform/kernel/irql.h"
#include "platform/kernel/test_checks.h"

#include <algorithm>
#include <mutex>

namespace io {
namespace {

struct Registration {
    DeviceObject* physicalDevice; // referenced while registered
    kernel::Guid interfaceClass;
    std::u16string referenceString;
    std::u16string symbolicLink;
    bool enabled = false;
};

struct Interfaces {
    std::mutex lock;
    std::vector<Registration> registrations;

    static Interfaces& instance() {
        static Interfaces* interfaces = new Interfaces;
        return *interfaces;
    }
};

bool atPassiveLevel(const char* what) { return kernel::requireIrql(kernel::Irql::Passive, what); }

std::u16string guidText(const kernel::Guid& guid) {
    constexpr char16_t digits[] = u"0123456789ABCDEF";
    std::u16string text = u"{";
    const auto hex = [&](std::uint64_t value, int count) {
        for (int shift = 4 * (count - 1); shift >= 0; shift -= 4)
            text += digits[(value >> shift) & 0xF];
    };
    hex(guid.data1, 8);
    text += u'-';
    hex(guid.data2, 4);
    text += u'-';
    hex(guid.data3, 4);
    text += u'-';
    for (std::size_t i = 0; i < guid.data4.size(); ++i) {
        if (i == 2) text += u'-';
        hex(guid.data4[i], 2);
    }
    return text + u'}';
}

// "\??\<first hardware id, '\' as '#'>#<instance name>#{class}[\reference]".
std::u16string linkFor(const DeviceIdentity& identity, const kernel::Guid& interfaceClass,
                       std::u16string_view referenceString) {
    std::u16string link = u"\\??\\" + identity.hardwareIds.front();
    std::replace(link.begin() + 4, link.end(), u'\\', u'#');
    link += u'#' + identity.instanceName + u'#' + guidText(interfaceClass);
    if (!referenceString.empty()) (link += u'\\') += referenceString;
    return link;
}

Registration* findByLink(Interfaces& interfaces, std::u16string_view link) {
    for (Registration& registration : interfaces.registrations)
        if (kernel::equalTextIgnoringCase(registration.symbolicLink, link)) return &registration;
    return nullptr;
}

std::vector<Registration> takeRegistrations(DeviceObject* physicalDevice) {
    Interfaces& interfaces = Interfaces::instance();
    std::lock_guard guard(interfaces.lock);
    std::vector<Registration> taken;
    auto& all = interfaces.registrations;
    for (auto it = all.begin(); it != all.end();) {
        if (physicalDevice == nullptr || it->physicalDevice == physicalDevice) {
            taken.push_back(std::move(*it));
            it = all.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

void release(const std::vector<Registration>& registrations) {
    for (const Registration& registration : registrations)
        dereferenceDevice(registration.physicalDevice);
}

// A test that leaves a physical device with registered interfaces behind
// has its registrations taken away, so the next one starts without them.
std::string interfacesLeftRegistered() {
    const std::vector<Registration> left = takeRegistrations(nullptr);
    release(left);
    if (left.empty()) return {};
    return std::to_string(left.size()) + " device interface(s) still registered";
}

const kernel::TestCheckRegistrar interfacesCheck({"device interfaces", nullptr,
                                                  interfacesLeftRegistered});

} // namespace

kernel::NTSTATUS registerDeviceInterface(DeviceObject* physicalDevice,
                                         const kernel::Guid& interfaceClass,
                                         const kernel::UnicodeString* referenceString,
                                         kernel::UnicodeString* symbolicLink) {
    if (!atPassiveLevel("device interface registration")) return kernel::STATUS_UNSUCCESSFUL;
    if (physicalDevice == nullptr || symbolicLink == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    *symbolicLink = {};
    const std::u16string reference(referenceString != nullptr ? referenceString->view()
                                                              : std::u16string_view{});
    if (reference.find_first_of(std::u16string_view(u"\\\0", 2)) != std::u16string::npos)
        return kernel::STATUS_INVALID_PARAMETER;
    DeviceIdentity identity;
    if (physicalDevice->lowerDevice() != nullptr ||
        !physicalDeviceIdentity(physicalDevice, identity))
        return kernel::STATUS_INVALID_DEVICE_REQUEST;
    const std::u16string link = linkFor(identity, interfaceClass, reference);
    if (link.size() * sizeof(char16_t) > UINT16_MAX) return kernel::STATUS_INVALID_PARAMETER;
    const kernel::UnicodeString text{static_cast<std::uint16_t>(link.size() * sizeof(char16_t)),
                                     static_cast<std::uint16_t>(link.size() * sizeof(char16_t)),
                                     const_cast<char16_t*>(link.data())};
    const kernel::NTSTATUS status = kernel::duplicateUnicodeString(*symbolicLink, text);
    if (!kernel::succeeded(status)) return status;

    Interfaces& interfaces = Interfaces::instance();
    std::lock_guard guard(interfaces.lock);
    if (findByLink(interfaces, link) == nullptr) {
        referenceDevice(physicalDevice);
        interfaces.registrations.push_back({physicalDevice, interfaceClass, reference, link});
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS setDeviceInterfaceState(const kernel::UnicodeString& symbolicLink, bool enable) {
    if (!atPassiveLevel("device interface state change")) return kernel::STATUS_UNSUCCESSFUL;
    Interfaces& interfaces = Interfaces::instance();
    std::lock_guard guard(interfaces.lock);
    Registration* registration = findByLink(interfaces, symbolicLink.view());
    if (registration == nullptr) return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
    registration->enabled = enable;
    return kernel::STATUS_SUCCESS;
}

std::vector<std::u16string> enabledDeviceInterfaces(const kernel::Guid& interfaceClass) {
    std::vector<std::u16string> links;
    if (!atPassiveLevel("device interface query")) return links;
    Interfaces& interfaces = Interfaces::instance();
    std::lock_guard guard(interfaces.lock);
    for (const Registration& registration : interfaces.registrations)
        if (registration.enabled && registration.interfaceClass == interfaceClass)
            links.push_back(registration.symbolicLink);
    return links;
}

std::size_t enabledDeviceInterfaceCount() {
    Interfaces& interfaces = Interfaces::instance();
    std::lock_guard guard(interfaces.lock);
    return static_cast<std::size_t>(
        std::count_if(interfaces.registrations.begin(), interfaces.registrations.end(),
                      [](const Registration& registration) { return registration.enabled; }));
}

std::vector<DeviceInterfaceEntry> registeredDeviceInterfaces(DeviceObject* physicalDevice) {
    std::vector<DeviceInterfaceEntry> entries;
    Interfaces& interfaces = Interfaces::instance();
    std::lock_guard guard(interfaces.lock);
    for (const Registration& registration : interfaces.registrations)
        if (registration.physicalDevice == physicalDevice)
            entries.push_back({registration.interfaceClass, registration.referenceString,
                               registration.symbolicLink, registration.enabled});
    return entries;
}

bool findEnabledDeviceInterface(std::u16string_view symbolicLink, DeviceObject** physicalDevice,
                                std::u16string* referenceString) {
    Interfaces& interfaces = Interfaces::instance();
    std::lock_guard guard(interfaces.lock);
    const Registration* registration = findByLink(interfaces, symbolicLink);
    if (registration == nullptr || !registration->enabled) return false;
    referenceDevice(registration->physicalDevice);
    *physicalDevice = registration->physicalDevice;
    *referenceString = registration->referenceString;
    return true;
}

void dropDeviceInterfaces(DeviceObject* physicalDevice) {
    release(takeRegistrations(physicalDevice));
}

} // namespace io
